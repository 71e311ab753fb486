#include "records/keys.h"

#include <array>
#include <cstring>

#include "platform/win.h"

namespace qvp::records {

namespace {

constexpr std::array<size_t, 5> kPartWidths = {1, 2, 44, 8, 4};

void AppendPadded(std::string& out, std::string_view part, size_t width) {
    out.append(part);
    out.append(width - part.size(), ' ');
}

}  // namespace

bool PackageKeyFromDotted(std::string_view dotted, std::string& key) {
    key.clear();
    size_t start = 0;
    for (size_t i = 0; i < kPartWidths.size(); ++i) {
        size_t dot = i + 1 < kPartWidths.size() ? dotted.find('.', start) : dotted.size();
        if (dot == std::string_view::npos) return false;
        std::string_view part = dotted.substr(start, dot - start);
        if (part.size() > kPartWidths[i]) return false;
        AppendPadded(key, part, kPartWidths[i]);
        start = dot + 1;
    }
    return key.size() == QVAPI_PACKAGE_KEY_SIZE;
}

bool CabinetPrefixFromKey(std::string_view cabinetKey, std::string& prefix) {
    if (cabinetKey.size() != 4 || cabinetKey[1] != '.') return false;
    prefix.assign(1, cabinetKey[0]);
    prefix.append(cabinetKey.substr(2, 2));
    return true;
}

std::string_view TrimField(const char* field, size_t width) {
    size_t n = 0;
    while (n < width && field[n] != '\0') ++n;
    while (n > 0 && field[n - 1] == ' ') --n;
    return {field, n};
}

std::string StatusPackageKey(const QVAPI_INSPACKAGE& r) {
    std::string key;
    key.append(&r.cQvCode, 1);
    key.append(r.szCabinetId, sizeof r.szCabinetId);
    key.append(r.szPackageId, sizeof r.szPackageId);
    key.append(r.szVersion, sizeof r.szVersion);
    key.append(r.szGeneration, sizeof r.szGeneration);
    return key;
}

std::string StatusKey(std::string_view node, const QVAPI_INSPACKAGE& record) {
    std::string key;
    AppendPadded(key, node.substr(0, kNodeKeyWidth), kNodeKeyWidth);
    key += StatusPackageKey(record);
    return key;
}

std::string DottedFromPackageKey(std::string_view key) {
    std::string dotted;
    size_t offset = 0;
    for (size_t i = 0; i < kPartWidths.size(); ++i) {
        if (i > 0) dotted += '.';
        if (offset >= key.size()) break;
        std::string_view part = key.substr(offset, kPartWidths[i]);
        dotted.append(TrimField(part.data(), part.size()));
        offset += kPartWidths[i];
    }
    return dotted;
}

bool IsCabinetHeader(const QVAPI_PACKAGE& record) {
    for (char c : record.szPackageId)
        if (c != ' ' && c != '\0') return false;
    return true;
}

bool ResourceFileId(const QVAPI_PACKAGE& record, char letter, std::string& id) {
    const size_t length = strnlen(record.szResourceName, sizeof record.szResourceName);
    id.clear();
    if (length == 0) return false;
    id.assign(1, letter);
    id.append(record.szResourceName + 1, length - 1);
    if (win::FindFirstSeparator(id) != std::string::npos || id.find("..") != std::string::npos) {
        id.clear();
        return false;
    }
    return true;
}

}  // namespace qvp::records
