// ID jobs: jobs whose entries name an ID ("<path>.%<ID>") and whose manager records cover the
// entry and every member client reached through it ("<path>.<client>", the entry's number).
// The workers here count and walk them for the ID and keep-ID finders, for the client ID job
// finders and for their site twins; the finders themselves are kept tree-neutral so that the
// site twins only name their own tree and function.
#pragma once

#include <cstdint>
#include <string>

#include "core/block.h"
#include "core/frame.h"
#include "qvpapi.h"

namespace qvp::jobs {

// The job tree a finder starts from.
enum class JobTree { JobExec, SiteJob };
// <PathName>\SERVER\ZARNQV\MNGFL\JOBEXEC or ...\SITEJOB.
std::string JobTreeRoot(JobTree tree);

// Tally modes (qvpAPIGetIDJobCountNode).
constexpr uint32_t kTallyEntries = 1;        // the ID entries' own records
constexpr uint32_t kTallyEntriesAlike = 2;   // as 1
constexpr uint32_t kTallyMembers = 3;        // the member clients below each entry
constexpr uint32_t kTallyMember = 4;         // one member client (the walker's per-client count)

// Walker modes (qvpAPIGetIDJobPackage): first, next and close of each triple.
constexpr uint32_t kWalkPackageFirst = 8;    // one package-job record per record
constexpr uint32_t kWalkPackageNext = 9;
constexpr uint32_t kWalkPackageClose = 10;
constexpr uint32_t kWalkMemberFirst = 11;    // one node-job record per member client
constexpr uint32_t kWalkMemberNext = 12;
constexpr uint32_t kWalkMemberClose = 13;
constexpr uint32_t kWalkEntryFirst = 14;     // one node-job record per entry name
constexpr uint32_t kWalkEntryNext = 15;
constexpr uint32_t kWalkEntryClose = 16;

// The tally worker: reads the whole jobexecfile at `pFilePath` (a full path) and counts the
// records of its entries into the node-job record and, when given, the job record (filled from
// the head first). `pIDName` ("%" and the ID name), `pNodeName`, `pClientName` (path form) and
// `pExecNo` narrow what is counted. 1, or 0 with the API code set: 0x20000103 when nothing was
// counted and no job record was given, 0x20000057 for missing arguments, or the code of a
// failed read or lookup.
int qvpAPIGetIDJobCountNode(QVPAPI* block, uint32_t dwFlg, const char* pFilePath, const char* pIDName,
                            const char* pNodeName, const char* pClientName, const char* pExecNo, QVAPI_JOB* pJobData,
                            QVAPI_NODE_JOB* pNodeJobData);
int qvpAPIGetIDJobCountNodeEx(QVPAPI* block, uint32_t dwFlg, const char* pFilePath, const char* pIDName,
                              const char* pNodeName, const char* pClientName, const char* pExecNo, QVAPI_JOB* pJobData,
                              QVAPI_NODE_JOB_EX* pNodeJobData);

// The status adder: adds one execution record to the node-job record's counters and takes its
// kind bytes. The end line goes through `message` (1024 bytes). 0, or 0x20100000 for a status
// outside the table.
uint32_t qvpAPIGetIDJobCountStatus(QVPAPI* block, uint32_t flag, const QVAPI_EXECUTION* record,
                                   QVAPI_NODE_JOB* pNodeJobData, char* message);
uint32_t qvpAPIGetIDJobCountStatusEx(QVPAPI* block, uint32_t flag, const QVAPI_EXECUTION* record,
                                     QVAPI_NODE_JOB_EX* pNodeJobData, char* message);

// The entry walker: one step of a walk whose state lives in `*phHandle` (the caller's slot).
// `pFilePath` is the job directory (a full path). First steps (8, 11, 14) make the state, next
// steps (9, 12, 15) produce one record, close steps (10, 13, 16) release it. 1, or 0 with the
// API code set (0x20000103 at the end). The plain and the Ex walker share one state layout, so
// a walk may switch between them step by step.
int qvpAPIGetIDJobPackage(QVPAPI* block, void** phHandle, uint32_t dwFlg, const char* pFilePath,
                          const char* pIDName, const char* pNodeName, const char* pClientName, const char* pExecNo,
                          QVAPI_NODE_JOB* pNodeJobData, QVAPI_PACKAGE_JOB* pPackageJobData, uint32_t dwReserved1,
                          uint32_t dwReserved2);
int qvpAPIGetIDJobPackageEx(QVPAPI* block, void** phHandle, uint32_t dwFlg, const char* pFilePath,
                            const char* pIDName, const char* pNodeName, const char* pClientName, const char* pExecNo,
                            QVAPI_NODE_JOB_EX* pNodeJobData, QVAPI_PACKAGE_JOB* pPackageJobData,
                            uint32_t dwReserved1, uint32_t dwReserved2);

// Releases a walk kept in a slot (what the close step does), leaving the slot empty; for the
// release of a finder's state when its session ends.
void FreeIdJobWalk(void** phHandle);
// Tests: what one pass of the keep-ID member walk holds (bytes; 0 restores the 64 MiB).
void SetMemberListBoundForTesting(size_t bytes);

// The ID finder and the keep-ID finder over one job tree, run inside the caller's call frame:
// its function name heads every log line. `ex` selects QVAPI_NODE_JOB_EX records. The ID-job
// and keep-ID-job slots of the block are shared by the plain, Ex and site finders, so Next and
// Close serve whichever First filled the slot.
QVPAPI_HANDLE FindFirstIDJob(CallContext& call, JobTree tree, bool ex, const char* lpFolderPath, const char* lpJobNo,
                             void* lpFindNodeJobData, uint32_t uiNodeAttributes);
int FindNextIDJob(CallContext& call, bool ex, QVPAPI_HANDLE hFindJob, void* lpFindNodeJobData);
int FindCloseIDJob(CallContext& call, QVPAPI_HANDLE hFindJob);

QVPAPI_HANDLE FindFirstKeepIDJob(CallContext& call, JobTree tree, bool ex, const char* lpFolderPath,
                                 const char* lpJobNo, const char* lpID, void* lpFindNodeJobData,
                                 uint32_t uiNodeAttributes, uint32_t dwReserved1, uint32_t dwReserved2);
int FindNextKeepIDJob(CallContext& call, bool ex, QVPAPI_HANDLE hFindJob, void* lpFindNodeJobData,
                      uint32_t dwReserved1, uint32_t dwReserved2);
int FindCloseKeepIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, uint32_t dwReserved1, uint32_t dwReserved2);

}  // namespace qvp::jobs
