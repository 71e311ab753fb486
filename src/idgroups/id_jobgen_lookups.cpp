// The ID lookups of job preparation (a layer below this one) answered by the ID finders: the
// ID's record and its client or master walk, run to its end and closed.
#include <cstring>

#include "idgroups/id_finders.h"
#include "jobgen/jobgen_prepare.h"

namespace qvp::ids {

namespace {

uint32_t FindGroup(QVPAPI&, const char* groupPath, const char* id, uint8_t& attributeWord) {
    IdNodeData record{};
    if (qvAPIFindIDGroup(groupPath, id, reinterpret_cast<QVAPI_NODE*>(&record), 0, 0) != 1) {
        const uint32_t code = qvAPIGetLastError();
        return code != 0 ? code : QVAPI_ERR_NO_MORE_ITEMS;
    }
    attributeWord = record.attribute;
    return 0;
}

jobgen::IdMember MemberOf(const IdNodeData& record) {
    jobgen::IdMember member;
    member.name = std::string(record.name, strnlen(record.name, sizeof record.name));
    member.attributes = record.type;
    std::memcpy(member.address, record.address, sizeof member.address);
    member.attributeWord = record.attribute;
    member.hostIdFlag = record.namedByHostId == 1;
    member.hostId = std::string(record.hostId, strnlen(record.hostId, sizeof record.hostId));
    return member;
}

uint32_t Members(QVPAPI&, const char* groupPath, const char* id, bool masters, std::vector<jobgen::IdMember>& out,
                 bool& started) {
    out.clear();
    IdNodeData record{};
    auto* node = reinterpret_cast<QVAPI_NODE*>(&record);
    const QVPAPI_HANDLE walk =
        masters ? qvAPIFindFirstIDMaster(groupPath, id, node, 0, 0) : qvAPIFindFirstIDClient(groupPath, id, node, 0, 0);
    started = walk != QVPAPI_INVALID_HANDLE;
    if (!started) return qvAPIGetLastError();
    uint32_t code = 0;
    while (true) {
        out.push_back(MemberOf(record));
        record = IdNodeData{};
        if ((masters ? qvAPIFindNextIDMaster(walk, node, 0, 0) : qvAPIFindNextIDClient(walk, node, 0, 0)) != 1) {
            code = qvAPIGetLastError();
            break;
        }
    }
    masters ? qvAPIFindCloseIDMaster(walk, 0, 0) : qvAPIFindCloseIDClient(walk, 0, 0);
    return code == QVAPI_ERR_NO_MORE_ITEMS ? 0 : code;
}

// Installed when the library (or a program linking this layer) is loaded.
const bool kConnected = (ConnectJobGenLookups(), true);

}  // namespace

void ConnectJobGenLookups() { jobgen::SetIdFinders(jobgen::IdFinders{&FindGroup, &Members}); }

}  // namespace qvp::ids
