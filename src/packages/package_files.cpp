#include "packages/package_files.h"

#include <cstring>

#include "platform/byte_order.h"
#include "core/paths.h"
#include "core/settings.h"
#include "platform/win.h"

namespace qvp::packages {

namespace {

constexpr size_t kU16Fields[] = {0, 236, 342, 702, 736};
constexpr size_t kU32Fields[] = {4, 232};

std::string CutAtBlank(const char* field, size_t width) {
    size_t n = 0;
    while (n < width && field[n] != ' ' && field[n] != '\0') ++n;
    return std::string(field, n);
}

}  // namespace

void PackageToHost(QVAPI_PACKAGE& record) {
    auto* bytes = reinterpret_cast<uint8_t*>(&record);
    for (size_t offset : kU16Fields) Be16ToHostInPlace(bytes + offset);
    for (size_t offset : kU32Fields) Be32ToHostInPlace(bytes + offset);
}

void PackageToNetwork(QVAPI_PACKAGE& record) {
    auto* bytes = reinterpret_cast<uint8_t*>(&record);
    for (size_t offset : kU16Fields) HostToBe16InPlace(bytes + offset);
    for (size_t offset : kU32Fields) HostToBe32InPlace(bytes + offset);
}

PackageKeyTexts KeyTextsOf(const QVAPI_PACKAGE& record) {
    PackageKeyTexts key;
    key.qvCode = record.cQvCode;
    key.cabinet = CutAtBlank(record.szCabinetId, sizeof record.szCabinetId);
    key.package = CutAtBlank(record.szPackageId, sizeof record.szPackageId);
    key.version = CutAtBlank(record.szVersion, sizeof record.szVersion);
    key.generation = CutAtBlank(record.szGeneration, sizeof record.szGeneration);
    return key;
}

std::string DottedPackageName(const PackageKeyTexts& key) {
    std::string dotted(1, key.qvCode);
    for (const std::string* part : {&key.cabinet, &key.package, &key.version, &key.generation}) {
        dotted += '.';
        dotted += *part;
    }
    return dotted;
}

bool IsFileNamePart(std::string_view text) {
    return !text.empty() && text != "." && text != ".." &&
           win::FindFirstSeparator(text) == std::string_view::npos;
}

std::string AttributionFilePath(const PackageKeyTexts& key) {
    std::string path = PathOf(qvpMakeMngflAttributionPath) + DottedPackageName(key);
    if (path.size() > kPathMax) return {};
    return path;
}

std::string ResourceFilePath(const QVAPI_PACKAGE& record, char letter) {
    std::string id;
    if (!qvp::records::ResourceFileId(record, letter, id)) return {};
    std::string path = PathOf(qvpRegGetResourcePathName) + "\\" + id;
    if (path.size() > kPathMax) return {};
    return path;
}

bool StatusRecordNodeName(const char* record, size_t length, std::string& name) {
    constexpr size_t kNameOffset = 55, kNameWidth = 64, kLongLengthOffset = 442, kLongOffset = 444;
    if (length < QVAPI_INSPACKAGE_SIZE) return false;
    std::string_view text;
    if (record[kNameOffset] != '\0') {
        text = std::string_view(record + kNameOffset, strnlen(record + kNameOffset, kNameWidth));
    } else {
        if (length < kLongOffset) return false;
        const size_t longLength = be16(record + kLongLengthOffset);
        if (longLength > length - kLongOffset) return false;
        text = std::string_view(record + kLongOffset, strnlen(record + kLongOffset, longLength));
    }
    text = text.substr(0, text.find(' '));
    const size_t dot = text.rfind('.');
    if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
    name.assign(text);
    return true;
}

}  // namespace qvp::packages
