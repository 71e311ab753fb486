#include "e2e/caller_fixture.h"

#include <endian.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <chrono>
#include <iterator>
#include <thread>

#include "client/ar/archiver.h"
#include "core/block.h"
#include "jobs/job_records.h"
#include "nodes/node_group_steps.h"
#include "packages/package_files.h"
#include "records/records.h"
#include "support/ecd_encoder.h"
#include "support/status_files.h"
#include "support/temp_root.h"

using qvp::nodes::qvAPICreateMaster;
using qvp::nodes::qvAPICreateNodeGroup;

namespace qvpe2e {

namespace {

std::string Pad(std::string_view text, size_t width) {
    std::string out(text);
    out.resize(width, ' ');
    return out;
}

QVAPI_PACKAGE Package(const std::string& cabinet, const std::string& id, uint32_t attribute) {
    QVAPI_PACKAGE p;
    std::memset(&p, 0, sizeof p);
    p.wLength = htobe16(QVAPI_PACKAGE_SIZE);
    const std::string key = cabinet.substr(0, 1) + cabinet.substr(2, 2) + Pad(id, 44) + Pad("1/0", 8) + Pad("0001", 4);
    std::memcpy(&p.cQvCode, key.data(), key.size());
    std::memcpy(p.szResourceName, "P0000001", 8);
    p.dwAttribute4 = htobe32(attribute);
    return p;
}

std::string Text(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }

// The record of a node as a caller at the whole-record level receives it.
std::vector<uint8_t> Bytes(const QVAPI_NODE& node) {
    const auto* p = reinterpret_cast<const uint8_t*>(&node);
    return std::vector<uint8_t>(p, p + sizeof node);
}

// Moves every status record of `oldName` to `newName` the way a node rename does: each record
// comes as the reply's item, gets the new name and is stored; the prefetched reply is next.
// The number moved, or -1 on a failure other than the end.
int RenameStatusRecords(QVPAPI* b, const std::string& oldName, const std::string& newName) {
    if (!qvpAPIGetFileFirstSts(b, oldName.c_str())) return -1;
    int moved = 0;
    for (;;) {
        const int cls = qvpAPICheckFgetReply(b->replyBuffer, b->replyLength);
        if (cls == kFgetNoMore || cls == kFgetClass16) return moved;
        if (cls != kFgetRecord) return -1;
        uint32_t length = 0;
        char* item = const_cast<char*>(qvpAPIGetFgetItem(b->replyBuffer, b->replyLength, &length));
        if (item == nullptr) return -1;
        // The item may lie unaligned: its name is reached by offset.
        std::memset(item + offsetof(QVAPI_INSPACKAGE, szNodeName), ' ', 64);
        std::memcpy(item + offsetof(QVAPI_INSPACKAGE, szNodeName), newName.data(), newName.size());
        if (!qvpAPIUpdateSts(b, oldName.c_str(), newName.c_str(), reinterpret_cast<QVAPI_INSPACKAGE*>(item)))
            return -1;
        ++moved;
        std::memcpy(b->replyBuffer, b->fgetReplyBuffer, sizeof b->replyBuffer);
        b->replyLength = b->fgetReplyLength;
        if (!qvpAPIGetFileNextSts(b, oldName.c_str(), newName.c_str())) return -1;
    }
}

// Package ids of a node's status records, in the manager's order.
std::vector<std::string> StatusPackages(const std::string& node) {
    std::vector<std::string> out;
    QVPAPI* b = qvpGetThreadBlock();
    if (!qvpAPIGetHeadStsPos(b, node.c_str())) return out;
    while (QVAPI_INSPACKAGE* r = qvpAPIGetNextSts(b)) {
        EXPECT_EQ(std::string(r->szNodeName, node.size()), node);
        out.push_back(Text(r->szPackageId, 2));
    }
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    return out;
}

// The frame the library puts on the wire for a request payload.
std::string Framed(const std::string& payload) {
    const uint32_t total = static_cast<uint32_t>(payload.size() + 8);
    std::string wire;
    for (int shift = 24; shift >= 0; shift -= 8) wire.push_back(static_cast<char>((total >> shift) & 0xFF));
    wire += std::string("\xFF\x00\x00\x00", 4);
    return wire + payload;
}

const char* const kWorkAreas[] = {"NODE", "NODEGROUP", "JOBGEN", "JOBEXEC"};

}  // namespace

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

Tree ReadTree(const fs::path& root) {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).generic_string();
        tree[name] = entry.is_directory() ? "d" : "f" + ReadFile(entry.path());
    }
    return tree;
}

void CallerTest::SetUp() {
    root_ = qvptest::MakeTempRoot("qvp-e2e-");
    qvptest::WriteRootSettings(root_, "ConnectRetryCount=1\n");
    sim_ = std::make_unique<qvpsim::ManagerSim>(Data().string());
    records_ = std::make_unique<qvpsim::RecordStore>(*sim_);
    jobs_ = std::make_unique<qvpsim::JobStore>(*sim_, *records_);
    ASSERT_TRUE(sim_->Start());
    store_ = std::make_unique<qvptest::NodeStoreBuilder>(Data());
}

void CallerTest::TearDown() {
    qvAPIClose();
    sim_->Stop();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void CallerTest::Prepare(const CallerData& caller) {
    auto add = [&](const std::string& name, uint32_t kind, const std::string& master) {
        qvptest::NodeStoreBuilder::Node node;
        node.name = name;
        node.kind = kind;
        node.master = master;
        node.address = {10, 0, static_cast<uint8_t>(caller.qvCode), static_cast<uint8_t>(written_.size())};
        node.macAddress = "00-11-22-33-44-55";
        node.created = QVAPI_NODE_TIME{2023, 5, 2, 9, 8, 7, 6, 5};
        node.updated = QVAPI_NODE_TIME{2024, 6, 3, 10, 9, 8, 7, 6};
        written_[name] = store_->AddNode(node);
        if (master.empty()) topNames_.push_back(name);
    };
    add(caller.Master(), QVAPI_NODE_MASTER, {});
    add(caller.Client(), QVAPI_NODE_CLIENT, {});
    add(caller.Below(), QVAPI_NODE_CLIENT, caller.Master());
    store_->AddGroup(caller.Group());
    // The caller's ID: its master, its client in list C (served by the master), the client
    // below the master in list I.
    sim_->Ids().AddId(caller.Id(), 2);
    sim_->Ids().AddEntry('M', caller.Id(), caller.Master());
    sim_->Ids().AddEntry('C', caller.Id(), caller.Client(), caller.Master());
    sim_->Ids().AddEntry('I', caller.Id(), caller.Below());
    sim_->Inventory().Set(caller.Client(), qvpsim::InventoryStore::Record({{3, 0, std::string("\x01\x02", 2)}, {47, 5, "os"}}));

    for (int n = 1; n <= 2; ++n) {
        const std::string cabinet = caller.Cabinet(n);
        records_->AddCabinet(caller.qvCode, cabinet.substr(2, 2), caller.prefix + "cab" + std::to_string(n));
    }
    records_->AddPackage(Package(caller.Cabinet(1), "pkgA", 0x01020304));
    records_->AddPackage(Package(caller.Cabinet(1), "pkgB", 0x0A0B0C0D));
    // The list of the packages' resource (both callers' pkgA share it): one chunk of two records.
    std::string chunk(2 * QVAPI_PACKAGE_LIST_RECORD_SIZE, '\0');
    std::memcpy(chunk.data(), "first", 5);
    std::memcpy(chunk.data() + QVAPI_PACKAGE_LIST_RECORD_SIZE, "second", 6);
    records_->SetPackageList("P0000001", {chunk});

    for (const char* package : {"p1", "p2", "p3"})
        records_->AddStatus(caller.OldNode(), qvptest::MakeStatusRecord(caller.OldNode(), caller.qvCode, "1A", package,
                                                                         "1/0", "0001", package[1] == '2' ? 40 : 0));

    // A job of two nodes: the client waits to run, the master has finished.
    qvpsim::JobSpec job;
    job.path = caller.JobPath();
    job.number = caller.JobNumber();
    job.storedCounts[0] = 2;
    job.nodes = {qvpsim::Node(caller.Client(), {0x10, 0, 0}), qvpsim::Node(caller.Master(), {0x60, 0, 0})};
    jobs_->WriteJob(job);
    // An ID job: the caller's ID under "<prefix>shop", reaching its client (running) and the
    // client below the master (done).
    qvpsim::JobSpec idJob;
    idJob.path = caller.IdJobFolder() + "\\" + caller.IdJobNumber();
    idJob.number = caller.IdJobNumber();
    idJob.storedCounts[0] = 1;
    qvpsim::JobNode entry = qvpsim::Node(caller.prefix + "shop.%" + caller.Id(), {0x20, 0, 0x20});
    entry.members = {qvpsim::Node(caller.Client(), {0x20, 0, 0x20}), qvpsim::Node(caller.Below(), {0x90, 0, 0})};
    idJob.nodes = {entry};
    jobs_->WriteJob(idJob);

    // A folder as a package is made of: a script, nested folders, an empty file and folder,
    // data larger than one block of the encoder, and two names differing in case and a dot.
    const fs::path tree = PackFolder(caller);
    WriteFile(tree / "ZARN.SCI", "echo " + caller.prefix);
    WriteFile(tree / "bin" / "tool.exe", std::string(70000, '\x7f') + caller.prefix);
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 31) & 0xFF));
    WriteFile(tree / "bin" / "lib" / "data.bin", binary);
    WriteFile(tree / "empty.txt", "");
    fs::create_directories(tree / "logs");
    // Linux names that the Windows rules would take for one: they come back apart.
    WriteFile(tree / "Notes", "n");
    WriteFile(tree / "NOTES.", "N");
}

std::set<std::string> CallerTest::TopNames() const { return {topNames_.begin(), topNames_.end()}; }

std::set<std::string> CallerTest::WalkTop(const std::string& prefix) const {
    std::set<std::string> top;
    QVAPI_NODE node;
    std::memset(&node, 0, sizeof node);
    EXPECT_EQ(qvAPIExpandLevel(5), 1);  // whole records, on whichever thread walks
    QVPAPI_HANDLE find = qvAPIFindFirstNodeDefinition("\\", &node);
    EXPECT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    if (find == QVPAPI_INVALID_HANDLE) return top;
    do {
        const std::string name = Text(node.ucNodeName, sizeof node.ucNodeName);
        EXPECT_TRUE(top.insert(name).second) << name;
        if (name.rfind(prefix, 0) == 0) {
            EXPECT_EQ(Bytes(node), Bytes(written_.at(name))) << name;
        }
    } while (qvAPIFindNextNodeDefinition(find, &node));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseNodeDefinition(find), 1);
    return top;
}

int CallerTest::ConnectionNaming(const std::string& word) const {
    for (int id : sim_->Connections())
        for (const std::string& request : sim_->Received(id))
            if (request.find(word) != std::string::npos) return id;
    return 0;
}

void CallerTest::RunStory(const CallerData& caller) {
    SCOPED_TRACE(caller.prefix);
    ASSERT_EQ(qvAPIOpen("127.0.0.1", Port().c_str()), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    ASSERT_EQ(qvAPIExpandLevel(5), 1);
    const uint32_t threadId = qvpGetThreadBlock()->openerThreadId;
    MakeWorkTrees(threadId);

    StoryNodes(caller);
    StoryGroup(caller);
    StoryDefinitions(caller);
    StoryIds(caller);
    StoryForcedIds(caller);
    StoryAutoRegister(caller);
    StoryRecords(caller);
    StoryStatusRename(caller);
    StoryInstalledPackages(caller);
    StoryArchives(caller);
    StoryJobGen(caller);
    StorySharedStore(caller);
    StoryCreateJob(caller);
    StorySoftReferAndRebuild(caller);
    StoryJobs(caller);
    StoryJobWalk(caller);
    StoryQueries(caller);
    StoryQueryConstants();
    StoryIdJobs(caller);
    StoryClientIdJobs(caller);
    StoryPackages(caller);
    StoryClose(caller, threadId);
    // The close discarded the JobGen left open and let go of its mutex.
    std::thread([&] {
        QVPAPI_HANDLE h = qvAPICreateJobGen(nullptr, (caller.prefix + "OPEN").c_str(), 'D', 0, 0);
        EXPECT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(qvAPICloseJobGen(h, 1), 1);
    }).join();
    EXPECT_FALSE(fs::exists(Data() / "SERVER/ZARNQV/MNGFL/JOBGEN" / (caller.prefix + "OPEN")));
}

void CallerTest::StoryNodes(const CallerData& caller) {
    QVAPI_NODE node;
    std::memset(&node, 0, sizeof node);
    ASSERT_EQ(qvAPIGetClientDefinitionByName(caller.Client().c_str(), &node), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Bytes(node), Bytes(written_.at(caller.Client())));
    ASSERT_EQ(qvAPIGetMasterDefinitionByName(caller.Master().c_str(), &node), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Bytes(node), Bytes(written_.at(caller.Master())));
    ASSERT_EQ(qvAPIGetNodeDefinitionByName(caller.Below().c_str(), &node), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Bytes(node), Bytes(written_.at(caller.Below())));
    EXPECT_EQ(Text(node.ucNodePath0, sizeof node.ucNodePath0), "\\" + caller.Master());
    ASSERT_EQ(qvAPIFindClientDefinition(caller.Below().c_str(), &node, 0, 0), 1);
    EXPECT_EQ(node.uiNodeAttributes, QVAPI_NODE_CLIENT);

    // A master is not a client; unknown names are reported by each reader in its own way.
    EXPECT_EQ(qvAPIGetClientDefinitionByName(caller.Master().c_str(), &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIGetMasterDefinitionByName((caller.prefix + "nobody").c_str(), &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(qvAPIFindClientDefinition((caller.prefix + "nobody").c_str(), &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    // The walk from the top, then below the master.
    if (caller.alone) {
        EXPECT_EQ(WalkTop(caller.prefix), TopNames());
    }
    QVPAPI_HANDLE find = qvAPIFindFirstNodeDefinition(("\\" + caller.Master()).c_str(), &node);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Text(node.ucNodeName, sizeof node.ucNodeName), caller.Below());
    EXPECT_EQ(qvAPIFindNextNodeDefinition(find, &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseNodeDefinition(find), 1);
}

void CallerTest::StoryIds(const CallerData& caller) {
    const std::string id = caller.Id();
    QVAPI_NODE node;
    std::memset(&node, 0, sizeof node);
    ASSERT_EQ(qvAPIFindIDGroup("\\", id.c_str(), &node, 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(node.uiNodeAttributes, 4u);

    // Clients (list C, then list I), each completed from its definition, then the masters.
    std::vector<std::string> clients;
    QVPAPI_HANDLE find = qvAPIFindFirstIDClient("\\", id.c_str(), &node, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    do {
        const std::string name = Text(node.ucNodeName, sizeof node.ucNodeName);
        clients.push_back(name);
        EXPECT_EQ(Text(node.ucNodePath0, sizeof node.ucNodePath0), "\\" + id);
        EXPECT_EQ(std::memcmp(node.ucMACAddress, written_.at(name).ucMACAddress, 12), 0) << name;
    } while (qvAPIFindNextIDClient(find, &node, 0, 0));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseIDClient(find, 0, 0), 1);
    EXPECT_EQ(clients, (std::vector<std::string>{caller.Client(), caller.Below()}));

    find = qvAPIFindFirstIDMaster("\\", id.c_str(), &node, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Text(node.ucNodeName, sizeof node.ucNodeName), caller.Master());
    EXPECT_EQ(qvAPIFindNextIDMaster(find, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIFindCloseIDMaster(find, 0, 0), 1);

    // One member by name; the ID store keeps no position of this session afterwards.
    ASSERT_EQ(qvAPIFindIDClient("\\", id.c_str(), caller.Below().c_str(), &node, 0, 0), 1);
    EXPECT_EQ(Text(node.ucCommonName + 4, 64), "");  // no manage site given
    EXPECT_EQ(qvAPIFindIDMaster("\\", id.c_str(), caller.Client().c_str(), &node, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(sim_->Ids().OpenLetters(ConnectionNaming("k" + std::to_string(id.size()) + " " + id)), "");
}

void CallerTest::StoryForcedIds(const CallerData& caller) {
    // An ID made, filled and removed directly in the ID store.
    const std::string id = caller.Id() + "F";
    ASSERT_EQ(qvAPICreateIDGroupForced(id.c_str(), "pw", 2, 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPICreateMasterIDGroupForced(id.c_str(), caller.Master().c_str(), 0, 0), 1);
    ASSERT_EQ(qvAPICreateClientIDGroupForced(id.c_str(), caller.Client().c_str(), 1, caller.Master().c_str(), 0, 0), 1);
    QVAPI_NODE node;
    std::memset(&node, 0, sizeof node);
    ASSERT_EQ(qvAPIFindIDClient("\\", id.c_str(), caller.Client().c_str(), &node, 0, 0), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(Text(node.ucCommonName + 4, 64), caller.Master());
    // A new password goes to the ID's master as a job, which is deleted again once sent.
    // Counted by the JobGen path: another caller's jobs may arrive meanwhile.
    const std::string jobGenPath = "\\Edit_ID_group\\" + id + "\\Change_password";
    const auto putsOfThisId = [&] {
        const auto puts = jobs_->Puts();
        return std::count_if(puts.begin(), puts.end(), [&](const auto& p) { return p.jobGenPath == jobGenPath; });
    };
    ASSERT_EQ(putsOfThisId(), 0);
    ASSERT_EQ(qvAPIChangePasswordIDGroup(id.c_str(), "pw2", 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(putsOfThisId(), 1);
    ASSERT_EQ(qvAPIDeleteIDGroup(id.c_str(), 0, 0), 1);
    EXPECT_EQ(qvAPIFindIDGroup("\\", id.c_str(), &node, 0, 0), 0);

    // The client's system information, entry by entry, then moved to a new name and deleted.
    QVAPI_SYSINFO info;
    std::memset(&info, 0, sizeof info);
    QVPAPI_HANDLE find = qvAPIFindFirstSysInfo(caller.Client().c_str(), &info, 0, 0, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(info.SysinfoEntry1.ucEntryType, 3);
    ASSERT_EQ(qvAPIFindNextSysInfo(find, &info, 0, 0), 1);
    EXPECT_EQ(info.SysinfoEntry1.ucEntryType, 47);
    EXPECT_EQ(qvAPIFindNextSysInfo(find, &info, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseSysInfo(find, 0, 0), 1);
    const std::string moved = caller.prefix + "moved";
    ASSERT_EQ(qvAPIChangeNameSysInfo(caller.Client().c_str(), moved.c_str(), 0, 0), 1);
    ASSERT_EQ(qvAPIDeleteSysInfo(moved.c_str(), 0, 0), 1);
    EXPECT_FALSE(sim_->Inventory().Get(moved).has_value());
}

void CallerTest::StoryGroup(const CallerData& caller) {
    const std::string group = caller.Group();
    ASSERT_EQ(qvAPICreateClient(group.c_str(), caller.Client().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPICreateClient(group.c_str(), caller.Below().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPICreateMaster(group.c_str(), caller.Master().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPICreateNodeGroup(group.c_str(), caller.SubGroup().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPICreateClient(group.c_str(), caller.Client().c_str(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    EXPECT_EQ(qvAPICreateClient(group.c_str(), (caller.prefix + "nobody").c_str(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    // The member walk gives each member as its definition now stands.
    std::vector<std::pair<std::string, uint32_t>> members;
    QVAPI_NODE node;
    std::memset(&node, 0, sizeof node);
    QVPAPI_HANDLE find = qvAPIFindFirstNode(group.c_str(), &node, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    do {
        const std::string name = Text(node.ucNodeName, sizeof node.ucNodeName);
        members.emplace_back(name, node.uiNodeAttributes);
        if (node.uiNodeAttributes != 0) {
            QVAPI_NODE stored;
            std::memset(&stored, 0, sizeof stored);
            EXPECT_EQ(qvAPIGetNodeDefinitionByName(name.c_str(), &stored), 1);
            EXPECT_EQ(Bytes(node), Bytes(stored)) << name;
            EXPECT_EQ(node.uiNodeGroupFlag, 1u) << name;
        }
    } while (qvAPIFindNextNode(find, &node, 0, 0));
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseNode(find, 0, 0), 1);
    std::sort(members.begin(), members.end());
    std::vector<std::pair<std::string, uint32_t>> expected = {{caller.Client(), QVAPI_NODE_CLIENT},
                                                              {caller.Below(), QVAPI_NODE_CLIENT},
                                                              {caller.Master(), QVAPI_NODE_MASTER},
                                                              {caller.SubGroup(), 0u}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(members, expected);

    // A group with members stays; emptied, everything goes.
    EXPECT_EQ(qvAPIDeleteNodeGroup("\\", (caller.prefix + "G").c_str(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_DIR_NOT_EMPTY);
    EXPECT_EQ(qvAPIDeleteClient(group.c_str(), caller.Client().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIDeleteClient(group.c_str(), caller.Below().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIDeleteMaster(group.c_str(), caller.Master().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIDeleteNodeGroup(group.c_str(), caller.SubGroup().c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIDeleteClient(group.c_str(), caller.Client().c_str(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(qvAPIFindFirstNode(group.c_str(), &node, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);

    // Out of every group, the definitions read as they were written.
    for (const std::string& name : {caller.Client(), caller.Below(), caller.Master()}) {
        ASSERT_EQ(qvAPIGetNodeDefinitionByName(name.c_str(), &node), 1) << name;
        EXPECT_EQ(node.uiNodeGroupFlag, 0u) << name;
    }
    EXPECT_EQ(qvAPIDeleteNodeGroup("\\", (caller.prefix + "G").c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_FALSE(fs::exists(store_->GroupFilePath(group)));
}

// Another writer of the same root may hold the definition lock for a moment: a caller retries.
template <class Call>
int RetriedWhileBusy(Call call) {
    for (int i = 0;; ++i) {
        const int result = call();
        if (result != 0 || qvAPIGetLastError() != QVAPI_ERR_BUSY || i == 200) return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The caller defines a client below its master and renames it; alone, it also defines a
// master, moves it below its own with the client, and deletes it with everything below it.
// What it defined is gone again at the end.
void CallerTest::StoryDefinitions(const CallerData& caller) {
    QVAPI_NODE node{};
    const std::string client = caller.prefix + "gamma";
    const std::string renamed = caller.prefix + "delta";
    const std::string chief = caller.prefix + "chief";
    std::strcpy(node.ucNodeName, client.c_str());
    std::strcpy(node.ucNodePath0, ("\\" + caller.Master()).c_str());
    ASSERT_EQ(RetriedWhileBusy([&] { return qvAPICreateClientDefinition(client.c_str(), &node, 0); }), 1)
        << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPIGetClientDefinitionByName(client.c_str(), &node), 1);
    std::strcpy(node.ucNodeName, renamed.c_str());
    ASSERT_EQ(RetriedWhileBusy([&] {
                  return qvAPIChangeClientDefinition(client.c_str(), QVAPI_CHANGE_KEY_NAME, &node, 0);
              }),
              1)
        << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIGetClientDefinitionByName(client.c_str(), &node), 0);
    ASSERT_EQ(qvAPIGetClientDefinitionByName(renamed.c_str(), &node), 1);
    EXPECT_EQ(Text(node.ucNodePath0, sizeof node.ucNodePath0), "\\" + caller.Master());
    if (caller.alone) {
        // A master's move swaps the whole tree: beside other callers' readers it is left out.
        QVAPI_NODE master{};
        std::strcpy(master.ucNodeName, chief.c_str());
        ASSERT_EQ(qvAPICreateMasterDefinition(chief.c_str(), &master, 0), 1) << std::hex << qvAPIGetLastError();
        node.stUpdateTime = {};
        std::strcpy(node.ucNodePath0, ("\\" + chief).c_str());
        ASSERT_EQ(qvAPIChangeClientDefinition(renamed.c_str(), QVAPI_CHANGE_NODE_PATH, &node, 0), 1)
            << std::hex << qvAPIGetLastError();
        ASSERT_EQ(qvAPIGetMasterDefinitionByName(chief.c_str(), &master), 1);
        std::strcpy(master.ucNodePath0, ("\\" + caller.Master()).c_str());
        ASSERT_EQ(qvAPIChangeMasterDefinition(chief.c_str(), QVAPI_CHANGE_NODE_PATH, &master, 0), 1)
            << std::hex << qvAPIGetLastError();
        ASSERT_EQ(qvAPIGetClientDefinitionByName(renamed.c_str(), &node), 1);
        EXPECT_EQ(Text(node.ucNodePath0, sizeof node.ucNodePath0), "\\" + caller.Master() + "\\" + chief);
        EXPECT_EQ(qvAPIDeleteMasterDefinition(chief.c_str(), 0, nullptr), 1) << std::hex << qvAPIGetLastError();
    } else {
        EXPECT_EQ(RetriedWhileBusy([&] { return qvAPIDeleteClientDefinition(renamed.c_str(), 0, nullptr); }), 1)
            << std::hex << qvAPIGetLastError();
    }
    EXPECT_EQ(qvAPIGetClientDefinitionByName(renamed.c_str(), &node), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
}

void CallerTest::StoryRecords(const CallerData& caller) {
    QVPAPI* b = qvpGetThreadBlock();
    const std::string code(1, caller.qvCode);
    std::vector<std::string> cabinets;
    ASSERT_EQ(qvpAPIGetHeadManaPos(b, code.c_str()), 1) << std::hex << qvAPIGetLastError();
    while (QVAPI_CABINET* c = qvpAPIGetNextMana(b)) {
        EXPECT_EQ(c->wLength, htobe16(QVAPI_CABINET_SIZE));
        cabinets.push_back(std::string(1, c->cQvCode) + "." + std::string(c->szCabinetId, 2) + " " +
                           Text(c->szName, sizeof c->szName));
    }
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(cabinets, (std::vector<std::string>{caller.Cabinet(1) + " " + caller.prefix + "cab1",
                                                  caller.Cabinet(2) + " " + caller.prefix + "cab2"}));
    QVAPI_CABINET* found = qvpAPIFindMana(b, caller.Cabinet(2).c_str());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Text(found->szName, sizeof found->szName), caller.prefix + "cab2");

    std::vector<std::string> packages;
    ASSERT_EQ(qvpAPIGetHeadAttrPos(b, caller.Cabinet(1).c_str()), 1) << std::hex << qvAPIGetLastError();
    while (QVAPI_PACKAGE* p = qvpAPIGetNextAttr(b)) {
        EXPECT_EQ(p->wLength, htobe16(QVAPI_PACKAGE_SIZE));
        packages.push_back(Text(p->szPackageId, 4) + " " + std::to_string(be32toh(p->dwAttribute4)));
    }
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(packages, (std::vector<std::string>{"pkgA " + std::to_string(0x01020304),
                                                  "pkgB " + std::to_string(0x0A0B0C0D)}));
    // A cabinet without packages has only its header record: the walk ends at once.
    ASSERT_EQ(qvpAPIGetHeadAttrPos(b, caller.Cabinet(2).c_str()), 1);
    EXPECT_EQ(qvpAPIGetNextAttr(b), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    const QVAPI_PACKAGE* one = qvpAPIFindAttr(b, (caller.Cabinet(1) + ".pkgB.1/0.0001").c_str());
    ASSERT_NE(one, nullptr) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(be32toh(one->dwAttribute4), 0x0A0B0C0Du);
    EXPECT_EQ(qvpAPIFrls(b, 'A'), 1);
}

void CallerTest::StoryStatusRename(const CallerData& caller) {
    QVPAPI* b = qvpGetThreadBlock();
    EXPECT_EQ(StatusPackages(caller.OldNode()), (std::vector<std::string>{"p1", "p2", "p3"}));
    ASSERT_EQ(qvpAPISetStsNodeQuery(b, caller.OldNode().c_str()), 1);
    EXPECT_EQ(RenameStatusRecords(b, caller.OldNode(), caller.NewNode()), 3);
    qvpAPIDeleteStsNodeQuery(b);
    EXPECT_EQ(StatusPackages(caller.NewNode()), (std::vector<std::string>{"p1", "p2", "p3"}));
    EXPECT_TRUE(StatusPackages(caller.OldNode()).empty());
    // The record with an item kept its item.
    const auto moved = records_->Keys('S');
    size_t withItem = 0;
    for (const std::string& key : moved) {
        if (key.rfind(caller.NewNode() + " ", 0) != 0) continue;
        const auto record = records_->Record('S', key);
        ASSERT_TRUE(record.has_value());
        if (record->size() > QVAPI_INSPACKAGE_SIZE) ++withItem;
    }
    EXPECT_EQ(withItem, 1u);
}

void CallerTest::StoryArchives(const CallerData& caller) {
    const fs::path work = root_ / (caller.prefix + "arc");
    const fs::path plain = work / "plain.arc";
    fs::create_directories(work);
    ASSERT_EQ(qvpcarCreateArcFile(PackFolder(caller).c_str(), "", 0, 0, nullptr, plain.c_str(), 0), 0);
    const std::string packed = ReadFile(plain);
    const qvpe2e::Tree expected = ReadTree(PackFolder(caller));

    // As the manager hands it out, and encoded.
    const std::string encoded = [&] {
        const qvptest::Bytes in(packed.begin(), packed.end());
        const qvptest::Bytes out = qvptest::EcdEncode(in, qvptest::EcdEncoding::Zlib);
        return std::string(out.begin(), out.end());
    }();
    const std::string huffman = [&] {
        const qvptest::Bytes in(packed.begin(), packed.end());
        const qvptest::Bytes out = qvptest::EcdEncode(in, qvptest::EcdEncoding::Huffman);
        return std::string(out.begin(), out.end());
    }();
    struct Case {
        const char* folder;
        const char* name;
        const std::string& bytes;
    };
    for (const Case& c : {Case{"PKG1", "plain.qvz", packed}, Case{"PKG2", "zlib.QVZ", encoded},
                          Case{"PKG3", "huff.qvz", huffman}}) {
        SCOPED_TRACE(c.name);
        const fs::path archive = work / c.folder / c.name;
        WriteFile(archive, c.bytes);
        const fs::path out = work / "out";
        ASSERT_EQ(qvAPIUnArchive(archive.c_str(), out.c_str()), 1) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(qvAPIGetLastError(), 0u);
        const std::string stem = fs::path(c.name).stem().string();
        EXPECT_EQ(ReadTree(out / (stem + "_" + c.folder)), expected);
        EXPECT_EQ(ReadFile(archive), c.bytes);
        std::vector<std::string> beside;
        for (const auto& e : fs::directory_iterator(archive.parent_path())) beside.push_back(e.path().filename());
        EXPECT_EQ(beside, std::vector<std::string>{c.name});
    }

    // A name that breaks the rules is refused and makes nothing.
    const fs::path bad = work / "PKG4" / "bad.zip";
    WriteFile(bad, packed);
    EXPECT_EQ(qvAPIUnArchive(bad.c_str(), (work / "out").c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_FALSE(fs::exists(work / "out" / "bad_PKG4"));
}

// The caller reads how far its job has got, holds its client's delivery and asks for it again.
void CallerTest::StoryJobs(const CallerData& caller) {
    QVPAPI* b = qvpGetThreadBlock();
    unsigned char head[QVAPI_JOB_SIZE];
    ASSERT_EQ(qvAPIGetJob(b, caller.JobPath().c_str(), head), 1) << std::hex << qvAPIGetLastError();
    QVAPI_JOB job;
    std::memset(&job, 0, sizeof job);
    qvp::jobs::qvpAPICopyJobData(b->apiLevel, head, &job, QVAPI_JOB_KIND_JOB);
    EXPECT_EQ(std::string(job.szJobNo, 16), caller.JobNumber());
    EXPECT_EQ(job.dwStatus0, 1u);
    EXPECT_EQ(job.dwStatus8, 1u);
    EXPECT_EQ(job.dwTotal, 2u);
    QVAPI_NODE_JOB node;
    ASSERT_EQ(qvAPIGetJobCountNode(b, caller.JobPath().c_str(), caller.Master().c_str(), &node), 1);
    EXPECT_EQ(node.dwStatus8, 1u);

    ASSERT_EQ(qvAPISiteWaitSetCurrent((caller.Client() + caller.JobNumber()).c_str()), 1);
    EXPECT_EQ(jobs_->Status(caller.Client(), caller.JobNumber()), (qvpsim::ExecStatus{0x10, 0x40, 0}));
    EXPECT_EQ(qvAPISiteReexec(caller.prefix.c_str(), caller.JobNumber().c_str()), 1);
}

// The caller finds its job by number and in its folder, then the job's nodes and the record
// the manager keeps for the master.
void CallerTest::StoryJobWalk(const CallerData& caller) {
    const std::string folder = "\\" + caller.prefix + "J";
    const std::string number = caller.JobNumber();
    QVAPI_JOB job;
    ASSERT_EQ(qvAPIFindJob(number.c_str(), &job, 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(job.dwTotal, 2u);
    QVPAPI_HANDLE walk = qvAPIFindFirstJob(folder.c_str(), &job, 0, 0);
    ASSERT_NE(walk, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(job.szJobNo, 16), number);
    EXPECT_EQ(job.dwKind, QVAPI_JOB_KIND_JOB);
    EXPECT_EQ(qvAPIFindNextJob(walk, &job, 0, 0), 0);
    EXPECT_EQ(qvAPIFindCloseJob(walk, 0, 0), 1);

    std::vector<std::string> nodes;
    QVAPI_NODE_JOB node;
    QVPAPI_HANDLE find = qvAPIFindFirstNodeJob(folder.c_str(), number.c_str(), &node, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    do {
        nodes.push_back(node.szNodeName);
    } while (qvAPIFindNextNodeJob(find, &node, 0, 0) == 1);
    EXPECT_EQ(qvAPIFindCloseNodeJob(find, 0, 0), 1);
    EXPECT_EQ(nodes, (std::vector<std::string>{"\\" + caller.Client(), "\\" + caller.Master()}));

    QVAPI_PACKAGE_JOB record;
    find = qvAPIFindFirstPackageJob(folder.c_str(), number.c_str(), ("\\" + caller.Master()).c_str(), &record, 0,
                                    nullptr);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(record.szNodeName), "\\" + caller.Master());
    EXPECT_EQ(record.ucRecord80[88 - 80], 0x60);  // finished
    EXPECT_EQ(qvAPIFindNextPackageJob(find, &record, 0, nullptr), 0);
    EXPECT_EQ(qvAPIFindClosePackageJob(find, 0, 0), 1);
}

// The same job through a query: its nodes by the Abstract node walk, the master's record with
// the job's head beside it. The query is left open: it goes with the session.
void CallerTest::StoryQueries(const CallerData& caller) {
    QVPAPI_HANDLE query = qvAPICreateQuery(1, 0, 0);
    ASSERT_NE(query, QVPAPI_INVALID_HANDLE);
    ASSERT_EQ(qvAPISetJobFolderQuery(query, ("\\" + caller.prefix + "J").c_str(), 1, 0, 0), 1);
    ASSERT_EQ(qvAPISetJobNumberQuery(query, caller.JobNumber().c_str(), 0, 0), 1);
    std::vector<std::string> nodes;
    QVAPI_QNODE_JOB node;
    for (bool more = qvAPIAbstractFirstNodeJobEx(query, &node, 0, 0) == query; more;
         more = qvAPIAbstractNextNodeJobEx(query, &node, 0, 0) == 1)
        nodes.push_back(node.NodeJob.Ex.szNodeName);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIAbstractCloseNodeJobEx(query, 0, 0), 1);
    EXPECT_EQ(nodes, (std::vector<std::string>{"\\" + caller.Client(), "\\" + caller.Master()}));
    ASSERT_EQ(qvAPISetClientQuery(query, ("\\" + caller.Master()).c_str(), 0, 0, 0), 1);
    QVAPI_QDETAIL_JOB detail;
    ASSERT_EQ(qvAPIAbstractFirstDetailJob(query, &detail, 0, nullptr), query) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(detail.Job.szJobNo, 16), caller.JobNumber());
    EXPECT_EQ(detail.PackageJob.ucRecord80[88 - 80], 0x60);
    EXPECT_EQ(qvAPIAbstractNextDetailJob(query, &detail, 0, nullptr), 0);
    EXPECT_EQ(qvAPIAbstractCloseDetailJob(query, 0, 0), 1);
}

// Another writer of the store plants a link to a folder outside it among the caller's JobGens:
// the listing passes it over, and removing the folder that holds it removes the link alone.
void CallerTest::StorySharedStore(const CallerData& caller) {
    const fs::path outside = root_ / (caller.prefix + "outside");
    fs::create_directories(outside);
    std::ofstream(outside / "keep.txt") << "kept";
    const std::string folder = caller.prefix + "LINKED";
    ASSERT_EQ(qvAPICreateFolderJobGen(nullptr, folder.c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    fs::create_directory_symlink(outside, Data() / "SERVER/ZARNQV/MNGFL/JOBGEN" / folder / "PLANTED");
    QVAPI_JOBGEN found{};
    EXPECT_EQ(qvAPIFindFirstJobGen(("\\" + folder).c_str(), &found), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIDeleteFolderJobGen(nullptr, folder.c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

// The constant query operations leave the code of the call before them to be read.
void CallerTest::StoryQueryConstants() {
    EXPECT_EQ(qvAPICloseQuery(nullptr, 0, 0), 0);
    EXPECT_EQ(qvAPISetSortJobQuery(nullptr, 0, 0, 0, 0), 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
}

// The caller's ID job: its one ID with the counts of the clients it reached, then each of
// those clients once under the entry's path.
void CallerTest::StoryIdJobs(const CallerData& caller) {
    const std::string folder = caller.IdJobFolder();
    const std::string number = caller.IdJobNumber();
    QVAPI_NODE_JOB node;
    QVPAPI_HANDLE find = qvAPIFindFirstIDJob(folder.c_str(), number.c_str(), &node, 1, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(node.szNodeName), caller.Id());
    EXPECT_EQ(node.dwStatus1 + node.dwStatus2, 2u);
    EXPECT_EQ(qvAPIFindNextIDJob(find, &node, 0, 0), 0);
    EXPECT_EQ(qvAPIFindCloseIDJob(find, 0, 0), 1);

    std::vector<std::string> clients;
    find = qvAPIFindFirstKeepIDJob(folder.c_str(), number.c_str(), caller.Id().c_str(), &node, 1, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    do clients.push_back(node.szNodeName);
    while (qvAPIFindNextKeepIDJob(find, &node, 0, 0) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseKeepIDJob(find, 0, 0), 1);
    const std::string path = "\\" + caller.prefix + "shop\\";
    EXPECT_EQ(clients, (std::vector<std::string>{path + caller.Client(), path + caller.Below()}));
}

// The caller's ID job seen from its clients' side, in the job tree and in the manager's site
// copy of it; the caller's plain job folder holds no ID job.
void CallerTest::StoryClientIdJobs(const CallerData& caller) {
    const std::string number = caller.IdJobNumber();
    QVAPI_JOB job;
    QVPAPI_HANDLE find = qvAPIFindFirstClientIDJob(caller.IdJobFolder().c_str(), &job, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(job.szJobNo, 16), number);
    EXPECT_EQ(job.dwKind, QVAPI_JOB_KIND_ID_JOB);
    EXPECT_EQ(job.dwStatus1 + job.dwStatus2, 2u);  // its two clients, not the entry itself
    EXPECT_EQ(qvAPIFindNextClientIDJob(find, &job, 0, 0), 0);
    EXPECT_EQ(qvAPIFindCloseClientIDJob(find, 0, 0), 1);

    qvpsim::JobSpec site;
    site.number = number;
    site.path = "\\" + caller.prefix + "S\\" + number;
    site.storedCounts[0] = 1;
    site.nodes = {qvpsim::Node(caller.prefix + "shop.%" + caller.Id(), {0x20, 0, 0x20})};
    jobs_->WriteSiteJob(site);
    std::vector<std::string> clients;
    QVAPI_NODE_JOB_EX node;
    find = qvAPIFindFirstSiteClientNodeIDJobEx(("\\" + caller.prefix + "S").c_str(), number.c_str(), &node, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    do clients.push_back(std::string(node.szNodeName) + (node.dwStatus1 == 1 ? " running" : " in error"));
    while (qvAPIFindNextSiteClientNodeIDJobEx(find, &node, 0, 0) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseSiteClientNodeIDJobEx(find, 0, 0), 1);
    const std::string path = "\\" + caller.prefix + "shop\\";
    EXPECT_EQ(clients, (std::vector<std::string>{path + caller.Client() + " running", path + caller.Below() + " in error"}));

    const std::string folder = "\\" + caller.prefix + "J";
    EXPECT_EQ(qvAPIFindFirstClientIDJob(folder.c_str(), &job, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    find = qvAPIFindFirstClientIDJob(folder.c_str(), &job, 4, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(std::string(job.szJobNo, 16), caller.JobNumber());
    EXPECT_EQ(job.dwKind, QVAPI_JOB_KIND_JOB);
    EXPECT_EQ(qvAPIFindCloseClientIDJob(find, 0, 0), 1);
}

// The moved status records through the exported walk, moved once more and partly deleted; then
// the package list of one of the caller's packages.
void CallerTest::StoryInstalledPackages(const CallerData& caller) {
    const auto walk = [](const std::string& node) {
        std::vector<std::string> packages;
        QVAPI_INSPACKAGE record;
        QVPAPI_HANDLE find = qvAPIFindFirstInsPackage(node.c_str(), &record, 0, 0);
        if (find == QVPAPI_INVALID_HANDLE) return packages;
        do packages.emplace_back(record.szPackageId, 2);
        while (qvAPIFindNextInsPackage(find, &record, 0, 0));
        EXPECT_EQ(qvAPIFindCloseInsPackage(find, 0, 0), 1);
        return packages;
    };
    const std::string moved = caller.prefix + "moved";
    EXPECT_EQ(walk(caller.NewNode()), (std::vector<std::string>{"p1", "p2", "p3"}));
    ASSERT_EQ(qvAPIChangeNameInsPackage(caller.NewNode().c_str(), moved.c_str(), 0, 0), 1)
        << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(qvAPIDeleteInsPackage(moved.c_str(), caller.qvCode, "p2", nullptr, nullptr, 0, 0), 1);
    EXPECT_EQ(walk(moved), (std::vector<std::string>{"p1", "p3"}));
    EXPECT_EQ(qvAPIChangeNameInsPackage(caller.NewNode().c_str(), moved.c_str(), 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    const QVAPI_PACKAGE package = Package(caller.Cabinet(1), "pkgA", 0);
    uint32_t first = 0, second = 0;
    QVPAPI_HANDLE list = qvAPICreatePackageList(&package, &first, &second, 0, 0);
    ASSERT_NE(list, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(second, 2u);
    QVAPI_PACKAGE_LIST record;
    QVPAPI_HANDLE file = qvAPIFindFirstPackageList(&package, &record, 0, 0);
    ASSERT_NE(file, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    EXPECT_STREQ(record.szText, "first");
    ASSERT_EQ(qvAPIFindNextPackageList(file, &record, 0, 0), 1);
    EXPECT_STREQ(record.szText, "second");
    EXPECT_EQ(qvAPIFindNextPackageList(file, &record, 0, 0), 0);
    EXPECT_EQ(qvAPIFindClosePackageList(file, 0, 0), 1);
    EXPECT_EQ(qvAPIClosePackageList(list, 0, 0), 1);
}

// The packed folder registered as a package of a new cabinet, with its script, then found and
// read back through the package handle.
void CallerTest::StoryPackages(const CallerData& caller) {
    const std::string cabinet = caller.Cabinet(3);
    const std::string id = cabinet.substr(2, 2);
    ASSERT_EQ(qvAPICreateCabinet(caller.qvCode, id.c_str(), (caller.prefix + "cab3").c_str(), 0, 0), 1)
        << std::hex << qvAPIGetLastError();
    QVAPI_CABINET found;
    ASSERT_EQ(qvAPIFindCabinet(caller.qvCode, id.c_str(), &found, 0, 0), 1);
    EXPECT_EQ(found.wLength, QVAPI_CABINET_SIZE);

    const fs::path work = root_ / (caller.prefix + "arc");
    const fs::path packageFile = work / "plain.arc";
    const fs::path scriptFile = PackFolder(caller) / "ZARN.SCI";
    QVAPI_PACKAGE record = Package(cabinet, caller.prefix + "pkg", 0x11223344);
    qvp::packages::PackageToHost(record);
    record.ucFlags = QVAPI_PACKAGE_FLAG_SCRIPT;
    WriteFile(work / "package.atr", std::string(reinterpret_cast<const char*>(&record), sizeof record));
    ASSERT_EQ(qvAPIAddPackage(scriptFile.c_str(), packageFile.c_str(), (work / "package.atr").c_str(),
                              QVAPI_PACKAGE_FAIL_EXISTS, 0, 0), 1)
        << std::hex << qvAPIGetLastError();
    QVAPI_PACKAGE stored;
    ASSERT_EQ(qvAPIFindPackage(caller.qvCode, id.c_str(), (caller.prefix + "pkg").c_str(), "1/0", "0001", &stored, 0, 0), 1);
    EXPECT_EQ(stored.dwAttribute4, 0x11223344u);

    char version[] = "1/0";
    QVPAPI_HANDLE package = qvAPIOpenPackage(caller.qvCode, id.c_str(), (caller.prefix + "pkg").c_str(), version, "0001", 0, 0);
    ASSERT_NE(package, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    using Reader = int (*)(QVPAPI_HANDLE, void*, uint32_t, uint32_t*);
    for (auto [read, original] : {std::pair<Reader, fs::path>{qvAPIReadPackageFile, packageFile},
                                  std::pair<Reader, fs::path>{qvAPIReadScriptFile, scriptFile}}) {
        std::string bytes, buffer(QVAPI_PACKAGE_READ_MAX, '\0');
        uint32_t got = 0;
        while (read(package, buffer.data(), QVAPI_PACKAGE_READ_MAX, &got) == 1 && got > 0) bytes.append(buffer, 0, got);
        EXPECT_EQ(bytes, ReadFile(original));
    }
    EXPECT_EQ(qvAPIClosePackage(package), 1);
}

void CallerTest::MakeWorkTrees(uint32_t threadId) const {
    for (const char* area : kWorkAreas)
        WriteFile(Data() / "SERVER" / "WORK" / "MNG" / area / std::to_string(threadId) / "step" / "left.tmp", area);
}

void CallerTest::ExpectWorkTreesGone(uint32_t threadId) const {
    for (const char* area : kWorkAreas) {
        EXPECT_FALSE(fs::exists(Data() / "SERVER" / "WORK" / "MNG" / area / std::to_string(threadId))) << area;
        EXPECT_TRUE(fs::exists(Data() / "SERVER" / "WORK" / "MNG" / area)) << area;
    }
}

std::vector<std::string> CallerTest::ReceivedUntilClosed(int connection) const {
    EXPECT_TRUE(sim_->WaitFor([connection](const std::vector<qvpsim::LogEntry>& log) {
        return std::any_of(log.begin(), log.end(), [connection](const qvpsim::LogEntry& e) {
            return e.connection == connection && e.kind == qvpsim::LogEntry::Kind::Event && e.text == "closed";
        });
    }));
    return sim_->Received(connection);
}

void CallerTest::ExpectClosingSequence(int connection) const {
    ReceivedUntilClosed(connection);
    std::vector<qvpsim::LogEntry> tail;
    for (const auto& e : sim_->Log())
        if (e.connection == connection) tail.push_back(e);
    const std::vector<std::string> closing = {"FRLS 1 f1 M", "FRLS 1 f1 A", "FRLS 1 f1 E", "FRLS 1 f1 S", "ATRM 0"};
    ASSERT_GE(tail.size(), 2 * closing.size() + 1);
    EXPECT_EQ(tail.back().kind, qvpsim::LogEntry::Kind::Event);
    EXPECT_EQ(tail.back().text, "closed");
    tail.pop_back();
    tail.erase(tail.begin(), tail.end() - static_cast<std::ptrdiff_t>(2 * closing.size()));
    for (size_t i = 0; i < closing.size(); ++i) {
        const auto& request = tail[2 * i];
        const auto& reply = tail[2 * i + 1];
        EXPECT_EQ(request.kind, qvpsim::LogEntry::Kind::Received) << i;
        EXPECT_EQ(request.wire, Framed(closing[i])) << i;
        EXPECT_EQ(reply.kind, qvpsim::LogEntry::Kind::Sent) << i;
        EXPECT_EQ(reply.text, qvpsim::kReplyOk) << i;
    }
}

// A JobGen for the client below the master with one package, committed into a folder of its
// own; a second one is left open for the close to discard.
void CallerTest::StoryJobGen(const CallerData& caller) {
    const std::string folder = "\\" + caller.prefix + "F";
    // The manager's installation makes the JobGen root; folders go below it.
    fs::create_directories(Data() / "SERVER/ZARNQV/MNGFL/JOBGEN");
    ASSERT_EQ(qvAPICreateFolderJobGen(nullptr, (caller.prefix + "F").c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    QVPAPI_HANDLE h = qvAPICreateJobGen(folder.c_str(), "J", 'D', 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << std::hex << qvAPIGetLastError();
    const std::string path = "\\" + caller.Master() + "\\" + caller.Below();
    EXPECT_EQ(qvAPICreateClientJobGen(h, path.c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPICreatePackageJobGen(h, caller.qvCode, "1A", "pkgA", "1/0", "0001", 0, 0), 1);
    QVAPI_JOBGEN_NODE node{};
    ASSERT_EQ(qvAPIFindFirstNodeJobGen(h, &node, 0, 0), h);
    EXPECT_EQ(std::string(node.szHost), path);
    EXPECT_EQ(qvAPIFindCloseNodeJobGen(h, 0, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(fs::file_size(Data() / "SERVER/ZARNQV/MNGFL/JOBGEN" / (caller.prefix + "F") / "J" / "jobgenfile"),
              256u + 1284u);
    QVAPI_JOBGEN found{};
    ASSERT_EQ(qvAPIFindJobGen(folder.c_str(), "J", &found, 0, 0), 1);
    EXPECT_EQ(found.uiKind, QVAPI_JOBGEN_JOBGEN);

    // Stored: a weekly time set on re-open, then the JobGen listed, renamed, copied out and
    // back, and deleted.
    h = qvAPICreateJobGen(folder.c_str(), "J", 0, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    QVAPI_TIME_JOBGEN_DATA time{};
    time.ucSetcls = 'D';
    time.WorkTime.wHour = 6;
    EXPECT_EQ(qvAPIUpDateTimeJobGen(h, QVAPI_TIME_SETCLS | QVAPI_TIME_TIME, &time, 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << std::hex << qvAPIGetLastError();
    QVPAPI_HANDLE f = qvAPIFindFirstJobGen(folder.c_str(), &found);
    ASSERT_NE(f, QVPAPI_INVALID_HANDLE);
    EXPECT_STREQ(found.szName, "J");
    EXPECT_EQ(qvAPIFindNextJobGen(f, &found), 0);
    EXPECT_EQ(qvAPIFindCloseJobGen(f), 1);
    ASSERT_EQ(qvAPIChangeJobGen(folder.c_str(), "J", "K"), 1);
    const fs::path out = root_ / (caller.prefix + "out");
    fs::create_directories(out);
    ASSERT_EQ(qvAPIGetJobGen((folder + "\\K").c_str(), out.c_str()), 1);
    EXPECT_EQ(std::string(ReadFile(out / "K" / "jobgenfile"), 81, 6), "060000");
    EXPECT_EQ(qvAPIUpdateJobGen(out.c_str(), (folder + "\\K").c_str()), 1);
    // Its old name back: the scheduling below hands it to the manager.
    EXPECT_EQ(qvAPIChangeJobGen(folder.c_str(), "K", "J"), 1);

    h = qvAPICreateJobGen(nullptr, (caller.prefix + "OPEN").c_str(), 'D', 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPICreateClientJobGen(h, caller.Client().c_str(), QVAPI_JOBGEN_BY_ID, 0), 1);

    // The committed JobGen scheduled while this one stays open: the manager reads it with its
    // client resolved, and the store keeps its own form.
    const fs::path stored = Data() / "SERVER/ZARNQV/MNGFL/JOBGEN" / (caller.prefix + "F") / "J" / "jobgenfile";
    auto bytes = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string before = bytes(stored);
    const std::string jobGen = folder + "\\J";
    const std::string request = "JSCH 3 j" + std::to_string(jobGen.size()) + " " + jobGen +
                                " n16 JS00000000000000 s224 " + std::string(224, '0');
    char number[16];
    ASSERT_EQ(qvAPIScheduleJobex(request.c_str(), number), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(bytes(stored), before);
    const auto seen = jobs_->Schedules();
    const auto it = std::find_if(seen.begin(), seen.end(), [&](const auto& s) { return s.jobGenPath == jobGen; });
    ASSERT_NE(it, seen.end());
    ASSERT_EQ(it->jobGenFile.size(), 256u + 1284u);
    EXPECT_EQ(static_cast<uint8_t>(it->jobGenFile[256 + 276 + 3]), 0x80);  // a resolved client
}

// A job made from the committed JobGen while another JobGen of the thread stays open: the store
// byte for byte as before, the job run, retried for all nodes and for one, completed, deleted.
void CallerTest::StoryCreateJob(const CallerData& caller) {
    const std::string folder = "\\" + caller.prefix + "F";
    const fs::path stored = Data() / "SERVER/ZARNQV/MNGFL/JOBGEN" / (caller.prefix + "F") / "J" / "jobgenfile";
    const std::string before = ReadFile(stored);
    QVAPI_JOB job{};
    ASSERT_EQ(qvAPICreateJobEx(folder.c_str(), "J", &job, JOBGEN_NORMAL, 0, nullptr), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(ReadFile(stored), before);
    const std::string number(job.szJobNo, 16);
    const std::string n = "n" + std::to_string(folder.size() + 17) + " " + folder + "\\" + number;
    const std::string node = caller.Master() + "." + caller.Below();
    EXPECT_EQ(qvAPIExecJob(folder.c_str(), number.c_str(), 0, 0), 1);
    EXPECT_EQ(qvAPIExecRetryJob(folder.c_str(), number.c_str(), nullptr, 2, 0, 0), 1);
    EXPECT_EQ(qvAPIExecRetryJob(folder.c_str(), number.c_str(), ("\\" + caller.Master() + "\\" + caller.Below()).c_str(),
                                1, 0, 0), 1);
    EXPECT_EQ(qvAPIExecToCompleteJob(folder.c_str(), number.c_str(), 0, 0), 1);
    // A divisional transfer names a job of the top folder; this one is not there.
    EXPECT_EQ(qvAPIExecDivisionalTransJob(number.c_str(), "1", "2", 0, 0), 0);
    EXPECT_EQ(qvAPIDeleteJob(folder.c_str(), number.c_str(), 0, 0), 1);
    EXPECT_FALSE(fs::exists(Data() / "SERVER/ZARNQV/MNGFL/JOBEXEC" / (caller.prefix + "F") / number));
    const std::vector<std::string> expected = {
        "JEXC 2 " + n + " f1  ",
        "JRTY 2 " + n + " f1 E",
        "JRTY 3 " + n + " a" + std::to_string(node.size()) + " " + node + " f1 R",
        "JRTY 2 " + n + " f1 F",
        "JRTY 4 n17 \\" + number + " a1 1 v1 2 f1 X",
        "JDEL 3 " + n + " f1   s1  ",
    };
    const auto received = sim_->Received();
    for (const std::string& text : expected)
        EXPECT_NE(std::find(received.begin(), received.end(), text), received.end()) << text;
}

// A software-search job's soft-refer file from the caller's own list, and a JobGen made again
// from a file of execution records.
void CallerTest::StorySoftReferAndRebuild(const CallerData& caller) {
    const std::string list = caller.prefix + "LIST";
    WriteFile(Data() / "SERVER/ZARNQV/MNGFL/SOFTREFER/SOFTLIST" / list / "USERLIST.QVP", "#\r\nv;1;B;;;;1\r\nv;1;a;;;;2\r\n");
    QVAPI_SOFTLIST found{};
    ASSERT_EQ(qvAPIFindSoftListRefer(3, list.c_str(), &found, 0, 0), 1) << std::hex << qvAPIGetLastError();
    const fs::path soft = Data() / (caller.prefix + "PB000000");
    ASSERT_EQ(qvAPIReCreateSoftReferJobGen(found.dwListType, found.szListName, soft.c_str(), 0, 0), 1);
    ASSERT_EQ(qvAPIReCreateSortJobGen(soft.c_str(), 0, 0), 1);
    EXPECT_EQ(ReadFile(soft), "v;1;a;;;;2;;\nv;1;B;;;;1;;\n");

    std::string record(944, '\0');
    record[8] = 'R';
    record.replace(16, 64, (caller.Below() + std::string(64, ' ')).substr(0, 64));
    record.replace(168, 7, std::string(1, caller.qvCode) + "1ApkgA");
    const fs::path exec = Data() / (caller.prefix + "exec.dat");
    WriteFile(exec, record);
    const std::string folder = caller.prefix + "R";
    ASSERT_EQ(qvAPICreateFolderJobGen("\\", folder.c_str(), 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(qvpAPIJobGenMake(exec.c_str(), folder.c_str(), "REBUILT"), 1) << std::hex << qvAPIGetLastError();
    QVAPI_JOBGEN made{};
    ASSERT_EQ(qvAPIFindJobGen(("\\" + folder).c_str(), "REBUILT", &made, 0, 0), 1);
    EXPECT_EQ(made.uiKind, QVAPI_JOBGEN_JOBGEN);
}

void CallerTest::StoryClose(const CallerData& caller, uint32_t threadId) {
    const int connection = ConnectionNaming(caller.OldNode());
    ASSERT_NE(connection, 0);
    EXPECT_EQ(qvAPIClose(), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(qvpGetThreadBlock()->link, QvpLink::None);
    ExpectWorkTreesGone(threadId);
    // The manager saw the cursors released, then the end of the session, then the close.
    ExpectClosingSequence(connection);
}

}  // namespace qvpe2e

namespace qvpe2e {

namespace {
// A client's report as the manager hands it over: the head, then typed entries.
std::vector<uint8_t> SysgenReport(uint8_t edition, const std::vector<std::pair<uint8_t, std::string>>& entries) {
    std::vector<uint8_t> r(192, 0);
    r[11] = static_cast<uint8_t>(entries.size());
    r[12] = edition;
    r[13] = QVAPI_NODE_CLIENT;
    std::memcpy(&r[112], "2025061512000000", 16);
    for (const auto& [type, data] : entries) {
        r.insert(r.end(), {type, 0, 0, static_cast<uint8_t>(data.size())});
        r.insert(r.end(), data.begin(), data.end());
    }
    return r;
}
int Report(const std::vector<uint8_t>& r) {
    return RetriedWhileBusy(
        [&] { return qvAPIAutoCreateNodeDefinition(reinterpret_cast<const QVAPI_SYSGEN_INFO*>(r.data()), 0, 0); });
}
}  // namespace

// A client host reports itself: it is defined at the top, renamed by its next report, and
// removed by its last.
void CallerTest::StoryAutoRegister(const CallerData& caller) {
    const std::string host = caller.prefix + "auto", renamed = caller.prefix + "auto2";
    QVAPI_NODE node;
    ASSERT_EQ(Report(SysgenReport(1, {{33, host}, {34, "10.9.0.1"}})), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIGetClientDefinitionByName(host.c_str(), &node), 1);
    ASSERT_EQ(Report(SysgenReport(2, {{17, host}, {18, "10.9.0.1"}, {33, renamed}})), 1)
        << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIGetClientDefinitionByName(host.c_str(), &node), 0);
    EXPECT_EQ(qvAPIGetClientDefinitionByName(renamed.c_str(), &node), 1);
    ASSERT_EQ(Report(SysgenReport(3, {{17, renamed}, {18, "10.9.0.1"}})), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(qvAPIGetClientDefinitionByName(renamed.c_str(), &node), 0);
}

}  // namespace qvpe2e
