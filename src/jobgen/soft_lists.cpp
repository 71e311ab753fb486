// Finding, walking and copying the software reference lists. A walk's state lives in its own
// block, so that any number of walks may run; the blocks handed out are kept in a registry, and
// a handle that is not one of them is refused, never followed.

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "core/handles.h"
#include "core/paths.h"
#include "jobgen/jobgen_file.h"
#include "jobgen/soft_lists.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kFindFrame{"qvAPIFindSoftListRefer"};
constexpr FrameTexts kFirstFrame{"qvAPIFindFirstSoftListRefer"};
constexpr FrameTexts kNextFrame{"qvAPIFindNextSoftListRefer"};
constexpr FrameTexts kCloseFrame{"qvAPIFindCloseSoftListRefer"};
constexpr FrameTexts kGetFileFrame{"qvAPIGetFileSoftRefer"};

namespace msg {
constexpr char kNotChange[] = "%s : Parameter Error : %s is Not Change";
constexpr char kRecordNull[] = "%s : Parameter Error : lpSoftDataList is NULL";
constexpr char kNameEmpty[] = "%s : lpSoftRefer is NULL";
constexpr char kNameSize[] = "%s : Parameter Error : lpSoftRefer is invalid size";
constexpr char kFindFirst[] = "%s : FindFirstFile %s : ErrorCode = %d";
constexpr char kFindNext[] = "%s : FindNextFile : ErrorCode = %d";
constexpr char kFindClose[] = "%s : FindClose : ErrorCode = %d";
constexpr char kHandleNull[] = "%s : Parameter Error : hFindSoft is NULL";
constexpr char kHandleInvalid[] = "%s : Parameter Error : hFindSoft is INVALID";
constexpr char kUserInvalid[] = "%s : Parameter Error : %s is INVALID";
constexpr char kPathNull[] = "%s : Parameter Error : lpListFilePath is NULL";
constexpr char kFindError[] = "%s : qvAPIFindSoftListRefer Error : ErrorName is %s";
constexpr char kCopyFrom[] = "%s : CopyFile Error : FromFile = %s";
constexpr char kCopyTo[] = "%s : CopyFile Error : ToFile = %s";
constexpr char kCopyCode[] = "%s : CopyFile Error : Error Code  = %d";
}  // namespace msg

// One open walk of the user lists.
struct SoftFind {
    FindWalk walk;
    uint32_t type = QVAPI_SOFTLIST_USER;
    QVPAPI* owner = nullptr;
};

std::mutex gFindsLock;
std::map<const void*, std::unique_ptr<SoftFind>>& Finds() {
    static auto* finds = new std::map<const void*, std::unique_ptr<SoftFind>>;
    return *finds;
}

// A session that ends takes its walks with it.
void ReleaseFinds(QVPAPI& block) {
    std::lock_guard lock(gFindsLock);
    auto& finds = Finds();
    for (auto it = finds.begin(); it != finds.end();) it = it->second->owner == &block ? finds.erase(it) : std::next(it);
}

void RegisterFindRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&ReleaseFinds); });
}

// The live walk of a handle, or nullptr; the caller holds gFindsLock while it uses it.
SoftFind* LiveFind(const void* handle) {
    auto it = Finds().find(handle);
    return it == Finds().end() ? nullptr : it->second.get();
}

bool IsDots(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

bool LocalTime(const win::FILETIME& time, QVAPI_NODE_TIME& out) {
    win::FILETIME local{};
    win::SYSTEMTIME system{};
    if (win::FileTimeToLocalFileTime(&time, &local) == 0 || win::FileTimeToSystemTime(&local, &system) == 0)
        return false;
    static_assert(sizeof system == sizeof out);
    std::memcpy(&out, &system, sizeof out);
    return true;
}

// The find data of one exact path.
bool Stat(const std::string& path, win::WIN32_FIND_DATAA& data) {
    FindWalk one(path, data);
    return one.valid();
}

// Fills the record of a stored list name: its name, the type, the directory's creation time and
// its file's last-write time. false when either cannot be had.
bool FillRecord(const std::string& storedName, uint32_t type, QVAPI_SOFTLIST& record) {
    std::memset(&record, 0, sizeof record);
    PutField(record.szListName, sizeof record.szListName, storedName);
    record.dwListType = type;
    win::WIN32_FIND_DATAA directory{}, file{};
    return Stat(SoftListRoot() + "\\" + storedName, directory) && Stat(ListFilePath(storedName), file) &&
           LocalTime(file.ftLastWriteTime, record.stUpdate) && LocalTime(directory.ftCreationTime, record.stCreate);
}

// Advances a walk past ".", ".." and the default list. 0, 0x20000103 at the end, 0x20100000 on
// another failure.
uint32_t NextUserList(CallContext& call, FindWalk& walk, win::WIN32_FIND_DATAA& data) {
    do {
        if (!walk.Next(data)) {
            const win::DWORD error = win::GetLastError();
            if (error == win::ERROR_NO_MORE_FILES) return QVAPI_ERR_NO_MORE_ITEMS;
            call.Log(msg::kFindNext, call.function(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
    } while (IsDots(data.cFileName) || IsDefaultName(data.cFileName));
    return 0;
}

QVPAPI_HANDLE FindFirst(CallContext& call, uint32_t type, QVAPI_SOFTLIST* record) {
    RegisterFindRelease();
    const char* fn = call.function();
    auto fail = [&](uint32_t code) {
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    };
    if (type != QVAPI_SOFTLIST_USER) {
        call.Log(softmsg::kTypeInvalid, fn);
        return fail(QVAPI_ERR_INVALID_PARAMETER);
    }
    if (record == nullptr) {
        call.Log(msg::kRecordNull, fn);
        return fail(QVAPI_ERR_INVALID_PARAMETER);
    }
    auto find = std::make_unique<SoftFind>();
    find->owner = &call.block();
    win::WIN32_FIND_DATAA data{};
    const std::string pattern = SoftListRoot() + "\\*";
    find->walk = FindWalk(pattern, data);
    if (!find->walk.valid()) {
        call.Log(msg::kFindFirst, fn, pattern.c_str(), static_cast<int>(win::GetLastError()));
        return fail(QVAPI_ERR_NO_MORE_ITEMS);
    }
    if (IsDots(data.cFileName) || IsDefaultName(data.cFileName)) {
        if (uint32_t code = NextUserList(call, find->walk, data); code != 0) return fail(code);
    }
    if (!FillRecord(data.cFileName, QVAPI_SOFTLIST_USER, *record)) return fail(QVAPI_ERR_RESOURCE);
    std::lock_guard lock(gFindsLock);
    SoftFind* handle = find.get();
    Finds().emplace(handle, std::move(find));
    return handle;
}

int FindNext(CallContext& call, const void* handle, QVAPI_SOFTLIST* record) {
    const char* fn = call.function();
    // Held throughout, so that a close on another thread cannot free the walk under us.
    std::lock_guard lock(gFindsLock);
    SoftFind* find = LiveFind(handle);
    if (find == nullptr || !find->walk.valid()) {
        call.Log(msg::kHandleNull, fn);
        return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
    }
    if (record == nullptr) {
        call.Log(msg::kRecordNull, fn);
        return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
    }
    if (find->type != QVAPI_SOFTLIST_USER) {
        call.Log(msg::kHandleInvalid, fn);
        return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
    }
    win::WIN32_FIND_DATAA data{};
    if (uint32_t code = NextUserList(call, find->walk, data); code != 0) return Finish(call, code);
    return Finish(call, FillRecord(data.cFileName, find->type, *record) ? 0 : QVAPI_ERR_RESOURCE);
}

int FindClose(CallContext& call, const void* handle) {
    std::unique_ptr<SoftFind> find;
    {
        std::lock_guard lock(gFindsLock);
        auto it = Finds().find(handle);
        if (it != Finds().end()) {
            find = std::move(it->second);
            Finds().erase(it);
        }
    }
    if (find == nullptr || !find->walk.valid()) {
        call.Log(msg::kHandleNull, call.function());
        return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
    }
    if (!find->walk.Close()) {
        call.Log(msg::kFindClose, call.function(), static_cast<int>(win::GetLastError()));
        return Finish(call, QVAPI_ERR_RESOURCE);
    }
    return 1;
}

int GetFile(CallContext& call, uint32_t type, const char* name, const char* target) {
    const char* fn = call.function();
    auto refuse = [&](uint32_t code) { return Finish(call, code); };
    if (type != QVAPI_SOFTLIST_DEFAULT && type != QVAPI_SOFTLIST_USER) {
        call.Log(softmsg::kTypeInvalid, fn);
        return refuse(QVAPI_ERR_INVALID_PARAMETER);
    }
    if (name == nullptr || name[0] == '\0') {
        call.Log(softmsg::kNameNull, fn);
        return refuse(QVAPI_ERR_INVALID_PARAMETER);
    }
    if (strnlen(name, kListNameMax + 1) > kListNameMax) {
        call.Log(msg::kNameSize, fn);
        return refuse(QVAPI_ERR_INVALID_PARAMETER);
    }
    if (type == QVAPI_SOFTLIST_DEFAULT && !IsDefaultName(name)) {
        call.Log(softmsg::kNameInvalid, fn, name);
        return refuse(QVAPI_ERR_INVALID_PARAMETER);
    }
    if (type == QVAPI_SOFTLIST_USER && IsDefaultName(name)) {
        call.Log(msg::kUserInvalid, fn, name);
        return refuse(QVAPI_ERR_INVALID_PARAMETER);
    }
    if (target == nullptr || target[0] == '\0') {
        call.Log(msg::kPathNull, fn);
        return refuse(QVAPI_ERR_INVALID_PARAMETER);
    }
    const char* lookedUp = type == QVAPI_SOFTLIST_DEFAULT ? kDefaultList : name;
    QVAPI_SOFTLIST record{};
    if (uint32_t code = FindSoftList(call, type, lookedUp, &record); code != 0) {
        call.Log(msg::kFindError, fn, lookedUp);
        return refuse(code);
    }
    // The stored spelling names the file: the caller's may differ in case.
    const std::string from = ListFilePath(std::string(record.szListName, strnlen(record.szListName, kListNameMax)));
    if (win::CopyFile(from.c_str(), target, win::FALSE) == 0) {
        const int error = static_cast<int>(win::GetLastError());
        call.Log(msg::kCopyFrom, fn, from.c_str());
        call.Log(msg::kCopyTo, fn, target);
        call.Log(msg::kCopyCode, fn, error);
        return refuse(QVAPI_ERR_RESOURCE);
    }
    return 1;
}

}  // namespace

std::string SoftListRoot() { return PathOf(qvpMakeMngflSoftReferPath) + "\\SOFTLIST"; }

bool IsDefaultName(std::string_view name) {
    return name.size() == sizeof kDefaultList - 1 && win::_strnicmp(name.data(), kDefaultList, name.size()) == 0;
}

std::string ListFilePath(std::string_view storedName) {
    return SoftListRoot() + "\\" + std::string(storedName) + "\\" +
           (IsDefaultName(storedName) ? kDefaultListFile : kUserListFile);
}

uint32_t FindSoftList(CallContext& call, uint32_t type, const char* name, QVAPI_SOFTLIST* record) {
    const char* fn = call.function();
    if (type > QVAPI_SOFTLIST_USER_ONLY) {
        call.Log(softmsg::kTypeInvalid, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (name == nullptr) {
        call.Log(softmsg::kNameNull, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const bool empty = name[0] == '\0';
    if (type == QVAPI_SOFTLIST_DEFAULT && !empty && !IsDefaultName(name)) {
        call.Log(softmsg::kNameInvalid, fn, name);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (((type == QVAPI_SOFTLIST_USER || type == QVAPI_SOFTLIST_USER_ONLY) && IsDefaultName(name)) ||
        (type == QVAPI_SOFTLIST_NONE && !empty)) {
        call.Log(msg::kNotChange, fn, name);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (record == nullptr) {
        call.Log(msg::kRecordNull, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    // Type 2 names no list at all: an argument error even with an empty name.
    if (type == QVAPI_SOFTLIST_NONE) {
        call.Log(softmsg::kTypeInvalid, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (empty) {
        call.Log(msg::kNameEmpty, fn);
        return QVAPI_ERR_NO_MORE_ITEMS;
    }
    const size_t length = strnlen(name, kListNameMax + 1);
    if (length > kListNameMax) {
        call.Log(msg::kNameSize, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    win::WIN32_FIND_DATAA data{};
    const std::string pattern = SoftListRoot() + "\\*";
    FindWalk walk(pattern, data);
    if (!walk.valid()) {
        call.Log(msg::kFindFirst, fn, pattern.c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_NO_MORE_ITEMS;
    }
    do {
        if (IsDots(data.cFileName)) continue;
        if (std::strlen(data.cFileName) == length && win::_strnicmp(data.cFileName, name, length) == 0)
            return FillRecord(data.cFileName, type, *record) ? 0 : QVAPI_ERR_NO_MORE_ITEMS;
    } while (walk.Next(data));
    call.Log(msg::kFindNext, fn, static_cast<int>(win::GetLastError()));
    return QVAPI_ERR_NO_MORE_ITEMS;
}

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPIFindSoftListRefer(uint32_t dwListType, const char* lpSoftRefer,
                                                    QVAPI_SOFTLIST* lpSoftDataList, uint32_t, uint32_t) {
    return qvp::RunApi(kFindFrame, 0, [&](qvp::CallContext& call) {
        return Finish(call, FindSoftList(call, dwListType, lpSoftRefer, lpSoftDataList));
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSoftListRefer(uint32_t dwListType, QVAPI_SOFTLIST* lpSoftDataList) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE,
                       [&](qvp::CallContext& call) { return FindFirst(call, dwListType, lpSoftDataList); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextSoftListRefer(QVPAPI_HANDLE hFindSoft, QVAPI_SOFTLIST* lpSoftDataList) {
    return qvp::RunApi(kNextFrame, 0, [&](qvp::CallContext& call) { return FindNext(call, hFindSoft, lpSoftDataList); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseSoftListRefer(QVPAPI_HANDLE hFindSoft) {
    return qvp::RunApi(kCloseFrame, 0, [&](qvp::CallContext& call) { return FindClose(call, hFindSoft); });
}

extern "C" QVPAPI_EXPORT int qvAPIGetFileSoftRefer(uint32_t dwListType, const char* lpSoftRefer,
                                                   const char* lpListFilePath) {
    return qvp::RunApi(kGetFileFrame, 0,
                       [&](qvp::CallContext& call) { return GetFile(call, dwListType, lpSoftRefer, lpListFilePath); });
}
