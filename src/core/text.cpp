// Text helpers: dotted names, package file names, blank stripping, time stamps.
#include "core/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "platform/win.h"

namespace {

constexpr size_t kDottedMax = 260;   // characters of a dotted name or path
constexpr size_t kStripBuffer = 512;

constexpr size_t kVersionWidth = 8;  // a '/' past the version's eighth character is kept

void MapVersionText(std::string& version, char from, char to) {
    for (size_t i = 0; i < version.size() && i < kVersionWidth; ++i)
        if (version[i] == from) version[i] = to;
}

// The version is the fourth dotted field of QvCode.cabinet.package.version.generation.
std::string MapVersion(std::string_view in, char from, char to) {
    size_t start = 0;
    for (int field = 0; field < 3 && start != std::string_view::npos; ++field) {
        start = in.find('.', start);
        if (start != std::string_view::npos) ++start;
    }
    if (start == std::string_view::npos) return std::string(in);
    const size_t end = std::min(in.find('.', start), in.size());
    std::string version(in.substr(start, end - start));
    MapVersionText(version, from, to);
    std::string out(in);
    out.replace(start, end - start, version);
    return out;
}

int MapVersionInto(const char* in, char* out, char from, char to) {
    if (in == nullptr || in[0] == '\0' || out == nullptr) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    const std::string mapped = MapVersion(in, from, to);
    std::memcpy(out, mapped.c_str(), mapped.size() + 1);
    return 1;
}

// Copies `text` into `output` from `out` on, up to 260 characters in all, each single-byte
// character through `map`; a double-byte character goes whole or not at all.
template <class Map>
void CopyMapped(std::string_view text, char* output, size_t out, Map map) {
    for (size_t i = 0; i < text.size() && out < kDottedMax;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (win::IsDBCSLeadByte(c) && i + 1 < text.size()) {
            if (out + 2 > kDottedMax) break;
            output[out++] = text[i];
            output[out++] = text[i + 1];
            i += 2;
            continue;
        }
        output[out++] = map(static_cast<char>(c));
        ++i;
    }
    output[out] = '\0';
}

}  // namespace

char* qvpPathToDottedName(const char* path, char* output) {
    if (output == nullptr) return output;
    output[0] = '\0';
    if (path == nullptr || path[0] == '\0') return output;
    CopyMapped(path + 1, output, 0, [](char c) { return c == '\\' ? '.' : c == '.' ? '!' : c; });
    return output;
}

char* qvpDottedNameToPath(const char* dotted, char* output) {
    if (output == nullptr) return output;
    output[0] = '\0';
    if (dotted == nullptr) return output;
    // The leading '\' counts: a 260-character name gives at most 260 characters, never 262 bytes.
    output[0] = '\\';
    CopyMapped(dotted, output, 1, [](char c) { return c == '.' ? '\\' : c == '!' ? '.' : c; });
    return output;
}

void qvpEscapeDots(const char* name, char* target) {
    if (target == nullptr) return;
    size_t i = 0;
    for (; name != nullptr && name[i] != '\0'; ++i) target[i] = name[i] == '.' ? '!' : name[i];
    target[i] = '\0';
}

int qvpPackageNameToFileName(const char* packageName, char* fileName) {
    return MapVersionInto(packageName, fileName, '/', '#');
}

int qvpFileNameToPackageName(const char* fileName, char* packageName) {
    return MapVersionInto(fileName, packageName, '#', '/');
}

namespace qvp {

std::string PackageFileName(std::string_view packageName) { return MapVersion(packageName, '/', '#'); }

std::string PackageNameOfFile(std::string_view fileName) { return MapVersion(fileName, '#', '/'); }

std::string VersionFileName(std::string_view version) {
    std::string mapped(version);
    MapVersionText(mapped, '/', '#');
    return mapped;
}

}  // namespace qvp

size_t qvpStripBlanksAndDots(size_t length, const char* source, char* output) {
    if (output == nullptr) return 0;
    std::memset(output, 0, kStripBuffer);
    if (source == nullptr) return 0;
    size_t out = 0;
    // The output holds 511 characters and its NUL, whatever the length asked for.
    for (size_t i = 0; i < length && out < kStripBuffer - 1; ++i) {
        if (source[i] != ' ' && source[i] != '\0') output[out++] = source[i];
    }
    while (out > 0 && output[out - 1] == '.') output[--out] = '\0';
    return out;
}

int qvpIsValidQvCode(int c) { return c == 'C' || c == 'D' ? 1 : 0; }

void qvpGetTimeStamp(char* buffer) {
    if (buffer == nullptr) return;
    win::SYSTEMTIME t{};
    win::GetLocalTime(&t);
    std::snprintf(buffer, 18, "%04u%02u%02u%02u%02u%02u%03u", t.wYear % 10000u, t.wMonth % 100u,
                  t.wDay % 100u, t.wHour % 100u, t.wMinute % 100u, t.wSecond % 100u,
                  t.wMilliseconds % 1000u);
}
