// The node-job and package-job walks of one job over the simulator's execution records.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jobs/jobs_fixture.h"
#include "platform/byte_order.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;
using qvpsim::Node;

constexpr char kNumber[] = "0000000000000C01";
constexpr char kOther[] = "0000000000000C02";
const std::string kLong(80, 'L');
const std::string k63(63, 'm');  // its path form would fill the 64-byte field

// A job of kNumber in `folder` holding `nodes`.
qvpsim::JobSpec JobIn(const char* folder, std::vector<qvpsim::JobNode> nodes) {
    qvpsim::JobSpec job;
    job.path = std::string(folder) + "\\" + kNumber;
    job.number = kNumber;
    job.nodes = std::move(nodes);
    return job;
}

qvpsim::JobNode HostId(const char* name, const char* host, uint8_t status) {
    qvpsim::JobNode node = Node(name, {status, 0, 0});
    node.secondName = host;
    return node;
}

// pc01 three times (two statuses), a node without records, a host-ID node, pc03.
qvpsim::JobSpec SmallJob() {
    qvpsim::JobSpec job = JobIn("\\F1", {Node("pc01", {0x10, 0, 0}), Node("none", {0x10, 0, 0}, false),
                                         Node("pc01", {0x20, 0, 0x20}), HostId("#G0001", "host.a", 0x10),
                                         Node("pc01", {0x20, 0, 0x20}), Node("pc03", {0x90, 0, 0})});
    // Each entry of a node stands for its own record: its own job number.
    job.nodes[2].number = "0000000000000C03";
    job.nodes[4].number = "0000000000000C04";
    return job;
}

class NodePackageJobsTest : public JobsTest {
protected:
    // The small job, then two long names and a G record of pc01 under another number.
    void WriteJob() {
        qvpsim::JobSpec job = SmallJob();
        for (const std::string& name : {kLong, k63}) job.nodes.push_back(Node(name, {0x10, 0, 0}));
        job.nodes.push_back(Node("pc01", {0x10, 0, 0}));
        job.nodes.back().number = kOther;
        job.nodes.back().kind = 'G';
        jobs().WriteJob(job);
        // The G record's collect fields and a network-order word at 512.
        std::string g = qvpsim::JobStore::ExecutionRecord(job.nodes.back(), kOther);
        std::memcpy(g.data() + 544, "C0001", 5);
        std::memcpy(g.data() + 315, "315315", 6);
        std::memcpy(g.data() + 328, "328328", 6);
        qvp::putBe32(g.data() + 512, 0x01020304);
        records_->AddExecution("pc01", kOther, g);
        fs::create_directories(data() / "SERVER/ZARNQV/MNGFL/COLLECTPATH");
        std::ofstream(data() / "SERVER/ZARNQV/MNGFL/COLLECTPATH/P0001") << std::string(144, 'h') << "\\\\srv\\share";
    }
};

TEST_F(NodePackageJobsTest, NodeWalkCountsEachNodeOnce) {
    WriteJob();
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    const struct {
        std::string name, display;
        uint32_t status0, status1, status2;
    } expected[] = {{"\\pc01", "\\pc01", 1, 2, 0}, {"\\#G0001", "\\host\\a", 1, 0, 0},
                    {"\\pc03", "\\pc03", 0, 0, 1}, {"\\" + kLong, "\\" + kLong, 1, 0, 0},
                    {"\\" + k63, "\\" + k63, 1, 0, 0}};
    QVAPI_NODE_JOB_EX node;
    QVPAPI_HANDLE h = qvAPIFindFirstNodeJobEx("\\F1", kNumber, &node, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    for (const auto& e : expected) {
        EXPECT_EQ(std::string(node.szNodeName), e.name);
        EXPECT_EQ(std::string(node.szDisplayName), e.display);
        // pc01's G record, under another job number, counts as its fourth entry.
        EXPECT_EQ(node.dwStatus0, e.status0 + (e.name == "\\pc01" ? 1 : 0)) << e.name;
        EXPECT_EQ(node.dwStatus1, e.status1) << e.name;
        EXPECT_EQ(node.dwStatus2, e.status2) << e.name;
        if (&e != &expected[std::size(expected) - 1]) {
            ASSERT_EQ(qvAPIFindNextNodeJobEx(h, &node, 0, 0), 1);
        }
    }
    EXPECT_EQ(qvAPIFindNextNodeJobEx(h, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    // The plain family refuses another family's walk, then the closed one.
    QVAPI_NODE_JOB plain;
    EXPECT_EQ(qvAPIFindNextNodeJob(h, &plain, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindCloseNodeJobEx(h, 0, 0), 1);
    EXPECT_EQ(qvAPIFindCloseNodeJobEx(h, 0, 0), 0);
    // The plain family stops at the node whose path form passes 64 characters.
    h = qvAPIFindFirstNodeJob("\\F1", kNumber, &plain, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(qvAPIFindNextNodeJob(h, &plain, 0, 0), 1);
    EXPECT_EQ(qvAPIFindNextNodeJob(h, &plain, 0, 0), 0);
    EXPECT_NE(qvAPIGetLastError(), 0u);
    EXPECT_EQ(qvAPIFindCloseNodeJob(h, 0, 0), 1);
}

TEST_F(NodePackageJobsTest, NodeWalkWithoutRecordsLeavesNoWalk) {
    qvpsim::JobSpec job;
    job.path = std::string("\\") + kNumber;
    job.number = kNumber;
    job.nodes = {Node("a", {0x10, 0, 0}, false), Node("b", {0x10, 0, 0})};
    jobs().WriteJob(job);
    Open();
    QVAPI_NODE_JOB node;
    // The first node has no record: the walk starts at the second.
    QVPAPI_HANDLE h = qvAPIFindFirstNodeJob("\\", kNumber, &node, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    EXPECT_STREQ(node.szNodeName, "\\b");
    job.nodes = {Node("a", {0x10, 0, 0}, false)};
    job.number = kOther;
    job.path = std::string("\\") + kOther;
    jobs().WriteJob(job);
    EXPECT_EQ(qvAPIFindFirstNodeJob(nullptr, kOther, &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(block()->nodeJobWalk, nullptr);
    EXPECT_EQ(qvAPIFindNextNodeJob(h, &node, 0, 0), 0);  // replaced by the failed FindFirst
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
}

// Every record of a node-job walk of `folder` in either family, as bytes.
std::vector<std::string> NodeWalk(bool ex, const char* folder = "\\F1") {
    std::vector<std::string> out;
    QVAPI_NODE_JOB_EX record{};
    auto* plain = reinterpret_cast<QVAPI_NODE_JOB*>(&record);
    const size_t size = ex ? sizeof(QVAPI_NODE_JOB_EX) : sizeof(QVAPI_NODE_JOB);
    QVPAPI_HANDLE h = ex ? qvAPIFindFirstNodeJobEx(folder, kNumber, &record, 0, 0)
                         : qvAPIFindFirstNodeJob(folder, kNumber, plain, 0, 0);
    if (h == QVPAPI_INVALID_HANDLE) return out;
    do out.emplace_back(reinterpret_cast<const char*>(&record), size);
    while ((ex ? qvAPIFindNextNodeJobEx(h, &record, 0, 0) : qvAPIFindNextNodeJob(h, plain, 0, 0)) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(ex ? qvAPIFindCloseNodeJobEx(h, 0, 0) : qvAPIFindCloseNodeJob(h, 0, 0), 1);
    return out;
}

// One read of the job file per walk gives, byte for byte, what counting each node alone gives.
TEST_F(NodePackageJobsTest, NodeWalkRecordsAreEachNodesOwnCount) {
    jobs().WriteJob(SmallJob());
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    const std::string jobPath = std::string("\\F1\\") + kNumber;
    const struct {
        const char *dotted, *name, *display;
    } nodes[] = {{"pc01", "\\pc01", "\\pc01"}, {"#G0001", "\\#G0001", "\\host\\a"}, {"pc03", "\\pc03", "\\pc03"}};
    for (bool ex : {false, true}) {
        std::vector<std::string> expected;
        for (const auto& [dotted, name, display] : nodes) {
            QVAPI_NODE_JOB_EX r{};
            auto* plain = reinterpret_cast<QVAPI_NODE_JOB*>(&r);
            ASSERT_EQ(ex ? qvAPIGetJobCountNodeEx(block(), jobPath.c_str(), dotted, &r)
                         : qvAPIGetJobCountNode(block(), jobPath.c_str(), dotted, plain),
                      1);
            std::strcpy(ex ? r.szNodeName : plain->szNodeName, name);
            std::strcpy(ex ? r.szDisplayName : plain->szDisplayName, display);
            expected.emplace_back(reinterpret_cast<const char*>(&r), ex ? sizeof r : sizeof *plain);
        }
        EXPECT_TRUE(NodeWalk(ex) == expected) << ex;
    }
}

// A walk re-reads the job file once it changed: in size, or in write time alone.
TEST_F(NodePackageJobsTest, NodeWalkCountsTheFileAsItStandsAtEachStep) {
    Open();
    for (bool sameSize : {false, true}) {
        SCOPED_TRACE(sameSize);
        qvpsim::JobSpec job = JobIn("\\F1", {Node("pc01", {0x10, 0, 0}), Node("pc02", {0x20, 0, 0x20}),
                                             Node("pc03", {0x10, 0, 0})});
        jobs().WriteJob(job);
        const fs::path file = data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F1" / kNumber / "jobexecfile";
        const auto before = fs::file_size(file);
        const auto written = fs::last_write_time(file);
        QVAPI_NODE_JOB_EX record{};
        QVPAPI_HANDLE h = qvAPIFindFirstNodeJobEx("\\F1", kNumber, &record, 0, 0);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
        // pc02's entry under another number, in its place or added.
        qvpsim::JobNode done = Node("pc02", {0x90, 0, 0});
        done.number = "0000000000000C09";
        if (sameSize) job.nodes[1] = done;
        else job.nodes.push_back(done);
        jobs().WriteJob(job);
        EXPECT_EQ(fs::file_size(file) == before, sameSize);
        // The clock may not have moved since the first write: the new time is set outright.
        fs::last_write_time(file, written + std::chrono::seconds(10));
        ASSERT_EQ(qvAPIFindNextNodeJobEx(h, &record, 0, 0), 1);
        EXPECT_EQ(std::string(record.szNodeName) + ":" + std::to_string(record.dwStatus1) +
                      std::to_string(record.dwStatus2),
                  sameSize ? "\\pc02:01" : "\\pc02:11");
        EXPECT_EQ(qvAPIFindCloseNodeJobEx(h, 0, 0), 1);
    }
}

TEST_F(NodePackageJobsTest, PackageWalkGivesTheRecordsOfOneNode) {
    WriteJob();
    Open();
    ASSERT_EQ(qvAPIExpandLevel(1), 1);
    QVAPI_PACKAGE_JOB record;
    char collect[260];
    char* collectPath = collect;
    QVPAPI_HANDLE h = qvAPIFindFirstPackageJob("\\F1", kNumber, "\\pc01", &record, 0, &collectPath);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    int records = 1;
    for (; qvAPIFindNextPackageJob(h, &record, 0, &collectPath) == 1; ++records) {
        EXPECT_STREQ(record.szNodeName, "\\pc01");
        EXPECT_EQ(record.dwLongNameAddress, 0u);
    }
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(records, 4);
    // The last is the G record: blank package key, moved collect fields, host-order word.
    EXPECT_EQ(record.cKind, 'G');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&record) + 168, 59), std::string(59, ' '));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&record) + 233, 12), "328328315315");
    EXPECT_EQ(record.dwRecord512, 0x01020304u);
    EXPECT_EQ(std::string(collect, 12), std::string("\\\\srv\\share\0", 12));
    EXPECT_EQ(qvAPIFindClosePackageJob(h, 0, 0), 1);

    // Long names, and a name whose path form would fill the field, come through the low buffer.
    for (const std::string& name : {kLong, k63}) {
        h = qvAPIFindFirstPackageJob("\\F1", kNumber, ("\\" + name).c_str(), &record, 0, nullptr);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << name.size();
        EXPECT_EQ(std::string(record.szNodeName, 64), std::string(64, '\0'));
        ASSERT_EQ(record.dwLongNameLength, name.size() + 1);
        ASSERT_NE(record.dwLongNameAddress, 0u);
        EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(record.dwLongNameAddress)),
                     ("\\" + name).c_str());
        EXPECT_STREQ(record.szDisplayName, ("\\" + name).c_str());
    }
    EXPECT_EQ(qvAPIFindClosePackageJob(h, 0, 0), 1);
    EXPECT_EQ(block()->packageJobData, nullptr);

    const struct {
        const char* node;
        uint32_t code;
    } refusals[] = {{"\\none", QVAPI_ERR_NO_MORE_ITEMS}, {"", QVAPI_ERR_INVALID_PARAMETER},
                    {"\\host\\a", QVAPI_ERR_NO_MORE_ITEMS}};
    for (const auto& r : refusals) {
        EXPECT_EQ(qvAPIFindFirstPackageJob("\\F1", kNumber, r.node, &record, 0, nullptr), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), r.code) << r.node;
    }
}

// The display name, and the long name if any, of the first package-job record of `node`.
std::string PackageDisplay(const char* folder, const char* node, std::string* longName = nullptr) {
    QVAPI_PACKAGE_JOB record;
    QVPAPI_HANDLE h = qvAPIFindFirstPackageJob(folder, kNumber, node, &record, 0, nullptr);
    if (h == QVPAPI_INVALID_HANDLE) return "no walk";
    if (longName && record.dwLongNameAddress != 0)
        *longName = reinterpret_cast<const char*>(static_cast<uintptr_t>(record.dwLongNameAddress));
    EXPECT_EQ(qvAPIFindClosePackageJob(h, 0, 0), 1);
    return record.szDisplayName;
}

// An execution record has no length of its own: the walk takes the length its reply delivered.
TEST_F(NodePackageJobsTest, PackageWalkReadsTheDeliveredLengthWhateverBytesZeroAndOneHold) {
    Open();
    ASSERT_EQ(qvAPIExpandLevel(1), 1);
    const std::string longName = "\\" + kLong;
    for (uint16_t lead : {0x0000, 0x0010, 0x03AF, 0xFFFF}) {
        SCOPED_TRACE(lead);
        jobs().SetRecordLead(lead);
        WriteJob();
        std::string addressed;
        EXPECT_EQ(PackageDisplay("\\F1", longName.c_str(), &addressed), longName);
        EXPECT_EQ(addressed, longName);
        EXPECT_EQ(PackageDisplay("\\F1", "\\#G0001"), "\\host\\a");
    }
}

// A host ID's '#' may stand anywhere ("M1.#G0001"); "host!#..." is marked as ".#" and "\#" are.
TEST_F(NodePackageJobsTest, HostIdNamesWhereverTheirHashStands) {
    jobs().WriteJob(JobIn("\\F2", {HostId("M1.#G0001", "host.b", 0x10), HostId("host!#G0002", "host.c", 0x90)}));
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    for (bool ex : {false, true}) {
        const std::vector<std::string> walked = NodeWalk(ex, "\\F2");
        ASSERT_EQ(walked.size(), 2u) << ex;
        const size_t display =
            ex ? offsetof(QVAPI_NODE_JOB_EX, szDisplayName) : offsetof(QVAPI_NODE_JOB, szDisplayName);
        EXPECT_STREQ(walked[0].c_str(), "\\M1\\#G0001");
        EXPECT_STREQ(walked[0].c_str() + display, "\\host\\b") << ex;
        EXPECT_STREQ(walked[1].c_str() + display, "\\host\\c") << ex;
    }
    EXPECT_EQ(PackageDisplay("\\F2", "\\M1\\#G0001"), "\\host\\b");
    EXPECT_EQ(PackageDisplay("\\F2", "\\host.#G0002"), "\\host\\c");
}

TEST_F(NodePackageJobsTest, CollectNameMustBeOneFileName) {
    WriteJob();
    qvpsim::JobNode node = Node("pc01", {0x10, 0, 0});
    node.kind = 'S';
    std::string s = qvpsim::JobStore::ExecutionRecord(node, kOther);
    std::memcpy(s.data() + 544, "X..\\..\\secret", 13);
    records_->AddExecution("pc01", kOther, s);
    Open();
    QVAPI_PACKAGE_JOB record;
    char collect[260];
    char* collectPath = collect;
    QVPAPI_HANDLE h = qvAPIFindFirstPackageJob("\\F1", kNumber, "\\pc01", &record, 0, &collectPath);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(qvAPIFindNextPackageJob(h, &record, 0, &collectPath), 1);
    EXPECT_EQ(qvAPIFindNextPackageJob(h, &record, 0, &collectPath), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(qvAPIFindClosePackageJob(h, 0, 0), 1);
}

}  // namespace
}  // namespace qvptest
