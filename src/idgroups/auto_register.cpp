// qvAPIAutoCreateNodeDefinition: from a client's report to the decision INSERT, UPDATE, DELETE or
// ID synchronisation only, and the definition records for it, all under the machine-wide
// semaphore the node-definition writers share.
#include <cstring>
#include <optional>
#include <string>

#include "core/log.h"
#include "core/settings.h"
#include "idgroups/auto_register.h"
#include "idgroups/auto_register_report.h"
#include "idgroups/id_finders.h"
#include "idgroups/sysgen_info.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_record.h"
#include "qvpapi.h"
#include "share/wapi/wapi.h"

namespace qvp::ids {

namespace {

constexpr char kFunction[] = "qvAPIAutoCreateNodeDefinition";
constexpr char kWaitOk[] = "%s WaitForSingleObject(%010d) returns WAIT_OBJECT_0.";
constexpr char kReleased[] = "%s ReleaseSemaphore(%010d) returns %d. GetLastError = %d.";
constexpr char kCreateSemError[] = "%s : CreateSemaphore error : Code = %x line:%d";
constexpr char kWaitError[] = "%s : WaitForSingleObject error : Code = %x line:%d";
constexpr char kHostIdUse[] = "HostIDUse Status = %x ";
constexpr char kUnknownEdition[] = "%s : Edition mode is unknown. : %d";
constexpr char kUnknownKey[] = "%s : System management key is unknown. : %d";
constexpr char kEntryNone[] = "%s : Entry 0x%02x is none : %d";
constexpr char kSearchError[] = "%s : Node search function error : Code = %x.%d";
constexpr char kSearchErrorLine[] = "%s : Node search function error : Code = %x Line:%d";
constexpr char kWarnHostExists[] = "WARNING : Host name (%s) is already exists. But continue process.";
constexpr char kWarnHostIpUnmatch[] = "WARNING : Host name (%s) IP address is unmatch. But continue process.";
constexpr char kWarnIpExists[] = "WARNING : IP Address (%s) is already exists. But continue process.";
constexpr char kWarnHostUnmatch[] = "WARNING : Host name (%s) is unmatch. But continue process.";
constexpr char kWarnCommonExists[] =
    "WARNING : Client discriminate name (%s) is already exists. But continue process.";

// The registration semaphore for the whole call; the held flag is set once it is taken, and on
// every way out it is released, closed and the flag cleared.
class RegistrationLock {
public:
    explicit RegistrationLock(QVPAPI& block) : block_(block) {}
    RegistrationLock(const RegistrationLock&) = delete;
    RegistrationLock& operator=(const RegistrationLock&) = delete;
    ~RegistrationLock() {
        if (handle_ != nullptr) {
            if (taken_) {
                const int ok = win::ReleaseSemaphore(handle_, 1, nullptr);
                qvpDllLog(kReleased, kFunction, Id(), ok, static_cast<int>(win::GetLastError()));
            }
            win::CloseHandle(handle_);
        }
        block_.semaphoreHeld = false;
    }
    // 0, or 0x20100000 logged.
    uint32_t Take() {
        handle_ = qvpWapiCreateSemaphore(nullptr, 1, 1, nodes::kNodeSemaphoreName, block_.dllLogId);
        if (handle_ == nullptr) {
            NodeLog(block_, kCreateSemError, kFunction, static_cast<unsigned>(win::GetLastError()), __LINE__);
            return QVAPI_ERR_RESOURCE;
        }
        if (win::WaitForSingleObject(handle_, win::INFINITE) != win::WAIT_OBJECT_0) {
            NodeLog(block_, kWaitError, kFunction, static_cast<unsigned>(win::GetLastError()), __LINE__);
            return QVAPI_ERR_RESOURCE;
        }
        taken_ = true;
        // From here the node-definition writers this call makes skip their own wait on it.
        block_.semaphoreHeld = true;
        qvpDllLog(kWaitOk, kFunction, Id());
        return 0;
    }

private:
    int Id() const { return static_cast<int>(reinterpret_cast<uintptr_t>(handle_) & 0x7FFFFFFF); }
    QVPAPI& block_;
    win::HANDLE handle_ = nullptr;
    bool taken_ = false;
};

void BothLogs(QVPAPI& block, const char* format, const std::string& name) {
    qvpDllLog(format, name.c_str());
    NodeLog(block, format, name.c_str());
}

// Reads a definition the way the report asks: 1 found, else 0 with the finder's code.
uint32_t Find(bool master, const std::string& name, QVAPI_NODE& out) {
    std::memset(&out, 0, sizeof out);
    if (name.empty()) return QVAPI_ERR_NO_MORE_ITEMS;
    const int found = master ? qvAPIFindMasterDefinition(name.c_str(), &out, 0, 0)
                             : qvAPIFindClientDefinition(name.c_str(), &out, 0, 0);
    return found == 1 ? 0 : win::GetLastError();
}

// The edition, the name kind and both names; nullopt (logged) for a report that is ignored.
std::optional<HostNames> ReadNames(QVPAPI& b, const AcnReport& report, uint8_t edition, uint8_t connectKind) {
    if (edition < 1 || edition > 3) {
        qvpDllLog(kUnknownEdition, kFunction, edition);
        return std::nullopt;
    }
    const uint8_t base = edition == 1 ? kSysgenNewBase : kSysgenOldBase;
    if (b.systemManagementKey > 1) {
        qvpDllLog(kUnknownKey, kFunction, b.systemManagementKey);
        return std::nullopt;
    }
    HostNames names;
    names.edition = edition;
    names.kind = b.systemManagementKey == 0 ? kSysgenHostName : kSysgenIpText;
    if (!report.Entry(base + names.kind, names.primary, kAcnNameMax)) names.kind = kSysgenCommonName;
    if (names.kind == kSysgenCommonName && !report.Entry(base + names.kind, names.primary, kAcnNameMax)) {
        NodeLog(b, kEntryNone, kFunction, base + names.kind, __LINE__);
        return std::nullopt;
    }
    if (names.kind != kSysgenCommonName) {
        const uint8_t other = base + (names.kind == kSysgenHostName ? kSysgenIpText : kSysgenHostName);
        if (!report.Entry(other, names.second, kAcnNameMax)) {
            NodeLog(b, kEntryNone, kFunction, other, __LINE__);
            return std::nullopt;
        }
    }
    if (ACNmbsbtype(b, names.primary) == 0 || ACNmbsbtype(b, names.second) == 0) return std::nullopt;
    // A host known by its common name is keyed by it under host-name keying: where the report
    // also gives its host name, the definition is still found by the common name.
    if (b.systemManagementKey == 0 && connectKind == 1 && names.kind != kSysgenCommonName)
        report.Entry2(kSysgenNewBase + kSysgenCommonName, kSysgenOldBase + kSysgenCommonName, names.commonKey,
                      kAcnCommonMax);
    return names;
}

// The stored definition the report names. `code` is 0 (found) or 0x20000103 (not found); the
// host ID the report gives is kept for the promotion of a client.
struct Stored {
    uint32_t code = 0;
    QVAPI_NODE record;
    std::string hostId;
};

// By host ID first while host IDs are in use, then by the names. 0, or the finder's error
// (logged) that fails the call.
uint32_t LookUp(QVPAPI& b, const AcnReport& report, const HostNames& names, bool master, Stored& out) {
    uint32_t& err = out.code;
    if (b.hostIdUse != 0 &&
        report.Entry2(kSysgenNewBase + kSysgenHostId, kSysgenOldBase + kSysgenHostId, out.hostId, kAcnHostIdMax)) {
        err = Find(master, out.hostId, out.record);
        if (err != 0 && names.edition != 3) {
            if (err != QVAPI_ERR_NO_MORE_ITEMS) {
                NodeLog(b, kSearchError, kFunction, err, __LINE__);
                return err;
            }
            err = Find(master, names.primary, out.record);
            if (err != 0 && err != QVAPI_ERR_NO_MORE_ITEMS) {
                NodeLog(b, kSearchErrorLine, kFunction, err, __LINE__);
                return err;
            }
            if (err != 0 && !names.second.empty()) err = Find(master, names.second, out.record);
            if (err == QVAPI_ERR_NO_MORE_ITEMS && !names.commonKey.empty())
                err = Find(master, names.commonKey, out.record);
        }
    } else {
        err = Find(master, names.primary, out.record);
        if (err == QVAPI_ERR_NO_MORE_ITEMS && !names.commonKey.empty()) err = Find(master, names.commonKey, out.record);
    }
    if (err != 0 && err != QVAPI_ERR_NO_MORE_ITEMS) {
        NodeLog(b, kSearchError, kFunction, err, __LINE__);
        return err;
    }
    return 0;
}

// A known host is updated (after a warning where the report disagrees with it or calls it new)
// or deleted; an unknown one inserted, or its ID entries cleaned up. nullopt: the removal of an
// unknown host without ID synchronisation, which is ignored.
std::optional<AcnDecision> Choose(QVPAPI& b, const HostNames& names, const Stored& stored, bool idSync) {
    const uint8_t edition = names.edition;
    if (stored.code != 0) {
        if (edition != 3) return AcnDecision::Insert;
        if (!idSync) return std::nullopt;
        return AcnDecision::IdSyncOnly;
    }
    if (edition == 3) return AcnDecision::Delete;
    if (names.kind == kSysgenHostName) {
        uint8_t octets[4] = {};
        const bool same =
            DottedOctets(names.second, octets) && std::memcmp(octets, stored.record.ucNodeAddress, 4) == 0;
        if (same && edition == 1) BothLogs(b, kWarnHostExists, names.primary);
        if (!same) BothLogs(b, kWarnHostIpUnmatch, names.primary);
    } else if (names.kind == kSysgenIpText) {
        const bool same = nodes::Field(stored.record.ucNodeName) == names.second;
        if (same && edition == 1) BothLogs(b, kWarnIpExists, names.primary);
        if (!same) BothLogs(b, kWarnHostUnmatch, names.primary);
    } else if (edition == 1) {
        BothLogs(b, kWarnCommonExists, names.primary);
    }
    return AcnDecision::Update;
}

// A host that reports itself as a master while it is defined as a client is promoted: its
// client definition goes before the master is made, so the two never stand side by side.
bool FindStaleClient(const HostNames& names, const std::string& hostId, QVAPI_NODE& out) {
    return Find(false, names.primary, out) == 0 || Find(false, names.second, out) == 0 ||
           (!hostId.empty() && Find(false, hostId, out) == 0);
}

int Register(CallContext& call, const QVAPI_SYSGEN_INFO& info) {
    QVPAPI& b = call.block();
    const bool idSync = qvpRegGetIdSyncOption() != 0;
    RegistrationLock lock(b);
    if (const uint32_t code = lock.Take()) {
        call.Fail(code);
        return 0;
    }
    b.hostIdUse = static_cast<uint8_t>(qvpRegGetGuidUseStatus());
    NodeLog(b, kHostIdUse, b.hostIdUse);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
    const AcnReport report{b, {bytes, SysgenExtent(bytes)}};
    const std::optional<HostNames> names = ReadNames(b, report, info.ucEdition, info.ucConnectKind);
    if (!names) return 1;

    win::SYSTEMTIME when{};
    ParseReportTime(reinterpret_cast<const uint8_t*>(info.szTime), when);
    b.registrationTime = when;
    QVAPI_NODE_TIME reportTime;
    static_assert(sizeof reportTime == sizeof when);
    std::memcpy(&reportTime, &when, sizeof when);

    const uint8_t attribute = info.ucNodeAttribute == 3 ? 1 : info.ucNodeAttribute;
    if (attribute != 1 && attribute != 2) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    const bool master = attribute == 2;
    Stored stored;
    if (const uint32_t code = LookUp(b, report, *names, master, stored)) {
        call.Fail(code);
        return 0;
    }
    const std::optional<AcnDecision> decision = Choose(b, *names, stored, idSync);
    if (!decision) return 1;
    QVAPI_NODE staleClient;
    const bool promote =
        *decision == AcnDecision::Insert && master && FindStaleClient(*names, stored.hostId, staleClient);

    QVAPI_NODE first{}, next{};
    FillRecords(report, info, *names, *decision, attribute, stored.record, reportTime, first, next);
    bool holdApplies = false;
    for (uint8_t m : info.ucHoldMarker) holdApplies = holdApplies || m != 0;
    const AcnOutcome out =
        ACNCallAPIFunction(call, *decision, first, next, holdApplies, promote ? &staleClient : nullptr);
    if (out.result != 0) return 1;
    call.Fail(out.code == QVAPI_ERR_ALREADY_EXISTS ? 0 : out.code);
    return 0;
}

}  // namespace

}  // namespace qvp::ids

extern "C" QVPAPI_EXPORT int qvAPIAutoCreateNodeDefinition(const QVAPI_SYSGEN_INFO* lpSysgenInfo,
                                                           uint32_t /*dwReserved1*/, uint32_t /*dwReserved2*/) {
    static const qvp::FrameTexts texts{qvp::ids::kFunction, qvp::EndStyle::Result, nullptr,
                                       "%s END : Code = 0x%8.8x", "%s : Logical Error : ErrorCode = 0x%8.8x"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (lpSysgenInfo == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        return qvp::ids::Register(call, *lpSysgenInfo);
    });
}
