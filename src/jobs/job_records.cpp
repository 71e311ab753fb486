#include "jobs/job_records.h"

#include <cstring>

#include "jobs/jobexec_file.h"

namespace qvp::jobs {

namespace {

constexpr int kAny = -1;

// One row of the status rules: first status byte s, then the third byte d (after the mask)
// from a list, the second byte u from a list, or u alone equal to `orSecond`.
struct StatusRule {
    uint8_t first;
    int third[4];
    int second[3];
    uint8_t thirdMask;
    int orSecond;
    int code;
};

constexpr StatusRule kRules[] = {
    {0x10, {0x00, kAny, kAny, kAny}, {0x00, 0x10, 0x40}, 0xFF, kAny, 0},
    {0x20, {0x20, 0x80, 0xB0, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 1},
    {0x90, {kAny, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 2},
    {0x20, {0x00, 0x50, 0x60, 0x75}, {kAny, kAny, kAny}, 0xFF, 0x40, 3},
    {0x20, {0xF0, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 2},
    {0x20, {0x76, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 7},
    {0x30, {0x8F, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 6},
    {0x30, {0x90, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0x90, kAny, 5},
    {0x40, {0x00, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 3},
    {0x50, {kAny, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 7},
    {0x60, {0x76, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 7},
    {0x60, {kAny, kAny, kAny, kAny}, {kAny, kAny, kAny}, 0xFF, kAny, 8},
};
constexpr int kUnknownStatus = 255;

// A list whose first value is kAny takes every byte.
template <size_t N>
bool InList(const int (&list)[N], int value) {
    if (list[0] == kAny) return true;
    for (int v : list)
        if (v == value) return true;
    return false;
}

bool Matches(const StatusRule& rule, uint8_t s, uint8_t u, uint8_t d) {
    if (s != rule.first) return false;
    if (rule.orSecond != kAny && u == rule.orSecond) return true;
    return InList(rule.third, d & rule.thirdMask) && InList(rule.second, u);
}

// Folds the counts of statuses 7 and 8 into status 3 for callers below API level 3.
void FoldLateStatuses(uint32_t apiLevel, unsigned char* record, size_t size, const size_t (&counters)[kStatusCount]) {
    if (apiLevel >= kLevelWithStatus7And8) return;
    const size_t status3 = counters[CounterIndex(3)];
    const size_t status7 = counters[CounterIndex(7)];
    const size_t status8 = counters[CounterIndex(8)];
    if (status8 + 4 > size) return;
    Store32(record + status3, Load32(record + status3) + Load32(record + status7));
    Store32(record + status7, 0);
    Store32(record + status8, 0);
}

}  // namespace

int qvpJobStatusCode(const QVAPI_EXECUTION* record) {
    const uint8_t s = record->ucStatus[0], u = record->ucStatus[1], d = record->ucStatus[2];
    for (const StatusRule& rule : kRules)
        if (Matches(rule, s, u, d)) return rule.code;
    return kUnknownStatus;
}

void qvpAPICopyJobData(uint32_t apiLevel, const void* headBytes, QVAPI_JOB* job, int kind) {
    const auto* h = static_cast<const unsigned char*>(headBytes);
    auto* out = reinterpret_cast<unsigned char*>(job);
    // The head keeps 8 stored bytes before the kind; the caller's record the kind first.
    std::memcpy(out, h, offsetof(QVAPI_JOB, dwKind));
    std::memcpy(out + offsetof(QVAPI_JOB, dwKind), h + head::kKind, sizeof job->dwKind);
    std::memcpy(out + offsetof(QVAPI_JOB, ucStored72), h + head::kStored68, sizeof job->ucStored72);
    std::memcpy(out + offsetof(QVAPI_JOB, szJobNo), h + head::kJobNumber,
                offsetof(QVAPI_JOB, ucReserved228) - offsetof(QVAPI_JOB, szJobNo));
    out[offsetof(QVAPI_JOB, ucStored236)] = h[offsetof(QVAPI_JOB, ucStored236)];
    FoldLateStatuses(apiLevel, out, sizeof *job, kHeadCounter);
    if (kind == QVAPI_JOB_KIND_JOB || kind == QVAPI_JOB_KIND_ID_JOB) job->dwKind = static_cast<uint32_t>(kind);
}

void qvpAPICopyNodeJobData(uint32_t apiLevel, void* destination, const void* source, size_t size) {
    std::memcpy(destination, source, size);
    FoldLateStatuses(apiLevel, static_cast<unsigned char*>(destination), size, kNodeJobCounter);
}

void qvpAPICopyNodeJobDataEx(uint32_t apiLevel, void* destination, const void* source, size_t size) {
    std::memcpy(destination, source, size);
    FoldLateStatuses(apiLevel, static_cast<unsigned char*>(destination), size, kNodeJobExCounter);
}

}  // namespace qvp::jobs
