// Query objects, their conditions, and the Abstract walks against the finders they stand for.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "core/memory.h"
#include "jobs/job_records.h"
#include "jobs/jobs_fixture.h"
#include "jobs/query.h"
#include "jobs/site_id_jobs.h"

namespace qvptest {
namespace {

using qvpsim::Node;

constexpr char kPlain[] = "0000000000000C01";
constexpr char kIdB[] = "IB00000000000C02";
constexpr char kIdS[] = "IS00000000000C03";
constexpr char kTop[] = "0000000000000A01";
constexpr char kCollected[] = "0000000000000C09";

class QueryTest : public JobsTest {
protected:
    void SetUp() override {
        JobsTest::SetUp();
        // Top: a job and folder F1. F1: a plain job (pc01 twice, and a G record of pc01 whose
        // collect file is read), an ID job (ID X under M1 with two member clients, Y under M2
        // with one; also in the site tree), an ID job with pc01's entry of ID1, and a folder.
        Job(std::string("\\") + kTop, kTop, {Node("pc09", {0x10, 0, 0})});
        qvpsim::JobNode collected = Node("pc01", {0x10, 0, 0});
        collected.kind = 'G';
        collected.number = kCollected;
        Job(std::string("\\F1\\") + kPlain, kPlain,
            {Node("pc01", {0x10, 0, 0}), Node("pc02", {0x20, 0, 0x20}), Node("pc01", {0x90, 0, 0}), collected});
        std::string g = qvpsim::JobStore::ExecutionRecord(collected, kCollected);
        std::memcpy(g.data() + 544, "C0001", 5);
        records_->AddExecution("pc01", kCollected, g);
        std::filesystem::create_directories(data() / "SERVER/ZARNQV/MNGFL/COLLECTPATH");
        std::ofstream(data() / "SERVER/ZARNQV/MNGFL/COLLECTPATH/P0001") << std::string(144, 'h') << "\\\\srv\\c";
        for (bool site : {false, true})
            Job(std::string("\\F1\\") + kIdB, kIdB, {Node("M1.%X", {0x20, 0, 0}), Node("M2.%Y", {0x20, 0, 0})}, site);
        for (const char* member : {"M1.pc01", "M1.pc02", "M2.pc03"})
            jobs().AddRecord(Node(member, {member[6] == '2' ? uint8_t(0x10) : uint8_t(0x20), 0, 0}), kIdB);
        Job(std::string("\\F1\\") + kIdS, kIdS, {Node("pc01.%ID1", {0x20, 0, 0x20})});
        std::filesystem::create_directories(jobs().JobExecDir() + "/F1/SUB");
        Open();
        ASSERT_EQ(qvAPIExpandLevel(3), 1);
        query_ = qvAPICreateQuery(1, 0, 0);
        ASSERT_NE(query_, QVPAPI_INVALID_HANDLE);
    }

    // Entries of a plain job after the first stand for records of their own: their own number.
    void Job(const std::string& path, const char* number, std::vector<qvpsim::JobNode> nodes, bool site = false) {
        qvpsim::JobSpec job;
        job.path = path;
        job.number = number;
        job.nodes = std::move(nodes);
        for (size_t i = 1; i < job.nodes.size() && number[0] != 'I'; ++i)
            if (job.nodes[i].number.empty()) job.nodes[i].number = std::string(number, 14) + "9" + char('0' + i);
        if (site) jobs().WriteSiteJob(job);
        else jobs().WriteJob(job);
    }

    // The conditions that are given (NULL: not set).
    void Set(const char* folder, const char* number, const char* client, const char* id, uint32_t option,
             bool site = false) {
        const bool set = (!folder || qvAPISetJobFolderQuery(query_, folder, 1, 0, 0)) &&
                         (!number || qvAPISetJobNumberQuery(query_, number, 0, 0)) &&
                         (!client || qvAPISetJobClientQuery(query_, client, 0, 0)) &&
                         (!id || qvAPISetJobIDQuery(query_, id, 0, 0)) &&
                         (!option || qvAPISetJobIDOptionQuery(query_, option, 0, 0)) &&
                         (!site || qvAPISetJobSiteQuery(query_, 0, 0));
        EXPECT_TRUE(set) << std::hex << qvAPIGetLastError();
    }

    qvp::jobs::QueryObject& Object() { return *static_cast<qvp::jobs::QueryObject*>(query_); }

    QVPAPI_HANDLE query_ = nullptr;
};

// What a walk gave: each record's bytes, and the code it ended with.
struct Walked {
    std::vector<std::string> records;
    uint32_t end = 0;
    bool operator==(const Walked&) const = default;
};

Walked Walk(const std::function<bool(char*)>& first, const std::function<int(char*)>& next, size_t offset,
            size_t size) {
    Walked walked;
    std::vector<char> buffer(2048, 0);
    for (bool more = first(buffer.data()); more; more = next(buffer.data()) == 1) {
        walked.records.emplace_back(buffer.data() + offset, size);
        std::fill(buffer.begin(), buffer.end(), 0);
    }
    walked.end = qvAPIGetLastError();
    return walked;
}

// A finder family called directly: First with its arguments bound, Next and Close.
struct Direct {
    std::function<QVPAPI_HANDLE(char*)> first;
    std::function<int(QVPAPI_HANDLE, char*)> next;
    std::function<int(QVPAPI_HANDLE)> close;
    size_t size;
};
template <class R, class Next, class Close>
Direct Finder(std::function<QVPAPI_HANDLE(R*)> first, Next next, Close close, size_t size,
              char** collect = nullptr) {
    return {[first](char* r) { return first(reinterpret_cast<R*>(r)); },
            [next, collect](QVPAPI_HANDLE h, char* r) {
                if constexpr (std::is_invocable_v<Next, QVPAPI_HANDLE, R*, uint32_t, char**>)
                    return next(h, reinterpret_cast<R*>(r), 0, collect);
                else
                    return next(h, reinterpret_cast<R*>(r), 0, 0);
            },
            [close](QVPAPI_HANDLE h) { return close(h, 0, 0); }, size};
}

enum class Family { Job, Detail, Node, NodeEx };

// Each dispatch row: the query's conditions, and the finder with the arguments it must get.
TEST_F(QueryTest, AbstractWalksGiveWhatTheirFindersGive) {
    namespace site = qvp::jobs;
    char collect[260] = {};
    char* collectPath = collect;
    using J = QVAPI_JOB;
    using N = QVAPI_NODE_JOB;
    using X = QVAPI_NODE_JOB_EX;
    using P = QVAPI_PACKAGE_JOB;
    const Direct jobWalk = Finder<J>([](J* r) { return qvAPIFindFirstJob("\\F1", r, 0, 0); }, qvAPIFindNextJob,
                                     qvAPIFindCloseJob, QVAPI_JOB_SIZE);
    const struct Row {
        const char* name;
        Family family;
        const char *folder, *number, *client, *id;
        uint32_t option;
        bool site;
        Direct direct;
    } rows[] = {
        {"job walk of the top", Family::Job, nullptr, nullptr, nullptr, nullptr, 0, false,
         Finder<J>([](J* r) { return qvAPIFindFirstJob("", r, 0, 0); }, qvAPIFindNextJob, qvAPIFindCloseJob,
                   QVAPI_JOB_SIZE)},
        {"job walk, option 2", Family::Job, "\\F1", nullptr, nullptr, nullptr, 2, false, jobWalk},
        {"client ID job walk, option 1", Family::Job, "\\F1", nullptr, nullptr, nullptr, 1, false,
         Finder<J>([](J* r) { return qvAPIFindFirstClientIDJob("\\F1", r, 4, 0); }, qvAPIFindNextClientIDJob,
                   qvAPIFindCloseClientIDJob, QVAPI_JOB_SIZE)},
        {"site client ID job walk, option 0", Family::Job, "\\F1", nullptr, nullptr, nullptr, 0, true,
         Finder<J>([](J* r) { return site::qvAPIFindFirstSiteClientIDJob("\\F1", r, 4, 0); },
                   site::qvAPIFindNextSiteClientIDJob, site::qvAPIFindCloseSiteClientIDJob, QVAPI_JOB_SIZE)},
        {"node jobs, option 1 on a plain job", Family::Node, "\\F1", kPlain, nullptr, nullptr, 1, false,
         Finder<N>([](N* r) { return qvAPIFindFirstNodeJob("\\F1", kPlain, r, 0, 0); }, qvAPIFindNextNodeJob,
                   qvAPIFindCloseNodeJob, QVAPI_NODE_JOB_SIZE)},
        {"node jobs Ex, option 0 on an ID job", Family::NodeEx, "\\F1", kIdB, nullptr, nullptr, 0, false,
         Finder<X>([](X* r) { return qvAPIFindFirstNodeJobEx("\\F1", kIdB, r, 0, 0); }, qvAPIFindNextNodeJobEx,
                   qvAPIFindCloseNodeJobEx, QVAPI_NODE_JOB_EX_SIZE)},
        {"ID jobs, option 1", Family::Node, "\\F1", kIdB, nullptr, nullptr, 1, false,
         Finder<N>([](N* r) { return qvAPIFindFirstIDJob("\\F1", kIdB, r, 1, 0, 0); }, qvAPIFindNextIDJob,
                   qvAPIFindCloseIDJob, QVAPI_NODE_JOB_SIZE)},
        {"ID jobs Ex, option 2", Family::NodeEx, "\\F1", kIdB, nullptr, nullptr, 2, false,
         Finder<X>([](X* r) { return qvAPIFindFirstIDJobEx("\\F1", kIdB, r, 2, 0, 0); }, qvAPIFindNextIDJobEx,
                   qvAPIFindCloseIDJobEx, QVAPI_NODE_JOB_EX_SIZE)},
        {"keep-ID jobs, option 2", Family::Node, "\\F1", kIdB, nullptr, "X", 2, false,
         Finder<N>([](N* r) { return qvAPIFindFirstKeepIDJob("\\F1", kIdB, "X", r, 2, 0, 0); },
                   qvAPIFindNextKeepIDJob, qvAPIFindCloseKeepIDJob, QVAPI_NODE_JOB_SIZE)},
        {"site keep-ID jobs Ex, option 1", Family::NodeEx, "\\F1", kIdB, nullptr, "X", 1, true,
         Finder<X>([](X* r) { return qvAPIFindFirstSiteKeepIDJobEx("\\F1", kIdB, "X", r, 1, 0, 0); },
                   qvAPIFindNextSiteKeepIDJobEx, qvAPIFindCloseSiteKeepIDJobEx, QVAPI_NODE_JOB_EX_SIZE)},
        {"site ID jobs, option 2", Family::Node, "\\F1", kIdB, nullptr, nullptr, 2, true,
         Finder<N>([](N* r) { return site::qvAPIFindFirstSiteIDJob("\\F1", kIdB, r, 2, 0, 0); },
                   site::qvAPIFindNextSiteIDJob, site::qvAPIFindCloseSiteIDJob, QVAPI_NODE_JOB_SIZE)},
        {"package jobs, option 2: the client's ID entry", Family::Detail, "\\F1", kIdS, "\\pc01", "ID1", 2, false,
         Finder<P>([&](P* r) { return qvAPIFindFirstPackageJob("\\F1", kIdS, "\\pc01\\%ID1", r, 0, &collectPath); },
                   qvAPIFindNextPackageJob, qvAPIFindClosePackageJob, QVAPI_PACKAGE_JOB_SIZE, &collectPath)},
        {"client package ID jobs, option 1", Family::Detail, "\\F1", kIdB, "\\M1\\pc01", "X", 1, false,
         Finder<P>([](P* r) { return qvAPIFindFirstClientPackageIDJobEx("\\F1", kIdB, "\\M1\\pc01", "X", r, 0, 0); },
                   qvAPIFindNextClientPackageIDJob, qvAPIFindCloseClientPackageIDJob, QVAPI_PACKAGE_JOB_SIZE)},
        {"site client package ID jobs, option 1", Family::Detail, "\\F1", kIdB, "\\M1\\pc01", "X", 1, true,
         Finder<P>(
             [](P* r) {
                 return site::qvAPIFindFirstSiteClientPackageIDJobEx("\\F1", kIdB, "\\M1\\pc01", "X", r, 0, 0);
             },
             site::qvAPIFindNextSiteClientPackageIDJob, site::qvAPIFindCloseSiteClientPackageIDJob,
             QVAPI_PACKAGE_JOB_SIZE)},
        {"package jobs of a client", Family::Detail, "\\F1", kPlain, "\\pc01", nullptr, 0, false,
         Finder<P>([&](P* r) { return qvAPIFindFirstPackageJob("\\F1", kPlain, "\\pc01", r, 0, &collectPath); },
                   qvAPIFindNextPackageJob, qvAPIFindClosePackageJob, QVAPI_PACKAGE_JOB_SIZE, &collectPath)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Set(row.folder, row.number, row.client, row.id, row.option, row.site);
        QVPAPI_HANDLE direct = nullptr;
        const Walked expected =
            Walk([&](char* r) { return (direct = row.direct.first(r)) != QVPAPI_INVALID_HANDLE; },
                 [&](char* r) { return row.direct.next(direct, r); }, 0, row.direct.size);
        ASSERT_GT(expected.records.size(), 0u) << std::hex << expected.end;
        EXPECT_EQ(row.direct.close(direct), 1);
        const QVPAPI_HANDLE q = query_;
        const size_t size = row.direct.size;
        std::memset(collect, 0, sizeof collect);
        Walked got;
        switch (row.family) {
            case Family::Job:
                got = Walk([&](char* r) {
                               return qvAPIAbstractFirstJob(q, reinterpret_cast<QVAPI_QJOB*>(r), 0, 0) == q;
                           },
                           [&](char* r) { return qvAPIAbstractNextJob(q, reinterpret_cast<QVAPI_QJOB*>(r), 0, 0); },
                           offsetof(QVAPI_QJOB, Job), size);
                EXPECT_EQ(qvAPIAbstractCloseJob(q, 0, 0), 1);
                break;
            case Family::Detail:
                got = Walk(
                    [&](char* r) {
                        auto* d = reinterpret_cast<QVAPI_QDETAIL_JOB*>(r);
                        return qvAPIAbstractFirstDetailJob(q, d, 0, &collectPath) == q;
                    },
                    [&](char* r) {
                        return qvAPIAbstractNextDetailJob(q, reinterpret_cast<QVAPI_QDETAIL_JOB*>(r), 0, &collectPath);
                    },
                    offsetof(QVAPI_QDETAIL_JOB, PackageJob), size);
                EXPECT_EQ(qvAPIAbstractCloseDetailJob(q, 0, 0), 1);
                break;
            case Family::Node:
            case Family::NodeEx: {
                const bool ex = row.family == Family::NodeEx;
                auto* firstNode = ex ? qvAPIAbstractFirstNodeJobEx : qvAPIAbstractFirstNodeJob;
                auto* nextNode = ex ? qvAPIAbstractNextNodeJobEx : qvAPIAbstractNextNodeJob;
                got = Walk([&](char* r) { return firstNode(q, reinterpret_cast<QVAPI_QNODE_JOB*>(r), 0, 0) == q; },
                           [&](char* r) { return nextNode(q, reinterpret_cast<QVAPI_QNODE_JOB*>(r), 0, 0); },
                           offsetof(QVAPI_QNODE_JOB, NodeJob), size);
                EXPECT_EQ((ex ? qvAPIAbstractCloseNodeJobEx : qvAPIAbstractCloseNodeJob)(q, 0, 0), 1);
                break;
            }
        }
        EXPECT_TRUE(got == expected) << got.records.size() << " records, end 0x" << std::hex << got.end;
        ASSERT_EQ(qvAPICloseQuery(query_, 0, 0), 1);
        query_ = qvAPICreateQuery(2, 0, 0);
    }
    // The last row's walk met pc01's G record: its collect file reached the caller's buffer.
    EXPECT_EQ(std::string(collect, 7), "\\\\srv\\c");
}

// The path field is ready to be the folder of a further query.
TEST_F(QueryTest, PathFieldNamesTheFolderOfEachEntry) {
    const struct {
        const char* folder;
        std::vector<std::string> paths;
    } cases[] = {
        {nullptr, {"", "\\F1"}},  // no folder: the top
        {"\\", {"\\", "\\F1"}},   // one backslash, not two
        {"\\F1", {"\\F1", "\\F1", "\\F1", "\\F1\\SUB"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder ? c.folder : "(none)");
        Set(c.folder, nullptr, nullptr, nullptr, 0);
        QVAPI_QJOB r;
        std::vector<std::string> paths;
        for (bool more = qvAPIAbstractFirstJob(query_, &r, 0, 0) == query_; more;
             more = qvAPIAbstractNextJob(query_, &r, 0, 0) == 1)
            paths.emplace_back(r.szPath);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(paths, c.paths);
        EXPECT_EQ(qvAPIAbstractCloseJob(query_, 0, 0), 1);
        EXPECT_EQ(qvAPIAbstractCloseJob(query_, 0, 0), 0);  // idle: the finder refuses no handle
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    }
}

TEST_F(QueryTest, ConditionsAreCheckedBeforeTheyAreKept) {
    const std::string k260(260, 'f'), k261(261, 'f'), k32(32, 'i'), k33(33, 'i');
    const QVPAPI_HANDLE q = query_;
    const struct {
        const char* what;
        std::function<int()> call;
        uint32_t code;  // 0: succeeds
    } cases[] = {
        {"folder NULL is \\", [&] { return qvAPISetJobFolderQuery(q, nullptr, 1, 0, 0); }, 0},
        {"folder of 260", [&] { return qvAPISetJobFolderQuery(q, k260.c_str(), 2, 0, 0); }, 0},
        {"folder of 261", [&] { return qvAPISetJobFolderQuery(q, k261.c_str(), 1, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"folder option 3", [&] { return qvAPIDeleteJobFolderQuery(q, "\\", 3, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"job number of 17", [&] { return qvAPISetJobNumberQuery(q, "IB000000000000017", 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"job number NULL", [&] { return qvAPIDeleteJobNumberQuery(q, nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"client attribute 5", [&] { return qvAPISetClientQuery(q, "\\pc", 5, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"job client NULL", [&] { return qvAPISetJobClientQuery(q, nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"ID of 32", [&] { return qvAPISetJobIDQuery(q, k32.c_str(), 0, 0); }, 0},
        {"ID of 33", [&] { return qvAPISetJobIDQuery(q, k33.c_str(), 0, 0); }, QVAPI_ERR_INVALID_NAME},
        {"ID with a dot", [&] { return qvAPISetJobIDQuery(q, "a.b", 0, 0); }, QVAPI_ERR_INVALID_NAME},
        {"ID delete NULL", [&] { return qvAPIDeleteJobIDQuery(q, nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"ID option 3", [&] { return qvAPISetJobIDOptionQuery(q, 3, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"kind 0", [] { return qvAPICreateQuery(0, 0, 0) == QVPAPI_INVALID_HANDLE ? 0 : 1; },
         QVAPI_ERR_INVALID_PARAMETER},
        {"kind 7", [] { return qvAPICreateQuery(7, 0, 0) == QVPAPI_INVALID_HANDLE ? 0 : 1; },
         QVAPI_ERR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        qvAPISetLastError(1);
        EXPECT_EQ(c.call(), c.code == 0 ? 1 : 0) << c.what;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.what;
    }
    // What the refusals left: the folder and ID that were accepted.
    EXPECT_EQ(std::string(Object().folder), k260);
    EXPECT_EQ(std::string(Object().id), k32);
    // One client field for both setters; a shorter text replaces all of a longer one.
    ASSERT_EQ(qvAPISetClientQuery(q, "\\pc0001", 0x80000000u, 0, 0), 1);
    ASSERT_EQ(qvAPISetJobClientQuery(q, "\\b", 0, 0), 1);
    EXPECT_STREQ(Object().client, "\\b");
    ASSERT_EQ(qvAPIDeleteJobIDQuery(q, "other", 0, 0), 1);
    EXPECT_STREQ(Object().id, "");
}

// Only the live queries of the calling thread's session are queries.
TEST_F(QueryTest, HandlesAreCheckedAgainstTheLiveQueries) {
    QVPAPI_HANDLE foreign = nullptr;
    std::thread([&] {
        ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1);
        foreign = qvAPICreateQuery(3, 0, 0);
        // Not closed: it goes with the other thread's session.
        qvAPIClose();
    }).join();
    QVPAPI_HANDLE closed = qvAPICreateQuery(1, 0, 0);
    ASSERT_EQ(qvAPICloseQuery(closed, 0, 0), 1);
    char garbage[sizeof(qvp::jobs::QueryObject)] = {};
    QVAPI_QJOB r;
    for (QVPAPI_HANDLE h : {QVPAPI_HANDLE(nullptr), foreign, closed, QVPAPI_HANDLE(garbage)}) {
        EXPECT_EQ(qvAPISetJobSiteQuery(h, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
        EXPECT_EQ(qvAPIAbstractFirstJob(h, &r, 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
        EXPECT_EQ(qvAPICloseQuery(h, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    }
}

TEST_F(QueryTest, DetailWalkCarriesTheJobHeadAndKeepsNoneAfterwards) {
    ASSERT_EQ(qvAPISetJobFolderQuery(query_, "\\F1", 1, 0, 0), 1);
    ASSERT_EQ(qvAPISetJobNumberQuery(query_, kPlain, 0, 0), 1);
    ASSERT_EQ(qvAPISetJobClientQuery(query_, "\\pc01", 0, 0), 1);
    QVAPI_JOB head;
    unsigned char stored[QVAPI_JOB_SIZE];
    ASSERT_EQ(qvAPIGetJob(block(), "\\F1\\0000000000000C01", stored), 1);
    std::memset(&head, 0, sizeof head);
    qvp::jobs::qvpAPICopyJobData(3, stored, &head, 0);
    QVAPI_QDETAIL_JOB r;
    std::memset(&r, 0, sizeof r);
    const size_t live = qvpArenaBlockCountForTesting();
    for (int round = 0; round < 2; ++round) {  // a First over a running walk frees its job head
        ASSERT_EQ(qvAPIAbstractFirstDetailJob(query_, &r, 0, nullptr), query_);
        EXPECT_EQ(std::memcmp(&r.Job, &head, sizeof head), 0);
    }
    const size_t running = qvpArenaBlockCountForTesting();
    ASSERT_EQ(qvAPIAbstractNextDetailJob(query_, &r, 0, nullptr), 1);
    EXPECT_EQ(std::memcmp(&r.Job, &head, sizeof head), 0);
    EXPECT_EQ(qvAPIAbstractCloseDetailJob(query_, 0, 0), 1);
    EXPECT_EQ(qvAPIAbstractCloseDetailJob(query_, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvpArenaBlockCountForTesting(), live);
    // A site query reads no head and leaves that part of the result as it was.
    ASSERT_EQ(qvAPISetJobSiteQuery(query_, 0, 0), 1);
    std::memset(&r.Job, 0x5A, sizeof r.Job);
    ASSERT_EQ(qvAPIAbstractFirstDetailJob(query_, &r, 0, nullptr), query_);
    EXPECT_EQ(r.Job.dwKind, 0x5A5A5A5Au);
    // Closing the query with a detail walk open frees its job head with it.
    ASSERT_EQ(qvAPIDeleteJobSiteQuery(query_, 0, 0), 1);
    ASSERT_EQ(qvAPIAbstractFirstDetailJob(query_, &r, 0, nullptr), query_);
    EXPECT_EQ(qvpArenaBlockCountForTesting(), running);
    EXPECT_EQ(qvAPICloseQuery(query_, 0, 0), 1);
    query_ = nullptr;
    EXPECT_EQ(qvpArenaBlockCountForTesting(), running - 2);  // the head and the query
}

}  // namespace
}  // namespace qvptest
