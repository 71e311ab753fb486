// ID jobs over the simulator: the ID and keep-ID finders, and the workers the client and site
// finders share (tally and entry walker).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jobs/id_jobs.h"
#include "jobs/jobexec_file.h"
#include "jobs/jobs_fixture.h"
#include "support/child_memory.h"

namespace qvptest {
namespace {

using qvpsim::ExecStatus;
using qvpsim::JobNode;
using qvpsim::Node;

constexpr char kJob[] = "IB00000000000001";
constexpr ExecStatus kWaiting{0x10, 0, 0};   // status 0
constexpr ExecStatus kRunning{0x20, 0, 0x20};  // 1
constexpr ExecStatus kDone{0x90, 0, 0};      // 2
constexpr ExecStatus kFailed{0x20, 0, 0};    // 3
constexpr ExecStatus kLate{0x20, 0, 0x76};   // 7

// The status code of the statuses above, and the node-job counter it lands in.
int CodeOf(const ExecStatus& s) {
    if (s == kWaiting) return 0;
    if (s == kRunning) return 1;
    if (s == kDone) return 2;
    if (s == kFailed) return 3;
    return 7;
}
uint32_t CountOf(const QVAPI_NODE_JOB_EX& r, int code) {
    const uint32_t counts[] = {r.dwStatus0, r.dwStatus1, r.dwStatus2, r.dwStatus3, 0, 0, 0, r.dwStatus7};
    return counts[code];
}

JobNode Entry(std::string name, std::string number, ExecStatus status,
              std::vector<std::pair<std::string, ExecStatus>> members, bool hasRecord = true) {
    JobNode node = Node(std::move(name), status, hasRecord);
    node.number = std::move(number);
    for (auto& [client, s] : members) node.members.push_back(Node(client, s));
    return node;
}

class IdJobsTest : public JobsTest {
protected:
    ~IdJobsTest() override { qvp::jobs::SetMemberListBoundForTesting(0); }  // a test's bound ends with it
    // Requests since the log was cleared that start with `prefix`.
    std::ptrdiff_t Sent(std::string_view prefix) const {
        return std::ranges::count_if(Requests(), [&](const std::string& r) { return r.starts_with(prefix); });
    }
    void Write(std::vector<JobNode> nodes, const char* number = kJob, const std::string& folder = "\\F") {
        spec_.path = folder + "\\" + number;
        spec_.number = number;
        spec_.nodes = std::move(nodes);
        spec_.storedCounts[0] = 1;
        jobs().WriteJob(spec_);
    }
    // Every record of a keep-ID walk, Ex records, until it ends with 0x20000103.
    std::vector<QVAPI_NODE_JOB_EX> KeepWalk(const char* id, uint32_t attributes) {
        std::vector<QVAPI_NODE_JOB_EX> out;
        QVAPI_NODE_JOB_EX r{};
        QVPAPI_HANDLE h = qvAPIFindFirstKeepIDJobEx("\\F", spec_.number.c_str(), id, &r, attributes, 0, 0);
        if (h == QVPAPI_INVALID_HANDLE) return out;
        do out.push_back(r);
        while (qvAPIFindNextKeepIDJobEx(h, &r, 0, 0) == 1 && out.size() < 10000);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(qvAPIFindCloseKeepIDJobEx(h, 0, 0), 1);
        return out;
    }

    qvpsim::JobSpec spec_;
};

TEST_F(IdJobsTest, IdFinderGivesEachIdOnceWithItsEntriesOrMembers) {
    Write({Entry("a.%X", "IB000000000000A1", kRunning, {{"c1", kDone}, {"c2", kLate}}),
           Entry("b.%X", "IB000000000000A2", kWaiting, {{"c3", kDone}}),
           Entry("a.%Y", "IB000000000000A3", kDone, {{"c1", kFailed}}),
           // An ordinary entry is no ID ("pc1" was once listed as "c1").
           Node("pc1", kWaiting), Entry("c.%Z", "IB000000000000A4", kWaiting, {}, false)});
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    const struct {
        uint32_t attributes;
        std::vector<std::pair<std::string, std::vector<uint32_t>>> ids;  // counts of 0, 1, 2, 3, 7
    } cases[] = {
        {1, {{"X", {0, 0, 2, 0, 1}}, {"Y", {0, 0, 0, 1, 0}}, {"Z", {0, 0, 0, 0, 0}}}},
        {2, {{"X", {1, 1, 0, 0, 0}}, {"Y", {0, 0, 1, 0, 0}}, {"Z", {0, 0, 0, 0, 0}}}},
    };
    for (const auto& c : cases) {
        QVAPI_NODE_JOB_EX r{};
        QVPAPI_HANDLE h = qvAPIFindFirstIDJobEx("\\F", kJob, &r, c.attributes, 0, 0);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
        for (size_t i = 0; i < c.ids.size(); ++i) {
            if (i > 0) {
                ASSERT_EQ(qvAPIFindNextIDJobEx(h, &r, 0, 0), 1) << i;
            }
            EXPECT_EQ(std::string(r.szNodeName), c.ids[i].first);
            EXPECT_EQ(std::string(r.szDisplayName), c.ids[i].first);
            EXPECT_EQ(std::string(r.szDateTime, 14), "20240102030405");
            const std::vector<uint32_t> got{r.dwStatus0, r.dwStatus1, r.dwStatus2, r.dwStatus3, r.dwStatus7};
            EXPECT_EQ(got, c.ids[i].second) << c.attributes << " " << c.ids[i].first;
        }
        EXPECT_EQ(qvAPIFindNextIDJobEx(h, &r, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(qvAPIFindCloseIDJobEx(h, 0, 0), 1);
        EXPECT_EQ(qvAPIFindNextIDJobEx(h, &r, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    }
}

TEST_F(IdJobsTest, FindersRefuseWhatIsNoIdJobOfTheFolder) {
    Write({Entry("a.%X", "IB000000000000A1", kRunning, {})});
    qvpsim::JobSpec plain;
    plain.path = "\\F\\0000000000000001";
    plain.number = "0000000000000001";
    plain.nodes = {Node("pc1", kWaiting)};
    jobs().WriteJob(plain);
    qvpsim::JobSpec empty;
    empty.path = "\\F\\IB00000000000002";
    empty.number = "IB00000000000002";
    jobs().WriteJob(empty);
    Open();
    const struct {
        const char* folder;
        const char* job;
        uint32_t attributes;
        uint32_t code;
    } cases[] = {
        {"\\F", kJob, 0, QVAPI_ERR_INVALID_PARAMETER},
        {"\\F", kJob, 3, QVAPI_ERR_INVALID_PARAMETER},
        {"\\F", "", 1, QVAPI_ERR_INVALID_PARAMETER},
        {"\\F", "IB*", 1, QVAPI_ERR_INVALID_PARAMETER},
        {"F", kJob, 1, QVAPI_ERR_INVALID_PARAMETER},
        {"\\..\\F", kJob, 1, QVAPI_ERR_INVALID_PARAMETER},
        {"\\G", kJob, 1, QVAPI_ERR_INVALID_PARAMETER},
        {"\\F", "0000000000000001", 1, QVAPI_ERR_INVALID_PARAMETER},  // a plain job
        {"\\F", "IB00000000000009", 1, QVAPI_ERR_NO_MORE_ITEMS},
        {"\\F", "IB00000000000002", 1, QVAPI_ERR_NO_MORE_ITEMS},  // no entries
    };
    for (const auto& c : cases) {
        QVAPI_NODE_JOB r{};
        EXPECT_EQ(qvAPIFindFirstIDJob(c.folder, c.job, &r, c.attributes, 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.folder << " " << c.job << " " << c.attributes;
        EXPECT_EQ(qvAPIFindFirstKeepIDJob(c.folder, c.job, "X", &r, c.attributes, 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.folder << " " << c.job << " " << c.attributes;
        EXPECT_EQ(block()->idJobFind, nullptr);
        EXPECT_EQ(block()->keepIdJobFind, nullptr);
    }
    // A new enumeration replaces (and frees) the running one; a handle of another thread is
    // refused.
    QVAPI_NODE_JOB r{};
    ASSERT_NE(qvAPIFindFirstKeepIDJob("\\F", kJob, "X", &r, 2, 0, 0), QVPAPI_INVALID_HANDLE);
    ASSERT_NE(qvAPIFindFirstKeepIDJob("\\F", kJob, "X", &r, 2, 0, 0), QVPAPI_INVALID_HANDLE);
    ASSERT_NE(qvAPIFindFirstIDJob("\\F", kJob, &r, 1, 0, 0), QVPAPI_INVALID_HANDLE);
    QVPAPI_HANDLE h = qvAPIFindFirstIDJob("\\F", kJob, &r, 1, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    std::thread([&] {
        EXPECT_EQ(qvAPIFindNextIDJob(h, &r, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    }).join();
    EXPECT_EQ(qvAPIFindCloseIDJob(h, 0, 0), 1);
}

// An ID job's file whose area claims 1 GiB (sparse) after its one entry fails both finders
// unread.
TEST_F(IdJobsTest, AnAreaPastWhatItsEntriesFillIsNeverRead) {
    Write({Entry("a.%X", "IB000000000000A1", kRunning, {})});
    const uint32_t area = static_cast<uint32_t>(kOneGiB - qvp::jobs::kHeadSize);
    ASSERT_TRUE(PlantSparseAt(qvpsim::JobStore::JobFilePath(jobs().JobExecDir(), spec_.path), qvp::jobs::head::kEntryAreaSize,
                              {reinterpret_cast<const char*>(&area), sizeof area}, kOneGiB));
    Open();
    QVAPI_NODE_JOB r{};
    EXPECT_EQ(qvAPIFindFirstIDJob("\\F", kJob, &r, 1, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    EXPECT_EQ(qvAPIFindFirstKeepIDJob("\\F", kJob, "X", &r, 2, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
}

// Below API level 3 statuses 7 and 8 are folded into 3 for whatever the tally counted.
TEST_F(IdJobsTest, LevelsBelowThreeFoldLateStatusesIntoThree) {
    Write({Entry("a.%X", "IB000000000000A1", kLate, {{"c1", kLate}, {"c2", kFailed}})});
    Open();
    QVAPI_NODE_JOB r{};
    QVPAPI_HANDLE h = qvAPIFindFirstIDJob("\\F", kJob, &r, 1, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(r.dwStatus3, 2u);
    EXPECT_EQ(r.dwStatus7, 0u);
    qvAPIFindCloseIDJob(h, 0, 0);
    QVAPI_JOB job{};
    const std::string file = (data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F" / kJob / "jobexecfile").string();
    ASSERT_EQ(qvp::jobs::qvpAPIGetIDJobCountNode(block(), qvp::jobs::kTallyMembers, file.c_str(), nullptr, nullptr,
                                                 nullptr, nullptr, &job, nullptr),
              1);
    EXPECT_EQ(job.dwStatus3, 2u);
    EXPECT_EQ(job.dwStatus7, 0u);
    EXPECT_EQ(job.dwTotal, 2u);
}

// The member clients of one ID, as the simulator's store holds them: each client of an entry
// path once, counted over every entry of the ID under that path, in the order the entries and
// then the manager's cursor (name order) reach them.
struct Member {
    std::string name;
    std::map<int, uint32_t> counts;
    bool operator==(const Member&) const = default;
};

std::vector<Member> Reference(const qvpsim::JobSpec& job, const std::vector<std::string>& keys,
                              const qvpsim::JobStore& store, const std::string& id) {
    std::vector<Member> out;
    std::set<std::string> groupsDone;
    for (const JobNode& entry : job.nodes) {
        const std::string last = entry.name.substr(entry.name.rfind('.') + 1);
        if (last != "%" + id || !groupsDone.insert(entry.name).second) continue;
        const size_t dot = entry.name.rfind('.');
        const std::string prefix = dot == std::string::npos ? "" : entry.name.substr(0, dot + 1);
        std::vector<std::string> numbers;
        for (const JobNode& e : job.nodes)
            if (e.name == entry.name) numbers.push_back(e.number);
        std::set<std::string> seen;
        for (const std::string& number : numbers) {
            std::vector<std::string> names;
            for (const std::string& key : keys) {
                const std::string name = key.substr(0, key.size() - 16);
                if (key.substr(key.size() - 16) != number || name.rfind(prefix, 0) != 0) continue;
                const std::string client = name.substr(prefix.size());
                if (!client.empty() && client[0] != '%' && client.find('.') == std::string::npos) names.push_back(name);
            }
            std::sort(names.begin(), names.end());
            for (const std::string& name : names) {
                if (!seen.insert(name).second) continue;
                Member m;
                m.name = "\\" + name;
                std::replace(m.name.begin(), m.name.end(), '.', '\\');
                for (const std::string& n : numbers)
                    if (auto s = store.Status(name, n)) ++m.counts[CodeOf(*s)];
                out.push_back(m);
            }
        }
    }
    return out;
}

std::vector<JobNode> BruteForceFixture() {
    // Entry paths of one level, two levels and one whose names pass the 64-byte field; the ID
    // X named twice under M1 (clients reached through either), Y between them; members
    // chosen by a fixed generator, some without a record.
    const std::string longPath(66, 'p');
    const std::vector<std::string> paths = {"M1", "grp.sub", longPath, "M1", "M2", "M1"};
    const std::vector<std::string> ids = {"X", "X", "X", "Y", "X", "X"};
    const ExecStatus statuses[] = {kWaiting, kRunning, kDone, kFailed, kLate};
    uint32_t seed = 12345;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    std::vector<JobNode> nodes;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::vector<std::pair<std::string, ExecStatus>> members;
        for (int c = 0; c < 12; ++c)
            if (next() % 2 == 0) members.push_back({"c" + std::to_string(c), statuses[next() % 5]});
        std::string number = "IB0000000000000" + std::to_string(i + 1);
        nodes.push_back(Entry(paths[i] + ".%" + ids[i], number, kWaiting, members));
        for (auto& m : nodes.back().members) m.hasRecord = next() % 7 != 0;
    }
    nodes.push_back(Entry("%X", "IB00000000000099", kWaiting, {{"solo", kDone}}));
    return nodes;
}

TEST_F(IdJobsTest, KeepIdMemberWalkMatchesTheStoreByBruteForce) {
    const std::vector<JobNode> nodes = BruteForceFixture();
    Write(nodes);
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    // Held in one pass, one record a pass, a few a pass: the same members in the same order.
    for (const size_t bound : {0, 1, 5000})
    for (const std::string id : {"X", "Y"}) {
        qvp::jobs::SetMemberListBoundForTesting(bound);
        std::vector<Member> walked;
        for (const QVAPI_NODE_JOB_EX& r : KeepWalk(id.c_str(), 1)) {
            Member m{r.szNodeName, {}};
            for (int code : {0, 1, 2, 3, 7})
                if (CountOf(r, code) != 0) m.counts[code] = CountOf(r, code);
            walked.push_back(m);
        }
        const std::vector<Member> expected = Reference(spec_, records_->Keys('E'), jobs(), id);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(walked.size(), expected.size()) << id << " " << bound;
        EXPECT_TRUE(walked == expected) << id << " " << bound;

    }
}

// One pass over the member records gives each member's own tally, in order, at most three requests a member.
TEST_F(IdJobsTest, KeepIdMemberWalkGivesEachMembersOwnTallyInOnePass) {
    Write(BruteForceFixture());
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    const std::string file = (data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F" / kJob / "jobexecfile").string();
    for (const std::string id : {"X", "Y"}) {
        const std::vector<QVAPI_NODE_JOB_EX> walked = KeepWalk(id.c_str(), 1);
        const std::vector<Member> members = Reference(spec_, records_->Keys('E'), jobs(), id);
        ASSERT_EQ(walked.size(), members.size()) << id;
        for (size_t i = 0; i < members.size(); ++i) {
            QVAPI_NODE_JOB_EX expected{};
            ASSERT_EQ(qvp::jobs::qvpAPIGetIDJobCountNodeEx(block(), qvp::jobs::kTallyMember, file.c_str(),
                                                           ("%" + id).c_str(), members[i].name.c_str(), nullptr,
                                                           nullptr, nullptr, &expected),
                      1);
            std::strncpy(expected.szNodeName, members[i].name.c_str(), sizeof expected.szNodeName - 1);
            std::memcpy(expected.szDisplayName, expected.szNodeName, sizeof expected.szNodeName);
            EXPECT_EQ(std::memcmp(&walked[i], &expected, sizeof expected), 0) << id << " " << members[i].name;
        }
    }
    std::vector<std::pair<std::string, ExecStatus>> many;
    for (int c = 0; c < 60; ++c) many.push_back({"pc" + std::to_string(100 + c), kDone});
    Write({Entry("shop.%S", "IB00000000000002", kWaiting, many)}, "IB00000000000002");
    sim_->ClearLog();
    EXPECT_EQ(KeepWalk("S", 1).size(), many.size());
    EXPECT_LE(Requests().size(), 3 * many.size());
    // With room for one record, each member takes a pass of its own over the entry's records.
    qvp::jobs::SetMemberListBoundForTesting(1);
    sim_->ClearLog();
    EXPECT_EQ(KeepWalk("S", 1).size(), many.size());
    EXPECT_EQ(Sent("FGET 2 f3 EKP k22 shop.*"), std::ssize(many));
}

// A manager that refuses any one cursor step of a member walk fails the walk: it never ends as
// complete with members missing.
TEST_F(IdJobsTest, KeepIdMemberWalkRefusedPartWayFailsRatherThanEndsShort) {
    Write({Entry("%X", "IB000000000000B1", kWaiting, {{"m1", kDone}, {"m2", kFailed}, {"m3", kDone}, {"m4", kRunning}})});
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    sim_->ClearLog();
    ASSERT_EQ(KeepWalk("X", 1).size(), 4u);
    const std::ptrdiff_t steps = Sent("FGET");
    ASSERT_GT(steps, 4);
    for (int refused = 1; refused <= steps; ++refused) {
        SCOPED_TRACE(refused);
        if (refused > 1) sim_->Script("FGET", qvpsim::Action::Delay(0), refused - 1);
        sim_->Script("FGET", qvpsim::Action::Refuse());
        QVAPI_NODE_JOB_EX r{};
        const QVPAPI_HANDLE h = qvAPIFindFirstKeepIDJobEx("\\F", spec_.number.c_str(), "X", &r, 1, 0, 0);
        size_t walked = 0;
        for (bool more = h != QVPAPI_INVALID_HANDLE; more && walked < 10; more = qvAPIFindNextKeepIDJobEx(h, &r, 0, 0) == 1)
            ++walked;
        EXPECT_TRUE(qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS || walked == 4) << walked;
        if (h != QVPAPI_INVALID_HANDLE) qvAPIFindCloseKeepIDJobEx(h, 0, 0);
        sim_->ClearScripts();
    }
}

TEST_F(IdJobsTest, KeepIdEntryPathsAddEntriesOfOneName) {
    Write({Entry("p.%X", "IB000000000000A1", kRunning, {}), Entry("q.%Y", "IB000000000000A2", kDone, {}),
           // A name without any record is passed over, not taken for the end.
           Entry("n.%X", "IB000000000000A3", kDone, {}, false), Entry("q.%X", "IB000000000000A4", kDone, {}),
           Entry("p.%X", "IB000000000000A5", kFailed, {}), Entry("%X", "IB000000000000A6", kWaiting, {})});
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    const std::vector<QVAPI_NODE_JOB_EX> walked = KeepWalk("X", 2);
    ASSERT_EQ(walked.size(), 3u);
    EXPECT_EQ(std::string(walked[0].szNodeName), "\\p");
    EXPECT_EQ(walked[0].dwStatus1 + walked[0].dwStatus3, 2u);
    EXPECT_EQ(std::string(walked[1].szNodeName), "\\q");
    EXPECT_EQ(walked[1].dwStatus2, 1u);
    EXPECT_EQ(std::string(walked[2].szNodeName), "");
    EXPECT_EQ(walked[2].dwStatus0, 1u);
}

// An execution record has no length of its own: the keep-ID walks take the length its reply delivered.
TEST_F(IdJobsTest, KeepIdWalksReadTheDeliveredLengthWhateverBytesZeroAndOneHold) {
    const std::string longPath(66, 'p');
    const std::string file = (data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F" / kJob / "jobexecfile").string();
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    for (uint16_t lead : {0x0000, 0x0010, 0x03AF, 0xFFFF}) {
        SCOPED_TRACE(lead);
        jobs().SetRecordLead(lead);
        Write({Entry("p.%X", "IB000000000000A1", kRunning, {{"pc1", kDone}}),
               Entry(longPath + ".%X", "IB000000000000A2", kWaiting, {{"c1", kFailed}})});
        // The tally's first record names the client asked for.
        QVAPI_NODE_JOB_EX one{};
        EXPECT_EQ(qvp::jobs::qvpAPIGetIDJobCountNodeEx(block(), qvp::jobs::kTallyMember, file.c_str(), "%X", "\\p\\pc1",
                                                       "\\pc1", nullptr, nullptr, &one), 1);
        EXPECT_EQ(one.dwStatus2, 1u);
        // Entry paths, each counted under its own status; members, the one named as an item kept.
        const std::vector<QVAPI_NODE_JOB_EX> paths = KeepWalk("X", 2);
        ASSERT_EQ(paths.size(), 2u);
        EXPECT_EQ(std::string(paths[0].szNodeName), "\\p");
        EXPECT_EQ(paths[0].dwStatus1, 1u);
        EXPECT_EQ(paths[0].dwStatus0 + paths[0].dwStatus2 + paths[0].dwStatus3 + paths[0].dwStatus7, 0u);
        EXPECT_EQ(paths[1].dwStatus0, 1u);
        std::vector<std::string> members;
        for (const QVAPI_NODE_JOB_EX& r : KeepWalk("X", 1))
            members.push_back(std::string(r.szNodeName) + ":" + std::to_string(r.dwStatus2) + std::to_string(r.dwStatus3));
        EXPECT_EQ(members, (std::vector<std::string>{"\\p\\pc1:10", "\\" + longPath + "\\c1:01"}));
    }
}

// A head whose byte 236 is 1 reads as any other: the walk ends cleanly and holds nothing.
TEST_F(IdJobsTest, HeadByte236ChangesNothing) {
    Write({Entry("p.%X", "IB000000000000A1", kRunning, {}, false)});
    const std::string path = qvpsim::JobStore::JobFilePath(jobs().JobExecDir(), spec_.path);
    std::string bytes = qvpsim::JobStore::JobExecFileBytes(spec_);
    bytes[236] = 1;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    Open();
    QVAPI_NODE_JOB r{};
    EXPECT_EQ(qvAPIFindFirstKeepIDJob("\\F", kJob, "X", &r, 2, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(block()->keepIdJobFind, nullptr);
}

// The workers as the client and site finders drive them.
TEST_F(IdJobsTest, WorkersServeClientWalksWhateverTheNameLength) {
    const std::string longPath(66, 'l');
    Write({Node("p.pc1", kDone), Entry("p.%X", "IB000000000000A1", kRunning, {{"pc1", kRunning}}),
           Entry(longPath + ".%X", "IB000000000000A2", kWaiting, {{"c1", kDone}}),
           Entry("p.%Y", "IB000000000000A3", kWaiting, {{"c2", kFailed}})});
    Open();
    QVPAPI& b = *block();
    const std::string dir = (data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F" / kJob).string();
    const std::string file = dir + "/jobexecfile";
    using namespace qvp::jobs;
    // An ordinary entry that names the node counts under its own name, and the count goes on.
    QVAPI_NODE_JOB node{};
    ASSERT_EQ(qvpAPIGetIDJobCountNode(&b, kTallyMember, file.c_str(), nullptr, "\\p\\pc1", nullptr, nullptr, nullptr,
                                      &node),
              1);
    EXPECT_EQ(node.dwStatus2, 1u);
    EXPECT_EQ(node.dwStatus1, 1u);
    // Member clients of every ID, the walk switching between the Ex and the plain walker.
    void* slot = nullptr;
    QVAPI_NODE_JOB_EX ex{};
    ASSERT_EQ(qvpAPIGetIDJobPackageEx(&b, &slot, kWalkMemberFirst, dir.c_str(), nullptr, nullptr, nullptr, nullptr,
                                      &ex, nullptr, 0, 0),
              1);
    // The ordinary entry itself, then pc1 as a member of X (counted over X's entries only).
    EXPECT_EQ(std::string(ex.szNodeName), "\\p\\pc1");
    EXPECT_EQ(ex.dwStatus2, 1u);
    ASSERT_EQ(qvpAPIGetIDJobPackageEx(&b, &slot, kWalkMemberNext, nullptr, nullptr, nullptr, nullptr, nullptr, &ex,
                                      nullptr, 0, 0),
              1);
    EXPECT_EQ(std::string(ex.szNodeName), "\\p\\pc1");
    EXPECT_EQ(ex.dwStatus1, 1u);
    EXPECT_EQ(ex.dwStatus2, 0u);
    ASSERT_EQ(qvpAPIGetIDJobPackageEx(&b, &slot, kWalkMemberNext, nullptr, nullptr, nullptr, nullptr, nullptr, &ex,
                                      nullptr, 0, 0),
              1);
    EXPECT_EQ(std::string(ex.szNodeName), "\\" + longPath + "\\c1");
    EXPECT_EQ(std::string(ex.szDisplayName), "\\" + longPath + "\\c1");
    ASSERT_EQ(qvpAPIGetIDJobPackage(&b, &slot, kWalkMemberNext, nullptr, nullptr, nullptr, nullptr, nullptr, &node,
                                    nullptr, 0, 0),
              1);
    EXPECT_EQ(std::string(node.szNodeName), "\\p\\c2");
    EXPECT_EQ(node.dwStatus3, 1u);
    EXPECT_EQ(qvpAPIGetIDJobPackage(&b, &slot, kWalkMemberNext, nullptr, nullptr, nullptr, nullptr, nullptr, &node,
                                    nullptr, 0, 0),
              0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvpAPIGetIDJobPackage(&b, &slot, kWalkMemberClose, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, 0, 0),
              1);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(qvpAPIGetIDJobPackage(&b, &slot, kWalkMemberClose, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, 0, 0),
              1);
    // Package records of one client of one ID: a name past the record's field goes to the
    // session's long-name buffer, which the next short name releases.
    QVAPI_PACKAGE_JOB package{};
    const std::string longClient = "\\" + longPath + "\\c1";
    ASSERT_EQ(qvpAPIGetIDJobPackageEx(&b, &slot, kWalkPackageFirst, dir.c_str(), "%X", longClient.c_str(), nullptr,
                                      nullptr, nullptr, &package, 0, 0),
              1);
    EXPECT_EQ(package.szNodeName[0], '\0');
    ASSERT_EQ(package.dwLongNameLength, longClient.size());
    EXPECT_EQ(std::string(static_cast<const char*>(b.packageJobData)), longClient);
    EXPECT_EQ(qvpAPIGetIDJobPackage(&b, &slot, kWalkPackageNext, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &package, 0, 0),
              0);
    ASSERT_EQ(qvpAPIGetIDJobPackage(&b, &slot, kWalkPackageFirst, dir.c_str(), "%X", "\\p\\pc1", nullptr, nullptr,
                                    nullptr, &package, 0, 0),
              1);
    EXPECT_EQ(std::string(package.szNodeName), "\\p\\pc1");
    EXPECT_EQ(b.packageJobData, nullptr);
    EXPECT_EQ(qvpAPIGetIDJobPackage(&b, &slot, kWalkPackageClose, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, 0, 0),
              1);
}

}  // namespace
}  // namespace qvptest
