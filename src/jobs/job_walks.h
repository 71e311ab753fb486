// What the job walk, the node-job walk and the package-job walk share: the job path of a folder
// and a job number and the classification codes.
#pragma once

#include <cstdint>
#include <string>

#include "core/frame.h"
#include "platform/win.h"
#include "jobs/jobexec_file.h"

namespace qvp::jobs {

// "<folder>\<job number>", the folder left out when it is NULL or one character. false (and the
// call failed with 0x20000057) for a NULL or empty job number, a job number holding a separator,
// or a path with a "." or ".." level or that needs a separator in front of the folder.
bool JobPathOf(CallContext& call, const char* folder, const char* jobNumber, std::string& jobPath);

enum class Lookup { Found, Skipped, Failed };
// The execution record of one entry. A reply saying the manager keeps no record for it ("0 160"
// or "16 16") skips the entry; any other failure ends the reader with the reply's code.
Lookup FindRecord(CallContext& call, const Entry& entry, const QVAPI_EXECUTION*& record);

// qvAPIGetJobCountNode (Ex: qvAPIGetJobCountNodeEx) in its own call frame, over a job file that
// a walk keeps across its steps: 1, or 0 with the API error code set.
int CountNodeOfKeptFile(QVPAPI& block, bool ex, KeptJobFile& kept, const char* jobPath, const char* nodeName,
                        unsigned char* record);

// Logs a refusal (a text whose one "%s" is the function's name) and fails the call with `code`.
void Refuse(CallContext& call, const char* text, uint32_t code);

// The API code for a classification that failed with last error `error` (a Windows error or an
// API code): 0x20000103 for a missing or busy entry, else 0x20100000.
uint32_t SelectFailureCode(uint32_t error);
// Whether a listed entry whose classification just failed is a directory too deep to be looked
// into (its path passes 260 characters): no job can be read there (its jobexecfile lies deeper
// still), so the walks report it as a folder by its name; only a walk of that folder fails.
bool IsUnreachableFolder(const win::WIN32_FIND_DATAA& entry);

}  // namespace qvp::jobs
