// ID-group editing: the change is made in the ID store, and where other systems must follow it
// goes to them as a job of the "Edit_ID_group" folder. A job step that answers 0x20470000
// (some names skipped) lets the steps go on and becomes the result at the end.

#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/frame.h"
#include "core/settings.h"
#include "core/text.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"
#include "idgroups/id_operate.h"
#include "nodes/name_checks.h"
#include "platform/byte_order.h"

namespace qvp::ids {

namespace {

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr char kLogicalErr[] = "%s : Logical Err : ErrorCode = 0x%8.8x";
constexpr FrameTexts Frame(const char* function, const char* exception = kLogicalError, const char* end = nullptr) {
    return FrameTexts{function, EndStyle::Decimal, nullptr, end, exception};
}
constexpr FrameTexts kCreateFrame = Frame("qvAPICreateIDGroup");
constexpr FrameTexts kCreateGuiFrame = FrameTexts{"qvAPICreateIDGroupGUI", EndStyle::Decimal, "", nullptr, kLogicalError};
constexpr FrameTexts kPasswordFrame = Frame("qvAPIChangePasswordIDGroup");
constexpr FrameTexts kChangeMasterFrame = Frame("qvAPIChangeMasterIDGroup");
constexpr FrameTexts kAddMasterFrame = Frame("qvAPIAddMasterIDGroup");
constexpr FrameTexts kDeleteMasterFrame = Frame("qvAPIDeleteMasterIDGroup");
constexpr FrameTexts kDeleteFrame = Frame("qvAPIDeleteIDGroup", kLogicalErr);
constexpr FrameTexts kAddClientFrame = Frame("qvAPICreateClientIDGroup", kLogicalError, "");
constexpr FrameTexts kDeleteClientFrame = Frame("qvAPIDeleteClientIDGroup");

constexpr char kGuiStart[] = "%s START : lpID = %s : ucGeneration = 0x%02x";
constexpr char kGenerationError[] = "%s : ucGeneration error = 0x%02x";
constexpr char kExists[] = "%s : qvAPIFindIDGroup (ALREADY_EXISTS) = 0x%8.8x";
constexpr char kFindGroupError[] = "%s : qvAPIFindIDGroup error";
constexpr char kFindGroupCode[] = "%s : qvAPIFindIDGroup Error Code = %d";
constexpr char kEncodeError[] = "%s : qvpStuEnCode Error ";
constexpr char kEncodeLower[] = "%s : qvpStuEnCode error";
constexpr char kUpdErr[] = "%s : qvpAPIIDCommand(UPD) Err Code = %d";
constexpr char kUpdError[] = "%s : qvpAPIIDCommand(UPD) error";
constexpr char kGetTError[] = "%s : qvpAPIIDCommand(GET-T) error";
constexpr char kGetErr[] = "%s : qvpAPIIDCommand(GET) Err Code = %d";
constexpr char kDelErr[] = "%s : qvpAPIIDCommand(DEL) Err Code = %d";
constexpr char kExcErr[] = "%s : qvpAPIIDCommand(EXC) Err Code = %d";
constexpr char kRlsErr[] = "%s : qvpAPIIDCommand(RLS) Err";
constexpr char kRls1[] = "%s : qvpAPIIDCommand error : RLS(1)";
constexpr char kRls2[] = "%s : qvpAPIIDCommand error : RLS(2)";
constexpr char kGuiErr[] = "%s : qvAPICreateIDGroupGUI Err : Code = 0x%8.8x";
constexpr char kMakeCreateErr[] = "%s : qvpAPImakeCreateJobGenEx Err : Code = 0x%8.8x";
constexpr char kOperateErr[] = "%s : qvAPICreateIDOperateJobGen : lpID = %s : ErrorCode = 0x%8.8x";
constexpr char kGroupNodeErr[] = "%s : qvpAPImakeIDGroupNodeJobGenEx : lpID = %s : ErrorCode = 0x%8.8x";
constexpr char kNodeListErr[] = "%s : qvpAPImakeNodeListJobGenEx : lpID = %s : ErrorCode = 0x%8.8x";
constexpr char kMakeCloseErr[] = "%s : qvpAPImakeCloseJobGenEx Err : Code = 0x%8.8x";
constexpr char kListsNull[] = "%s : lpCreateList/lpDeleteList Address is NULL";
constexpr char kNoUsable[] = "%s : Usable Node Not Found : Code = 0x%8.8x";
constexpr char kMasterListNull[] = "%s : lpMasterList Address is NULL";
constexpr char kMasterListTop[] = "%s : Top of lpMasterList Value is NULL";
constexpr char kChangeMasterErr[] = "%s : qvAPIChangeMasterIDGroup error";
constexpr char kClientNull[] = "%s : Parameter Err : lpClientName Address is NULL";
constexpr char kClientTop[] = "%s : Parameter Err : Top of lpClientName Value is NULL";
constexpr char kKeyDisagree[] = "%s : Parameter Err : SystemManagementKey Disagreement Node:%s";
constexpr char kAttrNotSupported[] = "%s : Parameter Err : Attributes Value Not Support";
constexpr char kMasterDeleting[] = "%s : IDMaster deleting. name:%s";
constexpr char kMasterDefErr[] = "%s : qvAPIGetMasterDefinitionByName : list = %s : ErrorCode = 0x%8.8x";
constexpr char kFindClientErr[] = "%s : qvAPIFindIDClient : lpID = %s : ErrorCode = 0x%8.8x";
constexpr char kKindError[] = "%s : qvAPIGetNodeNameType error";

constexpr size_t kPasswordField = 32;

uint32_t NotFoundIfNoMore(uint32_t code) { return code == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_NOT_FOUND : code; }

bool NameOk(CallContext& call, const char* text, uint32_t option, const char* label) {
    if (nodes::qvAPINameParameterCheckEx(text, option, label, 0, 0)) return true;
    call.Fail(qvAPIGetLastError());
    return false;
}

// A remembered partial outcome: 0x20470000 is noted and the steps go on; anything else fails.
struct Outcome {
    bool partial = false;
    bool Step(CallContext& call, int done, const char* text, const char* id = nullptr) {
        if (done) return true;
        const uint32_t code = qvAPIGetLastError();
        if (code == QVAPI_ERR_JOB_REFUSED) {
            partial = true;
            return true;
        }
        if (id != nullptr) call.Log(text, call.function(), id, code);
        else call.Log(text, call.function(), code);
        call.Fail(code);
        return false;
    }
    int Finish(CallContext& call, int result) {
        if (result == 1 && partial) {
            call.Fail(QVAPI_ERR_JOB_REFUSED);
            return 0;
        }
        return result;
    }
};

// Encodes a non-empty password into a 32-byte field.
bool EncodeInto(const char* password, char* field) {
    std::memset(field, 0, kPasswordField);
    if (password == nullptr || password[0] == '\0') return true;
    char encoded[kQvpBufferSize] = {};
    if (qvpStuEnCode(password, encoded) != 1 || strnlen(encoded, kPasswordField) >= kPasswordField) return false;
    std::memcpy(field, encoded, strlen(encoded));
    return true;
}

// The ID's node-data record, as the ID-group finder gives it.
bool FindId(CallContext& call, const char* id, IdNodeData& out, const char* text, bool logCode) {
    if (qvAPIFindIDGroup(nullptr, id, reinterpret_cast<QVAPI_NODE*>(&out), 0, 0)) return true;
    const uint32_t code = qvAPIGetLastError();
    if (logCode) call.Log(text, call.function(), static_cast<int>(code));
    else call.Log(text, call.function());
    call.Fail(NotFoundIfNoMore(code));
    return false;
}

// The member name's kind and rule (host IDs their own rule).
bool ClientNameOk(CallContext& call, const char* name, uint32_t& kind) {
    kind = nodes::qvAPIGetNodeNameType(name, 0, 0, 0);
    if (kind == 0) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kKindError, call.function());
    if (nodes::qvAPINameParameterCheck(name, (kind & 0x01) != 0 ? kNameHostId : kNameClient)) return true;
    call.Fail(qvAPIGetLastError());
    return false;
}

bool ClientGiven(CallContext& call, const char* name) {
    if (name == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kClientNull, call.function());
    if (name[0] == '\0') return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kClientTop, call.function());
    return true;
}

// The one master of a member job as its target: read its definition and add it.
bool AddOneMaster(CallContext& call, QVPAPI_HANDLE handle, const char* master) {
    QVAPI_NODE definition{};
    if (!qvAPIGetMasterDefinitionByName(master, &definition)) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(kMasterDefErr, call.function(), master, code);
        call.Fail(code == QVAPI_ERR_NOT_FOUND || code == QVAPI_ERR_FILE_NOT_FOUND ? QVAPI_ERR_JOB_NO_NODE : code);
        return false;
    }
    const bool byHostId = nodes::qvAPIGetNodeNameType(master, 1, 0, 0) == 1;
    const uint32_t code =
        AddMasterTarget(call, handle, definition, byHostId, true, definition.ucSystemKey, 0, master);
    if (code == 0) return true;
    call.Fail(code);
    return false;
}

// One member job ("Add_entry" 'R', "Delete_entry" 'E') to one master.
int MemberJob(CallContext& call, const char* id, const char* client, const char* master, const char* jobName,
              char request) {
    QVPAPI_HANDLE handle = QVPAPI_INVALID_HANDLE;
    Outcome outcome;
    const int result = [&]() -> int {
        if (!outcome.Step(call, qvpAPImakeCreateJobGenEx(&handle, kEditIdFolder, id, jobName, 'L', 0, 0),
                          kMakeCreateErr))
            return 0;
        const char* const nodes[] = {client, nullptr};
        if (!qvAPICreateIDOperateJobGen(handle, request, id, nullptr, nodes, 0, 0)) {
            const uint32_t code = qvAPIGetLastError();
            call.Log(kOperateErr, call.function(), id, code);
            call.Fail(code == QVAPI_ERR_JOB_REFUSED || code == QVAPI_ERR_JOB_NO_NODE ? QVAPI_ERR_NOT_FOUND : code);
            return 0;
        }
        if (!AddOneMaster(call, handle, master)) return 0;
        QVAPI_JOB job{};
        return outcome.Step(call,
                            qvpAPImakeCloseJobGenEx(&handle, kEditIdFolder, id, jobName, kAfterDelete, &job, 0, 0),
                            kMakeCloseErr)
                   ? 1
                   : 0;
    }();
    DiscardJobGen(&handle);
    return outcome.Finish(call, result);
}

const char* const* Present(const char* const* list) { return list != nullptr && list[0] != nullptr ? list : nullptr; }

}  // namespace

}  // namespace qvp::ids

using namespace qvp;
using namespace qvp::ids;

extern "C" QVPAPI_EXPORT int qvAPICreateIDGroupGUI(const char* lpID, const char* lpPassword, uint8_t ucGeneration,
                                                   uint32_t, uint32_t) {
    return RunApi(kCreateGuiFrame, 0, [&](CallContext& call) -> int {
        call.Log(kGuiStart, call.function(), lpID != nullptr ? lpID : "(null)", ucGeneration);
        if (!NameOk(call, lpID, kNameOptId, "lpID") || !NameOk(call, lpPassword, kNameOptPassword, "lpPassword"))
            return 0;
        if (ucGeneration != 1 && ucGeneration != 2) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kGenerationError, call.function(), ucGeneration);
        }
        QVAPI_NODE found;
        if (qvAPIFindIDGroup(nullptr, lpID, &found, 0, 0)) {
            return call.Failed(QVAPI_ERR_ALREADY_EXISTS, kExists, call.function(), QVAPI_ERR_ALREADY_EXISTS);
        }
        if (qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS) {
            return call.Failed(qvAPIGetLastError(), kFindGroupError, call.function());
        }
        QVAPI_IDGROUP group{};
        putLe16(reinterpret_cast<uint8_t*>(&group.wLength), QVAPI_IDRECORD_SIZE);
        group.ucGeneration = ucGeneration;
        std::memcpy(group.szID, lpID, strnlen(lpID, sizeof group.szID));
        if (!EncodeInto(lpPassword, group.szPassword)) {
            return call.Failed(QVAPI_ERR_RESOURCE, kEncodeError, call.function());
        }
        QVPAPI& block = call.block();
        const int done = qvpAPIIDCommand(&block, kIdUpdate, kLetterWhole, kKeyExact, lpID, nullptr, &group);
        if (!done) call.Failed(IdFailureCode(block), kUpdErr, call.function(), static_cast<int>(IdFailureCode(block)));
        if (!qvpAPIIDCommand(&block, kIdRelease, kLetterWhole, kKeyExact, lpID, nullptr, nullptr)) {
            call.Failed(IdFailureCode(block), msg::kCommandError, call.function());
            return 0;
        }
        return done;
    });
}

extern "C" QVPAPI_EXPORT int qvAPICreateIDGroup(const char* lpID, const char* lpPassword, uint32_t dwReserved1,
                                                uint32_t dwReserved2) {
    return RunApi(kCreateFrame, 0, [&](CallContext& call) -> int {
        if (qvAPICreateIDGroupGUI(lpID, lpPassword, 2, dwReserved1, dwReserved2)) return 1;
        const uint32_t code = qvAPIGetLastError();
        return call.Failed(code, kGuiErr, call.function(), code);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangePasswordIDGroup(const char* lpID, const char* lpPassword, uint32_t,
                                                        uint32_t) {
    return RunApi(kPasswordFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        QVPAPI& block = call.block();
        Outcome outcome;
        QVPAPI_HANDLE handle = QVPAPI_INVALID_HANDLE;
        char openKind = 0;  // the key kind of a position still held
        const int result = [&]() -> int {
            if (!NameOk(call, lpID, kNameOptId, "lpID") || !NameOk(call, lpPassword, kNameOptPassword, "lpPassword"))
                return 0;
            QVAPI_IDGROUP group{};
            if (!qvpAPIIDCommand(&block, kIdGet, kLetterIds, kKeyTake, lpID, nullptr, &group)) {
                openKind = kKeyTake;
                const uint32_t code = IdFailureCode(block);
                return call.Failed(NotFoundIfNoMore(code), kGetTError, fn);
            }
            if (!qvpAPIIDCommand(&block, kIdRelease, kLetterIds, kKeyTake, lpID, nullptr, nullptr)) {
                return call.Failed(IdFailureCode(block), kRls1, fn);
            }
            if (!EncodeInto(lpPassword, group.szPassword)) return call.Failed(QVAPI_ERR_RESOURCE, kEncodeLower, fn);
            group.ucGeneration = 2;
            openKind = kKeyExact;
            if (!qvpAPIIDCommand(&block, kIdUpdate, kLetterIds, kKeyExact, lpID, nullptr, &group)) {
                return call.Failed(NotFoundIfNoMore(IdFailureCode(block)), kUpdError, fn);
            }
            if (!outcome.Step(call, qvpAPImakeCreateJobGenEx(&handle, kEditIdFolder, lpID, "Change_password", 'L', 0, 0),
                              kMakeCreateErr))
                return 0;
            if (!outcome.Step(call, qvAPICreateIDOperateJobGen(handle, 'W', lpID, lpPassword, nullptr, 0, 0),
                              kOperateErr, lpID))
                return 0;
            if (!outcome.Step(call, qvpAPImakeIDGroupNodeJobGenEx(&handle, lpID, 0, 0), kGroupNodeErr, lpID)) return 0;
            QVAPI_JOB job{};
            if (!outcome.Step(call,
                              qvpAPImakeCloseJobGenEx(&handle, kEditIdFolder, lpID, "Change_password", kAfterDelete,
                                                      &job, 0, 0),
                              kMakeCloseErr))
                return 0;
            return 1;
        }();
        if (openKind != 0 && !qvpAPIIDCommand(&block, kIdRelease, kLetterIds, openKind, lpID, nullptr, nullptr)) {
            call.Log(kRls2, fn);
            if (result == 1 || !call.codeSet()) call.Fail(IdFailureCode(block));
        }
        DiscardJobGen(&handle);
        // An ID without a usable master keeps its new password and needs no job.
        if (result == 0 && call.code() == QVAPI_ERR_JOB_NO_NODE) {
            call.Fail(0);
            return 1;
        }
        if (result == 1 && call.codeSet() && call.code() != 0) return 0;
        return outcome.Finish(call, result);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeMasterIDGroup(const char* lpID, const char** lpCreateList,
                                                      const char** lpDeleteList, uint32_t, uint32_t) {
    return RunApi(kChangeMasterFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        if (!NameOk(call, lpID, kNameOptId, "lpID")) return 0;
        const char* const* adds = Present(lpCreateList);
        const char* const* removes = Present(lpDeleteList);
        if (adds == nullptr && removes == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kListsNull, fn);
        IdNodeData group{};
        if (!FindId(call, lpID, group, kFindGroupError, false)) return 0;
        const std::string password(group.site, strnlen(group.site, kPasswordLength));
        struct Pass {
            const char* const* list;
            const char* jobName;
            char letter;
        };
        const Pass passes[] = {{removes, "Delete_ID_group", 'G'}, {adds, "Register_ID_group", 'F'}};
        Outcome outcome;
        int done = 0;
        for (const Pass& pass : passes) {
            if (pass.list == nullptr) continue;
            QVPAPI_HANDLE handle = QVPAPI_INVALID_HANDLE;
            const int passResult = [&]() -> int {
                if (!outcome.Step(call, qvpAPImakeCreateJobGenEx(&handle, kEditIdFolder, lpID, pass.jobName, 'L', 0, 0),
                                  kMakeCreateErr))
                    return -1;
                if (!outcome.Step(call,
                                  qvAPICreateIDOperateJobGen(handle, pass.letter, lpID, password.c_str(), nullptr, 0, 0),
                                  kOperateErr, lpID))
                    return -1;
                // A pass without a usable master sends nothing; the other pass may still.
                if (!qvpAPImakeNodeListJobGenEx(&handle, pass.list, pass.letter, strlen(lpID), lpID) &&
                    qvAPIGetLastError() == QVAPI_ERR_JOB_NO_NODE)
                    return 0;
                if (qvAPIGetLastError() != 0 && !outcome.Step(call, 0, kNodeListErr, lpID)) return -1;
                QVAPI_JOB job{};
                if (!outcome.Step(call,
                                  qvpAPImakeCloseJobGenEx(&handle, kEditIdFolder, lpID, pass.jobName, kAfterDelete,
                                                          &job, pass.letter, 0),
                                  kMakeCloseErr))
                    return -1;
                return 1;
            }();
            DiscardJobGen(&handle);
            if (passResult < 0) return 0;
            done += passResult;
        }
        if (done == 0) return call.Failed(QVAPI_ERR_JOB_NO_NODE, kNoUsable, fn, QVAPI_ERR_JOB_NO_NODE);
        return outcome.Finish(call, 1);
    });
}

namespace {
int OneMasterList(const FrameTexts& frame, const char* lpID, const char** list, bool add) {
    return RunApi(frame, 0, [&](CallContext& call) -> int {
        if (list == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kMasterListNull, call.function());
        if (list[0] == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kMasterListTop, call.function());
        if (qvAPIChangeMasterIDGroup(lpID, add ? list : nullptr, add ? nullptr : list, 0, 0)) return 1;
        const uint32_t code = qvAPIGetLastError();
        return call.Failed(code, kChangeMasterErr, call.function());
    });
}
}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIAddMasterIDGroup(const char* lpID, const char** lpMasterList, uint32_t, uint32_t) {
    return OneMasterList(kAddMasterFrame, lpID, lpMasterList, true);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteMasterIDGroup(const char* lpID, const char** lpMasterList, uint32_t,
                                                      uint32_t) {
    return OneMasterList(kDeleteMasterFrame, lpID, lpMasterList, false);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteIDGroup(const char* lpID, uint32_t dwOption, uint32_t) {
    return RunApi(kDeleteFrame, 0, [&](CallContext& call) -> int {
        if (!NameOk(call, lpID, kNameOptId, "lpID")) return 0;
        IdNodeData group{};
        if (!FindId(call, lpID, group, kFindGroupCode, true)) return 0;
        QVPAPI& block = call.block();
        const char letter = dwOption == 1 ? 'i' : kLetterIds;
        const int done = qvpAPIIDCommand(&block, kIdDelete, letter, kKeyExact, lpID, nullptr, nullptr);
        if (!done) call.Failed(IdFailureCode(block), kDelErr, call.function(), static_cast<int>(IdFailureCode(block)));
        if (!qvpAPIIDCommand(&block, kIdRelease, kLetterIds, '\0', lpID, nullptr, nullptr)) {
            call.Failed(IdFailureCode(block), kRlsErr, call.function());
            return 0;
        }
        return done;
    });
}

extern "C" QVPAPI_EXPORT int qvAPICreateClientIDGroup(const char* lpID, const char* lpClientName,
                                                      uint32_t dwAttributes, const char* lpMasterName,
                                                      uint32_t dwExecOption, uint32_t) {
    return RunApi(kAddClientFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        QVPAPI& block = call.block();
        if (!NameOk(call, lpID, kNameOptId, "lpID") || !ClientGiven(call, lpClientName)) return 0;
        IdNodeData member{};
        if (qvAPIFindIDClient(nullptr, lpID, lpClientName, reinterpret_cast<QVAPI_NODE*>(&member), 0, 0)) {
            call.Fail(QVAPI_ERR_ALREADY_EXISTS);
            return 0;
        }
        if (qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS) {
            call.Fail(qvAPIGetLastError());
            return 0;
        }
        uint32_t kind = 0;
        if (dwAttributes == 2) {
            if (!ClientNameOk(call, lpClientName, kind)) return 0;
            if (block.systemManagementKey == 0 && (kind & 0x01) == 0 && win::inet_addr(lpClientName) != win::INADDR_NONE_VALUE) {
                return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kKeyDisagree, fn, lpClientName);
            }
            IdNodeData group{};
            if (!FindId(call, lpID, group, kFindGroupError, false)) return 0;
            QVAPI_IDENTRY entry{};
            putLe16(reinterpret_cast<uint8_t*>(&entry.wLength), QVAPI_IDRECORD_SIZE);
            entry.ucGeneration = qvpRegGetRdbOption() ? 2 : static_cast<uint8_t>(group.site[kPasswordLength]);
            putLe32(reinterpret_cast<uint8_t*>(&entry.dwAttributes), 2);
            std::memcpy(entry.szNodeName, lpClientName, strnlen(lpClientName, sizeof entry.szNodeName));
            const std::string idName(group.name, strnlen(group.name, sizeof group.name));
            if (!qvpAPIIDCommand(&block, kIdUpdate, kLetterIds, kKeyExact, idName.c_str(), lpClientName, &entry)) {
                const uint32_t code = IdFailureCode(block);
                return call.Failed(code, kUpdErr, fn, static_cast<int>(code));
            }
            const uint32_t op = dwExecOption == 1 ? kIdExecuteS : kIdExecute;
            if (!qvpAPIIDCommand(&block, op, kLetterIds, kKeyExact, idName.c_str(), lpClientName, nullptr)) {
                const uint32_t code = IdFailureCode(block);
                return call.Failed(code, kExcErr, fn, static_cast<int>(code));
            }
            return 1;
        }
        if (dwAttributes != 1) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kAttrNotSupported, fn);
        if (!ClientNameOk(call, lpClientName, kind)) return 0;
        if (lpMasterName == nullptr || lpMasterName[0] == '\0') {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kMasterDefErr, fn, "", QVAPI_ERR_INVALID_PARAMETER);
        }
        QVAPI_IDGROUP group{};
        const int got = qvpAPIIDCommand(&block, kIdGet, kLetterIds, kKeyTake, lpID, nullptr, &group);
        // The 'I' position opened here is given back on every way out.
        const bool released = qvpAPIIDCommand(&block, kIdRelease, kLetterIds, kKeyTake, lpID, nullptr, nullptr) != 0;
        if (!got) {
            const uint32_t code = IdFailureCode(block);
            if (code != QVAPI_ERR_NO_MORE_ITEMS) call.Log(kGetErr, fn, static_cast<int>(code));
            call.Fail(NotFoundIfNoMore(code));
            return 0;
        }
        if (!released) return call.Failed(IdFailureCode(block), msg::kCommandError, fn);
        char stored[sizeof group.szID + 1] = {};
        std::memcpy(stored, group.szID, sizeof group.szID);
        if (std::strcmp(stored, lpID) != 0) {
            call.Fail(QVAPI_ERR_NOT_FOUND);
            return 0;
        }
        IdNodeData master{};
        if (!qvAPIFindIDMaster(nullptr, lpID, lpMasterName, reinterpret_cast<QVAPI_NODE*>(&master), 0, 0)) {
            call.Fail(NotFoundIfNoMore(qvAPIGetLastError()));
            return 0;
        }
        if (master.attribute == 1) return call.Failed(QVAPI_ERR_NOT_FOUND, kMasterDeleting, fn, lpMasterName);
        return MemberJob(call, lpID, lpClientName, lpMasterName, "Add_entry", 'R');
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteClientIDGroup(const char* lpID, const char* lpClientName, uint32_t dwOption,
                                                      uint32_t) {
    return RunApi(kDeleteClientFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        QVPAPI& block = call.block();
        if (!NameOk(call, lpID, kNameOptId, "lpID") || !ClientGiven(call, lpClientName)) return 0;
        IdNodeData member{};
        if (!qvAPIFindIDClient(nullptr, lpID, lpClientName, reinterpret_cast<QVAPI_NODE*>(&member), 1, 0)) {
            const uint32_t code = qvAPIGetLastError();
            return call.Failed(NotFoundIfNoMore(code), kFindClientErr, fn, lpID, code);
        }
        if (member.entryAttributes != 1) {
            const char letter = dwOption != 0 ? 'i' : kLetterIds;
            const int done = qvpAPIIDCommand(&block, kIdDelete, letter, kKeyExact, lpID, lpClientName, nullptr);
            if (!done) {
                const uint32_t code = IdFailureCode(block);
                call.Failed(NotFoundIfNoMore(code), kDelErr, fn, static_cast<int>(code));
            }
            if (!qvpAPIIDCommand(&block, kIdRelease, kLetterIds, '\0', lpID, nullptr, nullptr)) {
                call.Log(kRlsErr, fn);
                if (done) call.Fail(IdFailureCode(block));
                return 0;
            }
            return done;
        }
        const std::string hostId(member.siteHostId, strnlen(member.siteHostId, sizeof member.siteHostId));
        const std::string master =
            !hostId.empty() ? hostId : std::string(member.site, strnlen(member.site, sizeof member.site));
        return MemberJob(call, lpID, lpClientName, master.c_str(), "Delete_entry", 'E');
    });
}
