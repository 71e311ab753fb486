// Status records: node walks, deletion by pattern and the rename walk, over the socket and in a
// session without a socket against files.
#include "records/fixture.h"
#include "support/status_files.h"

namespace qvptest {
namespace {

// Moves every record of `oldName` to `newName` the way the node rename does: the record comes as
// the reply's item, gets the new name and is stored; the prefetched reply is the next one.
// Returns the number of records moved, or -1 on a failure other than the end.
int RenameNode(QVPAPI* b, const char* oldName, const char* newName) {
    if (!qvpAPIGetFileFirstSts(b, oldName)) return -1;
    int moved = 0;
    for (;;) {
        const int cls = qvpAPICheckFgetReply(b->replyBuffer, b->replyLength);
        if (cls == kFgetNoMore || cls == kFgetClass16) return moved;
        if (cls != kFgetRecord) return -1;
        uint32_t length = 0;
        char* item = const_cast<char*>(qvpAPIGetFgetItem(b->replyBuffer, b->replyLength, &length));
        if (item == nullptr) return -1;
        // The item may lie unaligned: its node name is reached by offset.
        std::memset(item + offsetof(QVAPI_INSPACKAGE, szNodeName), ' ', 64);
        std::memcpy(item + offsetof(QVAPI_INSPACKAGE, szNodeName), newName, std::strlen(newName));
        if (!qvpAPIUpdateSts(b, oldName, newName, reinterpret_cast<QVAPI_INSPACKAGE*>(item))) return -1;
        ++moved;
        std::memcpy(b->replyBuffer, b->fgetReplyBuffer, sizeof b->replyBuffer);
        b->replyLength = b->fgetReplyLength;
        if (!qvpAPIGetFileNextSts(b, oldName, newName)) return -1;
    }
}

std::string Rec(const char* node, const char* package, size_t item = 0) {
    return MakeStatusRecord(node, 'C', "A1", package, "1/0", "0001", item);
}

class StatusTest : public RecordsTest {
protected:
    // Three records of "old" (one with an item), one of "old2" that must stay.
    void Fill(bool files) {
        const std::vector<std::pair<const char*, std::string>> records = {
            {"old", Rec("old", "p1")}, {"old", Rec("old", "p2", 40)}, {"old", Rec("old", "p3")},
            {"old2", Rec("old2", "p1")}};
        for (const auto& [node, record] : records) {
            if (files) WriteStatusFile(data(), node, record);
            else store().AddStatus(node, record);
        }
    }
    std::vector<std::string> Packages(const char* node) {
        std::vector<std::string> out;
        if (!qvpAPIGetHeadStsPos(block(), node)) return out;
        while (QVAPI_INSPACKAGE* r = qvpAPIGetNextSts(block())) {
            EXPECT_EQ(std::string(r->szNodeName, std::strlen(node)), node);
            out.emplace_back(r->szPackageId, 2);
        }
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
        return out;
    }
    void ExpectRenameMovesAll() {
        ASSERT_EQ(qvpAPISetStsNodeQuery(block(), "old"), 1);
        EXPECT_EQ(RenameNode(block(), "old", "new"), 3);
        qvpAPIDeleteStsNodeQuery(block());
        EXPECT_EQ(Packages("new"), (std::vector<std::string>{"p1", "p2", "p3"}));
        EXPECT_TRUE(Packages("old").empty());
        EXPECT_EQ(Packages("old2"), (std::vector<std::string>{"p1"}));
        EXPECT_EQ(RenameNode(block(), "old", "new"), -1);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    }
    void ExpectDeleteByPattern() {
        EXPECT_EQ(qvpAPIDeleteSts(block(), "old", 'C', "p2", nullptr, nullptr), 1);
        EXPECT_EQ(Packages("old"), (std::vector<std::string>{"p1", "p3"}));
        EXPECT_EQ(qvpAPIDeleteSts(block(), nullptr, 0, "p1", nullptr, nullptr), 1);
        EXPECT_EQ(Packages("old"), (std::vector<std::string>{"p3"}));
        EXPECT_TRUE(Packages("old2").empty());
        EXPECT_EQ(qvpAPIDeleteSts(block(), "nobody", 0, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
        EXPECT_EQ(qvpAPIDeleteSts(block(), std::string(65, 'n').c_str(), 0, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    }
};

TEST_F(StatusTest, RenameMovesEveryRecordOverTheSocket) {
    Fill(false);
    Open();
    ExpectRenameMovesAll();
    EXPECT_EQ(store().Keys('S').size(), 4u);
}

TEST_F(StatusTest, RenameMovesEveryRecordWithoutASocket) {
    Fill(true);
    OpenSocketless();
    ExpectRenameMovesAll();
    EXPECT_EQ(StatusFiles(data(), "new"), (std::vector<std::string>{"C.A1.p1.1#0.0001", "C.A1.p2.1#0.0001",
                                                                     "C.A1.p3.1#0.0001"}));
    EXPECT_TRUE(StatusFiles(data(), "old").empty());
    EXPECT_TRUE(sim().Received().size() <= 1u);  // the handshake only
}

TEST_F(StatusTest, DeleteByPatternOverTheSocket) {
    Fill(false);
    Open();
    ExpectDeleteByPattern();
}

TEST_F(StatusTest, DeleteByPatternWithoutASocket) {
    Fill(true);
    OpenSocketless();
    ExpectDeleteByPattern();
}

// A record whose length word claims more than its reply brought is not stored.
TEST_F(StatusTest, UpdateTakesNoMoreThanTheReplyBrought) {
    std::string record = Rec("old", "p1");
    record[0] = static_cast<char>(1500 >> 8);
    record[1] = static_cast<char>(1500 & 0xFF);
    store().AddStatus("old", record);
    Open();
    ASSERT_EQ(qvpAPIGetFileFirstSts(block(), "old"), 1);
    uint32_t length = 0;
    char* item = const_cast<char*>(qvpAPIGetFgetItem(block()->replyBuffer, block()->replyLength, &length));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(length, 432u);
    qvAPISetLastError(0);
    EXPECT_EQ(qvpAPIUpdateSts(block(), "old", "new", reinterpret_cast<QVAPI_INSPACKAGE*>(item)), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    for (const std::string& request : sim().Received()) EXPECT_NE(request.substr(0, 4), "FUPD");
    EXPECT_EQ(store().Keys('S').size(), 1u);
}

// Without a socket a node name or job number is one folder or file of the store, never a path.
TEST_F(StatusTest, LocalNamesNeverLeaveTheirFolder) {
    WriteStatusFile(data(), "a", Rec("a", "p1"));
    WriteStatusFile(data(), "b", Rec("b", "p1"));
    WriteExecutionFile(data(), "J000000000000001", "n", MakeExecutionRecord("n", 'D', 1));
    OpenSocketless();
    EXPECT_EQ(qvpAPIGetFileFirstSts(block(), "a\\..\\b"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvpAPIGetHeadStsPos(block(), "a/../b"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    const std::string record = Rec("..\\x", "p1");
    EXPECT_EQ(qvpAPIUpdateSts(block(), "b", "..\\x", reinterpret_cast<const QVAPI_INSPACKAGE*>(record.data())), 0);
    EXPECT_FALSE(fs::exists(data() / "SERVER" / "ZARNQV" / "MNGFL" / "x"));
    EXPECT_EQ(StatusFiles(data(), "b"), (std::vector<std::string>{"C.A1.p1.1#0.0001"}));

    EXPECT_EQ(qvpAPIFindCommand(block(), "J000000000000001", "..\\J000000000000001\\n"), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(StatusTest, NodeFilterRefusesBadNamesAndIsReplaced) {
    Open();
    EXPECT_EQ(qvpAPISetStsNodeQuery(block(), ""), 0);
    EXPECT_EQ(qvpAPISetStsNodeQuery(block(), std::string(65, 'n').c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    ASSERT_EQ(qvpAPISetStsNodeQuery(block(), std::string(64, 'n').c_str()), 1);
    EXPECT_EQ(std::string(block()->statusNodeFilter), std::string(64, 'n'));
    ASSERT_EQ(qvpAPISetStsNodeQuery(block(), "a!b"), 1);
    EXPECT_STREQ(block()->statusNodeFilter, "a!b");
    qvpAPIDeleteStsNodeQuery(block());
    EXPECT_EQ(block()->statusNodeFilter, nullptr);
}

}  // namespace
}  // namespace qvptest
