// The job status code of an execution record, rule by rule and in rule order, and the level
// adapters that fold statuses 7 and 8 into status 3 for callers below API level 3.
#include <gtest/gtest.h>

#include <cstring>

#include "jobs/job_records.h"
#include "jobs/jobexec_file.h"
#include "qvpapi.h"

namespace {

using qvp::jobs::qvpJobStatusCode;

struct StatusCase {
    uint8_t s, u, d;
    int code;
};

class StatusCodeTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusCodeTest, FirstMatchingRuleDecides) {
    const StatusCase& c = GetParam();
    QVAPI_EXECUTION record;
    std::memset(&record, 0, sizeof record);
    record.ucStatus[0] = c.s;
    record.ucStatus[1] = c.u;
    record.ucStatus[2] = c.d;
    EXPECT_EQ(qvpJobStatusCode(&record), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, StatusCodeTest,
    ::testing::Values(
        // rule 1, and its second byte outside the list
        StatusCase{0x10, 0x00, 0x00, 0}, StatusCase{0x10, 0x10, 0x00, 0}, StatusCase{0x10, 0x40, 0x00, 0},
        StatusCase{0x10, 0x20, 0x00, 255}, StatusCase{0x10, 0x00, 0x01, 255},
        // rule 2 before rule 4: a wait mark does not hide a running record
        StatusCase{0x20, 0x00, 0x20, 1}, StatusCase{0x20, 0x00, 0x80, 1}, StatusCase{0x20, 0x40, 0x20, 1},
        StatusCase{0x20, 0x00, 0xB0, 1},
        StatusCase{0x90, 0x12, 0x34, 2},
        // rule 4, its second-byte alternative before rules 5 and 6
        StatusCase{0x20, 0x00, 0x00, 3}, StatusCase{0x20, 0x00, 0x75, 3}, StatusCase{0x20, 0x40, 0xF0, 3},
        StatusCase{0x20, 0x40, 0x76, 3},
        StatusCase{0x20, 0x00, 0xF0, 2}, StatusCase{0x20, 0x00, 0x76, 7}, StatusCase{0x20, 0x00, 0x10, 255},
        // rule 7 before the mask of rule 8
        StatusCase{0x30, 0x00, 0x8F, 6}, StatusCase{0x30, 0x00, 0x90, 5}, StatusCase{0x30, 0x00, 0xF5, 5},
        StatusCase{0x30, 0x00, 0x80, 255},
        StatusCase{0x40, 0x00, 0x00, 3}, StatusCase{0x40, 0x00, 0x01, 255},
        StatusCase{0x50, 0x99, 0x99, 7},
        StatusCase{0x60, 0x00, 0x76, 7}, StatusCase{0x60, 0x00, 0x00, 8}, StatusCase{0x60, 0x40, 0x20, 8},
        StatusCase{0x00, 0x00, 0x00, 255}, StatusCase{0x70, 0x00, 0x00, 255}));

TEST(LevelAdapters, NodeJobFoldsOnlyCountersWithinTheGivenSize) {
    QVAPI_NODE_JOB source{};
    source.dwStatus3 = 1;
    source.dwStatus7 = 2;
    source.dwStatus8 = 5;
    QVAPI_NODE_JOB out;
    std::memset(&out, 0xAB, sizeof out);
    qvp::jobs::qvpAPICopyNodeJobData(2, &out, &source, sizeof out);
    EXPECT_EQ(out.dwStatus3, 3u);
    EXPECT_EQ(out.dwStatus7, 0u);
    EXPECT_EQ(out.dwStatus8, 0u);
    // A record smaller than its counters of status 7 and 8 is copied, never written past.
    std::memset(&out, 0xAB, sizeof out);
    qvp::jobs::qvpAPICopyNodeJobData(2, &out, &source, 128);
    EXPECT_EQ(out.dwStatus3, 1u);
    EXPECT_EQ(out.dwStatus7, 0xABABABABu);

    QVAPI_NODE_JOB_EX ex{}, exOut{};
    ex.dwStatus3 = 4;
    ex.dwStatus7 = 1;
    qvp::jobs::qvpAPICopyNodeJobDataEx(3, &exOut, &ex, QVAPI_NODE_JOB_EX_BASE_SIZE);
    EXPECT_EQ(exOut.dwStatus3, 4u);
    EXPECT_EQ(exOut.dwStatus7, 1u);
}

}  // namespace
