// System information: the walk with its group rules and related entries against the simulator's
// inventory, the conversions by type, and deletion and rename over the manager and on files.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <tuple>

#include "id_fixture.h"
#include "manager-sim/store_inventory.h"
#include "platform/win.h"
#include "support/child_memory.h"

namespace qvptest {
namespace {

using Entry = qvpsim::InventoryStore::Entry;
using Seen = std::tuple<int, int, uint32_t>;  // type, subtype, the call's code

class SysInfoTest : public IdTest {
protected:
    void SetUp() override {
        IdTest::SetUp();
        const std::string be16("\x01\x02", 2), be32("\x01\x02\x03\x04", 4);
        sim().Inventory().Set("node1", qvpsim::InventoryStore::Record({
                                           {3, 0, be16},
                                           {3, 1, be32},
                                           {21, 0, "text"},
                                           {47, 5, "head"},
                                           {49, 5, be32},
                                           {81, 5, be32},
                                           {82, 5, "last"},
                                           {49, 7, be32},  // subtype 7 is no letter
                                           {53, 7, "r53"},
                                           {52, 7, "r52"},
                                           {49, 'A', be32},
                                           {9, 1, be32},
                                       }));
    }
    static Seen Of(const QVAPI_SYSINFO_ENTRY& e) { return {e.ucEntryType, e.ucSubType, qvAPIGetLastError()}; }
    static std::string ReadFileBytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path InvFile(const std::string& node) const { return data() / "SERVER" / "INV" / "SYSINV" / ("INV_" + node); }
};

TEST_F(SysInfoTest, WalkTranscriptWithGroupsRelatedEntriesAndConversions) {
    QVAPI_SYSINFO info{};
    std::vector<Seen> seen;
    QVPAPI_HANDLE h = qvAPIFindFirstSysInfo("node1", &info, 0, 0, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    const std::vector<std::string> first = sim().Received();
    EXPECT_EQ(std::vector<std::string>(first.end() - 2, first.end()),
              (std::vector<std::string>{"IGET 2 K5 node1 F", "IGET 2 K5 node1 N"}));
    uint16_t u16 = 0;
    std::memcpy(&u16, info.SysinfoEntry1.ucData, 2);
    EXPECT_EQ(u16, 0x0102);
    seen.push_back(Of(info.SysinfoEntry1));
    std::vector<QVAPI_SYSINFO> records;
    for (;;) {
        info = QVAPI_SYSINFO{};
        if (!qvAPIFindNextSysInfo(h, &info, 0, 0)) break;
        seen.push_back(Of(info.SysinfoEntry1));
        records.push_back(info);
    }
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseSysInfo(h, 0, 0), 1);
    EXPECT_EQ(LastRequest(), "IGET 2 K5 node1 E");

    const uint32_t none = QVAPI_ERR_NOT_FOUND;
    // The group comes head first and none of its members twice; a lone 49 brings its 53 and 52.
    const std::vector<Seen> expected = {{3, 0, 0},    {3, 1, 0},    {18, 0, 0},  {47, 5, 0},  {49, 5, 0},
                                        {81, 5, 0},   {82, 5, 0},   {49, 7, none}, {53, 7, none}, {52, 7, 0},
                                        {49, 'A', none}, {9, 1, 0}};
    EXPECT_EQ(seen, expected);
    uint32_t u32 = 0;
    std::memcpy(&u32, records[0].SysinfoEntry1.ucData, 4);
    EXPECT_EQ(u32, 0x01020304u);  // type 3 of length 4
    const QVAPI_SYSINFO& lone = records[6];
    EXPECT_EQ(lone.SysinfoEntry2.ucEntryType, 53);
    EXPECT_EQ(lone.SysinfoEntry3.ucEntryType, 52);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(lone.SysinfoEntry3.ucData), 4), std::string("r52\0", 4));
    EXPECT_EQ(records[9].SysinfoEntry2.ucEntryType, 0);  // a letter subtype has no related entries
}

TEST_F(SysInfoTest, FilteredAndRefusedFirsts) {
    QVAPI_SYSINFO info{};
    ASSERT_NE(qvAPIFindFirstSysInfo("node1", &info, 49, 7, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(sim().Received()[RequestCount() - 3], std::string("IGET 3 K5 node1 S 1 P \x07", 23));
    EXPECT_EQ(info.SysinfoEntry3.ucEntryType, 52);

    const std::string tooLong(65, 'n');
    struct Case {
        const char* node;
        QVAPI_SYSINFO* data;
        uint32_t code;
    } cases[] = {
        {"nobody", &info, QVAPI_ERR_NOT_FOUND},
        {"", &info, QVAPI_ERR_INVALID_PARAMETER},
        {"node1", nullptr, QVAPI_ERR_INVALID_PARAMETER},
        {tooLong.c_str(), &info, QVAPI_ERR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qvAPIFindFirstSysInfo(c.node, c.data, 0, 0, 0, 0), QVPAPI_INVALID_HANDLE) << c.node;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.node;
    }
    EXPECT_EQ(qvAPIFindNextSysInfo(nullptr, &info, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    QVPAPI_HANDLE mine = block();
    uint32_t otherCode = 0;
    std::thread([&] {
        otherCode = qvAPIFindNextSysInfo(mine, &info, 0, 0) == 0 ? qvAPIGetLastError() : 0;
    }).join();
    EXPECT_EQ(otherCode, QVAPI_ERR_INVALID_HANDLE);

    // Entries bounded by their item; unknown classes of a next reply.
    ASSERT_NE(qvAPIFindFirstSysInfo("node1", &info, 0, 0, 0, 0), QVPAPI_INVALID_HANDLE);
    for (const char* reply : {"0 0 1 i6 \x01\x00\x00\x09zz", "1 7", "8 1"}) {
        sim().Script("IGET", qvpsim::Action::Reply(std::string(reply, std::strlen(reply) + (reply[0] == '0' ? 5 : 0))));
        EXPECT_EQ(qvAPIFindNextSysInfo(block(), &info, 0, 0), 0) << reply;
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA) << reply;
    }
    EXPECT_EQ(qvAPIFindSysInfo("", nullptr, 0, 0), 0);  // kept as it was: unexpected data
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(qvAPIFindSysInfo("node1", nullptr, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    void* record = nullptr;
    ASSERT_EQ(qvAPIFindSysInfo("node1", &record, 0, 0), 1);
    EXPECT_NE(record, nullptr);
}

TEST_F(SysInfoTest, DeleteAndRenameOverTheManager) {
    ASSERT_EQ(qvAPIChangeNameSysInfo("node1", "node2", 0, 0), 1);
    EXPECT_EQ(LastRequest(), "IUPD 2 K5 node1 N5 node2");
    EXPECT_TRUE(sim().Inventory().Get("node2").has_value());
    ASSERT_EQ(qvAPIDeleteSysInfo("node2", 0, 0), 1);
    EXPECT_EQ(LastRequest(), "IDEL 1 K5 node2");
    EXPECT_EQ(qvAPIDeleteSysInfo("node2", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIChangeNameSysInfo("node1", nullptr, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(SysInfoTest, FilesWithoutASocketKeepTheirContentWhole) {
    sim().SetHandshakeReply("CONNECTA 52");
    ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim().port()).c_str()), 1);
    std::string content(88, '\0');
    std::memcpy(content.data() + 12, "oldname-is-long", 15);
    // Several pieces of the copy that carries what follows the head.
    for (int i = 0; i < 150000; ++i) content += static_cast<char>(i * 7);
    fs::create_directories(InvFile("x").parent_path());
    std::ofstream(InvFile("old"), std::ios::binary) << content;

    // The new name is held open elsewhere: the rename fails and nothing changes.
    std::ofstream(InvFile("new"), std::ios::binary) << "older";
    win::HANDLE held = win::CreateFile(InvFile("new").c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                       win::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(qvAPIChangeNameSysInfo("old", "new", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    win::CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(InvFile("old")), content);
    EXPECT_EQ(std::distance(fs::directory_iterator(InvFile("x").parent_path()), fs::directory_iterator()), 2);

    ASSERT_EQ(qvAPIChangeNameSysInfo("old", "new", 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(fs::exists(InvFile("old")));
    std::string expected = content;
    std::memset(expected.data() + 12, 0, 76);
    std::memcpy(expected.data() + 12, "new", 3);
    EXPECT_EQ(ReadFileBytes(InvFile("new")), expected);

    // A file made to claim 1 GiB (holes past its bytes, a few at its end) goes over as holes.
    ASSERT_TRUE(PlantSparseAt(InvFile("new"), kOneGiB - 4, "tail", kOneGiB));
    ASSERT_EQ(qvAPIChangeNameSysInfo("new", "sparse", 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(fs::file_size(InvFile("sparse")), kOneGiB);
    EXPECT_LT(DiskBytes(InvFile("sparse")), kSparseCopyBytes);
    std::ifstream sparse(InvFile("sparse"), std::ios::binary);
    char tail[5] = {};
    sparse.seekg(std::streamoff(kOneGiB - 4)).read(tail, 4);
    EXPECT_STREQ(tail, "tail");
    ASSERT_EQ(qvAPIChangeNameSysInfo("sparse", "new", 0, 0), 1) << std::hex << qvAPIGetLastError();

    struct Case {
        const char* old;
        const char* renamed;
        uint32_t code;
    } cases[] = {{"gone", "other", QVAPI_ERR_NOT_FOUND}, {"new", "../escape", QVAPI_ERR_INVALID_PARAMETER}};
    for (const Case& c : cases) {
        EXPECT_EQ(qvAPIChangeNameSysInfo(c.old, c.renamed, 0, 0), 0) << c.renamed;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.renamed;
    }
    ASSERT_EQ(qvAPIDeleteSysInfo("new", 0, 0), 1);
    EXPECT_EQ(qvAPIDeleteSysInfo("new", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
}

TEST_F(SysInfoTest, ANodeRenamedByTheDefinitionWritersTakesItsSystemInformation) {
    const char* const hostId = "#C000000000000000007";
    nodes_->AddNode({"node1", QVAPI_NODE_CLIENT, {10, 0, 0, 3}});
    QVAPI_NODE change{};
    ASSERT_EQ(qvAPIGetClientDefinitionByName("node1", &change), 1);
    std::strcpy(change.ucHostID, hostId);
    ASSERT_EQ(qvAPIChangeClientDefinition("node1", QVAPI_CHANGE_HOST_ID, &change, 0), 1)
        << std::hex << qvAPIGetLastError();
    EXPECT_TRUE(sim().Inventory().Get(hostId).has_value());
    EXPECT_FALSE(sim().Inventory().Get("node1").has_value());
}

}  // namespace
}  // namespace qvptest
