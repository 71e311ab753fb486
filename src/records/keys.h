// Record keys of the manager's store, as they travel in "k" fields.
#pragma once

#include <string>
#include <string_view>

#include "qvpapi.h"

namespace qvp::records {

constexpr size_t kNodeKeyWidth = 64;  // node part of a status key, blank-padded

// The 59-column package key of a dotted name "Q.CC.package.version.generation"; false when the
// name has not five parts or a part is longer than its width.
bool PackageKeyFromDotted(std::string_view dotted, std::string& key);
// Cabinet prefix of the package keys ("C.A1" -> "CA1"); false when it is not of that form.
bool CabinetPrefixFromKey(std::string_view cabinetKey, std::string& prefix);
// The package key carried by a status record (QvCode, cabinet, package id, version, generation).
std::string StatusPackageKey(const QVAPI_INSPACKAGE& record);
// The status key: the node name blank-padded to 64, then the package key.
std::string StatusKey(std::string_view node, const QVAPI_INSPACKAGE& record);
// "Q.CC.package.version.generation" of a 59-column key, each part without trailing blanks.
std::string DottedFromPackageKey(std::string_view key);
// A fixed-width text without its trailing blanks (and anything after a NUL).
std::string_view TrimField(const char* field, size_t width);
// Whether the package id of an attribution record is blank: the cabinet's header record.
bool IsCabinetHeader(const QVAPI_PACKAGE& record);
// The file name of one of a package's resource files: `letter` ('R' the package file, 'Q' the
// script file), then characters 2 to 8 of the record's resource name (up to its first NUL).
// False when the name is empty or holds a separator or "..": the manager writes it, and the
// name must never lead out of the resource folder.
bool ResourceFileId(const QVAPI_PACKAGE& record, char letter, std::string& id);

}  // namespace qvp::records
