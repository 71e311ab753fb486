// A JobGen commit, rename, update or delete killed at any store call leaves it whole, old or new,
// under one name (or, for the delete, gone): every lookup finds it under that name at once and
// the next open leaves nothing else of the dead writer behind.
#include "core/work_owner.h"
#include "jobgen_env.h"
#include "support/kill_steps.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <thread>

namespace qvptest {
namespace {

using qvp::jobgen::FieldText;

// What the JobGen listing shows, each name followed by a space.
std::string ListedJobGens() {
    QVAPI_JOBGEN rec{};
    std::string names;
    const QVPAPI_HANDLE f = qvAPIFindFirstJobGen("", &rec);
    for (int more = f != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextJobGen(f, &rec))
        names += rec.szName + std::string(" ");
    if (f != QVPAPI_INVALID_HANDLE) qvAPIFindCloseJobGen(f);
    return names;
}

// Opens "J", adds nodes n<from>..n<to - 1>, renames it to `rename` if given, and commits.
bool Write(int from, int to, const char* rename = nullptr) {
    QVPAPI_HANDLE h = qvAPICreateJobGen("", "J", from == 0 ? 'D' : 0, 0, 0);
    for (int i = from; i < to; ++i)
        qvAPICreateClientJobGen(h, ("n" + std::to_string(i)).c_str(), QVAPI_JOBGEN_AS_GIVEN, 0);
    if (from == 0) qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1", "0001", 0, 0);
    if (rename) qvAPIChangeNameJobGen(h, "", rename);
    return qvAPICloseJobGen(h, 0) == 1;
}

// The JobGen names a lookup finds kind 4 under, as "<name> ..."; `how` picks the lookup.
std::string Found(int how, const fs::path& out) {
    std::string found;
    for (const char* name : {"J", "K"}) {
        QVAPI_JOBGEN rec{};
        const bool got = how == 0   ? qvAPIFindJobGen("", name, &rec, 0, 0) == 1 && rec.uiKind == QVAPI_JOBGEN_JOBGEN
                         : how == 1 ? qvAPIGetJobGen(("\\" + std::string(name)).c_str(), out.c_str()) == 1
                                    : ListedJobGens().find(name + std::string(" ")) != std::string::npos;
        if (got) found += name + std::string(" ");
    }
    return found;
}

class JobGenKill : public JobGenTest, public ::testing::WithParamInterface<const char*> {
protected:
    // Once the library opened (so put right) and discarded the JobGen `name`: "" when there is
    // none, else "<folder>:<header name> <node>..." ("<folder>:(torn)" when not whole).
    std::string Reopened(const char* name) {
        QVPAPI_HANDLE h = qvAPICreateJobGen("", name, 0, 0, 0);
        EXPECT_NE(h, QVPAPI_INVALID_HANDLE) << name << " " << Hex(qvAPIGetLastError());
        if (h == QVPAPI_INVALID_HANDLE || qvAPICloseJobGen(h, 1) != 1 || !fs::exists(Store() / name)) return "";
        const auto bytes = Bytes(Store() / name / "jobgenfile");
        JobGenHeader header{};
        if (bytes.size() >= sizeof header) std::memcpy(&header, bytes.data(), sizeof header);
        std::string held = name + std::string(":");
        if (bytes.size() != sizeof header + header.entryCount * sizeof(JobGenEntry)) return held + "(torn)";
        held += FieldText(header.name, sizeof header.name);
        for (const auto& e : fs::directory_iterator(Store() / name))
            if (e.path().extension() == ".tmp") held += " (left: " + e.path().filename().string() + ")";
        for (uint32_t i = 0; i < header.entryCount; ++i) {
            JobGenEntry entry{};
            std::memcpy(&entry, bytes.data() + sizeof header + i * sizeof entry, sizeof entry);
            held += " " + FieldText(entry.node, sizeof entry.node);
        }
        return held;
    }
};

TEST_P(JobGenKill, EveryStepLeavesOneWholeJobGen) {
    const std::string writer = GetParam();
    const std::string after = writer == "Rename"          ? "K:K n0 n1 n2"
                              : writer == "CommitRenamed" ? "K:K n0 n1 n2 n3 n4 n5"
                              : writer == "Delete"        ? ""
                                                          : "J:J n0 n1 n2 n3 n4 n5";
    // The update's source: the JobGen as a caller got it out and changed it.
    const fs::path source = root_ / "source", out = root_ / "out";
    if (writer == "Update") {
        ASSERT_TRUE(Write(0, 6)) << Hex(qvAPIGetLastError());
        fs::create_directories(source);
        fs::copy(Store() / "J", source / "J", fs::copy_options::recursive);
    }
    const auto prepare = [&] {
        fs::remove_all(Store());
        fs::remove_all(out);
        fs::create_directories(Store());
        fs::create_directories(out);
        ASSERT_TRUE(Write(0, 3)) << Hex(qvAPIGetLastError());
        // Side files: a removal killed part way, in whatever order the folder lists them, may
        // have taken jobgenfile and left some of them.
        if (writer == "Delete")
            for (int i = 0; i < 40; ++i) std::ofstream(Store() / "J" / ("side" + std::to_string(i))) << i;
    };
    const auto body = [&] {
        if (writer == "Rename")
            qvAPIChangeJobGen("", "J", "K");
        else if (writer == "Update")
            qvAPIUpdateJobGen(source.c_str(), "\\J");
        else if (writer == "Delete")
            qvAPIDeleteJobGen("", "J", 0, 0);
        else
            Write(3, 6, writer == "CommitRenamed" ? "K" : nullptr);
    };
    win::fault::SkipPauses(true);
    WalkKillSteps(prepare, body, [&](unsigned step, bool completed) {
        SCOPED_TRACE("killed at store call " + std::to_string(step) + (completed ? " (completed)" : ""));
        // A JobGen replaced in place is never off its name, not even before anyone puts it right.
        if (writer == "Commit" || writer == "Update") {
            EXPECT_TRUE(fs::exists(Store() / "J" / "jobgenfile")) << "the name left empty";
        }
        // Whichever lookup comes first finds the JobGen under its one name, and so do the others.
        std::string found;
        for (int i = 0; i < 3; ++i) {
            const int how = static_cast<int>(step + i) % 3;
            const std::string now = Found(how, out);
            EXPECT_TRUE(i == 0 || now == found) << "lookup " << how << ": " << now << " after " << found;
            if (i == 0) found = now;
        }
        const std::string j = Reopened("J"), k = Reopened("K");
        EXPECT_TRUE(j.empty() || k.empty()) << "one JobGen, under one name: " << j << k;
        const std::string before = "J:J n0 n1 n2";
        EXPECT_TRUE(j + k == after || (!completed && j + k == before)) << j + k;
        const std::string name = !j.empty() ? "J" : !k.empty() ? "K" : "";
        EXPECT_EQ(found, name.empty() ? "" : name + " ");
        std::vector<std::string> left, expected;
        for (const auto& e : fs::directory_iterator(Store())) left.push_back(e.path().filename().string());
        if (!name.empty()) expected.push_back(name);
        EXPECT_EQ(left, expected) << "nothing else left";
    }, writer == "Update" ? "SERVER" : "MNGFL");  // the old update staged its copy in the work tree
    win::fault::SkipPauses(false);
}

// A holder killed with a JobGen open (Ex) leaves its work tree and its backup; the next open in
// another process removes them, never those of a holder that lives, in another process or in
// another thread of the opener's own.
TEST_F(JobGenTest, TheWorkFoldersOfAKilledHolderGoWithALaterOpenThoseOfLiveOnesStay) {
    // Made in a child: this process's first open is the later one.
    ASSERT_EQ(EndsWithin(60, [] {
        for (const char* name : {"A", "B", "C", "D"}) {
            const QVPAPI_HANDLE h = qvAPICreateJobGen("", name, 'D', 0, 0);
            if (h == QVPAPI_INVALID_HANDLE || qvAPICreateClientJobGen(h, "\\mst1\\pc1", 0, 0) != 1 ||
                qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1", "0001", 0, 0) != 1 || qvAPICloseJobGen(h, 0) != 1)
                return 1;
        }
        return 0;
    }), 0);
    const auto folders = [&](pid_t pid, long tid) {
        return std::vector<fs::path>{Data() / "SERVER/WORK/MNG/JOBGEN" / std::to_string(tid),
                                     Data() / "RMTINS/WORK" / ("JB" + std::to_string(pid) + "_" + std::to_string(tid))};
    };
    JobGenHolder live("", "A", true), killed("", "B", true);
    ASSERT_TRUE(live.held() && killed.held());
    // A live holder in a thread of this process.
    std::promise<long> opened;
    std::promise<void> done;
    std::thread holder([&] {
        const bool ok = qvAPICreateJobGenEx("", "C", 'D', 0, 0) != QVPAPI_INVALID_HANDLE;
        opened.set_value(ok ? static_cast<long>(win::GetCurrentThreadId()) : 0);
        done.get_future().wait_for(std::chrono::seconds(60));
        qvAPICloseJobGenEx(qvpGetThreadBlock(), 1, 0);
    });
    auto held = opened.get_future();
    const long tid = held.wait_for(std::chrono::seconds(60)) == std::future_status::ready ? held.get() : 0;
    std::vector<fs::path> kept = folders(live.pid(), live.pid());
    if (tid != 0) std::ranges::copy(folders(getpid(), tid), std::back_inserter(kept));
    const std::vector<fs::path> gone = folders(killed.pid(), killed.pid());
    killed.Kill();
    std::map<fs::path, std::map<std::string, std::string>> before;
    for (const fs::path& p : gone) EXPECT_TRUE(fs::is_directory(p)) << p << " left by the kill";
    for (const fs::path& p : kept) before[p] = Snapshot(p);

    qvp::ForgetSweepsForTesting(true);  // a sweep interval on, for every folder there
    const QVPAPI_HANDLE h = qvAPICreateJobGenEx("", "D", 'D', 0, 0);
    qvp::ForgetSweepsForTesting();
    EXPECT_NE(h, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    for (const fs::path& p : gone) EXPECT_FALSE(fs::exists(fs::symlink_status(p))) << p;
    for (const fs::path& p : kept) {
        EXPECT_FALSE(before[p].empty()) << p;
        EXPECT_EQ(Snapshot(p), before[p]) << p;
    }
    EXPECT_EQ(qvAPICloseJobGenEx(h, 1, 0), 1);
    done.set_value();
    holder.join();
    EXPECT_NE(tid, 0) << "the thread's open failed";
}

// A caller killed at any step of making or removing its work folder leaves nothing that a later
// open, a sweep interval on, does not remove: the folder is at its id name only while its owner
// file is held.
TEST_F(JobGenTest, AKilledCallersWorkFolderGoesWithALaterOpenWhateverStepItDiedAt) {
    const struct {
        const char* what;
        const char* filter;
        win::fault::Call call;
        std::function<void()> body;
    } kills[] = {
        {"a commit, at its first removal below the work folder's NODE", "/NODE/", win::fault::Call::DeleteFile,
         [] {
             const QVPAPI_HANDLE h = qvAPICreateJobGen("", "J", 'D', 0, 0);
             qvAPICreateClientJobGen(h, "\\mst1\\pc1", 0, 0);
             qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1", "0001", 0, 0);
             qvAPICloseJobGen(h, 0);
         }},
        {"an open, as it makes the owner file", qvp::kOwnerFile, win::fault::Call::CreateFile,
         [] { qvAPICreateJobGen("", "J", 'D', 0, 0); }},
        {"an Ex open, as it opens its new backup folder", "RMTINS\\WORK", win::fault::Call::CreateFile,
         [] { qvAPICreateJobGenEx("", "E", 'D', 0, 0); }},
    };
    MakeStored("", "E");  // so that an Ex open of it makes a backup folder
    const fs::path area = Data() / "SERVER/WORK/MNG/JOBGEN", backups = Data() / "RMTINS/WORK";
    const auto left = [](const fs::path& at) {
        std::vector<fs::path> found;
        std::error_code none;
        for (const auto& e : fs::directory_iterator(at, none)) found.push_back(e.path());
        return found;
    };
    for (const auto& [what, filter, call, body] : kills) {
        SCOPED_TRACE(what);
        fs::remove_all(Store() / "J");
        fs::remove_all(area);
        fs::remove_all(backups);
        EXPECT_EQ(RunKilledAt(1, body, filter, call), ChildEnd::Killed);
        EXPECT_FALSE(left(area).empty() && left(backups).empty()) << "nothing left";
        qvp::ForgetSweepsForTesting(true);  // a sweep interval on
        const QVPAPI_HANDLE h = qvAPICreateJobGenEx("", "E", 'D', 0, 0);
        EXPECT_NE(h, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
        qvp::ForgetSweepsForTesting();
        EXPECT_EQ(qvAPICloseJobGenEx(h, 1, 0), 1);
        for (const fs::path& at : {area, backups})
            for (const fs::path& p : left(at)) ADD_FAILURE() << p << " left";
    }
}

// What another writer of the store plants at a leftover name of J is put right at once by the
// first lookup of J, never waited on: a file, a link or a FIFO goes as the name it is (nothing
// behind a link touched), a folder with what is in it; a walk, which shows no link, passes over
// a link. J stays as it was. A plain file at the kept original's name is what a kept original
// is, put back (the schedule tests' table covers it).
TEST_F(JobGenTest, PlantedLeftoversAreGoneAtTheFirstLookupWithoutAPause) {
    MakeStored("", "J");
    const auto stored = Snapshot(Store() / "J");
    const fs::path outside = root_ / "outside";
    fs::create_directories(outside / "folder");
    std::ofstream(outside / "file") << "outside";
    const struct {
        const char* what;
        std::function<void(const fs::path&)> plant;
        bool atKept;  // planted at the kept original's name too
        bool link;    // never shown by a walk, so passed over by it
    } plants[] = {
        {"file", [](const fs::path& p) { std::ofstream(p) << "planted"; }, false, false},
        {"read-only file",
         [](const fs::path& p) { std::ofstream(p) << "planted", fs::permissions(p, fs::perms::owner_read); }, false, false},
        {"link to a file", [&](const fs::path& p) { fs::create_symlink(outside / "file", p); }, true, true},
        {"link to a folder", [&](const fs::path& p) { fs::create_directory_symlink(outside / "folder", p); }, true, true},
        {"dangling link", [&](const fs::path& p) { fs::create_symlink(outside / "none", p); }, true, true},
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, true, false},
        {"folder", [](const fs::path& p) { fs::create_directories(p / "jobgenfile"), std::ofstream(p / "x") << 1; }, true, false},
    };
    for (const auto& [what, plant, atKept, link] : plants) {
        for (const std::string mark : {" .old", " .new", " .job"}) {
            for (const bool walk : {false, true}) {
                if (mark == " .job" && !atKept) continue;
                SCOPED_TRACE(what + (" at J" + mark) + (walk ? ", walk" : ", lookup"));
                const fs::path planted = Store() / ("J" + mark);
                plant(planted);
                win::fault::Reset();
                QVAPI_JOBGEN rec{};
                if (walk)
                    EXPECT_EQ(ListedJobGens(), "J ");
                else
                    EXPECT_EQ(qvAPIFindJobGen("", "J", &rec, 0, 0), 1) << Hex(qvAPIGetLastError());
                EXPECT_EQ(win::fault::Pauses(), 0u);
                EXPECT_EQ(fs::exists(fs::symlink_status(planted)), walk && link);
                EXPECT_EQ(Snapshot(Store() / "J"), stored);
                fs::remove_all(planted);
            }
        }
    }
    EXPECT_EQ(Snapshot(outside), (std::map<std::string, std::string>{{"file", "foutside"}, {"folder", "d"}}));
}

// What cannot go from a leftover name for a reason no wait cures (here nested deeper than any
// remover goes; another user's files alike) costs a writer of the JobGen no pause: a commit, which
// builds at `<NAME> .new`, and a delete, which sets aside at `<NAME> .old`.
TEST_F(JobGenTest, ALeftoverNoWaitCanFreeCostsAWriterNoPause) {
    win::fault::SkipPauses(true);
    for (const bool commit : {true, false}) {
        const std::string name = commit ? "J" : "K";
        SCOPED_TRACE(name);
        MakeStored("", name.c_str());
        fs::path deep = Store() / (name + (commit ? " .new" : " .old"));
        for (int level = 0; level < 300; ++level) deep /= "d";
        fs::create_directories(deep);
        win::fault::Reset();
        if (commit) {
            const QVPAPI_HANDLE h = Open("", "J");
            EXPECT_EQ(qvAPICreateClientJobGen(h, "\\mst1\\pc2", 0, 0), 1) << Hex(qvAPIGetLastError());
            qvAPICloseJobGen(h, 0);
        } else {
            qvAPIDeleteJobGen("", "K", 0, 0);
        }
        EXPECT_EQ(win::fault::Pauses(), 0u);
    }
    win::fault::SkipPauses(false);
}

INSTANTIATE_TEST_SUITE_P(Writers, JobGenKill, ::testing::Values("Commit", "CommitRenamed", "Rename", "Update", "Delete"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace qvptest
