// The package key of a package entry and the entry's folder in the open JobGen's work tree,
// shared by the package entries and the script files of a package entry.
#pragma once

#include <string>

#include "core/frame.h"
#include "packages/package_args.h"
#include "qvpapi.h"

namespace qvp::jobgen {

// The lines of a failed copy in an entry folder.
inline constexpr char kCopyFromText[] = "%s : CopyFile Error : FromFile = %s";
inline constexpr char kCopyToText[] = "%s : CopyFile Error : ToFile = %s";
inline constexpr char kCopyErrnoText[] = "%s : CopyFile Error : errno = %d";

// A package key checked part by part, so that no caller text overruns a field or leaves the
// PACKAGE area: every part given, within its width, one file-name part free of "." ("/" only in
// the version, which the file name writes "#").
struct PackageKey {
    packages::PackageKeyTexts texts;
    std::string dotted;
    std::string fileName;
};

bool MakeKey(const packages::PackageKeyTexts& texts, PackageKey& key);
bool MakeKey(char qvCode, const char* cabinet, const char* package, const char* version, const char* generation,
             PackageKey& key);
// The key of a package folder's name ("#" of the version back to "/").
bool KeyOfFolder(const std::string& name, PackageKey& key);
// WORK\MNG\JOBGEN\<thread id>\PACKAGE\<package file name>
std::string FolderOf(const QVPAPI& block, const PackageKey& key);
// Copies the store's attribution record to `copy` unless a file lies there (fail-if-exists).
// 0, 0x20000103 (no record in the store) or 0x20100000; `made` when this call made it.
uint32_t FetchAttribution(CallContext& call, const PackageKey& key, const std::string& copy, bool& made);

}  // namespace qvp::jobgen
