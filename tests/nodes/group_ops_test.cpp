// Adding and removing group members, creating and removing sub-groups: the bytes left in the
// group and attribution files, and the refusals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <tuple>
#include <string>
#include <vector>

#include "support/child_memory.h"
#include "support/child_process.h"
#include "support/node_group_builder.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_steps.h"
#include "platform/win.h"
#include "qvpapi.h"

using qvp::nodes::qvAPICreateMaster;
using qvp::nodes::qvAPICreateNodeGroup;

namespace {

namespace fs = std::filesystem;
using qvptest::NodeGroupStore;

// A stored text field, NUL-padded.
template <size_t N>
void FieldText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}
using qvptest::NodeStoreBuilder;

class GroupOps : public NodeGroupStore {
protected:
    void SetUp() override {
        NodeGroupStore::SetUp();
        alpha_ = AddHostNode("alpha", QVAPI_NODE_CLIENT);
        beta_ = AddHostNode("beta", QVAPI_NODE_CLIENT);
        boss_ = AddHostNode("boss", QVAPI_NODE_MASTER);
        ASSERT_EQ(qvAPICreateNodeGroup("\\", "G1", 0, 0), 1) << std::hex << qvAPIGetLastError();
    }
    uint32_t FlagIn(const fs::path& path) {
        auto bytes = Bytes(path);
        uint32_t flag = 0;
        std::memcpy(&flag, bytes.data() + offsetof(QVAPI_NODE, uiNodeGroupFlag), sizeof flag);
        return flag;
    }
    // The same three nodes written by the builder under `dir`, with these members of \G1.
    std::unique_ptr<NodeStoreBuilder> Expected(const std::string& dir,
                                               const std::vector<std::string>& members) {
        auto expected = std::make_unique<NodeStoreBuilder>(root_ / dir);
        for (auto [name, kind] : {std::pair{"alpha", QVAPI_NODE_CLIENT}, {"beta", QVAPI_NODE_CLIENT},
                                  {"boss", QVAPI_NODE_MASTER}}) {
            NodeStoreBuilder::Node node;
            node.name = name;
            node.kind = kind;
            node.macAddress = "00-11-22-33-44-55";
            node.created = QVAPI_NODE_TIME{2020, 1, 3, 2, 10, 20, 30, 400};
            node.updated = QVAPI_NODE_TIME{2021, 2, 4, 3, 11, 21, 31, 401};
            expected->AddNode(node);
        }
        for (const auto& member : members) expected->AddMember("\\G1", member);
        return expected;
    }
    // Both copies of each node's definition, byte for byte.
    void ExpectNodesAsIn(const NodeStoreBuilder& expected) {
        for (const char* name : {"alpha", "beta", "boss"}) {
            EXPECT_EQ(Bytes(store_->AttributionPath(store_->Record(name))),
                      Bytes(expected.AttributionPath(expected.Record(name))))
                << name;
            EXPECT_EQ(Bytes(store_->DefinitionPath(store_->Record(name))),
                      Bytes(expected.DefinitionPath(expected.Record(name))))
                << name;
        }
    }
    QVAPI_NODE alpha_{}, beta_{}, boss_{};
};

TEST_F(GroupOps, RemovalsMatchTheBuilderByteForByte) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\G1", "beta", 0, 0), 1);
    ASSERT_EQ(qvAPICreateMaster("\\G1", "boss", 0, 0), 1);

    // The first of three goes: the others close up behind it.
    ASSERT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 1) << std::hex << qvAPIGetLastError();
    auto expected = Expected("two-left", {"beta", "boss"});
    EXPECT_EQ(Bytes(GroupFile("\\G1")), Bytes(expected->GroupFilePath("\\G1")));
    ExpectNodesAsIn(*expected);
    EXPECT_EQ(fs::file_size(store_->AttributionPath(alpha_)), 960u);

    // One of two goes: 176 bytes, the header says 144 bytes and 1 entry.
    ASSERT_EQ(qvAPIDeleteMaster("\\G1", "boss", 0, 0), 1) << std::hex << qvAPIGetLastError();
    expected = Expected("one-left", {"beta"});
    const auto group = Bytes(GroupFile("\\G1"));
    EXPECT_EQ(group, Bytes(expected->GroupFilePath("\\G1")));
    ASSERT_EQ(group.size(), 176u);
    uint32_t total = 0, count = 0;
    std::memcpy(&total, group.data(), 4);
    std::memcpy(&count, group.data() + 24, 4);
    EXPECT_EQ(total, 144u);
    EXPECT_EQ(count, 1u);
    ExpectNodesAsIn(*expected);

    // The last one goes: no group file, every node back at 960 bytes and its flag cleared.
    ASSERT_EQ(qvAPIDeleteClient("\\G1", "beta", 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(fs::exists(GroupFile("\\G1")));
    EXPECT_TRUE(fs::is_directory(store_->NodeGroupDir() / "G1"));
    expected = Expected("none-left", {});
    ExpectNodesAsIn(*expected);
    for (const char* name : {"alpha", "beta", "boss"})
        EXPECT_EQ(fs::file_size(store_->AttributionPath(store_->Record(name))), 960u) << name;
}

TEST_F(GroupOps, MembersMatchTheBuilderByteForByte) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPICreateClient("\\G1", "beta", 0, 0), 1);
    ASSERT_EQ(qvAPICreateMaster("\\G1", "boss", 0, 0), 1);

    // The same store written by the builder.
    fs::path other = root_ / "expected";
    NodeStoreBuilder expected(other);
    for (auto [name, kind] : {std::pair{"alpha", QVAPI_NODE_CLIENT}, {"beta", QVAPI_NODE_CLIENT},
                              {"boss", QVAPI_NODE_MASTER}}) {
        NodeStoreBuilder::Node node;
        node.name = name;
        node.kind = kind;
        node.macAddress = "00-11-22-33-44-55";
        node.created = QVAPI_NODE_TIME{2020, 1, 3, 2, 10, 20, 30, 400};
        node.updated = QVAPI_NODE_TIME{2021, 2, 4, 3, 11, 21, 31, 401};
        expected.AddNode(node);
    }
    expected.AddMember("\\G1", "alpha");
    expected.AddMember("\\G1", "beta");
    expected.AddMember("\\G1", "boss");
    EXPECT_EQ(Bytes(GroupFile("\\G1")), Bytes(expected.GroupFilePath("\\G1")));
    EXPECT_EQ(Bytes(GroupFile("\\")), Bytes(expected.GroupFilePath("\\")));
    for (const char* name : {"alpha", "beta", "boss"}) {
        EXPECT_EQ(Bytes(store_->AttributionPath(store_->Record(name))),
                  Bytes(expected.AttributionPath(expected.Record(name))))
            << name;
        EXPECT_EQ(Bytes(store_->DefinitionPath(store_->Record(name))),
                  Bytes(expected.DefinitionPath(expected.Record(name))))
            << name;
    }
}

TEST_F(GroupOps, RemovingMembersShrinksThenDeletesTheGroupFile) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\G1", "beta", 0, 0), 1);
    ASSERT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 1) << std::hex << qvAPIGetLastError();

    auto bytes = Bytes(GroupFile("\\G1"));
    ASSERT_EQ(bytes.size(), 176u);
    uint32_t total = 0, count = 0;
    std::memcpy(&total, bytes.data(), 4);
    std::memcpy(&count, bytes.data() + 24, 4);
    EXPECT_EQ(total, 144u);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 32), "beta");

    const fs::path alphaAttr = store_->AttributionPath(alpha_);
    EXPECT_EQ(fs::file_size(alphaAttr), 960u);
    EXPECT_EQ(FlagIn(alphaAttr), 0u);
    EXPECT_EQ(FlagIn(store_->DefinitionPath(alpha_)), 0u);
    EXPECT_EQ(FlagIn(store_->DefinitionPath(beta_)), 1u);

    ASSERT_EQ(qvAPIDeleteClient("\\G1", "beta", 0, 0), 1);
    EXPECT_FALSE(fs::exists(GroupFile("\\G1")));
    EXPECT_TRUE(fs::is_directory(store_->NodeGroupDir() / "G1"));

    EXPECT_EQ(qvAPIDeleteClient("\\G1", "beta", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
}

TEST_F(GroupOps, Refusals) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 1);
    EXPECT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    EXPECT_EQ(qvAPICreateClient("\\G1", "nobody", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPICreateClient("\\G2", "beta", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPICreateClient("G1", "beta", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
    EXPECT_EQ(qvAPICreateClient("\\G1\\..", "beta", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
    EXPECT_EQ(qvAPICreateClient(("\\" + std::string(259, 'a')).c_str(), "beta", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_PATH_TOO_LONG);
    // The master is not a client.
    EXPECT_EQ(qvAPIDeleteClient("\\G1", "boss", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
}

TEST_F(GroupOps, RootGroupAndAnotherLetterCase) {
    ASSERT_EQ(qvAPICreateClient("\\", "alpha", 0, 0), 1);
    EXPECT_EQ(fs::file_size(store_->NodeGroupDir() / "nodegroupfile"), 32u + 2 * 144u);
    ASSERT_EQ(qvAPICreateClient("\\g1", "alpha", 0, 0), 1);
    EXPECT_EQ(store_->ReadBackLinks(alpha_), (std::vector<std::string>{"\\", "\\G1"}));
    ASSERT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 1);
    ASSERT_EQ(qvAPIDeleteClient("\\", "alpha", 0, 0), 1);
    EXPECT_EQ(fs::file_size(store_->AttributionPath(alpha_)), 960u);
}

TEST_F(GroupOps, StaleMemberOfARemovedDefinitionCanBeRemoved) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 1);
    fs::remove(store_->DefinitionPath(alpha_));
    EXPECT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(fs::exists(GroupFile("\\G1")));
}

TEST_F(GroupOps, SubGroupsAreRemovedOnlyWhenEmpty) {
    ASSERT_EQ(qvAPICreateNodeGroup("\\G1", "Sub", 0, 0), 1);
    EXPECT_EQ(qvAPICreateNodeGroup("\\G1", "Sub", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    ASSERT_EQ(qvAPICreateClient("\\G1\\Sub", "alpha", 0, 0), 1);
    EXPECT_EQ(qvAPIDeleteNodeGroup("\\G1", "Sub", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_DIR_NOT_EMPTY);
    ASSERT_EQ(qvAPIDeleteClient("\\G1\\Sub", "alpha", 0, 0), 1);
    ASSERT_EQ(qvAPIDeleteNodeGroup("\\G1", "Sub", 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(fs::exists(store_->NodeGroupDir() / "G1" / "Sub"));
    EXPECT_FALSE(fs::exists(GroupFile("\\G1")));  // its only entry was the sub-group
    EXPECT_EQ(qvAPIDeleteNodeGroup("\\G1", "Sub", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    // A group directory its parent never listed (the parent has no file at all) still goes.
    fs::create_directories(store_->NodeGroupDir() / "G1" / "Stray");
    ASSERT_EQ(qvAPIDeleteNodeGroup("\\G1", "Stray", 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(fs::exists(store_->NodeGroupDir() / "G1" / "Stray"));
}

// A damaged group file refuses the add before anything is written, in either file.
TEST_F(GroupOps, DamagedGroupFileRefusesTheAdd) {
    ASSERT_EQ(qvAPICreateClient("\\", "beta", 0, 0), 1);
    auto damaged = Bytes(GroupFile("\\"));
    damaged[24] = 0;  // no entries, says the header
    store_->WriteRawFile(GroupFile("\\"), damaged.data(), damaged.size());
    const auto attrBefore = Bytes(store_->AttributionPath(alpha_));
    EXPECT_EQ(qvAPICreateClient("\\", "alpha", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(Bytes(GroupFile("\\")), damaged);
    EXPECT_EQ(Bytes(store_->AttributionPath(alpha_)), attrBefore);
}

// The head of a group file that counts `entries` entries.
std::string GroupHead(uint32_t entries) {
    qvp::nodes::NodeGroupHeader header{};
    header.uiEntryBytes = entries * qvp::nodes::kGroupEntrySize;
    header.uiEntryCount = entries;
    return std::string(reinterpret_cast<const char*>(&header), sizeof header);
}

// A group or attribution file planted at 1 GiB (the attribution file a whole number of
// back-links) fails each reader as an unreadable file, unread and unchanged; so does one within
// its kind's bound whose head agrees with its size but whose entries were never written (holes).
TEST_F(GroupOps, PlantedHugeFilesFailUnread) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "beta", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\", "alpha", 0, 0), 1);
    const fs::path group = GroupFile("\\G1"), attr = store_->AttributionPath(alpha_);
    const uint64_t links = 960 + uint64_t{260} * (qvptest::kOneGiB / 260);
    constexpr uint32_t kMost = qvp::nodes::kMaxGroupEntries;
    const uint64_t fullGroup = 32 + uint64_t{144} * kMost, fullLinks = 960 + uint64_t{260} * (kMost - 1);
    const auto walk = [] {
        QVAPI_NODE node{};
        return qvAPIFindFirstNode("\\G1", &node, 0, 0) == QVPAPI_INVALID_HANDLE ? 0 : 1;
    };
    const auto removal = [] { return qvAPIDeleteClient("\\G1", "beta", 0, 0); };
    const struct {
        const char* what;
        fs::path planted;
        uint64_t size;
        std::function<int()> call;
        std::string head;
    } cases[] = {
        {"member walk", group, qvptest::kOneGiB, walk, ""},
        {"member add", group, qvptest::kOneGiB, [] { return qvAPICreateClient("\\G1", "alpha", 0, 0); }, ""},
        {"member removal", group, qvptest::kOneGiB, removal, ""},
        {"back-link add", attr, links, [] { return qvAPICreateClient("\\G1", "alpha", 0, 0); }, ""},
        {"back-link removal", attr, links, [] { return qvAPIDeleteClient("\\", "alpha", 0, 0); }, ""},
        {"member walk, entries all holes", group, fullGroup, walk, GroupHead(kMost)},
        {"member removal, entries all holes", group, fullGroup, removal, GroupHead(kMost)},
        {"back-link removal, links all holes", attr, fullLinks, [] { return qvAPIDeleteClient("\\", "alpha", 0, 0); }, ""},
        {"definition removal, links all holes", attr, fullLinks,
         [] { return qvAPIDeleteClientDefinition("alpha", 0, nullptr); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto saved = Bytes(c.planted);
        qvptest::ExpectPlantedRefusedUnread(c.planted, c.size, c.call, c.head);
        store_->WriteRawFile(c.planted, saved.data(), saved.size());
    }
}

// Writers over large files (every byte really written) hold at most one image of a file: a
// member's addition or removal not the bytes read, a copy kept to put back and the rewritten
// bytes besides; a definition's removal only the group names of its back-links.
TEST_F(GroupOps, WritersHoldAtMostOneImageOfAFile) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "beta", 0, 0), 1);
    const struct {
        const char* what;
        fs::path file;
        uint32_t filler;  // entries added to the file
        size_t entrySize;
        std::function<int()> call;
        long percentOfFile;  // what the call may grow by
    } cases[] = {
        {"member add", GroupFile("\\G1"), 250000, sizeof(qvp::nodes::NodeGroupEntry),  // 36 MB
         [] { return qvAPICreateClient("\\G1", "alpha", 0, 0); }, 150},
        {"member removal", GroupFile("\\G1"), 0, sizeof(qvp::nodes::NodeGroupEntry),
         [] { return qvAPIDeleteClient("\\G1", "beta", 0, 0); }, 150},
        {"definition removal", store_->AttributionPath(store_->Record("beta")), 100000, 260,  // 26 MB
         [] { return qvAPIDeleteClientDefinition("beta", 0, nullptr); }, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = Bytes(c.file);
        std::vector<uint8_t> entry(c.entrySize);
        const bool group = c.entrySize == sizeof(qvp::nodes::NodeGroupEntry);
        if (group) reinterpret_cast<qvp::nodes::NodeGroupEntry*>(entry.data())->uiMemberKind = qvp::nodes::kMemberClient;
        for (uint32_t i = 0; i < c.filler; ++i) {
            const std::string name = (group ? "filler" : "\\NOGROUP") + std::to_string(i);
            std::copy(name.begin(), name.end(), entry.begin());
            image.insert(image.end(), entry.begin(), entry.end());
        }
        if (group) {
            const std::string head = GroupHead(static_cast<uint32_t>((image.size() - 32) / c.entrySize));
            std::copy(head.begin(), head.end(), image.begin());
        }
        store_->WriteRawFile(c.file, image.data(), image.size());
        const long fileKiB = static_cast<long>(image.size() / 1024);
        image = {};
        const qvptest::ChildRun run = qvptest::RunInChild(c.call);
        ASSERT_TRUE(run.ran);
        EXPECT_EQ(run.result, 1) << std::hex << run.code;
        EXPECT_TRUE(!qvptest::kPeakCountsHeldCopies || run.grownKiB < fileKiB * c.percentOfFile / 100)
            << run.grownKiB << " KiB grown";
    }
}

// A removal that cannot finish changes nothing: a group file held by another opener is busy
// (never "not a member"); a damaged attribution file is found before the group entry goes.
TEST_F(GroupOps, RemovalsThatCannotFinishLeaveTheStoreAsItWas) {
    ASSERT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 1);
    const fs::path group = GroupFile("\\G1"), attr = store_->AttributionPath(alpha_);
    const auto groupBefore = Bytes(group);
    auto attrBefore = Bytes(attr);
    win::HANDLE other =
        win::CreateFile(group.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    win::CloseHandle(other);
    // The back-link step failing once the entry, the group's last, went: the group file comes back.
    win::fault::Watch("nodeattributionfile");
    win::fault::FailNth(win::fault::Call::LockFile, 1, win::ERROR_LOCK_VIOLATION);
    EXPECT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 0);
    win::fault::Reset();
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    EXPECT_EQ(Bytes(group), groupBefore);
    EXPECT_EQ(Bytes(attr), attrBefore);
    attrBefore.resize(attrBefore.size() + 7);
    store_->WriteRawFile(attr, attrBefore.data(), attrBefore.size());
    EXPECT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(Bytes(group), groupBefore);
    EXPECT_EQ(Bytes(attr), attrBefore);
}

// Back-links to groups that do not list the node (a killed writer's) and repeated ones go with the
// node's next addition; each group that lists it stays, once.
TEST_F(GroupOps, AnAdditionDropsBackLinksTheirGroupsDoNotList) {
    ASSERT_EQ(qvAPICreateNodeGroup("\\", "G2", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClient("\\G2", "alpha", 0, 0), 1);
    const std::vector<std::vector<std::string>> planted = {{"\\G2", "\\G3", "\\G1"},
                                                           {"\\G3", "\\G2", "\\G1", "\\G2"}};
    for (const std::vector<std::string>& links : planted) {
        SCOPED_TRACE(links.size());
        store_->WriteAttributionFile(alpha_, links);
        ASSERT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 1) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(store_->ReadBackLinks(alpha_), (std::vector<std::string>{"\\G2", "\\G1"}));
        EXPECT_EQ(store_->ReadGroupFile("\\G1").size(), 1u);
        ASSERT_EQ(qvAPIDeleteClient("\\G1", "alpha", 0, 0), 1) << std::hex << qvAPIGetLastError();
    }
}

// A definition whose key or key path climbs out of NODEDEF is refused; nothing outside is written.
TEST_F(GroupOps, StoredKeysThatLeaveTheStoreAreRefused) {
    const std::string key(alpha_.ucNodeKey, strnlen(alpha_.ucNodeKey, sizeof alpha_.ucNodeKey));
    for (const auto& [forgedKey, keyPath, upper, planted] :
         {std::tuple{std::string(".."), "", "\\", fs::path("nodeattributionfile")},
          {key, "\\a\\..\\..", "\\boss", fs::path(key) / "nodeattributionfile"}}) {
        QVAPI_NODE forged = alpha_;
        FieldText(forged.ucNodeKey, forgedKey);
        FieldText(forged.ucNodeKeyPath, keyPath);
        FieldText(forged.ucNodePath0, upper);
        store_->WriteRawFile(store_->DefinitionPath(alpha_), &forged, sizeof forged);
        const fs::path outside = store_->NodeDefDir().parent_path() / planted;
        const std::vector<uint8_t> head(960, 'h');
        store_->WriteRawFile(outside, head.data(), head.size());
        EXPECT_EQ(qvAPICreateClient("\\G1", "alpha", 0, 0), 0) << keyPath;
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA) << keyPath;
        EXPECT_EQ(Bytes(outside), head) << keyPath;
        EXPECT_FALSE(fs::exists(GroupFile("\\G1"))) << keyPath;
    }
}

// Two processes add and remove members of one group at the same time, each call under the
// node semaphore: the file stays well formed and nothing is lost.
TEST_F(GroupOps, TwoProcessesKeepTheGroupFileWhole) {
    constexpr int kNodes = 12;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kNodes; ++i)
            AddHostNode("p" + std::to_string(p) + "n" + std::to_string(i), QVAPI_NODE_CLIENT);
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            int failures = 0;
            for (int round = 0; round < 3; ++round) {
                for (int i = 0; i < kNodes; ++i) {
                    const std::string name = "p" + std::to_string(p) + "n" + std::to_string(i);
                    int rc = 0;
                    for (int attempt = 0; attempt < 200 && rc == 0; ++attempt) {
                        rc = qvAPICreateClient("\\G1", name.c_str(), 0, 0);
                        if (rc == 0 && qvAPIGetLastError() != QVAPI_ERR_BUSY) break;
                    }
                    // Odd members stay from the round before.
                    failures += rc == 0 && qvAPIGetLastError() != QVAPI_ERR_ALREADY_EXISTS;
                }
                for (int i = 0; i < kNodes; i += 2) {
                    const std::string name = "p" + std::to_string(p) + "n" + std::to_string(i);
                    int rc = 0;
                    for (int attempt = 0; attempt < 200 && rc == 0; ++attempt) {
                        rc = qvAPIDeleteClient("\\G1", name.c_str(), 0, 0);
                        if (rc == 0 && qvAPIGetLastError() != QVAPI_ERR_BUSY) break;
                    }
                    failures += rc == 0;
                }
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) EXPECT_EQ(qvptest::ExitCode(qvptest::WaitChild(child)), 0);
    auto bytes = Bytes(GroupFile("\\G1"));
    ASSERT_EQ((bytes.size() - 32) % 144, 0u);
    uint32_t total = 0, count = 0;
    std::memcpy(&total, bytes.data(), 4);
    std::memcpy(&count, bytes.data() + 24, 4);
    EXPECT_EQ(total, bytes.size() - 32);
    EXPECT_EQ(count, 2u * kNodes / 2);
    std::set<std::string> expected, listed;
    for (int p = 0; p < 2; ++p)
        for (int i = 1; i < kNodes; i += 2) {
            const std::string name = "p" + std::to_string(p) + "n" + std::to_string(i);
            expected.insert(name);
            EXPECT_EQ(store_->ReadBackLinks(store_->Record(name)), std::vector<std::string>{"\\G1"});
        }
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kNodes; i += 2)
            EXPECT_TRUE(store_->ReadBackLinks(store_->Record("p" + std::to_string(p) + "n" +
                                                             std::to_string(i)))
                            .empty());
    for (const auto& entry : store_->ReadGroupFile("\\G1")) {
        EXPECT_EQ(entry.kind, QVAPI_NODE_CLIENT);
        EXPECT_TRUE(listed.insert(entry.name).second) << entry.name << " listed twice";
    }
    EXPECT_EQ(listed, expected);
}

}  // namespace
