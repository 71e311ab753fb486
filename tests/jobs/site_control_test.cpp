// Site execution-record control against the simulator's execution store: the requests the walks
// send, what they change, and the replies that end them.
#include <gtest/gtest.h>

#include <cstring>

#include "jobs/jobs_fixture.h"

namespace qvptest {
namespace {

using qvpsim::Node;

constexpr char kNumber[] = "00000000000000A1";
const std::string kLong = "n4" + std::string(78, 'x');

std::string Pad(const std::string& name) {
    std::string out = name;
    out.resize(64, ' ');
    return out;
}

// A request in short: "FGET EN", "FRLS E", or "FUPD " and the key it updates.
std::string Summary(const std::string& payload) {
    const std::string fupd = "FUPD 3 f3 EKP k";
    if (payload.rfind(fupd, 0) != 0) return payload.substr(0, 5) + payload.substr(payload.rfind(' ') + 1);
    size_t pos = fupd.size();
    const size_t length = std::stoul(payload.substr(pos));
    pos = payload.find(' ', pos) + 1;
    return "FUPD " + payload.substr(pos, length);
}

class SiteControlTest : public JobsTest {
protected:
    void SetUp() override {
        JobsTest::SetUp();
        // In key order: running, waiting, marked, waiting under a long name, done.
        qvpsim::JobSpec job;
        job.path = std::string("\\") + kNumber;
        job.number = kNumber;
        job.nodes = {Node("n1", {0x20, 0, 0x20}), Node("n2", {0x10, 0, 0}), Node("n3", {0x20, 0x40, 0}),
                     Node(kLong, {0x60, 0, 0}), Node("n5", {0x30, 0, 0x90})};
        jobs().WriteJob(job);
        Open();
        sim().ClearLog();
    }

    std::vector<std::string> Summaries() const {
        std::vector<std::string> out;
        for (const std::string& r : Requests()) out.push_back(Summary(r));
        return out;
    }
    qvpsim::ExecStatus Status(const std::string& node) { return *jobs().Status(node, kNumber); }
};

TEST_F(SiteControlTest, WaitWalkMarksEachWaitingRecord) {
    unsigned char record[QVAPI_EXECUTION_MAX_SIZE] = {};
    ASSERT_EQ(qvAPISiteWaitSetFirst(record), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record) + 16, 64), Pad("n2"));
    EXPECT_EQ(record[89], 0x40);
    ASSERT_EQ(qvAPISiteWaitSetNext(record), 1);
    EXPECT_EQ(record[88], 0x60);
    EXPECT_EQ(qvAPISiteWaitSetNext(record), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    ASSERT_EQ(qvAPISiteWaitSetEnd(), 1);
    const std::vector<std::string> expected = {
        "FGET ET", "FGET EN", "FUPD " + Pad("n2") + kNumber,
        "FGET EN", "FGET EN", "FUPD " + kLong + kNumber,  // the long name from its type-17 item
        "FGET EN", "FGET EN", "FRLS E"};
    EXPECT_EQ(Summaries(), expected);
    EXPECT_EQ(Status("n2"), (qvpsim::ExecStatus{0x10, 0x40, 0}));
    EXPECT_EQ(Status(kLong), (qvpsim::ExecStatus{0x60, 0x40, 0}));
    EXPECT_EQ(Status("n3"), (qvpsim::ExecStatus{0x20, 0x40, 0}));
}

TEST_F(SiteControlTest, RestartWalkClearsEveryMark) {
    ASSERT_TRUE(jobs().SetStatus("n5", kNumber, {0x30, 0x41, 0x90}));
    unsigned char record[QVAPI_EXECUTION_MAX_SIZE] = {};
    ASSERT_EQ(qvAPISiteRestartSetFirst(record), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record) + 16, 2), "n3");
    ASSERT_EQ(qvAPISiteRestartSetNext(record), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record) + 16, 2), "n5");
    EXPECT_EQ(qvAPISiteRestartSetNext(record), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    ASSERT_EQ(qvAPISiteRestartSetEnd(), 1);
    const std::vector<std::string> expected = {"FGET ET", "FGET EN", "FGET EN", "FUPD " + Pad("n3") + kNumber,
                                               "FGET EN", "FGET EN", "FUPD " + Pad("n5") + kNumber,
                                               "FGET EN", "FRLS E"};
    EXPECT_EQ(Summaries(), expected);
    EXPECT_EQ(Status("n3"), (qvpsim::ExecStatus{0x20, 0, 0}));
    EXPECT_EQ(Status("n5"), (qvpsim::ExecStatus{0x30, 0x01, 0x90}));
}

// Replies that carry no record end a walk at once; a record the work record cannot hold is
// refused, never cut.
TEST_F(SiteControlTest, RepliesWithoutAUsableRecordEndTheWalk) {
    const struct {
        std::string reply;
        uint32_t code;
    } cases[] = {
        {"0 160", QVAPI_ERR_NO_MORE_ITEMS},
        {"0 0 0", QVAPI_ERR_NO_MORE_ITEMS},
        {"16 16", QVAPI_ERR_NO_MORE_ITEMS},
        {"0 0 1 i1500 " + std::string(1500, 'r'), QVAPI_ERR_UNEXPECTED_DATA},
    };
    for (const auto& c : cases) {
        sim().ClearLog();
        sim().Script("FGET", qvpsim::Action::Reply(c.reply));
        unsigned char record[4] = {1, 2, 3, 4};
        EXPECT_EQ(qvAPISiteWaitSetFirst(record), 0) << c.reply.substr(0, 8);
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.reply.substr(0, 8);
        EXPECT_EQ(Requests().size(), 1u);
        EXPECT_EQ(record[0], 1);
    }
    // A refused update leaves the caller's buffer as it was.
    sim().Script("FUPD", qvpsim::Action::Refuse("16 16"));
    unsigned char record[QVAPI_EXECUTION_MAX_SIZE] = {};
    EXPECT_EQ(qvAPISiteWaitSetFirst(record), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_SITE_UPDATE);
    EXPECT_EQ(record[16], 0);
}

TEST_F(SiteControlTest, CurrentMarksTheNamedRecordWhateverItsStatus) {
    ASSERT_EQ(qvAPISiteWaitSetCurrent((Pad("n1") + kNumber).c_str()), 1);
    EXPECT_EQ(Status("n1"), (qvpsim::ExecStatus{0x20, 0x40, 0x20}));
    const std::vector<std::string> expected = {"FGET " + Pad("n1") + kNumber, "FUPD " + Pad("n1") + kNumber,
                                               "FRLS E"};
    std::vector<std::string> got = Summaries();
    ASSERT_EQ(got.size(), 3u);
    got[0] = "FGET " + Requests()[0].substr(Requests()[0].find(" k80 ") + 5);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(qvAPISiteWaitSetCurrent((std::string("n9") + kNumber).c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
}

TEST_F(SiteControlTest, ReexecSendsBothTexts) {
    ASSERT_EQ(qvAPISiteReexec("site-a", "delivery 7"), 1);
    EXPECT_EQ(Requests().back(), "DEXC 4 f1   d6 site-a g10 delivery 7 w1 0");
    EXPECT_EQ(jobs().Reexecs().back().second, "delivery 7");
    sim().Script("DEXC", qvpsim::Action::Refuse("8 1"));
    EXPECT_EQ(qvAPISiteReexec("site-a", "x"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
}

// Nothing is sent for arguments the walks cannot use.
TEST_F(SiteControlTest, UnusableArgumentsAreRefusedBeforeAnyRequest) {
    const std::string longText(1100, 't');
    EXPECT_EQ(qvAPISiteWaitSetFirst(nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPISiteRestartSetNext(nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPISiteWaitSetCurrent(nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPISiteWaitSetCurrent(std::string(273, 'k').c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPISiteReexec(nullptr, "x"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPISiteReexec(longText.c_str(), longText.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_TRUE(Requests().empty());
}

}  // namespace
}  // namespace qvptest
