// ID-group entries of the re-creation: an ID-group entry of an ordinary JobGen becomes the ID's
// clients (or masters); every entry of an ID JobGen keeps the ID-group entry itself and adds one
// entry per ID master. The IDs are looked up through the seam of jobgen_prepare.h.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "jobgen/jobgen_prepare.h"

namespace qvp::jobgen {

namespace {

constexpr char kIdEntry[] = "qvAPIReCreateIDEntryJobGen";
constexpr char kIdGroupEntry[] = "qvAPIReCreateIDGroupEntryJobGen";
constexpr size_t kHostIdWidth = 32;
constexpr size_t kNameWidth = 64;

namespace msg {
constexpr char kStart[] = "%s START";
constexpr char kFindGroup[] = "%s : qvAPIFindIDGroup error";
constexpr char kNoId[] = "%s : ID Name Error : Node Path = %s";
constexpr char kFirstMember[] = "%s : qvAPIFindFirstID Client or Master : Node = %s, errno = %d";
constexpr char kFirstMaster[] = "%s : qvAPIFindFirstIDMaster : Node = %s, errno = %d";
constexpr char kNextMaster[] = "%s : qvAPIFindNextIDMaster : NodeGroup = %s, errno = %d";
constexpr char kClientRead[] = "%s : qvAPIGetClientDefinitionByName Error : NodeName = %s, errno = %d";
constexpr char kNodePath[] = "%s : Node Path Error : Node = %s, Node Path = %s";
constexpr char kGivenPath[] = "%s : Node Path Err : Node Path = %s";
constexpr char kAttributes[] = "%s : Node Attributes Error : Node = %s, NodeAttributes = 0x%8.8x";
}  // namespace msg

constexpr char kNetworkGroup[] = "\\networkID";

std::string Cut(const std::string& text, size_t width) { return text.substr(0, std::min(text.size(), width)); }

// The ID an ID-group entry names and where to look for it. false: the entry is passed over
// (counted as missing unless it names the network ID itself).
struct IdChoice {
    std::string id;
    const char* groupPath = nullptr;
};
bool ChooseId(CallContext& call, Pass& pass, const JobGenEntry& e, const char* function, IdChoice& choice) {
    const std::string path = FieldText(e.node, kTextField);
    const size_t mark = path.rfind('%');
    if (mark == std::string::npos) {
        // No ID part: the ID it was meant to name is missing.
        call.Log(msg::kNoId, function, path.c_str());
        ++pass.table.skippedEntries;
        return false;
    }
    choice.id = path.substr(mark + 1);
    std::string lower = choice.id;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    // The finders refuse a group path without its leading backslash.
    choice.groupPath = lower == "networkid_" ? kNetworkGroup : nullptr;
    if (lower == "networkid") return false;
    uint8_t attributeWord = 0;
    if (GetIdFinders().findGroup(call.block(), choice.groupPath, choice.id.c_str(), attributeWord) != 0) {
        call.Log(msg::kFindGroup, function);
        ++pass.table.skippedEntries;
        return false;
    }
    // An ID marked 0x01 takes no jobs.
    if ((attributeWord & 0x01) != 0) {
        ++pass.table.skippedEntries;
        return false;
    }
    return true;
}

// The lookup name of a member: its host ID when named by one, else its name (or, with nodes
// keyed by address, its address text).
std::string LookupName(const QVPAPI& block, IdMember& member) {
    if (block.systemManagementKey == 1) member.name = DottedAddress(member.address);
    return member.hostIdFlag ? Cut(member.hostId, kHostIdWidth) : Cut(member.name, kNameWidth);
}

// Reads the member's definition and builds its two addresses. 0 with `found` false when the
// definition is missing.
uint32_t MemberAddresses(CallContext& call, Pass& pass, const char* function, const IdMember& member,
                         const std::string& lookup, bool master, bool& found, std::string& first, std::string& second) {
    QVAPI_NODE d;
    const uint32_t code = ReadDefinition(call, pass, function, lookup, master, d);
    found = code == 0;
    if (code == QVAPI_ERR_NOT_FOUND || (master && code == QVAPI_ERR_FILE_NOT_FOUND)) return 0;
    if (code != 0) {
        if (!master) call.Log(msg::kClientRead, function, lookup.c_str(), static_cast<int>(code));
        return code;
    }
    const std::string hostIdPath = FieldText(d.ucHostIDPath, sizeof d.ucHostIDPath);
    const std::string nodePath = FieldText(d.ucNodePath0, sizeof d.ucNodePath0);
    const std::string& firstBase = hostIdPath.empty() ? nodePath : hostIdPath;
    if (!AddressBase(firstBase, first) || !AddressBase(nodePath, second)) {
        call.Log(msg::kNodePath, function, lookup.c_str(), firstBase.c_str());
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    const std::string name = Cut(member.name, kNameWidth);
    first += d.ucHostIDFlag == 1 ? FieldText(d.ucHostID, sizeof d.ucHostID) : name;
    second += name;
    return 0;
}

// An entry named as written, both addresses its text (a leading "\" added when missing).
uint32_t WriteGiven(CallContext& call, Pass& pass, const JobGenEntry& e) {
    std::string path = FieldText(e.node, kTextField);
    if (path.empty() || path[0] != '\\') path = "\\" + path;
    if (path == "\\") {
        call.Log(msg::kGivenPath, kIdEntry, path.c_str());
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    WriteResolved(pass, e, path, path, kTypeResolvedMaster);
    return 0;
}

}  // namespace

uint32_t ReCreateIdGroupEntry(CallContext& call, Pass& pass, const JobGenEntry& e, int mode, const char*) {
    call.Log(msg::kStart, kIdGroupEntry);
    if (e.type != kTypeIdGroup) return 0;
    IdChoice choice;
    if (!ChooseId(call, pass, e, kIdGroupEntry, choice)) return 0;
    const bool masters = mode != 1;
    std::vector<IdMember> members;
    bool started = false;
    const uint32_t end = GetIdFinders().members(call.block(), choice.groupPath, choice.id.c_str(), masters, members,
                                                started);
    if (!started) {
        call.Log(msg::kFirstMember, kIdGroupEntry, choice.id.c_str(), static_cast<int>(end));
        ++pass.table.skippedEntries;
        return 0;
    }
    const uint32_t before = pass.table.written;
    for (IdMember& member : members) {
        if ((member.attributeWord & 0x01) != 0 || member.attributes == 0) continue;
        if (member.attributes > 2) {
            call.Log(msg::kAttributes, kIdGroupEntry, member.name.c_str(), member.attributes);
            return QVAPI_ERR_UNEXPECTED_DATA;
        }
        const bool master = member.attributes == 2;
        const std::string lookup = LookupName(call.block(), member);
        bool found = false;
        std::string first, second;
        if (const uint32_t code = MemberAddresses(call, pass, kIdGroupEntry, member, lookup, master, found, first, second);
            code != 0)
            return code;
        if (!found) continue;
        if (master) {
            // A master is addressed as itself below itself.
            const std::string x = first.substr(first.rfind('\\') + 1);
            const std::string y = Cut(member.name, kNameWidth);
            first += "\\" + x;
            second += "\\" + y;
        }
        WriteResolved(pass, e, first, second, master ? kTypeResolvedMaster : kTypeResolvedClient);
    }
    if (end != 0 && end != QVAPI_ERR_NO_MORE_ITEMS) return end;
    if (pass.table.written == before) ++pass.table.skippedEntries;
    return 0;
}

uint32_t ReCreateIdEntry(CallContext& call, Pass& pass, const JobGenEntry& e) {
    call.Log(msg::kStart, kIdEntry);
    if (e.type == kTypeMasterAsGiven) {
        WriteAsIs(pass, e, EntryResolved(e));
        return 0;
    }
    if (e.type == kTypeClientAsGiven) return WriteGiven(call, pass, e);
    if (e.type != kTypeIdGroup) return 0;
    IdChoice choice;
    if (!ChooseId(call, pass, e, kIdEntry, choice)) return 0;
    if (const uint32_t code = WriteGiven(call, pass, e); code != 0) return code;
    std::vector<IdMember> members;
    bool started = false;
    const uint32_t end = GetIdFinders().members(call.block(), choice.groupPath, choice.id.c_str(), true, members,
                                                started);
    if (!started) {
        call.Log(msg::kFirstMaster, kIdEntry, choice.id.c_str(), static_cast<int>(end));
        return 0;
    }
    const std::string idPath = FieldText(e.node, kTextField);
    for (IdMember& member : members) {
        if ((member.attributeWord & 0x03) != 0 || member.attributes == 0 || member.attributes == 1) continue;
        if (member.attributes > 2) {
            call.Log(msg::kAttributes, kIdEntry, member.name.c_str(), member.attributes);
            return QVAPI_ERR_UNEXPECTED_DATA;
        }
        const std::string lookup = LookupName(call.block(), member);
        bool found = false;
        std::string first, second;
        if (const uint32_t code = MemberAddresses(call, pass, kIdEntry, member, lookup, true, found, first, second); code != 0)
            return code;
        if (!found) continue;
        const std::string tail = (idPath.empty() || idPath[0] != '\\' ? "\\" : "") + idPath;
        WriteResolved(pass, e, first + tail, second + tail, kTypeResolvedMaster);
    }
    if (end != 0 && end != QVAPI_ERR_NO_MORE_ITEMS) {
        call.Log(msg::kNextMaster, kIdEntry, choice.id.c_str(), static_cast<int>(end));
        return end;
    }
    return 0;
}

}  // namespace qvp::jobgen
