// Enumerations of the definition store and the member walk of a group.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/block.h"
#include "nodes/node_group_steps.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/node_group_builder.h"

namespace {

namespace fs = std::filesystem;
using qvptest::NodeGroupStore;

std::string NameOf(const QVAPI_NODE& node) {
    return std::string(node.ucNodeName, strnlen(node.ucNodeName, sizeof node.ucNodeName));
}

class EnumDefinitions : public NodeGroupStore {
protected:
    void SetUp() override {
        NodeGroupStore::SetUp();
        AddHostNode("boss", QVAPI_NODE_MASTER);
        AddHostNode("alpha", QVAPI_NODE_CLIENT);
        AddHostNode("sub", QVAPI_NODE_MASTER, "boss");
        AddHostNode("c1", QVAPI_NODE_CLIENT, "boss");
        AddHostNode("c2", QVAPI_NODE_CLIENT, "sub");
        AddHostNode("Alphabet", QVAPI_NODE_CLIENT, "sub");
    }

    std::set<std::string> ListBelow(const char* upper) {
        std::set<std::string> names;
        QVAPI_NODE node{};
        QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinition(upper, &node);
        if (h == QVPAPI_INVALID_HANDLE) {
            last_ = qvAPIGetLastError();
            return names;
        }
        do names.insert(NameOf(node));
        while (qvAPIFindNextNodeDefinition(h, &node) == 1);
        last_ = qvAPIGetLastError();
        EXPECT_EQ(qvAPIFindCloseNodeDefinition(h), 1);
        return names;
    }

    std::set<std::string> Search(const char* text, uint32_t options) {
        std::set<std::string> names;
        QVAPI_NODE node{};
        QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinitionByGuiName(text, &node, options, 0);
        if (h == QVPAPI_INVALID_HANDLE) return names;
        do names.insert(NameOf(node));
        while (qvAPIFindNextNodeDefinitionByGuiName(h, &node, options, 0) == 1);
        EXPECT_EQ(qvAPIFindCloseNodeDefinitionByGuiName(h), 1);
        return names;
    }
    uint32_t last_ = 0;
};

using Names = std::set<std::string>;

TEST_F(EnumDefinitions, EachLevelListsExactlyItsNodes) {
    EXPECT_EQ(ListBelow("\\"), (Names{"boss", "alpha"}));
    EXPECT_EQ(last_, QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(ListBelow(nullptr), (Names{"boss", "alpha"}));
    EXPECT_EQ(ListBelow("\\boss"), (Names{"sub", "c1"}));
    EXPECT_EQ(ListBelow("\\boss\\sub"), (Names{"c2", "Alphabet"}));
    EXPECT_EQ(ListBelow("\\boss\\sub\\c2"), Names{});  // no such master
    EXPECT_EQ(last_, QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(ListBelow("boss\\sub"), Names{});
    EXPECT_EQ(last_, QVAPI_ERR_INVALID_NAME);
}

TEST_F(EnumDefinitions, HandlesAreCheckedAndWalksReplaced) {
    QVAPI_NODE node{};
    QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinition("\\", &node);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    QVPAPI_HANDLE again = qvAPIFindFirstNodeDefinition("\\boss", &node);
    ASSERT_EQ(again, h);
    EXPECT_EQ(NameOf(node), "c1");  // the walk below boss now runs
    ASSERT_EQ(qvAPIFindNextNodeDefinition(h, &node), 1);
    EXPECT_EQ(NameOf(node), "sub");
    ASSERT_EQ(qvAPIFindCloseNodeDefinition(h), 1);
    EXPECT_EQ(qvAPIFindNextNodeDefinition(h, &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindCloseNodeDefinition(h), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindNextNodeDefinitionByGuiName(h, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindFirstNodeDefinition("\\", nullptr), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(EnumDefinitions, NestedWalkGivesTheOuterOneBack) {
    QVAPI_NODE node{};
    QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinition("\\boss", &node);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    {
        qvp::nodes::NodeDefinitionWalkNest nest(*qvpGetThreadBlock());
        QVAPI_NODE inner{};
        ASSERT_NE(qvAPIFindFirstNodeDefinition("\\", &inner), QVPAPI_INVALID_HANDLE);
    }
    ASSERT_EQ(qvAPIFindNextNodeDefinition(h, &node), 1);
    EXPECT_EQ(NameOf(node), "sub");
    EXPECT_EQ(qvAPIFindCloseNodeDefinition(h), 1);
}

TEST_F(EnumDefinitions, MissingOrUnreadableListings) {
    fs::remove_all(store_->NodeDefDir());
    EXPECT_EQ(ListBelow("\\"), Names{});
    EXPECT_EQ(last_, QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIGetTotalNumberSystemDefinition(), 0);
    fs::create_directories(store_->NodeDefDir());
    EXPECT_EQ(ListBelow("\\"), Names{});
    EXPECT_EQ(last_, QVAPI_ERR_NO_MORE_ITEMS);
    if (geteuid() != 0) {
        fs::permissions(store_->NodeDefDir(), fs::perms::none);
        EXPECT_EQ(ListBelow("\\"), Names{});
        EXPECT_EQ(last_, QVAPI_ERR_RESOURCE);
        fs::permissions(store_->NodeDefDir(), fs::perms::owner_all);
    }
}

TEST_F(EnumDefinitions, ListingThatCannotStartIsLogged) {
    EnableLog();
    // The master is there, its key directory is not: no children, and the line says where.
    fs::remove_all(store_->AttributionPath(store_->Record("sub")).parent_path());
    EXPECT_EQ(ListBelow("\\boss\\sub"), Names{});
    EXPECT_EQ(last_, QVAPI_ERR_NO_MORE_ITEMS);
    const std::string log = LogText();
    const size_t at = log.find("qvAPIFindFirstNodeDefinition : FindFirstFile ");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string line = log.substr(at, log.find("\r\n", at) - at);
    EXPECT_NE(line.find(std::string(store_->Record("sub").ucNodeKey) + "\\* : ErrorCode = 3 "),
              std::string::npos)
        << line;
    EXPECT_TRUE(Logged("qvAPIFindFirstNodeDefinition END : Code = 0x20000103 ")) << log;
}

TEST_F(EnumDefinitions, GuiNameSearchMatrix) {
    EXPECT_EQ(Search("alpha", 0), (Names{"alpha"}));
    EXPECT_EQ(Search("ALPHA", 0), Names{});
    EXPECT_EQ(Search("ALPHA", 0x02), (Names{"alpha"}));
    EXPECT_EQ(Search("lph", 0x01), (Names{"alpha", "Alphabet"}));
    EXPECT_EQ(Search("Alph", 0x01), (Names{"Alphabet"}));
    EXPECT_EQ(Search("ALPH", 0x03), (Names{"alpha", "Alphabet"}));
    EXPECT_EQ(Search("zzz", 0x03), Names{});
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    QVAPI_NODE node{};
    EXPECT_EQ(qvAPIFindFirstNodeDefinitionByGuiName(std::string(65, 'a').c_str(), &node, 0, 0),
              QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIFindFirstNodeDefinitionByGuiName("", &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    // 64 bytes is still a search text.
    EXPECT_EQ(Search(std::string(64, 'a').c_str(), 0x01), Names{});
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(EnumDefinitions, GuiNameWalkEndsWithItsClose) {
    QVAPI_NODE node{};
    QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinitionByGuiName("lph", &node, 0x01, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindCloseNodeDefinitionByGuiName(h), 1);
    EXPECT_EQ(qvAPIFindNextNodeDefinitionByGuiName(h, &node, 0x01, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindCloseNodeDefinitionByGuiName(h), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindNextNodeDefinitionByGuiName(nullptr, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    // The two families keep their own walks.
    QVPAPI_HANDLE defs = qvAPIFindFirstNodeDefinition("\\", &node);
    ASSERT_NE(defs, QVPAPI_INVALID_HANDLE);
    h = qvAPIFindFirstNodeDefinitionByGuiName("c", &node, 0x01, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindCloseNodeDefinitionByGuiName(h), 1);
    EXPECT_EQ(qvAPIFindNextNodeDefinition(defs, &node), 1);
    EXPECT_EQ(qvAPIFindCloseNodeDefinition(defs), 1);
}

// A search that does not match its first file goes on through the next step, as a caller's
// FindNext would; that step's failure ends the search and closes its walk.
TEST_F(EnumDefinitions, GuiNameSearchGoesOnThroughItsNextStep) {
    EnableLog();
    // Masters' files (M.) come after the clients' (C.): never the first file of the walk.
    EXPECT_EQ(Search("sub", 0), (Names{"sub"}));
    EXPECT_TRUE(Logged("qvAPIFindNextNodeDefinitionByGuiName START ")) << LogText();

    const fs::path held = store_->DefinitionPath(store_->Record("boss"));
    win::HANDLE other = win::CreateFile(held.c_str(), win::GENERIC_READ, 0, nullptr,
                                        win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, win::INVALID_HANDLE_VALUE);
    QVAPI_NODE node{};
    EXPECT_EQ(qvAPIFindFirstNodeDefinitionByGuiName("zzz", &node, 0, 0), QVPAPI_INVALID_HANDLE);
    const uint32_t code = qvAPIGetLastError();
    win::CloseHandle(other);
    EXPECT_EQ(code, QVAPI_ERR_NODE_FILE_BUSY);
    const std::string log = LogText();
    EXPECT_NE(log.find("qvAPIFindNextNodeDefinitionByGuiName : CreateFile "), std::string::npos) << log;
    EXPECT_NE(log.find("qvAPIFindFirstNodeDefinitionByGuiName : qvAPIFindNextNodeDefinitionByGuiName : "
                       "ErrorCode = 542507008 "),
              std::string::npos)
        << log;
    EXPECT_EQ(qvAPIFindNextNodeDefinitionByGuiName(qvpGetThreadBlock(), &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);

    // No store at all: nothing found, and nothing worth a log line.
    fs::remove_all(store_->NodeDefDir());
    EXPECT_EQ(Search("c2", 0), Names{});
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(LogText().find("qvAPIFindFirstNodeDefinitionByGuiName : FindFirstFile"), std::string::npos);
}

class EnumIpDefinitions : public NodeGroupStore {
protected:
    void SetUp() override {
        NodeGroupStore::SetUp();
        qvpGetThreadBlock()->systemManagementKey = 1;
        for (auto [name, address] : {std::pair{"one", std::array<uint8_t, 4>{10, 0, 0, 1}},
                                     {"twelve", {10, 0, 0, 12}},
                                     {"far", {192, 168, 1, 5}}}) {
            qvptest::NodeStoreBuilder::Node node;
            node.name = name;
            node.address = address;
            node.ipKeyed = true;
            store_->AddNode(node);
        }
    }
    std::set<std::string> Search(const char* text, uint32_t options) {
        std::set<std::string> names;
        QVAPI_NODE node{};
        QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinitionByGuiName(text, &node, options, 0);
        if (h == QVPAPI_INVALID_HANDLE) return names;
        do names.insert(NameOf(node));
        while (qvAPIFindNextNodeDefinitionByGuiName(h, &node, options, 0) == 1);
        EXPECT_EQ(qvAPIFindCloseNodeDefinitionByGuiName(h), 1);
        return names;
    }
};

TEST_F(EnumIpDefinitions, GuiNameSearchMatrixUnderAddressKeying) {
    // A part of the dotted text.
    EXPECT_EQ(Search("0.0.1", 0x01), (Names{"one", "twelve"}));
    EXPECT_EQ(Search("168", 0x01), (Names{"far"}));
    EXPECT_EQ(Search("168", 0x03), (Names{"far"}));
    // The whole address, compared as an address; ignoring case means nothing here.
    EXPECT_EQ(Search("10.0.0.1", 0), (Names{"one"}));
    EXPECT_EQ(Search("10.0.0.1", 0x02), (Names{"one"}));
    EXPECT_EQ(Search("10.0.0.12", 0), (Names{"twelve"}));
    EXPECT_EQ(Search("0.0.1", 0), Names{});
    // Names are not what is searched under address keying.
    EXPECT_EQ(Search("one", 0x01), Names{});
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(EnumDefinitions, SystemDefinitionsAndTheirCount) {
    // A stray definition file longer than a record is read to the record's length only.
    std::vector<uint8_t> stray(3000, 'z');
    std::memcpy(stray.data(), "stray", 6);
    store_->WriteRawFile(store_->NodeDefDir() / "C.99999", stray.data(), stray.size());
    EXPECT_EQ(qvAPIGetTotalNumberSystemDefinition(), 7);
    std::multiset<std::string> names;
    QVAPI_NODE node{};
    QVPAPI_HANDLE h = qvAPIFindFirstSystemDefinition(&node);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    do names.insert(NameOf(node));
    while (qvAPIFindNextSystemDefinition(h, &node) == 1);
    EXPECT_EQ(qvAPIGetLastError(), 18u);
    EXPECT_EQ(names, (std::multiset<std::string>{"boss", "alpha", "sub", "c1", "c2", "Alphabet", "stray"}));
    EXPECT_EQ(qvAPIFindCloseSystemDefinition(h), 1);
    EXPECT_EQ(qvAPIFindNextSystemDefinition(h, &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindCloseSystemDefinition(h), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindNextSystemDefinition(nullptr, &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindNextSystemDefinition(nullptr, nullptr), 0);  // the record comes first
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPICheckChangeOfKey(nullptr, 0, 0), 1);
}

class MemberWalk : public NodeGroupStore {};

TEST_F(MemberWalk, ClientsMastersSubGroupsAndAVanishedMember) {
    AddHostNode("alpha", QVAPI_NODE_CLIENT);
    AddHostNode("gone", QVAPI_NODE_CLIENT);
    AddHostNode("boss", QVAPI_NODE_MASTER);
    AddHostNode("beta", QVAPI_NODE_CLIENT);
    store_->AddMember("\\G1", "alpha");
    store_->AddGroup("\\G1\\Sub");
    store_->AddMember("\\G1", "gone");
    store_->AddMember("\\G1", "boss");
    store_->AddMember("\\G1", "beta");
    fs::remove(store_->DefinitionPath(store_->Record("gone")));
    SetLevelSize(960);

    std::vector<std::pair<std::string, uint32_t>> seen;
    QVAPI_NODE node;
    std::memset(&node, 0xEE, sizeof node);
    QVPAPI_HANDLE h = qvAPIFindFirstNode("\\G1", &node, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    do {
        seen.emplace_back(NameOf(node), node.uiNodeAttributes);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(&node)[960], 0xEE);  // caller's level kept
        if (node.uiNodeAttributes != 0) {
            EXPECT_EQ(std::string(node.ucNodePath0), "\\");
        }
    } while (qvAPIFindNextNode(h, &node, 0, 0) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, uint32_t>>{
                        {"alpha", 1}, {"Sub", 0}, {"boss", 2}, {"beta", 1}}));
    EXPECT_EQ(qvAPIFindCloseNode(h, 0, 0), 1);
    EXPECT_EQ(qvAPIFindNextNode(h, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
    EXPECT_EQ(qvAPIFindCloseNode(h, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);

    EXPECT_EQ(qvAPIFindFirstNode("\\G1\\Sub", &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindFirstNode("\\G9", &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIFindFirstNode("G1", &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
}

}  // namespace
