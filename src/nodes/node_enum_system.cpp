// Every stored definition file, one per call (the system definitions), and their count. The
// walk handle is the platform's own; the library keeps the ones it handed out so that a stale
// or foreign handle is refused instead of being used.
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "core/frame.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kNoRecord[] = "%s : Parameter Err : QVAPI_NODE Struct Address is NULL";
constexpr char kBadHandle[] = "%s : Parameter Err : FindNodeDefinition Handle Value is INVALID";
constexpr char kCloseBadHandle[] = "%s : Parameter Err : FindNodeDefinition HANDLE Value is INVALID";
constexpr char kFindFirst[] = "%s : FindFirstFile Err %d";
constexpr char kFindNext[] = "%s : FindNextFile Err %d";
constexpr char kCreateFile[] = "%s : CreateFile Err %d";
constexpr char kReadFile[] = "%s : ReadFile Err %d";
constexpr char kFindClose[] = "%s : Findclose Err %d";
constexpr char kCountFindFirst[] = "%s : FindFirstFile Error %s : ErrorCode = %d";
}  // namespace msg

constexpr FrameTexts kFirstFrame{"qvAPIFindFirstSystemDefinition", EndStyle::Hex, nullptr, nullptr,
                                 text::kLogicalError};
constexpr FrameTexts kNextFrame{"qvAPIFindNextSystemDefinition", EndStyle::Hex, nullptr, nullptr,
                                text::kLogicalError};
constexpr FrameTexts kCloseFrame{"qvAPIFindCloseSystemDefinition", EndStyle::Hex, nullptr, nullptr,
                                 text::kLogicalError};
constexpr FrameTexts kCountFrame{"qvAPIGetTotalNumberSystemDefinition", EndStyle::Hex, nullptr,
                                 nullptr, text::kLogicalError};

// Walk handles handed out and not yet closed (any thread may carry one to its close).
std::mutex gWalksLock;
std::set<win::HANDLE>& Walks() {
    static std::set<win::HANDLE> walks;
    return walks;
}
bool KnownWalk(win::HANDLE h) {
    std::lock_guard<std::mutex> lock(gWalksLock);
    return Walks().count(h) != 0;
}

// A file entry's record over `buffer` (the caller's record or a cleared one): at most one
// record is read, however long the file. Directories (the key directories of top-level nodes)
// and entries that are not regular files are passed over by the caller.
bool ReadEntry(CallContext& call, const win::WIN32_FIND_DATAA& data, QVAPI_NODE& buffer) {
    const std::string path =
        NodeDefDir() + "\\" + std::string(FieldText(data.cFileName, sizeof data.cFileName));
    FileHandle file = OpenExclusiveRead(path);
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        return call.Failed(error, msg::kCreateFile, call.function(), static_cast<int>(error));
    }
    uint32_t got = 0;
    if (!ReadUpTo(file.get(), &buffer, sizeof buffer, &got)) {
        const win::DWORD error = win::GetLastError();
        return call.Failed(error, msg::kReadFile, call.function(), static_cast<int>(error));
    }
    buffer.ucSystemKey = call.block().systemManagementKey;
    return true;
}

bool Listed(const win::WIN32_FIND_DATAA& data) {
    return data.cFileName[0] != '.' &&
           (data.dwFileAttributes & (win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_SYSTEM)) == 0;
}

// Advances to the next listed entry; false with the platform's error (18 at the end).
bool Advance(win::HANDLE find, win::WIN32_FIND_DATAA& data) {
    do {
        if (!win::FindNextFile(find, &data)) return false;
    } while (!Listed(data));
    return true;
}

QVPAPI_HANDLE FindFirst(CallContext& call, QVAPI_NODE* out) {
    if (out == nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNoRecord, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    QVAPI_NODE buffer{};
    const size_t size = std::min(CallerNodeSize(call.block()), sizeof buffer);
    std::memcpy(&buffer, out, size);
    win::WIN32_FIND_DATAA data{};
    const std::string pattern = NodeDefDir() + "\\*.*";
    // Ended here on every failure; on success the caller owns it until its close.
    FindWalk find(pattern, data);
    if (!find.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error != win::ERROR_NO_MORE_FILES) call.Log(msg::kFindFirst, call.function(), static_cast<int>(error));
        call.Fail(error);
        return QVPAPI_INVALID_HANDLE;
    }
    if (!Listed(data) && !Advance(find.get(), data)) {
        const win::DWORD error = win::GetLastError();
        call.Failed(error, msg::kFindNext, call.function(), static_cast<int>(error));
        return QVPAPI_INVALID_HANDLE;
    }
    if (!ReadEntry(call, data, buffer)) return QVPAPI_INVALID_HANDLE;
    std::memcpy(out, &buffer, size);
    win::HANDLE handle = find.Release();
    {
        std::lock_guard<std::mutex> lock(gWalksLock);
        Walks().insert(handle);
    }
    return handle;
}

bool FindNext(CallContext& call, win::HANDLE handle, QVAPI_NODE* out) {
    if (out == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNoRecord, call.function());
    }
    if (handle == nullptr || !KnownWalk(handle)) {
        return call.Failed(QVAPI_ERR_INVALID_HANDLE, msg::kBadHandle, call.function());
    }
    const size_t size = std::min(CallerNodeSize(call.block()), sizeof(QVAPI_NODE));
    std::memset(out, 0, size);
    QVAPI_NODE buffer{};
    win::WIN32_FIND_DATAA data{};
    if (!Advance(handle, data)) {
        const win::DWORD error = win::GetLastError();
        if (error != win::ERROR_NO_MORE_FILES) call.Log(msg::kFindNext, call.function(), static_cast<int>(error));
        call.Fail(error);
        return false;
    }
    if (!ReadEntry(call, data, buffer)) return false;
    std::memcpy(out, &buffer, size);
    return true;
}

bool FindClose(CallContext& call, win::HANDLE handle) {
    {
        std::lock_guard<std::mutex> lock(gWalksLock);
        if (handle == nullptr || Walks().erase(handle) == 0) {
            return call.Failed(QVAPI_ERR_INVALID_HANDLE, msg::kCloseBadHandle, call.function());
        }
    }
    if (!win::FindClose(handle)) {
        const win::DWORD error = win::GetLastError();
        return call.Failed(error, msg::kFindClose, call.function(), static_cast<int>(error));
    }
    return true;
}

int TotalNumber(CallContext& call) {
    win::WIN32_FIND_DATAA data{};
    const std::string pattern = NodeDefDir() + "\\*";
    FindWalk find(pattern, data);
    if (!find.valid()) {
        const win::DWORD error = win::GetLastError();
        // A store that was never written holds no definition.
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return 0;
        call.Failed(QVAPI_ERR_RESOURCE,
                    msg::kCountFindFirst, call.function(), pattern.c_str(),
                    static_cast<int>(error));
        return -1;
    }
    int count = 0;
    if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0 && data.cFileName[0] != '.' &&
        FieldText(data.cFileName, sizeof data.cFileName) != kAttributionFileName)
        count = 1;
    // The continued count answers 0 both for "nothing more" and for a failed walk; only the
    // error it leaves tells them apart.
    qvAPISetLastError(0);
    const int total = qvpAPINodeCount(&call.block(), find.get(), 0, count);
    if (total == 0 && qvAPIGetLastError() == QVAPI_ERR_RESOURCE) {
        call.Fail(QVAPI_ERR_RESOURCE);
        return -1;
    }
    return total;
}

}  // namespace

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSystemDefinition(QVAPI_NODE* lpNodeData) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE,
                       [&](CallContext& call) { return FindFirst(call, lpNodeData); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextSystemDefinition(QVPAPI_HANDLE hFindNode,
                                                           QVAPI_NODE* lpNodeData) {
    return qvp::RunApi(kNextFrame, 0, [&](CallContext& call) {
        return FindNext(call, hFindNode, lpNodeData) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseSystemDefinition(QVPAPI_HANDLE hFindNode) {
    return qvp::RunApi(kCloseFrame, 0,
                       [&](CallContext& call) { return FindClose(call, hFindNode) ? 1 : 0; });
}

extern "C" QVPAPI_EXPORT int qvAPIGetTotalNumberSystemDefinition(void) {
    return qvp::RunApi(kCountFrame, -1, [&](CallContext& call) { return TotalNumber(call); });
}
