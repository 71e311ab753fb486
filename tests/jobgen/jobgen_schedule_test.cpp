// qvAPIScheduleJobex against the simulator: the manager sees the prepared JobGen, the caller
// gets the job number, and the stored JobGen and the thread's edit session are as before.
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "jobgen/jobgen_prepare.h"
#include "jobgen/prepare_files.h"
#include "jobgen/jobgen_sim_env.h"
#include "support/planted_links.h"

namespace qvptest {
namespace {

namespace jg = qvp::jobgen;

class ScheduleTest : public JobGenSimTest {
protected:
    void SetUp() override {
        JobGenSimTest::SetUp();
        if (HasFatalFailure()) return;
        store_->AddMember("\\grp", "pc1");
        original_ = File('G', {Entry('G', 0, "\\grp"), Entry('G', 1, "\\mst1\\pc1")}, 2);
        jg::PutField(reinterpret_cast<char*>(original_.data()) + 4, 64, "S1");  // the header names its folder
        fs::create_directories(Stored().parent_path());
        store_->WriteRawFile(Stored(), original_.data(), original_.size());
        fs::last_write_time(Stored(), fs::file_time_type::clock::now() - std::chrono::hours(30));
        written_ = fs::last_write_time(Stored());
    }
    fs::path Stored() const { return Store() / "F" / "S1" / "jobgenfile"; }
    static std::string Request(const std::string& path) {
        return "JSCH 3 j" + std::to_string(path.size()) + " " + path + " n16 JS00000000000000 s224 " +
               std::string(224, 'x');
    }
    size_t Sent() const {
        size_t n = 0;
        for (const std::string& r : sim_->Received()) n += r.rfind("JSCH", 0) == 0 ? 1 : 0;
        return n;
    }
    void ExpectStoredAsBefore() {
        EXPECT_EQ(NodeStoreBuilder::ReadBytes(Stored()), original_);
        EXPECT_EQ(fs::last_write_time(Stored()), written_);
    }

    std::vector<uint8_t> original_;
    fs::file_time_type written_;
};

TEST_F(ScheduleTest, ManagerSeesThePreparedJobGenAndTheStoreComesBack) {
    // An edit session of this thread stays as it was.
    QVPAPI_HANDLE edit = Open("\\F", "E1", 'C');
    ASSERT_EQ(qvAPICreateClientJobGen(edit, "\\mst1\\pc1", 0, 0), 1) << Hex(qvAPIGetLastError());
    const auto work = Snapshot(Work());

    records_->SetNextJobNumber("JS00000000000042");
    char number[16];
    ASSERT_EQ(qvAPIScheduleJobex(Request("\\F\\S1").c_str(), number), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(std::string(number, 16), "JS00000000000042");
    ExpectStoredAsBefore();
    EXPECT_EQ(Snapshot(Work()), work);
    EXPECT_EQ(qvAPICloseJobGen(edit, 0), 1) << Hex(qvAPIGetLastError());

    // What the manager read is the file the two steps make of the stored one.
    const fs::path copy = root_ / "prepared";
    fs::copy_file(Stored(), copy);
    jg::ReCreateControlTable table;
    ASSERT_EQ(jg::qvAPIReCreateJobGen(&table, copy.c_str(), copy.c_str()), 1);
    ASSERT_EQ(jg::qvAPISortEntryJobGen(&table, copy.c_str(), copy.c_str()), 1);
    const auto seen = jobs_->Schedules();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].jobGenPath, "\\F\\S1");
    const auto prepared = NodeStoreBuilder::ReadBytes(copy);
    EXPECT_EQ(seen[0].jobGenFile, std::string(prepared.begin(), prepared.end()));
    jg::StoredJobGen sorted;
    ASSERT_TRUE(jg::ParseJobGenFile(prepared, sorted));
    EXPECT_EQ(sorted.entries.size(), 1u);  // pc1 by group and by path: one node
}

TEST_F(ScheduleTest, RefusalsSendNothing) {
    struct Case {
        std::string request;
        uint32_t code;
    };
    const std::string longPath = "\\F\\" + std::string(259, 'p');
    for (const Case& c : {Case{Request("\\F\\S1") + std::string(800, 'y'), QVAPI_ERR_INVALID_PARAMETER},
                          Case{"JSCH 3 k7 \\F\\S1 n16 JS00000000000000", QVAPI_ERR_INVALID_PARAMETER},
                          Case{Request(longPath), QVAPI_ERR_INVALID_PARAMETER},
                          Case{Request("\\F\\..\\F\\S1"), QVAPI_ERR_INVALID_PARAMETER},
                          Case{Request("F\\S1"), QVAPI_ERR_INVALID_PARAMETER},
                          Case{Request("\\F\\none"), QVAPI_ERR_NOT_FOUND}}) {
        SCOPED_TRACE(c.request.substr(0, 40));
        char number[16] = {'k'};
        EXPECT_EQ(qvAPIScheduleJobex(c.request.c_str(), number), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        EXPECT_EQ(number[0], 'k');
    }
    EXPECT_EQ(Sent(), 0u);

    // The JobGen held elsewhere is busy.
    std::promise<void> taken, done;
    std::thread holder([&] {
        jg::JobGenMutex held;
        held.Take("test", "F.S1");
        taken.set_value();
        done.get_future().wait();
    });
    taken.get_future().wait();
    char number[16];
    EXPECT_EQ(qvAPIScheduleJobex(Request("\\F\\S1").c_str(), number), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    done.set_value();
    holder.join();
    EXPECT_EQ(Sent(), 0u);
    ExpectStoredAsBefore();
}

// What another writer left at the thread's backup folder is neither written through nor kept.
TEST_F(ScheduleTest, LinksPlantedAtTheBackupFolderRedirectNothing) {
    const fs::path backup = Work().string() + ".SCH";
    for (Plant how : kPlants) {
        SCOPED_TRACE(PlantName(how));
        const PlantedLinks links(root_ / "outside" / PlantName(how), {"jobgenfile"});
        links.At(backup, how);
        char number[16];
        EXPECT_EQ(qvAPIScheduleJobex(Request("\\F\\S1").c_str(), number), 1) << Hex(qvAPIGetLastError());
        EXPECT_EQ(links.Outside(), links.Original());
        ExpectStoredAsBefore();
        EXPECT_FALSE(fs::exists(fs::symlink_status(backup)));
    }
    EXPECT_EQ(jobs_->Schedules().size(), 2u);
}

// A job creation killed with the original kept at "S1 .job": whichever caller of S1 comes next
// puts the original back (or drops it with S1 gone) and works on the original.
TEST_F(ScheduleTest, EveryCallerOfAJobGenWorksOnItsKeptOriginal) {
    const fs::path kept = Store() / "F" / "S1 .job", out = root_ / "out";
    auto prepared = File('G', {Entry('G', 1, "\\mst1\\pc1")}, 1);
    jg::PutField(reinterpret_cast<char*>(prepared.data()) + 4, 64, "S1");
    const struct {
        const char* caller;
        bool gone;  // S1 removed since the original was kept
        std::function<bool()> call;
    } cases[] = {
        {"open", true, [] {
             const QVPAPI_HANDLE h = qvAPICreateJobGen("\\F", "S1", 'D', 0, 0);
             return h != QVPAPI_INVALID_HANDLE && qvAPICloseJobGen(h, 1) == 1;
         }},
        {"listing", false, [] {
             QVAPI_JOBGEN rec{};
             const QVPAPI_HANDLE f = qvAPIFindFirstJobGen("\\F", &rec);
             return f != QVPAPI_INVALID_HANDLE && qvAPIFindCloseJobGen(f) == 1 && std::string(rec.szName) == "S1";
         }},
        {"get", false, [&] {
             return qvAPIGetJobGen("\\F\\S1", out.c_str()) == 1 && Bytes(out / "S1" / "jobgenfile") == original_;
         }},
        {"schedule", false, [&] {
             char number[16];
             return qvAPIScheduleJobex(Request("\\F\\S1").c_str(), number) == 1;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caller);
        fs::remove_all(out);
        fs::create_directories(out);
        store_->WriteRawFile(kept, original_.data(), original_.size());
        if (c.gone)
            fs::remove_all(Stored().parent_path());
        else
            store_->WriteRawFile(Stored(), prepared.data(), prepared.size());
        EXPECT_TRUE(c.call()) << Hex(qvAPIGetLastError());
        EXPECT_FALSE(fs::exists(fs::symlink_status(kept)));
        if (!c.gone) {
            EXPECT_EQ(Bytes(Stored()), original_);
        }
        store_->WriteRawFile(Stored(), original_.data(), original_.size());
    }
}

TEST_F(ScheduleTest, ShortAcceptedReplyFailsAndRestores) {
    sim_->Script("JSCH", qvpsim::Action::Reply("0 0 1"));
    char number[16] = {'k'};
    EXPECT_EQ(qvAPIScheduleJobex(Request("\\F\\S1").c_str(), number), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(number[0], 'k');
    ExpectStoredAsBefore();

    // A short fifth word is taken as far as it goes, blanks after it.
    sim_->Script("JSCH", qvpsim::Action::Reply("0 0 1 n5 JS123"));
    ASSERT_EQ(qvAPIScheduleJobex(Request("\\F\\S1").c_str(), number), 1);
    EXPECT_EQ(std::string(number, 16), "JS123           ");
}

}  // namespace
}  // namespace qvptest
