// The key and upper-path cascade: a node's path fields follow its upper master, its key follows
// its key name, and when either changes its flat file, key directory and nodeattributionfile
// move with it, and so do those of every node below it.
#include <cstring>
#include <string>
#include <vector>

#include "core/fileutil.h"
#include "core/temp_file.h"
#include "nodes/name_checks.h"
#include "nodes/node_checks.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"
#include "nodes/node_writer.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kUnmatchKey[] = "%s : Unmatch NodeKey";
constexpr char kPathTooLong[] = "%s : Parameter Error : %s\\%s Path Size overed PATH0_LEN";
constexpr char kDerive[] = "%s : qvAPICreateNodeDataDefinition Error : errno = 0x%x";
constexpr char kLength[] = "%s : qvAPICheckLengthNodeDefinition Error : errno = 0x%x";
constexpr char kOldKind[] = "%s : WorkNode Value is INVALID : uiNodeAttributes = %d";
constexpr char kNewKind[] = "%s : wNodeData Value is INVALID : uiNodeAttributes = %d";
constexpr char kLink[] = "%s : qvAPIChangeLinkNode Error : errno = 0x%x";
constexpr char kMakeDir[] = "%s : qvpCreateDirectory Error : dir = %s, errno = 0x%x";
constexpr char kWriteFile[] = "%s : WriteFile Error : Handle = 0x%8.8x, Buff = 0x%8.8x, Size = 0x%8.8x, errno = 0x%x";
constexpr char kChild[] = "%s : %s Error : Change Path = %s errno = 0x%x";
}  // namespace msg

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts kDeriveFrame{"qvAPICreateNodeDataDefinition", EndStyle::RtnCode, nullptr, nullptr,
                                  kLogicalError};
constexpr FrameTexts kChangeExFrame{"qvAPIChangeNodeDefinitionEx", EndStyle::RtnCode, nullptr, nullptr,
                                    kLogicalError};

bool UpperIsEmpty(const QVAPI_NODE& u) {
    return u.ucNodeName[0] == '\0' && u.ucNodeAddress[0] == 0 && u.ucHostID[0] == '\0';
}

// Writes a composed path into a record field; a path that would not fit is refused rather than
// cut, since a cut path names another master.
template <size_t N>
bool PutPath(CallContext& call, char (&field)[N], const std::string& above, const std::string& name) {
    std::string path = above == "\\" ? std::string() : above;
    path += "\\" + name;
    if (path.size() >= N) {
        return call.Failed(QVAPI_ERR_PATH_TOO_LONG,
                           msg::kPathTooLong, call.function(), above.c_str(), name.c_str());
    }
    SetField(field, path);
    return true;
}

bool LayOut(CallContext& call, const std::string& dir, const std::string& name, QVAPI_NODE& r) {
    std::string key;
    if (const uint32_t code = LayOutKeyIn(call.function(), dir, name.c_str(), key); code != 0) {
        call.Fail(code);
        return false;
    }
    SetField(r.ucNodeKey, key);
    return true;
}

// The node becomes keyed by its host ID.
bool KeyByHostId(CallContext& call, const std::string& dir, QVAPI_NODE& r, CascadeLog& log) {
    const std::string plain = PlainName(r);
    r.ucHostIDFlag = 1;
    if (!LayOut(call, dir, std::string(Field(r.ucHostID)), r)) return false;
    log.renames.emplace_back(plain, std::string(Field(r.ucHostID)));
    return true;
}

int LastCode() { return static_cast<int>(qvAPIGetLastError()); }

// What a node's own rewrite has done so far, taken back in reverse when a later step fails.
struct NodeSteps {
    NodeSteps(CallContext& c, const QVAPI_NODE& o, const QVAPI_NODE& n) : call(c), oldRec(o), newRec(n) {}
    CallContext& call;
    const QVAPI_NODE& oldRec;
    const QVAPI_NODE& newRec;
    std::string oldAttr, newAttr, oldFlat, newFlat, newDir;
    bool dirMade = false;
    bool attrMade = false;
    bool flatMade = false;
    bool linksRenamed = false;
    std::vector<uint8_t> flatBefore;  // an in-place rewrite's earlier bytes
    std::vector<uint8_t> headBefore;

    void Undo() {
        const uint32_t code = call.code();
        if (linksRenamed) ChangeLinkNodeIn(call, (attrMade ? newAttr : oldAttr).c_str(), &newRec, &oldRec);
        if (!headBefore.empty()) {
            FileHandle f = OpenExclusive(oldAttr);
            if (f.valid()) WriteAt(f.get(), 0, headBefore.data(), static_cast<uint32_t>(headBefore.size()));
        }
        if (flatMade) DeleteOnceFree(newFlat);
        if (!flatBefore.empty()) {
            FileHandle f = OpenExclusive(oldFlat);
            if (f.valid()) WriteAt(f.get(), 0, flatBefore.data(), static_cast<uint32_t>(flatBefore.size()));
        }
        if (attrMade) DeleteOnceFree(newAttr);
        if (dirMade) win::RemoveDirectory(newDir.c_str());
        call.Fail(code);
    }
};

bool CheckKind(CallContext& call, const QVAPI_NODE& r, const char* text) {
    if (r.uiNodeAttributes == kMemberClient || r.uiNodeAttributes == kMemberMaster) return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                       text, call.function(), static_cast<int>(r.uiNodeAttributes));
}

bool RefusedAs(CallContext& call, const char* format, const std::string& path) {
    const win::DWORD error = win::GetLastError();
    return call.Failed(
        error == win::ERROR_FILE_EXISTS || error == win::ERROR_ALREADY_EXISTS ? QVAPI_ERR_ALREADY_EXISTS : QVAPI_ERR_RESOURCE,
        format, call.function(), path.c_str(), static_cast<unsigned>(error));
}

// A new file of the node written whole under a hidden name and moved in where nothing has the
// name: no reader opens it short, and nothing else is replaced.
bool PlaceNewFile(NodeSteps& s, const std::string& path, const std::vector<uint8_t>& bytes, bool& made) {
    TempFile file;
    if (WriterFault(path == s.newFlat ? "flat.create" : "attr.create") ||
        !file.Create(path, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE, true))
        return RefusedAs(s.call, text::kRewriteFile, path);
    if (!WriteAll(file.handle.get(), bytes.data(), static_cast<uint32_t>(bytes.size()))) {
        return s.call.Failed(QVAPI_ERR_RESOURCE, msg::kWriteFile, s.call.function(),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(file.handle.get())),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(bytes.data())),
                             static_cast<unsigned>(bytes.size()), static_cast<unsigned>(win::GetLastError()));
    }
    if (!file.PlaceNew()) return RefusedAs(s.call, text::kRewriteFile, path);
    made = true;
    return true;
}

// Rewrites a file of the node in place under a range lock, keeping what it held.
bool RewriteInPlace(NodeSteps& s, const std::string& path, const DeclaredLayout& layout, uint32_t size,
                    std::vector<uint8_t>& before) {
    FileHandle file = OpenExclusive(path);
    std::vector<uint8_t> image;
    if (!file.valid() || Unreadable(ReadDeclared(file.get(), layout, image)) || image.size() < size)
        return s.call.Failed(QVAPI_ERR_RESOURCE, text::kRewriteFile, s.call.function(), path.c_str(),
                             static_cast<unsigned>(LastErr()));
    image.resize(size);
    RangeLock lock(file.get(), 0, size);
    if (WriterFault(path == s.oldAttr ? "attr.write" : "flat.write") || !lock.Lock() ||
        !WriteAt(file.get(), 0, &s.newRec, size) || !lock.Unlock()) {
        return s.call.Failed(QVAPI_ERR_RESOURCE, msg::kWriteFile, s.call.function(),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(file.get())),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(&s.newRec)), size,
                             static_cast<unsigned>(win::GetLastError()));
    }
    before = std::move(image);
    return true;
}

// The node's own files. A new key directory gets its nodeattributionfile (the new head and the
// old back-links) and then the new flat file, the definition, made last; the group entries are
// renamed once it exists, and the old flat file goes first of the old files. A kill leaves the
// node under its old name, under both (the same call again finishes), or under its new name
// with a key directory that no definition owns, which the next writer of that key sweeps.
bool RewriteOwnFiles(NodeSteps& s, const std::string& tree) {
    CallContext& call = s.call;
    const std::string oldDir = ParentOf(s.oldAttr);
    if (s.newDir != oldDir) {
        SweepOrphanKeyDir(tree, s.newDir);
        if (!qvpCreateDirectoryTree(ParentOf(s.newDir).c_str()) || WriterFault("dir.create") ||
            !win::CreateDirectory(s.newDir.c_str(), nullptr)) {
            const win::DWORD error = win::GetLastError();
            return call.Failed(
                error == win::ERROR_ALREADY_EXISTS ? QVAPI_ERR_ALREADY_EXISTS : QVAPI_ERR_RESOURCE,
                msg::kMakeDir, call.function(), s.newDir.c_str(), static_cast<unsigned>(error));
        }
        s.dirMade = true;
        FileHandle oldAttr = OpenExclusive(s.oldAttr);
        std::vector<uint8_t> attr;
        // A node whose nodeattributionfile is missing is in no group.
        const bool none = !oldAttr.valid() && (win::GetLastError() == win::ERROR_FILE_NOT_FOUND ||
                                               win::GetLastError() == win::ERROR_PATH_NOT_FOUND);
        if (!none && (!oldAttr.valid() || Unreadable(ReadDeclared(oldAttr.get(), kAttributionFileLayout, attr))))
            return call.Failed(QVAPI_ERR_RESOURCE, text::kRewriteFile, call.function(), s.oldAttr.c_str(),
                               static_cast<unsigned>(LastErr()));
        oldAttr.Reset();
        if (attr.size() < kAttributionHeadSize) attr.resize(kAttributionHeadSize);
        std::memcpy(attr.data(), &s.newRec, kAttributionHeadSize);
        if (!PlaceNewFile(s, s.newAttr, attr, s.attrMade)) return false;
    } else if (!Exists(s.oldAttr)) {
        const auto* head = reinterpret_cast<const uint8_t*>(&s.newRec);
        if (!PlaceNewFile(s, s.newAttr, std::vector<uint8_t>(head, head + kAttributionHeadSize), s.attrMade))
            return false;
    } else if (!RewriteInPlace(s, s.oldAttr, kAttributionFileLayout, kAttributionHeadSize, s.headBefore)) {
        return false;
    }
    if (s.newFlat != s.oldFlat) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&s.newRec);
        if (!PlaceNewFile(s, s.newFlat, std::vector<uint8_t>(bytes, bytes + sizeof s.newRec), s.flatMade))
            return false;
    } else if (!RewriteInPlace(s, s.oldFlat, kFlatFileLayout, sizeof s.newRec, s.flatBefore)) {
        return false;
    }
    s.linksRenamed = true;  // a failing rename may have renamed some groups already
    if (!ChangeLinkNodeIn(call, (s.attrMade ? s.newAttr : s.oldAttr).c_str(), &s.oldRec, &s.newRec)) {
        call.Log(msg::kLink, call.function(), call.code());
        return false;
    }
    if (s.newFlat != s.oldFlat && (WriterFault("flat.delete") || !DeleteOnceFree(s.oldFlat))) {
        return call.Failed(QVAPI_ERR_RESOURCE, text::kRewriteFile, call.function(), s.oldFlat.c_str(),
                           static_cast<unsigned>(LastErr()));
    }
    return true;
}

}  // namespace

bool DerivePathsIn(CallContext& call, const std::string& layoutDir, QVAPI_NODE& r,
                   const QVAPI_NODE& upper, CascadeLog& log) {
    SetField(r.ucHostIDPath, "");
    SetField(r.ucNodePath0, "");
    SetField(r.ucNodeKeyPath, "");
    if (UpperIsEmpty(upper)) {
        if (r.ucHostIDFlag != 1 && r.ucHostID[0] != '\0' && !KeyByHostId(call, layoutDir, r, log)) return false;
        if (r.ucHostIDFlag == 1) SetField(r.ucHostIDPath, "\\");
        SetField(r.ucNodePath0, "\\");
        return true;
    }
    std::string upperKey;
    if (!IpKeyed(upper)) {
        upperKey = std::string(Field(upper.ucNodeKey));
    } else if (r.ucSystemKey == 1) {
        upperKey = DottedAddress(upper.ucNodeAddress);
    } else {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kUnmatchKey, call.function());
    }
    const std::string upperKeyPath(Field(upper.ucNodeKeyPath));
    if (!PutPath(call, r.ucNodeKeyPath, upperKeyPath.empty() ? "\\" : upperKeyPath, upperKey)) return false;
    if (!PutPath(call, r.ucNodePath0, std::string(Field(upper.ucNodePath0)), PlainName(upper))) return false;
    const std::string upperHostIdPath(Field(upper.ucHostIDPath));
    if (!upperHostIdPath.empty() && !PutPath(call, r.ucHostIDPath, upperHostIdPath, GroupNameOf(upper)))
        return false;
    if (upper.ucHostIDFlag == 1 && r.ucHostIDFlag != 1 && r.ucHostID[0] != '\0')
        return KeyByHostId(call, layoutDir, r, log);
    if (r.ucHostIDFlag == 1 && upper.ucHostIDFlag != 1) {
        // Below a master that is not keyed by host ID the node is keyed by its plain name,
        // which must be free.
        const std::string hostId(Field(r.ucHostID));
        r.ucHostIDFlag = 0;
        if (r.ucSystemKey == 0) {
            if (!LayOut(call, layoutDir, KeyNameOf(r), r)) return false;
        } else {
            SetField(r.ucNodeKey, "");
        }
        // Logged first: a change again that finds the name held by this very node goes on from it.
        log.renames.emplace_back(hostId, PlainName(r));
        if (!NameIsFree(call, PlainName(r), r.uiNodeAttributes == kMemberMaster, Field(r.ucNodePath0), nullptr))
            return false;
    }
    return true;
}

bool SettleKeyIn(CallContext& call, const std::string& tree, QVAPI_NODE& r) {
    // A key is kept while it is a slot of the hash of the key name; anything else (another
    // hash that merely begins the same) is laid out again.
    if (IpKeyed(r)) {
        SetField(r.ucNodeKey, "");
        return true;
    }
    const std::string keyName = KeyNameOf(r);
    const std::string fileName = "C." + std::string(Field(r.ucNodeKey));
    return SynonymSlot(fileName, LastHashComponent(keyName)) >= 0 || LayOut(call, tree, keyName, r);
}

namespace {

bool RewriteSubtreeIn(CallContext& call, const CascadeTree& tree, const QVAPI_NODE& oldRec, QVAPI_NODE newRec,
                      CascadeLog& log, SubtreeWalk& walk) {
    if (qvAPICheckDataNodeDefinition(&newRec) != 1) {
        return call.Failed(qvAPIGetLastError(), msg::kLength, call.function(), LastCode());
    }
    if (!CheckKind(call, oldRec, msg::kOldKind) || !CheckKind(call, newRec, msg::kNewKind) ||
        !SettleKeyIn(call, tree.root, newRec))
        return false;
    NodeSteps steps(call, oldRec, newRec);
    steps.oldAttr = AttrPathIn(tree.root, oldRec);
    steps.newAttr = AttrPathIn(tree.root, newRec);
    steps.oldFlat = FlatPathIn(tree.root, oldRec);
    steps.newFlat = FlatPathIn(tree.root, newRec);
    steps.newDir = ParentOf(steps.newAttr);
    if (!RewriteOwnFiles(steps, tree.root)) {
        steps.Undo();
        return false;
    }
    log.links.push_back({AttrPathIn(tree.live, oldRec), oldRec, newRec});
    if (oldRec.uiNodeAttributes == kMemberMaster) {
        std::vector<QVAPI_NODE> children;
        if (!ListChildrenIn(call, oldRec, walk, children)) return false;
        for (const QVAPI_NODE& child : children) {
            if (std::memcmp(&child, &newRec, sizeof child) == 0) break;
            QVAPI_NODE moved = child;
            bool ok = DerivePathsIn(call, tree.root, moved, newRec, log);
            if (!ok) call.Log(msg::kDerive, call.function(), call.code());
            if (!ok || !RewriteSubtreeIn(call, tree, child, moved, log, walk)) {
                const std::string path = FullPathOf(oldRec);
                call.Log(msg::kChild, call.function(), call.function(), path.c_str(), call.code());
                return false;
            }
        }
    }
    const std::string oldDir = ParentOf(steps.oldAttr);
    // Only the node's own key folder goes: never the level above it, which an empty key would name.
    if (steps.newDir != oldDir && KeyFolderIn(tree.root, oldDir) && IsDirectory(oldDir))
        gaiCOMDirectoryDeleteAll(oldDir.c_str());
    return true;
}

}  // namespace

bool RewriteNodeIn(CallContext& call, const CascadeTree& tree, const QVAPI_NODE& oldRec, QVAPI_NODE newRec,
                   CascadeLog& log) {
    SubtreeWalk walk(oldRec);
    return RewriteSubtreeIn(call, tree, oldRec, newRec, log, walk);
}

void UndoLinkRenames(CallContext& call, CascadeLog& log) {
    const uint32_t code = call.code();
    for (auto it = log.links.rbegin(); it != log.links.rend(); ++it)
        ChangeLinkNodeIn(call, it->attrPath.c_str(), &it->to, &it->from);
    log.links.clear();
    call.Fail(code);
}

int qvAPICreateNodeDataDefinition(QVAPI_NODE* lpNodeData, const QVAPI_NODE* lpUpperNode) {
    return RunApi(kDeriveFrame, 0, [&](CallContext& call) {
        if (lpNodeData == nullptr || lpUpperNode == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        CascadeLog log;
        if (!DerivePathsIn(call, NodeDefDir(), *lpNodeData, *lpUpperNode, log)) return 0;
        return RunDeferredRenames(call, log) ? 1 : 0;
    });
}

int qvAPIChangeNodeDefinitionEx(const char* lpNodeDefRoot, QVAPI_NODE* lpNodeA, QVAPI_NODE* lpNodeB,
                                uint32_t dwMode, uint32_t, uint32_t) {
    return RunApi(kChangeExFrame, 0, [&](CallContext& call) {
        if (lpNodeDefRoot == nullptr || lpNodeA == nullptr || lpNodeB == nullptr || dwMode > 1) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        CascadeLog log;
        QVAPI_NODE newRec = *lpNodeA;
        const QVAPI_NODE& oldRec = dwMode == 0 ? *lpNodeB : *lpNodeA;
        if (dwMode == 1 && !DerivePathsIn(call, lpNodeDefRoot, newRec, *lpNodeB, log)) {
            call.Log(msg::kDerive, call.function(), call.code());
            return 0;
        }
        if (!RewriteNodeIn(call, CascadeTree{lpNodeDefRoot, NodeDefDir()}, oldRec, newRec, log)) return 0;
        return RunDeferredRenames(call, log) ? 1 : 0;
    });
}

}  // namespace qvp::nodes
