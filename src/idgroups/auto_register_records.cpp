// The definition records of automatic registration, filled from the report: the new definition,
// the changed one beside the stored one (falling back to its values), host IDs and paths.
#include <cstring>
#include <string>

#include "core/log.h"
#include "idgroups/auto_register_report.h"
#include "idgroups/id_finders.h"
#include "nodes/node_record.h"

namespace qvp::ids {

namespace {

using nodes::CopyField;

constexpr char kInsertInfo[] = "INSERT_INFO: (%s/%s) NodeAttribute:%d Path0:%s HostID:%s HostIDFlag:0x%02x HostIDPath:%s";
constexpr char kUpdateInfo[] = "UPDATE_INFO: (%s/%s) Attribute:%d Path:%s HostID:%s HostIDFlag:0x%02x HostIDPath:%s";
constexpr char kDeleteInfo[] = "DELETE_INFO: (%s/%s) HostID:%s ucHostIDFlag:0x%x ucHostIDPath:%s MAC:%s";

constexpr size_t kPathMax = 255;
constexpr size_t kMacMax = 17;  // blanks included; the result fits the 16-byte field

template <size_t N>
std::string Text(const char (&field)[N]) {
    return std::string(nodes::Field(field));
}

// Host ID, its flag and the host-ID path while host IDs are in use.
void FillHostIds(const AcnReport& report, bool update, QVAPI_NODE& rec, const QVAPI_NODE* stored) {
    std::string hostId;
    const bool fromReport = report.Entry2(kSysgenNewBase + kSysgenHostId, kSysgenOldBase + kSysgenHostId, hostId,
                                          kAcnHostIdMax);
    if (fromReport) CopyField(rec.ucHostID, hostId);
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
    CopyField(rec.ucHostIDPath, hostIdPath);
}

void FillPath(const AcnReport& report, QVAPI_NODE& rec) {
    std::string path;
    if (!ACNGetEntry(report.block, report.view, kSysgenPath, path, kPathMax)) path = "\\";
    CopyField(rec.ucNodePath0, path);
}

void FillMac(const AcnReport& report, QVAPI_NODE& rec, const QVAPI_NODE* stored) {
    std::string mac;
    if (report.Entry2(kSysgenNewBase + kSysgenMac, kSysgenOldBase + kSysgenMac, mac, kMacMax))
        CopyField(rec.ucMACAddress, mac);
    else if (stored != nullptr) std::memcpy(rec.ucMACAddress, stored->ucMACAddress, 12);
}

// The definition of a new host (INSERT, ID synchronisation only), all from the report.
void FillNew(const AcnReport& report, const QVAPI_SYSGEN_INFO& info, const HostNames& names, uint8_t attribute,
             const QVAPI_NODE_TIME& when, QVAPI_NODE& rec) {
    const bool keyIp = report.block.systemManagementKey == 1;
    std::string name, ip;
    if (!report.Entry(kSysgenNewBase + kSysgenHostName, name, kAcnNameMax)) name = keyIp ? names.second : names.primary;
    CopyField(rec.ucNodeName, name);
    rec.uiNodeAttributes = attribute;
    if (!report.Entry(kSysgenNewBase + kSysgenIpText, ip, kAcnNameMax)) ip = keyIp ? names.primary : names.second;
    DottedOctets(ip, rec.ucNodeAddress);
    rec.uiIPAddrFlag = 1;
    std::string common;
    if (report.Entry(kSysgenNewBase + kSysgenCommonName, common, kAcnCommonMax)) CopyField(rec.ucCommonName, common);
    rec.uiConnectKind = info.ucConnectKind;
    rec.ucHoldFlag = info.ucHoldFlag;
    FillPath(report, rec);
    if (report.block.hostIdUse != 0) FillHostIds(report, false, rec, nullptr);
    FillMac(report, rec, nullptr);
    rec.stUpdateTime = when;
    rec.stCreateTime = when;
}

// The changed definition of a known host (UPDATE): what the report gives, else the stored values.
void FillChanged(const AcnReport& report, const QVAPI_SYSGEN_INFO& info, const QVAPI_NODE& stored,
                 const QVAPI_NODE_TIME& when, QVAPI_NODE& next) {
    next = stored;
    std::string text;
    if (report.Entry2(kSysgenNewBase + kSysgenHostName, kSysgenOldBase + kSysgenHostName, text, kAcnNameMax))
        CopyField(next.ucNodeName, text);
    if (report.Entry2(kSysgenNewBase + kSysgenIpText, kSysgenOldBase + kSysgenIpText, text, kAcnNameMax)) {
        std::memset(next.ucNodeAddress, 0, 4);
        DottedOctets(text, next.ucNodeAddress);
        next.uiIPAddrFlag = 1;
    }
    if (report.Entry(kSysgenNewBase + kSysgenCommonName, text, kAcnCommonMax)) {
        CopyField(next.ucCommonName, text);
        next.uiConnectKind = info.ucConnectKind;
    } else {
        next.uiConnectKind = 0;
    }
    FillPath(report, next);
    next.ucHoldFlag = info.ucHoldFlag;
    next.stUpdateTime = when;
    std::memset(next.ucHostID, 0, sizeof next.ucHostID);
    next.ucHostIDFlag = 0;
    std::memset(next.ucHostIDPath, 0, sizeof next.ucHostIDPath);
    if (report.block.hostIdUse != 0) FillHostIds(report, true, next, &stored);
    std::memset(next.ucMACAddress, 0, sizeof next.ucMACAddress);
    FillMac(report, next, &stored);
}

}  // namespace

bool DottedOctets(const std::string& text, uint8_t* octets) {
    return !text.empty() && qvpAPIIPAddrStrToHex(text.c_str(), octets) == 1;
}

void FillRecords(const AcnReport& report, const QVAPI_SYSGEN_INFO& info, const HostNames& names, AcnDecision decision,
                 uint8_t attribute, const QVAPI_NODE& stored, const QVAPI_NODE_TIME& when, QVAPI_NODE& first,
                 QVAPI_NODE& next) {
    QVPAPI& b = report.block;
    const char* primary = names.primary.c_str();
    const char* second = names.second.c_str();
    switch (decision) {
        case AcnDecision::Insert:
        case AcnDecision::IdSyncOnly:
            FillNew(report, info, names, attribute, when, first);
            if (decision == AcnDecision::Insert)
                NodeLog(b, kInsertInfo, primary, second, attribute, Text(first.ucNodePath0).c_str(),
                        Text(first.ucHostID).c_str(), first.ucHostIDFlag, Text(first.ucHostIDPath).c_str());
            else
                NodeLog(b, kDeleteInfo, primary, second, Text(first.ucHostID).c_str(), first.ucHostIDFlag,
                        Text(first.ucHostIDPath).c_str(), Text(first.ucMACAddress).c_str());
            break;
        case AcnDecision::Update:
            first = stored;
            FillChanged(report, info, stored, when, next);
            NodeLog(b, kUpdateInfo, primary, second, attribute, Text(next.ucNodePath0).c_str(),
                    Text(next.ucHostID).c_str(), next.ucHostIDFlag, Text(next.ucHostIDPath).c_str());
            break;
        case AcnDecision::Delete:
            first = stored;
            next.stUpdateTime = when;
            break;
    }
}

}  // namespace qvp::ids
