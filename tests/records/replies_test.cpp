// Replies that break the protocol, the reply classes, and the job, inventory and script requests.
#include <fstream>
#include <functional>

#include "records/fixture.h"
#include "support/status_files.h"

namespace qvptest {
namespace {

TEST(FgetReply, ClassesAndItems) {
    EXPECT_EQ(qvpAPICheckFgetReply("0 0 0", 5), kFgetNoRecord);
    EXPECT_EQ(qvpAPICheckFgetReply("0 0 2 i1 x k1 y", 15), kFgetRecord);
    EXPECT_EQ(qvpAPICheckFgetReply("0 160", 5), kFgetNoMore);
    EXPECT_EQ(qvpAPICheckFgetReply("0 161", 5), kFgetSkip);
    EXPECT_EQ(qvpAPICheckFgetReply("0 7", 3), kFgetOtherZero);
    EXPECT_EQ(qvpAPICheckFgetReply("16 16", 5), kFgetClass16);
    EXPECT_EQ(qvpAPICheckFgetReply("8 1", 3), kFgetOther);

    const std::string reply = std::string("0 0 2 i4 a\0b  k1 K", 18);
    uint32_t length = 0;
    const char* item = qvpAPIGetFgetItem(reply.data(), reply.size(), &length);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(std::string(item, length), std::string("a\0b ", 4));
    EXPECT_EQ(qvpGetFgetKey(reply.data(), reply.size()), "K");
    EXPECT_EQ(qvpAPIGetFgetItem("0 0 0", 5, &length), nullptr);
    EXPECT_EQ(qvpAPIGetFgetItem("0 0 1 i0 ", 9, &length), nullptr);
    // Declared longer than what arrived: never followed.
    const std::string cut = "0 0 1 i9 abc";
    EXPECT_EQ(qvpAPIGetFgetItem(cut.data(), cut.size(), &length), nullptr);
    EXPECT_EQ(qvpAPIGetFgetItem("0 0 1 i99999999999 a", 20, &length), nullptr);
}

TEST_F(RecordsTest, BadRecordRepliesGiveAnErrorAndAreNotCopied) {
    Open();
    store().AddCabinet('C', "A1", "first");
    const struct {
        const char* name;
        std::string reply;
    } cases[] = {
        {"item longer than the frame", "0 0 2 i3000 " + std::string(100, 'x')},
        {"record over the kind's maximum", "0 0 2 i97 " + std::string(97, 'x')},
        {"record under the kind's size", "0 0 2 i95 " + std::string(95, 'x')},
        {"success without a record", "0 0 0"},
        {"item letter missing", "0 0 2 x96 " + std::string(96, 'x')},
    };
    for (const auto& c : cases) {
        sim().Script("FGET", qvpsim::Action::Reply(c.reply));
        EXPECT_EQ(qvpAPIGetHeadManaPos(block(), "C"), 0) << c.name;
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA) << c.name;
    }
    sim().Script("FGET", qvpsim::Action::Reply("0 0 2 i1471 " + std::string(1471, 'e')));
    EXPECT_EQ(qvpAPIFindCommand(block(), "J000000000000001", "node"), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    // The session goes on.
    EXPECT_EQ(qvpAPIGetHeadManaPos(block(), "C"), 1);
}

// Each kind against replies that break its bounds; the code is set even where the last error
// was 0 before, and the current-record area keeps nothing of the bad reply.
TEST_F(RecordsTest, BadRepliesOfEveryKindGiveUnexpectedData) {
    Open();
    const auto mana = [](QVPAPI* b) { return qvpAPIGetHeadManaPos(b, "C") == 1; };
    const auto attr = [](QVPAPI* b) { return qvpAPIFindAttr(b, "C.A1.p.1.0001") != nullptr; };
    const auto command = [](QVPAPI* b) { return qvpAPIFindCommand(b, "J000000000000001", "n") != nullptr; };
    const auto status = [](QVPAPI* b) { return qvpAPIGetHeadStsPos(b, "n") == 1; };
    const struct {
        const char* name;
        std::function<bool(QVPAPI*)> call;
        std::string reply;
    } cases[] = {
        // Within the kind's bounds but past the bytes that arrived.
        {"execution item past the frame", command, "0 0 2 i1400 " + std::string(100, 'e')},
        {"status item past the frame", status, "0 0 2 i600 " + std::string(432, 's')},
        {"attribute item past the frame", attr, "0 0 2 i784 " + std::string(700, 'a')},
        {"execution under its fixed part", command, "0 0 2 i943 " + std::string(943, 'e')},
        {"status under its fixed part", status, "0 0 2 i431 " + std::string(431, 's')},
        {"attribute over its size", attr, "0 0 2 i785 " + std::string(785, 'a')},
        {"cabinet item length overflowing", mana, "0 0 2 i4294967296 " + std::string(96, 'c')},
        // Success words that carry nothing: no record and no code of their own.
        {"class and detail only", mana, "0 0"},
        {"class only", status, "0"},
    };
    for (const auto& c : cases) {
        std::memset(block()->currentRecord, 0x11, sizeof block()->currentRecord);
        qvAPISetLastError(0);
        sim().Script("FGET", qvpsim::Action::Reply(c.reply));
        EXPECT_FALSE(c.call(block())) << c.name;
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA) << c.name;
        EXPECT_EQ(block()->currentRecord[0], 0x11) << c.name;
    }
    // A skip where no walk runs is no success either.
    qvAPISetLastError(0);
    sim().Script("FDEL", qvpsim::Action::Reply("0 161"));
    EXPECT_EQ(qvpAPIDeleteSts(block(), "n", 0, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
}

TEST_F(RecordsTest, PutJobTakesOnlyAFullJobNumber) {
    Open();
    char number[16];
    std::memset(number, '0', sizeof number);
    store().SetNextJobNumber("J000000000000123");
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number, nullptr), 1);
    EXPECT_EQ(std::string(number, 16), "J000000000000123");

    std::memset(number, '0', sizeof number);
    sim().Script("JPUT", qvpsim::Action::Reply("0 0 1 n10 J000000001"));
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number, nullptr), -1);
    EXPECT_EQ(std::string(number, 16), std::string(16, '0'));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);

    sim().Script("JPUT", qvpsim::Action::Reply("0 2"));
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number, nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_MORE_DATA);
    sim().Script("JSCH", qvpsim::Action::Reply("16 22"));
    const std::string schedule(224, ' ');
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number, schedule.data()), -1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_CABINET_FULL);

    EXPECT_EQ(qvpAPIPutJob(block(), nullptr, number, nullptr), -1);
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", nullptr, nullptr), -1);
    EXPECT_EQ(qvpAPIPutJob(block(), std::string(231, 'p').c_str(), number, nullptr), -1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(RecordsTest, JobControlRequestsReportRefusals) {
    Open();
    EXPECT_EQ(qvpAPIExecJob(block(), "\\F\\JOB1"), 1);
    sim().Script("JEXC", qvpsim::Action::Reply("4 16"));
    EXPECT_EQ(qvpAPIExecJob(block(), "\\F\\JOB1"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    EXPECT_EQ(qvpAPIDeleteJob(block(), "\\F\\JOB1", 0, 0), 1);
    sim().Script("JDEL", qvpsim::Action::Reply("16 21"));
    EXPECT_EQ(qvpAPIDeleteCommand(block(), "\\F\\JOB1", "node1", "1"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(qvpAPIExecJob(block(), nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

// The job requests' DLL.LOG lines, each exact up to the record's blank padding.
class JobLogTest : public RecordsTest {
protected:
    bool Logged(const std::string& line) {
        std::ifstream in(data() / "LOG" / "DLL.LOG", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
            const size_t end = at + line.size();
            if (end < text.size() && (text[end] == ' ' || text[end] == '\r')) return true;
        }
        return false;
    }
    void Reopen() {
        qvAPIClose();
        Open();
    }
    char number_[16] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
};

TEST_F(JobLogTest, PutJobLogsSizesAndRefusedClasses) {
    Open();
    const std::string schedule(224, '\0');
    ASSERT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number_, schedule.data()), 1);
    EXPECT_TRUE(Logged("qvpAPIPutJob : JobFileName_size = 5"));
    EXPECT_TRUE(Logged("qvpAPIPutJob : JobNo_size = 16"));
    EXPECT_FALSE(Logged("qvpAPIPutJob : JobNo_size = 1"));  // a line is matched whole
    EXPECT_TRUE(Logged("qvpAPIPutJob : Schdule_size = 224"));
    EXPECT_TRUE(Logged("qvpAPIPutJob : send_size = " + std::to_string(LastRequest().size())));
    for (const char* cls : {"2", "4", "6", "8"}) {
        sim().Script("JPUT", qvpsim::Action::Reply(std::string("0 ") + cls));
        EXPECT_NE(qvpAPIPutJob(block(), "\\F\\JG", number_, nullptr), 1) << cls;
        EXPECT_TRUE(Logged(std::string("qvpAPIPutJob : JPUT 0 - ") + cls)) << cls;
    }
    sim().Script("JPUT", qvpsim::Action::Reply("16 22"));
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number_, nullptr), -1);
    EXPECT_TRUE(Logged("qvpAPIPutJob : JPUT Error code = 16 22"));

    EXPECT_EQ(qvpAPIPutJob(block(), nullptr, number_, nullptr), -1);
    EXPECT_TRUE(Logged("qvpAPIPutJob : Logical Error : Jobgen File Name Pointer is NULL"));
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", nullptr, nullptr), -1);
    EXPECT_TRUE(Logged("qvpAPIPutJob : Logical Error : JobNo Pointer is NULL"));
    EXPECT_EQ(qvpAPIPutJob(block(), "", number_, nullptr), -1);
    EXPECT_TRUE(Logged("qvpAPIPutJob : Logical Error : Jobgen File Name Len"));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(block()->errorCategory, -1);
    EXPECT_EQ(block()->errorDetail1, 4);
}

TEST_F(JobLogTest, JobControlLogsRefusalsAndParameterErrors) {
    Open();
    sim().Script("JEXC", qvpsim::Action::Reply("4 16"));
    EXPECT_EQ(qvpAPIExecJob(block(), "\\F\\JOB1"), 0);
    EXPECT_TRUE(Logged("qvpAPIExecJob : JEXC Error code = 4 16"));
    EXPECT_EQ(block()->errorCategory, 0x100000);
    sim().Script("JDEL", qvpsim::Action::Reply("16 21"));
    EXPECT_EQ(qvpAPIDeleteJob(block(), "\\F\\JOB1", 0, 0), 0);
    EXPECT_TRUE(Logged("qvpAPIDeleteJob : JDEL Error code = 16 21"));
    sim().Script("JDEL", qvpsim::Action::Reply("16 90"));
    EXPECT_EQ(qvpAPIDeleteCommand(block(), "\\F\\JOB1", "node1", "1"), 0);
    EXPECT_TRUE(Logged("qvpAPIDeleteCommand : JDEL Error code = 16 90"));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);

    EXPECT_EQ(qvpAPIExecJob(block(), nullptr), 0);
    EXPECT_TRUE(Logged("qvpAPIExecJob : Logical Error : JobNo Pointer is NULL"));
    EXPECT_EQ(qvpAPIDeleteJob(block(), nullptr, 0, 0), 0);
    EXPECT_TRUE(Logged("qvpAPIDeleteJob : Logical Error : JobNo Pointer is NULL"));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(JobLogTest, TransportFailuresAreLoggedPerRequest) {
    const auto drop = qvpsim::Action::Of(qvpsim::Action::Kind::DropAfterRead);
    Open();
    sim().Script("JPUT", drop);
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number_, nullptr), -1);
    EXPECT_TRUE(Logged("qvpAPIPutJob : TcpRecvMsg Error"));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_RECV);
    // The broken session sends nothing more.
    EXPECT_EQ(qvpAPIPutJob(block(), "\\F\\JG", number_, nullptr), -1);
    EXPECT_TRUE(Logged("qvpAPIPutJob : TcpSendMsg Error"));
    EXPECT_EQ(qvpAPIExecJob(block(), "\\F\\JOB1"), 0);
    EXPECT_TRUE(Logged("qvpAPIExecJob : TcpSendMsg Error"));
    EXPECT_EQ(qvpAPIDeleteJob(block(), "\\F\\JOB1", 0, 0), 0);
    EXPECT_TRUE(Logged("qvpAPIDeleteJob : TcpSendMsg Error"));
    EXPECT_EQ(qvpAPIDeleteCommand(block(), "\\F\\JOB1", "node1", "1"), 0);
    EXPECT_TRUE(Logged("qvpAPIDeleteCommand : TcpSendMsg Error"));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_SEND);

    Reopen();
    sim().Script("JEXC", drop);
    EXPECT_EQ(qvpAPIExecJob(block(), "\\F\\JOB1"), 0);
    EXPECT_TRUE(Logged("qvpAPIExecJob : TcpRecvMsg Error"));
    Reopen();
    sim().Script("JDEL", drop);
    EXPECT_EQ(qvpAPIDeleteJob(block(), "\\F\\JOB1", 1, 0xFFFF), 0);
    EXPECT_TRUE(Logged("qvpAPIDeleteJob : TcpRecvMsg Error"));
    Reopen();
    sim().Script("JDEL", drop);
    EXPECT_EQ(qvpAPIDeleteCommand(block(), "\\F\\JOB1", "node1", "1"), 0);
    EXPECT_TRUE(Logged("qvpAPIDeleteCommand : TcpRecvMsg Error"));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_RECV);
}

std::string Inventory() {
    std::string r(80, '\0');
    r[3] = 7;              // u32 at 0
    r[75] = 3;             // three entries
    r += std::string("\x01\x00\x00\x04\x00\x05\x01\x00", 8);          // type 1: two u16
    r += std::string("\x31\x00\x00\x04\x00\x00\x01\x02", 8);          // type 49: one u32
    r += std::string("\x09\x00\x00\x02\xAB\xCD", 6);                  // type 9: bytes
    return r;
}

TEST_F(RecordsTest, InventoryIsConvertedWithinItsItem) {
    Open();
    store().SetInventory("node1", Inventory());
    auto* r = static_cast<unsigned char*>(qvpAPIGetInv(block(), "node1"));
    ASSERT_NE(r, nullptr);
    uint32_t u32;
    uint16_t u16;
    std::memcpy(&u32, r, 4);
    EXPECT_EQ(u32, 7u);
    std::memcpy(&u32, r + 72, 4);
    EXPECT_EQ(u32, 3u);
    std::memcpy(&u16, r + 82, 2);
    EXPECT_EQ(u16, 4u);
    std::memcpy(&u16, r + 84, 2);
    EXPECT_EQ(u16, 5u);
    std::memcpy(&u16, r + 86, 2);
    EXPECT_EQ(u16, 256u);
    std::memcpy(&u32, r + 92, 4);
    EXPECT_EQ(u32, 0x102u);
    EXPECT_EQ(r[100], 0xAB);

    qvAPISetLastError(0);
    EXPECT_EQ(qvpAPIGetInv(block(), "nobody"), nullptr);
    EXPECT_NE(qvAPIGetLastError(), 0u);
    // An entry that runs past the item.
    std::string bad = Inventory();
    bad[bad.size() - 3] = 0x40;
    store().SetInventory("node2", bad);
    EXPECT_EQ(qvpAPIGetInv(block(), "node2"), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
}

TEST_F(RecordsTest, ScriptFilePlacedInResourceFolderOrJobGen) {
    Open();
    store().AddPackage(Package('C', "A1", "editor", "1", "0001", "R1234567"), "packed", std::string("script"));
    const fs::path script = root_ / "script.txt";
    std::ofstream(script) << "echo new";
    ASSERT_EQ(qvpAPIPutScriptFile(block(), "", "C.A1.editor.1.0001", script.c_str()), 1);
    std::ifstream placed(data() / "SERVER/ZARNQV/RESOURCE/Q1234567");
    std::string text((std::istreambuf_iterator<char>(placed)), {});
    EXPECT_EQ(text, "echo new");

    const fs::path jobGen = data() / "SERVER/ZARNQV/MNGFL/JOBGEN/F/JG";
    fs::create_directories(jobGen);
    ASSERT_EQ(qvpAPIPutScriptFile(block(), "\\F\\JG", "C.A1.editor.1.0001", script.c_str()), 1);
    EXPECT_TRUE(fs::exists(jobGen / "Q1234567"));
    EXPECT_EQ(qvpAPIPutScriptFile(block(), "", "C.A1.missing.1.0001", script.c_str()), 0);

    EXPECT_EQ(qvpAPIDeleteJobGen(block(), "\\F\\JG"), 1);
    EXPECT_FALSE(fs::exists(jobGen));
    EXPECT_EQ(qvpAPIDeleteJobGen(block(), ""), 0);
    EXPECT_EQ(qvpAPIDeleteJobGen(block(), nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace qvptest
