// The record steps that the node writers combine under their locks: stamping and single-field
// rewrites of a stored definition, and removal of a node's entries. Each runs in its own call
// frame (1, or 0 with the thread's last error set); the ...In forms run inside a caller's frame.
#pragma once

#include <cstdint>
#include <vector>

#include "core/frame.h"
#include "platform/win.h"
#include "qvpapi.h"

namespace qvp::nodes {
// Stamping and rewrites.
int qvAPIChangeTimeDefinition(const char* lpNodeName, QVAPI_NODE_TIME stUpdateTime,
                              uint32_t fdwMaster, uint32_t dwReserved);
int qvAPIChangeHoldDefinition(const char* lpNodeName, uint32_t uiNodeAttributes,
                              const QVAPI_NODE* lpNodeData);
int qvAPIChangeLinkNode(const char* lpNodeDefAttrFile, const QVAPI_NODE* lpOldNode,
                        const QVAPI_NODE* lpNewNode);

// Removal of a node's entries.
int qvAPIDeleteNodeDefinitionEntry(const char* lpNodeKey, uint32_t fdwOptions, uint32_t dwReserved);
int qvAPIDeleteNodeAttributionEntry(const char* lpNodeName, const char* lpNodeGroupPath,
                                    uint32_t fdwOptions, uint32_t dwReserved);
int qvAPIDeleteNodeGroupEntry(const char* lpNodeGroupPath, const char* lpMemberName,
                              uint32_t uiMemberKind, uint32_t dwReserved);


// The log texts of the two-copy write: the stamp's or the hold change's.
enum class CopyMessages { Stamp, Hold };
// Writes the record's first 960 bytes over the head of its nodeattributionfile, then all of it
// over its flat file, each under a lock over the written bytes. When the flat file cannot be
// written the head gets its earlier bytes back and the call fails with 0x20100000.
bool WriteDefinitionCopiesIn(CallContext& call, CopyMessages messages, const QVAPI_NODE& node,
                             uint32_t nameKind, const char* name, bool master);
bool ChangeLinkNodeIn(CallContext& call, const char* attributionFile, const QVAPI_NODE* oldNode,
                      const QVAPI_NODE* newNode);
bool DeleteNodeDefinitionEntryIn(CallContext& call, const char* key, uint32_t options);
// With `notFound` given, a missing back-link is reported there instead of failing.
bool DeleteNodeAttributionEntryIn(CallContext& call, const char* nodeName, const char* groupPath,
                                  uint32_t options, bool* notFound = nullptr);
// With `notFound` given, a missing entry is reported there instead of failing; `original`, when
// given, receives the group file as it was read (what a caller puts back if a later step fails).
bool DeleteNodeGroupEntryIn(CallContext& call, const char* groupPath, const char* memberName,
                            uint32_t kind, bool* notFound = nullptr, std::vector<uint8_t>* original = nullptr);


// Group writers that no caller outside the library names: a master added to a group, and a
// sub-group created below a group ("\" for the root). 1, or 0 with the last error.
int qvAPICreateMaster(const char* lpNodeGroupPath, const char* lpMasterName, uint32_t dwReserved1,
                      uint32_t dwReserved2);
int qvAPICreateNodeGroup(const char* lpParentGroupPath, const char* lpNodeGroupName,
                         uint32_t dwReserved1, uint32_t dwReserved2);


// A writer that walks the definitions below a master while a caller's walk of the same thread
// is open (the walks share one slot) keeps this for the length of its own walk: the outer walk
// is set aside and comes back afterwards, and whatever the inner walk left open is ended.
class NodeDefinitionWalkNest {
public:
    explicit NodeDefinitionWalkNest(QVPAPI& block);
    NodeDefinitionWalkNest(const NodeDefinitionWalkNest&) = delete;
    NodeDefinitionWalkNest& operator=(const NodeDefinitionWalkNest&) = delete;
    ~NodeDefinitionWalkNest();

private:
    QVPAPI& block_;
    void* outer_;
};

}  // namespace qvp::nodes
