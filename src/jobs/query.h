// Query objects: the conditions the Abstract enumerators read, and the walks they run for them.
// A query lives in the session's arena and is reached only through the session's list of live
// queries, so a stale, foreign or made-up handle is refused instead of being written through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/frame.h"
#include "qvpapi.h"

namespace qvp::jobs {

constexpr size_t kQueryPathMax = 260;    // folder and client texts
constexpr size_t kQueryJobNumberMax = 16;
constexpr size_t kQueryIdMax = 32;
constexpr size_t kJobHeadSize = 336;

// One Abstract family's walk: which finder runs it (0 none) and the finder's handle.
struct QueryWalk {
    uint32_t mode = 0;
    QVPAPI_HANDLE handle = nullptr;
};

// QVAPI_QUERY. Texts are always terminated; empty means "no condition".
struct QueryObject {
    uint32_t kind = 0;  // 1 to 6, kept and not consulted
    char folder[kQueryPathMax + 1] = {};
    char jobNumber[kQueryJobNumberMax + 1] = {};
    char client[kQueryPathMax + 1] = {};
    uint32_t idJobOption = 0;  // 0, 1 or 2
    char id[kQueryIdMax + 1] = {};
    uint32_t site = 0;  // 1: the ID-job walks run over MNGFL\SITEJOB
    QueryWalk job, detail, node;
    unsigned char* jobHead = nullptr;  // head of the query's job while a detail walk runs
    QueryObject* next = nullptr;       // the session's live queries
};

// The live query of the calling thread's session that `handle` names; nullptr (and the call
// failed with 0x20000006, `refusal` logged with the function's name) for any other value.
QueryObject* LiveQuery(CallContext& call, QVPAPI_HANDLE handle, const char* refusal = nullptr);

// Releases the job head of a detail walk, if there is one.
void DropJobHead(QueryObject& query);

// Whether a job number names an ID job: "IB" or "IS" first.
bool IsIdJobNumber(const char* jobNumber);

}  // namespace qvp::jobs
