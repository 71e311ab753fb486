// The member walk of one node group: a snapshot of the group's nodegroupfile taken at
// FindFirst, handed out one member per call. The handle is the calling thread's block.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/frame.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_texts.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kBadRecord[] = "%s : Parameter Error : QVAPI_NODE Struct Address is NULL";
constexpr char kBadHandle[] = "%s : Parameter Error : FindNode Handle Value is INVALID";
constexpr char kBadGroupPath[] = "%s : Parameter Error : NodeGroup Path %s is INVALID : ErrorCode = 0x%8.8x";
constexpr char kNoGroup[] = "%s : NodeGroup Not Found : %s";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kMalformed[] = "%s : FileSize is INVALID : file = %s size = %u";
constexpr char kMemberRead[] = "%s : Member %s : ErrorCode = 0x%8.8x";
}  // namespace msg

using text::kLogicalError;

constexpr FrameTexts kFirstFrame{"qvAPIFindFirstNode", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kNextFrame{"qvAPIFindNextNode", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kCloseFrame{"qvAPIFindCloseNode", EndStyle::Hex, nullptr, nullptr, kLogicalError};

struct MemberWalk {
    std::vector<uint8_t> image;  // the group file as it was at FindFirst
    uint32_t next = 0;
};

MemberWalk* WalkOf(QVPAPI& block) { return static_cast<MemberWalk*>(block.nodeGroupMemberFind); }

void EndWalk(QVPAPI& block) {
    delete WalkOf(block);
    block.nodeGroupMemberFind = nullptr;
}

// A walk left open when the session closes or the thread ends goes with it.
void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&EndWalk); });
}

// The next member into `out`; false with 0x20000103 at the end or another code on failure. A
// member whose definition no longer exists is passed over.
bool NextMember(CallContext& call, MemberWalk& walk, QVAPI_NODE* out) {
    const uint32_t count = GroupEntryCount(walk.image);
    const size_t outSize = std::min(CallerNodeSize(call.block()), sizeof(QVAPI_NODE));
    while (walk.next < count) {
        const NodeGroupEntry* entry = GroupEntryAt(walk.image, walk.next);
        const std::string name(FieldText(entry->ucMemberName, kGroupMemberNameSize));
        if (entry->uiMemberKind == kMemberSubGroup) {
            std::memset(out, 0, outSize);
            std::memcpy(out->ucNodeName, name.data(), name.size());
            ++walk.next;
            return true;
        }
        if (entry->uiMemberKind == kMemberClient || entry->uiMemberKind == kMemberMaster) {
            QVAPI_NODE node;
            const uint32_t code = ReadDefinitionWhole(call.block(), call.function(), name.c_str(),
                                                      entry->uiMemberKind == kMemberMaster, &node);
            if (code == 0) {
                node.uiNodeAttributes = entry->uiMemberKind;
                CopyNodeOut(call.block(), node, out);
                ++walk.next;
                return true;
            }
            if (code != QVAPI_ERR_NOT_FOUND) {
                // Left in place: the caller may ask again once the file is free.
                return call.Failed(code, msg::kMemberRead, call.function(), name.c_str(), code);
            }
        }
        ++walk.next;
    }
    call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
    return false;
}

bool HandleOpen(CallContext& call, const void* handle) {
    if (!qvpIsOwnBlock(handle) || WalkOf(call.block()) == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_HANDLE, msg::kBadHandle, call.function());
    }
    return true;
}

QVPAPI_HANDLE FindFirst(CallContext& call, const char* groupPath, QVAPI_NODE* out) {
    if (out == nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadRecord, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    const uint32_t pathCode = groupPath == nullptr ? QVAPI_ERR_INVALID_NAME : CheckGroupPath(groupPath);
    if (pathCode != 0) {
        call.Failed(pathCode,
                    msg::kBadGroupPath, call.function(),
                    groupPath == nullptr ? "(null)" : groupPath, pathCode);
        return QVPAPI_INVALID_HANDLE;
    }
    // A new walk replaces the thread's earlier one.
    EndWalk(call.block());
    if (std::string_view(groupPath) != kRootGroupPath && !IsDirectory(GroupDirectoryPath(groupPath))) {
        call.Failed(QVAPI_ERR_NOT_FOUND, msg::kNoGroup, call.function(), groupPath);
        return QVPAPI_INVALID_HANDLE;
    }
    auto walk = std::make_unique<MemberWalk>();
    const std::string path = GroupFilePath(groupPath);
    DeclaredRead read = DeclaredRead::Failed;
    uint64_t size = 0;
    {
        FileHandle file = OpenExclusive(path);
        if (!file.valid()) {
            const win::DWORD error = win::GetLastError();
            if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) {
                call.Fail(QVAPI_ERR_NO_MORE_ITEMS);  // a group without members has no file
                return QVPAPI_INVALID_HANDLE;
            }
            call.Failed(error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_NODE_FILE_BUSY : QVAPI_ERR_RESOURCE,
                        msg::kCreateFile, call.function(), path.c_str(), static_cast<int>(error));
            return QVPAPI_INVALID_HANDLE;
        }
        read = ReadDeclared(file.get(), kGroupFileLayout, walk->image, &size);
        if (Unreadable(read)) {
            call.Failed(QVAPI_ERR_RESOURCE,
                        msg::kReadFile, call.function(), path.c_str(),
                        static_cast<int>(win::GetLastError()));
            return QVPAPI_INVALID_HANDLE;
        }
    }
    if (read == DeclaredRead::Malformed || !GroupImageWellFormed(walk->image)) {
        call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                    msg::kMalformed, call.function(), path.c_str(),
                    static_cast<unsigned>(size));
        return QVPAPI_INVALID_HANDLE;
    }
    if (!NextMember(call, *walk, out)) return QVPAPI_INVALID_HANDLE;
    RegisterRelease();
    call.block().nodeGroupMemberFind = walk.release();
    return &call.block();
}

}  // namespace

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNode(const char* lpNodeGroupPath,
                                                          QVAPI_NODE* lpNodeData, uint32_t,
                                                          uint32_t) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirst(call, lpNodeGroupPath, lpNodeData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextNode(QVPAPI_HANDLE hFindNode, QVAPI_NODE* lpNodeData,
                                               uint32_t, uint32_t) {
    return qvp::RunApi(kNextFrame, 0, [&](CallContext& call) {
        if (!HandleOpen(call, hFindNode)) return 0;
        if (lpNodeData == nullptr) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadRecord, call.function());
            return 0;
        }
        return NextMember(call, *WalkOf(call.block()), lpNodeData) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseNode(QVPAPI_HANDLE hFindNode, uint32_t, uint32_t) {
    return qvp::RunApi(kCloseFrame, 0, [&](CallContext& call) {
        if (!HandleOpen(call, hFindNode)) return 0;
        EndWalk(call.block());
        return 1;
    });
}
