// The job readers over real job execution files and the simulator's execution records.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "jobs/job_records.h"
#include "jobs/jobexec_file.h"
#include "jobs/jobs_fixture.h"
#include "platform/platform_fixture.h"

namespace qvptest {
namespace {

using qvpsim::Node;

constexpr char kNumber[] = "00000000000000A1";
constexpr char kOther[] = "00000000000000A2";
constexpr char kPath[] = "\\F1\\00000000000000A1";

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class JobReadersTest : public JobsTest {
protected:
    // One entry of each counted status, two in status 7, one the manager keeps no record of, and
    // a second entry of pc02 under another job number.
    qvpsim::JobSpec MixedJob() {
        qvpsim::JobSpec job;
        job.path = kPath;
        job.number = kNumber;
        job.storedCounts[0] = 9;
        job.nodes = {Node("pc00", {0x10, 0, 0}),    Node("pc01", {0x10, 0, 0}),    Node("pc02", {0x20, 0, 0x20}),
                     Node("pc03", {0x20, 0, 0x76}), Node("pc04", {0x50, 0, 0}),    Node("pc05", {0x60, 0, 0}),
                     Node("pc06", {0x20, 0, 0}),    Node("pc07", {0x10, 0, 0}, false),
                     Node(std::string(80, 'L'), {0x90, 0, 0})};
        qvpsim::JobNode again = Node("pc02", {0x90, 0, 0});
        again.number = kOther;
        again.kind = 'X';
        again.flags = 0x04;
        job.nodes.push_back(again);
        return job;
    }
    std::string FilePath() const { return qvpsim::JobStore::JobFilePath(jobs_->JobExecDir(), kPath); }
    void WriteRaw(const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(FilePath()).parent_path());
        std::ofstream(FilePath(), std::ios::binary | std::ios::trunc) << bytes;
    }
};

TEST_F(JobReadersTest, RecountGivesTheCountsEachApiLevelShows) {
    jobs().WriteJob(MixedJob());
    Open();
    // The manager answers the first lookup "no more": that entry counts nowhere.
    sim().Script("FGET", qvpsim::Action::Reply("0 160"));
    sim().ClearLog();
    unsigned char head[QVAPI_JOB_SIZE];
    ASSERT_EQ(qvAPIGetJob(block(), kPath, head), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(Requests().size(), 10u);  // one lookup per entry

    const struct {
        uint32_t level, status3, status7, status8;
    } levels[] = {{2, 1 + 2, 0, 0}, {3, 1, 2, 1}};
    for (const auto& l : levels) {
        QVAPI_JOB job;
        std::memset(&job, 0, sizeof job);
        qvp::jobs::qvpAPICopyJobData(l.level, head, &job, QVAPI_JOB_KIND_JOB);
        EXPECT_EQ(job.dwKind, QVAPI_JOB_KIND_JOB);
        EXPECT_EQ(std::string(job.szJobNo, 16), kNumber);
        EXPECT_EQ(job.dwStatus0, 1u) << l.level;
        EXPECT_EQ(job.dwStatus1, 1u) << l.level;
        EXPECT_EQ(job.dwStatus2, 2u) << l.level;
        EXPECT_EQ(job.dwStatus3, l.status3) << l.level;
        EXPECT_EQ(job.dwStatus4, 0u) << l.level;
        EXPECT_EQ(job.dwStatus7, l.status7) << l.level;
        EXPECT_EQ(job.dwStatus8, l.status8) << l.level;
        EXPECT_EQ(job.dwTotal, 8u) << l.level;
        EXPECT_EQ(job.dwEntryCount, 10u);
    }
}

TEST_F(JobReadersTest, UncountedHeadIsReturnedAsStoredWithoutARequest) {
    qvpsim::JobSpec job = MixedJob();
    job.storedCounts = {};
    jobs().WriteJob(job);
    Open();
    sim().ClearLog();
    unsigned char head[QVAPI_JOB_SIZE];
    ASSERT_EQ(qvAPIGetJob(block(), kPath, head), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), sizeof head), ReadBytes(FilePath()).substr(0, QVAPI_JOB_SIZE));
    EXPECT_TRUE(Requests().empty());
}

TEST_F(JobReadersTest, NodeCountAddsEveryEntryOfTheNode) {
    jobs().WriteJob(MixedJob());
    Open();
    QVAPI_NODE_JOB node;
    std::memset(&node, 0xEE, sizeof node);
    ASSERT_EQ(qvAPIGetJobCountNode(block(), kPath, "pc02", &node), 1);
    EXPECT_EQ(node.dwStatus1, 1u);
    EXPECT_EQ(node.dwStatus2, 1u);
    EXPECT_EQ(node.ucKind, 'X');  // from the last counted record
    EXPECT_EQ(node.ucFlag, 1u);
    EXPECT_EQ(std::string(node.szDateTime, 14), "20240102030405");
    EXPECT_EQ(static_cast<uint8_t>(node.szNodeName[0]), 0xEE);  // not the counter's to set

    QVAPI_NODE_JOB_EX ex{};
    ASSERT_EQ(qvAPIGetJobCountNodeEx(block(), kPath, std::string(80, 'L').c_str(), &ex), 1);
    EXPECT_EQ(ex.dwStatus2, 1u);
    // A node with entries but no record.
    EXPECT_EQ(qvAPIGetJobCountNode(block(), kPath, "pc07", &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIGetJobCountNode(block(), kPath, std::string(65, 'n').c_str(), &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

// The manager, another process, holds the job's file while it rewrites it.
TEST_F(JobReadersTest, FileHeldExclusivelyByAnotherProcess) {
    jobs().WriteJob(MixedJob());
    Open();
    qvp_test::Channel toParent, toChild;
    const pid_t manager = qvp_test::Spawn([&] {
        const qvpsim::JobStore::Hold hold = qvpsim::JobStore::HoldExclusive(FilePath());
        toParent.Send(hold.held() ? 'h' : 'f');
        toChild.Receive();
        return 0;
    });
    ASSERT_EQ(toParent.Receive(), 'h');
    unsigned char head[QVAPI_JOB_SIZE];
    QVAPI_NODE_JOB node;
    EXPECT_EQ(qvAPIGetJob(block(), kPath, head), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIGetJobCountNode(block(), kPath, "pc01", &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIGetJobHead(block(), kPath, head), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    toChild.Send('x');
    EXPECT_EQ(qvp_test::Join(manager), 0);
    EXPECT_EQ(qvAPIGetJobHead(block(), kPath, head), 1);
}

// Defective files are refused before any lookup; whatever their numbers say, nothing is read
// past the file.
TEST_F(JobReadersTest, DefectiveFilesAreRefused) {
    qvpsim::JobSpec job = MixedJob();
    job.nodes.resize(2);
    const std::string good = qvpsim::JobStore::JobExecFileBytes(job);
    const size_t entry = qvp::jobs::kHeadSize;
    auto patched = [&](size_t offset, uint32_t value, size_t zerosAfter = 0) {
        std::string bytes = good + std::string(zerosAfter, '\0');
        qvp::jobs::Store32(reinterpret_cast<unsigned char*>(bytes.data()) + offset, value);
        return bytes;
    };
    const uint32_t pastTwoEntries = 2 * qvp::jobs::kMaxEntrySize + 1;
    // An entry whose own length holds its whole 521-byte name: only the name limit refuses it.
    qvpsim::JobSpec longName = MixedJob();
    longName.nodes = {Node(std::string(521, 'L'), {0x10, 0, 0})};
    const std::string longBytes = qvpsim::JobStore::JobExecFileBytes(longName);
    ASSERT_GE(qvp::jobs::Load32(reinterpret_cast<const unsigned char*>(longBytes.data()) + entry),
              qvp::jobs::entry::kName + 521);
    ASSERT_NE(qvp::jobs::StoredCountSum(reinterpret_cast<const unsigned char*>(longBytes.data())), 0u);
    const struct {
        const char* what;
        std::string bytes;
        uint32_t code;
    } cases[] = {
        {"short head", good.substr(0, 200), QVAPI_ERR_RESOURCE},
        {"entry holding a 521-byte name", longBytes, QVAPI_ERR_UNEXPECTED_DATA},
        {"area past the file", patched(0, 0x7FFFFFF0u), QVAPI_ERR_RESOURCE},
        {"area past what its entries can fill", patched(0, pastTwoEntries, pastTwoEntries), QVAPI_ERR_RESOURCE},
        {"entry count past the area", patched(152, 0xFFFFFFFFu), QVAPI_ERR_UNEXPECTED_DATA},
        {"entry length 0", patched(entry, 0), QVAPI_ERR_UNEXPECTED_DATA},
        {"entry past the area", patched(entry, 0x10000), QVAPI_ERR_UNEXPECTED_DATA},
        {"name past the entry", patched(entry + 84, 90), QVAPI_ERR_UNEXPECTED_DATA},
        {"name over 520 bytes", patched(entry + 84, 521), QVAPI_ERR_UNEXPECTED_DATA},
    };
    Open();
    sim().ClearLog();
    for (const auto& c : cases) {
        WriteRaw(c.bytes);
        unsigned char head[QVAPI_JOB_SIZE];
        EXPECT_EQ(qvAPIGetJob(block(), kPath, head), 0) << c.what;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.what;
    }
    EXPECT_TRUE(Requests().empty());
}

TEST_F(JobReadersTest, ArgumentsAndPathsOutsideTheJobTree) {
    jobs().WriteJob(MixedJob());
    Open();
    unsigned char head[QVAPI_JOB_SIZE];
    const struct {
        QVPAPI_HANDLE api;
        const char* path;
        void* out;
        uint32_t code;
    } cases[] = {
        {nullptr, kPath, head, QVAPI_ERR_INVALID_PARAMETER},
        {block(), nullptr, head, QVAPI_ERR_INVALID_PARAMETER},
        {block(), kPath, nullptr, QVAPI_ERR_INVALID_PARAMETER},
        {head, kPath, head, QVAPI_ERR_INVALID_HANDLE},
        {block(), "\\F1\\..\\F1\\00000000000000A1", head, QVAPI_ERR_INVALID_PARAMETER},
        {block(), "\\F1\\00000000000000ZZ", head, QVAPI_ERR_NO_MORE_ITEMS},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qvAPIGetJobHead(c.api, c.path, c.out), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_RESOURCE : c.code);
        EXPECT_EQ(qvAPIGetJob(c.api, c.path, c.out), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
    }
}

TEST_F(JobReadersTest, IndexGivesTheJobPath) {
    jobs().WriteJob(MixedJob());
    Open();
    std::string path;
    EXPECT_EQ(qvp::jobs::ReadJobExecPath(*block(), kNumber, path), 0u);
    EXPECT_EQ(path, kPath);
    std::ofstream(jobs().JobExecDir() + "/QVFOLDER/" + kNumber + "/jobexecpath", std::ios::trunc) << "\\..\\..\\x";
    EXPECT_EQ(qvp::jobs::ReadJobExecPath(*block(), kNumber, path), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(qvp::jobs::ReadJobExecPath(*block(), "..", path), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvp::jobs::ReadJobExecPath(*block(), kOther, path), QVAPI_ERR_NO_MORE_ITEMS);
}

}  // namespace
}  // namespace qvptest
