// Cabinets: the manager's M records and the requests that change them.
#include <cstring>
#include <string>

#include "core/errors.h"
#include "records/access.h"
#include "records/records.h"
#include "records/requests.h"

using namespace qvp::records;

namespace {

constexpr size_t kCabinetNameWidth = 32;

// The name NUL-padded to its 32 bytes; false when it is empty or longer.
bool CabinetName(const char* name, std::string& padded) {
    if (name == nullptr) return false;
    const size_t length = strnlen(name, kCabinetNameWidth + 1);
    if (length == 0 || length > kCabinetNameWidth) return false;
    padded.assign(kCabinetNameWidth, '\0');
    std::memcpy(padded.data(), name, length);
    return true;
}

int ChangeCabinet(QVPAPI* block, const char* key, const char* name, bool create) {
    if (block == nullptr) return 0;
    std::string padded;
    if (key == nullptr || *key == '\0' || !CabinetName(name, padded)) {
        FailParameter(*block);
        return 0;
    }
    return Simple(*block, create ? request::Gput(key, padded) : request::Gupd(key, padded),
                  kErrCategoryJobAccess);
}

// Whether a cabinet record is the one the key "Q.CC" names.
bool SameCabinet(const QVAPI_CABINET& record, std::string_view key) {
    return key.size() == 4 && record.cQvCode == key[0] && record.szCabinetId[0] == key[2] &&
           record.szCabinetId[1] == key[3];
}

}  // namespace

int qvpAPIAddManaGroup(QVPAPI* block, const char* key, const char* name) {
    return ChangeCabinet(block, key, name, true);
}

int qvpAPIUpdateManaGroup(QVPAPI* block, const char* key, const char* name) {
    return ChangeCabinet(block, key, name, false);
}

int qvpAPIDelManaGroup(QVPAPI* block, const char* key) {
    if (block == nullptr) return 0;
    if (key == nullptr || *key == '\0') {
        FailParameter(*block);
        return 0;
    }
    return Simple(*block, request::Gdel(key), kErrCategoryJobAccess);
}

int qvpAPIDeleteHanger(QVPAPI* block) {
    if (block == nullptr) return 0;
    return Simple(*block, request::Hdel(), kErrCategoryJobAccess);
}

int qvpAPIGetHeadManaPos(QVPAPI* block, const char* prefix) {
    if (block == nullptr) return 0;
    if (prefix == nullptr) {
        FailParameter(*block);
        return 0;
    }
    return Position(*block, kKindM, prefix) != nullptr ? 1 : 0;
}

QVAPI_CABINET* qvpAPIGetNextMana(QVPAPI* block) {
    if (block == nullptr) return nullptr;
    return static_cast<QVAPI_CABINET*>(Next(*block, kKindM));
}

QVAPI_CABINET* qvpAPIFindMana(QVPAPI* block, const char* key) {
    if (block == nullptr) return nullptr;
    if (key == nullptr || strnlen(key, 5) != 4) {
        FailParameter(*block);
        return nullptr;
    }
    auto* record = static_cast<QVAPI_CABINET*>(Position(*block, kKindM, key));
    if (record != nullptr && !SameCabinet(*record, key)) {
        // A prefix lookup may land on a neighbour: that is no such cabinet.
        qvp::qvAPISetErrorInfo(block, kErrCategoryRecord, nullptr, 16, 16);
        qvp::qvAPISetErrorCode(block);
        return nullptr;
    }
    return record;
}

int qvpAPIFrls(QVPAPI* block, char kind) {
    if (block == nullptr) return 0;
    for (int k = 0; k < kKindCount; ++k)
        if (KindLetter(k) == kind) Release(*block, k);
    return 1;
}
