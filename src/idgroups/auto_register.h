// Automatic node registration: the decision a client's report leads to, carried out on the
// node-definition store with the node's groups, installed packages, system information and ID
// entries kept in step.
#pragma once

#include <cstdint>
#include <string>

#include "core/block.h"
#include "core/frame.h"
#include "qvpapi.h"

namespace qvp::ids {

enum class AcnDecision : uint8_t { Insert = 1, Update = 2, Delete = 3, IdSyncOnly = 4 };

struct AcnOutcome {
    int result = 0;
    uint32_t code = 0;
};

// Carries out the decision. `first`/`second`: the new definition and an empty record (INSERT,
// ID synchronisation only), the stored and the new one (UPDATE), the stored one and one that
// carries the report time (DELETE). `staleClient`, when given, is a client definition of the
// host that now reports itself as a master: it goes before the master is created.
AcnOutcome ACNCallAPIFunction(CallContext& call, AcnDecision decision, QVAPI_NODE& first, QVAPI_NODE& second,
                              bool holdApplies, const QVAPI_NODE* staleClient);

// Removes a client from every node group its nodeattributionfile lists. 0, or the API code.
uint32_t ACNDeleteNodeGroup(QVPAPI& block, const char* clientName, uint32_t reserved,
                            const QVAPI_NODE_TIME* const* updateTime);

// The ID-entry operations of a renamed or removed node and the system-node job, made through
// ID-change jobs (qvAPIOperateIDEntry, qvpAPIOperateSystemNode). Tests put a recorder in their
// place; nullptr restores them.
using OperateIdEntryFn = int (*)(const char* lpNodeName, const char* lpSearchName, const char* lpNewName,
                                 uint32_t dwReserved, uint32_t dwMode);
using OperateSystemNodeFn = int (*)(const char* lpUpperNode, const char* lpNodeName, uint32_t dwReserved1,
                                    uint32_t dwReserved2);
void SetOperateIdEntry(OperateIdEntryFn fn);
void SetOperateSystemNode(OperateSystemNodeFn fn);

// A host known by its common name (connect kind 1) is keyed by it under host-name keying only;
// under address keying it is keyed by its address like every other node.
bool KeyedByCommonName(const QVPAPI& block, const QVAPI_NODE& record);
// The key a record is addressed by in the store (common name, host ID, host name or dotted
// address, as the record and the session key say).
std::string AcnKeyName(const QVPAPI& block, const QVAPI_NODE& record);
// Dotted text of the record's address.
std::string IpText(const QVAPI_NODE& record);

}  // namespace qvp::ids
