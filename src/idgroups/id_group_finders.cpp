// The ID-group finders: an ID is found by its "I.<name>" folder and described by its record in
// the ID store. The handle of a walk is the calling thread's block.
#include <cstring>
#include <memory>
#include <mutex>

#include "core/errors.h"
#include "core/handles.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"
#include "nodes/name_checks.h"
#include "nodes/node_group_file.h"
#include "qvpapi.h"

namespace qvp::ids {

namespace {

constexpr char kNoGroupName[] = "%s : lpNodeGroupName Pointer is NULL";
constexpr char kNoFolder[] = "%s : NO_MORE_ITEMS = %s";
constexpr char kFirstFileError[] = "%s : FindFirstFile : ErrorCode = %d";
constexpr char kNextFileError[] = "%s : FindNextFile : ErrorCode = %d";
constexpr char kNextError[] = "%s : qvAPIFindNextIDGroup : ErrorCode = 0x%8.8x";
constexpr char kReleaseError2[] = "%s : qvpAPIIDCommand error : RLS(2)";
constexpr char kCloseError[] = "%s : ErrorCode = %d";
constexpr char kFolderPattern[] = "\\I.*";
constexpr size_t kFolderPrefix = 2;  // "I."

constexpr FrameTexts kFindFrame = FinderFrame("qvAPIFindIDGroup", EndStyle::Decimal);
constexpr FrameTexts kFirstFrame = FinderFrame("qvAPIFindFirstIDGroup", EndStyle::Hex);
constexpr FrameTexts kNextFrame = FinderFrame("qvAPIFindNextIDGroup", EndStyle::Decimal, false);
constexpr FrameTexts kCloseFrame = FinderFrame("qvAPIFindCloseIDGroup", EndStyle::Decimal);

struct GroupWalk {
    FindWalk folders;  // none until the first Next
    std::string pattern;
    std::string groupText;
};

GroupWalk* WalkOf(QVPAPI& block) { return static_cast<GroupWalk*>(block.idGroupFind); }

void EndWalk(QVPAPI& block) {
    delete WalkOf(block);
    block.idGroupFind = nullptr;
}

// The next directory entry of the walk; false with the code set at the end or on failure.
bool NextFolder(CallContext& call, GroupWalk& walk, win::WIN32_FIND_DATAA& entry) {
    if (!walk.folders.valid()) {
        walk.folders = FindWalk(walk.pattern, entry);
        if (walk.folders.valid()) return true;
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) {
            call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
        } else {
            call.Log(kFirstFileError, call.function(), static_cast<int>(error));
            call.Fail(QVAPI_ERR_RESOURCE);
        }
        return false;
    }
    if (walk.folders.Next(entry)) return true;
    const win::DWORD error = win::GetLastError();
    if (error != win::ERROR_NO_MORE_FILES) {
        call.Log(kNextFileError, call.function(), static_cast<int>(error));
        call.Fail(QVAPI_ERR_RESOURCE);
    } else {
        call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
    }
    return false;
}

// The next ID of the walk that the ID store knows, into `out`.
bool NextGroup(CallContext& call, GroupWalk& walk, QVAPI_NODE* out) {
    win::WIN32_FIND_DATAA entry;
    while (NextFolder(call, walk, entry)) {
        if ((entry.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
        // "I" and "I." match the pattern too but name no ID.
        const std::string_view folder(entry.cFileName);
        if (folder.size() <= kFolderPrefix) continue;
        const std::string id(folder.substr(kFolderPrefix));
        IdNodeData whole;
        if (IsNetworkId(id, false)) {
            FillGroup(call, id, walk.groupText, nullptr, whole);
            CopyOut(call.block(), whole, out);
            return true;
        }
        uint8_t record[QVAPI_IDRECORD_SIZE];
        if (!qvpAPIIDCommand(&call.block(), kIdGet, kLetterIds, kKeyTake, id.c_str(), nullptr, record)) {
            const uint32_t code = IdFailureCode(call.block());
            if (code == QVAPI_ERR_NO_MORE_ITEMS) {
                // A folder the ID store does not know is passed over.
                if (!ReleaseLetter(call, kLetterIds, msg::kReleaseError)) return false;
                continue;
            }
            call.Log(msg::kCommandError, call.function());
            if (ReleaseLetter(call, kLetterIds, kReleaseError2)) call.Fail(code);
            return false;
        }
        const uint32_t code = FillGroup(call, id, walk.groupText, record, whole);
        const bool released = ReleaseLetter(call, kLetterIds, kReleaseError2);
        if (code != 0) {
            if (released) call.Fail(code);
            return false;
        }
        CopyOut(call.block(), whole, out);
        return true;
    }
    return false;
}

bool OwnWalk(CallContext& call, const void* handle) {
    if (qvpIsOwnBlock(handle) && WalkOf(call.block()) != nullptr) return true;
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return false;
}

}  // namespace

void RegisterFindRelease() {
    static std::once_flag once;
    std::call_once(once, [] {
        qvpRegisterSessionReleaseHook(&EndWalk);
        qvpRegisterSessionReleaseHook(&EndMemberWalks);
    });
}

}  // namespace qvp::ids

using namespace qvp;
using namespace qvp::ids;

extern "C" QVPAPI_EXPORT int qvAPIFindIDGroup(const char* lpNodeGroupPath, const char* lpNodeGroupName,
                                              QVAPI_NODE* lpFindNodeData, uint32_t, uint32_t) {
    return RunApi(kFindFrame, 0, [&](CallContext& call) {
        IdPlace place;
        if (!ResolvePlace(call, lpNodeGroupPath, place)) return 0;
        if (lpNodeGroupName == nullptr || lpNodeGroupName[0] == '\0') {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNoGroupName, call.function());
            return 0;
        }
        if (!qvp::nodes::qvAPINameParameterCheckEx(lpNodeGroupName, kNameOptGeneral, "lpNodeGroupName", 0, 0)) {
            call.Fail(qvAPIGetLastError());
            return 0;
        }
        if (!NeedRecord(call, lpFindNodeData)) return 0;
        const std::string folder = place.folder + "\\I." + lpNodeGroupName;
        if (!nodes::IsDirectory(folder)) {
            call.Failed(QVAPI_ERR_NO_MORE_ITEMS, kNoFolder, call.function(), folder.c_str());
            return 0;
        }
        IdNodeData whole;
        if (IsNetworkId(lpNodeGroupName, true)) {
            FillGroup(call, lpNodeGroupName, place.groupText, nullptr, whole);
            CopyOut(call.block(), whole, lpFindNodeData);
            return 1;
        }
        uint8_t record[QVAPI_IDRECORD_SIZE];
        uint32_t code = 0;
        if (qvpAPIIDCommand(&call.block(), kIdGet, kLetterIds, kKeyTake, lpNodeGroupName, nullptr, record)) {
            code = FillGroup(call, lpNodeGroupName, place.groupText, record, whole);
        } else {
            code = IdFailureCode(call.block());
            call.Log(msg::kCommandError, call.function());
        }
        // A failed release leaves its code, even beside a result of 1.
        const bool released = ReleaseLetter(call, kLetterIds, msg::kReleaseError);
        if (code != 0) {
            if (released) call.Fail(code);
            return 0;
        }
        CopyOut(call.block(), whole, lpFindNodeData);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDGroup(const char* lpNodeGroupPath,
                                                             QVAPI_NODE* lpFindNodeData, uint32_t, uint32_t) {
    return RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) -> QVPAPI_HANDLE {
        QVPAPI& block = call.block();
        IdPlace place;
        if (!ResolvePlace(call, lpNodeGroupPath, place) || !NeedRecord(call, lpFindNodeData))
            return QVPAPI_INVALID_HANDLE;
        RegisterFindRelease();
        EndWalk(block);  // a new walk replaces the thread's earlier one
        auto walk = std::make_unique<GroupWalk>();
        walk->pattern = place.folder + kFolderPattern;
        walk->groupText = place.groupText;
        block.idGroupFind = walk.get();
        if (NextGroup(call, *walk.release(), lpFindNodeData)) return &block;
        call.Log(kNextError, call.function(), call.code());
        EndWalk(block);
        return QVPAPI_INVALID_HANDLE;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextIDGroup(QVPAPI_HANDLE hFind, QVAPI_NODE* lpFindNodeData, uint32_t,
                                                  uint32_t) {
    return RunApi(kNextFrame, 0, [&](CallContext& call) {
        if (!OwnWalk(call, hFind) || !NeedRecord(call, lpFindNodeData)) return 0;
        return NextGroup(call, *WalkOf(call.block()), lpFindNodeData) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseIDGroup(QVPAPI_HANDLE hFind, uint32_t, uint32_t) {
    return RunApi(kCloseFrame, 0, [&](CallContext& call) {
        if (!OwnWalk(call, hFind)) return 0;
        GroupWalk& walk = *WalkOf(call.block());
        if (!walk.folders.Close()) {
            call.Failed(QVAPI_ERR_RESOURCE,
                        kCloseError, call.function(), static_cast<int>(win::GetLastError()));
            return 0;
        }
        EndWalk(call.block());
        return 1;
    });
}
