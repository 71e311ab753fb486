// Package lookup and deletion over the attribution cursor: key checks, the dotted key, and the
// record turned to host order before it is copied out.
#include <cstring>
#include <string>

#include "platform/byte_order.h"
#include "core/frame.h"
#include "packages/package_args.h"
#include "records/records.h"

namespace {

using qvp::CallContext;
using qvp::FrameTexts;
using namespace qvp::packages;

namespace msg {
constexpr char kNameLength[] = "Software Name Len";
constexpr char kDataNull[] = "FindPackageData Pointer is NULL";
constexpr char kCabinetNull[] = "CabinetId Pointer is NULL";
constexpr char kCabinetEmpty[] = "Top of CabinetId is NULL";
// The header finder logs under the package finder's name.
constexpr char kHeaderName[] = "qvAPIFindPackage";
constexpr char kHeaderCabinetNull[] = "%s : Logical Error : CabinetId Pointer is NULL";
constexpr char kHeaderCabinetEmpty[] = "%s : Logical Error : Top of CabinetId is NULL";
constexpr char kHeaderFailed[] = "%s : qvpAPIFindHeadAttr Error : Package Header Name = %s";
}  // namespace msg

constexpr FrameTexts kDeleteFrame{"qvAPIDeletePackage"};
constexpr FrameTexts kFirstFrame{"qvAPIFindFirstPackage"};
constexpr FrameTexts kNextFrame{"qvAPIFindNextPackage"};
constexpr FrameTexts kCloseFrame{"qvAPIFindClosePackage"};
constexpr FrameTexts kFindFrame{"qvAPIFindPackage"};
constexpr FrameTexts kHeaderFrame{"qvAPIFindPackageHeader"};

// The checks Delete and Find share, in their order; the dotted name of the key, or "" refused.
std::string CheckedDottedName(CallContext& call, char qvCode, const KeyArguments& key) {
    if (!KeyTextsGiven(call, key) || !PackageQvCodeValid(call, qvCode) || !KeyTextsNotEmpty(call, key))
        return {};
    return DottedPackageName(KeyOf(qvCode, key));
}

// The manager's key must stay shorter than 64 characters, in every finder as in Delete.
bool NameLengthValid(CallContext& call, const std::string& dotted) {
    return dotted.size() <= kDottedNameMax || LogicalError(call, msg::kNameLength);
}

// "Q.CC" of a given cabinet id, or "" after refusing it.
std::string CabinetPrefix(char qvCode, const char* cabinet) {
    std::string prefix(1, qvCode);
    prefix += '.';
    prefix += cabinet;
    return prefix;
}

int CopyToHost(QVAPI_PACKAGE* record, QVAPI_PACKAGE* out) {
    if (record == nullptr) return 0;
    PackageToHost(*record);
    std::memcpy(out, record, sizeof *out);
    return 1;
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIDeletePackage(char ucQvCode, const char* lpCabinetId, const char* lpPackageId,
                                                const char* lpPackageVersion, const char* lpPackageNo,
                                                uint32_t, uint32_t) {
    return qvp::RunApi(kDeleteFrame, 0, [&](CallContext& call) {
        const std::string dotted =
            CheckedDottedName(call, ucQvCode, {lpCabinetId, lpPackageId, lpPackageVersion, lpPackageNo});
        if (dotted.empty() || !NameLengthValid(call, dotted)) return 0;
        return qvpAPIDeleteSoftware(&call.block(), dotted.c_str());
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackage(char ucQvCode, const char* lpCabinetId,
                                                             QVAPI_PACKAGE* lpFindPackageData, uint32_t,
                                                             uint32_t) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) -> QVPAPI_HANDLE {
        if (!PackageQvCodeValid(call, ucQvCode) ||
            (lpCabinetId == nullptr && !LogicalError(call, msg::kCabinetNull)) ||
            (lpFindPackageData == nullptr && !LogicalError(call, msg::kDataNull)) ||
            (lpCabinetId[0] == '\0' && !LogicalError(call, msg::kCabinetEmpty)))
            return QVPAPI_INVALID_HANDLE;
        const std::string prefix = CabinetPrefix(ucQvCode, lpCabinetId);
        if (!NameLengthValid(call, prefix)) return QVPAPI_INVALID_HANDLE;
        QVPAPI& block = call.block();
        if (!qvpAPIGetHeadAttrPos(&block, prefix.c_str()) ||
            !CopyToHost(qvpAPIGetNextAttr(&block), lpFindPackageData))
            return QVPAPI_INVALID_HANDLE;
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextPackage(QVPAPI_HANDLE hFindPackage, QVAPI_PACKAGE* lpFindPackageData,
                                                  uint32_t, uint32_t) {
    return qvp::RunApi(kNextFrame, 0, [&](CallContext& call) {
        if (!FindHandleValid(call, hFindPackage)) return 0;
        if (lpFindPackageData == nullptr) return static_cast<int>(LogicalError(call, msg::kDataNull));
        return CopyToHost(qvpAPIGetNextAttr(&call.block()), lpFindPackageData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindClosePackage(QVPAPI_HANDLE hFindPackage, uint32_t, uint32_t) {
    return qvp::RunApi(kCloseFrame, 0, [&](CallContext& call) { return CloseFind(call, hFindPackage, 'A'); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindPackage(char ucQvCode, const char* lpCabinetId, const char* lpPackageId,
                                              const char* lpPackageVersion, const char* lpPackageNo,
                                              QVAPI_PACKAGE* lpFindPackageData, uint32_t, uint32_t) {
    return qvp::RunApi(kFindFrame, 0, [&](CallContext& call) {
        const std::string dotted =
            CheckedDottedName(call, ucQvCode, {lpCabinetId, lpPackageId, lpPackageVersion, lpPackageNo});
        if (dotted.empty()) return 0;
        if (lpFindPackageData == nullptr) return static_cast<int>(LogicalError(call, msg::kDataNull));
        if (!NameLengthValid(call, dotted)) return 0;
        QVPAPI& block = call.block();
        if (!CopyToHost(qvpAPIFindAttr(&block, dotted.c_str()), lpFindPackageData)) return 0;
        return qvpAPIFrls(&block, 'A');
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindPackageHeader(char ucQvCode, const char* lpCabinetId,
                                                    QVAPI_PACKAGE* lpFindPackageData, uint32_t, uint32_t) {
    return qvp::RunApi(kHeaderFrame, 0, [&](CallContext& call) {
        if (!PackageQvCodeValid(call, ucQvCode)) return 0;
        if (lpCabinetId == nullptr || lpCabinetId[0] == '\0') {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                        lpCabinetId == nullptr ? msg::kHeaderCabinetNull : msg::kHeaderCabinetEmpty,
                        msg::kHeaderName);
            return 0;
        }
        if (lpFindPackageData == nullptr) return static_cast<int>(LogicalError(call, msg::kDataNull));
        const std::string prefix = CabinetPrefix(ucQvCode, lpCabinetId);
        if (!NameLengthValid(call, prefix)) return 0;
        QVPAPI& block = call.block();
        QVAPI_PACKAGE* header = qvpAPIFindHeadAttr(&block, prefix.c_str());
        if (header == nullptr) {
            call.Log(msg::kHeaderFailed, msg::kHeaderName, prefix.c_str());
            return 0;
        }
        qvp::Be16ToHostInPlace(&header->wLength);
        qvp::Be16ToHostInPlace(&header->wHeader156);
        std::memcpy(lpFindPackageData, header, sizeof *lpFindPackageData);
        return qvpAPIFrls(&block, 'A');
    });
}
