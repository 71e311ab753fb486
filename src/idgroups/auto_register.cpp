// qvAPIAutoCreateNodeDefinition: from a client's report to the decision INSERT, UPDATE, DELETE or
// ID synchronisation only, and the definition records for it, all under the machine-wide
// semaphore the node-definition writers share.
#include <cstring>
#include <string>

#include "core/log.h"
#include "core/settings.h"
#include "idgroups/auto_register.h"
#include "idgroups/id_finders.h"
#include "idgroups/sysgen_info.h"
#include "nodes/node_group_guard.h"
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
constexpr char kInsertInfo[] = "INSERT_INFO: (%s/%s) NodeAttribute:%d Path0:%s HostID:%s HostIDFlag:0x%02x HostIDPath:%s";
constexpr char kUpdateInfo[] = "UPDATE_INFO: (%s/%s) Attribute:%d Path:%s HostID:%s HostIDFlag:0x%02x HostIDPath:%s";
constexpr char kDeleteInfo[] = "DELETE_INFO: (%s/%s) HostID:%s ucHostIDFlag:0x%x ucHostIDPath:%s MAC:%s";

constexpr size_t kNameMax = 64;
constexpr size_t kHostIdMax = 32;
constexpr size_t kPathMax = 255;
constexpr size_t kMacMax = 17;  // blanks included; the result fits the 16-byte field

// The registration semaphore for the whole call; released, closed and the held flag cleared on
// every way out.
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
        qvpDllLog(kWaitOk, kFunction, Id());
        return 0;
    }

private:
    int Id() const { return static_cast<int>(reinterpret_cast<uintptr_t>(handle_) & 0x7FFFFFFF); }
    QVPAPI& block_;
    win::HANDLE handle_ = nullptr;
    bool taken_ = false;
};

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}
template <size_t N>
std::string Get(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

void BothLogs(QVPAPI& block, const char* format, const std::string& name) {
    qvpDllLog(format, name.c_str());
    NodeLog(block, format, name.c_str());
}

bool Octets(const std::string& text, uint8_t* octets) {
    return !text.empty() && qvpAPIIPAddrStrToHex(text.c_str(), octets) == 1;
}

// Reads a definition the way the report asks: 1 found, else 0 with the finder's code.
uint32_t Find(bool master, const std::string& name, QVAPI_NODE& out) {
    std::memset(&out, 0, sizeof out);
    if (name.empty()) return QVAPI_ERR_NO_MORE_ITEMS;
    const int found = master ? qvAPIFindMasterDefinition(name.c_str(), &out, 0, 0)
                             : qvAPIFindClientDefinition(name.c_str(), &out, 0, 0);
    return found == 1 ? 0 : win::GetLastError();
}

struct Report {
    QVPAPI& block;
    SysgenView view;
    bool Entry(uint8_t type, std::string& out, size_t limit) const { return ACNGetEntry(block, view, type, out, limit); }
    bool Entry2(uint8_t first, uint8_t second, std::string& out, size_t limit) const {
        return Entry(first, out, limit) || Entry(second, out, limit);
    }
};

// Host ID, its flag and the host-ID path while host IDs are in use.
void FillHostIds(const Report& report, bool update, QVAPI_NODE& rec, const QVAPI_NODE* stored) {
    std::string hostId;
    const bool fromReport = report.Entry2(kSysgenNewBase + kSysgenHostId, kSysgenOldBase + kSysgenHostId, hostId,
                                          kHostIdMax);
    if (fromReport) Put(rec.ucHostID, hostId);
    else if (stored != nullptr) std::memcpy(rec.ucHostID, stored->ucHostID, sizeof rec.ucHostID);
    std::string plain, hostIdPath;
    const bool hasPlain = ACNGetEntry(report.block, report.view, kSysgenPath, plain, kPathMax);
    const bool hasHostIdPath =
        ACNGetEntry(report.block, report.view, kSysgenPath, hostIdPath, kPathMax, kSysgenNewBase + kSysgenHostId);
    uint8_t flag = 0;
    if (!hasHostIdPath) {
        hostIdPath = hasPlain ? "" : "\\";
        flag = fromReport ? 1 : 0;
    } else if (fromReport) {
        if (!hasPlain) {
            hostIdPath = "\\";
            flag = 1;
        } else {
            const int type = ACNGetPathType(hostIdPath);
            if (type == 0) hostIdPath.clear();
            flag = type == 1 ? 1 : 0;
        }
    } else if (update && hasPlain && ACNGetPathType(hostIdPath) == 0) {
        hostIdPath.clear();
    }
    rec.ucHostIDFlag = flag;
    Put(rec.ucHostIDPath, hostIdPath);
}

void FillPath(const Report& report, QVAPI_NODE& rec) {
    std::string path;
    if (!ACNGetEntry(report.block, report.view, kSysgenPath, path, kPathMax)) path = "\\";
    Put(rec.ucNodePath0, path);
}

void FillMac(const Report& report, QVAPI_NODE& rec, const QVAPI_NODE* stored) {
    std::string mac;
    if (report.Entry2(kSysgenNewBase + kSysgenMac, kSysgenOldBase + kSysgenMac, mac, kMacMax)) Put(rec.ucMACAddress, mac);
    else if (stored != nullptr) std::memcpy(rec.ucMACAddress, stored->ucMACAddress, 12);
}

int Decide(CallContext& call, const QVAPI_SYSGEN_INFO* info) {
    QVPAPI& b = call.block();
    const bool idSync = qvpRegGetIdSyncOption() != 0;
    RegistrationLock lock(b);
    b.semaphoreHeld = true;
    if (const uint32_t code = lock.Take()) {
        call.Fail(code);
        return 0;
    }
    b.hostIdUse = static_cast<uint8_t>(qvpRegGetGuidUseStatus());
    NodeLog(b, kHostIdUse, b.hostIdUse);
    const auto* bytes = reinterpret_cast<const uint8_t*>(info);
    const Report report{b, {bytes, SysgenExtent(bytes)}};

    const uint8_t edition = info->ucEdition;
    if (edition < 1 || edition > 3) {
        qvpDllLog(kUnknownEdition, kFunction, edition);
        return 1;
    }
    const uint8_t base = edition == 1 ? kSysgenNewBase : kSysgenOldBase;
    if (b.systemManagementKey > 1) {
        qvpDllLog(kUnknownKey, kFunction, b.systemManagementKey);
        return 1;
    }
    uint8_t kind = b.systemManagementKey == 0 ? kSysgenHostName : kSysgenIpText;
    std::string primary, second;
    if (!report.Entry(base + kind, primary, kNameMax)) kind = kSysgenCommonName;
    if (kind == kSysgenCommonName && !report.Entry(base + kind, primary, kNameMax)) {
        NodeLog(b, kEntryNone, kFunction, base + kind, __LINE__);
        return 1;
    }
    if (kind != kSysgenCommonName) {
        const uint8_t other = base + (kind == kSysgenHostName ? kSysgenIpText : kSysgenHostName);
        if (!report.Entry(other, second, kNameMax)) {
            NodeLog(b, kEntryNone, kFunction, other, __LINE__);
            return 1;
        }
    }
    if (ACNmbsbtype(b, primary) == 0 || ACNmbsbtype(b, second) == 0) return 1;

    win::SYSTEMTIME when{};
    ParseReportTime(reinterpret_cast<const uint8_t*>(info->szTime), when);
    b.registrationTime = when;
    QVAPI_NODE_TIME reportTime;
    static_assert(sizeof reportTime == sizeof when);
    std::memcpy(&reportTime, &when, sizeof when);

    const uint8_t attribute = info->ucNodeAttribute == 3 ? 1 : info->ucNodeAttribute;
    if (attribute != 1 && attribute != 2) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    const bool master = attribute == 2;
    QVAPI_NODE stored;
    uint32_t err = 0;
    std::string hostId;
    if (b.hostIdUse != 0 &&
        report.Entry2(kSysgenNewBase + kSysgenHostId, kSysgenOldBase + kSysgenHostId, hostId, kHostIdMax)) {
        err = Find(master, hostId, stored);
        if (err != 0 && edition != 3) {
            if (err != QVAPI_ERR_NO_MORE_ITEMS) {
                NodeLog(b, kSearchError, kFunction, err, __LINE__);
                call.Fail(err);
                return 0;
            }
            err = Find(master, primary, stored);
            if (err != 0 && err != QVAPI_ERR_NO_MORE_ITEMS) {
                NodeLog(b, kSearchErrorLine, kFunction, err, __LINE__);
                call.Fail(err);
                return 0;
            }
            if (err != 0 && !second.empty()) err = Find(master, second, stored);
        }
    } else {
        err = Find(master, primary, stored);
    }
    if (err != 0 && err != QVAPI_ERR_NO_MORE_ITEMS) {
        NodeLog(b, kSearchError, kFunction, err, __LINE__);
        call.Fail(err);
        return 0;
    }

    AcnDecision decision;
    if (err == 0) {
        decision = edition == 3 ? AcnDecision::Delete : AcnDecision::Update;
        if (decision == AcnDecision::Update) {
            if (kind == kSysgenHostName) {
                uint8_t octets[4] = {};
                const bool same = Octets(second, octets) && std::memcmp(octets, stored.ucNodeAddress, 4) == 0;
                if (same && edition == 1) BothLogs(b, kWarnHostExists, primary);
                if (!same) BothLogs(b, kWarnHostIpUnmatch, primary);
            } else if (kind == kSysgenIpText) {
                const bool same = Get(stored.ucNodeName) == second;
                if (same && edition == 1) BothLogs(b, kWarnIpExists, primary);
                if (!same) BothLogs(b, kWarnHostUnmatch, primary);
            } else if (edition == 1) {
                BothLogs(b, kWarnCommonExists, primary);
            }
        }
    } else if (edition == 3) {
        if (!idSync) return 1;
        decision = AcnDecision::IdSyncOnly;
    } else {
        decision = AcnDecision::Insert;
    }

    // A host that reports itself as a master while it is defined as a client is promoted: its
    // client definition goes before the master is made, so the two never stand side by side.
    QVAPI_NODE staleClient;
    bool promote = false;
    if (decision == AcnDecision::Insert && master) {
        promote = Find(false, primary, staleClient) == 0 || Find(false, second, staleClient) == 0 ||
                  (!hostId.empty() && Find(false, hostId, staleClient) == 0);
    }

    QVAPI_NODE first{}, next{};
    const bool keyIp = b.systemManagementKey == 1;
    if (decision == AcnDecision::Insert || decision == AcnDecision::IdSyncOnly) {
        std::string name, ip;
        if (!report.Entry(kSysgenNewBase + kSysgenHostName, name, kNameMax)) name = keyIp ? second : primary;
        Put(first.ucNodeName, name);
        first.uiNodeAttributes = attribute;
        if (!report.Entry(kSysgenNewBase + kSysgenIpText, ip, kNameMax)) ip = keyIp ? primary : second;
        Octets(ip, first.ucNodeAddress);
        first.uiIPAddrFlag = 1;
        std::string common;
        if (report.Entry(kSysgenNewBase + kSysgenCommonName, common, 32)) Put(first.ucCommonName, common);
        first.uiConnectKind = info->ucConnectKind;
        first.ucHoldFlag = info->ucHoldFlag;
        FillPath(report, first);
        if (b.hostIdUse != 0) FillHostIds(report, false, first, nullptr);
        FillMac(report, first, nullptr);
        first.stUpdateTime = reportTime;
        first.stCreateTime = reportTime;
        if (decision == AcnDecision::Insert)
            NodeLog(b, kInsertInfo, primary.c_str(), second.c_str(), attribute, Get(first.ucNodePath0).c_str(),
                    Get(first.ucHostID).c_str(), first.ucHostIDFlag, Get(first.ucHostIDPath).c_str());
        else
            NodeLog(b, kDeleteInfo, primary.c_str(), second.c_str(), Get(first.ucHostID).c_str(), first.ucHostIDFlag,
                    Get(first.ucHostIDPath).c_str(), Get(first.ucMACAddress).c_str());
    } else if (decision == AcnDecision::Update) {
        first = stored;
        next = stored;
        std::string text;
        if (report.Entry2(kSysgenNewBase + kSysgenHostName, kSysgenOldBase + kSysgenHostName, text, kNameMax))
            Put(next.ucNodeName, text);
        if (report.Entry2(kSysgenNewBase + kSysgenIpText, kSysgenOldBase + kSysgenIpText, text, kNameMax)) {
            std::memset(next.ucNodeAddress, 0, 4);
            Octets(text, next.ucNodeAddress);
            next.uiIPAddrFlag = 1;
        }
        if (report.Entry(kSysgenNewBase + kSysgenCommonName, text, 32)) {
            Put(next.ucCommonName, text);
            next.uiConnectKind = info->ucConnectKind;
        } else {
            next.uiConnectKind = 0;
        }
        FillPath(report, next);
        next.ucHoldFlag = info->ucHoldFlag;
        next.stUpdateTime = reportTime;
        std::memset(next.ucHostID, 0, sizeof next.ucHostID);
        next.ucHostIDFlag = 0;
        std::memset(next.ucHostIDPath, 0, sizeof next.ucHostIDPath);
        if (b.hostIdUse != 0) FillHostIds(report, true, next, &stored);
        std::memset(next.ucMACAddress, 0, sizeof next.ucMACAddress);
        FillMac(report, next, &stored);
        NodeLog(b, kUpdateInfo, primary.c_str(), second.c_str(), attribute, Get(next.ucNodePath0).c_str(),
                Get(next.ucHostID).c_str(), next.ucHostIDFlag, Get(next.ucHostIDPath).c_str());
    } else {
        first = stored;
        next.stUpdateTime = reportTime;
    }

    bool holdApplies = false;
    for (uint8_t m : info->ucHoldMarker) holdApplies = holdApplies || m != 0;
    const AcnOutcome out =
        ACNCallAPIFunction(call, decision, first, next, holdApplies, promote ? &staleClient : nullptr);
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
        return qvp::ids::Decide(call, lpSysgenInfo);
    });
}
