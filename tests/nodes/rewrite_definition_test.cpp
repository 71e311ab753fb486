// Stamping, hold changes and group renames of a stored definition.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/block.h"
#include "core/frame.h"
#include "nodes/node_group_steps.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/node_group_builder.h"

using qvp::nodes::qvAPIChangeHoldDefinition;
using qvp::nodes::qvAPIChangeLinkNode;
using qvp::nodes::qvAPIChangeTimeDefinition;

namespace {

namespace fs = std::filesystem;
using qvptest::NodeGroupStore;

class RewriteDefinition : public NodeGroupStore {
protected:
    void SetUp() override {
        NodeGroupStore::SetUp();
        alpha_ = AddHostNode("alpha", QVAPI_NODE_CLIENT);
        boss_ = AddHostNode("boss", QVAPI_NODE_MASTER);
    }
    QVAPI_NODE alpha_{}, boss_{};
};

TEST_F(RewriteDefinition, StampAtLevelZeroKeepsTheTail) {
    SetLevelSize(960);
    const fs::path flat = store_->DefinitionPath(alpha_);
    const auto before = Bytes(flat);
    const QVAPI_NODE_TIME stamp{2024, 5, 1, 6, 7, 8, 9, 10};
    ASSERT_EQ(qvAPIChangeTimeDefinition("alpha", stamp, 0, 0), 1) << std::hex << qvAPIGetLastError();
    const auto after = Bytes(flat);
    ASSERT_EQ(after.size(), 1652u);
    EXPECT_TRUE(std::equal(before.begin() + 960, before.end(), after.begin() + 960));
    QVAPI_NODE stored;
    std::memcpy(&stored, after.data(), sizeof stored);
    EXPECT_EQ(std::memcmp(&stored.stUpdateTime, &stamp, sizeof stamp), 0);
    const auto head = Bytes(store_->AttributionPath(alpha_));
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 960, head.begin()));
}

TEST_F(RewriteDefinition, StampRefusalsLeaveBothCopies) {
    const QVAPI_NODE_TIME stamp{2024, 5, 1, 6, 7, 8, 9, 10};
    EXPECT_EQ(qvAPIChangeTimeDefinition(std::string(65, 'a').c_str(), stamp, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIChangeTimeDefinition("nobody", stamp, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    const fs::path head = store_->AttributionPath(alpha_);
    const auto headBefore = Bytes(head);
    // A flat file in use elsewhere: the stamp fails and the head stays as it was.
    const fs::path flat = store_->DefinitionPath(alpha_);
    win::HANDLE other = win::CreateFile(flat.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ |
                                        win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(qvAPIChangeTimeDefinition("alpha", stamp, 0, 0), 0);
    const uint32_t heldCode = qvAPIGetLastError();
    win::CloseHandle(other);
    EXPECT_EQ(heldCode, QVAPI_ERR_NODE_FILE_BUSY);  // the stored record cannot even be read
    EXPECT_EQ(Bytes(head), headBefore);
}

// The flat file taken by another opener after the stored record was read: the head, already
// stamped, gets its earlier bytes back and the stamp fails.
TEST_F(RewriteDefinition, FlatFileLostAfterTheHeadWasWrittenPutsTheHeadBack) {
    EnableLog();
    const fs::path head = store_->AttributionPath(alpha_);
    const fs::path flat = store_->DefinitionPath(alpha_);
    store_->AddMember("\\G1", "alpha");  // a back-link after the head, which must stay
    const auto headBefore = Bytes(head);
    const auto flatBefore = Bytes(flat);
    QVAPI_NODE stamped = store_->Record("alpha");
    stamped.stUpdateTime = QVAPI_NODE_TIME{2030, 1, 2, 3, 4, 5, 6, 7};

    const qvp::FrameTexts texts{"qvAPIChangeTimeDefinition"};
    for (auto messages : {qvp::nodes::CopyMessages::Stamp, qvp::nodes::CopyMessages::Hold}) {
        win::HANDLE other = win::CreateFile(flat.c_str(), win::GENERIC_READ, 0, nullptr,
                                            win::OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, win::INVALID_HANDLE_VALUE);
        qvp::CallContext call(*qvpGetThreadBlock(), texts);
        EXPECT_FALSE(qvp::nodes::WriteDefinitionCopiesIn(call, messages, stamped, 4, "alpha", false));
        win::CloseHandle(other);
        EXPECT_EQ(call.code(), QVAPI_ERR_RESOURCE);
        EXPECT_EQ(Bytes(head), headBefore);
        EXPECT_EQ(Bytes(flat), flatBefore);
    }
    const std::string flatName = flat.filename().string();
    EXPECT_TRUE(Logged("qvAPIChangeTimeDefinition : CreateFile(")) << LogText();
    EXPECT_TRUE(Logged(flatName + ") Err ")) << LogText();
    EXPECT_TRUE(Logged("qvAPIChangeTimeDefinition : CreateFile Error code=32 ")) << LogText();

    // The head in use elsewhere: nothing is written at all.
    win::HANDLE other = win::CreateFile(head.c_str(), win::GENERIC_READ, 0, nullptr,
                                        win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, win::INVALID_HANDLE_VALUE);
    qvp::CallContext call(*qvpGetThreadBlock(), texts);
    EXPECT_FALSE(qvp::nodes::WriteDefinitionCopiesIn(call, qvp::nodes::CopyMessages::Stamp, stamped,
                                                     4, "alpha", false));
    win::CloseHandle(other);
    EXPECT_EQ(call.code(), QVAPI_ERR_RESOURCE);
    EXPECT_EQ(Bytes(head), headBefore);
    EXPECT_EQ(Bytes(flat), flatBefore);

    // Both free: both copies carry the new time, the rest of each file as it was.
    qvp::CallContext ok(*qvpGetThreadBlock(), texts);
    ASSERT_TRUE(qvp::nodes::WriteDefinitionCopiesIn(ok, qvp::nodes::CopyMessages::Stamp, stamped, 4,
                                                    "alpha", false));
    const auto headAfter = Bytes(head);
    ASSERT_EQ(headAfter.size(), headBefore.size());
    EXPECT_EQ(std::memcmp(headAfter.data(), &stamped, 960), 0);
    EXPECT_TRUE(std::equal(headBefore.begin() + 960, headBefore.end(), headAfter.begin() + 960));
    EXPECT_EQ(Bytes(flat), std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&stamped),
                                                 reinterpret_cast<const uint8_t*>(&stamped) + 1652));
}

TEST_F(RewriteDefinition, HoldByteOfMastersOnly) {
    QVAPI_NODE change{};
    change.ucHoldFlag = 1;
    const auto clientBefore = Bytes(store_->DefinitionPath(alpha_));
    EXPECT_EQ(qvAPIChangeHoldDefinition("alpha", 1, &change), 1);
    EXPECT_EQ(Bytes(store_->DefinitionPath(alpha_)), clientBefore);
    ASSERT_EQ(qvAPIChangeHoldDefinition("boss", 2, &change), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Bytes(store_->DefinitionPath(boss_))[72], 1);
    EXPECT_EQ(Bytes(store_->AttributionPath(boss_))[72], 1);

    // A client is no master: the finder's end of list is logged, the caller hears "not found".
    EnableLog();
    EXPECT_EQ(qvAPIChangeHoldDefinition("alpha", 2, &change), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_TRUE(Logged("qvAPIChangeHoldDefinition : qvAPIFindMasterDefinition Error code=0x20000103 "))
        << LogText();
    EXPECT_TRUE(Logged("qvAPIChangeHoldDefinition END : Code = 0x20610000 ")) << LogText();
}

TEST_F(RewriteDefinition, LinkRenameRewritesEveryListingGroup) {
    store_->AddMember("\\G1", "alpha");
    store_->AddMember("\\G2", "alpha");
    std::vector<qvptest::NodeStoreBuilder::GroupEntry> g2 = store_->ReadGroupFile("\\G2");
    g2.insert(g2.begin(), {"alpha", 2, {}});  // listed under another kind: kept
    g2[1].carried[0] = 9;
    store_->WriteGroupFile("\\G2", g2);
    const QVAPI_NODE& stored = store_->Record("alpha");
    QVAPI_NODE renamed = stored;
    std::memset(renamed.ucNodeName, 0, sizeof renamed.ucNodeName);
    std::memcpy(renamed.ucNodeName, "gamma", 5);
    const std::string attr = store_->AttributionPath(stored).string();
    EnableLog();
    ASSERT_EQ(qvAPIChangeLinkNode(attr.c_str(), &stored, &renamed), 1) << std::hex << qvAPIGetLastError();
    EXPECT_TRUE(Logged("qvAPIChangeLinkNode START ")) << LogText();
    EXPECT_TRUE(Logged("qvAPIChangeLinkNode END : RtnCode = 0x1 errno = 0x0 ")) << LogText();
    EXPECT_EQ(store_->ReadGroupFile("\\G1")[0].name, "gamma");
    auto after = store_->ReadGroupFile("\\G2");
    EXPECT_EQ(after[0].name, "alpha");
    EXPECT_EQ(after[0].kind, 2u);
    EXPECT_EQ(after[1].name, "gamma");
    EXPECT_EQ(after[1].carried[0], 9);

    // A damaged tail fails after the whole back-links before it were handled.
    auto bytes = Bytes(attr);
    bytes.resize(bytes.size() + 100);
    store_->WriteRawFile(attr, bytes.data(), bytes.size());
    QVAPI_NODE back = renamed;
    std::memcpy(back.ucNodeName, "delta", 5);
    EXPECT_EQ(qvAPIChangeLinkNode(attr.c_str(), &renamed, &back), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_TRUE(Logged("qvAPIChangeLinkNode : FileSize is INVALID : file = " + attr +
                       " size = 100(true:260) "))
        << LogText();
    EXPECT_TRUE(Logged("qvAPIChangeLinkNode END : RtnCode = 0x0 errno = 0x2000054f ")) << LogText();
    EXPECT_EQ(store_->ReadGroupFile("\\G1")[0].name, "delta");
    EXPECT_EQ(qvAPIChangeLinkNode("", &renamed, &back), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

}  // namespace
