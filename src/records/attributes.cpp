// Package attributes: the manager's A records, keyed by the 59-column package key. The cabinet's
// header record (blank package id) heads every cabinet's records.
#include <cstring>
#include <string>

#include "core/errors.h"
#include "records/access.h"
#include "records/keys.h"
#include "records/records.h"
#include "records/requests.h"

using namespace qvp::records;

namespace {

constexpr size_t kDottedNameMax = 63;  // the dotted name must be shorter than 64 characters

void FailNotFound(QVPAPI& block) {
    qvp::qvAPISetErrorInfo(&block, kErrCategoryRecord, nullptr, 16, 16);
    qvp::qvAPISetErrorCode(&block);
}

bool KeyOfRecord(const QVAPI_PACKAGE& record, std::string_view key) {
    return std::memcmp(&record.cQvCode, key.data(), key.size()) == 0;
}

}  // namespace

int qvpAPIGetHeadAttrPos(QVPAPI* block, const char* prefix) {
    if (block == nullptr) return 0;
    std::string keyPrefix;
    if (prefix == nullptr || !CabinetPrefixFromKey(prefix, keyPrefix)) {
        FailParameter(*block);
        return 0;
    }
    return Position(*block, kKindA, keyPrefix) != nullptr ? 1 : 0;
}

QVAPI_PACKAGE* qvpAPIGetNextAttr(QVPAPI* block) {
    if (block == nullptr) return nullptr;
    for (;;) {
        auto* record = static_cast<QVAPI_PACKAGE*>(Next(*block, kKindA));
        if (record == nullptr || !IsCabinetHeader(*record)) return record;
    }
}

QVAPI_PACKAGE* qvpAPIFindAttr(QVPAPI* block, const char* dottedName) {
    if (block == nullptr) return nullptr;
    std::string key;
    if (dottedName == nullptr || !PackageKeyFromDotted(dottedName, key)) {
        FailParameter(*block);
        return nullptr;
    }
    auto* record = static_cast<QVAPI_PACKAGE*>(Position(*block, kKindA, key));
    if (record != nullptr && !KeyOfRecord(*record, key)) {
        FailNotFound(*block);
        return nullptr;
    }
    return record;
}

QVAPI_PACKAGE* qvpAPIFindHeadAttr(QVPAPI* block, const char* prefix) {
    if (block == nullptr) return nullptr;
    std::string keyPrefix;
    if (prefix == nullptr || !CabinetPrefixFromKey(prefix, keyPrefix)) {
        FailParameter(*block);
        return nullptr;
    }
    auto* record = static_cast<QVAPI_PACKAGE*>(Position(*block, kKindA, keyPrefix));
    if (record != nullptr && !KeyOfRecord(*record, keyPrefix)) {
        FailNotFound(*block);
        return nullptr;
    }
    return record;
}

int qvpAPIDeleteSoftware(QVPAPI* block, const char* dottedName) {
    if (block == nullptr) return 0;
    std::string key;
    if (dottedName == nullptr || strnlen(dottedName, kDottedNameMax + 1) > kDottedNameMax ||
        !PackageKeyFromDotted(dottedName, key)) {
        FailParameter(*block);
        return 0;
    }
    return Simple(*block, request::Rdel(key), kErrCategoryJobAccess);
}
