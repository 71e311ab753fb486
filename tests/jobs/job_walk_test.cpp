// The job walk over a fixture tree, a job by its number, and folder trees deleted through the
// manager's JDEL.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/errors.h"
#include "jobs/job_walks.h"
#include "jobs/jobs_fixture.h"
#include "platform/win.h"
#include "records/records.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;
using qvpsim::Node;

constexpr char kTopJob[] = "0000000000000A01";
constexpr char kSubJob[] = "0000000000000B01";
constexpr char kIdJob[] = "IB00000000000001";

class JobWalkTest : public JobsTest {
protected:
    struct Deleted {
        std::string path, kind;
    };

    void AddHandlers(qvpsim::ManagerSim& sim) override {
        JobsTest::AddHandlers(sim);
        // The manager deletes the job and its directory before it answers.
        sim.Handle("JDEL", [this](qvpsim::Call& call) {
            const std::string path(call.request.Value(0));
            deleted_.push_back({path, std::string(call.request.Value(1))});
            fs::remove_all(fs::path(qvpsim::JobStore::JobFilePath(jobs_->JobExecDir(), path)).parent_path());
            return std::string(qvpsim::kReplyOk);
        });
    }

    void WriteJob(const std::string& path, const std::string& number) {
        qvpsim::JobSpec job;
        job.path = path;
        job.number = number;
        job.name = "name of " + number;
        job.storedCounts[3] = 1;
        job.nodes = {Node("pc01", {0x20, 0, 0})};  // status 3
        jobs().WriteJob(job);
    }
    // Top: a job and folder F1; F1: a job, an ID job, an empty folder and one with a long name.
    void WriteTree() {
        WriteJob(std::string("\\") + kTopJob, kTopJob);
        WriteJob(std::string("\\F1\\") + kSubJob, kSubJob);
        WriteJob(std::string("\\F1\\") + kIdJob, kIdJob);
        fs::create_directories(jobs().JobExecDir() + "/F1/SUB");
        fs::create_directories(jobs().JobExecDir() + "/F1/" + std::string(70, 'W'));
    }

    struct Seen {
        std::string name;
        uint32_t kind;
    };
    std::vector<Seen> Walk(const char* folder) {
        std::vector<Seen> seen;
        QVAPI_JOB job;
        QVPAPI_HANDLE h = qvAPIFindFirstJob(folder, &job, 0, 0);
        if (h == QVPAPI_INVALID_HANDLE) return seen;
        do {
            const bool isFolder = job.dwKind == QVAPI_JOB_KIND_FOLDER;
            seen.push_back({isFolder ? std::string(job.szJobName) : std::string(job.szJobNo, 16), job.dwKind});
            if (!isFolder) {
                EXPECT_EQ(job.dwStatus3, 1u);
            }
        } while (qvAPIFindNextJob(h, &job, 0, 0) == 1);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(qvAPIFindCloseJob(h, 0, 0), 1);
        return seen;
    }

    std::vector<Deleted> deleted_;
};

TEST_F(JobWalkTest, WalksEachFolderInListingOrderWithKinds) {
    WriteTree();
    Open();
    const struct {
        const char* folder;
        std::vector<std::string> names;
        std::vector<uint32_t> kinds;
    } cases[] = {
        {nullptr, {kTopJob, "F1"}, {4, 3}},  // QVFOLDER never comes back
        {"\\", {kTopJob, "F1"}, {4, 3}},
        {"\\F1", {kSubJob, kIdJob, "SUB", std::string(63, 'W')}, {4, 5, 3, 3}},
    };
    for (const auto& c : cases) {
        const std::vector<Seen> seen = Walk(c.folder);
        ASSERT_EQ(seen.size(), c.names.size()) << (c.folder ? c.folder : "NULL");
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].name, c.names[i]);
            EXPECT_EQ(seen[i].kind, c.kinds[i]);
        }
    }
    // A folder record is its name and kind, nothing else.
    QVAPI_JOB job;
    QVPAPI_HANDLE h = qvAPIFindFirstJob("\\F1", &job, 0, 0);
    ASSERT_EQ(qvAPIFindNextJob(h, &job, 0, 0), 1);
    ASSERT_EQ(qvAPIFindNextJob(h, &job, 0, 0), 1);
    QVAPI_JOB expected;
    std::memset(&expected, 0, sizeof expected);
    std::strcpy(expected.szJobName, "SUB");
    expected.dwKind = QVAPI_JOB_KIND_FOLDER;
    EXPECT_EQ(std::memcmp(&job, &expected, sizeof job), 0);
    EXPECT_EQ(qvAPIFindCloseJob(h, 0, 0), 1);
}

TEST_F(JobWalkTest, RefusalsAndHandles) {
    fs::create_directories(jobs().JobExecDir() + "/QVFOLDER");
    Open();
    QVAPI_JOB job;
    // Only the index folder: nothing to list.
    EXPECT_EQ(qvAPIFindFirstJob("\\", &job, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    WriteTree();
    for (const char* folder : {"\\..", "\\F1\\..\\..", "F1", "\\F1\\0000000000000B01"}) {
        EXPECT_EQ(qvAPIFindFirstJob(folder, &job, 0, 0), QVPAPI_INVALID_HANDLE) << folder;
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER) << folder;
    }
    // A second FindFirst replaces the first walk; after the close the handle is refused.
    QVPAPI_HANDLE first = qvAPIFindFirstJob("\\F1", &job, 0, 0);
    QVPAPI_HANDLE second = qvAPIFindFirstJob("\\", &job, 0, 0);
    ASSERT_EQ(first, second);
    EXPECT_EQ(std::string(job.szJobNo, 16), kTopJob);
    ASSERT_EQ(qvAPIFindNextJob(second, &job, 0, 0), 1);
    EXPECT_STREQ(job.szJobName, "F1");
    EXPECT_EQ(qvAPIFindCloseJob(second, 0, 0), 1);
    EXPECT_EQ(qvAPIFindNextJob(second, &job, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
}

TEST_F(JobWalkTest, FindJobResolvesThroughTheIndex) {
    WriteTree();
    Open();
    const struct {
        const char* number;
        int result;
        uint32_t code, kind;
    } cases[] = {
        {kSubJob, 1, 0, QVAPI_JOB_KIND_JOB},
        {kIdJob, 1, 0, QVAPI_JOB_KIND_ID_JOB},
        {"00000000000000FF", 0, QVAPI_ERR_NO_MORE_ITEMS, 0},
        {"..", 0, QVAPI_ERR_INVALID_PARAMETER, 0},
    };
    for (const auto& c : cases) {
        QVAPI_JOB job{};
        EXPECT_EQ(qvAPIFindJob(c.number, &job, 0, 0), c.result) << c.number;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.number;
        if (c.result == 1) {
            EXPECT_EQ(job.dwKind, c.kind);
            EXPECT_EQ(std::string(job.szJobName), std::string("name of ") + c.number);
        }
    }
}

TEST_F(JobWalkTest, DeleteFolderEmptiesAndRemovesATwoLevelTree) {
    WriteTree();
    WriteJob("\\F1\\SUB\\0000000000000C01", "0000000000000C01");
    Open();
    ASSERT_EQ(qvAPIDeleteFolderJob("\\", "F1", 0, 0), 1) << std::hex << qvAPIGetLastError();
    const std::vector<std::string> paths = {std::string("\\F1\\") + kSubJob, std::string("\\F1\\") + kIdJob,
                                            "\\F1\\SUB\\0000000000000C01"};
    ASSERT_EQ(deleted_.size(), paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(deleted_[i].path, paths[i]);
        EXPECT_EQ(deleted_[i].kind, " F");
    }
    EXPECT_FALSE(fs::exists(jobs().JobExecDir() + "/F1"));
    EXPECT_TRUE(fs::exists(qvpsim::JobStore::JobFilePath(jobs().JobExecDir(), std::string("\\") + kTopJob)));
}

TEST_F(JobWalkTest, DeleteFolderExKeepsFoldersAndRefusesOtherNames) {
    WriteTree();
    Open();
    ASSERT_EQ(qvAPIDeleteFolderJobEx(nullptr, "F1", 0, 0), 1);
    ASSERT_EQ(deleted_.size(), 2u);
    EXPECT_EQ(deleted_[0].kind, " ");
    EXPECT_TRUE(fs::is_directory(jobs().JobExecDir() + "/F1/SUB"));
    // ".." under the top would reach every top-level job; names are one level.
    for (const char* name : {static_cast<const char*>(nullptr), "", ".", "..", "F1\\SUB", "../F1", kTopJob}) {
        EXPECT_EQ(qvAPIDeleteFolderJob("\\", name, 0, 0), 0) << (name ? name : "NULL");
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER) << (name ? name : "NULL");
    }
    EXPECT_EQ(qvAPIDeleteFolderJob("\\F1\\..", "F1", 0, 0), 0);
    EXPECT_EQ(deleted_.size(), 2u);
}

// A sub-folder too deep to be looked into comes back by its name; only a walk of it fails.
TEST_F(JobWalkTest, FoldersTooDeepToLookIntoComeBackByName) {
    const size_t root = (data() / "SERVER/ZARNQV/MNGFL/JOBEXEC").string().size();
    ASSERT_LT(root, 200u);
    const std::string folder = "\\" + std::string(229 - root, 'f');  // its full path: 230
    WriteJob(folder + "\\" + kSubJob, kSubJob);                      // jobexecfile: 259
    const std::string deep(30, 'S');                                  // full path: 261
    fs::create_directories(jobs().JobExecDir() + "/" + folder.substr(1) + "/" + deep);
    Open();
    const std::vector<Seen> seen = Walk(folder.c_str());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].name, kSubJob);
    EXPECT_EQ(seen[1].name, deep);
    EXPECT_EQ(seen[1].kind, QVAPI_JOB_KIND_FOLDER);
    QVAPI_JOB job;
    EXPECT_EQ(qvAPIFindFirstJob((folder + "\\" + deep).c_str(), &job, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);

    // The client ID job walk (plain jobs admitted) reports it the same way.
    std::vector<std::string> names;
    QVPAPI_HANDLE h = qvAPIFindFirstClientIDJob(folder.c_str(), &job, 4, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    do names.push_back(job.dwKind == QVAPI_JOB_KIND_FOLDER ? job.szJobName : std::string(job.szJobNo, 16));
    while (qvAPIFindNextClientIDJob(h, &job, 0, 0) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseClientIDJob(h, 0, 0), 1);
    EXPECT_EQ(names, (std::vector<std::string>{kSubJob, deep}));

    // The Abstract walk of the folder reports it with its path.
    QVPAPI_HANDLE query = qvAPICreateQuery(1, 0, 0);
    ASSERT_EQ(qvAPISetJobFolderQuery(query, folder.c_str(), 1, 0, 0), 1);
    QVAPI_QJOB r;
    ASSERT_EQ(qvAPIAbstractFirstJob(query, &r, 0, 0), query) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPIAbstractNextJob(query, &r, 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(r.Job.dwKind, QVAPI_JOB_KIND_FOLDER);
    EXPECT_EQ(std::string(r.szPath), folder + "\\" + deep);
    EXPECT_EQ(qvAPIAbstractCloseJob(query, 0, 0), 1);
    EXPECT_EQ(qvAPICloseQuery(query, 0, 0), 1);
}

// A folder entry whose path (the query's folder, "\" and its name) reaches the 260-byte path
// field is refused, and nothing is written into the field.
TEST_F(JobWalkTest, AbstractPathFieldIsNeverFilledPastItsEnd) {
    // The folder must be listable (255 characters with the store's root) and its path with a
    // 63-byte name must reach 260: the install root is named through a short link, in a folder
    // of its own below /tmp whatever TMPDIR is.
    char shortDir[] = "/tmp/qvpXXXXXX";
    if (!mkdtemp(shortDir)) GTEST_SKIP() << "no folder of its own below /tmp for a short path";
    const fs::path link = fs::path(shortDir) / "r";
    struct Remove {
        fs::path path;
        ~Remove() { fs::remove_all(path); }
    } remove{shortDir};
    fs::create_directory_symlink(data(), link);
    ASSERT_TRUE(win::registry::Set("PathName", link.string()));
    const size_t root = (link / "SERVER/ZARNQV/MNGFL/JOBEXEC").string().size();
    ASSERT_LE(root, 59u);
    const std::string folder = "\\" + std::string(254 - root, 'g');  // its full path: 255
    const std::string name(259 - folder.size(), 'N');                  // folder\name: 260
    ASSERT_LE(name.size(), 63u);
    fs::create_directories(jobs().JobExecDir() + "/" + folder.substr(1) + "/" + name);
    Open();
    const std::vector<Seen> seen = Walk(folder.c_str());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].name, name);
    QVPAPI_HANDLE query = qvAPICreateQuery(1, 0, 0);
    ASSERT_EQ(qvAPISetJobFolderQuery(query, folder.c_str(), 1, 0, 0), 1);
    QVAPI_QJOB r;
    std::memset(&r, 0x5A, sizeof r);
    EXPECT_EQ(qvAPIAbstractFirstJob(query, &r, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_PATH_TOO_LONG);
    EXPECT_EQ(std::string(r.szPath, strnlen(r.szPath, sizeof r.szPath)), "");
    EXPECT_EQ(qvAPICloseQuery(query, 0, 0), 1);
}

// Another writer of the store plants links in the job tree: one to a tree of empty folders
// outside the root, one to a job folder outside it. Neither is a folder or a job: the walk does
// not list them, no walk starts through them, and the folder delete passes neither.
TEST_F(JobWalkTest, LinksInTheJobTreeAreNeitherFoldersNorJobs) {
    WriteTree();
    WriteJob("\\F1\\SUB\\0000000000000C01", "0000000000000C01");
    constexpr char kOutJob[] = "0000000000000D01";
    WriteJob(std::string("\\OUT\\") + kOutJob, kOutJob);
    const fs::path outside = root_ / "outside";
    fs::create_directories(outside / "empty" / "E1" / "E2");
    fs::rename(jobs().JobExecDir() + "/OUT", outside / "OUT");
    const fs::path outJob = outside / "OUT" / kOutJob;
    ASSERT_TRUE(fs::is_directory(outJob));
    fs::create_directory_symlink(outside / "empty", jobs().JobExecDir() + "/F1/LINKDIR");
    fs::create_directory_symlink(outJob, jobs().JobExecDir() + "/F1/" + kOutJob);
    Open();
    const std::vector<Seen> seen = Walk("\\F1");
    EXPECT_EQ(seen.size(), 4u);
    for (const Seen& s : seen) EXPECT_TRUE(s.name != "LINKDIR" && s.name != kOutJob) << s.name;
    QVAPI_JOB job;
    for (const std::string& folder : {std::string("\\F1\\LINKDIR"), std::string("\\F1\\LINKDIR\\E1")}) {
        EXPECT_EQ(qvAPIFindFirstJob(folder.c_str(), &job, 0, 0), QVPAPI_INVALID_HANDLE) << folder;
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER) << folder;
    }
    // The links stay in F1, so F1 itself cannot go; its own jobs do.
    EXPECT_EQ(qvAPIDeleteFolderJob("\\", "F1", 0, 0), 0);
    EXPECT_EQ(deleted_.size(), 3u);
    for (const Deleted& d : deleted_) EXPECT_EQ(d.path.find(kOutJob), std::string::npos) << d.path;
    EXPECT_TRUE(fs::is_directory(outside / "empty" / "E1" / "E2"));
    EXPECT_TRUE(fs::exists(qvpsim::JobStore::JobFilePath((outside).string(), std::string("\\OUT\\") + kOutJob)));
}

}  // namespace
}  // namespace qvptest
