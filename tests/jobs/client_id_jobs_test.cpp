// Client ID jobs over both job trees: one fixture written under JOBEXEC or SITEJOB gives the
// same walks, and the folder deletions differ only in what they ask of the manager.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/jobs_fixture.h"
#include "jobs/site_id_jobs.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;
using qvpsim::Node;
namespace site = qvp::jobs;

constexpr char kIdJob[] = "IB00000000000001";
constexpr char kPlainJob[] = "0000000000000A01";
const std::string kLongFolder(70, 'W');

// The calling process's open descriptors.
size_t OpenDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

using SiteJobsTest = JobsTest;

TEST_F(SiteJobsTest, DeleteSiteJobSendsTheSiteField) {
    qvpsim::JobSpec job;
    job.path = "\\S\\0000000000000S01";
    job.number = "0000000000000S01";
    job.nodes = {Node("pc01", {0x10, 0, 0})};
    jobs().WriteSiteJob(job);
    job.path = "\\S\\0000000000000S02";
    job.number = "0000000000000S02";
    jobs().WriteSiteJob(job);
    Open();
    struct Case {
        const char* number;
        uint32_t option;
        const char* sent;  // empty: nothing sent
        uint32_t code;
    } cases[] = {
        {"0000000000000S01", 0, "JDEL 3 n19 \\S\\0000000000000S01 f1   s1 S", 0},
        {"0000000000000S02", 0xFFFF, "JDEL 3 n19 \\S\\0000000000000S02 f2  F s1 S", 0},
        {"0000000000000S01", 0, "", QVAPI_ERR_INVALID_PARAMETER},  // gone with the first
        {"", 0, "", QVAPI_ERR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        sim().ClearLog();
        EXPECT_EQ(site::qvAPIDeleteSiteJob("\\S", c.number, c.option, 0), c.code == 0 ? 1 : 0) << c.number;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.number;
        EXPECT_EQ(Requests(), c.sent[0] ? std::vector<std::string>{c.sent} : std::vector<std::string>{});
    }
    EXPECT_FALSE(fs::exists(jobs().SiteJobDir() + "/S/0000000000000S02"));
}

// One walk per thread and family, whichever tree: a FindFirst on the other tree ends the running
// walk and gives its listing back.
TEST_F(SiteJobsTest, AWalkOfTheOtherTreeEndsTheRunningOne) {
    fs::create_directories(jobs().JobExecDir() + "/A");
    fs::create_directories(jobs().JobExecDir() + "/B");
    fs::create_directories(jobs().SiteJobDir() + "/C");
    fs::create_directories(jobs().SiteJobDir() + "/D");
    Open();
    QVAPI_JOB job;
    QVPAPI_HANDLE first = qvAPIFindFirstClientIDJob(nullptr, &job, 0, 0);
    ASSERT_NE(first, QVPAPI_INVALID_HANDLE);
    const size_t open = OpenDescriptors();
    QVPAPI_HANDLE second = site::qvAPIFindFirstSiteClientIDJob("\\", &job, 0, 0);
    ASSERT_EQ(second, first);
    EXPECT_EQ(OpenDescriptors(), open);
    EXPECT_STREQ(job.szJobName, "C");
    // The twin's Next goes on with the site walk.
    ASSERT_EQ(qvAPIFindNextClientIDJob(first, &job, 0, 0), 1);
    EXPECT_STREQ(job.szJobName, "D");
    // A failed FindFirst ends it as well.
    EXPECT_EQ(qvAPIFindFirstClientIDJob("\\..\\SITEJOB", &job, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(OpenDescriptors(), open - 1);
    EXPECT_EQ(qvAPIFindNextClientIDJob(first, &job, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
}

}  // namespace
}  // namespace qvptest
