// Removal steps: definition file, back-link and group entry, including damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "nodes/node_group_steps.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/node_group_builder.h"

using qvp::nodes::qvAPIDeleteNodeAttributionEntry;
using qvp::nodes::qvAPIDeleteNodeDefinitionEntry;
using qvp::nodes::qvAPIDeleteNodeGroupEntry;

namespace {

namespace fs = std::filesystem;
using qvptest::NodeGroupStore;
using qvptest::NodeStoreBuilder;

class RemoveEntries : public NodeGroupStore {
protected:
    void SetUp() override {
        NodeGroupStore::SetUp();
        alpha_ = AddHostNode("alpha", QVAPI_NODE_CLIENT);
        AddHostNode("beta", QVAPI_NODE_CLIENT);
        store_->AddMember("\\G1", "alpha");
        store_->AddMember("\\G1", "beta");
    }
    QVAPI_NODE alpha_{};
};

TEST_F(RemoveEntries, DefinitionFileHeldOpenIsAFailureAndMissingIsNot) {
    const fs::path path = store_->DefinitionPath(alpha_);
    const std::string key = path.filename().string().substr(2);
    {
        win::HANDLE held = win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr,
                                           win::OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, win::INVALID_HANDLE_VALUE);
        EXPECT_EQ(qvAPIDeleteNodeDefinitionEntry(key.c_str(), 1, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
        EXPECT_TRUE(fs::exists(path));
        win::CloseHandle(held);
    }
    EXPECT_EQ(qvAPIDeleteNodeDefinitionEntry(key.c_str(), 1, 0), 1);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(qvAPIDeleteNodeDefinitionEntry(key.c_str(), 1, 0), 1);
    EXPECT_EQ(qvAPIDeleteNodeDefinitionEntry(key.c_str(), 3, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIDeleteNodeDefinitionEntry("", 1, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
}

TEST_F(RemoveEntries, BackLinksMatchExactly) {
    EnableLog();
    EXPECT_EQ(qvAPIDeleteNodeAttributionEntry("alpha", "\\g1", 1, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
    EXPECT_TRUE(Logged("qvAPIDeleteNodeAttributionEntry : Parameter Error : alpha NOT FOUND "));
    EXPECT_EQ(qvAPIDeleteNodeAttributionEntry("alpha", "\\G1", 2, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);  // alpha is no master
    // The log keeps the master reader's own answer (0x20000002).
    EXPECT_TRUE(Logged("qvAPIDeleteNodeAttributionEntry : qvAPIGetMasterDefinitionByName alpha : "
                       "ErrorCode = 536870914 "))
        << LogText();
    EXPECT_TRUE(Logged("qvAPIDeleteNodeAttributionEntry END : Code = 0 ")) << LogText();
    ASSERT_EQ(qvAPIDeleteNodeAttributionEntry("alpha", "\\G1", 1, 0), 1);
    EXPECT_EQ(fs::file_size(store_->AttributionPath(alpha_)), 960u);
    EXPECT_TRUE(Logged("qvAPIDeleteNodeAttributionEntry END : Code = 1 ")) << LogText();
}

TEST_F(RemoveEntries, DamagedAttributionFileIsRefusedUntouched) {
    const fs::path path = store_->AttributionPath(alpha_);
    auto bytes = Bytes(path);
    bytes.resize(bytes.size() + 100, 'x');
    store_->WriteRawFile(path, bytes.data(), bytes.size());
    EXPECT_EQ(qvAPIDeleteNodeAttributionEntry("alpha", "\\G1", 1, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(Bytes(path), bytes);
}

TEST_F(RemoveEntries, GroupEntriesByNameAndKind) {
    std::vector<NodeStoreBuilder::GroupEntry> entries = store_->ReadGroupFile("\\G1");
    entries.push_back({"alpha", 0, {}});  // a sub-group named like the client
    entries.back().carried[5] = 7;
    store_->WriteGroupFile("\\G1", entries);
    ASSERT_EQ(qvAPIDeleteNodeGroupEntry("\\G1", "alpha", 1, 0), 1);
    auto left = store_->ReadGroupFile("\\G1");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].name, "beta");
    EXPECT_EQ(left[1].name, "alpha");
    EXPECT_EQ(left[1].kind, 0u);
    EXPECT_EQ(left[1].carried[5], 7);
    EXPECT_EQ(qvAPIDeleteNodeGroupEntry("\\G1", "alpha", 1, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIDeleteNodeGroupEntry("\\nowhere", "alpha", 1, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
}

TEST_F(RemoveEntries, CorruptGroupHeaderIsRefusedUntouched) {
    const fs::path path = GroupFile("\\G1");
    for (auto [offset, value] : {std::pair<size_t, uint32_t>{24, 0}, {0, 0}, {24, 5}}) {
        auto bytes = Bytes(store_->GroupFilePath("\\G1"));
        auto damaged = bytes;
        std::memcpy(damaged.data() + offset, &value, sizeof value);
        store_->WriteRawFile(path, damaged.data(), damaged.size());
        EXPECT_EQ(qvAPIDeleteNodeGroupEntry("\\G1", "alpha", 1, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
        EXPECT_EQ(Bytes(path), damaged);
        store_->WriteRawFile(path, bytes.data(), bytes.size());
    }
    auto bytes = Bytes(path);
    bytes.resize(bytes.size() + 10);
    store_->WriteRawFile(path, bytes.data(), bytes.size());
    EXPECT_EQ(qvAPIDeleteNodeGroupEntry("\\G1", "alpha", 1, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
}

}  // namespace
