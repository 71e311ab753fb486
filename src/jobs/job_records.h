// Job records handed to callers: the status code of one execution record and the level
// adapters that fit job and node-job records to the caller's API level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qvpapi.h"

namespace qvp::jobs {

// Statuses 7 and 8 are known to callers from this API level on.
constexpr uint32_t kLevelWithStatus7And8 = 3;

// The job status code (0 to 8, or 255) of an execution record, from its status bytes at 88, 89
// and 90; the first rule that matches decides.
int qvpJobStatusCode(const QVAPI_EXECUTION* record);

// Copies a 336-byte jobexecfile head into the caller's job record. Below API level 3 the
// counts of status 7 and 8 are folded into status 3. Kind 4 or 5 replaces the stored kind.
void qvpAPICopyJobData(uint32_t apiLevel, const void* head, QVAPI_JOB* job, int kind);
// Copies `size` bytes of a node-job record (Ex: extended record) into the caller's record and
// folds statuses 7 and 8 below API level 3; counters beyond `size` are not touched.
void qvpAPICopyNodeJobData(uint32_t apiLevel, void* destination, const void* source, size_t size);
void qvpAPICopyNodeJobDataEx(uint32_t apiLevel, void* destination, const void* source, size_t size);

}  // namespace qvp::jobs
