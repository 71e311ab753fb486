// JobGen re-creation: every entry that names nodes indirectly (a node group, a node by path or
// by ID, an ID group) becomes one entry per concrete client or master, carrying the node's two
// resolved addresses. Nested groups take one pass per level; all passes run in memory and the
// file is written once, laid over what it held (it is never shortened).
#include <cstring>

#include "core/log.h"
#include "core/text.h"
#include "jobgen/jobgen_prepare.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"

namespace qvp::jobgen {

namespace {

constexpr char kDriver[] = "qvAPIReCreateJobGen";
constexpr char kSystem[] = "qvAPIReCreateSystemEntryJobGen";
constexpr char kStore[] = "qvAPIReCreateStoreEntryJobGen";

namespace msg {
constexpr char kJobType[] = "%s : JOB TYPE Error : JobType = %c";
constexpr char kPassError[] = "%s : qvAPIReCreateJobGen[%d] Error : errno = %d";
constexpr char kNodePath[] = "%s : Node Path Error : Node = %s, Node Path = %s";
constexpr char kGivenPath[] = "%s : Node Path Error : Node Path = %s";
constexpr char kFindFirst[] = "%s : qvAPIFindFirstNode : Node = %s, errno = %d";
constexpr char kMember[] = "%s : Sub NodeGroup Name Error : NodeGroup = %s, Name = %s";
constexpr char kGroupPath[] = "%s : Sub NodeGroup Path over MAX_PATH : NodeGroup = %s, Name = %s";
constexpr char kIdGroup[] = "%s : IDGroupEntry Err";
constexpr char kTooDeep[] = "%s : Logical Error : NodeGroup nesting over %d levels";
}  // namespace msg

constexpr FrameTexts kFrame{kDriver, EndStyle::Result, nullptr, nullptr, nullptr};

struct Expander {
    const char* function;
    bool store;  // addresses masters only, each by its name twice
};
constexpr Expander kSystemExpander{kSystem, false};
constexpr Expander kStoreExpander{kStore, true};

// The two addresses of a stored definition. `connectKind`: a node shown by its common name is
// addressed by it.
uint32_t NodeAddresses(CallContext& call, const Expander& x, const QVAPI_NODE& d, bool connectKind,
                       std::string& first, std::string& second) {
    const std::string hostIdPath = FieldText(d.ucHostIDPath, sizeof d.ucHostIDPath);
    const std::string nodePath = FieldText(d.ucNodePath0, sizeof d.ucNodePath0);
    const bool byHostIdPath = !hostIdPath.empty();
    const std::string name = FieldText(d.ucNodeName, sizeof d.ucNodeName);
    const std::string hostId = FieldText(d.ucHostID, sizeof d.ucHostID);
    const bool hostIdFlag = d.ucHostIDFlag == 1;
    if (!AddressBase(byHostIdPath ? hostIdPath : nodePath, first) || !AddressBase(nodePath, second)) {
        const std::string shown = hostIdFlag && byHostIdPath ? hostId : name;
        call.Log(msg::kNodePath, x.function, shown.c_str(), (byHostIdPath ? hostIdPath : nodePath).c_str());
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    std::string a, b;
    if (!x.store && connectKind && d.uiConnectKind == 1) {
        a = b = FieldText(d.ucCommonName, sizeof d.ucCommonName);
    } else if (call.block().systemManagementKey == 0) {
        a = hostIdFlag ? hostId : name;
        b = name;
    } else if (call.block().systemManagementKey == 1) {
        a = hostIdFlag ? hostId : DottedAddress(d.ucNodeAddress);
        b = DottedAddress(d.ucNodeAddress);
    } else {
        return 0;
    }
    if (x.store) {
        a += "\\" + a;
        b += "\\" + b;
    }
    first += a;
    second += b;
    return 0;
}

// Reads a definition and writes its entry; a definition that no longer exists is left out and
// counted when `countMissing`.
uint32_t WriteDefinition(CallContext& call, Pass& pass, const Expander& x, const JobGenEntry& e,
                         const std::string& name, bool master, bool connectKind, bool countMissing) {
    QVAPI_NODE d;
    const uint32_t code = ReadDefinition(call, pass, x.function, name, master, d);
    if (code == QVAPI_ERR_NOT_FOUND || (master && code == QVAPI_ERR_FILE_NOT_FOUND)) {
        if (countMissing) ++pass.table.skippedEntries;
        return 0;
    }
    if (code != 0) return code;
    std::string first, second;
    if (const uint32_t built = NodeAddresses(call, x, d, connectKind, first, second); built != 0) return built;
    WriteResolved(pass, e, first, second, master ? kTypeResolvedMaster : kTypeResolvedClient);
    return 0;
}

// The members of a node group, as the member walk lists them. 0 (the image filled; empty for a
// group without members), or the code that kept the walk from starting.
uint32_t LoadGroup(const std::string& group, std::vector<uint8_t>& image) {
    image.clear();
    if (const uint32_t code = nodes::CheckGroupPath(group); code != 0) return code;
    if (group != nodes::kRootGroupPath && !nodes::IsDirectory(nodes::GroupDirectoryPath(group)))
        return QVAPI_ERR_NOT_FOUND;
    FileHandle file = nodes::OpenExclusive(nodes::GroupFilePath(group));
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return 0;
        return error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_NODE_FILE_BUSY : QVAPI_ERR_RESOURCE;
    }
    const DeclaredRead read = ReadDeclared(file.get(), nodes::kGroupFileLayout, image);
    if (Unreadable(read)) return QVAPI_ERR_RESOURCE;
    return read == DeclaredRead::Read && nodes::GroupImageWellFormed(image) ? 0 : QVAPI_ERR_UNEXPECTED_DATA;
}

// A sub-group name that would leave its group: no level, the level above, or a path of levels.
bool BadMemberName(std::string_view name) {
    return name.empty() || name == "." || name == ".." || name.find('\\') != std::string_view::npos ||
           name.find('/') != std::string_view::npos;
}

uint32_t ExpandGroup(CallContext& call, Pass& pass, const Expander& x, const JobGenEntry& e) {
    const std::string group = FieldText(e.node, kTextField);
    std::vector<uint8_t> image;
    if (const uint32_t code = LoadGroup(group, image); code != 0) {
        // A group that is gone or cannot be read leaves the job incomplete: counted, not failed.
        call.Log(msg::kFindFirst, x.function, group.c_str(), static_cast<int>(code));
        ++pass.table.skippedEntries;
        return 0;
    }
    const uint32_t count = nodes::GroupEntryCount(image);
    for (uint32_t i = 0; i < count; ++i) {
        const nodes::NodeGroupEntry* member = nodes::GroupEntryAt(image, i);
        const std::string name(nodes::FieldText(member->ucMemberName, nodes::kGroupMemberNameSize));
        switch (member->uiMemberKind) {
            case 0: {
                if (BadMemberName(name)) {
                    call.Log(msg::kMember, x.function, group.c_str(), name.c_str());
                    ++pass.table.skippedEntries;
                    break;
                }
                const std::string child = nodes::ChildGroupPath(group, name);
                if (child.size() > kMaxGroupPath) {
                    call.Log(msg::kGroupPath, x.function, group.c_str(), name.c_str());
                    return QVAPI_ERR_UNEXPECTED_DATA;
                }
                JobGenEntry sub = e;
                PutField(sub.node, kTextField, child);
                PutField(sub.host, kTextField, child);
                pass.table.repeat = 1;
                WriteAsIs(pass, sub, false);
                break;
            }
            case 1:
            case 2: {
                const bool master = member->uiMemberKind == 2;
                if (x.store && !master) break;
                const uint32_t code = WriteDefinition(call, pass, x, e, name, master, true, false);
                if (code != 0) return code;
                break;
            }
            default:
                break;
        }
    }
    return 0;
}

// A node given as written: its text is both addresses.
uint32_t ExpandGiven(CallContext& call, Pass& pass, const Expander& x, const JobGenEntry& e, bool resolved) {
    const bool masterSide = (e.type & 0x2u) != 0;
    if (x.store && e.type != kTypeClientAsGiven && e.type != kTypeMasterAsGiven) return 0;
    const std::string path = FieldText(e.node, kTextField);
    if (path.find('%') != std::string::npos) {
        ++pass.table.skippedEntries;
        return 0;
    }
    const uint32_t type = x.store || masterSide ? kTypeResolvedMaster : kTypeResolvedClient;
    if (resolved) {
        JobGenEntry copy = e;
        copy.type = type;
        WriteAsIs(pass, copy, true);
        return 0;
    }
    std::string text = path;
    if (masterSide && !x.store) {
        text = "\\" + path + "\\";
    } else if (text.empty() || text[0] != '\\' || (!masterSide && text.size() == 1)) {
        call.Log(msg::kGivenPath, x.function, path.c_str());
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    WriteResolved(pass, e, text, text, type);
    return 0;
}

// The last '\'-separated token of a node path, tokenising from its second character.
std::string LastToken(const std::string& path) {
    std::string last;
    size_t at = path.empty() ? 0 : 1;
    while (at < path.size()) {
        size_t end = path.find('\\', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) last = path.substr(at, end - at);
        at = end + 1;
    }
    return last;
}

uint32_t Expand(CallContext& call, Pass& pass, const Expander& x, const JobGenEntry& e, bool resolved) {
    if ((e.type & 0x80000000u) != 0) return ExpandGiven(call, pass, x, e, resolved);
    const std::string path = FieldText(e.node, kTextField);
    switch (e.type) {
        case kTypeGroup:
            return ExpandGroup(call, pass, x, e);
        case kTypeClient:
        case kTypeMaster:
            if (x.store && e.type == kTypeClient) return 0;
            return WriteDefinition(call, pass, x, e, LastToken(path), e.type == kTypeMaster, true, true);
        case kTypeClientById:
            if (x.store) return 0;
            return WriteDefinition(call, pass, x, e, path, false, true, true);
        case kTypeMasterById:
            return WriteDefinition(call, pass, x, e, path, true, false, true);
        case kTypeIdGroup: {
            const uint32_t code = ReCreateIdGroupEntry(call, pass, e, x.store ? 2 : 1);
            if (code != 0) call.Log(msg::kIdGroup, x.function);
            return code;
        }
        default:
            return 0;
    }
}

uint32_t Dispatch(CallContext& call, Pass& pass, const JobGenHeader& header, const JobGenEntry& e, bool resolved) {
    switch (e.jobKind) {
        case 'A': case 'C': case 'F': case 'H': case 'K': case 'M': case 'O': case 'P': case 'T':
            return Expand(call, pass, kStoreExpander, e, resolved);
        case 'G': case 'S': case 'X':
            return Expand(call, pass, kSystemExpander, e, resolved);
        case 'D': case 'I': case 'J': case 'L': case 'V':
            if (header.idKind == kIdJobGen) return ReCreateIdEntry(call, pass, e);
            if (e.jobKind == 'L' && (e.type & 0x1000000u) != 0) return Expand(call, pass, kStoreExpander, e, resolved);
            return Expand(call, pass, kSystemExpander, e, resolved);
        default:
            call.Log(msg::kJobType, call.function(), e.jobKind);
            return QVAPI_ERR_UNEXPECTED_DATA;
    }
}

uint32_t ReCreate(CallContext& call, ReCreateControlTable* table, const char* from, const char* to) {
    std::vector<uint8_t> bytes;
    JobGenHeader header{};
    if (const uint32_t code = ReadStepInput(call, kDriver, table, from, to, bytes, header); code != 0) return code;
    if (header.jobKind == 0) return 0;
    StoredJobGen stored;
    ParseJobGenFile(bytes, stored);
    std::vector<uint8_t> image = TargetImage(call, from, to, std::move(bytes));

    std::vector<JobGenEntry> entries = std::move(stored.entries);
    DefinitionCache cache;
    std::vector<uint8_t> resolved(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) resolved[i] = EntryResolved(entries[i]) ? 1 : 0;
    while (true) {
        Pass pass{*table, cache, {}, {}};
        table->written = 0;
        uint32_t code = 0;
        for (size_t i = 0; i < entries.size() && code == 0; ++i) code = Dispatch(call, pass, header, entries[i], resolved[i] != 0);
        JobGenHeader out = header;
        out.entryCount = code == 0 ? table->written : 0;
        out.entryAreaSize = out.entryCount * static_cast<uint32_t>(kEntrySize);
        Overlay(image, out, pass.out);
        if (code != 0) {
            if (table->pass > 0) call.Log(msg::kPassError, call.function(), static_cast<int>(table->pass), static_cast<int>(code));
            WritePrepared(call, to, image);
            return code;
        }
        if (table->repeat != 1) break;
        table->repeat = 0;
        if (++table->pass >= kMaxPasses) {
            // Only a store whose group names loop back on themselves gets here.
            call.Log(msg::kTooDeep, call.function(), static_cast<int>(kMaxPasses));
            WritePrepared(call, to, image);
            return QVAPI_ERR_UNEXPECTED_DATA;
        }
        entries = std::move(pass.out);
        resolved = std::move(pass.resolved);
    }
    if (const uint32_t code = WritePrepared(call, to, image); code != 0) return code;
    if (table->written == 0) {
        call.Log(kNodeNotFoundText, kDriver);
        return QVAPI_ERR_JOB_NO_NODE;
    }
    return 0;
}

}  // namespace

std::string DottedAddress(const uint8_t* octets) {
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
           std::to_string(octets[3]);
}

bool AddressBase(std::string_view base, std::string& out) {
    if (base.empty() || base[0] != '\\') return false;
    out = std::string(base);
    if (out.size() > 1) out += '\\';
    return true;
}

uint32_t ReadDefinition(CallContext& call, Pass& pass, const char* function, const std::string& name, bool master,
                        QVAPI_NODE& out) {
    const std::string key = (master ? "M" : "C") + name;
    if (const auto it = pass.cache.reads.find(key); it != pass.cache.reads.end()) {
        out = it->second.record;
        return it->second.code;
    }
    const uint32_t code = nodes::ReadDefinitionWhole(call.block(), function, name.c_str(), master, &out, &pass.cache.index);
    // Only settled answers are kept: a file in use may be readable the next time it is asked for.
    if (code == 0 || code == QVAPI_ERR_NOT_FOUND || code == QVAPI_ERR_FILE_NOT_FOUND)
        pass.cache.reads.emplace(key, DefinitionCache::Read{code, out});
    return code;
}

void WriteAsIs(Pass& pass, const JobGenEntry& entry, bool resolved) {
    pass.out.push_back(entry);
    pass.resolved.push_back(resolved ? 1 : 0);
    ++pass.table.written;
}

void WriteResolved(Pass& pass, const JobGenEntry& from, const std::string& first, const std::string& second,
                   uint32_t type) {
    JobGenEntry e = from;
    char dotted[kTextField + 1];
    PutField(e.node, kTextField, qvpPathToDottedName(first.c_str(), dotted));
    PutField(e.host, kTextField, qvpPathToDottedName(second.c_str(), dotted));
    if (MarkerInEntry(e.jobKind)) reinterpret_cast<uint8_t*>(&e)[kResolvedMarker] = 1;
    e.type = type;
    WriteAsIs(pass, e, true);
}

int qvAPIReCreateJobGen(ReCreateControlTable* table, const char* from, const char* to) {
    return RunApi(kFrame, 0, [&](CallContext& call) { return Finish(call, ReCreate(call, table, from, to)); });
}

int qvpAPINodeNamePathRead(const char* path, char* nodeName, char* host) {
    if (path == nullptr || nodeName == nullptr) return -1;
    JobGenEntry entry;
    if (ReadEntry(path, entry) != 0) return -1;
    const std::string node = FieldText(entry.node, kTextField);
    std::memcpy(nodeName, node.c_str(), node.size() + 1);
    if (host != nullptr) {
        const std::string text = FieldText(entry.host, kTextField);
        std::memcpy(host, text.c_str(), text.size() + 1);
    }
    return 1;
}

}  // namespace qvp::jobgen
