// The client ID job finders over either job tree, run inside the caller's call frame (its
// function names the log lines). The exported job-tree families and their site twins are thin
// frames around these; each family keeps one state per thread in its slot of the block, and a
// state remembers the tree it was started on.
#pragma once

#include <cstdint>

#include "core/frame.h"
#include "jobs/id_jobs.h"
#include "qvpapi.h"

namespace qvp::jobs {

// Frame texts of the families. The folder walk: `bodyStarts` leaves the opening line to the body
// (which names the folder), `close` takes the close's exception line. The walkers' bodies always
// write their own opening lines.
FrameTexts ClientWalkFrame(const char* name, EndStyle end, bool bodyStarts, bool close);
FrameTexts ClientWalkerFrame(const char* name, EndStyle end);

// The walk of one folder: its sub-folders and ID jobs (option 4: plain jobs as well). The first
// entry comes through `next`, the tree's FindNext.
QVPAPI_HANDLE FindFirstClientIDJob(CallContext& call, JobTree tree, const char* lpFolderPath,
                                   QVAPI_JOB* lpFindJobData, uint32_t dwJobKindOption,
                                   int (*next)(QVPAPI_HANDLE, QVAPI_JOB*, uint32_t, uint32_t));
int FindNextClientIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, QVAPI_JOB* lpFindJobData);
int FindCloseClientIDJob(CallContext& call, QVPAPI_HANDLE hFindJob);

// The member clients of one ID job, one node-job record each (`ex`: QVAPI_NODE_JOB_EX).
QVPAPI_HANDLE FindFirstClientNodeIDJob(CallContext& call, JobTree tree, bool ex, const char* lpFolderPath,
                                       const char* lpJobNo, void* lpFindNodeJobData, uint32_t dwJobKindOption);
int FindNextClientNodeIDJob(CallContext& call, bool ex, QVPAPI_HANDLE hFindJob, void* lpFindNodeJobData);
int FindCloseClientNodeIDJob(CallContext& call, QVPAPI_HANDLE hFindJob);

// The package records of one ID job for one node. `withId`: the Ex variant, whose lpID (NULL or
// empty for none) narrows the walk to that ID's entries.
QVPAPI_HANDLE FindFirstClientPackageIDJob(CallContext& call, JobTree tree, bool withId, const char* lpFolderPath,
                                          const char* lpJobNo, const char* lpNodePath, const char* lpID,
                                          QVAPI_PACKAGE_JOB* lpFindPackageJobData, uint32_t dwParam1,
                                          uint32_t dwParam2);
int FindNextClientPackageIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, QVAPI_PACKAGE_JOB* lpFindPackageJobData,
                               uint32_t dwParam1, uint32_t dwParam2);
int FindCloseClientPackageIDJob(CallContext& call, QVPAPI_HANDLE hFindJob, uint32_t dwParam1, uint32_t dwParam2);

}  // namespace qvp::jobs
