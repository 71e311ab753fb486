// The same caller against the other ways a session can stand: a manager that grants a session
// without a socket, a connection that breaks halfway, and a thread that ends without closing.
#include <cstring>
#include <thread>

#include "client/ar/archiver.h"
#include "core/block.h"
#include "e2e/caller_fixture.h"
#include "records/records.h"
#include "support/status_files.h"

namespace qvpe2e {
namespace {

std::string StatusRecord(const std::string& node, const char* package) {
    return qvptest::MakeStatusRecord(node, 'C', "1A", package, "1/0", "0001");
}

// Without a socket the node store still answers, the status records are read and renamed in
// their files, and the close sends nothing but still clears the work trees.
TEST_F(CallerTest, SessionWithoutASocketWorksOnTheLocalFiles) {
    const CallerData caller{"sl", 'C'};
    Prepare(caller);
    for (const char* package : {"p1", "p2"}) qvptest::WriteStatusFile(Data(), caller.OldNode(), StatusRecord(caller.OldNode(), package));
    sim_->SetHandshakeReply("CONNECTA 52");

    ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1) << std::hex << qvAPIGetLastError();
    QVPAPI* b = qvpGetThreadBlock();
    ASSERT_EQ(b->link, QvpLink::Socketless);
    ASSERT_EQ(qvAPIExpandLevel(5), 1);
    const uint32_t threadId = b->openerThreadId;
    MakeWorkTrees(threadId);

    QVAPI_NODE node;
    ASSERT_EQ(qvAPIGetMasterDefinitionByName(caller.Master().c_str(), &node), 1);
    ASSERT_EQ(qvAPICreateClient(caller.Group().c_str(), caller.Client().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    QVPAPI_HANDLE find = qvAPIFindFirstNode(caller.Group().c_str(), &node, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(std::string(node.ucNodeName), caller.Client());
    EXPECT_EQ(qvAPIFindNextNode(find, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIFindCloseNode(find, 0, 0), 1);
    EXPECT_EQ(qvAPIDeleteClient(caller.Group().c_str(), caller.Client().c_str(), 0, 0), 1);

    // The rename walk over the node's status files.
    ASSERT_EQ(qvpAPIGetFileFirstSts(b, caller.OldNode().c_str()), 1) << std::hex << qvAPIGetLastError();
    int moved = 0;
    while (qvpAPICheckFgetReply(b->replyBuffer, b->replyLength) == kFgetRecord) {
        uint32_t length = 0;
        char* item = const_cast<char*>(qvpAPIGetFgetItem(b->replyBuffer, b->replyLength, &length));
        ASSERT_NE(item, nullptr);
        std::memset(item + offsetof(QVAPI_INSPACKAGE, szNodeName), ' ', 64);
        std::memcpy(item + offsetof(QVAPI_INSPACKAGE, szNodeName), caller.NewNode().data(), caller.NewNode().size());
        ASSERT_EQ(qvpAPIUpdateSts(b, caller.OldNode().c_str(), caller.NewNode().c_str(),
                                  reinterpret_cast<QVAPI_INSPACKAGE*>(item)), 1);
        ++moved;
        std::memcpy(b->replyBuffer, b->fgetReplyBuffer, sizeof b->replyBuffer);
        b->replyLength = b->fgetReplyLength;
        ASSERT_EQ(qvpAPIGetFileNextSts(b, caller.OldNode().c_str(), caller.NewNode().c_str()), 1);
    }
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(qvptest::StatusFiles(Data(), caller.NewNode()),
              (std::vector<std::string>{"C.1A.p1.1#0.0001", "C.1A.p2.1#0.0001"}));
    EXPECT_TRUE(qvptest::StatusFiles(Data(), caller.OldNode()).empty());

    EXPECT_EQ(qvAPIClose(), 1);
    ExpectWorkTreesGone(threadId);
    const int connection = sim_->Connections().at(0);
    const std::vector<std::string> received = ReceivedUntilClosed(connection);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].rfind("AINT 2 v5 V0300 h", 0), 0u);
}

// A connection that breaks leaves the session broken: requests to the manager fail at once,
// the local store still serves, and the close still frees everything without talking.
TEST_F(CallerTest, BrokenConnectionFailsRequestsAtOnceAndStillCloses) {
    const CallerData caller{"br", 'C'};
    Prepare(caller);
    ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1);
    QVPAPI* b = qvpGetThreadBlock();
    ASSERT_EQ(qvAPIExpandLevel(5), 1);
    const uint32_t threadId = b->openerThreadId;
    MakeWorkTrees(threadId);

    // The positioning brings the first cabinet; the next one has to be asked for.
    ASSERT_EQ(qvpAPIGetHeadManaPos(b, "C"), 1);
    ASSERT_NE(qvpAPIGetNextMana(b), nullptr);
    sim_->Script("FGET", qvpsim::Action::Of(qvpsim::Action::Kind::DropAfterRead));
    EXPECT_EQ(qvpAPIGetNextMana(b), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_RECV);
    EXPECT_EQ(b->link, QvpLink::Broken);
    const int connection = sim_->Connections().at(0);
    const size_t sent = ReceivedUntilClosed(connection).size();

    EXPECT_EQ(qvpAPIGetHeadManaPos(b, "C"), 0);
    EXPECT_NE(qvAPIGetLastError(), 0u);
    EXPECT_EQ(sim_->Received(connection).size(), sent);

    QVAPI_NODE node;
    EXPECT_EQ(qvAPIGetClientDefinitionByName(caller.Client().c_str(), &node), 1);
    EXPECT_EQ(qvAPICreateClient(caller.Group().c_str(), caller.Client().c_str(), 0, 0), 1);
    EXPECT_EQ(qvAPIDeleteClient(caller.Group().c_str(), caller.Client().c_str(), 0, 0), 1);

    EXPECT_EQ(qvAPIClose(), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    ExpectWorkTreesGone(threadId);
    EXPECT_EQ(sim_->Received(connection).size(), sent);
    EXPECT_EQ(sim_->Connections().size(), 1u);

    // The thread opens again and is served as before.
    ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1);
    EXPECT_EQ(qvpAPIGetHeadManaPos(qvpGetThreadBlock(), "C"), 1);
    EXPECT_EQ(qvAPIClose(), 1);
    ExpectClosingSequence(sim_->Connections().at(1));
}

// A manager that goes silent mid-walk holds the caller no longer than ReceiveTimeout: the
// session is broken, the node store still serves, and the close does not wait again.
TEST_F(CallerTest, SilentManagerBreaksTheSessionAfterReceiveTimeout) {
    const CallerData caller{"sm", 'C'};
    Prepare(caller);
    ASSERT_TRUE(win::registry::Set("ReceiveTimeout", "1"));
    ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1);
    QVPAPI* b = qvpGetThreadBlock();
    ASSERT_EQ(qvpAPIGetHeadManaPos(b, "C"), 1);
    ASSERT_NE(qvpAPIGetNextMana(b), nullptr);
    sim_->Script("*", qvpsim::Action::Of(qvpsim::Action::Kind::Silence), -1);
    EXPECT_EQ(qvpAPIGetNextMana(b), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_RECV);
    EXPECT_EQ(b->link, QvpLink::Broken);
    EXPECT_EQ(qvAPICreateClient(caller.Group().c_str(), caller.Client().c_str(), 0, 0), 1);
    const size_t sent = sim_->Received().size();
    EXPECT_EQ(qvAPIClose(), 1);
    EXPECT_EQ(sim_->Received().size(), sent);
    sim_->ClearScripts();
}

// A caller thread that ends with its session open: the library closes it for the thread, as
// qvAPIClose would.
TEST_F(CallerTest, ThreadEndingWithItsSessionOpenClosesIt) {
    const CallerData caller{"te", 'C'};
    Prepare(caller);
    uint32_t threadId = 0;
    std::thread([&] {
        ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1);
        threadId = qvpGetThreadBlock()->openerThreadId;
        MakeWorkTrees(threadId);
        EXPECT_EQ(qvpAPIGetHeadAttrPos(qvpGetThreadBlock(), caller.Cabinet(1).c_str()), 1);
    }).join();
    ASSERT_NE(threadId, 0u);
    ExpectClosingSequence(sim_->Connections().at(0));
    ExpectWorkTreesGone(threadId);
}

// Unpacking needs no session: a thread that never opened one unpacks the same archive.
TEST_F(CallerTest, UnpackingOutsideASession) {
    const CallerData caller{"us", 'C'};
    Prepare(caller);
    std::thread([&] {
        const fs::path work = root_ / "us";
        fs::create_directories(work);
        const fs::path archive = work / "PKG9" / "pack.qvz";
        fs::create_directories(archive.parent_path());
        ASSERT_EQ(qvpcarCreateArcFile(PackFolder(caller).c_str(), "", 0, 0, nullptr, archive.c_str(), 0), 0);
        ASSERT_EQ(qvAPIUnArchive(archive.c_str(), (work / "out").c_str()), 1) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(ReadTree(work / "out" / "pack_PKG9"), ReadTree(PackFolder(caller)));
    }).join();
    EXPECT_TRUE(sim_->Connections().empty());
}

}  // namespace
}  // namespace qvpe2e

namespace qvpe2e {
namespace {

// A record walk asked for between two sessions is refused, and whatever it set up is released
// when the thread opens its next session (the sanitizer build reports it otherwise).
TEST_F(CallerTest, RecordCallBetweenSessionsLeavesNothingBehind) {
    const CallerData caller{"bw", 'C'};
    Prepare(caller);
    std::thread([&] {
        ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1);
        ASSERT_EQ(qvAPIClose(), 1);
        EXPECT_EQ(qvpAPIGetHeadManaPos(qvpGetThreadBlock(), "C"), 0);
        EXPECT_NE(qvAPIGetLastError(), 0u);
        EXPECT_EQ(qvpAPIGetHeadAttrPos(qvpGetThreadBlock(), caller.Cabinet(1).c_str()), 0);
        ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1);
        EXPECT_EQ(qvpAPIGetHeadManaPos(qvpGetThreadBlock(), "C"), 1);
        EXPECT_EQ(qvAPIClose(), 1);
    }).join();
    EXPECT_EQ(sim_->Connections().size(), 2u);
}

}  // namespace
}  // namespace qvpe2e
