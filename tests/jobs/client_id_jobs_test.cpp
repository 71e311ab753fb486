// Client ID jobs over both job trees: one fixture written under JOBEXEC or SITEJOB gives the
// same walks, and the folder deletions differ only in what they ask of the manager.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "core/block.h"
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

// Every finder whose tree the test names, so that one body runs against either tree.
struct Tree {
    const char* name;
    bool site;
    QVPAPI_HANDLE (*firstWalk)(const char*, QVAPI_JOB*, uint32_t, uint32_t);
    QVPAPI_HANDLE (*firstNodes)(const char*, const char*, QVAPI_NODE_JOB_EX*, uint32_t, uint32_t);
    QVPAPI_HANDLE (*firstIds)(const char*, const char*, QVAPI_NODE_JOB_EX*, uint32_t, uint32_t, uint32_t);
    QVPAPI_HANDLE (*firstPackages)(const char*, const char*, const char*, const char*, QVAPI_PACKAGE_JOB*, uint32_t,
                                   uint32_t);
    int (*deleteFolder)(const char*, const char*, uint32_t, uint32_t);
    const char* deleteKind;  // the f and s fields of each JDEL
};

const Tree kTrees[] = {
    {"JOBEXEC", false, qvAPIFindFirstClientIDJob, qvAPIFindFirstClientNodeIDJobEx, qvAPIFindFirstIDJobEx,
     qvAPIFindFirstClientPackageIDJobEx, qvAPIDeleteFolderJob, "f2  F s1  "},
    {"SITEJOB", true, site::qvAPIFindFirstSiteClientIDJob, qvAPIFindFirstSiteClientNodeIDJobEx,
     qvAPIFindFirstSiteIDJobEx, site::qvAPIFindFirstSiteClientPackageIDJobEx, site::qvAPIDeleteSiteFolderJob,
     "f1   s1 S"},
};

void PrintTo(const Tree& tree, std::ostream* out) { *out << tree.name; }

class ClientIdJobsTest : public JobsTest, public ::testing::WithParamInterface<Tree> {
protected:
    std::string TreeDir() { return GetParam().site ? jobs().SiteJobDir() : jobs().JobExecDir(); }

    void Write(const qvpsim::JobSpec& job) {
        if (GetParam().site) jobs().WriteSiteJob(job);
        else jobs().WriteJob(job);
    }

    // \F1 holds a plain job, an ID job (ID X under M1 with two member clients, ID Y under M2 with
    // one), an empty folder and a folder whose name does not fit a record. The heads keep byte
    // 236 at 0, as the manager writes them.
    void WriteFixture() {
        qvpsim::JobSpec plain;
        plain.path = std::string("\\F1\\") + kPlainJob;
        plain.number = kPlainJob;
        plain.nodes = {Node("pc09", {0x20, 0, 0})};
        plain.storedCounts[0] = 1;  // stored counts are recounted; all 0 would be taken as read
        Write(plain);
        qvpsim::JobSpec id;
        id.path = std::string("\\F1\\") + kIdJob;
        id.number = kIdJob;
        id.name = "ID job";
        id.storedCounts[5] = 7;
        id.nodes = {Node("M1.%X", {0x20, 0, 0}), Node("M2.%Y", {0x20, 0, 0})};
        Write(id);
        jobs().AddRecord(Node("M1.pc01", {0x20, 0, 0}), kIdJob);  // status 3
        jobs().AddRecord(Node("M1.pc02", {0x10, 0, 0}), kIdJob);  // status 0
        jobs().AddRecord(Node("M2.pc03", {0x20, 0, 0}), kIdJob);
        fs::create_directories(TreeDir() + "/F1/SUB");
        fs::create_directories(TreeDir() + "/F1/" + kLongFolder);
    }

    struct Seen {
        std::string name;
        uint32_t kind;
        uint32_t status0, status3;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> Walk(uint32_t option) {
        std::vector<Seen> seen;
        QVAPI_JOB job;
        QVPAPI_HANDLE h = GetParam().firstWalk("\\F1", &job, option, 0);
        if (h == QVPAPI_INVALID_HANDLE) return seen;
        do {
            const bool folder = job.dwKind == QVAPI_JOB_KIND_FOLDER;
            seen.push_back({folder ? std::string(job.szJobName) : std::string(job.szJobNo, 16), job.dwKind,
                            job.dwStatus0, job.dwStatus3});
        } while (qvAPIFindNextClientIDJob(h, &job, 0, 0) == 1);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(qvAPIFindCloseClientIDJob(h, 0, 0), 1);
        return seen;
    }
};

TEST_P(ClientIdJobsTest, BothTreesGiveTheSameWalksAndDeleteTheirOwnWay) {
    WriteFixture();
    Open();
    // Option 0: sub-folders and the ID job, recounted over its member clients only.
    const std::string cut(63, 'W');
    const Seen idJob{kIdJob, QVAPI_JOB_KIND_ID_JOB, 1, 2};
    const std::vector<Seen> option0 = {idJob, {"SUB", 3, 0, 0}, {cut, 3, 0, 0}};
    EXPECT_EQ(Walk(0), option0);
    // Option 4: the plain job as well, with its own entry counted.
    std::vector<Seen> option4 = option0;
    option4.insert(option4.begin(), Seen{kPlainJob, QVAPI_JOB_KIND_JOB, 0, 1});
    EXPECT_EQ(Walk(4), option4);

    // The member clients of the ID job, each under its entry's path.
    QVAPI_NODE_JOB_EX node;
    QVPAPI_HANDLE h = GetParam().firstNodes("\\F1", kIdJob, &node, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    std::vector<std::string> clients;
    do clients.emplace_back(node.szNodeName);
    while (qvAPIFindNextClientNodeIDJobEx(h, &node, 0, 0) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseClientNodeIDJobEx(h, 0, 0), 1);
    EXPECT_EQ(clients, (std::vector<std::string>{"\\M1\\pc01", "\\M1\\pc02", "\\M2\\pc03"}));
    // A plain job is no ID job unless option 4 admits it.
    EXPECT_EQ(GetParam().firstNodes("\\F1", kPlainJob, &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);

    // The IDs of the job, each counted over its member clients.
    h = GetParam().firstIds("\\F1", kIdJob, &node, 1, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    std::vector<std::string> ids;
    do ids.push_back(std::string(node.szNodeName) + ":" + std::to_string(node.dwStatus0) + std::to_string(node.dwStatus3));
    while (qvAPIFindNextIDJobEx(h, &node, 0, 0) == 1);
    EXPECT_EQ(qvAPIFindCloseIDJobEx(h, 0, 0), 1);
    EXPECT_EQ(ids, (std::vector<std::string>{"X:11", "Y:01"}));
    // One client's record for one ID; the other ID has no entry on its path.
    QVAPI_PACKAGE_JOB record;
    h = GetParam().firstPackages("\\F1", kIdJob, "\\M1\\pc01", "X", &record, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_STREQ(record.szNodeName, "\\M1\\pc01");
    EXPECT_EQ(qvAPIFindNextClientPackageIDJobEx(h, &record, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseClientPackageIDJobEx(h, 0, 0), 1);
    EXPECT_EQ(GetParam().firstPackages("\\F1", kIdJob, "\\M1\\pc01", "Y", &record, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    // The folder's jobs go through the manager, then the emptied folders.
    sim().ClearLog();
    ASSERT_EQ(GetParam().deleteFolder("\\", "F1", 0, 0), 1) << std::hex << qvAPIGetLastError();
    const std::vector<std::string> sent = Requests();
    ASSERT_EQ(sent.size(), 2u);
    for (size_t i = 0; i < sent.size(); ++i) {
        const char* number = i == 0 ? kPlainJob : kIdJob;
        EXPECT_EQ(sent[i], std::string("JDEL 3 n20 \\F1\\") + number + " " + GetParam().deleteKind);
    }
    EXPECT_FALSE(fs::exists(TreeDir() + "/F1"));
    // Names are one level: nothing outside the folder is reached.
    for (const char* name : {"..", "F1\\..\\..", "a/b"}) {
        EXPECT_EQ(GetParam().deleteFolder("\\", name, 0, 0), 0) << name;
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER) << name;
    }
}

// Without a socket the records are the local engine's files: a cursor an earlier walk left positioned answers nothing.
TEST_P(ClientIdJobsTest, LocalCursorOfAnEarlierWalkDoesNotAnswerTheNext) {
    WriteFixture();
    for (const std::string& key : records_->Keys('E')) {
        const fs::path file = data() / "SERVER/ZARNQV/MNGFL/EXECUTION" / key.substr(key.size() - 16) /
                              key.substr(0, key.size() - 16);
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << *records_->Record('E', key);
    }
    sim().SetHandshakeReply("CONNECTA 52");
    Open();
    ASSERT_EQ(block()->link, QvpLink::Socketless);
    const std::vector<Seen> fresh = Walk(4);
    ASSERT_EQ(fresh.size(), 4u);
    EXPECT_EQ(fresh[1].status3, 2u);  // the ID job, recounted over the local records
    // A client walk of the ID job stopped after its first, then a client ID job walk likewise.
    QVAPI_NODE_JOB_EX node;
    QVPAPI_HANDLE nodes = GetParam().firstNodes("\\F1", kIdJob, &node, 0, 0);
    ASSERT_NE(nodes, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Walk(4), fresh);
    EXPECT_EQ(qvAPIFindCloseClientNodeIDJobEx(nodes, 0, 0), 1);
    QVAPI_JOB job;
    ASSERT_NE(GetParam().firstWalk("\\F1", &job, 4, 0), QVPAPI_INVALID_HANDLE);
    ASSERT_EQ(qvAPIFindNextClientIDJob(block(), &job, 0, 0), 1);
    EXPECT_EQ(Walk(4), fresh);
}

// An execution record has no length of its own: the client walks take the length its reply delivered.
TEST_P(ClientIdJobsTest, WalksReadTheDeliveredLengthWhateverBytesZeroAndOneHold) {
    Open();
    constexpr char kOther[] = "IB00000000000004";
    for (uint16_t lead : {0x0000, 0x0010, 0x03AF, 0xFFFF}) {
        SCOPED_TRACE(lead);
        jobs().SetRecordLead(lead);
        // ID X named twice on M1's path, each entry with its own record of pc01.
        qvpsim::JobSpec id;
        id.path = std::string("\\F1\\") + kIdJob;
        id.number = kIdJob;
        id.storedCounts[0] = 1;
        id.nodes = {Node("M1.%X", {0x20, 0, 0}), Node("M1.%X", {0x20, 0, 0})};
        id.nodes[1].number = kOther;
        Write(id);
        jobs().AddRecord(Node("M1.pc01", {0x20, 0, 0}), kIdJob);  // status 3
        jobs().AddRecord(Node("M1.pc01", {0x10, 0, 0}), kOther);  // status 0
        QVAPI_NODE_JOB_EX node;
        QVPAPI_HANDLE h = GetParam().firstIds("\\F1", kIdJob, &node, 1, 0, 0);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(std::string(node.szNodeName) + ":" + std::to_string(node.dwStatus0) + std::to_string(node.dwStatus3),
                  "X:11");
        EXPECT_EQ(qvAPIFindCloseIDJobEx(h, 0, 0), 1);
        QVAPI_PACKAGE_JOB record;
        h = GetParam().firstPackages("\\F1", kIdJob, "\\M1\\pc01", "X", &record, 0, 0);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
        ASSERT_EQ(qvAPIFindNextClientPackageIDJobEx(h, &record, 0, 0), 1) << std::hex << qvAPIGetLastError();
        EXPECT_STREQ(record.szNodeName, "\\M1\\pc01");
        EXPECT_EQ(qvAPIFindNextClientPackageIDJobEx(h, &record, 0, 0), 0);
        EXPECT_EQ(qvAPIFindCloseClientPackageIDJobEx(h, 0, 0), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, ClientIdJobsTest, ::testing::ValuesIn(kTrees),
                         [](const auto& info) { return std::string(info.param.name); });

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

// Paths that would leave the tree, names that do not fit, and what is missing or no job: each
// refused with its code before anything is walked.
TEST_F(SiteJobsTest, RefusalsComeWithTheirCodes) {
    fs::create_directories(jobs().JobExecDir() + "/F/QVFOLDER");
    fs::create_directories(jobs().JobExecDir() + "/E/QVFOLDER");
    Open();
    QVAPI_JOB job;
    QVAPI_NODE_JOB node;
    QVAPI_PACKAGE_JOB record;
    const std::string longId(33, 'I');
    const struct {
        const char* what;
        std::function<QVPAPI_HANDLE()> call;
        uint32_t code;
    } cases[] = {
        {"walk above the tree", [&] { return qvAPIFindFirstClientIDJob("\\F\\..\\..", &job, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"walk of a folder holding its index only", [&] { return qvAPIFindFirstClientIDJob("\\E", &job, 0, 0); },
         QVAPI_ERR_NO_MORE_ITEMS},
        {"nodes of a missing job",
         [&] { return qvAPIFindFirstClientNodeIDJob("\\F", "IB00000000000009", &node, 0, 0); },
         QVAPI_ERR_NO_MORE_ITEMS},
        {"nodes of a job a level down", [&] { return qvAPIFindFirstClientNodeIDJob("\\", "F\\IB1", &node, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"nodes of a pattern", [&] { return qvAPIFindFirstClientNodeIDJob("\\", "?", &node, 4, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"nodes of a folder", [&] { return qvAPIFindFirstClientNodeIDJob("\\", "F", &node, 4, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"records below a folder not led by \\",
         [&] { return qvAPIFindFirstClientPackageIDJob("F", "IB00000000000009", "\\pc", &record, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"records of an ID over 32 characters",
         [&] { return qvAPIFindFirstClientPackageIDJobEx("\\", "IB1", "\\pc", longId.c_str(), &record, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), QVPAPI_INVALID_HANDLE) << c.what;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.what;
    }
}

}  // namespace
}  // namespace qvptest
