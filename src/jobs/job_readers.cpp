// The job readers: a job's head as stored or recounted from the manager's execution records,
// and the statuses of one node of a job.
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/frame.h"
#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "jobs/job_walks.h"
#include "jobs/jobexec_file.h"
#include "records/records.h"

namespace qvp::jobs {

namespace {

constexpr size_t kNodeNameMax = 64;

// The arguments every reader checks, in its order: the block, the output record, the job path.
bool CheckArguments(CallContext& call, const void* api, const void* output, const char* jobPath) {
    const char* failure = nullptr;
    if (api == nullptr) failure = text::kApiNull;
    else if (output == nullptr) failure = text::kDataNull;
    else if (jobPath == nullptr) failure = text::kJobNoNull;
    if (failure != nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, failure, call.function());
    }
    // The readers work in the caller's own session: another thread's block is not theirs to use.
    if (api != &call.block()) {
        return call.Failed(QVAPI_ERR_INVALID_HANDLE, text::kApiForeign, call.function());
    }
    return true;
}

}  // namespace

Lookup FindRecord(CallContext& call, const Entry& entry, const QVAPI_EXECUTION*& record) {
    QVPAPI& block = call.block();
    const std::string number(entry.jobNumber);
    const std::string name(entry.name);
    record = qvpAPIFindCommand(&block, number.c_str(), name.c_str());
    if (record != nullptr) return Lookup::Found;
    const bool noRecord = block.errorCategory == kErrCategoryRecord &&
                          ((block.errorDetail1 == 0 && block.errorDetail2 == 160) ||
                           (block.errorDetail1 == 16 && block.errorDetail2 == 16));
    if (noRecord) return Lookup::Skipped;
    call.Log(text::kFindCommand, call.function());
    call.FailFromRecordedError();
    return Lookup::Failed;
}

namespace {

void AddOne(unsigned char* record, size_t offset) { Store32(record + offset, Load32(record + offset) + 1); }

// Where the node counters put what they take from a record.
struct NodeLayout {
    const size_t (&counters)[kStatusCount];
    size_t dateTime;
    size_t kind;  // the kind letter; the second kind byte and the flag follow it
};
constexpr NodeLayout kNodeJob{kNodeJobCounter, offsetof(QVAPI_NODE_JOB, szDateTime), offsetof(QVAPI_NODE_JOB, ucKind)};
constexpr NodeLayout kNodeJobEx{kNodeJobExCounter, offsetof(QVAPI_NODE_JOB_EX, szDateTime),
                                offsetof(QVAPI_NODE_JOB_EX, ucKind)};

// Counts the records of the entries `named` (positions in file order, all of one node) into a
// node-job record.
int CountNamedEntries(CallContext& call, const JobFile& file, std::span<const uint32_t> named, unsigned char* out,
                      const NodeLayout& layout) {
    for (size_t offset : layout.counters) Store32(out + offset, 0);
    std::memcpy(out + layout.dateTime, file.head + head::kDateTime, head::kDateTimeSize);
    bool counted = false;
    for (const uint32_t at : named) {
        const Entry& entry = file.entries[at];
        const QVAPI_EXECUTION* record = nullptr;
        const Lookup found = FindRecord(call, entry, record);
        if (found == Lookup::Failed) return 0;
        if (found == Lookup::Skipped) continue;
        const int index = CounterIndex(qvpJobStatusCode(record));
        if (index >= 0) AddOne(out, layout.counters[index]);
        out[layout.kind] = static_cast<unsigned char>(record->cKind);
        out[layout.kind + 1] = record->ucKind2;
        if ((record->ucFlags & 0x04) != 0) out[layout.kind + 2] = 1;
        counted = true;
    }
    if (!counted) {
        call.Fail(QVAPI_ERR_NOT_FOUND);
        return 0;
    }
    return 1;
}

// Reads the job's file and counts the entries of one node.
int CountNode(CallContext& call, const char* jobPath, const char* nodeName, unsigned char* out,
              const NodeLayout& layout) {
    JobFile file;
    if (const uint32_t code = ReadJobFile(call.block(), call.function(), jobPath, OpenMode::Exclusive,
                                          EntryNeed::Always, file)) {
        call.Fail(code);
        return 0;
    }
    const std::string_view wanted(nodeName);
    std::vector<uint32_t> named;
    for (uint32_t i = 0; i < file.entries.size(); ++i)
        if (file.entries[i].name == wanted) named.push_back(i);
    return CountNamedEntries(call, file, named, out, layout);
}

// Counts one node over the file a walk keeps, read again only when it changed.
int CountKeptNode(CallContext& call, KeptJobFile& kept, const char* jobPath, const char* nodeName,
                  unsigned char* out, const NodeLayout& layout) {
    if (const uint32_t code = kept.Refresh(call.block(), call.function(), jobPath)) {
        call.Fail(code);
        return 0;
    }
    return CountNamedEntries(call, kept.file(), kept.EntriesNamed(nodeName), out, layout);
}

// The count's own checks: the plain record takes names of 64 bytes at most.
bool CheckNodeName(CallContext& call, const char* nodeName, bool ex) {
    if (nodeName == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kNodeNull, call.function());
    if (!ex && strnlen(nodeName, kNodeNameMax + 1) > kNodeNameMax)
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kNodeTooLong, call.function());
    return true;
}

const FrameTexts kCountTexts{"qvAPIGetJobCountNode"};
const FrameTexts kCountExTexts{"qvAPIGetJobCountNodeEx"};

}  // namespace

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT int qvAPIGetJob(QVPAPI_HANDLE hApi, const char* lpJobPath, void* lpJobHead) {
    static const qvp::FrameTexts texts{"qvAPIGetJob"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (!CheckArguments(call, hApi, lpJobHead, lpJobPath)) return 0;
        JobFile file;
        if (const uint32_t code = ReadJobFile(call.block(), call.function(), lpJobPath, OpenMode::Exclusive,
                                              EntryNeed::WhenCounted, file)) {
            call.Fail(code);
            return 0;
        }
        auto* out = static_cast<unsigned char*>(lpJobHead);
        std::memcpy(out, file.head, kHeadSize);
        // Nothing counted yet: the head stands as the manager wrote it, and no request is made.
        if (StoredCountSum(file.head) == 0) return 1;
        for (size_t offset : kHeadCounter) Store32(out + offset, 0);
        uint32_t total = 0;
        for (const Entry& entry : file.entries) {
            const QVAPI_EXECUTION* record = nullptr;
            const Lookup found = FindRecord(call, entry, record);
            if (found == Lookup::Failed) return 0;
            if (found == Lookup::Skipped) continue;
            const int index = CounterIndex(qvpJobStatusCode(record));
            if (index < 0) continue;
            AddOne(out, kHeadCounter[index]);
            ++total;
        }
        Store32(out + head::kTotal, total);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetJobHead(QVPAPI_HANDLE hApi, const char* lpJobPath, void* lpJobHead) {
    static const qvp::FrameTexts texts{"qvAPIGetJobHead"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (!CheckArguments(call, hApi, lpJobHead, lpJobPath)) return 0;
        JobFile file;
        if (const uint32_t code = ReadJobFile(call.block(), call.function(), lpJobPath, OpenMode::Shared,
                                              EntryNeed::None, file)) {
            call.Fail(code);
            return 0;
        }
        std::memcpy(lpJobHead, file.head, kHeadSize);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetJobCountNode(QVPAPI_HANDLE hApi, const char* lpJobPath, const char* lpNodeName,
                                                  QVAPI_NODE_JOB* lpNodeJob) {
    return qvp::RunApi(kCountTexts, 0, [&](qvp::CallContext& call) {
        if (!CheckArguments(call, hApi, lpNodeJob, lpJobPath) || !CheckNodeName(call, lpNodeName, false)) return 0;
        return CountNode(call, lpJobPath, lpNodeName, reinterpret_cast<unsigned char*>(lpNodeJob), kNodeJob);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetJobCountNodeEx(QVPAPI_HANDLE hApi, const char* lpJobPath,
                                                    const char* lpNodeName, QVAPI_NODE_JOB_EX* lpNodeJob) {
    return qvp::RunApi(kCountExTexts, 0, [&](qvp::CallContext& call) {
        if (!CheckArguments(call, hApi, lpNodeJob, lpJobPath) || !CheckNodeName(call, lpNodeName, true)) return 0;
        return CountNode(call, lpJobPath, lpNodeName, reinterpret_cast<unsigned char*>(lpNodeJob), kNodeJobEx);
    });
}

namespace qvp::jobs {

int CountNodeOfKeptFile(QVPAPI& block, bool ex, KeptJobFile& kept, const char* jobPath, const char* nodeName,
                        unsigned char* record) {
    return RunApi(ex ? kCountExTexts : kCountTexts, 0, [&](CallContext& call) {
        if (!CheckArguments(call, &block, record, jobPath) || !CheckNodeName(call, nodeName, ex)) return 0;
        return CountKeptNode(call, kept, jobPath, nodeName, record, ex ? kNodeJobEx : kNodeJob);
    });
}

}  // namespace qvp::jobs
