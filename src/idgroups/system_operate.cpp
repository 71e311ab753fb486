// System-operate jobs: a master is told to drop a client's host entry through a "Delete_Host"
// job of "Edit_System_Conf" (kind 'O'); and the host-ID use setting. Also connects the re-open
// of stored kind-L JobGens to the ID-operate writer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/frame.h"
#include "core/settings.h"
#include "idgroups/id_operate.h"
#include "jobgen/jobgen_file.h"
#include "nodes/name_checks.h"

namespace qvp::ids {

namespace {

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr char kLogicalErr[] = "%s : Logical Err : ErrorCode = 0x%8.8x";
constexpr FrameTexts kNodeFrame{"qvpAPIOperateSystemNode", EndStyle::Decimal, nullptr, nullptr, kLogicalErr};
constexpr FrameTexts kEntryFrame{"qvAPICreateSystemOperateJobGen", EndStyle::Decimal, "", nullptr, kLogicalError};
constexpr FrameTexts kGuidFrame{"qvpAPISetGuidUseStatus", EndStyle::Decimal, nullptr, "", kLogicalErr};

constexpr char kEntryStart[] = "%s START :ucRequest = %c:lpNodeName = %s:lpClientName = %s";
constexpr char kHandleInvalid[] = "%s : JobGen Handle Value is INVALID";
constexpr char kRequestBad[] = "%s : wucRequest = %c";
constexpr char kRequestTwice[] = "%s : ucRequest :Old = %c,New = %c";
constexpr char kClientPtrNull[] = "%s : lpClientName Pointer is NULL";
constexpr char kClientListTop[] = "%s : Top of lpClientName Value is NULL";
constexpr char kKindError[] = "%s : qvAPIGetNodeNameType error";
constexpr char kCheckClient[] = "%s : qvAPINameParameterCheck error : lpClientName = %s";
constexpr char kNoUsable[] = "%s : Usable Node Not Found : Code = 0x%8.8x";
constexpr char kClientNull[] = "%s : Parameter Err : lpClientName Address is NULL";
constexpr char kClientTop[] = "%s : Parameter Err : Top of lpClientName Value is NULL";
constexpr char kMasterNull[] = "%s : Parameter Err : lpNodeName Address is NULL";
constexpr char kMasterTop[] = "%s : Parameter Err : Top of lpNodeName Value is NULL";
constexpr char kMakeCreateErr[] = "%s : qvpAPImakeCreateJobGenEx Err : Code = 0x%8.8x";
constexpr char kOperateErr[] = "%s : qvAPICreateIDOperateJobGen : lpID = %s : ErrorCode = 0x%8.8x";
constexpr char kMasterDefErr[] = "%s : qvAPIGetMasterDefinitionByName : list = %s : ErrorCode = 0x%8.8x";
constexpr char kMakeCloseErr[] = "%s : qvpAPImakeCloseJobGenEx Err : Code = 0x%8.8x";

// The 16 digits of the session's registration time: year, then month to hundredths, two each.
std::string TimeDigits(const win::SYSTEMTIME& t) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "%4d%02d%02d%02d%02d%02d%02d", t.wYear % 10000, t.wMonth % 100, t.wDay % 100,
                  t.wHour % 100, t.wMinute % 100, t.wSecond % 100, (t.wMilliseconds / 10) % 100);
    return text;
}

// The re-open of a stored kind-L JobGen carries its ID operations over with the writer.
uint32_t WriteStoredOperations(QVPAPI& block, char request, const char* id, const char* password,
                               const std::vector<std::string>& nodes) {
    std::vector<const char*> list;
    for (const std::string& node : nodes) list.push_back(node.c_str());
    list.push_back(nullptr);
    if (qvAPICreateIDOperateJobGen(&block, request, id, password, list.data(), 0, 0)) return 0;
    return qvAPIGetLastError();
}

const bool kConnected = (jobgen::SetIdOperateWriter(&WriteStoredOperations), true);

}  // namespace

int qvAPICreateSystemOperateJobGen(QVPAPI_HANDLE hJobGen, char ucRequest, const char* lpNodeName,
                                   const char* const* lpClientName, uint32_t, uint32_t) {
    return RunApi(kEntryFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        QVPAPI& block = call.block();
        call.Log(kEntryStart, fn, ucRequest, lpNodeName != nullptr ? lpNodeName : "(null)",
                 lpClientName != nullptr && lpClientName[0] != nullptr ? lpClientName[0] : "(null)");
        auto* edit = qvpIsOwnBlock(hJobGen) ? static_cast<jobgen::JobGenEdit*>(block.openJobGen) : nullptr;
        if (edit == nullptr) return call.Failed(QVAPI_ERR_INVALID_HANDLE, kHandleInvalid, fn);
        if (ucRequest != 'Q') return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kRequestBad, fn, ucRequest);
        if (edit->idOperateRequest != 0) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kRequestTwice, fn, edit->idOperateRequest, ucRequest);
        }
        // The master's name is part of every entry file's name.
        if (lpNodeName == nullptr || lpNodeName[0] == '\0' || !FileNamePartOk(lpNodeName)) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, lpNodeName == nullptr ? kMasterNull : kMasterTop, fn);
        }
        if (lpClientName == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kClientPtrNull, fn);
        if (lpClientName[0] == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kClientListTop, fn);
        QVAPI_IDOPERATE entry{};
        entry.ucJobKind = edit->jobKind;
        entry.ucBlank = ' ';
        entry.ucRequest = 'D';
        const std::string digits = TimeDigits(block.registrationTime);
        std::memcpy(entry.szPassword, digits.c_str(), digits.size());
        const std::string prefix = jobgen::WorkArea(block, "IDGROUP") + "\\D." + lpNodeName;
        std::vector<std::string> written;
        bool skipped = false;
        bool failed = false;
        for (size_t i = 0; lpClientName[i] != nullptr; ++i) {
            const char* name = lpClientName[i];
            if (name[0] == '\0') continue;
            const uint32_t kind = nodes::qvAPIGetNodeNameType(name, 0, 0, 0);
            if (kind == 0) {
                call.Failed(QVAPI_ERR_INVALID_PARAMETER, kKindError, fn);
                failed = true;
                break;
            }
            if (!nodes::qvAPINameParameterCheck(name, (kind & 0x01) != 0 ? kNameHostId : kNameClient)) {
                const uint32_t code = qvAPIGetLastError();
                call.Log(kCheckClient, fn, name);
                if (code == QVAPI_ERR_INVALID_NAME) {
                    skipped = true;
                    continue;
                }
                call.Fail(code);
                failed = true;
                break;
            }
            // Two fields of the record span 64 bytes here (the client name reaches into 328).
            char* clientField = entry.szID;
            std::memset(clientField, 0, 64);
            std::memcpy(clientField, name, strnlen(name, 64));
            const std::string file = prefix + "." + name;
            if (!WriteOperateEntry(call, file, entry, *edit, written)) {
                failed = true;
                break;
            }
        }
        if (!failed && written.empty()) {
            call.Failed(QVAPI_ERR_JOB_NO_NODE, kNoUsable, fn, QVAPI_ERR_JOB_NO_NODE);
            failed = true;
        }
        if (failed) {
            TakeBack(*edit, written);
            return 0;
        }
        edit->idOperateRequest = 'D';
        if (skipped) {
            call.Fail(QVAPI_ERR_JOB_REFUSED);
            return 0;
        }
        return 1;
    });
}

int qvpAPIOperateSystemNode(const char* lpNodeName, const char* lpClientName, uint32_t, uint32_t) {
    return RunApi(kNodeFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        QVPAPI& block = call.block();
        if (lpClientName == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kClientNull, fn);
        if (lpClientName[0] == '\0') return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kClientTop, fn);
        if (lpNodeName == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kMasterNull, fn);
        if (lpNodeName[0] == '\0') return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kMasterTop, fn);
        const std::string name = "Delete_Host" + TimeDigits(block.registrationTime);
        QVPAPI_HANDLE handle = QVPAPI_INVALID_HANDLE;
        bool partial = false;
        const int result = [&]() -> int {
            if (!qvpAPImakeCreateJobGenEx(&handle, kEditSystemFolder, nullptr, name.c_str(), 'O', 0, 0)) {
                const uint32_t code = qvAPIGetLastError();
                return call.Failed(code, kMakeCreateErr, fn, code);
            }
            const char* const clients[] = {lpClientName, nullptr};
            if (!qvAPICreateSystemOperateJobGen(handle, 'Q', lpNodeName, clients, 0, 0)) {
                const uint32_t code = qvAPIGetLastError();
                call.Log(kOperateErr, fn, lpNodeName, code);
                call.Fail(code == QVAPI_ERR_JOB_REFUSED || code == QVAPI_ERR_JOB_NO_NODE ? QVAPI_ERR_NOT_FOUND : code);
                return 0;
            }
            QVAPI_NODE definition{};
            if (!qvAPIGetMasterDefinitionByName(lpNodeName, &definition)) {
                const uint32_t code = qvAPIGetLastError();
                call.Log(kMasterDefErr, fn, lpNodeName, code);
                call.Fail(code == QVAPI_ERR_NOT_FOUND || code == QVAPI_ERR_FILE_NOT_FOUND ? QVAPI_ERR_JOB_NO_NODE : code);
                return 0;
            }
            const bool byHostId = nodes::qvAPIGetNodeNameType(lpNodeName, 1, 0, 0) == 1;
            if (const uint32_t code =
                    AddMasterTarget(call, handle, definition, byHostId, true, definition.ucSystemKey, 0, lpNodeName);
                code != 0) {
                call.Fail(code);
                return 0;
            }
            QVAPI_JOB job{};
            if (!qvpAPImakeCloseJobGenEx(&handle, kEditSystemFolder, nullptr, name.c_str(), kAfterDelete, &job, 0, 0)) {
                const uint32_t code = qvAPIGetLastError();
                if (code != QVAPI_ERR_JOB_REFUSED) return call.Failed(code, kMakeCloseErr, fn, code);
                partial = true;
            }
            return 1;
        }();
        DiscardJobGen(&handle);
        if (result == 1 && partial) {
            call.Fail(QVAPI_ERR_JOB_REFUSED);
            return 0;
        }
        return result;
    });
}

}  // namespace qvp::ids

extern "C" QVPAPI_EXPORT int qvpAPISetGuidUseStatus(uint32_t dwUse, uint32_t, uint32_t) {
    return qvp::RunApi(qvp::ids::kGuidFrame, 0, [&](qvp::CallContext&) -> int {
        qvpRegSetGuidUseStatus(dwUse != 0 ? 1 : 0);
        return 1;
    });
}
