// Text helpers: dotted names, package names, time stamps, the string codec.
#pragma once

#include <cstddef>

// Output buffers of 261 bytes; at most 260 characters written, NUL-terminated.
char* qvpPathToDottedName(const char* path, char* output);
char* qvpDottedNameToPath(const char* dotted, char* output);
// Copies the name with every '.' written as '!'.
void qvpEscapeDots(const char* name, char* target);
// Dotted package name <-> package file name ('/' of the version <-> '#'). 1, or 0 with
// 0x20000057 on empty input.
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
