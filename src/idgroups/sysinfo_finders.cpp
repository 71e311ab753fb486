// The system-information functions: a node's entries one by one with the group rules, the whole
// inventory record, deletion and rename. The walk's node name and group state live in the
// thread's block; the handle is the block.
#include <cstring>

#include "core/errors.h"
#include "core/frame.h"
#include "idgroups/sysinfo.h"
#include "nodes/node_writer.h"
#include "qvpapi.h"
#include "records/records.h"

namespace qvp::ids {

namespace {

constexpr char kNodeNull[] = "%s : Logical Error : NodeName Pointer is NULL";
constexpr char kNodeEmpty[] = "%s : Logical Error : Top of NodeName is NULL";
constexpr char kDataNull[] = "%s : Logical Error : lpSysInfoData Pointer is NULL";
constexpr char kHandleNull[] = "%s : Logical Error : HSysinfo Handle is NULL";
constexpr char kCloseHandleNull[] = "%s : Logical Error : HSysinf Handle is NULL";
constexpr char kHandleInvalid[] = "%s : Logical Error : pData Handle is INVALID";
constexpr char kFirstError[] = "%s : qvpAPIGetFirstSysInf Error : Node = %s, errno = %d";
constexpr char kProbeError[] =
    "%s : qvpAPIGetFirstSysInf Error : Node = %s, errno = %d, lpSysInfoData->SysinfoEntry1.ucEntryType = %x";
// A group member's failed probe logs under the shortened name it always had.
constexpr char kGroupProbeName[] = "qvAPIFindNextSysInf";
constexpr char kGroupProbeError[] = "%s : qvpAPIGetFirstSysInf Error : Node = %s, errno = %d";
constexpr char kNextError[] = "%s : qvpAPIGetNextSysInf Error : Node = %s, errno = %d";
constexpr char kCloseError[] = "%s : qvpAPIGetCloseSysInf Error : Node = %s, errno = %d";
constexpr char kInvError[] = "%s : qvpAPIGetInv Error : Node = %s, errno = %d";
constexpr char kDeleteError[] = "%s : qvpAPIDeleteSysInf Error : Node = %s, errno = %d";
constexpr char kRenameError[] = "%s : qvpAPIChangeNameSysInf Error : Node = %s, errno = %d";
constexpr char kRenameNull[] = "%s : Logical Error : %s Pointer is NULL";
constexpr char kRenameEmpty[] = "%s : Logical Error : %s is NULL";
constexpr char kInventoryNull[] = "%s : Logical Error : lppInventory Pointer is NULL";
constexpr char kNodeTooLong[] = "%s : Logical Error : NodeName is too Long";

constexpr FrameTexts kFirstFrame{"qvAPIFindFirstSysInfo", EndStyle::Result};
constexpr FrameTexts kNextFrame{"qvAPIFindNextSysInfo", EndStyle::Decimal, "", ""};
constexpr FrameTexts kCloseFrame{"qvAPIFindCloseSysInfo"};
constexpr FrameTexts kFindFrame{"qvAPIFindSysInfo", EndStyle::Result, nullptr, nullptr,
                                "%s : Exception Occured : ExceptionCode = 0x%8.8x"};
constexpr FrameTexts kDeleteFrame{"qvAPIDeleteSysInfo", EndStyle::Result};
constexpr FrameTexts kRenameFrame{"qvAPIChangeNameSysInfo", EndStyle::Result};

// Group types and the related entries of a type-49 entry.
constexpr uint8_t kHead = 47;
constexpr uint8_t kFirstMember = 49;
constexpr uint8_t kSecondMember = 81;
constexpr uint8_t kLastMember = 82;
constexpr uint8_t kRelatedFirst = 53;
constexpr uint8_t kRelatedSecond = 52;
// Walk state after a group's last member came through its probe: the walk passes over the
// members of that group, the last one included, so that none comes twice.
constexpr uint8_t kWalkAfterGroup = kLastMember;
// Entries a walk passes over in one call before it gives up on a manager that never ends.
constexpr int kWalkLimit = 65536;

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A node name of 1 to 64 characters, logged and refused otherwise.
bool NodeOk(CallContext& call, const char* node) {
    const char* fault = node == nullptr ? kNodeNull : node[0] == '\0' ? kNodeEmpty : nullptr;
    if (fault == nullptr && strnlen(node, kSysInfNodeMax + 1) > kSysInfNodeMax) fault = kNodeTooLong;
    if (fault == nullptr) return true;
    call.Log(fault, call.function());
    call.Fail(QVAPI_ERR_INVALID_PARAMETER);
    return false;
}

bool DataOk(CallContext& call, const QVAPI_SYSINFO* data) {
    if (data != nullptr) return true;
    call.Log(kDataNull, call.function());
    call.Fail(QVAPI_ERR_INVALID_PARAMETER);
    return false;
}

void SetState(QVPAPI& block, uint8_t type, uint8_t subtype) {
    block.sysInfoType = type;
    block.sysInfoSubtype = subtype;
}

// The entry of `type` and `subtype` into `slot`: 0, or the request's code.
uint32_t Probe(QVPAPI& block, uint8_t type, uint8_t subtype, QVAPI_SYSINFO_ENTRY& slot) {
    const std::string node(block.sysInfoNodeName);
    size_t length = 0;
    const uint8_t* entry = qvpAPIGetFirstSysInf(&block, node.c_str(), type, subtype, &length);
    if (entry == nullptr) return qvAPIGetLastError();
    CopySysInfEntry(slot, entry, length);
    return 0;
}

// The next entry of the walk into the first slot: 0, or the request's code (logged).
uint32_t NextInto(CallContext& call, QVAPI_SYSINFO& data) {
    size_t length = 0;
    const uint8_t* entry = qvpAPIGetNextSysInf(&call.block(), &length);
    if (entry == nullptr) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(kNextError, call.function(), call.block().sysInfoNodeName, static_cast<int>(code));
        return code;
    }
    CopySysInfEntry(data.SysinfoEntry1, entry, length);
    return 0;
}

// The related entries 53 and 52 of a type-49 entry whose subtype is no letter. false when a
// request failed otherwise than "not there" (logged, code set); a missing one leaves its slot
// and the call's code 0x20610000.
bool Related(CallContext& call, QVAPI_SYSINFO& data) {
    const uint8_t subtype = data.SysinfoEntry1.ucSubType;
    if (data.SysinfoEntry1.ucEntryType != kFirstMember || IsLetter(subtype)) return true;
    QVPAPI& block = call.block();
    const uint8_t types[2] = {kRelatedFirst, kRelatedSecond};
    QVAPI_SYSINFO_ENTRY* slots[2] = {&data.SysinfoEntry2, &data.SysinfoEntry3};
    for (int i = 0; i < 2; ++i) {
        const uint32_t code = Probe(block, types[i], subtype, *slots[i]);
        if (code == QVAPI_ERR_NOT_FOUND) {
            call.Fail(code);
        } else if (code != 0) {
            call.Log(kFirstError, call.function(), block.sysInfoNodeName, static_cast<int>(code));
            call.Fail(code);
            return false;
        }
    }
    SetState(block, kFirstMember, subtype);
    return true;
}

// The walk: entries of types 49 and 81 that belong to a group are passed over (their group
// comes head first), the group's last member too when its probe delivered it.
int Walk(CallContext& call, QVAPI_SYSINFO& data) {
    QVPAPI& block = call.block();
    for (int passed = 0;; ++passed) {
        if (passed == kWalkLimit) {
            call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
            return 0;
        }
        if (const uint32_t code = NextInto(call, data)) {
            call.Fail(code);
            return 0;
        }
        const uint8_t type = data.SysinfoEntry1.ucEntryType;
        const uint8_t subtype = data.SysinfoEntry1.ucSubType;
        if (type == kLastMember && block.sysInfoType == kWalkAfterGroup && subtype == block.sysInfoSubtype) continue;
        if (type != kFirstMember && type != kSecondMember) break;
        const bool sameGroup = subtype == block.sysInfoSubtype && block.sysInfoSubtype != 0;
        QVAPI_SYSINFO_ENTRY probe;
        const uint32_t code = Probe(block, sameGroup ? kFirstMember : kHead, subtype, probe);
        if (code == 0) continue;
        if (code == QVAPI_ERR_NOT_FOUND) {
            // A member without its group is delivered as any entry.
            call.Fail(code);
            break;
        }
        call.Log(kProbeError, call.function(), block.sysInfoNodeName, static_cast<int>(code), type);
        call.Fail(code);
        return 0;
    }
    if (data.SysinfoEntry1.ucEntryType == kHead) SetState(block, kHead, data.SysinfoEntry1.ucSubType);
    return Related(call, data) ? 1 : 0;
}

// Inside a group: its next member by probe, or, when the group has no more, the next entry.
int GroupStep(CallContext& call, QVAPI_SYSINFO& data) {
    QVPAPI& block = call.block();
    const uint8_t state = block.sysInfoType;
    const uint8_t subtype = block.sysInfoSubtype;
    const uint8_t wanted = state == kHead ? kFirstMember : state == kFirstMember ? kSecondMember : kLastMember;
    const uint32_t code = Probe(block, wanted, subtype, data.SysinfoEntry1);
    if (code == 0) {
        SetState(block, wanted == kLastMember ? kWalkAfterGroup : wanted, subtype);
        return 1;
    }
    if (code != QVAPI_ERR_NOT_FOUND) {
        call.Log(kGroupProbeError, kGroupProbeName, block.sysInfoNodeName, static_cast<int>(code));
        call.Fail(code);
        return 0;
    }
    uint32_t failed = NextInto(call, data);
    SetState(block, 0, 0);
    if (wanted == kLastMember) {
        // The group's members that follow its head in the walk came already.
        for (uint8_t passed : {kFirstMember, kSecondMember})
            if (failed == 0 && data.SysinfoEntry1.ucEntryType == passed) failed = NextInto(call, data);
    }
    if (failed != 0) {
        call.Fail(failed);
        return 0;
    }
    if (data.SysinfoEntry1.ucEntryType == kHead) SetState(block, kHead, data.SysinfoEntry1.ucSubType);
    call.Fail(QVAPI_ERR_NOT_FOUND);
    return 1;
}

}  // namespace

}  // namespace qvp::ids

using namespace qvp;
using namespace qvp::ids;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstSysInfo(const char* lpNodeName, QVAPI_SYSINFO* lpSysInfoData,
                                                             uint8_t ucFilterType, uint8_t ucFilterSubType, uint32_t,
                                                             uint32_t) {
    return RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) -> QVPAPI_HANDLE {
        QVPAPI& block = call.block();
        if (!NodeOk(call, lpNodeName) || !DataOk(call, lpSysInfoData)) return QVPAPI_INVALID_HANDLE;
        const bool filtered = ucFilterType != 0 || ucFilterSubType != 0;
        if (!filtered) SetState(block, 0, 0);
        size_t length = 0;
        const uint8_t* entry = qvpAPIGetFirstSysInf(&block, lpNodeName, ucFilterType, ucFilterSubType, &length);
        if (entry == nullptr) {
            call.Log(kFirstError, call.function(), lpNodeName, static_cast<int>(qvAPIGetLastError()));
            call.Fail(qvAPIGetLastError());
            return QVPAPI_INVALID_HANDLE;
        }
        CopySysInfEntry(lpSysInfoData->SysinfoEntry1, entry, length);
        if (lpSysInfoData->SysinfoEntry1.ucEntryType == kHead && !filtered)
            SetState(block, kHead, lpSysInfoData->SysinfoEntry1.ucSubType);
        Related(call, *lpSysInfoData);  // its failure is the call's code beside the handle
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextSysInfo(QVPAPI_HANDLE hSysinfo, QVAPI_SYSINFO* lpSysInfoData, uint32_t,
                                                  uint32_t) {
    return RunApi(kNextFrame, 0, [&](CallContext& call) {
        if (hSysinfo == nullptr) {
            call.Log(kHandleNull, call.function());
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        if (!qvpIsOwnBlock(hSysinfo)) {
            call.Log(kHandleInvalid, call.function());
            call.Fail(QVAPI_ERR_INVALID_HANDLE);
            return 0;
        }
        if (!DataOk(call, lpSysInfoData)) return 0;
        const uint8_t state = call.block().sysInfoType;
        if (state == kHead || state == kFirstMember || state == kSecondMember) return GroupStep(call, *lpSysInfoData);
        return Walk(call, *lpSysInfoData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseSysInfo(QVPAPI_HANDLE hSysinfo, uint32_t, uint32_t) {
    return RunApi(kCloseFrame, 0, [&](CallContext& call) {
        QVPAPI& block = call.block();
        if (hSysinfo == nullptr) {
            call.Log(kCloseHandleNull, call.function());
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        if (!qvpAPIGetCloseSysInf(&block)) {
            call.Log(kCloseError, call.function(), block.sysInfoNodeName, static_cast<int>(qvAPIGetLastError()));
            call.Fail(qvAPIGetLastError());
            return 0;
        }
        std::memset(block.sysInfoNodeName, 0, sizeof block.sysInfoNodeName);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindSysInfo(const char* lpNodeName, void** lppInventory, uint32_t, uint32_t) {
    return RunApi(kFindFrame, 0, [&](CallContext& call) {
        if (lpNodeName == nullptr || lpNodeName[0] == '\0') {
            call.Log(lpNodeName == nullptr ? kNodeNull : kNodeEmpty, call.function());
            call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
            return 0;
        }
        if (lppInventory == nullptr) {
            call.Log(kInventoryNull, call.function());
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        if (!NodeOk(call, lpNodeName)) return 0;
        void* record = qvpAPIGetInv(&call.block(), lpNodeName);
        if (record == nullptr) {
            call.Log(kInvError, call.function(), lpNodeName, static_cast<int>(qvAPIGetLastError()));
            const uint32_t code = qvAPIGetLastError();
            call.Fail(code != 0 ? code : QVAPI_ERR_UNEXPECTED_DATA);
            return 0;
        }
        *lppInventory = record;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfo(const char* lpNodeName, uint32_t, uint32_t) {
    return RunApi(kDeleteFrame, 0, [&](CallContext& call) {
        if (!NodeOk(call, lpNodeName)) return 0;
        if (qvpAPIDeleteSysInf(&call.block(), lpNodeName)) return 1;
        call.Log(kDeleteError, call.function(), lpNodeName, static_cast<int>(qvAPIGetLastError()));
        call.Fail(qvAPIGetLastError());
        return 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeNameSysInfo(const char* lpNodeName1, const char* lpNodeName2, uint32_t,
                                                    uint32_t) {
    return RunApi(kRenameFrame, 0, [&](CallContext& call) {
        const struct {
            const char* name;
            const char* label;
            const char* text;
        } checks[] = {{lpNodeName1, "lpNodeName1", kRenameNull},
                      {lpNodeName2, "lpNodeName2", kRenameNull},
                      {lpNodeName1, "lpNodeName1", kRenameEmpty},
                      {lpNodeName2, "lpNodeName2", kRenameEmpty}};
        for (size_t i = 0; i < 4; ++i) {
            if (i < 2 ? checks[i].name != nullptr : checks[i].name[0] != '\0') continue;
            call.Log(checks[i].text, call.function(), checks[i].label);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        // Longer names overflow the inventory's name fields.
        if (!NodeOk(call, lpNodeName1) || !NodeOk(call, lpNodeName2)) return 0;
        if (qvpAPIChangeNameSysInf(&call.block(), lpNodeName1, lpNodeName2)) return 1;
        call.Log(kRenameError, call.function(), lpNodeName1, static_cast<int>(qvAPIGetLastError()));
        call.Fail(qvAPIGetLastError());
        return 0;
    });
}

namespace {
// A node renamed by the definition writers takes its system information along.
const bool kRenameConnected = [] {
    qvp::SetSysInfoRename(&qvAPIChangeNameSysInfo);
    return true;
}();
}  // namespace
