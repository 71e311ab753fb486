// The ID-operate JobGens: open, entries, target masters, commit with job creation and execution.
// Every step that fails discards the open JobGen and sets the caller's handle to -1, so callers
// only discard a handle that is not -1.
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/frame.h"
#include "core/paths.h"
#include "core/text.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"
#include "idgroups/id_operate.h"
#include "jobgen/jobgen_file.h"
#include "nodes/name_checks.h"
#include "platform/win.h"

namespace qvp::ids {

namespace {

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts Frame(const char* function) {
    return FrameTexts{function, EndStyle::Decimal, nullptr, nullptr, kLogicalError};
}
constexpr FrameTexts kCreateFrame = Frame("qvpAPImakeCreateJobGenEx");
constexpr FrameTexts kOperateFrame = Frame("qvAPICreateIDOperateJobGen");
constexpr FrameTexts kListFrame = Frame("qvpAPImakeNodeListJobGenEx");
constexpr FrameTexts kGroupFrame = Frame("qvpAPImakeIDGroupNodeJobGenEx");
constexpr FrameTexts kCloseFrame = Frame("qvpAPImakeCloseJobGenEx");

constexpr char kMaxPath[] = "%s : MAX_PATH Err : Code = 0x%8.8x";
constexpr char kCreateJobGenErr[] = "%s : qvAPICreateJobGenEx Err : Code = 0x%8.8x";
constexpr char kHandleInvalid[] = "%s : JobGen Handle Value is INVALID";
constexpr char kRequestBad[] = "%s : ucRequest = %c";
constexpr char kRequestTwice[] = "%s : ucRequest :Old = %c,New = %c";
constexpr char kFindGroupErr[] = "%s : qvAPIFindIDGroup Err : Code = 0x%8.8x";
constexpr char kEncodeError[] = "%s : qvpStuEnCode Error ";
constexpr char kNodeNull[] = "%s : lpNodeName Pointer is NULL";
constexpr char kNodeTop[] = "%s : Top of lpNodeName Value is NULL";
constexpr char kListNull[] = "%s : lpNodeList Address is NULL";
constexpr char kListTop[] = "%s : Top of lpNodeList Value is NULL";
constexpr char kKindError[] = "%s : qvAPIGetNodeNameType error";
constexpr char kCheckNode[] = "%s : qvAPINameParameterCheck error : lpNodeName = %s";
constexpr char kCheckList[] = "%s : qvAPINameParameterCheck error : lpNodeList = %s";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kWriteFile[] = "%s : WriteFile %s : ErrorCode = %d";
constexpr char kNoUsable[] = "%s : Usable Node Not Found : Code = 0x%8.8x";
constexpr char kIdDelErr[] = "%s : qvpAPIIDCommand(DEL) Err Code = %d";
constexpr char kIdRlsErr[] = "%s : qvpAPIIDCommand(RLS) Err";
constexpr char kMasterDefErr[] = "%s : qvAPIGetMasterDefinitionByName : list = %s : ErrorCode = 0x%8.8x";
constexpr char kAddMasterErr[] = "%s : qvAPICreateMasterJobGen : list = %s : ErrorCode = 0x%8.8x";
constexpr char kAddManagerErr[] = "%s : qvAPICreateManagerJobGen : list = %s : ErrorCode = 0x%8.8x";
constexpr char kAddClientErr[] = "%s : qvAPICreateClientJobGen : list = %s : ErrorCode = 0x%8.8x";
constexpr char kNodePathLong[] = "%s : ID Master NodePath Too Long : Path = %s : ErrorCode = 0x%8.8x";
constexpr char kMasterPathLong[] = "%s : ID Master Path Too Long : Path = %s : ErrorCode = 0x%8.8x";
constexpr char kFirstMasterErr[] = "%s : qvAPIFindFirstIDMaster : lpID = %s : ErrorCode = 0x%8.8x";
constexpr char kNextMasterErr[] = "%s : qvAPIFindNextIDMaster : lpID = %s : ErrorCode = 0x%8.8x";
constexpr char kFindGroupError[] = "%s : qvAPIFindIDGroup error";
constexpr char kCloseErr[] = "%s : qvAPICloseJobGenEx : ErrorCode = 0x%8.8x";
constexpr char kCreateJobErr[] = "%s : qvAPICreateJobEx : ErrorCode = 0x%8.8x";
constexpr char kExecJobErr[] = "%s : qvAPIExecJob : ErrorCode = 0x%8.8x";

constexpr uint32_t kByHostId = 0x1000000;
constexpr uint32_t kAsGiven = 0x80000000;
constexpr size_t kListNameMax = 260;
constexpr size_t kTargetMax = 255;

RetryBound g_retry;

jobgen::JobGenEdit* OpenEdit(QVPAPI& block) { return static_cast<jobgen::JobGenEdit*>(block.openJobGen); }

// The ID exists (top of the tree); 0x20000103 is reported as 0x20610000.
bool IdKnown(CallContext& call, const char* id, const char* text, bool logCode) {
    if (!nodes::qvAPINameParameterCheckEx(id, kNameOptId, "lpID", 0, 0)) {
        call.Fail(qvAPIGetLastError());
        return false;
    }
    QVAPI_NODE node;
    if (qvAPIFindIDGroup(nullptr, id, &node, 0, 0)) return true;
    const uint32_t code = qvAPIGetLastError();
    if (logCode) call.Log(text, call.function(), code);
    else call.Log(text, call.function());
    call.Fail(code == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_NOT_FOUND : code);
    return false;
}

// A node name of a list: its kind, then the rule of `rule` (host IDs their own). 0 usable,
// 1 skipped (0x2000007B), -1 failed.
int CheckListName(CallContext& call, const char* name, uint32_t rule, const char* checkText) {
    if (nodes::qvAPIGetNodeNameType(name, 0, 0, 0) == 0) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, kKindError, call.function());
        return -1;
    }
    const bool hostId = (nodes::qvAPIGetNodeNameType(name, 0, 0, 0) & 0x01) != 0;
    if (nodes::qvAPINameParameterCheck(name, hostId ? kNameHostId : rule)) return 0;
    const uint32_t code = qvAPIGetLastError();
    call.Log(checkText, call.function(), name);
    if (code == QVAPI_ERR_INVALID_NAME) return 1;
    call.Fail(code);
    return -1;
}

}  // namespace

void SetCreateRetryBound(RetryBound bound) { g_retry = bound; }

std::string OperateFolderPath(const char* folder, const char* sub, bool withSub) {
    std::string path = std::string("\\") + folder;
    if (withSub && sub != nullptr) path += std::string("\\") + sub;
    return path;
}

bool FileNamePartOk(const char* name) {
    const std::string_view text(name);
    return text.find_first_of("\\/") == std::string_view::npos && text.find("..") == std::string_view::npos;
}

void DiscardJobGen(QVPAPI_HANDLE* handle) {
    if (handle == nullptr || *handle == QVPAPI_INVALID_HANDLE) return;
    const uint32_t kept = qvAPIGetLastError();
    qvAPICloseJobGenEx(*handle, 1, 0);
    qvAPISetLastError(kept);
    *handle = QVPAPI_INVALID_HANDLE;
}

bool WriteOperateEntry(CallContext& call, const std::string& file, const QVAPI_IDOPERATE& entry,
                       jobgen::JobGenEdit& edit, std::vector<std::string>& written) {
    jobgen::JobGenEntry raw;
    static_assert(sizeof raw == sizeof entry);
    std::memcpy(&raw, &entry, sizeof entry);
    bool createFailed = false;
    const win::DWORD error = jobgen::WriteNewEntry(file, raw, &createFailed);
    if (error != 0) {
        call.Log(createFailed ? kCreateFile : kWriteFile, call.function(), file.c_str(), static_cast<int>(error));
        call.Fail(createFailed && error == win::ERROR_FILE_EXISTS ? QVAPI_ERR_ALREADY_EXISTS : QVAPI_ERR_RESOURCE);
        return false;
    }
    written.push_back(file);
    ++edit.idOperateCount;
    return true;
}

void TakeBack(jobgen::JobGenEdit& edit, const std::vector<std::string>& written) {
    // The count follows the files: a commit must not expect entries that are gone.
    for (const std::string& file : written) {
        if (win::DeleteFile(file.c_str()) && edit.idOperateCount > 0) --edit.idOperateCount;
    }
}

int qvpAPImakeCreateJobGenEx(QVPAPI_HANDLE* phJobGen, const char* lpFolder, const char* lpSubFolder,
                             const char* lpJobGenName, char ucJobKind, uint32_t, uint32_t) {
    return RunApi(kCreateFrame, 0, [&](CallContext& call) -> int {
        if (phJobGen == nullptr || lpFolder == nullptr || lpJobGenName == nullptr ||
            (ucJobKind == 'L' && lpSubFolder == nullptr)) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kMaxPath, call.function(), QVAPI_ERR_INVALID_PARAMETER);
        }
        *phJobGen = QVPAPI_INVALID_HANDLE;
        char root[win::MAX_PATH] = {};
        qvpMakeMngflJobGenPath(root);
        const bool kindL = ucJobKind == 'L';
        size_t length = strlen(root) + strlen(lpJobGenName) + strlen(lpFolder) + (kindL ? 3 : 2);
        if (kindL) length += strlen(lpSubFolder);
        if (length > win::MAX_PATH) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kMaxPath, call.function(), QVAPI_ERR_INVALID_PARAMETER);
        }
        const std::string folder = OperateFolderPath(lpFolder, lpSubFolder, kindL);
        *phJobGen = qvAPICreateJobGenEx(folder.c_str(), lpJobGenName, ucJobKind, 0, 0);
        const uint32_t code = qvAPIGetLastError();
        if (*phJobGen == QVPAPI_INVALID_HANDLE || code != 0) {
            // A stored JobGen that came back with a code is open but not usable.
            DiscardJobGen(phJobGen);
            return call.Failed(code, kCreateJobGenErr, call.function(), code);
        }
        return 1;
    });
}

int qvAPICreateIDOperateJobGen(QVPAPI_HANDLE hJobGen, char ucRequest, const char* lpID, const char* lpPassword,
                               const char* const* lpNodeName, uint32_t, uint32_t) {
    return RunApi(kOperateFrame, 0, [&](CallContext& call) -> int {
        QVPAPI& block = call.block();
        jobgen::JobGenEdit* edit = qvpIsOwnBlock(hJobGen) ? OpenEdit(block) : nullptr;
        if (edit == nullptr) return call.Failed(QVAPI_ERR_INVALID_HANDLE, kHandleInvalid, call.function());
        if (std::strchr("EFGRW", ucRequest) == nullptr || ucRequest == '\0') {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kRequestBad, call.function(), ucRequest);
        }
        if (edit->idOperateRequest != 0) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kRequestTwice, call.function(), edit->idOperateRequest,
                               ucRequest);
        }
        if (!IdKnown(call, lpID, kFindGroupErr, true)) return 0;
        QVAPI_IDOPERATE entry{};
        entry.ucJobKind = edit->jobKind;
        entry.ucBlank = ' ';
        entry.ucRequest = ucRequest;
        std::memcpy(entry.szID, lpID, strnlen(lpID, sizeof entry.szID));
        const bool withPassword = ucRequest == 'F' || ucRequest == 'W';
        if (withPassword && lpPassword != nullptr && lpPassword[0] != '\0') {
            if (!nodes::qvAPINameParameterCheckEx(lpPassword, kNameOptPassword, "lpPassword", 0, 0)) {
                call.Fail(qvAPIGetLastError());
                return 0;
            }
            char encoded[256] = {};
            if (qvpStuEnCode(lpPassword, encoded) != 1 || strlen(encoded) >= sizeof entry.szPassword) {
                return call.Failed(QVAPI_ERR_RESOURCE, kEncodeError, call.function());
            }
            std::memcpy(entry.szPassword, encoded, strlen(encoded));
        }
        const bool perNode = ucRequest == 'E' || ucRequest == 'R';
        if (perNode && lpNodeName == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNodeNull, call.function());
        if (perNode && lpNodeName[0] == nullptr) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNodeTop, call.function());
        }
        const char* const single[] = {lpID, nullptr};
        const char* const* list = perNode ? lpNodeName : single;
        const std::string prefix = jobgen::WorkArea(block, "IDGROUP") + "\\" + ucRequest + "." + lpID;

        std::vector<std::string> written;
        bool skipped = false;
        bool failed = false;
        for (size_t i = 0; list[i] != nullptr && !failed; ++i) {
            const char* name = list[i];
            std::string file = prefix;
            if (perNode) {
                if (name[0] == '\0') continue;
                int verdict = 0;
                if (nodes::qvAPIGetNodeNameType(name, 0, 0, 0) == 0) {
                    call.Failed(QVAPI_ERR_INVALID_PARAMETER, kKindError, call.function());
                    verdict = -1;
                } else if (ucRequest == 'R') {
                    verdict = CheckListName(call, name, kNameClient, kCheckNode);
                }
                // The name becomes part of a file name: never a way out of the folder.
                if (verdict == 0 && (strlen(name) > sizeof entry.szNodeName || !FileNamePartOk(name))) {
                    call.Log(kCheckNode, call.function(), name);
                    verdict = 1;
                }
                if (verdict < 0) {
                    failed = true;
                    break;
                }
                if (verdict > 0) {
                    skipped = true;
                    continue;
                }
                std::memset(entry.szNodeName, 0, sizeof entry.szNodeName);
                std::memcpy(entry.szNodeName, name, strlen(name));
                entry.ucFlags = block.idOperateFlag == 1 ? 0x80 : 0;
                file += std::string(".") + name;
            }
            if (!WriteOperateEntry(call, file, entry, *edit, written)) {
                failed = true;
                break;
            }
        }
        if (!failed && edit->idOperateCount == 0) {
            call.Failed(QVAPI_ERR_JOB_NO_NODE, kNoUsable, call.function(), QVAPI_ERR_JOB_NO_NODE);
            failed = true;
        }
        if (failed) {
            TakeBack(*edit, written);
            return 0;
        }
        edit->idOperateRequest = ucRequest;
        if (skipped) {
            call.Fail(QVAPI_ERR_JOB_REFUSED);
            return 0;
        }
        return 1;
    });
}

uint32_t AddMasterTarget(CallContext& call, QVPAPI_HANDLE hJobGen, const QVAPI_NODE& definition, bool byHostId,
                         bool managerUnlessMaster, uint8_t keyKind, size_t idLength, const char* listName) {
    const char* fn = call.function();
    if (byHostId) {
        const std::string hostId(definition.ucHostID, strnlen(definition.ucHostID, sizeof definition.ucHostID));
        const bool master = !managerUnlessMaster || (definition.uiNodeAttributes & 0x2) != 0;
        const int added = master ? qvAPICreateMasterJobGen(hJobGen, hostId.c_str(), kByHostId, 0)
                                 : qvAPICreateManagerJobGen(hJobGen, hostId.c_str(), kByHostId, 0);
        if (added) return 0;
        // The manager add does nothing and says nothing: such a master cannot be a target here.
        const uint32_t code = master ? qvAPIGetLastError() : QVAPI_ERR_NOT_SUPPORTED;
        call.Log(master ? kAddMasterErr : kAddManagerErr, fn, listName, code);
        return code;
    }
    std::string key;
    if (keyKind == 0) key.assign(definition.ucNodeName, strnlen(definition.ucNodeName, sizeof definition.ucNodeName));
    else if (keyKind == 1) {
        char text[16] = {};
        if (qvpAPIIPAddrHexToStr(definition.ucNodeAddress, text)) key = text;
    }
    const std::string path(definition.ucNodePath0, strnlen(definition.ucNodePath0, sizeof definition.ucNodePath0));
    const std::string target = (path == "\\" ? std::string() : path) + "\\" + key + "\\" + key;
    if (idLength > 0) {
        if (target.size() - 1 > kTargetMax) {
            call.Log(kNodePathLong, fn, target.c_str(), QVAPI_ERR_PATH_TOO_LONG);
            return QVAPI_ERR_PATH_TOO_LONG;
        }
        if (idLength + (path.empty() ? 0 : path.size() - 1) + key.size() + 3 > kTargetMax) {
            call.Log(kMasterPathLong, fn, target.c_str(), QVAPI_ERR_PATH_TOO_LONG);
            return QVAPI_ERR_PATH_TOO_LONG;
        }
    }
    if (qvAPICreateClientJobGen(hJobGen, target.c_str(), kAsGiven, 0)) return 0;
    const uint32_t code = qvAPIGetLastError();
    call.Log(kAddClientErr, fn, listName, code);
    return code;
}

// The end of a target step: a failure discards the JobGen; skipped names make the success a
// partial one (0 with 0x20470000).
static int Conclude(CallContext& call, QVPAPI_HANDLE* handle, bool failed, bool skipped) {
    if (failed) {
        DiscardJobGen(handle);
        return 0;
    }
    if (!skipped) return 1;
    call.Fail(QVAPI_ERR_JOB_REFUSED);
    return 0;
}

int qvpAPImakeNodeListJobGenEx(QVPAPI_HANDLE* phJobGen, const char* const* lpNodeList, char ucRequest,
                               size_t nIDLength, const char* lpID) {
    return RunApi(kListFrame, 0, [&](CallContext& call) -> int {
        QVPAPI& block = call.block();
        const char* fn = call.function();
        bool skipped = false;
        bool deleted = false;
        int counted = 0;
        const int result = [&]() -> int {
            if (lpNodeList == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kListNull, fn);
            if (lpNodeList[0] == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kListTop, fn);
            if (phJobGen == nullptr || lpID == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kListNull, fn);
            for (size_t i = 0; lpNodeList[i] != nullptr; ++i) {
                const char* name = lpNodeList[i];
                if (name[0] == '\0') continue;
                // Names are held in a path-sized buffer: longer ones are no node names.
                int verdict = strlen(name) >= kListNameMax ? 1 : CheckListName(call, name, kNameMaster, kCheckList);
                if (verdict == 1 && strlen(name) >= kListNameMax) call.Log(kCheckList, fn, name);
                if (verdict < 0) return 0;
                if (verdict > 0) {
                    skipped = true;
                    continue;
                }
                IdNodeData found{};
                const bool known =
                    qvAPIFindIDMaster("\\", lpID, name, reinterpret_cast<QVAPI_NODE*>(&found), 0, 0) == 1;
                const uint32_t findCode = known ? 0 : qvAPIGetLastError();
                uint8_t attribute = 0;
                auto dropEntry = [&]() {
                    deleted = true;
                    if (qvpAPIIDCommand(&block, kIdDelete, kLetterMasters, kKeyExact, lpID, name, nullptr)) return true;
                    call.Log(kIdDelErr, fn, static_cast<int>(IdFailureCode(block)));
                    return false;
                };
                if (ucRequest == 'G') {
                    if (!known) {
                        call.Fail(findCode == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_NOT_FOUND : findCode);
                        return 0;
                    }
                    attribute = found.attribute;
                    if (attribute == 1 || attribute == 2) {
                        if (dropEntry()) ++counted;
                        if (attribute == 1) continue;
                    }
                } else if (known) {
                    continue;  // it manages the ID already
                }
                QVAPI_NODE definition{};
                if (!qvAPIGetMasterDefinitionByName(name, &definition)) {
                    const uint32_t code = qvAPIGetLastError();
                    call.Log(kMasterDefErr, fn, name, code);
                    if (code != QVAPI_ERR_NOT_FOUND && code != QVAPI_ERR_FILE_NOT_FOUND) {
                        call.Fail(code);
                        return 0;
                    }
                    if (ucRequest == 'F') skipped = true;
                    else if (attribute != 1 && attribute != 2 && dropEntry()) ++counted;
                    continue;
                }
                const bool byHostId = nodes::qvAPIGetNodeNameType(name, 1, 0, 0) == 1;
                const uint32_t code = AddMasterTarget(call, *phJobGen, definition, byHostId, true,
                                                      definition.ucSystemKey, nIDLength, name);
                if (code == QVAPI_ERR_ALREADY_EXISTS) continue;
                if (code != 0) {
                    call.Fail(code);
                    return 0;
                }
                ++counted;
            }
            if (counted == 0) {
                return call.Failed(QVAPI_ERR_JOB_NO_NODE, kNoUsable, fn, QVAPI_ERR_JOB_NO_NODE);
            }
            return 1;
        }();
        if (deleted && !qvpAPIIDCommand(&block, kIdRelease, kLetterIds, '\0', lpID, nullptr, nullptr)) {
            call.Log(kIdRlsErr, fn);
            if (!call.codeSet()) call.Fail(IdFailureCode(block));
        }
        return Conclude(call, phJobGen, result == 0 || call.codeSet(), skipped);
    });
}

int qvpAPImakeIDGroupNodeJobGenEx(QVPAPI_HANDLE* phJobGen, const char* lpID, uint32_t, uint32_t) {
    return RunApi(kGroupFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        QVPAPI& block = call.block();
        bool skipped = false;
        QVPAPI_HANDLE walk = QVPAPI_INVALID_HANDLE;
        const int result = [&]() -> int {
            if (phJobGen == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kListNull, fn);
            if (!IdKnown(call, lpID, kFindGroupError, false)) return 0;
            IdNodeData master{};
            walk = qvAPIFindFirstIDMaster(nullptr, lpID, reinterpret_cast<QVAPI_NODE*>(&master), 0, 0);
            if (walk == QVPAPI_INVALID_HANDLE) {
                const uint32_t code = qvAPIGetLastError();
                call.Log(kFirstMasterErr, fn, lpID, code);
                call.Fail(code == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_JOB_NO_NODE : code);
                return 0;
            }
            // Host IDs exist from level 1 on: every level that carries them uses them.
            const bool levelHasHostIds = block.apiLevel >= 1;
            int counted = 0;
            while (true) {
                const bool masterByHostId = levelHasHostIds && master.namedByHostId == 1;
                const std::string name = masterByHostId ? std::string(master.hostId, strnlen(master.hostId, 32))
                                                        : std::string(master.name, strnlen(master.name, 64));
                QVAPI_NODE definition{};
                if (!qvAPIGetMasterDefinitionByName(name.c_str(), &definition)) {
                    const uint32_t code = qvAPIGetLastError();
                    if (code != QVAPI_ERR_NOT_FOUND && code != QVAPI_ERR_FILE_NOT_FOUND) {
                        call.Log(kMasterDefErr, fn, name.c_str(), code);
                        call.Fail(code);
                        return 0;
                    }
                    skipped = true;
                } else {
                    // The definition's own host-ID flag lies at 992.
                    const bool byHostId = levelHasHostIds && definition.ucHostIDFlag == 1;
                    const uint32_t code = AddMasterTarget(call, *phJobGen, definition, byHostId, false,
                                                          block.systemManagementKey, 0, name.c_str());
                    if (code != 0) {
                        call.Fail(code);
                        return 0;
                    }
                    ++counted;
                }
                master = IdNodeData{};
                if (!qvAPIFindNextIDMaster(walk, reinterpret_cast<QVAPI_NODE*>(&master), 0, 0)) {
                    const uint32_t code = qvAPIGetLastError();
                    if (code == QVAPI_ERR_NO_MORE_ITEMS) break;
                    call.Log(kNextMasterErr, fn, lpID, code);
                    call.Fail(code);
                    return 0;
                }
            }
            if (counted == 0) return call.Failed(QVAPI_ERR_JOB_NO_NODE, kNoUsable, fn, QVAPI_ERR_JOB_NO_NODE);
            return 1;
        }();
        if (walk != QVPAPI_INVALID_HANDLE) {
            const uint32_t kept = qvAPIGetLastError();
            qvAPIFindCloseIDMaster(walk, 0, 0);
            qvAPISetLastError(kept);
        }
        return Conclude(call, phJobGen, result == 0, skipped);
    });
}

int qvpAPImakeCloseJobGenEx(QVPAPI_HANDLE* phJobGen, const char* lpFolder, const char* lpSubFolder,
                            const char* lpJobGenName, uint32_t fdwAfterProcOption, QVAPI_JOB* lpJob, char ucRequest,
                            uint32_t) {
    return RunApi(kCloseFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        if (phJobGen == nullptr || lpFolder == nullptr || lpJobGenName == nullptr || lpJob == nullptr) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kCloseErr, fn, QVAPI_ERR_INVALID_PARAMETER);
        }
        if (!qvAPICloseJobGenEx(*phJobGen, 2, 0)) {
            const uint32_t code = qvAPIGetLastError();
            *phJobGen = QVPAPI_INVALID_HANDLE;
            // Every master was dropped from the store directly: nothing to send.
            if (ucRequest == 'G' && code == QVAPI_ERR_JOB_NO_NODE_ENTRY) return 1;
            return call.Failed(code, kCloseErr, fn, code);
        }
        *phJobGen = QVPAPI_INVALID_HANDLE;
        const std::string folder = OperateFolderPath(lpFolder, lpSubFolder, lpSubFolder != nullptr);
        std::memset(lpJob, 0, sizeof *lpJob);
        bool partial = false;
        const int result = [&]() -> int {
            for (int attempt = 1;; ++attempt) {
                if (qvAPICreateJobEx(folder.c_str(), lpJobGenName, lpJob, fdwAfterProcOption, 0, nullptr)) break;
                const uint32_t code = qvAPIGetLastError();
                if (code == QVAPI_ERR_JOB_REFUSED) {
                    partial = true;
                    break;
                }
                // A creation that stays pending is given up after a bounded wait.
                if (code != QVAPI_ERR_MORE_DATA || attempt >= g_retry.tries) {
                    return call.Failed(code, kCreateJobErr, fn, code);
                }
                win::Sleep(g_retry.pauseMs);
            }
            const std::string jobNo(lpJob->szJobNo, strnlen(lpJob->szJobNo, sizeof lpJob->szJobNo));
            if (!qvAPIExecJob(folder.c_str(), jobNo.c_str(), 0, 0)) {
                const uint32_t code = qvAPIGetLastError();
                return call.Failed(code, kExecJobErr, fn, code);
            }
            return 1;
        }();
        if (result == 0) {
            // The job first: its deletion releases a pending creation and puts the JobGen back.
            const uint32_t code = call.code();
            if (lpJob->szJobNo[0] != '\0') {
                const std::string jobNo(lpJob->szJobNo, strnlen(lpJob->szJobNo, sizeof lpJob->szJobNo));
                qvAPIDeleteJob(folder.c_str(), jobNo.c_str(), 0, 0);
            }
            qvAPIDeleteJobGen(folder.c_str(), lpJobGenName, 0, 0);
            call.Fail(code);
            return 0;
        }
        if (partial) {
            call.Fail(QVAPI_ERR_JOB_REFUSED);
            return 0;
        }
        return 1;
    });
}

}  // namespace qvp::ids
