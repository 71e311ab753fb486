// Job creation from a JobGen built through the JobGen API, against the simulator's job engine:
// the stored jobgenfile comes back byte for byte, the pending creation holds the JobGen across
// calls and is released by a deletion or the close, refusals map to their codes, and a creation
// killed at any store call leaves the JobGen whole for every after-processing option.
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "jobgen/jobgen_sim_env.h"
#include "support/kill_steps.h"
#include "support/planted_links.h"

namespace qvptest {
namespace {

class CreateJobTest : public JobGenSimTest {
protected:
    void SetUp() override {
        JobGenSimTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(qvAPICreateFolderJobGen(nullptr, "F", 0, 0), 1);
        QVPAPI_HANDLE h = Open("\\F", "J", 'V');
        ASSERT_EQ(qvAPICreateClientJobGen(h, "\\mst1\\pc1", 0, 0), 1) << Hex(qvAPIGetLastError());
        ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
        stored_ = Bytes(StoredFile());
    }
    fs::path StoredFile() const { return Store() / "F" / "J" / "jobgenfile"; }
    // The JobGen edited (a time set) and stored, its edit backup keeping it as built.
    void StoreEditedJobGen() {
    QVPAPI_HANDLE h = qvAPICreateJobGenEx("\\F", "J", 0, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    QVAPI_TIME_JOBGEN_DATA time{};
    time.ucSetcls = 'D';
    time.WorkTime.wHour = 6;
    ASSERT_EQ(qvAPIUpDateTimeJobGen(h, QVAPI_TIME_SETCLS | QVAPI_TIME_TIME, &time, 0, 0), 1);
    ASSERT_EQ(qvAPICloseJobGenEx(h, 2, 0), 1) << Hex(qvAPIGetLastError());
    }
    size_t Sent(const char* verb) const {
        size_t n = 0;
        for (const std::string& r : sim_->Received()) n += r.rfind(verb, 0) == 0 ? 1 : 0;
        return n;
    }
    // Whether another thread (its own block, no session) can open the JobGen: the mutex is free.
    static bool FreeElsewhere() {
        bool free = false;
        std::thread([&] {
            QVPAPI_HANDLE h = qvAPICreateJobGen("\\F", "J", 0, 0, 0);
            free = h != QVPAPI_INVALID_HANDLE;
            if (free) qvAPICloseJobGen(h, 1);
        }).join();
        return free;
    }
    // After a creation ended either way: the store as built (nothing kept beside it), the work
    // copy gone, the JobGen free.
    void ExpectPutBack() {
        EXPECT_EQ(Bytes(StoredFile()), stored_);
        std::vector<std::string> left;
        for (const auto& e : fs::recursive_directory_iterator(Store() / "F")) left.push_back(e.path().filename().string());
        EXPECT_EQ(left, (std::vector<std::string>{"J", "jobgenfile"}));
        EXPECT_FALSE(fs::exists(Work() / "F"));
        EXPECT_EQ(block_->pendingJob, nullptr);
        EXPECT_TRUE(FreeElsewhere());
    }

    std::vector<uint8_t> stored_;
};

TEST_F(CreateJobTest, RegistersThePreparedJobGenAndPutsTheStoreBack) {
    QVAPI_JOB job{};
    ASSERT_EQ(qvAPICreateJobEx("\\F", "J", &job, JOBGEN_NORMAL, 0, nullptr), 1) << Hex(qvAPIGetLastError());
    const auto registered = jobs_->Jobs();
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(std::string(job.szJobNo, 16), registered[0].number);
    EXPECT_EQ(std::string(job.szJobName, 1), "J");
    EXPECT_EQ(job.dwKind, QVAPI_JOB_KIND_JOB);
    EXPECT_EQ(sim_->Received().back().substr(0, 35), "JPUT 2 j4 \\F\\J n16 0000000000000000");
    // The manager read the expanded form; the store keeps its own.
    ASSERT_EQ(jobs_->Puts().size(), 1u);
    EXPECT_NE(jobs_->Puts()[0].jobGenFile, std::string(stored_.begin(), stored_.end()));
    ExpectPutBack();
    EXPECT_TRUE(fs::exists(Data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F" / registered[0].number / "jobexecfile"));
}

// The work copy lives below a folder named by the thread id: links planted there redirect nothing.
TEST_F(CreateJobTest, LinksPlantedAtTheWorkCopyFolderRedirectNothing) {
    int n = 0;
    for (const auto& [at, how] : {std::pair{Work(), Plant::FolderLink}, {Work() / "F" / "J", Plant::FolderLink},
                                  {Work() / "F" / "J", Plant::FileLinksInside}}) {
        SCOPED_TRACE(at.string() + ": " + PlantName(how));
        const PlantedLinks links(root_ / "outside" / std::to_string(++n), {"jobgenfile"});
        links.At(at, how);
        QVAPI_JOB job{};
        EXPECT_EQ(qvAPICreateJobEx("\\F", "J", &job, JOBGEN_NORMAL, 0, nullptr), 1) << Hex(qvAPIGetLastError());
        EXPECT_EQ(links.Outside(), links.Original());
        ExpectPutBack();
    }
    EXPECT_EQ(jobs_->Jobs().size(), 3u);
}

TEST_F(CreateJobTest, NormalPutsAReopenedJobGenBackFromItsEditBackup) {
    ASSERT_NO_FATAL_FAILURE(StoreEditedJobGen());
    ASSERT_NE(Bytes(StoredFile()), stored_);
    QVAPI_JOB job{};
    ASSERT_EQ(qvAPICreateJobEx("\\F", "J", &job, JOBGEN_NORMAL, 0, nullptr), 1) << Hex(qvAPIGetLastError());
    ExpectPutBack();  // the pre-edit JobGen is what the store holds again
}

TEST_F(CreateJobTest, PendingCreationHoldsTheJobGenUntilTheSecondCall) {
    QVPAPI_HANDLE k = Open("\\F", "K", 'V');
    ASSERT_EQ(qvAPICreateClientJobGen(k, "\\mst1\\pc1", 0, 0), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICloseJobGen(k, 0), 1) << Hex(qvAPIGetLastError());
    jobs_->SetPendingRounds(1);
    QVAPI_JOB job{};
    ASSERT_EQ(qvAPICreateJobEx("\\F", "J", &job, JOBGEN_SAVE, 0, nullptr), 0);
    ASSERT_EQ(qvAPIGetLastError(), 0x200000EAu);
    const std::string number(job.szJobNo, 16);
    EXPECT_EQ(number, jobs_->Jobs().at(0).number);
    // A lookup in the same thread leaves the prepared file in place for the manager, also once
    // the thread prepared another JobGen meanwhile.
    char scheduled[16];
    const std::string request = "JSCH 3 j4 \\F\\K n16 JS00000000000000 s224 " + std::string(224, 'x');
    EXPECT_EQ(qvAPIScheduleJobex(request.c_str(), scheduled), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPIDeleteJobGen("\\F", "K", 0, 0), 1) << Hex(qvAPIGetLastError());
    QVAPI_JOBGEN found{};
    EXPECT_EQ(qvAPIFindJobGen("\\F", "J", &found, 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_NE(Bytes(StoredFile()), stored_);
    std::atomic<uint32_t> other{0};
    std::thread([&] {
        ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1);
        QVAPI_JOB mine{};
        EXPECT_EQ(qvAPICreateJobEx("\\F", "J", &mine, JOBGEN_SAVE, 0, nullptr), 0);
        other = qvAPIGetLastError();
        qvAPIClose();
    }).join();
    EXPECT_EQ(other.load(), 0x20000020u);
    ASSERT_EQ(qvAPICreateJobEx("\\F", "J", &job, JOBGEN_SAVE, 0, nullptr), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(sim_->Received().back().substr(0, 35), "JPUT 2 j4 \\F\\J n16 " + number);
    ExpectPutBack();
}

TEST_F(CreateJobTest, DeletionOrCloseReleasesAPendingCreation) {
    for (const bool byClose : {false, true}) {
        SCOPED_TRACE(byClose);
        jobs_->SetPendingRounds(1);
        QVAPI_JOB job{};
        ASSERT_EQ(qvAPICreateJob("\\F", "J", &job, 0, nullptr), 0);
        ASSERT_EQ(qvAPIGetLastError(), 0x200000EAu);
        EXPECT_FALSE(FreeElsewhere());
        if (byClose) {
            ASSERT_EQ(qvAPIClose(), 1);
        } else {
            sim_->Script("JDEL", qvpsim::Action::Refuse("4 16"));
            EXPECT_EQ(qvAPIDeleteJob("\\F", std::string(job.szJobNo, 16).c_str(), 0, 0), 0);
            EXPECT_EQ(qvAPIGetLastError(), 0x20000020u);
        }
        ExpectPutBack();
    }
}

// What a writer killed part way left of the JobGen is put right before the job is made of it.
TEST_F(CreateJobTest, AKilledWritersLeftoversArePutRightFirst) {
    const fs::path folder = Store() / "F", j = folder / "J";
    const std::vector<uint8_t> prepared(stored_.size(), 0x5A);
    const std::function<void()> plants[] = {
        [&] {  // a commit killed between its renames: the old JobGen set aside, the new one beside
            fs::rename(j, folder / "J .old");
            fs::create_directories(folder / "J .new");
            store_->WriteRawFile(folder / "J .new" / "jobgenfile", prepared.data(), prepared.size());
        },
        [&] {  // a creation killed with the prepared file in place, the original kept beside
            fs::copy_file(j / "jobgenfile", folder / "J .job");
            store_->WriteRawFile(j / "jobgenfile", prepared.data(), prepared.size());
        },
        [&] { store_->WriteRawFile(j / "jobgenfile.0123456789abcdef.tmp", prepared.data(), 9); },
        [&] { fs::create_directories(folder / "J .job" / "jobgenfile"); },  // planted: no original
        [&] {  // a deletion killed once the JobGen left its name: a new one is made under it
            fs::copy(j, folder / "J .old", fs::copy_options::recursive);
            fs::remove(folder / "J .old" / "jobgenfile");
        },
    };
    for (size_t i = 0; i < std::size(plants); ++i) {
        SCOPED_TRACE("leftover " + std::to_string(i));
        plants[i]();
        QVAPI_JOB job{};
        EXPECT_EQ(qvAPICreateJobEx("\\F", "J", &job, JOBGEN_SAVE, 0, nullptr), 1) << Hex(qvAPIGetLastError());
        ExpectPutBack();
    }
}

struct Refusal {
    const char* what;
    const char* folder;
    const char* name;
    uint32_t option;
    uint32_t scheduled;
    const char* number;  // in the record before the call
    const char* reply;   // scripted JPUT reply, or nullptr: nothing may be sent
    uint32_t code;
};

TEST_F(CreateJobTest, RefusalsMapToTheirCodes) {
    const std::string longName(65, 'n'), longFolder = "\\" + std::string(190, 'f');
    const Refusal cases[] = {
        {"empty name", "\\F", "", JOBGEN_SAVE, 0, "", nullptr, 0x20000057u},
        {"name of 65", "\\F", longName.c_str(), JOBGEN_SAVE, 0, "", nullptr, 0x20000057u},
        {"name with a level", "\\F", "..", JOBGEN_SAVE, 0, "", nullptr, 0x20000057u},
        {"name with a separator", "\\", "F\\J", JOBGEN_SAVE, 0, "", nullptr, 0x20000057u},
        {"folder with a level", "\\F\\..", "J", JOBGEN_SAVE, 0, "", nullptr, 0x20000057u},
        {"folder of 191", longFolder.c_str(), "J", JOBGEN_SAVE, 0, "", nullptr, 0x20000057u},
        {"option 4", "\\F", "J", 4, 0, "", nullptr, 0x20000057u},
        {"scheduled, not saved", "\\F", "J", JOBGEN_EXECUTE, 1, "", nullptr, 0x20000057u},
        {"scheduled without schedule", "\\F", "J", JOBGEN_SAVE, 1, "", nullptr, 0x20000057u},
        {"not stored", "\\F", "K", JOBGEN_SAVE, 0, "", nullptr, 0x20000057u},
        {"continuation, nothing pending", "\\F", "J", JOBGEN_SAVE, 0, "J000000000000009", nullptr, 0x20000057u},
        {"0 1", "\\F", "J", JOBGEN_SAVE, 0, "", "0 1", 0x2000054Fu},
        {"0 8", "\\F", "J", JOBGEN_SAVE, 0, "", "0 8", 0x2000054Fu},
        {"16 21", "\\F", "J", JOBGEN_SAVE, 0, "", "16 21", 0x20000002u},
        {"0 30", "\\F", "J", JOBGEN_SAVE, 0, "", "0 30", 0x20491300u},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.reply != nullptr) sim_->Script("JPUT", qvpsim::Action::Reply(c.reply));
        const size_t before = Sent("JPUT");
        QVAPI_JOB job{};
        std::memcpy(job.szJobNo, c.number, strlen(c.number));
        EXPECT_EQ(qvAPICreateJobEx(c.folder, c.name, &job, c.option, c.scheduled, nullptr), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        EXPECT_EQ(Sent("JPUT"), before + (c.reply != nullptr ? 1 : 0));
        ExpectPutBack();
    }
}

TEST_F(CreateJobTest, DeleteOptionRunsOnlyForNamesThatPassedTheirChecks) {
    QVAPI_JOB job{};
    // Refused names never reach the after-processing: nothing of the store goes.
    EXPECT_EQ(qvAPICreateJobEx("\\F", "", &job, JOBGEN_DELETE, 0, nullptr), 0);
    EXPECT_EQ(qvAPICreateJobEx("\\", "..", &job, JOBGEN_DELETE, 0, nullptr), 0);
    EXPECT_EQ(qvAPICreateJobEx("\\F\\..", "F", &job, JOBGEN_DELETE, 0, nullptr), 0);
    EXPECT_EQ(Bytes(StoredFile()), stored_);
    // A scheduled call refused before the lock still deletes a valid JobGen.
    EXPECT_EQ(qvAPICreateJobEx("\\F", "J", &job, JOBGEN_DELETE, 1, nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
    EXPECT_FALSE(fs::exists(Store() / "F" / "J"));
    EXPECT_TRUE(fs::exists(Store() / "F"));
}

TEST_F(CreateJobTest, ARefusalOrAnUnreadableHeadLeavesTheNumberForTheCaller) {
    struct Case {
        const char* reply;
        const char* number;  // what the record holds afterwards
        uint32_t code;
    } cases[] = {
        {"0 8 1 n16 JX00000000000001", "JX00000000000001", 0x2000054Fu},
        {"16 22", "", 0x20620000u},
        // Registered by the manager, but no job file where the head is read.
        {"0 0 1 n16 JY00000000000002", "JY00000000000002", 0x20100000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        sim_->Script("JPUT", qvpsim::Action::Reply(c.reply));
        QVAPI_JOB job{};
        std::memset(job.szJobNo, 'x', sizeof job.szJobNo);
        job.szJobNo[0] = '\0';
        EXPECT_EQ(qvAPICreateJob("\\F", "J", &job, 0, nullptr), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        EXPECT_EQ(std::string(job.szJobNo, strnlen(job.szJobNo, 16)), c.number);
        ExpectPutBack();
    }
}

TEST_F(CreateJobTest, SiteCreationRegistersTheStoreUnchanged) {
    QVAPI_JOB job{};
    ASSERT_EQ(qvAPICreateJobSite("\\F", "J", &job, 0, nullptr), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(jobs_->Puts().size(), 1u);
    EXPECT_EQ(jobs_->Puts()[0].jobGenFile, std::string(stored_.begin(), stored_.end()));
    EXPECT_EQ(std::string(job.szJobNo, 16), jobs_->Jobs().at(0).number);
}

// A creation killed at each store call in turn, for each after-processing option: the JobGen is
// whole as it was before or as the option leaves it (JOBGEN_NORMAL: back from its edit backup,
// JOBGEN_DELETE: gone), the lookup and the listing agree with what the store holds, and the same
// call made again ends as the option leaves it.
class CreateJobKill : public CreateJobTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    // "gone", "edited", "built" (as SetUp stored it) or "torn", as the lookup finds it; the
    // lookup and the listing must agree with the store.
    std::string Seen(int lookupFirst) {
        QVAPI_JOBGEN rec{};
        std::string listed;
        bool found = false;
        for (int i = 0; i < 2; ++i) {
            if ((i + lookupFirst) % 2 == 0) {
                found = qvAPIFindJobGen("\\F", "J", &rec, 0, 0) == 1 && rec.uiKind == QVAPI_JOBGEN_JOBGEN;
                continue;
            }
            const QVPAPI_HANDLE f = qvAPIFindFirstJobGen("\\F", &rec);
            for (int more = f != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextJobGen(f, &rec))
                listed += rec.szName + std::string(" ");
            if (f != QVPAPI_INVALID_HANDLE) qvAPIFindCloseJobGen(f);
        }
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(Store() / "F")) left.push_back(e.path().filename().string());
        EXPECT_EQ(found, fs::exists(StoredFile()));
        if (!fs::exists(StoredFile())) {
            EXPECT_EQ(listed, "");
            EXPECT_TRUE(left.empty()) << left.front();
            return "gone";
        }
        EXPECT_EQ(listed, "J ");
        EXPECT_EQ(left, std::vector<std::string>{"J"}) << "nothing else left";
        const auto bytes = Bytes(StoredFile());
        return bytes == edited_ ? "edited" : bytes == stored_ ? "built" : "torn";
    }
    bool Create() {
        QVAPI_JOB job{};
        return qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()) == 1 &&
               qvAPICreateJobEx("\\F", "J", &job, GetParam(), 0, nullptr) == 1;
    }
    std::vector<uint8_t> edited_;
};

const char* OptionName(uint32_t option) {
    static const char* const names[] = {"Normal", "Save", "Delete", "Execute"};
    return names[option];
}

TEST_P(CreateJobKill, EveryStepLeavesTheJobGenWhole) {
    const uint32_t option = GetParam();
    // The store holds an edited JobGen; its edit backup holds it as built.
    ASSERT_NO_FATAL_FAILURE(StoreEditedJobGen());
    edited_ = Bytes(StoredFile());
    const fs::path saved = root_ / "saved", backup = root_ / "backup";
    fs::copy(Store() / "F", saved, fs::copy_options::recursive);
    fs::copy(ExBackup(), backup, fs::copy_options::recursive);
    const std::string after = option == JOBGEN_NORMAL ? "built" : option == JOBGEN_DELETE ? "gone" : "edited";
    qvAPIClose();  // each child opens its own session
    const auto restore = [&](const fs::path& from, const fs::path& to) {
        fs::remove_all(to);
        fs::copy(from, to, fs::copy_options::recursive);
    };
    win::fault::SkipPauses(true);
    WalkKillSteps([&] { restore(saved, Store() / "F"); }, [&] {
        restore(backup, ExBackup());  // the child's own
        Create();
    }, [&](unsigned step, bool completed) {
        SCOPED_TRACE("killed at store call " + std::to_string(step) + (completed ? " (completed)" : ""));
        const std::string seen = Seen(static_cast<int>(step));
        EXPECT_TRUE(seen == after || (!completed && seen == "edited")) << seen;
        restore(backup, ExBackup());
        Create();
        qvAPIClose();
        EXPECT_EQ(Seen(0), after) << "made again";
    }, "MNGFL");
    win::fault::SkipPauses(false);
}

INSTANTIATE_TEST_SUITE_P(Options, CreateJobKill,
                         ::testing::Values(JOBGEN_NORMAL, JOBGEN_SAVE, JOBGEN_DELETE, JOBGEN_EXECUTE),
                         [](const auto& info) { return std::string(OptionName(info.param)); });

}  // namespace
}  // namespace qvptest
