// A client's report as automatic registration reads it, and the definition records built from
// it for the decision taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/block.h"
#include "idgroups/auto_register.h"
#include "idgroups/sysgen_info.h"
#include "qvpapi.h"

namespace qvp::ids {

constexpr size_t kAcnNameMax = 64;
constexpr size_t kAcnHostIdMax = 32;
constexpr size_t kAcnCommonMax = 32;

// The report's typed entries; the second form takes the first entry type present.
struct AcnReport {
    QVPAPI& block;
    SysgenView view;
    bool Entry(uint8_t type, std::string& out, size_t limit) const {
        return ACNGetEntry(block, view, type, out, limit);
    }
    bool Entry2(uint8_t first, uint8_t second, std::string& out, size_t limit) const {
        return Entry(first, out, limit) || Entry(second, out, limit);
    }
};

// The names the report gives the host: the kind the session's key asks for (else its common
// name), the primary name of that kind and the second name of the other kind (none for the
// common name).
struct HostNames {
    uint8_t edition = 0;
    uint8_t kind = 0;
    std::string primary, second;
    std::string commonKey;  // the common name a host-name keyed store holds the host under
};

// Dotted text into four octets; false for an empty or malformed text.
bool DottedOctets(const std::string& text, uint8_t* octets);

// The first and second record the decision is carried out with: the new definition (INSERT, ID
// synchronisation only), the stored and the changed one (UPDATE), the stored one and one with
// the report time (DELETE); each decision's line logged.
void FillRecords(const AcnReport& report, const QVAPI_SYSGEN_INFO& info, const HostNames& names, AcnDecision decision,
                 uint8_t attribute, const QVAPI_NODE& stored, const QVAPI_NODE_TIME& when, QVAPI_NODE& first,
                 QVAPI_NODE& next);

}  // namespace qvp::ids
