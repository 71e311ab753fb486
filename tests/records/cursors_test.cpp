// Cursors over cabinets, package attributes and executions against the simulator.
#include "records/fixture.h"
#include "support/status_files.h"

namespace qvptest {
namespace {

constexpr const char* kJob = "J000000000000007";

std::string CabinetId(const QVAPI_CABINET* c) { return std::string(1, c->cQvCode) + std::string(c->szCabinetId, 2); }

TEST_F(RecordsTest, CabinetWalkDeliversRecordsAsReceivedThenEnds) {
    Open();
    store().AddCabinet('C', "A1", "first");
    store().AddCabinet('C', "B2", "second");
    store().AddCabinet('D', "X9", "other code");
    ASSERT_EQ(qvpAPIGetHeadManaPos(block(), "C"), 1);
    QVAPI_CABINET* c = qvpAPIGetNextMana(block());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(CabinetId(c), "CA1");
    EXPECT_EQ(c->wLength, htobe16(QVAPI_CABINET_SIZE));  // big-endian, as the manager sent it
    c = qvpAPIGetNextMana(block());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(CabinetId(c), "CB2");
    EXPECT_EQ(qvpAPIGetNextMana(block()), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    c = qvpAPIFindMana(block(), "D.X9");
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->szName, "other code");
}

TEST_F(RecordsTest, WalkOverAnEmptyCabinetCodeEndsWithNoMoreItems) {
    Open();
    store().AddCabinet('D', "X9", "other code");
    EXPECT_EQ(qvpAPIGetHeadManaPos(block(), "C"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(RecordsTest, CabinetRequestsReportTheManagersRefusals) {
    Open();
    EXPECT_EQ(qvpAPIAddManaGroup(block(), "C.A1", "tools"), 1);
    EXPECT_EQ(qvpAPIAddManaGroup(block(), "C.A1", "tools"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    EXPECT_EQ(qvpAPIAddManaGroup(block(), "C.A2", ""), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvpAPIAddManaGroup(block(), "C.A2", std::string(33, 'n').c_str()), 0);
    EXPECT_EQ(qvpAPIAddManaGroup(block(), "C.A2", std::string(32, 'n').c_str()), 1);
    sim().Script("GPUT", qvpsim::Action::Refuse("4 16"));
    EXPECT_EQ(qvpAPIAddManaGroup(block(), "C.A3", "busy"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    EXPECT_EQ(qvpAPIUpdateManaGroup(block(), "C.A1", "renamed"), 1);
    EXPECT_STREQ(qvpAPIFindMana(block(), "C.A1")->szName, "renamed");
    EXPECT_EQ(qvpAPIDelManaGroup(block(), "C.A1"), 1);
    EXPECT_EQ(qvpAPIFindMana(block(), "C.A1"), nullptr);
    EXPECT_EQ(qvpAPIDeleteHanger(block()), 1);
    EXPECT_TRUE(store().Keys('M').empty());
}

TEST_F(RecordsTest, AttributeWalkSkipsTheCabinetHeaderWhichFindHeadAttrReturns) {
    Open();
    store().AddCabinet('C', "A1", "tools");
    store().AddPackage(Package('C', "A1", "alpha", "1.0", "0001"));
    store().AddPackage(Package('C', "A1", "beta", "2/1", "0002"));
    store().AddCabinet('C', "B2", "empty");

    ASSERT_EQ(qvpAPIGetHeadAttrPos(block(), "C.A1"), 1);
    QVAPI_PACKAGE* p = qvpAPIGetNextAttr(block());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->szPackageId, 5), "alpha");
    EXPECT_EQ(p->dwAttribute4, htobe32(0x01020304));  // network order
    p = qvpAPIGetNextAttr(block());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->szPackageId, 4), "beta");
    EXPECT_EQ(qvpAPIGetNextAttr(block()), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    p = qvpAPIFindHeadAttr(block(), "C.A1");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->szPackageId, 44), std::string(44, ' '));

    ASSERT_EQ(qvpAPIGetHeadAttrPos(block(), "C.B2"), 1);
    EXPECT_EQ(qvpAPIGetNextAttr(block()), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(RecordsTest, FindAttrChecksKeyWidthsAndTheReturnedKey) {
    Open();
    store().AddPackage(Package('C', "A1", "beta", "2/1", "0002"));
    QVAPI_PACKAGE* p = qvpAPIFindAttr(block(), "C.A1.beta.2/1.0002");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->szVersion, 3), "2/1");
    EXPECT_EQ(qvpAPIFindAttr(block(), ("C.A1." + std::string(45, 'p') + ".1.0001").c_str()), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvpAPIFindAttr(block(), "C.A1.beta.123456789.0002"), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);

    // A manager that answers with another package's record: not the one asked for.
    const QVAPI_PACKAGE other = Package('C', "A1", "gamma", "1", "0001");
    std::string reply = "0 0 2 i784 " + std::string(reinterpret_cast<const char*>(&other), sizeof other);
    sim().Script("FGET", qvpsim::Action::Reply(reply));
    EXPECT_EQ(qvpAPIFindAttr(block(), "C.A1.beta.2/1.0002"), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    EXPECT_EQ(qvpAPIDeleteSoftware(block(), "C.A1.beta.2/1.0002"), 1);
    EXPECT_EQ(qvpAPIDeleteSoftware(block(), "C.A1.beta.2/1.0002"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
    // 63 characters are sent, 64 are refused.
    EXPECT_EQ(qvpAPIDeleteSoftware(block(), ("C.A1." + std::string(44, 'p') + ".12345678.0001").c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(qvpAPIDeleteSoftware(block(), ("C.A1." + std::string(44, 'p') + ".12345678.00012").c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(RecordsTest, FindCommandLeavesItsRecordForGetNextCommand) {
    Open();
    store().AddExecution("grp.node1", kJob, MakeExecutionRecord("grp.node1", 'D', 1));
    store().AddExecution("grp.node1", "J000000000000008", MakeExecutionRecord("grp.node1", 'D', 9));
    QVAPI_EXECUTION* e = qvpAPIFindCommand(block(), kJob, "grp.node1");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ucStatus[2], 1);
    e = qvpAPIGetNextCommand(block());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ucStatus[2], 1);
    EXPECT_EQ(qvpAPIGetNextCommand(block()), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvpAPIFindCommand(block(), kJob, "grp.node2"), nullptr);
    EXPECT_EQ(block()->errorDetail1, 16);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

// The entry, then each member below it, then the end; records of other numbers and of
// neighbouring paths ("grp2") stay out.
void ExpectEntryAndMembers(QVPAPI* b) {
    QVAPI_EXECUTION* e = qvpAPIFindCommand(b, kJob, "grp.*");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ucStatus[2], 1);
    // The found record again, then the next ones.
    std::vector<int> markers;
    while ((e = qvpAPIGetNextCommand(b)) != nullptr) markers.push_back(e->ucStatus[2]);
    EXPECT_EQ(markers, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(RecordsTest, WildcardLookupReturnsTheEntryAndItsMembers) {
    Open();
    store().AddExecution("grp", kJob, MakeExecutionRecord("grp", 'G', 1));
    store().AddExecution("grp.a", kJob, MakeExecutionRecord("a", 'D', 2));
    store().AddExecution("grp.b", kJob, MakeExecutionRecord("b", 'D', 3));
    store().AddExecution("grp.b", "J000000000000008", MakeExecutionRecord("b", 'D', 8));
    store().AddExecution("grp2", kJob, MakeExecutionRecord("grp2", 'D', 9));
    ExpectEntryAndMembers(block());
}

TEST_F(RecordsTest, WildcardLookupWithoutASocketReadsTheExecutionFiles) {
    WriteExecutionFile(data(), kJob, "grp", MakeExecutionRecord("grp", 'G', 1));
    WriteExecutionFile(data(), kJob, "grp.a", MakeExecutionRecord("a", 'D', 2));
    WriteExecutionFile(data(), kJob, "grp.b", MakeExecutionRecord("b", 'D', 3));
    WriteExecutionFile(data(), kJob, "grp2", MakeExecutionRecord("grp2", 'D', 9));
    OpenSocketless();
    ExpectEntryAndMembers(block());
    EXPECT_EQ(qvpAPIFrlsCommandLocal(block()), 1);
    EXPECT_EQ(qvpAPIFindCommand(block(), kJob, "none"), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(RecordsTest, SkipRepliesAreAskedPast) {
    Open();
    store().AddCabinet('C', "A1", "first");
    store().AddCabinet('C', "B2", "second");
    ASSERT_EQ(qvpAPIGetHeadManaPos(block(), "C"), 1);
    ASSERT_NE(qvpAPIGetNextMana(block()), nullptr);
    sim().Script("FGET", qvpsim::Action::Reply("0 161"), 2);
    QVAPI_CABINET* c = qvpAPIGetNextMana(block());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(CabinetId(c), "CB2");
}

TEST_F(RecordsTest, SkipsWithoutEndFailTheWalk) {
    Open();
    store().AddCabinet('C', "A1", "first");
    ASSERT_EQ(qvpAPIGetHeadManaPos(block(), "C"), 1);
    ASSERT_NE(qvpAPIGetNextMana(block()), nullptr);
    sim().ClearLog();
    sim().Script("FGET", qvpsim::Action::Reply("0 161"), -1);
    EXPECT_EQ(qvpAPIGetNextMana(block()), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    // The first request, then as many skips asked past as the bound allows.
    EXPECT_EQ(sim().Received().size(), static_cast<size_t>(kQvpMaxSkipsPerWalk) + 1);
}

}  // namespace
}  // namespace qvptest
