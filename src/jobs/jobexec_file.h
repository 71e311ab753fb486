// The job execution files the manager writes and the library only reads: `jobexecfile` (a
// 336-byte head, then variable-length node entries) and the index `jobexecpath`. Every length,
// count and name of a file is checked against the file before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/block.h"
#include "core/bounded_read.h"
#include "jobgen/jobgen_file.h"
#include "qvpapi.h"

namespace qvp::jobs {

inline constexpr char kJobExecFileName[] = "jobexecfile";
inline constexpr char kJobExecPathName[] = "jobexecpath";
inline constexpr char kIndexFolder[] = "QVFOLDER";  // <JOBEXEC>\QVFOLDER\<job number>\jobexecpath

constexpr size_t kHeadSize = 336;
constexpr size_t kMaxPath = 260;
constexpr size_t kMaxEntryName = 520;  // node names and second names

// Head offsets (little-endian u32 unless noted).
namespace head {
constexpr size_t kEntryAreaSize = 0;
constexpr size_t kJobName = 4;     // char[64]
constexpr size_t kStored68 = 68;   // 8 bytes
constexpr size_t kKind = 76;
constexpr size_t kJobNumber = 80;  // char[16]
constexpr size_t kDateTime = 98;   // char[14]
constexpr size_t kDateTimeSize = 14;
constexpr size_t kTotal = 140;
constexpr size_t kEntryCount = 152;
}  // namespace head

// Entry offsets.
namespace entry {
constexpr size_t kLength = 0;
constexpr size_t kJobNumber = 4;  // char[16]
constexpr size_t kNameLength = 84;
constexpr size_t kName = 88;
}  // namespace entry

// The largest entry: its fixed part, a node name, the second name's length and a second name.
constexpr size_t kMaxEntrySize = entry::kName + kMaxEntryName + 4 + kMaxEntryName;
// A job has an entry for each entry of the JobGen it was made from.
constexpr uint32_t kMaxEntries = jobgen::kMaxEntries;
// jobexecfile: the head and the entry area it announces, no larger than its entries can be;
// bytes after the area are not read.
extern const DeclaredLayout kJobExecFileLayout;

// The job status codes a head or a node-job record counts, in the order of their counters.
constexpr int kStatusCodes[] = {0, 1, 2, 3, 4, 5, 255, 6, 7, 8};
constexpr size_t kStatusCount = std::size(kStatusCodes);
// Counter offsets by that order: head and QVAPI_JOB, QVAPI_NODE_JOB, QVAPI_NODE_JOB_EX.
constexpr size_t kHeadCounter[kStatusCount] = {112, 116, 120, 124, 128, 132, 136, 144, 220, 224};
constexpr size_t kNodeJobCounter[kStatusCount] = {96, 100, 104, 108, 112, 116, 120, 124, 224, 228};
constexpr size_t kNodeJobExCounter[kStatusCount] = {292, 296, 300, 304, 308, 312, 316, 320, 356, 360};
// Index into the tables above of a status code; -1 for a code outside them.
int CounterIndex(int statusCode);

uint32_t Load32(const unsigned char* p);
void Store32(unsigned char* p, uint32_t value);

// One node entry, as views into the file's entry area.
struct Entry {
    std::string_view jobNumber;   // 16 characters
    std::string_view name;        // dotted node name, 1 to 520 bytes
    std::string_view secondName;  // the host name of a host-ID node (empty when none)
};

// Checks the head's entry count and the entry area: every entry lies inside the area, holds
// its name (and, for a host-ID name, its second name), and no name exceeds 520 bytes. False for
// a defective area.
bool ParseEntries(const unsigned char* head, std::string_view area, std::vector<Entry>& entries);

// Whether any level of a path is "." or "..": such a path could leave the JOBEXEC tree.
bool HasDotLevel(std::string_view path);

// Whether a dotted node name names a host ID ("#G", "#U" or "#C" wherever the '#' stands).
bool IsHostIdName(std::string_view name);

// A job path checked and joined into <root><job path>\jobexecfile (the root JOBEXEC unless
// given): false when the path has a "." or ".." level or the whole would pass 260 characters.
bool JobExecFilePath(std::string_view jobPath, std::string& path, std::string_view root = {});

// What a reader took from a job's file.
struct JobFile {
    unsigned char head[kHeadSize] = {};
    std::string area;            // entry area, empty when it was not read
    std::vector<Entry> entries;  // views into `area`
};

// How a reader opens the file.
enum class OpenMode {
    Exclusive,  // read and write, no sharing: 2, 3 and 32 read as "no such job" (0x20000103)
    Shared,     // read only with read and write sharing: any failure 0x20100000
};

// Whether a reader takes the entry area after the head.
enum class EntryNeed {
    None,
    Always,
    WhenCounted,  // only when the stored counts are not all 0 (the recount's shortcut)
};

// Reads the head, and the entry area as `need` says. 0, or the API code after logging the
// failing step with the caller's name: 0x20000057 for a job path with a "." or ".." level or
// too long to join.
uint32_t ReadJobFile(QVPAPI& block, const char* function, std::string_view jobPath, OpenMode mode,
                     EntryNeed need, JobFile& file);
// A job's file kept across the steps of a walk: each step opens the file as the readers do
// (exclusive, so a missing or busy file fails the same way) but reads it again only when its
// size, write time or identity changed; the entries of a node are found by name.
class KeptJobFile {
public:
    KeptJobFile() = default;
    // The index holds views into the kept bytes: it stays where it was made.
    KeptJobFile(const KeptJobFile&) = delete;
    KeptJobFile& operator=(const KeptJobFile&) = delete;

    // 0, or the API code of ReadJobFile with an exclusive open and the whole entry area.
    uint32_t Refresh(QVPAPI& block, const char* function, std::string_view jobPath);
    const JobFile& file() const { return file_; }
    // Positions in file().entries of the entries with this node name, in file order.
    std::span<const uint32_t> EntriesNamed(std::string_view name) const;

private:
    struct Stamp {
        uint64_t size = 0, written = 0, index = 0;
        bool operator==(const Stamp&) const = default;
    };
    JobFile file_;
    bool loaded_ = false;
    Stamp stamp_;
    std::unordered_map<std::string_view, std::vector<uint32_t>> byName_;  // views into file_.area
};

// The sum of the ten stored counts of a head.
uint64_t StoredCountSum(const unsigned char* head);
// The parse step of ReadJobFile over bytes in memory (head, then the area): 0, 0x20100000 for a
// short file, 0x2000054F for a defective one.
uint32_t ParseJobFile(std::string_view bytes, JobFile& file);

// The job path a `jobexecpath` holds for a job number: 0, or 0x20000103 when there is none,
// 0x2000054F when it is empty, longer than 260 characters or has a "." or ".." level.
uint32_t ReadJobExecPath(QVPAPI& block, std::string_view jobNumber, std::string& jobPath);

}  // namespace qvp::jobs
