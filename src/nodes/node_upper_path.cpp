// The upper-path rewriter: once a master's paths have changed (its key directory moved with
// the directories of the nodes below it), the definitions below it still name its old paths.
// This rewrites ucNodePath0, ucHostIDPath and ucNodeKeyPath of every definition of a tree that
// lies below the old paths. Every record is read and rewritten in memory first, so a path that
// would no longer fit refuses the whole rewrite with nothing written.
#include <string>
#include <string_view>
#include <vector>

#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"
#include "nodes/node_writer.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kHostIdTooLong[] = "%s : Parameter Error : %s\\%s Path Size overed HOSTID_LEN";
constexpr char kPath0TooLong[] = "%s : Parameter Error : %s\\%s Path Size overed PATH0_LEN";
constexpr char kKeyPathTooLong[] = "%s : Parameter Error : %s\\%s Path Size overed VNODE_LEN";
constexpr char kList[] = "%s : FindFirstFile Error : File = %s, errno = %d";
constexpr char kWriteFile[] = "%s : WriteFile Error : File = %s, errno = 0x%x";
}  // namespace msg

constexpr FrameTexts kFrame{"qvAPIChangeUpperNodePathDefinition", EndStyle::RtnCode, nullptr, nullptr,
                            text::kLogicalError};

// The paths a master's children carry for it: its own path with its name (or key) appended.
struct ChildPaths {
    std::string path0, hostId, keyPath;  // hostId empty: the master has no host-ID path
};

std::string Below(std::string_view above, const std::string& name) {
    return (PathIsTop(above) ? std::string() : std::string(above)) + "\\" + name;
}

ChildPaths ChildPathsOf(const QVAPI_NODE& master) {
    ChildPaths p;
    p.path0 = Below(Field(master.ucNodePath0), PlainName(master));
    p.keyPath = Below(Field(master.ucNodeKeyPath),
                      IpKeyed(master) ? DottedAddress(master.ucNodeAddress) : std::string(Field(master.ucNodeKey)));
    if (master.ucHostIDPath[0] != '\0') p.hostId = Below(Field(master.ucHostIDPath), GroupNameOf(master));
    return p;
}

// Replaces `from` at the head of the field (the whole field, or up to a "\") by `to`. A result
// that does not fit is refused: a cut path would name another master.
template <size_t N>
bool Repoint(CallContext& call, char (&field)[N], const std::string& from, const std::string& to,
             const char* tooLong, bool& changed) {
    const std::string_view now = Field(field);
    if (from.empty() || from == to || !now.starts_with(from)) return true;
    if (now.size() > from.size() && now[from.size()] != '\\') return true;
    const std::string rest(now.substr(from.size()));
    const std::string path = to + rest;
    if (path.size() >= N) {
        return call.Failed(QVAPI_ERR_PATH_TOO_LONG, tooLong, call.function(), to.c_str(),
                           rest.empty() ? "" : rest.c_str() + 1);
    }
    SetField(field, path);
    changed = true;
    return true;
}

struct Rewrite {
    std::string flat;
    QVAPI_NODE oldRec;
    QVAPI_NODE newRec;
};

// Every definition of the tree whose upper paths lie below the old ones, rewritten in memory.
bool CollectRewrites(CallContext& call, const std::string& root, const ChildPaths& from, const ChildPaths& to,
                     std::vector<Rewrite>& out) {
    win::WIN32_FIND_DATAA data{};
    FindWalk walk = FindWalk::Names(root + "\\?.*", data);
    if (!walk.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND) return true;  // no definition at all
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kList, call.function(), root.c_str(), static_cast<int>(error));
    }
    do {
        if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        Rewrite r;
        r.flat = root + "\\" + std::string(FieldText(data.cFileName, sizeof data.cFileName));
        win::DWORD error = 0;
        bool readFailed = false;
        uintptr_t handle = 0;
        if (!ReadRecordFile(r.flat, r.oldRec, error, readFailed, &handle)) {
            if (readFailed) LogReadError(call.function(), handle, &r.oldRec, error);
            else call.Log(text::kRewriteFile, call.function(), r.flat.c_str(), static_cast<unsigned>(error));
            call.Fail(readFailed ? QVAPI_ERR_RESOURCE : HeldOr(QVAPI_ERR_RESOURCE, error));
            return false;
        }
        r.newRec = r.oldRec;
        bool changed = false;
        if (!Repoint(call, r.newRec.ucHostIDPath, from.hostId, to.hostId, msg::kHostIdTooLong, changed) ||
            !Repoint(call, r.newRec.ucNodePath0, from.path0, to.path0, msg::kPath0TooLong, changed) ||
            !Repoint(call, r.newRec.ucNodeKeyPath, from.keyPath, to.keyPath, msg::kKeyPathTooLong, changed))
            return false;
        if (changed) out.push_back(r);
    } while (walk.Next(data));
    if (win::GetLastError() != win::ERROR_NO_MORE_FILES) {
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kList, call.function(), root.c_str(), LastErr());
    }
    return true;
}

// `size` bytes of the record at the start of the file, under a lock of that range.
bool WriteHead(CallContext& call, const std::string& path, const QVAPI_NODE& record, uint32_t size) {
    FileHandle file = OpenExclusive(path);
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        return call.Failed(HeldOr(QVAPI_ERR_RESOURCE, error), text::kRewriteFile, call.function(), path.c_str(),
                           static_cast<unsigned>(error));
    }
    RangeLock lock(file.get(), 0, size);
    if (!lock.Lock() || !WriteAt(file.get(), 0, &record, size) || !lock.Unlock()) {
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kWriteFile, call.function(), path.c_str(),
                           static_cast<unsigned>(win::GetLastError()));
    }
    return true;
}

}  // namespace

int qvAPIChangeUpperNodePathDefinition(const char* lpNodeDefRoot, const QVAPI_NODE* lpOldUpper,
                                       const QVAPI_NODE* lpNewUpper) {
    return RunApi(kFrame, 0, [&](CallContext& call) {
        if (lpNodeDefRoot == nullptr || *lpNodeDefRoot == '\0' || lpOldUpper == nullptr || lpNewUpper == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        const std::string root(lpNodeDefRoot);
        std::vector<Rewrite> rewrites;
        if (!CollectRewrites(call, root, ChildPathsOf(*lpOldUpper), ChildPathsOf(*lpNewUpper), rewrites)) return 0;
        for (const Rewrite& r : rewrites) {
            // The key directories moved with their master: the head lies where the new paths
            // place it (where the old ones did when the key path is unchanged).
            std::string attr = AttrPathIn(root, r.newRec);
            if (!Exists(attr)) attr = AttrPathIn(root, r.oldRec);
            if (!WriteHead(call, attr, r.newRec, kAttributionHeadSize) ||
                !WriteHead(call, r.flat, r.newRec, sizeof r.newRec))
                return 0;
        }
        return 1;
    });
}

}  // namespace qvp::nodes
