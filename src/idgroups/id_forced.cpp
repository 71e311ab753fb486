// The Forced ID updates: one request each against the local manager's ID store, no job. Every
// change that names a letter releases that letter's position on the way out; a failed release
// after a successful change leaves the result 1 with the release's code.
#include <cstring>

#include "core/errors.h"
#include "platform/byte_order.h"
#include "core/text.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"
#include "idgroups/id_forced.h"
#include "nodes/name_checks.h"
#include "nodes/node_record.h"
#include "qvpapi.h"
#include "core/log.h"
#include "records/requests.h"
#include "session/checkers.h"
#include "session/message.h"

namespace qvp::ids {

namespace {

constexpr char kLogicalErr[] = "%s : Logical Err : ErrorCode = 0x%8.8x";
constexpr char kIdStart[] = "%s START : lpID = %s";
constexpr char kCreateStart[] = "%s START : lpID = %s : ucSetSystem = 0x%02x";
constexpr char kClientStart[] = "%s START : lpClientName = %s";
constexpr char kMasterStart[] = "%s START : lpMasterName = %s";
constexpr char kSetSystemError[] = "%s : ucSetSystem error = 0x%02x";
constexpr char kAttributesError[] = "%s : dwAttributes error = 0x%02x";
constexpr char kExists[] = "%s : qvAPIFindIDGroup (ALREADY_EXISTS) = 0x%8.8x";
constexpr char kFindCode[] = "%s : qvAPIFindIDGroup Error Code = %d";
constexpr char kEncodeError[] = "%s : qvpStuEnCode Error ";
constexpr char kUpdateError[] = "%s : qvpAPIIDCommand(UPD) Err Code = %d";
constexpr char kDeleteError[] = "%s : qvpAPIIDCommand(DEL) Err Code = %d";
constexpr char kDeleteLetterError[] = "%s : qvpAPIIDCommand(DEL) %c Err Code = %d";
constexpr char kReleaseErr[] = "%s : qvpAPIIDCommand(RLS) Err";
constexpr char kIdNull[] = "%s : lpID Address is NULL";
constexpr char kJdelFunction[] = "qvpAPIDeleteIDCommandbyIDentry";
constexpr char kJdelSendError[] = "%s : TcpSendMsg Error";
constexpr char kJdelRecvError[] = "%s : TcpRecvMsg Error";
constexpr char kJdelError[] = "%s : JDEL Error code = %s";

constexpr FrameTexts Frame(const char* function, bool deletion) {
    return FrameTexts{function, EndStyle::Result, "", nullptr, deletion ? kLogicalErr : msg::kLogicalError};
}
constexpr FrameTexts kCreateFrame = Frame("qvAPICreateIDGroupForced", false);
constexpr FrameTexts kDeleteFrame = Frame("qvAPIDeleteIDGroupForced", true);
constexpr FrameTexts kMasterFrame = Frame("qvAPIAddMasterIDGroupForced", false);
constexpr FrameTexts kClientFrame = Frame("qvAPICreateClientIDGroupForced", false);
constexpr FrameTexts kEntryFrame = Frame("qvAPIDeleteIDEntryForced", true);
constexpr FrameTexts kDeleteClientFrame = Frame("qvAPIDeleteClientIDGroupForced", true);
constexpr FrameTexts kUpdateClientFrame = Frame("qvAPIUpdateClientIDGroupForced", false);
constexpr FrameTexts kUpdateMasterFrame = Frame("qvAPIUpdateMasterIDGroupForced", false);

constexpr uint8_t kHiddenAttribute = 0x80;
constexpr uint8_t kSetSystemHidden = 4;
constexpr uint32_t kMasterList = 3;
constexpr size_t kPasswordField = 32;
constexpr size_t kNodeNameMax = 64;

const char* Shown(const char* text) { return text != nullptr ? text : "(null)"; }

bool IdNameOk(CallContext& call, const char* id) {
    if (nodes::qvAPINameParameterCheckEx(id, kNameOptId, "lpID", 0, 0)) return true;
    call.Fail(qvAPIGetLastError());
    return false;
}

// The ID at the top of the tree, as qvAPIFindIDGroup reports it; a missing one is 0x20610000.
// The deletion logs the lookup's code, the others a plain line.
bool FindId(CallContext& call, const char* id, uint8_t& generation, bool logCode) {
    QVAPI_NODE node;
    if (qvAPIFindIDGroup("\\", id, &node, 0, 0)) {
        generation = reinterpret_cast<const uint8_t*>(&node)[kGenerationOffset];
        return true;
    }
    uint32_t code = qvAPIGetLastError();
    if (logCode) call.Log(kFindCode, call.function(), static_cast<int>(code));
    else call.Log(msg::kFindGroupError, call.function());
    call.Fail(code == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_NOT_FOUND : code);
    return false;
}

// One changing request, then the release of its letter (failure: `releaseText`).
int ChangeAndRelease(CallContext& call, uint32_t op, char letter, const char* key1, const char* key2, void* record,
                     const char* failText, const char* releaseText) {
    const int done = qvpAPIIDCommand(&call.block(), op, letter, kKeyExact, key1, key2, record);
    uint32_t code = 0;
    if (!done) {
        code = IdFailureCode(call.block());
        call.Log(failText, call.function(), static_cast<int>(code));
    }
    const bool released = ReleaseLetter(call, letter, releaseText);
    if (!done && released) call.Fail(code);
    return done;
}

std::string EntryRecord(uint8_t generation, uint32_t attributes, const char* id, const char* node, const char* site) {
    std::string record(QVAPI_IDRECORD_SIZE, '\0');
    auto* bytes = reinterpret_cast<uint8_t*>(record.data());
    putLe16(bytes + offsetof(QVAPI_IDENTRY, wLength), QVAPI_IDRECORD_SIZE);
    bytes[offsetof(QVAPI_IDENTRY, ucGeneration)] = generation;
    putLe32(bytes + offsetof(QVAPI_IDENTRY, dwAttributes), attributes);
    auto put = [&](size_t offset, size_t width, const char* text) {
        if (text != nullptr) std::memcpy(record.data() + offset, text, strnlen(text, width));
    };
    put(offsetof(QVAPI_IDENTRY, szID), sizeof(QVAPI_IDENTRY::szID), id);
    put(offsetof(QVAPI_IDENTRY, szNodeName), sizeof(QVAPI_IDENTRY::szNodeName), node);
    put(offsetof(QVAPI_IDENTRY, szManageSite), sizeof(QVAPI_IDENTRY::szManageSite), site);
    return record;
}

// The entry deletions: no lookup of the ID, no release afterwards. `namesLetter`: the failure
// line names the letter.
int DeleteEntry(CallContext& call, const char* id, const char* node, char letter, const char* label,
                bool namesLetter) {
    if (node == nullptr || node[0] == '\0') {
        call.Log(node == nullptr ? "%s : %s Address is NULL" : "%s : Top of %s Value is NULL", call.function(), label);
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    if (id == nullptr) {
        call.Log(kIdNull, call.function());
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    if (qvpAPIIDCommand(&call.block(), kIdDelete, letter, kKeyExact, id, node, nullptr)) return 1;
    const uint32_t code = IdFailureCode(call.block());
    if (namesLetter) call.Log(kDeleteLetterError, call.function(), letter, static_cast<int>(code));
    else call.Log(kDeleteError, call.function(), static_cast<int>(code));
    call.Fail(code == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_NOT_FOUND : code);
    return 0;
}

// Renames a member in every ID of one list.
int Rename(CallContext& call, const char* old, const char* renamed, uint32_t list, char letter) {
    if (!CheckNodeName(call, old, kNameIdNode) || !CheckNodeName(call, renamed, kNameIdNode)) return 0;
    std::string record(QVAPI_IDRECORD_SIZE, '\0');
    putLe32(reinterpret_cast<uint8_t*>(record.data()) + offsetof(QVAPI_IDENTRY, dwAttributes), list);
    std::memcpy(record.data() + offsetof(QVAPI_IDENTRY, szNodeName), renamed, strnlen(renamed, kNodeNameMax));
    return ChangeAndRelease(call, kIdChange, letter, nullptr, old, record.data(), kUpdateError, msg::kCommandError);
}

}  // namespace

int qvAPIDeleteIDEntryForced(const char* lpID, const char* lpNodeName, uint32_t dwList, uint32_t, uint32_t) {
    return RunApi(kEntryFrame, 0, [&](CallContext& call) {
        call.Log(kIdStart, call.function(), Shown(lpID));
        const char letter = dwList == 1 ? 'C' : dwList == 2 ? 'i' : dwList == kMasterList ? 'M' : '\0';
        if (letter == '\0' && lpNodeName != nullptr && lpNodeName[0] != '\0') {
            call.Log("%s : Top of lpNodeName Value is NULL", call.function());
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        return DeleteEntry(call, lpID, lpNodeName, letter, "lpNodeName", true);
    });
}

int qvAPIDeleteClientIDGroupForced(const char* lpID, const char* lpClientName, uint32_t, uint32_t) {
    return RunApi(kDeleteClientFrame, 0, [&](CallContext& call) {
        call.Log(kIdStart, call.function(), Shown(lpID));
        return DeleteEntry(call, lpID, lpClientName, kLetterClients, "lpClientName", false);
    });
}

int qvAPIUpdateClientIDGroupForced(const char* lpClientName, const char* lpNewName, uint32_t dwAttributes, uint32_t,
                                   uint32_t) {
    return RunApi(kUpdateClientFrame, 0, [&](CallContext& call) {
        call.Log(kClientStart, call.function(), Shown(lpClientName));
        // Any other value would go out as a list number the ID store does not have.
        if (dwAttributes != 1 && dwAttributes != 2) {
            call.Log(kAttributesError, call.function(), dwAttributes);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        return Rename(call, lpClientName, lpNewName, dwAttributes, dwAttributes == 2 ? kLetterIds : kLetterClients);
    });
}

int qvAPIUpdateMasterIDGroupForced(const char* lpMasterName, const char* lpNewName, uint32_t, uint32_t) {
    return RunApi(kUpdateMasterFrame, 0, [&](CallContext& call) {
        call.Log(kMasterStart, call.function(), Shown(lpMasterName));
        return Rename(call, lpMasterName, lpNewName, kMasterList, kLetterMasters);
    });
}

int qvpAPIDeleteIDCommandbyIDentry(QVPAPI* block, const char* lpNodeName, char list) {
    if (block == nullptr) return 0;
    if (lpNodeName == nullptr || strnlen(lpNodeName, kNodeNameMax + 1) > kNodeNameMax) {
        qvAPISetErrorInfo(block, kErrCategoryInternal, nullptr, kInternalParameter, 0);
        return 0;
    }
    std::memset(block->fgetReplyBuffer, 0, sizeof block->fgetReplyBuffer);
    const int got = qvpExchange(*block, records::request::JdelIdEntry(list, lpNodeName), block->fgetReplyBuffer);
    if (got < 0) {
        qvpDllLog(got == kQvpExchangeSendFailed ? kJdelSendError : kJdelRecvError, kJdelFunction);
        return 0;
    }
    qvAPISetErrorInfo(block, kErrCategoryJobAccess, block->fgetReplyBuffer, 0, 0);
    if (qvpAPICheckJdelReply(block->fgetReplyBuffer) == 0) return 1;
    qvpDllLog(kJdelError, kJdelFunction, block->fgetReplyBuffer);
    return 0;
}

}  // namespace qvp::ids

using namespace qvp;
using namespace qvp::ids;

extern "C" QVPAPI_EXPORT int qvAPICreateIDGroupForced(const char* lpID, const char* lpPassword, uint8_t ucSetSystem,
                                                      uint32_t, uint32_t) {
    return RunApi(kCreateFrame, 0, [&](CallContext& call) {
        call.Log(kCreateStart, call.function(), Shown(lpID), ucSetSystem);
        if (!IdNameOk(call, lpID)) return 0;
        if (!nodes::qvAPINameParameterCheckEx(lpPassword, kNameOptPassword, "lpPassword", 0, 0)) {
            call.Fail(qvAPIGetLastError());
            return 0;
        }
        if (ucSetSystem != 1 && ucSetSystem != 2 && ucSetSystem != kSetSystemHidden) {
            call.Log(kSetSystemError, call.function(), ucSetSystem);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        QVAPI_NODE found;
        if (qvAPIFindIDGroup("\\", lpID, &found, 0, 0)) {
            call.Log(kExists, call.function(), QVAPI_ERR_ALREADY_EXISTS);
            call.Fail(QVAPI_ERR_ALREADY_EXISTS);
            return 0;
        }
        call.Log(msg::kFindGroupError, call.function());
        if (qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS) {
            call.Fail(qvAPIGetLastError());
            return 0;
        }
        QVAPI_IDGROUP group;
        std::memset(&group, 0, sizeof group);
        auto* bytes = reinterpret_cast<uint8_t*>(&group);
        putLe16(bytes + offsetof(QVAPI_IDGROUP, wLength), QVAPI_IDRECORD_SIZE);
        group.ucGeneration = ucSetSystem == kSetSystemHidden ? 1 : ucSetSystem;
        group.ucAttributes = ucSetSystem == kSetSystemHidden ? kHiddenAttribute : 0;
        std::memcpy(group.szID, lpID, strnlen(lpID, sizeof group.szID));
        if (lpPassword != nullptr && lpPassword[0] != '\0') {
            char encoded[kQvpBufferSize] = {};
            if (qvpStuEnCode(lpPassword, encoded) != 1 || strnlen(encoded, kPasswordField) >= kPasswordField) {
                call.Log(kEncodeError, call.function());
                call.Fail(QVAPI_ERR_RESOURCE);
                return 0;
            }
            std::memcpy(group.szPassword, encoded, strnlen(encoded, kPasswordField));
        }
        return ChangeAndRelease(call, kIdUpdate, kLetterWhole, lpID, nullptr, &group, kUpdateError, msg::kCommandError);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteIDGroupForced(const char* lpID, uint32_t, uint32_t) {
    return RunApi(kDeleteFrame, 0, [&](CallContext& call) {
        uint8_t generation = 0;
        if (!IdNameOk(call, lpID) || !FindId(call, lpID, generation, true)) return 0;
        return ChangeAndRelease(call, kIdDelete, kLetterWhole, lpID, nullptr, nullptr, kDeleteError, kReleaseErr);
    });
}

extern "C" QVPAPI_EXPORT int qvAPICreateMasterIDGroupForced(const char* lpID, const char* lpMasterName, uint32_t,
                                                            uint32_t) {
    return RunApi(kMasterFrame, 0, [&](CallContext& call) {
        call.Log(kIdStart, call.function(), Shown(lpID));
        uint8_t generation = 0;
        if (!IdNameOk(call, lpID) || !CheckNodeName(call, lpMasterName, kNameMaster) ||
            !FindId(call, lpID, generation, false))
            return 0;
        std::string record = EntryRecord(generation, 0, lpID, lpMasterName, nullptr);
        return ChangeAndRelease(call, kIdUpdate, kLetterMasters, lpID, lpMasterName, record.data(), kUpdateError,
                                msg::kCommandError);
    });
}

extern "C" QVPAPI_EXPORT int qvAPICreateClientIDGroupForced(const char* lpID, const char* lpClientName,
                                                            uint32_t dwAttributes, const char* lpManageSite, uint32_t,
                                                            uint32_t) {
    return RunApi(kClientFrame, 0, [&](CallContext& call) {
        call.Log(kIdStart, call.function(), Shown(lpID));
        if (!IdNameOk(call, lpID) || !CheckNodeName(call, lpClientName, kNameClient)) return 0;
        if (dwAttributes == 1 && !CheckNodeName(call, lpManageSite, kNameMaster)) return 0;
        if (dwAttributes != 1 && dwAttributes != 2) {
            call.Log(kAttributesError, call.function(), dwAttributes);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        uint8_t generation = 0;
        if (!FindId(call, lpID, generation, false)) return 0;
        std::string record =
            EntryRecord(generation, dwAttributes, nullptr, lpClientName, dwAttributes == 1 ? lpManageSite : nullptr);
        return ChangeAndRelease(call, kIdUpdate, dwAttributes == 2 ? kLetterIds : kLetterClients, lpID, lpClientName,
                                record.data(), kUpdateError, msg::kCommandError);
    });
}
