// Text helpers: dotted names, package file names, blank stripping, time stamps.
#include "core/text.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/errors.h"
#include "platform/win.h"

namespace {

constexpr size_t kDottedMax = 260;   // characters of a dotted name or path
constexpr size_t kStripBuffer = 512;
constexpr uint32_t kInvalidParameter = 0x20000057u;

// The version is the fourth dotted field of QvCode.cabinet.package.version.generation.
void MapVersion(const char* in, char* out, char from, char to) {
    int field = 0;
    size_t i = 0;
    for (; in[i] != '\0'; ++i) {
        char c = in[i];
        if (c == '.') ++field;
        if (field == 3 && c == from) c = to;
        out[i] = c;
    }
    out[i] = '\0';
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
    if (packageName == nullptr || packageName[0] == '\0' || fileName == nullptr) {
        qvAPISetLastError(kInvalidParameter);
        return 0;
    }
    MapVersion(packageName, fileName, '/', '#');
    return 1;
}

int qvpFileNameToPackageName(const char* fileName, char* packageName) {
    if (fileName == nullptr || fileName[0] == '\0' || packageName == nullptr) {
        qvAPISetLastError(kInvalidParameter);
        return 0;
    }
    MapVersion(fileName, packageName, '#', '/');
    return 1;
}

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
