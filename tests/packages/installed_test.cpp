#include <cstring>
#include <functional>

#include "nodes/node_writer.h"
#include "packages/package_fixture.h"
#include "support/status_files.h"

namespace qvptest {
namespace {

std::string Rec(const char* node, const char* package, size_t item = 0) {
    return MakeStatusRecord(node, 'C', "A1", package, "1/0", "0001", item);
}

class InstalledTest : public PackagesTest {
protected:
    // Three records of "old.pc" (stored escaped, one with an item), one of "old.pc2" that stays.
    void Fill(bool files) {
        for (const auto& [node, record] :
             {std::pair{"old!pc", Rec("old!pc", "p1")}, std::pair{"old!pc", Rec("old!pc", "p2", 40)},
              std::pair{"old!pc", Rec("old!pc", "p3")}, std::pair{"old!pc2", Rec("old!pc2", "p1")}}) {
            if (files) WriteStatusFile(data(), node, record);
            else store().AddStatus(node, record);
        }
    }
    // The packages of a node through the exported walk, each record's name checked padded.
    std::vector<std::string> Walk(const char* node, const std::string& stored) {
        std::vector<std::string> packages;
        QVAPI_INSPACKAGE record;
        QVPAPI_HANDLE find = qvAPIFindFirstInsPackage(node, &record, 0, 0);
        if (find == QVPAPI_INVALID_HANDLE) return packages;
        do {
            std::string padded = stored;
            padded.resize(64, ' ');
            EXPECT_EQ(std::string(record.szNodeName, 64), padded);
            packages.emplace_back(record.szPackageId, 2);
        } while (qvAPIFindNextInsPackage(find, &record, 0, 0));
        EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(qvAPIFindCloseInsPackage(find, 0, 0), 1);
        return packages;
    }
};

TEST_F(InstalledTest, RenameMovesEveryRecordWithAndWithoutASocket) {
    for (bool socketless : {false, true}) {
        SCOPED_TRACE(socketless ? "without a socket" : "with a socket");
        Fill(socketless);
        if (socketless) OpenSocketless();
        else Open();
        ASSERT_EQ(qvAPIChangeNameInsPackage("old.pc", "new.pc", 0, 0), 1) << std::hex << Code();
        EXPECT_EQ(Code(), 0u);
        EXPECT_EQ(Walk("new.pc", "new!pc"), (std::vector<std::string>{"p1", "p2", "p3"}));
        EXPECT_EQ(Walk("old.pc2", "old!pc2"), (std::vector<std::string>{"p1"}));
        EXPECT_EQ(qvAPIFindFirstInsPackage("old.pc", nullptr, 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIChangeNameInsPackage("old.pc", "new.pc", 0, 0), 0);
        EXPECT_EQ(Code(), QVAPI_ERR_NOT_FOUND);
        if (socketless) {
            EXPECT_EQ(StatusFiles(data(), "new!pc").size(), 3u);
        }
        ASSERT_EQ(qvAPIDeleteInsPackage("new.pc", 0, nullptr, nullptr, nullptr, 0, 0), 1) << std::hex << Code();
        EXPECT_EQ(qvAPIDeleteInsPackage("new.pc", 0, nullptr, nullptr, nullptr, 0, 0), 0);
        EXPECT_EQ(Code(), QVAPI_ERR_NOT_FOUND);
        qvAPIClose();
        sim().SetHandshakeReply(qvpsim::kDefaultHandshakeReply);
    }
}

// The node writers' inventory rename reaches the records through this area.
TEST_F(InstalledTest, TheNodeWritersRenameTakesTheRecordsAlong) {
    Fill(false);
    Open();
    ASSERT_EQ(qvp::nodes::qvAPIChangeNameInventoryNodeDefinition("old.pc", "new.pc", 0, 0), 1) << std::hex << Code();
    EXPECT_EQ(Walk("new.pc", "new!pc"), (std::vector<std::string>{"p1", "p2", "p3"}));
    // A node without records is no failure for the writers.
    EXPECT_EQ(qvp::nodes::qvAPIChangeNameInventoryNodeDefinition("none", "other", 0, 0), 1);
}

TEST_F(InstalledTest, ARenameWalkOnBadRecordsEnds) {
    Open();
    // A record that never moves: the manager keeps answering with it.
    sim().Script("FGET", qvpsim::Action::Reply("0 0 2 i432 " + Rec("old!pc", "p9") + " k1 x"), -1);
    sim().Script("FUPD", qvpsim::Action::Reply("0 0 0"), -1);
    sim().Script("FDEL", qvpsim::Action::Reply("0 0 0"), -1);
    EXPECT_EQ(qvAPIChangeNameInsPackage("old.pc", "new.pc", 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_UNEXPECTED_DATA);
    // A long name whose length runs past the record.
    sim().ClearScripts();
    std::string record = Rec("", "p1", 8);
    record[55] = '\0';
    record[442] = '\x7f';
    sim().Script("FGET", qvpsim::Action::Reply("0 0 2 i" + std::to_string(record.size()) + " " + record + " k1 x"));
    EXPECT_EQ(qvAPIChangeNameInsPackage("old.pc", "new.pc", 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_RESOURCE);
}

TEST_F(InstalledTest, ArgumentsAreRefusedBeforeAnyRequest) {
    Open();
    const std::string long65(65, 'n');
    QVAPI_INSPACKAGE record;
    int other = 0;
    ExpectRefusedUnsent({
        {"rename, long name", [&] { return qvAPIChangeNameInsPackage("a", long65.c_str(), 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"rename, empty name", [&] { return qvAPIChangeNameInsPackage("", "b", 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"find, long name", [&] { return static_cast<long>(qvAPIFindFirstInsPackage(long65.c_str(), &record, 0, 0) != QVPAPI_INVALID_HANDLE); }, QVAPI_ERR_INVALID_PARAMETER},
        {"next, other handle", [&] { return qvAPIFindNextInsPackage(&other, &record, 0, 0); }, QVAPI_ERR_INVALID_HANDLE},
        {"delete, QvCode X", [&] { return qvAPIDeleteInsPackage("a", 'X', nullptr, nullptr, nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"delete, empty version", [&] { return qvAPIDeleteInsPackage("a", 'C', "p", "", nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"delete, long name", [&] { return qvAPIDeleteInsPackage(long65.c_str(), 0, nullptr, nullptr, nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
    });
}

}  // namespace
}  // namespace qvptest
