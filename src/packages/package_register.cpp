// Package registration: the RPUT request, its checked front end, and the full operation that
// validates the caller's attribute file, checks cabinet and package, and hands the manager a
// work copy of the record in network order.
#include <cstring>
#include <optional>
#include <string>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/frame.h"
#include "core/handles.h"
#include "core/paths.h"
#include "packages/package_args.h"
#include "packages/package_requests.h"
#include "platform/win.h"
#include "session/checkers.h"
#include "session/message.h"

namespace {

using qvp::CallContext;
using qvp::FileHandle;
using qvp::FrameTexts;
using namespace qvp::packages;

namespace msg {
constexpr char kAfNull[] = "%s : Logical Error : AF Entry Pointer is NULL";
constexpr char kRfNull[] = "%s : Logical Error : RF Name Pointer is NULL";
constexpr char kAfEmpty[] = "%s : Logical Error : Top of AF Entry is NULL";
constexpr char kRfEmpty[] = "%s : Logical Error : Top of RF Name Pointer is NULL";
constexpr char kQfEmpty[] = "%s : Logical Error : Top of QF Name is NULL";
constexpr char kAfLength[] = "%s : Logical Error : AF Entry Path Name Len";
constexpr char kRfQfLength[] = "%s : Logical Error : RF Path Name Len";
constexpr char kReplace[] = "%s : Logical Error : sType is Invalid";
constexpr char kOtherLow[] = "%s : RDEL Error: Code = %d";
constexpr char kOtherAdd[] = "%s : Logical Error : Code = %d";
constexpr char kSend[] = "%s : TcpSendMsg Error";
constexpr char kRecv[] = "%s : TcpRecvMsg Error";

constexpr char kCreateRfNull[] = "%s : Logical Error : PackageObjectPath Pointer is NULL";
constexpr char kCreateQfNull[] = "%s : Logical Error : ScriptFilePath Pointer is NULL";
constexpr char kCreateNameNull[] = "%s : Logical Error : PackageName Pointer is NULL";
constexpr char kCreateRfEmpty[] = "%s : Logical Error : Top of PackageObjectPath is NULL";
constexpr char kCreateNameEmpty[] = "%s : Logical Error : Top of PackageName is NULL";

constexpr char kPackagePath[] = "%s : Parameter Error : lpPackageFilePath is NULL";
constexpr char kAttrPath[] = "%s : Parameter Error : lpPackageAttrFilePath is NULL";
constexpr char kOptionNull[] = "%s : Parameter Error : fdwReplaceOption is NULL";
constexpr char kOptionInvalid[] = "%s : Parameter Error : fdwReplaceOption is INVALID";
constexpr char kAttrOpen[] = "%s : lpPackageAttrFilePath CreateFile = %s : ErrorCode = 0x%8.8x";
constexpr char kAttrRead[] = "%s : lpPackageAttrFilePath ReadFile = %s : ErrorCode = 0x%8.8x";
constexpr char kAttrClose[] = "%s : lpPackageAttrFilePath CloseHandle = %s : ErrorCode = 0x%8.8x";
constexpr char kAttrSize[] = "%s : lpPackageAttrFilePath  = %s : INVALID_SIZE";
constexpr char kScriptPath[] = "%s : Parameter Error : lpScriptFilePath is NULL";
constexpr char kKeyPart[] = "%s : Logical Error : Package Key is INVALID";
constexpr char kFindCabinet[] = "%s : qvAPIFindCabinet Error";
constexpr char kExists[] = "%s : Already Exist : File name is %s.%s.%s.%s.%s";
constexpr char kFindPackage[] = "%s : qvAPIFindPackage : ErrorCode = 0x%8.8x";
constexpr char kWorkLength[] = "%s : Logical Error : Attribution File Path Name Len";
constexpr char kWorkOpen[] = "%s : Attribution File CreateFile = %s : ErrorCode = 0x%8.8x";
constexpr char kWorkWrite[] = "%s : Attribution File WriteFile = %s : ErrorCode = 0x%8.8x";
constexpr char kWorkClose[] = "%s : Attribution File CloseHandle = %s : ErrorCode = 0x%8.8x";
constexpr char kRfLength[] = "%s : Logical Error : RF Path Name Len";
constexpr char kQfLength[] = "%s : Logical Error : QF Path Name Len";
}  // namespace msg

constexpr FrameTexts kLowFrame{"qvpAPIAddPackage"};
constexpr FrameTexts kCreateFrame{"qvAPICreatePackage"};
constexpr FrameTexts kAddFrame{"qvAPIAddPackage"};

constexpr char kReplace = 'F';
constexpr char kKeep = ' ';

// The RPUT reply classes and what each means to the caller.
struct RputOutcome {
    int replyClass;
    uint32_t code;
    const char* text;
};
constexpr RputOutcome kRputOutcomes[] = {
    {1, QVAPI_ERR_CABINET_FULL, "%s : Error : RDEL 16-22 CABINET-FULL Code = %d"},
    {2, QVAPI_ERR_DISK_FULL, "%s : Error : RDEL 16-162 DISK_FULL Code = %d"},
    {3, QVAPI_ERR_ALREADY_EXISTS, "%s : Error : RDEL 16-199 ALREADY_EXISTS Code = %d"},
    {4, QVAPI_ERR_BUSY, "%s : Error : RDEL 4-16 SHARING_VIOLATION Code = %d"},
};

bool Empty(const char* text) { return text == nullptr || text[0] == '\0'; }

// Sends the request and maps the reply (received into the FGET reply buffer); 1 registered.
int SendRput(CallContext& call, const qvp::RequestBuilder& request, const char* otherText) {
    QVPAPI& block = call.block();
    const int length = qvpExchange(block, request, block.fgetReplyBuffer, sizeof block.fgetReplyBuffer);
    if (length < 0) {
        return static_cast<int>(
            Refuse(call, length == kQvpExchangeSendFailed ? msg::kSend : msg::kRecv, QVAPI_ERR_RESOURCE));
    }
    qvp::qvAPISetErrorInfo(&block, kErrCategoryJobAccess, block.fgetReplyBuffer, 0, 0);
    const int replyClass = qvpAPICheckRputReply(block.fgetReplyBuffer);
    if (replyClass == 0) return 1;
    for (const RputOutcome& outcome : kRputOutcomes) {
        if (outcome.replyClass != replyClass) continue;
        call.Failed(outcome.code, outcome.text, call.function(), replyClass);
        return 0;
    }
    call.Failed(QVAPI_ERR_RESOURCE, otherText, call.function(), replyClass);
    return 0;
}

int AddPackageRequest(CallContext& call, const char* af, const char* rf, const char* qf, char replace) {
    if (af == nullptr) return static_cast<int>(Refuse(call, msg::kAfNull));
    if (rf == nullptr) return static_cast<int>(Refuse(call, msg::kRfNull));
    if (af[0] == '\0') return static_cast<int>(Refuse(call, msg::kAfEmpty));
    if (rf[0] == '\0') return static_cast<int>(Refuse(call, msg::kRfEmpty));
    if (qf != nullptr && qf[0] == '\0') return static_cast<int>(Refuse(call, msg::kQfEmpty));
    std::memset(call.block().requestBuffer, 0, sizeof call.block().requestBuffer);
    if (strnlen(af, kPathMax + 1) > kPathMax) return static_cast<int>(Refuse(call, msg::kAfLength));
    if (strnlen(rf, kPathMax + 1) > kPathMax || (qf != nullptr && strnlen(qf, kPathMax + 1) > kPathMax))
        return static_cast<int>(Refuse(call, msg::kRfQfLength));
    if (replace != kKeep && replace != kReplace) return static_cast<int>(Refuse(call, msg::kReplace));
    std::optional<std::string_view> script;
    if (qf != nullptr) script = qf;
    return SendRput(call, request::Rput(af, rf, script, replace), msg::kOtherLow);
}

// The caller's attribute file: exactly one record in host order.
bool ReadAttributeFile(CallContext& call, const char* path, QVAPI_PACKAGE& record) {
    if (strnlen(path, kPathMax + 1) > kPathMax) return Refuse(call, msg::kAttrPath);
    if (!ReadRecordFile(call, path, record, msg::kAttrOpen, msg::kAttrRead, msg::kAttrClose)) return false;
    if (record.wLength != QVAPI_PACKAGE_SIZE) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kAttrSize, call.function(), path);
    }
    return true;
}

// The replace character from the package's existence: 'F', ' ', or nothing after failing.
std::optional<char> ReplaceCharacter(CallContext& call, const PackageKeyTexts& key, const std::string& fileVersion,
                                     uint32_t option, uint32_t word1, uint32_t word2) {
    QVAPI_CABINET cabinet;
    if (!qvAPIFindCabinet(key.qvCode, key.cabinet.c_str(), &cabinet, 0, 0)) {
        Refuse(call, msg::kFindCabinet, QVAPI_ERR_NO_MORE_ITEMS);
        return std::nullopt;
    }
    // The stored key keeps the version's '/': '#' is for file names only.
    QVAPI_PACKAGE found;
    if (qvAPIFindPackage(key.qvCode, key.cabinet.c_str(), key.package.c_str(), key.version.c_str(),
                         key.generation.c_str(), &found, word1, word2)) {
        if (option == QVAPI_PACKAGE_REPLACE) return kReplace;
        call.Log(msg::kExists, call.function(), std::string(1, key.qvCode).c_str(), key.cabinet.c_str(),
                 key.package.c_str(), fileVersion.c_str(), key.generation.c_str());
        call.Fail(QVAPI_ERR_ALREADY_EXISTS);
        return std::nullopt;
    }
    const uint32_t code = qvAPIGetLastError();
    if (code == QVAPI_ERR_NO_MORE_ITEMS) return kKeep;
    call.Log(msg::kFindPackage, call.function(), code);
    call.Fail(code);
    return std::nullopt;
}

// The work copy goes whatever the outcome.
struct WorkCopy {
    std::string path;
    ~WorkCopy() {
        if (!path.empty()) {
            qvp::KeepLastError keep;
            win::DeleteFile(path.c_str());
        }
    }
};

bool WriteWorkCopy(CallContext& call, WorkCopy& work, const PackageKeyTexts& key, const QVAPI_PACKAGE& record) {
    const std::string folder = qvp::PathOf(qvpMakeWorkAtrPath);
    std::string path = folder + std::to_string(win::GetCurrentThreadId()) + "." + DottedPackageName(key);
    if (path.size() > kPathMax) return Refuse(call, msg::kWorkLength);
    qvpCreateDirectoryTree(folder.c_str());
    work.path = path;
    // The name is easy to foresee: whatever stands there (a link as a link) goes, and the copy
    // is made new.
    win::DeleteFile(path.c_str());
    FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE,
                                    win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::CREATE_NEW,
                                    win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return call.Failed(QVAPI_ERR_NO_MORE_ITEMS,
                           msg::kWorkOpen, call.function(), path.c_str(), win::GetLastError());
    }
    win::DWORD written = 0;
    if (!win::WriteFile(file.get(), &record, sizeof record, &written, nullptr) || written != sizeof record) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kWorkWrite, call.function(), path.c_str(), win::GetLastError());
    }
    if (!file.Close()) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kWorkClose, call.function(), path.c_str(), win::GetLastError());
    }
    return true;
}

int AddPackage(CallContext& call, const char* scriptPath, const char* packagePath, const char* attrPath,
               uint32_t option, uint32_t word1, uint32_t word2) {
    if (Empty(packagePath)) return static_cast<int>(Refuse(call, msg::kPackagePath));
    if (Empty(attrPath)) return static_cast<int>(Refuse(call, msg::kAttrPath));
    if (option == 0) return static_cast<int>(Refuse(call, msg::kOptionNull));
    if (option != QVAPI_PACKAGE_REPLACE && option != QVAPI_PACKAGE_FAIL_EXISTS)
        return static_cast<int>(Refuse(call, msg::kOptionInvalid));
    QVAPI_PACKAGE record;
    if (!ReadAttributeFile(call, attrPath, record)) return 0;
    const bool script = HasScript(record);
    if (script && Empty(scriptPath)) return static_cast<int>(Refuse(call, msg::kScriptPath));

    const PackageKeyTexts key = KeyTextsOf(record);
    PackageKeyTexts fileKey = key;
    fileKey.version = qvp::VersionFileName(key.version);
    // The key texts name the work copy: none may lead out of the work folder.
    for (const std::string* part : {&fileKey.cabinet, &fileKey.package, &fileKey.version, &fileKey.generation}) {
        if (!part->empty() && !IsFileNamePart(*part)) return static_cast<int>(Refuse(call, msg::kKeyPart));
    }
    const std::optional<char> replace = ReplaceCharacter(call, key, fileKey.version, option, word1, word2);
    if (!replace) return 0;

    PackageToNetwork(record);
    WorkCopy work;
    if (!WriteWorkCopy(call, work, fileKey, record)) return 0;
    if (strnlen(packagePath, kPathMax + 1) > kPathMax) return static_cast<int>(Refuse(call, msg::kRfLength));
    std::optional<std::string_view> qf;
    if (script) {
        if (strnlen(scriptPath, kPathMax + 1) > kPathMax) return static_cast<int>(Refuse(call, msg::kQfLength));
        qf = scriptPath;
    }
    auto rput = request::Rput(work.path, packagePath, qf, *replace);
    rput.Tail(" ");
    return SendRput(call, rput, msg::kOtherAdd);
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvpAPIAddPackage(const char* lpAF, const char* lpRF, const char* lpQF, char cReplace) {
    return qvp::RunApi(kLowFrame, 0, [&](CallContext& call) { return AddPackageRequest(call, lpAF, lpRF, lpQF, cReplace); });
}

extern "C" QVPAPI_EXPORT int qvAPICreatePackage(uint32_t, uint32_t, uint32_t, const char* lpPackageObjectPath,
                                                const char* lpScriptFilePath, const char* lpPackageName, uint32_t,
                                                uint32_t) {
    return qvp::RunApi(kCreateFrame, 0, [&](CallContext& call) {
        if (lpPackageObjectPath == nullptr) return static_cast<int>(Refuse(call, msg::kCreateRfNull));
        if (lpScriptFilePath == nullptr) return static_cast<int>(Refuse(call, msg::kCreateQfNull));
        if (lpPackageName == nullptr) return static_cast<int>(Refuse(call, msg::kCreateNameNull));
        if (lpPackageObjectPath[0] == '\0') return static_cast<int>(Refuse(call, msg::kCreateRfEmpty));
        if (lpPackageName[0] == '\0') return static_cast<int>(Refuse(call, msg::kCreateNameEmpty));
        if (qvpAPIAddPackage(lpPackageName, lpPackageObjectPath, lpScriptFilePath, kKeep)) return 1;
        call.Fail(qvAPIGetLastError());
        return 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIAddPackage(const char* lpScriptFilePath, const char* lpPackageFilePath,
                                             const char* lpPackageAttrFilePath, uint32_t fdwReplaceOption,
                                             uint32_t dwReserved1, uint32_t dwReserved2) {
    return qvp::RunApi(kAddFrame, 0, [&](CallContext& call) {
        return AddPackage(call, lpScriptFilePath, lpPackageFilePath, lpPackageAttrFilePath, fdwReplaceOption,
                          dwReserved1, dwReserved2);
    });
}
