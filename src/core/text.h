// Text helpers: dotted names, package names, time stamps, the string codec.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Output buffers of 261 bytes; at most 260 characters written, NUL-terminated.
char* qvpPathToDottedName(const char* path, char* output);
char* qvpDottedNameToPath(const char* dotted, char* output);
// Copies the name with every '.' written as '!'.
void qvpEscapeDots(const char* name, char* target);
// Dotted package name "Q.cabinet.package.version.generation" <-> package file name: each '/'
// among the version's first 8 characters written '#', and back; the other parts are kept. The
// output holds as many bytes as the input. 1, or 0 with 0x20000057 on empty input.
int qvpPackageNameToFileName(const char* packageName, char* fileName);
int qvpFileNameToPackageName(const char* fileName, char* packageName);
// Copies the source's bytes except blanks and NULs into the 512-byte output, then removes
// trailing '.'; returns the length.
size_t qvpStripBlanksAndDots(size_t length, const char* source, char* output);
int qvpIsValidQvCode(int c);  // 1 for 'C' or 'D'
// 17 digits yyyymmddhhmmssmmm of the local time and a NUL, into at least 18 bytes.
void qvpGetTimeStamp(char* buffer);
// The library's reversible text codec (ID-group passwords). 1 on success.
int qvpStuEnCode(const char* plain, char* encoded);
int qvpStuDeCode(const char* encoded, char* plain);

namespace qvp {
// The same mappings for callers that keep their texts in strings.
std::string PackageFileName(std::string_view packageName);
std::string PackageNameOfFile(std::string_view fileName);
// The version part alone, as a file name writes it.
std::string VersionFileName(std::string_view version);
}  // namespace qvp
