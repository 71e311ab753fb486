// The soft-refer area of an open kind-I JobGen: read back, and replaced with its drive code
// computed from the software selection and the drive names.
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "jobgen/jobgen_file.h"
#include "jobgen/soft_lists.h"

namespace qvp::jobgen {

static_assert(sizeof(SoftReferArea) == sizeof(QVAPI_SOFTREFER));
static_assert(offsetof(QVAPI_SOFTREFER, ucDriveCode) == offsetof(SoftReferFields, driveCode));
static_assert(offsetof(QVAPI_SOFTREFER, szSoftListName) == offsetof(SoftReferFields, listName));
static_assert(offsetof(QVAPI_SOFTREFER, dwSoftListType) == offsetof(SoftReferFields, listType));

namespace {

constexpr FrameTexts kGetFrame = JobGenFrame("qvAPIGetSoftReferJobGen");
constexpr FrameTexts kUpdateFrame = JobGenFrame("qvAPIUpdateSoftReferJobGen");

namespace msg {
constexpr char kGetNull[] = "%s : Parameter Error : SoftData is NULL";
constexpr char kUpdateNull[] = "%s : Parameter Error : SoftData is NULL";
constexpr char kChangeFailed[] = "%s : qvAPIChangeSoftSysteminf Error ";
constexpr char kChangeName[] = "qvAPIChangeSoftSysteminf";
constexpr char kDriveName[] = "%s : Parameter Error : ucDriveName is not correct";
constexpr char kSoftware[] = "%s : Parameter Error : uiSoftware is not correct";
}  // namespace msg

// The drive names in the order of their bits: the k-th sets bit (k + 5) mod 8 of byte
// 4 - (k + 5) div 8 of the drive code.
constexpr char kDrives[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ123456789";
constexpr size_t kDriveCount = sizeof kDrives - 1;

int Get(CallContext& call, const void* handle, QVAPI_SOFTREFER* out) {
    JobGenEdit* edit = EditOf(call, handle);
    if (edit == nullptr) return 0;
    if (out == nullptr) return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
    if (edit->soft == nullptr) {
        call.Log(msg::kGetNull, call.function());
        return Finish(call, QVAPI_ERR_FILE_NOT_FOUND);
    }
    std::memcpy(out, edit->soft.get(), sizeof *out);
    return 1;
}

int Update(CallContext& call, const void* handle, const QVAPI_SOFTREFER* given) {
    JobGenEdit* edit = EditOf(call, handle);
    if (edit == nullptr) return 0;
    if (given == nullptr) {
        call.Log(msg::kUpdateNull, call.function());
        return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
    }
    SoftReferArea area{};
    SoftReferFields& f = area.fields;
    f.software = given->uiSoftware;
    f.driveOption = given->uiDriveOption;
    std::memcpy(f.driveName, given->ucDriveName, strnlen(given->ucDriveName, sizeof f.driveName));
    std::memcpy(f.driveCode, given->ucDriveCode,
                strnlen(reinterpret_cast<const char*>(given->ucDriveCode), sizeof f.driveCode));
    std::memcpy(f.listName, given->szSoftListName, strnlen(given->szSoftListName, sizeof f.listName));
    f.listType = given->dwSoftListType;
    if (uint32_t code = qvAPIChangeSoftSysteminf(call, area); code != 0) {
        call.Log(msg::kChangeFailed, call.function());
        return Finish(call, code);
    }
    if (edit->soft == nullptr) edit->soft = std::make_unique<SoftReferArea>();
    *edit->soft = area;
    return 1;
}

}  // namespace

uint32_t qvAPIChangeSoftSysteminf(CallContext& call, SoftReferArea& area) {
    SoftReferFields& f = area.fields;
    uint8_t code[5] = {};
    uint8_t& b4 = code[4];
    if (f.software == 1) {
        b4 |= 0x02;
    } else if (f.software == 2) {
        b4 |= 0x02 | 0x04;
        if (f.driveOption == 1) {
            b4 |= 0x08;
        } else if (f.driveOption == 2) {
            b4 |= 0x08 | 0x10;
        } else if (f.driveOption == 3) {
            std::string names(f.driveName, strnlen(f.driveName, sizeof f.driveName));
            for (char& c : names) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            size_t seen = 0;
            size_t at = 0;
            while (at <= names.size() && seen < kDriveCount) {
                size_t end = names.find(';', at);
                if (end == std::string::npos) end = names.size();
                const std::string name = names.substr(at, end - at);
                at = end + 1;
                if (name.empty()) continue;  // runs of ';' separate, as strtok reads them
                ++seen;
                const char* hit = name.size() == 1 ? std::strchr(kDrives, name[0]) : nullptr;
                if (hit == nullptr) {
                    call.Log(msg::kDriveName, msg::kChangeName);
                    return QVAPI_ERR_INVALID_PARAMETER;
                }
                const size_t bit = static_cast<size_t>(hit - kDrives) + 5;
                code[4 - bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
            }
        } else {
            call.Log(msg::kSoftware, msg::kChangeName);
            return QVAPI_ERR_INVALID_PARAMETER;
        }
    } else {
        call.Log(msg::kSoftware, msg::kChangeName);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    std::memcpy(f.driveCode, code, sizeof code);
    return 0;
}

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPIGetSoftReferJobGen(QVPAPI_HANDLE hJobGen, QVAPI_SOFTREFER* lpSoftData) {
    return qvp::RunApi(kGetFrame, 0, [&](qvp::CallContext& call) { return Get(call, hJobGen, lpSoftData); });
}

extern "C" QVPAPI_EXPORT int qvAPIUpdateSoftReferJobGen(QVPAPI_HANDLE hJobGen, const QVAPI_SOFTREFER* lpSoftData) {
    return qvp::RunApi(kUpdateFrame, 0, [&](qvp::CallContext& call) { return Update(call, hJobGen, lpSoftData); });
}
