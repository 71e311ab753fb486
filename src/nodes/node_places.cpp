// The names a definition is known by, where its files lie in a NODEDEF tree, and the small
// steps every definition writer shares.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/fileutil.h"
#include "nodes/name_text.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"
#include "nodes/node_writer.h"
#include "platform/win.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kMasterExists[] = "%s : Master Already Exist : Master = %s";
constexpr char kClientSamePath[] = "%s : Client with the same Nodepath : Client = %s";
constexpr char kClientExists[] = "%s : Master Already Exist : Client = %s";
constexpr char kMasterSamePath[] = "%s : Client with the same Nodepath : Master = %s";
constexpr char kNoUpper[] = "%s : Upper Master Not Found : %s : ErrorCode = 0x%8.8x";
constexpr char kChildList[] = "%s : FindFirstFile %s : ErrorCode = %d";
constexpr char kChildNoFile[] = "%s : File Not Found Error : %s\\(M or C or other).%s is INVALID";
constexpr char kChildRead[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kBadKeyName[] = "%s : Parameter Error : lpNodeName Value is INVALID";
constexpr char kNotFound[] = "%s : Definition Not Found : %s : ErrorCode = 0x%8.8x";
constexpr char kTimeCheck[] = "%s :Time Check Err : GREATER";
constexpr char kBelowItself[] = "%s : Parameter Error : Upper Node %s is the node or below it";
}  // namespace msg

WriterFaultFn g_writerFault = nullptr;

// Compared fields of a stamp, the weekday left out.
uint64_t TimeKey(const QVAPI_NODE_TIME& t) {
    const uint16_t parts[] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    uint64_t key = 0;
    const uint64_t spans[] = {13, 32, 24, 60, 60, 1000};
    key = parts[0];
    for (size_t i = 0; i < 6; ++i) key = key * spans[i] + parts[i + 1];
    return key;
}

bool SameStoredNode(const QVAPI_NODE& a, const QVAPI_NODE& b) {
    return a.uiNodeAttributes == b.uiNodeAttributes && FlatPathIn("", a) == FlatPathIn("", b);
}

// Some folder below `dir`, at any depth, is the key folder of a stored definition.
bool HoldsOwnedKeyDir(const std::string& tree, const std::string& dir) {
    win::WIN32_FIND_DATAA data{};
    std::vector<std::string> folders;
    for (FindWalk walk(dir + "\\*", data); walk.valid();) {
        const std::string name(FieldText(data.cFileName, sizeof data.cFileName));
        if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (data.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) == 0 && name != "." && name != "..")
            folders.push_back(dir + "\\" + name);
        if (!walk.Next(data)) break;
    }
    for (const std::string& folder : folders)
        if (KeyDirOwned(tree, folder) || HoldsOwnedKeyDir(tree, folder)) return true;
    return false;
}

}  // namespace

void SetWriterFault(WriterFaultFn fn) { g_writerFault = fn; }

bool WriterFault(const char* step) {
    if (g_writerFault == nullptr || !g_writerFault(step)) return false;
    win::SetLastError(win::ERROR_ACCESS_DENIED);
    return true;
}

bool KeyNameGiven(CallContext& call, const char* keyName) {
    if (keyName != nullptr && *keyName != '\0' && strnlen(keyName, QVAPI_NODE_NAME_LEN + 1) <= QVAPI_NODE_NAME_LEN)
        return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadKeyName, call.function());
}

bool LockWriters(CallContext& call, NodeWriterGuard& guard, FinishedMove* finished) {
    const uint32_t code = guard.Acquire();
    if (code != 0) call.Fail(code);
    if (code != 0 || !PutBackKilledSwap(call)) return false;
    FinishRecordedMove(call, finished);
    return true;
}

bool ReadStoredNotLater(CallContext& call, const char* keyName, bool master, const QVAPI_NODE_TIME* time,
                        QVAPI_NODE& stored) {
    if (const uint32_t code = ReadDefinitionWhole(call.block(), call.function(), keyName, master, &stored);
        code != 0) {
        return call.Failed(code, msg::kNotFound, call.function(), keyName, code);
    }
    if (time == nullptr || !StoredIsLater(stored.stUpdateTime, *time)) return true;
    return call.Failed(QVAPI_ERR_NOT_FOUND, msg::kTimeCheck, call.function());
}

bool IpKeyed(const QVAPI_NODE& r) { return r.ucHostIDFlag != 1 && r.ucSystemKey == 1; }

std::string PlainName(const QVAPI_NODE& r) {
    return r.ucSystemKey == 0 ? std::string(Field(r.ucNodeName)) : DottedAddress(r.ucNodeAddress);
}

std::string KeyNameOf(const QVAPI_NODE& r) {
    if (r.ucHostIDFlag == 1) return std::string(Field(r.ucHostID));
    if (r.ucSystemKey == 0 && r.uiConnectKind == 1 && r.ucCommonName[0] != '\0')
        return std::string(Field(r.ucCommonName));
    return PlainName(r);
}

std::string UpperPathOf(const QVAPI_NODE& r) {
    const std::string_view hostIdPath = Field(r.ucHostIDPath);
    return std::string(hostIdPath.empty() ? Field(r.ucNodePath0) : hostIdPath);
}

std::string FullPathOf(const QVAPI_NODE& r) {
    const bool byHostIdPath = r.ucHostIDPath[0] != '\0';
    std::string path = UpperPathOf(r);
    if (path != "\\") path += '\\';
    return path + (byHostIdPath ? GroupNameOf(r) : PlainName(r));
}

std::string KeyDirIn(const std::string& tree, const QVAPI_NODE& r) {
    std::string keyPath(Field(r.ucNodeKeyPath));
    if (keyPath == "\\") keyPath.clear();
    return tree + keyPath + "\\" + (IpKeyed(r) ? DottedAddress(r.ucNodeAddress) : std::string(Field(r.ucNodeKey)));
}

std::string AttrPathIn(const std::string& tree, const QVAPI_NODE& r) {
    return KeyDirIn(tree, r) + "\\" + kAttributionFileName;
}

std::string FlatPathIn(const std::string& tree, const QVAPI_NODE& r) {
    const std::string key = IpKeyed(r) ? DottedAddress(r.ucNodeAddress) : std::string(Field(r.ucNodeKey));
    return tree + (r.uiNodeAttributes == kMemberMaster ? "\\M." : "\\C.") + key;
}

std::string ParentOf(const std::string& path) {
    const size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool StoredIsLater(const QVAPI_NODE_TIME& stored, const QVAPI_NODE_TIME& given) {
    return stored.wYear != 0 && given.wYear != 0 && TimeKey(stored) > TimeKey(given);
}

QVAPI_NODE_TIME StampOrNow(const QVAPI_NODE_TIME& given) {
    if (given.wYear != 0) return given;
    win::SYSTEMTIME now{};
    win::GetLocalTime(&now);
    QVAPI_NODE_TIME out;
    static_assert(sizeof out == sizeof now);
    std::memcpy(&out, &now, sizeof out);
    return out;
}

bool ReadUpperMaster(CallContext& call, const QVAPI_NODE& r, QVAPI_NODE& upper) {
    std::memset(&upper, 0, sizeof upper);
    std::string path(Field(r.ucHostIDPath));
    if (PathIsTop(path)) path = std::string(Field(r.ucNodePath0));
    if (PathIsTop(path)) return true;
    const size_t cut = path.rfind('\\');
    const std::string last = cut == std::string::npos ? path : path.substr(cut + 1);
    const uint32_t code = ReadMasterDefinition(call.block(), call.function(), last, upper);
    if (code == 0) return true;
    return call.Failed(code == QVAPI_ERR_NOT_FOUND ? QVAPI_ERR_FILE_NOT_FOUND : code,
                       msg::kNoUpper, call.function(), last.c_str(), code);
}

bool UpperOutsideNode(CallContext& call, const QVAPI_NODE& node, const QVAPI_NODE& upper) {
    if (upper.ucNodeName[0] == '\0' && upper.ucNodeAddress[0] == 0 && upper.ucHostID[0] == '\0') return true;
    const std::string own = KeyDirIn("", node);
    const std::string above = KeyDirIn("", upper);
    if (above != own && above.compare(0, own.size() + 1, own + "\\") != 0) return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBelowItself, call.function(), FullPathOf(upper).c_str());
}

bool NameIsFree(CallContext& call, std::string_view keyName, bool master,
                std::string_view nodePath0, const QVAPI_NODE* self) {
    QVAPI_NODE other;
    // Each kind: its reader, its not-found code, and the messages of a clash.
    struct Probe {
        bool masterKind;
        uint32_t notFound;
        const char* sameKind;
        const char* samePath;
    };
    const Probe probes[] = {{true, QVAPI_ERR_FILE_NOT_FOUND, msg::kMasterExists, msg::kClientSamePath},
                            {false, QVAPI_ERR_NOT_FOUND, msg::kClientExists, msg::kMasterSamePath}};
    for (const Probe& probe : probes) {
        const uint32_t code = probe.masterKind
                                  ? ReadMasterDefinition(call.block(), call.function(), keyName, other)
                                  : ReadClientDefinition(call.block(), call.function(), keyName, other);
        if (code == probe.notFound) continue;
        if (code != 0) {
            call.Fail(code);
            return false;
        }
        if (self != nullptr && SameStoredNode(*self, other)) continue;
        const std::string name(keyName);
        if (probe.masterKind == master) {
            call.Log(probe.sameKind, call.function(), name.c_str());
        } else if (Field(other.ucNodePath0) == nodePath0) {
            call.Log(probe.samePath, call.function(), name.c_str());
        } else {
            continue;
        }
        call.Fail(QVAPI_ERR_ALREADY_EXISTS);
        return false;
    }
    return true;
}

bool WriteBothCopiesIn(CallContext& call, const QVAPI_NODE& r) {
    const std::string name = IpKeyed(r) ? DottedAddress(r.ucNodeAddress) : std::string(Field(r.ucNodeKey));
    return WriteDefinitionCopiesIn(call, CopyMessages::Stamp, r, IpKeyed(r) ? kKindIpAddress : kKindHostName,
                                   name.c_str(), r.uiNodeAttributes == kMemberMaster);
}

bool KeyDirOwned(const std::string& tree, const std::string& keyDir) {
    const std::string key = keyDir.substr(win::FindLastSeparator(keyDir) + 1);
    for (const char* letter : {"\\M.", "\\C."}) {
        const std::string path = tree + letter + key;
        if (!Exists(path)) continue;
        QVAPI_NODE r;
        win::DWORD error = 0;
        bool readFailed = false;
        // One that cannot be read is never taken for a leftover.
        if (!ReadRecordFile(path, r, error, readFailed) || EqualIgnoringCase(KeyDirIn(tree, r), keyDir)) return true;
    }
    return false;
}

bool KeyFolderIn(const std::string& tree, const std::string& dir) {
    const size_t cut = win::FindLastSeparator(dir);
    return cut != std::string::npos && cut + 1 < dir.size() && dir.size() > tree.size() + 1 &&
           dir.compare(0, tree.size() + 1, tree + "\\") == 0 && dir.compare(cut + 1, std::string::npos, ".") != 0 &&
           dir.compare(cut + 1, std::string::npos, "..") != 0;
}

void SweepOrphanKeyDir(const std::string& tree, const std::string& keyDir) {
    // Only a folder of one key that no definition owns, and none below it either: never the tree,
    // never a level that holds another node's key folder.
    if (KeyFolderIn(tree, keyDir) && IsDirectory(keyDir) && !KeyDirOwned(tree, keyDir) &&
        !HoldsOwnedKeyDir(tree, keyDir))
        gaiCOMDirectoryDeleteAll(keyDir.c_str());
}

void SweepDefinitionTemporaries(const std::string& tree) {
    // A definition file is written as .C.<key>.<random>.tmp (or .M.) and renamed in.
    win::WIN32_FIND_DATAA data{};
    std::vector<std::string> temporaries;
    for (FindWalk walk(tree + "\\.*.tmp", data); walk.valid();) {
        const std::string_view name = FieldText(data.cFileName, sizeof data.cFileName);
        if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            (name.starts_with(".C.") || name.starts_with(".M.")))
            temporaries.emplace_back(tree + "\\" + std::string(name));
        if (!walk.Next(data)) break;
    }
    for (const std::string& temporary : temporaries) win::DeleteFile(temporary.c_str());
}

bool SubtreeWalk::FirstVisit(const QVAPI_NODE& node) {
    // Named as the definition file is found: ignoring case, as every lookup of it is.
    if (listed_.insert(FoldedCase(FlatPathIn("", node))).second) return true;
    repeated_ = true;
    return false;
}

bool ListChildrenIn(CallContext& call, const QVAPI_NODE& master, SubtreeWalk& subtree, std::vector<QVAPI_NODE>& out) {
    out.clear();
    const std::string live = NodeDefDir();
    const std::string dir = KeyDirIn(live, master);
    const std::string upper = FullPathOf(master);
    win::WIN32_FIND_DATAA data{};
    FindWalk walk(dir + "\\*", data);
    if (!walk.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return true;
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kChildList, call.function(), dir.c_str(), static_cast<int>(error));
    }
    do {
        const std::string entry(FieldText(data.cFileName, sizeof data.cFileName));
        if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0 || entry == "." || entry == "..")
            continue;
        bool found = false;
        for (const char* letter : {"\\M.", "\\C."}) {
            const std::string path = live + letter + entry;
            if (!Exists(path)) continue;
            QVAPI_NODE child;
            win::DWORD error = 0;
            bool readFailed = false;
            if (!ReadRecordFile(path, child, error, readFailed)) {
                return call.Failed(
                    !readFailed && error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_NODE_FILE_BUSY : QVAPI_ERR_RESOURCE,
                    msg::kChildRead, call.function(), path.c_str(), static_cast<int>(error));
            }
            // A child only through its own key folder: two masters of one name never share one.
            if (UpperPathOf(child) != upper || !EqualIgnoringCase(KeyDirIn(live, child), dir + "\\" + entry))
                continue;
            if (!StoredPathFieldsUsable(child)) {
                call.Log(text::kStoredPathInvalid, call.function(), entry.c_str());
                call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
                return false;
            }
            found = true;
            if (subtree.FirstVisit(child)) out.push_back(child);
            break;
        }
        if (!found && KeyDirOwned(live, dir + "\\" + entry)) {
            // A directory that its key's definition places here, below another upper: the
            // subtree is not what it seems. One that none places here is what a killed writer
            // left: no node.
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                               msg::kChildNoFile, call.function(), live.c_str(), entry.c_str());
        }
    } while (walk.Next(data));
    return true;
}

}  // namespace qvp::nodes
