// The rebuild of a stored JobGen from a file of the manager's execution records: the reader of
// that file (bytes the manager wrote, bounded before every use) and the entry each record gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jobgen/jobgen_file.h"

namespace qvp::jobgen {

constexpr size_t kExecRecordSize = 944;
constexpr size_t kExtensionHead = 12;
constexpr size_t kExtensionSecondHead = 4;
constexpr uint8_t kNameKindNode = 17;
constexpr uint8_t kNameKindHost = 19;
// The file announces no count: it is bounded by the JobGen it becomes, one entry a record, each
// record followed at most by an extension with two names of a u16 length each.
constexpr uint64_t kMaxExecFileSize = uint64_t{kMaxEntries} * (kExecRecordSize + kExtensionHead + kExtensionSecondHead + 2 * 0xFFFF);

// Log texts the rebuild and its copiers share.
namespace makemsg {
constexpr char kCopy[] = "%s : CopyFile Error %d : %s";
constexpr char kCreateDirectory[] = "%s : CreateDirectory Error %d : %s";
}  // namespace makemsg

// One record of the file with the names its extension gave.
struct ExecRecord {
    const uint8_t* bytes = nullptr;  // kExecRecordSize bytes inside the file
    std::string node;
    std::string host;
};

// Reads at most size / 944 records, each followed by its name extension when its node name is
// empty or a host ID. 0; 0x20000057 for a name over 259 bytes; 0x20100000 for an extension cut
// short or more records than a JobGen holds (`records` then holds those read before it). A
// record cut short ends the file.
uint32_t ParseExecRecords(std::span<const uint8_t> file, std::vector<ExecRecord>& records);

// The entry of a record, without its package fields; `idKind` becomes 5 for an ID node.
void BuildEntry(const ExecRecord& record, JobGenEntry& entry, uint8_t& idKind);
// The store folder of a rebuilt JobGen and its copiers (0 or 0x20000057, logged): a folder
// with or without its leading '\', parts and name each one directory level.
uint32_t MakeTarget(CallContext& call, const char* folder, const char* name, std::string& normalised);

// The header fields every record overwrites (the last one wins).
void TakeHeaderFields(const uint8_t* record, JobGenHeader& header);

}  // namespace qvp::jobgen
