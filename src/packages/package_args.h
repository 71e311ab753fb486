// Checks of the package key texts that several exports take (cabinet id, package id, version,
// package number), with the log texts they share.
#pragma once

#include <string>

#include "core/frame.h"
#include "core/handles.h"
#include "packages/package_files.h"

namespace qvp::packages {

// The four texts of a package key after the QvCode, as a caller passes them.
struct KeyArguments {
    const char* cabinet;
    const char* package;
    const char* version;
    const char* generation;
};

// "%s : Logical Error : <name> Pointer is NULL" for the first NULL text.
bool KeyTextsGiven(CallContext& call, const KeyArguments& key);
// "%s : Logical Error : Top of <name> is NULL" for the first empty text.
bool KeyTextsNotEmpty(CallContext& call, const KeyArguments& key);
// "qvAPIFindCabinet : Logical Error : QvCode is Invalid" unless 'C' or 'D' (the package finders
// all log this text).
bool PackageQvCodeValid(CallContext& call, char qvCode);
// Logs "%s : Logical Error : <what>" and sets 0x20000057; false.
bool LogicalError(CallContext& call, const char* what);
// Logs `text` (its "%s" the function's name, where it has one) and sets `code`; false.
bool Refuse(CallContext& call, const char* text, uint32_t code = QVAPI_ERR_INVALID_PARAMETER);
// A find handle must be the calling thread's block; 0x20000006 otherwise.
bool FindHandleValid(CallContext& call, const void* handle);
// The end of a find walk: its handle checked, then the manager's walk over records of `kind`
// ('A' packages, 'M' cabinets, 'S' installed packages) released. 1, or 0 with the code set.
int CloseFind(CallContext& call, const void* handle, char kind);
// An existing file opened for reading, shared for reading.
FileHandle OpenForReading(const char* path);
// Reads one record from a file opened for reading (shared for reading): false after logging
// `openText` (0x20000103) or, for an error or fewer than 784 bytes, `readText` (0x20100000);
// each with the function's name, the path and the system error; with `closeText`, a failed
// close too (0x20100000).
bool ReadRecordFile(CallContext& call, const char* path, QVAPI_PACKAGE& record, const char* openText,
                    const char* readText, const char* closeText = nullptr);

// The texts as a key, each as given.
PackageKeyTexts KeyOf(char qvCode, const KeyArguments& key);

}  // namespace qvp::packages
