// Cabinets: the exported forms of the cabinet requests and the cabinet cursor. Their own work
// is checking the QvCode and the id and forming the key "Q.CC".
#include <cctype>
#include <cstring>
#include <string>

#include "platform/byte_order.h"
#include "core/frame.h"
#include "core/text.h"
#include "packages/package_args.h"
#include "records/records.h"

namespace {

using qvp::CallContext;
using qvp::FrameTexts;
using qvp::packages::CloseFind;
using qvp::packages::FindHandleValid;
using qvp::packages::Refuse;

namespace msg {
// The texts of the cabinet removal and of the key check carry these names.
constexpr char kDeleteName[] = "qvAPIDelete";
constexpr char kKeyName[] = "qvpAPIFindCabinet";
constexpr char kQvCode[] = "%s : Logical Error : QvCode is Invalid";
constexpr char kCabinetId[] = "%s : Logical Error : CabinetId is Invalid";
constexpr char kKeyLength[] = "%s : Logical Error : Key Length = 0x%8.8x";
constexpr char kFindData[] = "%s : Logical Error : FindCabinetData Pointer is NULL";
constexpr char kNullArgument[] = "%s : Parameter Error : %s is NULL";
}  // namespace msg

constexpr FrameTexts kCreateFrame{"qvAPICreateCabinet"};
constexpr FrameTexts kChangeFrame{"qvAPIChangeCabinet"};
constexpr FrameTexts kDeleteFrame{"qvAPIDeleteCabinet"};
constexpr FrameTexts kFirstFrame{"qvAPIFindFirstCabinet"};
constexpr FrameTexts kNextFrame{"qvAPIFindNextCabinet"};
constexpr FrameTexts kCloseFrame{"qvAPIFindCloseCabinet"};
constexpr FrameTexts kFindFrame{"qvAPIFindCabinet"};
constexpr FrameTexts kHangerFrame{"qvAPIDeleteHanger"};

// `name`: the name the refusal logs under, when not the running function's.
bool QvCodeValid(CallContext& call, char qvCode, const char* name = nullptr) {
    return qvpIsValidQvCode(static_cast<unsigned char>(qvCode)) != 0 ||
           call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kQvCode, name != nullptr ? name : call.function());
}

bool Given(CallContext& call, const void* argument, const char* name) {
    if (argument != nullptr) return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNullArgument, call.function(), name);
}

// Two characters, each an upper-case letter or a digit; a shorter id fails at its NUL.
bool IdValid(const char* id) {
    for (int i = 0; i < 2; ++i) {
        const unsigned char c = static_cast<unsigned char>(id[i]);
        if (c == '\0' || !(std::isupper(c) || std::isdigit(c))) return false;
    }
    return true;
}

// "Q.CC" from the QvCode and the first two characters of the id.
std::string CabinetKey(char qvCode, const char* id) {
    std::string key(1, qvCode);
    key += '.';
    key.append(id, 2);
    return key;
}

int CreateOrChange(const FrameTexts& frame, char qvCode,
                   const char* id, const char* name,
                   int (*request)(QVPAPI*, const char*, const char*)) {
    return qvp::RunApi(frame, 0, [&](CallContext& call) {
        if (!QvCodeValid(call, qvCode) || !Given(call, id, "lpCabinetId") ||
            !Given(call, name, "lpCabinetName"))
            return 0;
        if (!IdValid(id)) return static_cast<int>(Refuse(call, msg::kCabinetId, QVAPI_ERR_INVALID_NAME));
        return request(&call.block(), CabinetKey(qvCode, id).c_str(), name);
    });
}

// Copies the record the cursor left in the current-record area, as it lies.
int CopyOut(QVAPI_CABINET* record, QVAPI_CABINET* out) {
    if (record == nullptr) return 0;
    std::memcpy(out, record, sizeof *out);
    return 1;
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPICreateCabinet(char ucQvCode, const char* lpCabinetId,
                                                const char* lpCabinetName, uint32_t, uint32_t) {
    return CreateOrChange(kCreateFrame, ucQvCode, lpCabinetId,
                          lpCabinetName, qvpAPIAddManaGroup);
}

extern "C" QVPAPI_EXPORT int qvAPIChangeCabinet(char ucQvCode, const char* lpCabinetId,
                                                const char* lpCabinetName, uint32_t, uint32_t) {
    return CreateOrChange(kChangeFrame, ucQvCode, lpCabinetId,
                          lpCabinetName, qvpAPIUpdateManaGroup);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteCabinet(char ucQvCode, const char* lpCabinetId, uint32_t,
                                                uint32_t) {
    return qvp::RunApi(kDeleteFrame, 0, [&](CallContext& call) {
        if (!QvCodeValid(call, ucQvCode, msg::kDeleteName) || !Given(call, lpCabinetId, "lpCabinetId"))
            return 0;
        // The first two characters are the id; a shorter one names no cabinet.
        if (strnlen(lpCabinetId, 2) < 2) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                        msg::kNullArgument, call.function(), "lpCabinetId");
            return 0;
        }
        return qvpAPIDelManaGroup(&call.block(), CabinetKey(ucQvCode, lpCabinetId).c_str());
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstCabinet(char ucQvCode, QVAPI_CABINET* lpFindCabinetData,
                                                             uint32_t, uint32_t) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) -> QVPAPI_HANDLE {
        if (!QvCodeValid(call, ucQvCode)) return QVPAPI_INVALID_HANDLE;
        if (lpFindCabinetData == nullptr) {
            Refuse(call, msg::kFindData);
            return QVPAPI_INVALID_HANDLE;
        }
        QVPAPI& block = call.block();
        const char prefix[2] = {ucQvCode, '\0'};
        if (!qvpAPIGetHeadManaPos(&block, prefix) || !CopyOut(qvpAPIGetNextMana(&block), lpFindCabinetData))
            return QVPAPI_INVALID_HANDLE;
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextCabinet(QVPAPI_HANDLE hFindCabinet, QVAPI_CABINET* lpFindCabinetData,
                                                  uint32_t, uint32_t) {
    return qvp::RunApi(kNextFrame, 0, [&](CallContext& call) {
        if (lpFindCabinetData == nullptr) return static_cast<int>(Refuse(call, msg::kFindData));
        if (!FindHandleValid(call, hFindCabinet)) return 0;
        return CopyOut(qvpAPIGetNextMana(&call.block()), lpFindCabinetData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseCabinet(QVPAPI_HANDLE hFindCabinet, uint32_t, uint32_t) {
    return qvp::RunApi(kCloseFrame, 0, [&](CallContext& call) { return CloseFind(call, hFindCabinet, 'M'); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCabinet(char ucQvCode, const char* lpCabinetId,
                                              QVAPI_CABINET* lpFindCabinetData, uint32_t, uint32_t) {
    return qvp::RunApi(kFindFrame, 0, [&](CallContext& call) {
        if (!QvCodeValid(call, ucQvCode) || !Given(call, lpCabinetId, "lpCabinetId"))
            return 0;
        const size_t length = strnlen(lpCabinetId, 3);
        if (length != 2) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                        msg::kKeyLength, msg::kKeyName, static_cast<unsigned>(length));
            return 0;
        }
        if (lpFindCabinetData == nullptr) return static_cast<int>(Refuse(call, msg::kFindData));
        QVAPI_CABINET* record = qvpAPIFindMana(&call.block(), CabinetKey(ucQvCode, lpCabinetId).c_str());
        if (record == nullptr) return 0;
        qvp::Be16ToHostInPlace(&record->wLength);
        qvp::Be16ToHostInPlace(&record->wPackageCount);
        return CopyOut(record, lpFindCabinetData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteHanger(uint32_t, uint32_t) {
    return qvp::RunApi(kHangerFrame, 0, [&](CallContext& call) { return qvpAPIDeleteHanger(&call.block()); });
}
