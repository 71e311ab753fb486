// The package attribution record as this library handles it (byte order, key texts, dotted
// name) and the names of the files that hold it and its resources. Shared with the JobGen
// layer, which files package entries under the same names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/text.h"  // PackageFileName, PackageNameOfFile
#include "qvpapi.h"
#include "records/keys.h"  // ResourceFileId

namespace qvp::packages {

constexpr size_t kPathMax = 260;          // characters of any path built here
constexpr size_t kDottedNameMax = 63;     // a dotted package name is shorter than 64
constexpr char kPackageFileLetter = 'R';
constexpr char kScriptFileLetter = 'Q';

// The seven numeric fields (u16 at 0, 236, 342, 702, 736; u32 at 4, 232) from network to host
// order and back, in place; everything else stays as it is.
void PackageToHost(QVAPI_PACKAGE& record);
void PackageToNetwork(QVAPI_PACKAGE& record);

// The five key parts of a package as texts.
struct PackageKeyTexts {
    char qvCode = 0;
    std::string cabinet;
    std::string package;
    std::string version;
    std::string generation;
};
// The key parts of a record, each cut at its first blank (or NUL).
PackageKeyTexts KeyTextsOf(const QVAPI_PACKAGE& record);
// QvCode, cabinet, package id, version and generation joined by '.', as given.
std::string DottedPackageName(const PackageKeyTexts& key);

// Whether a text may stand as (part of) one file name: not empty, no separator, not "." or
// "..". Key texts that name files pass this before they are joined into a path.
bool IsFileNamePart(std::string_view text);

// <PathName>\SERVER\ZARNQV\MNGFL\ATTRIBUTION\<QvCode>.<cabinet>.<package>.<version>.<generation>
// with the version as given (callers map '/' to '#' first); empty when it would pass 260
// characters.
std::string AttributionFilePath(const PackageKeyTexts& key);
// <ResourcePathName>\<letter><characters 2 to 8 of the resource name>; empty when the resource
// name is refused (ResourceFileId) or the path would pass 260 characters.
std::string ResourceFilePath(const QVAPI_PACKAGE& record, char letter);
// Whether the record says the package has a script file.
inline bool HasScript(const QVAPI_PACKAGE& record) {
    return (record.ucFlags & QVAPI_PACKAGE_FLAG_SCRIPT) != 0;
}

// The node name a status record of `length` bytes carries, as a rename compares it: the 64
// bytes at 55, or, when they are empty, the long name of the first item (u16 length in network
// order at 442, text from 444); cut at the first blank, and only the part after its last '.'.
// False when the long name runs past the record.
bool StatusRecordNodeName(const char* record, size_t length, std::string& name);

}  // namespace qvp::packages
