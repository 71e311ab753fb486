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

// pc01 three times (two statuses), a node without records, a host-ID node, pc03.
qvpsim::JobSpec SmallJob() {
    qvpsim::JobSpec job;
    job.path = std::string("\\F1\\") + kNumber;
    job.number = kNumber;
    qvpsim::JobNode hostId = Node("#G0001", {0x10, 0, 0});
    hostId.secondName = "host.a";
    job.nodes = {Node("pc01", {0x10, 0, 0}), Node("none", {0x10, 0, 0}, false), Node("pc01", {0x20, 0, 0x20}),
                 hostId,                     Node("pc01", {0x20, 0, 0x20}),          Node("pc03", {0x90, 0, 0})};
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

// Every record of a node-job walk in either family, as bytes.
std::vector<std::string> NodeWalk(bool ex) {
    std::vector<std::string> out;
    QVAPI_NODE_JOB_EX record{};
    auto* plain = reinterpret_cast<QVAPI_NODE_JOB*>(&record);
    const size_t size = ex ? sizeof(QVAPI_NODE_JOB_EX) : sizeof(QVAPI_NODE_JOB);
    QVPAPI_HANDLE h = ex ? qvAPIFindFirstNodeJobEx("\\F1", kNumber, &record, 0, 0)
                         : qvAPIFindFirstNodeJob("\\F1", kNumber, plain, 0, 0);
    if (h == QVPAPI_INVALID_HANDLE) return out;
    do out.emplace_back(reinterpret_cast<const char*>(&record), size);
    while ((ex ? qvAPIFindNextNodeJobEx(h, &record, 0, 0) : qvAPIFindNextNodeJob(h, plain, 0, 0)) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(ex ? qvAPIFindCloseNodeJobEx(h, 0, 0) : qvAPIFindCloseNodeJob(h, 0, 0), 1);
    return out;
}

// The walk's records are, byte for byte, what counting each distinct node alone gives (the
// job's file read afresh for each), under its path-form names, nodes without records left out.
TEST_F(NodePackageJobsTest, NodeWalkRecordsAreEachNodesOwnCount) {
    jobs().WriteJob(SmallJob());
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    const std::string jobPath = std::string("\\F1\\") + kNumber;
    const struct {
        const char *dotted, *name, *display;
    } nodes[] = {{"pc01", "\\pc01", "\\pc01"}, {"none", "", ""}, {"#G0001", "\\#G0001", "\\host\\a"},
                 {"pc03", "\\pc03", "\\pc03"}};
    for (bool ex : {false, true}) {
        std::vector<std::string> expected;
        for (const auto& node : nodes) {
            QVAPI_NODE_JOB_EX exRecord{};
            QVAPI_NODE_JOB plain{};
            const int counted = ex ? qvAPIGetJobCountNodeEx(block(), jobPath.c_str(), node.dotted, &exRecord)
                                   : qvAPIGetJobCountNode(block(), jobPath.c_str(), node.dotted, &plain);
            if (counted == 0) {
                EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND) << node.dotted;
                continue;
            }
            if (ex) {
                std::strcpy(exRecord.szNodeName, node.name);
                std::strcpy(exRecord.szDisplayName, node.display);
                expected.emplace_back(reinterpret_cast<const char*>(&exRecord), sizeof exRecord);
            } else {
                std::strcpy(plain.szNodeName, node.name);
                std::strcpy(plain.szDisplayName, node.display);
                expected.emplace_back(reinterpret_cast<const char*>(&plain), sizeof plain);
            }
        }
        ASSERT_EQ(expected.size(), 3u);
        EXPECT_TRUE(NodeWalk(ex) == expected) << ex;
    }
}

// A walk counts the job's file as it stands at each step: rewritten with another size, or
// with the same size and a new write time, the next node's count follows the new file.
TEST_F(NodePackageJobsTest, NodeWalkCountsTheFileAsItStandsAtEachStep) {
    const struct {
        const char* change;
        bool sameSize;
        uint32_t status1, status2;  // pc02's counts after the change
    } cases[] = {{"another entry of pc02", false, 1, 1}, {"pc02's entry under another number", true, 0, 1}};
    Open();
    for (const auto& c : cases) {
        qvpsim::JobSpec job;
        job.path = std::string("\\F1\\") + kNumber;
        job.number = kNumber;
        job.nodes = {Node("pc01", {0x10, 0, 0}), Node("pc02", {0x20, 0, 0x20}), Node("pc03", {0x10, 0, 0})};
        jobs().WriteJob(job);
        const fs::path file = data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F1" / kNumber / "jobexecfile";
        const auto before = fs::file_size(file);
        const auto written = fs::last_write_time(file);
        QVAPI_NODE_JOB_EX record{};
        QVPAPI_HANDLE h = qvAPIFindFirstNodeJobEx("\\F1", kNumber, &record, 0, 0);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << c.change;
        EXPECT_EQ(std::string(record.szNodeName), "\\pc01");

        qvpsim::JobNode done = Node("pc02", {0x90, 0, 0});
        done.number = "0000000000000C09";
        if (c.sameSize) job.nodes[1] = done;
        else job.nodes.push_back(done);
        jobs().WriteJob(job);
        EXPECT_EQ(fs::file_size(file) == before, c.sameSize) << c.change;
        // The clock may not have moved since the first write: the new time is set outright.
        fs::last_write_time(file, written + std::chrono::seconds(10));

        ASSERT_EQ(qvAPIFindNextNodeJobEx(h, &record, 0, 0), 1) << c.change;
        EXPECT_EQ(std::string(record.szNodeName), "\\pc02");
        EXPECT_EQ(record.dwStatus1, c.status1) << c.change;
        EXPECT_EQ(record.dwStatus2, c.status2) << c.change;
        ASSERT_EQ(qvAPIFindNextNodeJobEx(h, &record, 0, 0), 1) << c.change;
        EXPECT_EQ(std::string(record.szNodeName), "\\pc03");
        EXPECT_EQ(qvAPIFindNextNodeJobEx(h, &record, 0, 0), 0);
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

// An execution record has no length of its own: whatever its bytes 0-1 hold, the package-job
// walk reads the length its reply delivered, so long names and host names come through.
TEST_F(NodePackageJobsTest, PackageWalkReadsTheDeliveredLengthWhateverBytesZeroAndOneHold) {
    Open();
    ASSERT_EQ(qvAPIExpandLevel(1), 1);
    for (uint16_t lead : {0x0000, 0x0010, 0x03AF, 0xFFFF}) {
        SCOPED_TRACE(lead);
        jobs().SetRecordLead(lead);
        WriteJob();
        QVAPI_PACKAGE_JOB record;
        QVPAPI_HANDLE h = qvAPIFindFirstPackageJob("\\F1", kNumber, ("\\" + kLong).c_str(), &record, 0, nullptr);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
        ASSERT_NE(record.dwLongNameAddress, 0u);
        EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(record.dwLongNameAddress)),
                     ("\\" + kLong).c_str());
        EXPECT_STREQ(record.szDisplayName, ("\\" + kLong).c_str());
        h = qvAPIFindFirstPackageJob("\\F1", kNumber, "\\#G0001", &record, 0, nullptr);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
        EXPECT_STREQ(record.szDisplayName, "\\host\\a");
        EXPECT_EQ(qvAPIFindClosePackageJob(h, 0, 0), 1);
    }
}

// A host ID's '#' may stand anywhere in its name ("M1.#G0001"): the job file's entry then
// carries the host name, which the node walks show; "host!#..." is a marked name in the
// package-job record as the ".#" and "\#" forms are.
TEST_F(NodePackageJobsTest, HostIdNamesWhereverTheirHashStands) {
    qvpsim::JobSpec job;
    job.path = std::string("\\F2\\") + kNumber;
    job.number = kNumber;
    qvpsim::JobNode inner = Node("M1.#G0001", {0x10, 0, 0});
    inner.secondName = "host.b";
    qvpsim::JobNode bang = Node("host!#G0002", {0x90, 0, 0});
    bang.secondName = "host.c";
    job.nodes = {inner, bang};
    jobs().WriteJob(job);
    Open();
    ASSERT_EQ(qvAPIExpandLevel(3), 1);
    QVAPI_NODE_JOB plain;
    QVPAPI_HANDLE h = qvAPIFindFirstNodeJob("\\F2", kNumber, &plain, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_STREQ(plain.szNodeName, "\\M1\\#G0001");
    EXPECT_STREQ(plain.szDisplayName, "\\host\\b");
    EXPECT_EQ(qvAPIFindCloseNodeJob(h, 0, 0), 1);
    QVAPI_NODE_JOB_EX ex;
    h = qvAPIFindFirstNodeJobEx("\\F2", kNumber, &ex, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_STREQ(ex.szDisplayName, "\\host\\b");
    ASSERT_EQ(qvAPIFindNextNodeJobEx(h, &ex, 0, 0), 1);
    EXPECT_STREQ(ex.szDisplayName, "\\host\\c");
    EXPECT_EQ(qvAPIFindCloseNodeJobEx(h, 0, 0), 1);
    QVAPI_PACKAGE_JOB record;
    for (const auto& [node, display] : {std::pair{"\\M1\\#G0001", "\\host\\b"}, {"\\host.#G0002", "\\host\\c"}}) {
        h = qvAPIFindFirstPackageJob("\\F2", kNumber, node, &record, 0, nullptr);
        ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << node << std::hex << qvAPIGetLastError();
        EXPECT_STREQ(record.szDisplayName, display) << node;
        EXPECT_EQ(qvAPIFindClosePackageJob(h, 0, 0), 1);
    }
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
