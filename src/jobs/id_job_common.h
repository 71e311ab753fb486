// What the ID-job tally, walker and finders share: the node-job layouts of the plain and Ex
// records, dotted-name pieces, the names an execution record carries, the job file read whole,
// and the manager lookups with their "no record" outcome told apart from failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/frame.h"
#include "jobs/id_jobs.h"
#include "jobs/jobexec_file.h"
#include "qvpapi.h"

namespace qvp::jobs::idjob {

// Where a node-job record of either family keeps what the ID workers write.
struct Layout {
    size_t size;         // 256 plain, 712 Ex
    size_t nameField;    // 64, 260
    size_t kind;         // 64, 260: kind letter, then byte 9, then the flag
    size_t dateTime;     // 82, 278
    size_t displayName;  // 160, 452
    const size_t (&counters)[kStatusCount];
    QvpRecordSizeSlot slot;
};
extern const Layout kPlain;
extern const Layout kEx;
constexpr size_t kWorkSize = QVAPI_NODE_JOB_EX_SIZE;  // a work record either family can fill

// Loops over the records the manager returns for one lookup end here at the latest.
constexpr size_t kMaxRecordsPerLookup = 1u << 20;

// The text after a dotted name's last "." (the whole name without one).
std::string_view LastComponent(std::string_view dotted);
// The text before the last "."; npos-free: false when there is no ".".
bool PathPart(std::string_view dotted, std::string_view& path);
bool IsIdComponent(std::string_view component);  // "%" first

std::string ToDotted(const char* pathForm);  // "" for NULL
std::string ToPathForm(std::string_view dotted);
// A NULL text as "" for the log lines.
inline const char* Text(const char* p) { return p == nullptr ? "" : p; }

// The node name of an execution record of `recordSize` bytes as delivered (DeliveredLength):
// the 64-character field at 16, or when that is empty the text of the first item, bounded by
// the record; cut at the first blank.
std::string RecordNodeName(const unsigned char* record, size_t recordSize);

// Puts a text into a field of `width` bytes, cut to width - 1 and terminated.
void PutText(unsigned char* field, size_t width, std::string_view text);

// The IDs a job's entries name ("%" and the name), each once, in the order of first mention.
// Only "%"-marked last components are IDs.
std::vector<std::string> IdsOfJob(const JobFile& file);

// Reads a whole jobexecfile (a full path) and checks its entries. 0, or the code after the
// line "%s : qvpAPIFileCopy Error = 0x%8.8x".
uint32_t LoadJobFile(CallContext& call, const std::string& path, JobFile& file);

// Log lines of the job-directory checks that the ID, keep-ID and client finders share.
inline constexpr const char* kNoFolderText = "%s : wcPathWork NO Folder";
inline constexpr const char* kNoIdJobText = "%s : No ZARN_IDJOB : ErrorCode = %d";
inline constexpr const char* kSelectFailedText = "%s : qvAPISelectFile Error : Code = 0x%8.8x";

// <root><folder>, the folder appended when it is longer than one character. false for a folder
// with a "." or ".." level, which could leave the tree, or a path of 260 characters or more.
bool FolderOfTree(JobTree tree, const char* folder, std::string& path);

// The directory of job `number` in `folder` of `tree`: the folder must be a folder of the tree,
// the number one level of it, and the job an ID job (any job with `admitPlainJobs`). 0, or the
// API code after the line of the check that failed; `selectFailed` is the caller's line for a
// classification that fails.
uint32_t IdJobDirectory(CallContext& call, JobTree tree, const char* folder, const char* number,
                        bool admitPlainJobs, const char* selectFailed, std::string& directory);

// The first record of (job number, dotted name), in the session's current-record area. NULL
// with `code` 0x20000103 when the manager keeps none, any other code for a failure.
const unsigned char* FindFirst(QVPAPI& block, std::string_view number, const std::string& name, uint32_t& code);
// The cursor's next record the same way.
const unsigned char* FindNext(QVPAPI& block, uint32_t& code);

}  // namespace qvp::jobs::idjob
