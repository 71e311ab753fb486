// What job control shares with job creation: the job path of a folder and a number, the reply
// code of a refused job request, and the release of a thread's pending creation.
#pragma once

#include <string>
#include <string_view>

#include "core/frame.h"

namespace qvp::jobs {

// "<folder>\<number>" for a folder that begins with "\" and is longer than one character, else
// "\<number>".
std::string JobPathOf(const char* folder, std::string_view number);
// A refused job request: the mapped code of its recorded reply, 0x2000054F where the reply maps
// to none.
void FailFromReply(CallContext& call);
// Ends the thread's pending job creation, if any: the stored jobgenfile put back from the work
// copy, the work directory removed, the JobGen mutex released. `function` names the log lines.
void ReleasePendingCreation(QVPAPI& block, const char* function);
// Sends the caller's request text as it is and classifies the reply as an execution request's
// (qvAPIScheduleJobDel does the same for a deletion). Not exported: nothing calls it.
int qvAPIScheduleJobExec(const char* lpRequest, uint32_t dwReserved);

}  // namespace qvp::jobs
