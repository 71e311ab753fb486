// ID changes that travel as jobs, against the simulator's ID store and job engine: what the
// manager is handed (JPUT with the jobgenfile as it stood, JEXC), what stays in the store, and
// what is cleaned up when a step fails.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/block.h"
#include "id_fixture.h"
#include "idgroups/id_operate.h"
#include "jobgen/jobgen_file.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "support/planted_links.h"

namespace qvptest {
namespace {

using namespace qvp::ids;

constexpr size_t kHead = 256;
constexpr size_t kEntry = 1284;

class IdJobsTest : public IdTest {
protected:
    void SetUp() override {
        IdTest::SetUp();
        records_ = std::make_unique<qvpsim::RecordStore>(sim());
        jobs_ = std::make_unique<qvpsim::JobStore>(sim(), *records_);
        nodes_->AddNode({"boss", QVAPI_NODE_MASTER, {10, 0, 0, 2}});
        nodes_->AddNode({"boss2", QVAPI_NODE_MASTER, {10, 0, 0, 3}});
        nodes_->AddNode({"host1", QVAPI_NODE_CLIENT, {10, 0, 0, 1}});
        MakeId("sales", {"boss"});
        SetCreateRetryBound({100, 100});
    }
    void MakeId(const std::string& id, std::initializer_list<const char*> masters) {
        fs::create_directories(nodes_->NodeGroupDir() / ("I." + id));
        ASSERT_EQ(qvAPICreateIDGroup(id.c_str(), "pw1", 0, 0), 1) << std::hex << qvAPIGetLastError();
        for (const char* m : masters) ASSERT_EQ(qvAPICreateMasterIDGroupForced(id.c_str(), m, 0, 0), 1);
    }
    size_t Count(const std::string& verb) {
        size_t n = 0;
        for (const auto& r : sim().Received()) n += r.rfind(verb + " ", 0) == 0;
        return n;
    }
    // Entry `i` of a stored jobgenfile: its request letter and its node name text.
    static char Request(const std::string& file, size_t i) { return file.at(kHead + i * kEntry + 288); }
    fs::path JobGenDir(const std::string& sub) const {
        return data() / "SERVER" / "ZARNQV" / "MNGFL" / "JOBGEN" / "Edit_ID_group" / sub;
    }

    std::unique_ptr<qvpsim::RecordStore> records_;
    std::unique_ptr<qvpsim::JobStore> jobs_;
};

TEST_F(IdJobsTest, ChangePasswordSendsAJobToTheMastersAndChangesTheStore) {
    ASSERT_EQ(qvAPIChangePasswordIDGroup("sales", "newpw", 0, 0), 1) << std::hex << qvAPIGetLastError();
    const auto puts = jobs_->Puts();
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].jobGenPath, "\\Edit_ID_group\\sales\\Change_password");
    const std::string& file = puts[0].jobGenFile;
    ASSERT_GE(file.size(), kHead + kEntry);
    EXPECT_NE(file.find("boss"), std::string::npos);  // the master as target
    bool sawW = false;
    for (size_t i = 0; kHead + (i + 1) * kEntry <= file.size(); ++i) sawW |= Request(file, i) == 'W';
    EXPECT_TRUE(sawW);
    EXPECT_EQ(Count("JEXC"), 1u);
    EXPECT_FALSE(fs::exists(JobGenDir("sales") / "Change_password"));  // deleted after the job
    QVAPI_NODE node{};
    ASSERT_EQ(qvAPIFindIDGroup("\\", "sales", &node, 0, 0), 1);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&node);
    EXPECT_EQ(Text(reinterpret_cast<const char*>(bytes + 428), 14), "newpw");
    EXPECT_EQ(bytes[442], 2);
}

TEST_F(IdJobsTest, ChangePasswordWithoutMastersSucceedsWithoutAJob) {
    MakeId("lonely", {});
    ASSERT_EQ(qvAPIChangePasswordIDGroup("lonely", "", 0, 0), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(Count("JPUT"), 0u);
    QVAPI_NODE node{};
    ASSERT_EQ(qvAPIFindIDGroup("\\", "lonely", &node, 0, 0), 1);
    EXPECT_EQ(reinterpret_cast<const char*>(&node)[428], '\0');  // the password is gone
    EXPECT_EQ(block()->openJobGen, nullptr);
}

TEST_F(IdJobsTest, ChangeMastersRemovesFirstThenRegisters) {
    const char* adds[] = {"boss2", nullptr};
    const char* removes[] = {"boss", nullptr};
    ASSERT_EQ(qvAPIChangeMasterIDGroup("sales", adds, removes, 0, 0), 1) << std::hex << qvAPIGetLastError();
    const auto puts = jobs_->Puts();
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_EQ(puts[0].jobGenPath, "\\Edit_ID_group\\sales\\Delete_ID_group");
    EXPECT_EQ(puts[1].jobGenPath, "\\Edit_ID_group\\sales\\Register_ID_group");
    EXPECT_NE(puts[1].jobGenFile.find("boss2"), std::string::npos);
    EXPECT_EQ(puts[0].jobGenFile.find("boss2"), std::string::npos);
    // A second registration of a master that already manages the ID finds nobody to tell.
    ASSERT_EQ(qvAPICreateMasterIDGroupForced("sales", "boss2", 0, 0), 1);
    EXPECT_EQ(qvAPIAddMasterIDGroup("sales", adds, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_JOB_NO_NODE);
}

TEST_F(IdJobsTest, ClientsOfBothAttributes) {
    struct Case {
        uint32_t attributes;
        const char* name;
        size_t jobs;  // JPUTs of the add and the delete together
    };
    for (const Case& c : {Case{2, "pc2", 0}, Case{1, "host1", 2}}) {
        SCOPED_TRACE(c.name);
        const size_t before = jobs_->Puts().size();
        ASSERT_EQ(qvAPICreateClientIDGroup("sales", c.name, c.attributes, "boss", 0, 0), 1)
            << std::hex << qvAPIGetLastError();
        if (c.attributes == 1) {
            // The master learns of it; the store gets it when the master reports back.
            ASSERT_EQ(jobs_->Puts().back().jobGenPath, "\\Edit_ID_group\\sales\\Add_entry");
            EXPECT_EQ(Request(jobs_->Puts().back().jobGenFile, 0), 'R');
            ASSERT_EQ(qvAPICreateClientIDGroupForced("sales", c.name, 1, "boss", 0, 0), 1);
        } else {
            EXPECT_TRUE(ids().Entry('I', std::string("sales.") + c.name).has_value());
        }
        ASSERT_EQ(qvAPIDeleteClientIDGroup("sales", c.name, 0, 0), 1) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(jobs_->Puts().size() - before, c.jobs);
        if (c.attributes == 1) {
            EXPECT_EQ(jobs_->Puts().back().jobGenPath, "\\Edit_ID_group\\sales\\Delete_entry");
        }
    }
    // The 'I' position of the member check is released.
    EXPECT_EQ(qvAPICreateClientIDGroup("sales", "host1", 1, "nobody", 0, 0), 0);
    EXPECT_EQ(LastRequest().rfind("IDRLS", 0) == 0 || Count("IDRLS") > 0, true);
}

TEST_F(IdJobsTest, ExecFailureDeletesJobAndJobGen) {
    sim().Script("JEXC", qvpsim::Action::Refuse("16 16"));
    EXPECT_EQ(qvAPIChangePasswordIDGroup("sales", "x1", 0, 0), 0);
    EXPECT_NE(qvAPIGetLastError(), 0u);
    EXPECT_EQ(Count("JDEL"), 1u);
    EXPECT_TRUE(jobs_->Jobs().empty());
    EXPECT_FALSE(fs::exists(JobGenDir("sales") / "Change_password"));
}

TEST_F(IdJobsTest, PendingCreationIsGivenUpAfterTheBound) {
    SetCreateRetryBound({3, 1});
    jobs_->SetPendingRounds(10);
    EXPECT_EQ(qvAPIChangePasswordIDGroup("sales", "x2", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_MORE_DATA);
    EXPECT_EQ(Count("JPUT"), 3u);
    EXPECT_TRUE(jobs_->Jobs().empty());
    EXPECT_FALSE(fs::exists(JobGenDir("sales") / "Change_password"));
}

TEST_F(IdJobsTest, SystemOperateWritesOneEntryPerClientUnderTheStampedName) {
    QVPAPI* b = block();
    b->registrationTime = {2024, 3, 0, 9, 8, 7, 6, 456};
    ASSERT_EQ(qvpAPIOperateSystemNode("boss", "host1", 0, 0), 1) << std::hex << qvAPIGetLastError();
    const auto puts = jobs_->Puts();
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].jobGenPath, "\\Edit_System_Conf\\Delete_Host2024030908070645");
    const std::string& file = puts[0].jobGenFile;
    size_t i = 0;
    while (Request(file, i) != 'D') ++i;
    EXPECT_EQ(std::string(file.c_str() + kHead + i * kEntry + 296), "host1");
    EXPECT_EQ(std::string(file.c_str() + kHead + i * kEntry + 360), "2024030908070645");
    // A master name that would lead out of the entry folder is refused.
    EXPECT_EQ(qvpAPIOperateSystemNode("..\\x", "host1", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(IdJobsTest, EntryOperationRemovesOrRenamesTheNodeEverywhere) {
    MakeId("east", {});
    for (const char* id : {"sales", "east"}) ASSERT_EQ(qvAPICreateClientIDGroupForced(id, "pc9", 2, nullptr, 0, 0), 1);
    ASSERT_EQ(qvAPICreateClientIDGroupForced("sales", "pc7", 1, "boss", 0, 0), 1);
    const fs::path work = nodes_->NodeGroupDir() / ("IDOPR_" + std::to_string(block()->openerThreadId));
    // A pair left by a call that never finished lends nothing: its stale record names an ID entry
    // of another node, which must stay.
    ASSERT_EQ(qvAPICreateClientIDGroupForced("east", "pc6", 2, nullptr, 0, 0), 1);
    fs::create_directories(work);
    {
        std::string stale(128 + 516, '\0');
        stale[0] = static_cast<char>(0x84);
        stale[1] = 2;
        stale[12] = 1;
        std::memcpy(&stale[128], "east", 4);
        std::memcpy(&stale[128 + 64], "pc6", 3);
        stale[128 + 200] = 2;
        std::ofstream(work / "idoperatefile_C", std::ios::binary) << stale;
    }
    struct Case {
        const char* name;
        const char* renamed;
        uint32_t mode;
        int result;
        uint32_t code;
    };
    for (const Case& c : {Case{"pc9", nullptr, 16, 1, 0}, Case{"pc9", nullptr, 16, 0, QVAPI_ERR_NOT_FOUND},
                          Case{"pc7", "pc8", 33, 1, 0}, Case{"nowhere", "x", 33, 1, 0},
                          Case{"pc8", "pc9", 32, 0, QVAPI_ERR_INVALID_PARAMETER}}) {
        SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(c.mode));
        EXPECT_EQ(qvAPIOperateIDEntry(c.name, nullptr, c.renamed, 0, c.mode, 0, 0), c.result);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        EXPECT_FALSE(fs::exists(work));
    }
    EXPECT_FALSE(ids().Entry('I', "sales.pc9").has_value());
    EXPECT_FALSE(ids().Entry('I', "east.pc9").has_value());
    EXPECT_TRUE(ids().Entry('C', "sales.pc8").has_value());  // list C follows the rename too
    EXPECT_TRUE(ids().Entry('I', "east.pc6").has_value());
}

// The entry operation's work folder is named by the thread id: links planted there are neither followed nor kept.
TEST_F(IdJobsTest, LinksPlantedAtTheEntryWorkFolderRedirectNothing) {
    const fs::path work = nodes_->NodeGroupDir() / ("IDOPR_" + std::to_string(block()->openerThreadId));
    for (Plant how : kPlants) {
        SCOPED_TRACE(PlantName(how));
        ASSERT_EQ(qvAPICreateClientIDGroupForced("sales", "pc9", 2, nullptr, 0, 0), 1);
        const PlantedLinks links(root_ / "outside" / PlantName(how), {"idoperatefile_G", "idoperatefile_C"});
        links.At(work, how);
        EXPECT_EQ(qvAPIOperateIDEntry("pc9", nullptr, nullptr, 0, 16, 0, 0), 1) << std::hex << qvAPIGetLastError();
        EXPECT_EQ(links.Outside(), links.Original());
        EXPECT_FALSE(ids().Entry('I', "sales.pc9").has_value());
        EXPECT_FALSE(fs::exists(fs::symlink_status(work)));
    }
}

TEST_F(IdJobsTest, OperateEntriesOfOneJobGen) {
    const fs::path dir = data() / "SERVER" / "WORK" / "MNG" / "JOBGEN" /
                         std::to_string(block()->openerThreadId) / "IDGROUP";
    struct Case {
        char request;
        std::vector<const char*> nodes;
        int result;
        uint32_t code;
        std::vector<std::string> files;  // what stays in the entry folder
    };
    const std::vector<Case> cases = {
        // A name failing the client rule is skipped; the rest is written and stays.
        {'R', {"bad name", "host1", nullptr}, 0, QVAPI_ERR_JOB_REFUSED, {"R.sales.host1"}},
        // 'E' takes names the rules refuse, never one that leaves the folder; empty ones skip.
        {'E', {"", "odd!name", "..\\up", nullptr}, 0, QVAPI_ERR_JOB_REFUSED, {"E.sales.odd!name"}},
        {'W', {}, 1, 0, {"W.sales"}},
        {'X', {}, 0, QVAPI_ERR_INVALID_PARAMETER, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.request));
        QVPAPI_HANDLE h = QVPAPI_INVALID_HANDLE;
        ASSERT_EQ(qvpAPImakeCreateJobGenEx(&h, kEditIdFolder, "sales", "T", 'L', 0, 0), 1) << std::hex
                                                                                             << qvAPIGetLastError();
        EXPECT_EQ(qvAPICreateIDOperateJobGen(h, c.request, "sales", "pw", c.nodes.empty() ? nullptr : c.nodes.data(),
                                             0, 0),
                  c.result);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        std::vector<std::string> files;
        if (fs::exists(dir)) {
            for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path().filename().string());
        }
        EXPECT_EQ(files, c.files);
        // One JobGen carries the entries of one successful call only; a refused call sets no letter.
        const bool letterSet = c.code != QVAPI_ERR_INVALID_PARAMETER;
        const char* const again[] = {"pc5", nullptr};
        EXPECT_EQ(qvAPICreateIDOperateJobGen(h, 'R', "sales", nullptr, again, 0, 0), letterSet ? 0 : 1);
        EXPECT_EQ(qvAPIGetLastError(), letterSet ? QVAPI_ERR_INVALID_PARAMETER : 0u);
        DiscardJobGen(&h);
    }
    // A failed call takes its files back and the count with them: the commit then has none.
    QVPAPI_HANDLE h = QVPAPI_INVALID_HANDLE;
    ASSERT_EQ(qvpAPImakeCreateJobGenEx(&h, kEditIdFolder, "sales", "T", 'L', 0, 0), 1);
    fs::create_directories(dir);
    { std::ofstream(dir / "R.sales.pc2") << "x"; }
    const char* const two[] = {"host1", "pc2", nullptr};
    EXPECT_EQ(qvAPICreateIDOperateJobGen(h, 'R', "sales", nullptr, two, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    EXPECT_FALSE(fs::exists(dir / "R.sales.host1"));
    EXPECT_EQ(static_cast<qvp::jobgen::JobGenEdit*>(block()->openJobGen)->idOperateCount, 0);
    DiscardJobGen(&h);
}

// A client name reaching byte 456 (where a kind I entry names its soft list) reads no list in a kind R job.
TEST_F(IdJobsTest, LongClientNameOfAnEntryJobIsNoSoftList) {
    const std::string client = "client-with-a-name-that-runs-past-the-list-" + std::string(8, 'x');
    nodes_->AddNode({client, QVAPI_NODE_CLIENT, {10, 0, 0, 9}});
    ASSERT_EQ(qvAPICreateClientIDGroup("sales", client.c_str(), 1, "boss", 0, 0), 1) << std::hex << qvAPIGetLastError();
    ASSERT_EQ(jobs_->Puts().back().jobGenPath, "\\Edit_ID_group\\sales\\Add_entry");
    const std::string file = jobs_->Puts().back().jobGenFile;
    ASSERT_EQ(Request(file, 0), 'R');
    EXPECT_EQ(file.substr(kHead + 456, 8), client.substr(32, 8));
    qvAPIClose();
    std::ifstream in(data() / "LOG" / "DLL.LOG", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.find("qvAPIFindSoftListRefer"), std::string::npos);
    EXPECT_EQ(log.find("qvAPIReCreateSoftReferJobGen"), std::string::npos);
}

}  // namespace
}  // namespace qvptest
