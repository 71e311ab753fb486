// Access to a registered package's files: open by key, read in pieces, close. The files are
// read straight from the store; no request goes to the manager.
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "core/frame.h"
#include "core/handles.h"
#include "core/memory.h"
#include "packages/package_args.h"
#include "platform/win.h"

namespace {

using qvp::CallContext;
using qvp::FileHandle;
using qvp::FrameTexts;
using namespace qvp::packages;

namespace msg {
constexpr char kParameter[] = "%s : Parameter Error : %s is NULL";
constexpr char kKeyPart[] = "%s : Parameter Error : %s is INVALID";
constexpr char kPathLength[] = "%s : Parameter Error : Attribution File Path Name Len";
constexpr char kAttrOpen[] = "%s : Attribution File CreateFile = %s : ErrorCode = 0x%8.8x";
constexpr char kAttrRead[] = "%s : Attribution File ReadFile = %s : ErrorCode = 0x%8.8x";
constexpr char kResourceName[] = "%s : Attribution File = %s : Resource Name is INVALID";
constexpr char kAlloc[] = "%s : malloc Error : errno = %d";
constexpr char kPackageOpen[] = "%s : PackageFile CreateFile = %s : ErrorCode = 0x%8.8x";
constexpr char kScriptOpen[] = "%s : ScriptFile CreateFile = %s : ErrorCode = 0x%8.8x";
constexpr char kHandle[] = "%s : Parameter Error : hPackage is NULL";
constexpr char kBuffer[] = "%s : Parameter Error : lpBuffer is NULL";
constexpr char kSizeZero[] = "%s : Parameter Error : nNumberOfbytesToRead is NULL";
constexpr char kSizeOver[] = "%s : nNumberOfbytesToRead is Size Over : %d";
constexpr char kCount[] = "%s : Parameter Error : lpNumberOfBytesToRead is NULL";
constexpr char kNoScript[] = "%s : Function Error : Only Script File Existence";
constexpr char kPackageRead[] = "%s : PackageFile ReadFile = %x : ErrorCode = 0x%8.8x";
constexpr char kScriptRead[] = "%s : ScriptFile ReadFile = %x : ErrorCode = 0x%8.8x";
constexpr char kPackageClose[] = "%s : PackageFile CloseHandle = %x : ErrorCode = 0x%8.8x";
constexpr char kScriptClose[] = "%s : ScriptFile CloseHandle = %x : ErrorCode = 0x%8.8x";
}  // namespace msg

constexpr FrameTexts kOpenFrame{"qvAPIOpenPackage"};
constexpr FrameTexts kReadPackageFrame{"qvAPIReadPackageFile"};
constexpr FrameTexts kReadScriptFrame{"qvAPIReadScriptFile"};
constexpr FrameTexts kCloseFrame{"qvAPIClosePackage"};

constexpr size_t kVersionWidth = 8;
constexpr char kScriptOpenMarker = 'N';
constexpr char kNoScriptMarker = 'Y';

// The block a package handle points to, from the session heap.
struct PackageHandle {
    win::HANDLE script;   // 0 when the package has none
    win::HANDLE package;
    char marker;          // 'N' the script file is open, 'Y' the package has none
};

// The handles each session has open: only those are accepted, and the session's close closes
// what its caller left open.
std::mutex gLiveMutex;
std::map<const QVPAPI*, std::set<PackageHandle*>> gLive;

void CloseFiles(PackageHandle& handle) {
    if (qvp::IsHandle(handle.package)) win::CloseHandle(handle.package);
    if (handle.marker == kScriptOpenMarker && qvp::IsHandle(handle.script)) win::CloseHandle(handle.script);
}

void CloseAll(QVPAPI& block) {
    std::set<PackageHandle*> open;
    {
        std::lock_guard lock(gLiveMutex);
        auto it = gLive.find(&block);
        if (it == gLive.end()) return;
        open = std::move(it->second);
        gLive.erase(it);
    }
    for (PackageHandle* handle : open) {
        CloseFiles(*handle);
        qvpAPIFree(handle);
    }
}

void Register(const QVPAPI& block, PackageHandle* handle) {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&CloseAll); });
    std::lock_guard lock(gLiveMutex);
    gLive[&block].insert(handle);
}

// The handle when this session opened it and has not closed it; else NULL.
PackageHandle* Live(const QVPAPI& block, QVPAPI_HANDLE value) {
    std::lock_guard lock(gLiveMutex);
    auto it = gLive.find(&block);
    if (it == gLive.end()) return nullptr;
    auto* handle = static_cast<PackageHandle*>(value);
    return it->second.count(handle) != 0 ? handle : nullptr;
}

void Forget(const QVPAPI& block, PackageHandle* handle) {
    std::lock_guard lock(gLiveMutex);
    auto it = gLive.find(&block);
    if (it != gLive.end()) it->second.erase(handle);
}

// Logs `text` with the function's name and `what`, and sets `code`; false.
bool RefuseArgument(CallContext& call, const char* text, const char* what,
                    uint32_t code = QVAPI_ERR_INVALID_PARAMETER) {
    return call.Failed(code, text, call.function(), what);
}

// Opens one resource file of the record; an invalid handle after failing.
FileHandle OpenResource(CallContext& call, const QVAPI_PACKAGE& record, char letter, const char* openText) {
    const std::string path = ResourceFilePath(record, letter);
    if (path.empty()) {
        std::string id;
        const bool named = qvp::records::ResourceFileId(record, letter, id);
        call.Log(msg::kResourceName, call.function(), std::string(record.szResourceName, strnlen(record.szResourceName, 8)).c_str());
        call.Fail(named ? QVAPI_ERR_INVALID_PARAMETER : QVAPI_ERR_UNEXPECTED_DATA);
        return {};
    }
    FileHandle file = OpenForReading(path.c_str());
    if (!file.valid()) {
        call.Log(openText, call.function(), path.c_str(), win::GetLastError());
        call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
    }
    return file;
}

QVPAPI_HANDLE Open(CallContext& call, char qvCode, const char* cabinet, const char* package, char* version,
                   const char* generation) {
    const struct {
        const char* text;
        const char* name;
    } parts[] = {{cabinet, "lpCabinetId"}, {package, "lpPackageId"}, {version, "lpPackageVersion"},
                 {generation, "lpPackageNo"}};
    if (qvCode == 0) {
        RefuseArgument(call, msg::kParameter, "ucQvCode");
        return QVPAPI_INVALID_HANDLE;
    }
    for (const auto& part : parts) {
        if (part.text == nullptr || part.text[0] == '\0') {
            RefuseArgument(call, msg::kParameter, part.name);
            return QVPAPI_INVALID_HANDLE;
        }
    }
    // The caller sees its version as the file names spell it; a text without '/' is left
    // untouched, so a read-only one is safe.
    for (size_t i = 0; i < kVersionWidth && version[i] != '\0'; ++i)
        if (version[i] == '/') version[i] = '#';
    // The texts become one file name: none may hold a separator or be "." or "..".
    if (!IsFileNamePart(std::string(1, qvCode))) {
        RefuseArgument(call, msg::kKeyPart, "ucQvCode");
        return QVPAPI_INVALID_HANDLE;
    }
    for (const auto& part : parts) {
        if (!IsFileNamePart(part.text)) {
            RefuseArgument(call, msg::kKeyPart, part.name);
            return QVPAPI_INVALID_HANDLE;
        }
    }
    const std::string path = AttributionFilePath(PackageKeyTexts{qvCode, cabinet, package, version, generation});
    if (path.empty()) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kPathLength, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    QVAPI_PACKAGE record;
    if (!ReadRecordFile(call, path.c_str(), record, msg::kAttrOpen, msg::kAttrRead)) return QVPAPI_INVALID_HANDLE;

    FileHandle packageFile = OpenResource(call, record, kPackageFileLetter, msg::kPackageOpen);
    if (!packageFile.valid()) return QVPAPI_INVALID_HANDLE;
    FileHandle scriptFile;
    if (HasScript(record)) {
        scriptFile = OpenResource(call, record, kScriptFileLetter, msg::kScriptOpen);
        if (!scriptFile.valid()) return QVPAPI_INVALID_HANDLE;
    }
    auto* handle = static_cast<PackageHandle*>(qvpAPIAlloc(sizeof(PackageHandle)));
    if (handle == nullptr) {
        call.Failed(QVAPI_ERR_RESOURCE, msg::kAlloc, call.function(), 12);
        return QVPAPI_INVALID_HANDLE;
    }
    const bool script = scriptFile.valid();
    handle->package = packageFile.Release();
    handle->script = script ? scriptFile.Release() : nullptr;
    handle->marker = script ? kScriptOpenMarker : kNoScriptMarker;
    Register(call.block(), handle);
    return handle;
}

// The checks both reads share after the handle's own; then one read.
int Read(CallContext& call, win::HANDLE file, const char* readText, void* buffer, uint32_t size, uint32_t* count) {
    if (buffer == nullptr) return static_cast<int>(Refuse(call, msg::kBuffer));
    if (size == 0) return static_cast<int>(Refuse(call, msg::kSizeZero));
    if (size > QVAPI_PACKAGE_READ_MAX) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                    msg::kSizeOver, call.function(), static_cast<int>(size));
        return 0;
    }
    if (count == nullptr) return static_cast<int>(Refuse(call, msg::kCount));
    win::DWORD got = 0;
    if (!win::ReadFile(file, buffer, size, &got, nullptr)) {
        call.Failed(QVAPI_ERR_RESOURCE, readText, call.function(),
                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(file)), win::GetLastError());
        return 0;
    }
    *count = got;
    return 1;
}

PackageHandle* HandleOf(CallContext& call, QVPAPI_HANDLE value) {
    PackageHandle* handle = value == nullptr ? nullptr : Live(call.block(), value);
    if (handle == nullptr) Refuse(call, msg::kHandle);
    return handle;
}

}  // namespace

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIOpenPackage(char ucQvCode, const char* lpCabinetId,
                                                        const char* lpPackageId, char* lpPackageVersion,
                                                        const char* lpPackageNo, uint32_t, uint32_t) {
    return qvp::RunApi(kOpenFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return Open(call, ucQvCode, lpCabinetId, lpPackageId, lpPackageVersion, lpPackageNo);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIReadPackageFile(QVPAPI_HANDLE hPackage, void* lpBuffer, uint32_t nNumberOfbytesToRead,
                                                  uint32_t* lpNumberOfBytesRead) {
    return qvp::RunApi(kReadPackageFrame, 0, [&](CallContext& call) {
        PackageHandle* handle = HandleOf(call, hPackage);
        if (handle == nullptr) return 0;
        return Read(call, handle->package, msg::kPackageRead, lpBuffer, nNumberOfbytesToRead, lpNumberOfBytesRead);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIReadScriptFile(QVPAPI_HANDLE hPackage, void* lpBuffer, uint32_t nNumberOfbytesToRead,
                                                 uint32_t* lpNumberOfBytesRead) {
    return qvp::RunApi(kReadScriptFrame, 0, [&](CallContext& call) {
        PackageHandle* handle = HandleOf(call, hPackage);
        if (handle == nullptr) return 0;
        if (handle->marker == kNoScriptMarker)
            return static_cast<int>(Refuse(call, msg::kNoScript, QVAPI_ERR_FILE_NOT_FOUND));
        return Read(call, handle->script, msg::kScriptRead, lpBuffer, nNumberOfbytesToRead, lpNumberOfBytesRead);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIClosePackage(QVPAPI_HANDLE hPackage) {
    return qvp::RunApi(kCloseFrame, 0, [&](CallContext& call) {
        PackageHandle* handle = HandleOf(call, hPackage);
        if (handle == nullptr) return 0;
        Forget(call.block(), handle);
        int result = 1;
        if (!win::CloseHandle(handle->package)) {
            call.Log(msg::kPackageClose, call.function(),
                     static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle->package)), win::GetLastError());
            call.Fail(QVAPI_ERR_RESOURCE);
            result = 0;
        }
        if (handle->marker == kScriptOpenMarker && !win::CloseHandle(handle->script)) {
            call.Log(msg::kScriptClose, call.function(),
                     static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle->script)), win::GetLastError());
            call.Fail(QVAPI_ERR_RESOURCE);
            result = 0;
        }
        qvpAPIFree(handle);
        return result;
    });
}
