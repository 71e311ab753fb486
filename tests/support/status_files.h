// Status and execution records for tests: records built byte for byte, and the files a session
// without a socket reads them from (MNGFL\STATUS\<node>\<package file name>,
// MNGFL\EXECUTION\<job number>\<dotted node>).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qvptest {

// A status record of `node` for package "qv.cabinet.package.version.generation": 432 bytes, or
// more with one item of `itemBytes` extra bytes; integers big-endian.
std::string MakeStatusRecord(std::string_view node, char qvCode, std::string_view cabinet,
                             std::string_view package, std::string_view version,
                             std::string_view generation, size_t itemBytes = 0);
// An execution record of 944 bytes for `node` with kind letter `kind` and one marker byte.
std::string MakeExecutionRecord(std::string_view node, char kind, unsigned char marker);

// Writes the file of a status record below `dataRoot`; returns its path.
std::filesystem::path WriteStatusFile(const std::filesystem::path& dataRoot, std::string_view node,
                                      const std::string& record);
std::filesystem::path WriteExecutionFile(const std::filesystem::path& dataRoot,
                                         std::string_view jobNumber, std::string_view node,
                                         const std::string& record);
// The files of a node's status directory, sorted.
std::vector<std::string> StatusFiles(const std::filesystem::path& dataRoot, std::string_view node);

}  // namespace qvptest
