// Job control against the simulator's job engine: the exact request each operation sends, the
// checks that keep a request from being sent, and the codes of refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "core/work_owner.h"
#include "jobs/job_control.h"
#include "jobs/jobs_fixture.h"
#include "jobs/jobexec_file.h"
#include "platform/win.h"
#include "support/child_memory.h"
#include "support/planted_links.h"
#include "support/planted_modes.h"

namespace qvptest {
namespace {

constexpr char kNumber[] = "00000000000000B2";
const std::string kPath = std::string("\\F\\") + kNumber;  // 19 characters

class JobControlTest : public JobsTest {
protected:
    void SetUp() override {
        JobsTest::SetUp();
        qvpsim::JobSpec job;
        job.path = kPath;
        job.number = kNumber;
        job.nodes = {qvpsim::Node("mst.pc1", {0x10, 0, 0})};
        jobs().WriteJob(job);
        Open();
        sim().ClearLog();
    }
    fs::path JobDir() const { return data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/F" / kNumber; }
};

struct Case {
    const char* what;
    std::function<int()> call;
    std::string request;  // empty: nothing may be sent
    uint32_t code;
};

TEST_F(JobControlTest, EachOperationSendsItsRequestOrIsRefusedUnsent) {
    const std::string n = "n19 " + kPath;
    const std::string tooLong(2041, 'x');
    const Case cases[] = {
        {"exec", [] { return qvAPIExecJob("\\F", kNumber, 0, 0); }, "JEXC 2 " + n + " f1  ", 0},
        {"retry all", [] { return qvAPIExecRetryJob("\\F", kNumber, nullptr, 1, 0, 0); }, "JRTY 2 " + n + " f1 R", 0},
        {"retry lone backslash", [] { return qvAPIExecRetryJob("\\F", kNumber, "\\", 7, 0, 0); },
         "JRTY 2 " + n + " f1 Q", 0},
        {"retry node", [] { return qvAPIExecRetryJob("\\F", kNumber, "\\mst\\p.c", 3, 0, 0); },
         "JRTY 3 " + n + " a7 mst.p!c f1 A", 0},
        {"retry node, no backslash", [] { return qvAPIExecRetryJob("\\F", kNumber, "mst\\pc1", 6, 0, 0); },
         "JRTY 3 " + n + " a7 mst.pc1 f1 P", 0},
        {"complete", [] { return qvAPIExecToCompleteJob("\\F", kNumber, 0, 0); }, "JRTY 2 " + n + " f1 F", 0},
        {"divisional", [] { return qvAPIExecDivisionalTransJob(kNumber, "one", "two 2", 0, 0); },
         std::string("JRTY 4 n17 \\") + kNumber + " a3 one v5 two 2 f1 X", 0x20000002u},
        {"delete command", [] { return qvAPIDeleteCommand("\\F", kNumber, "pc1", "1"); },
         "JDEL 4 " + n + " f1   a3 pc1 c1 1", 0},
        // The caller's text as it is, for a job the manager does not have.
        {"schedule del", [] { return qvAPIScheduleJobDel("JDEL 3 n19 \\F\\00000000000000C3 f1   s1  ", 0); },
         "JDEL 3 n19 \\F\\00000000000000C3 f1   s1  ", 0x20000002u},
        // Refused before anything is sent.
        {"retry empty node", [] { return qvAPIExecRetryJob("\\F", kNumber, "", 1, 0, 0); }, "", 0x20000057u},
        {"retry kind 0", [] { return qvAPIExecRetryJob("\\F", kNumber, nullptr, 0, 0, 0); }, "", 0x20000057u},
        {"retry kind 8", [] { return qvAPIExecRetryJob("\\F", kNumber, nullptr, 8, 0, 0); }, "", 0x20000057u},
        {"retry missing job", [] { return qvAPIExecRetryJob("\\G", kNumber, nullptr, 1, 0, 0); }, "", 0x20610000u},
        {"complete missing job", [] { return qvAPIExecToCompleteJob(nullptr, kNumber, 0, 0); }, "", 0x20610000u},
        {"exec missing job", [] { return qvAPIExecJob("\\", kNumber, 0, 0); }, "", 0x20000057u},
        {"exec job path with a level", [] { return qvAPIExecJob("\\F\\..\\F", kNumber, 0, 0); }, "", 0x20000057u},
        {"delete empty number", [] { return qvAPIDeleteJob("\\F", "", 0, 0); }, "", 0x20000057u},
        {"command NULL node", [] { return qvAPIDeleteCommand("\\F", kNumber, nullptr, "1"); }, "", 0x20000057u},
        {"command long node", [&] { return qvAPIDeleteCommand("\\F", kNumber, tooLong.c_str(), "1"); }, "",
         0x20000057u},
        {"divisional long text", [&] { return qvAPIExecDivisionalTransJob(kNumber, tooLong.c_str(), "", 0, 0); }, "",
         0x20000057u},
        {"schedule del NULL", [] { return qvAPIScheduleJobDel(nullptr, 0); }, "", 0x20000057u},
        {"schedule del long", [&] { return qvAPIScheduleJobDel(tooLong.c_str(), 0); }, "", 0x20000057u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim().ClearLog();
        EXPECT_EQ(c.call(), c.code == 0 ? 1 : 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        const auto sent = Requests();
        if (c.request.empty()) {
            EXPECT_TRUE(sent.empty());
        } else {
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0], c.request);
        }
    }
}

TEST_F(JobControlTest, RefusedRepliesMapToTheirCodes) {
    const struct {
        const char* verb;
        const char* reply;
        uint32_t code;
    } cases[] = {
        {"JRTY", "0 30", 0x20491300u}, {"JEXC", "16 21", 0x20000002u}, {"JDEL", "4 16", 0x20000020u},
        {"JEXC", "5 1", 0x2000054Fu},  {"JRTY", "0 1", 0x2000054Fu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        sim().Script(c.verb, qvpsim::Action::Reply(c.reply));
        const std::string verb = c.verb;
        const int result = verb == "JEXC"   ? qvAPIExecJob("\\F", kNumber, 0, 0)
                           : verb == "JRTY" ? qvAPIExecToCompleteJob("\\F", kNumber, 0, 0)
                                            : qvAPIDeleteJob("\\F", kNumber, 0, 0);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
    }
}

// The copies' folder is named by the thread id: a link another writer of the store left there
// is removed, never written through.
TEST_F(JobControlTest, GetJobExNeverCopiesThroughALinkedFolder) {
    const fs::path folder = data() / "SERVER/WORK/MNG/JOBEXEC" / std::to_string(qvpGetThreadBlock()->openerThreadId);
    const PlantedLinks links(root_ / "outside", {"other"});
    links.At(folder, Plant::FolderLink);
    char copy[260];
    ASSERT_EQ(qvAPIGetJobEx("\\F", kNumber, copy), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(links.Outside(), links.Original()) << copy;
    EXPECT_FALSE(fs::is_symlink(folder));
    EXPECT_EQ(fs::file_size(folder / fs::path(copy).string().substr(std::string(copy).rfind('\\') + 1)),
              fs::file_size(JobDir() / "jobexecfile"));
}

// A job's file planted set-user-ID or writable by all is copied as a file the caller made: the
// session's copy never hands the planter's bits, nor the caller's privileges, to anyone.
TEST_F(JobControlTest, GetJobExCopiesNoSetIdOrWriteBits) {
    const fs::path file = JobDir() / "jobexecfile";
    std::ifstream in(file, std::ios::binary);
    const std::string content(std::istreambuf_iterator<char>(in), {});
    for (const mode_t mode : kPlantedModes) {
        SCOPED_TRACE(mode);
        PlantWithMode(file, mode, content);
        char copy[260];
        ASSERT_EQ(qvAPIGetJobEx("\\F", kNumber, copy), 1) << std::hex << qvAPIGetLastError();
        std::string posix(copy);
        for (char& ch : posix)
            if (ch == '\\') ch = '/';
        const fs::path probe = fs::path(posix).parent_path() / "made";
        win::CloseHandle(win::CreateFile(probe.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW, 0, nullptr));
        EXPECT_EQ(ModeOf(posix), CopiedMode(mode, ModeOf(probe)));
        fs::remove(probe);
        fs::remove(posix);
    }
}

// A job's file planted at 1 GiB (sparse) is copied no further than its head announces, and an
// area claimed over holes is copied as holes: each call's copy costs the blocks really written.
TEST_F(JobControlTest, GetJobExCopiesNoMoreThanWasWritten) {
    const fs::path file = JobDir() / "jobexecfile";
    const uint64_t written = fs::file_size(file);
    const uint32_t claimed = static_cast<uint32_t>(kOneGiB - qvp::jobs::kHeadSize);
    const struct {
        const char* what;
        std::string_view area;  // planted over the head's area size, when not empty
        uint64_t copied;
    } cases[] = {
        {"bytes past the announced area", {}, written},
        {"an area claimed over holes", {reinterpret_cast<const char*>(&claimed), sizeof claimed}, kOneGiB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(PlantSparseAt(file, qvp::jobs::head::kEntryAreaSize, c.area, kOneGiB));
        char copy[260];
        ASSERT_EQ(qvAPIGetJobEx("\\F", kNumber, copy), 1) << std::hex << qvAPIGetLastError();
        std::string posix(copy);
        for (char& ch : posix)
            if (ch == '\\') ch = '/';
        EXPECT_EQ(fs::file_size(posix), c.copied);
        EXPECT_LT(DiskBytes(posix), kSparseCopyBytes);
        fs::remove(posix);
    }
}

// A session's close killed at any step of removing its copies' folder, by qvAPIClose or at the
// end of its thread, leaves nothing that the next caller making copies, a sweep interval on, does
// not remove: the folder has its id name only while its owner file is in it.
TEST_F(JobControlTest, AKilledClosesCopiesGoWithALaterCallersCopiesWhateverStepItDiedAt) {
    ASSERT_EQ(qvAPIClose(), 1);  // each child opens its own session
    const fs::path area = data() / "SERVER/WORK/MNG/JOBEXEC";
    const std::string port = std::to_string(sim().port());
    const auto left = [&] {
        std::vector<std::string> found;
        std::error_code none;
        for (const auto& e : fs::directory_iterator(area, none)) found.push_back(e.path().filename().string());
        return found;
    };
    // Two copies listed after the owner file and none before it (the caller removes those), so
    // that a remover going down the listing meets the owner file first; a call that fails ends
    // the child neither way.
    const auto openAndCopy = [&] {
        if (qvAPIOpen("127.0.0.1", port.c_str()) != 1) _exit(2);
        const fs::path folder = area / std::to_string(qvpGetThreadBlock()->openerThreadId);
        char copy[260];
        for (int made = 1; made <= 1000; ++made) {
            if (qvAPIGetJobEx("\\F", kNumber, copy) != 1) _exit(2);
            bool owner = false;
            std::vector<fs::path> before;
            int after = 0;
            for (const auto& e : fs::directory_iterator(folder)) {
                if (e.path().filename() == qvp::kOwnerFile) owner = true;
                else if (owner) ++after;
                else before.push_back(e.path());
            }
            for (const fs::path& p : before) fs::remove(p);
            if (after >= 2) return;
        }
    };
    // From here the child ends at the `step`th call on a path of the copies.
    const auto endAt = [](unsigned step) {
        win::fault::Watch("JOBEXEC");
        win::fault::ExitAtNth(step);
    };
    const struct {
        const char* what;
        std::function<void(unsigned step)> body;
        const char* skip;
    } ends[] = {
        {"qvAPIClose",
         [&](unsigned step) {
             openAndCopy();
             endAt(step);
             qvAPIClose();
         },
         nullptr},
        // The thread's fault state is made before its block, so it outlives the block's close.
        {"the thread's end",
         [&](unsigned step) {
             std::thread([&] {
                 win::fault::Reset();
                 openAndCopy();
                 endAt(step);
             }).join();
         },
         kNoThreadsAfterFork},
    };
    for (const auto& [what, body, skip] : ends) {
        SCOPED_TRACE(what);
        if (skip != nullptr) continue;  // the sanitizer's reason
        bool completed = false;
        for (unsigned step = 1; step <= 500 && !completed; ++step) {
            SCOPED_TRACE(step);
            fs::remove_all(area);
            // The simulator's threads are done with earlier connections before the fork.
            ASSERT_TRUE(sim().WaitForClosed(sim().Connections().size()));
            const ChildEnd end = RunKilledAt(0, [&] { body(step); });
            ASSERT_NE(end, ChildEnd::Other);
            if (end == ChildEnd::Killed) {
                EXPECT_FALSE(left().empty()) << "killed, but nothing left";
            }
            ASSERT_EQ(qvAPIOpen("127.0.0.1", port.c_str()), 1);
            const std::string own = std::to_string(qvpGetThreadBlock()->openerThreadId);
            qvp::ForgetSweepsForTesting(true);  // a sweep interval on
            char copy[260];
            EXPECT_EQ(qvAPIGetJobEx("\\F", kNumber, copy), 1) << std::hex << qvAPIGetLastError();
            qvp::ForgetSweepsForTesting();
            for (const std::string& name : left())
                if (name != own) ADD_FAILURE() << name << " left";
            ASSERT_EQ(qvAPIClose(), 1);
            EXPECT_TRUE(left().empty());
            completed = end == ChildEnd::Completed;
        }
        EXPECT_TRUE(completed) << "no close completed within 500 steps";
    }
}

TEST_F(JobControlTest, DeleteRemovesTheJobAndGetJobExCopiesItsFile) {
    char copy[260];
    ASSERT_EQ(qvAPIGetJobEx("\\F", kNumber, copy), 1) << std::hex << qvAPIGetLastError();
    std::string posix(copy);
    EXPECT_NE(posix.find("SERVER\\WORK\\MNG\\JOBEXEC\\"), std::string::npos);
    for (char& ch : posix)
        if (ch == '\\') ch = '/';
    EXPECT_EQ(fs::file_size(posix), fs::file_size(JobDir() / "jobexecfile"));
    EXPECT_EQ(qvAPIGetJobEx("\\F", "0000000000000000", copy), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);

    ASSERT_EQ(qvAPIDeleteJob("\\F", kNumber, 0xFFFF, 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Requests().back(), "JDEL 3 n19 " + kPath + " f2  F s1  ");
    EXPECT_FALSE(fs::exists(JobDir()));
    EXPECT_FALSE(fs::exists(data() / "SERVER/ZARNQV/MNGFL/JOBEXEC/QVFOLDER" / kNumber));
    EXPECT_EQ(qvAPIExecJob("\\F", kNumber, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
}

// The internal twin of qvAPIScheduleJobDel: the caller's text as it is, the execution reply rule, its own texts.
TEST_F(JobControlTest, ScheduleJobExecSendsTheCallersTextAsAnExecution) {
    using qvp::jobs::qvAPIScheduleJobExec;
    const std::string exec = "JEXC 2 n19 " + kPath + " f1  ";
    ASSERT_EQ(qvAPIScheduleJobExec(exec.c_str(), 0), 1) << std::hex << qvAPIGetLastError();
    EXPECT_EQ(Requests(), std::vector<std::string>{exec});
    for (const auto& [reply, code] : {std::pair{"16 21", 0x20000002u}, {"4 16", 0x20000020u}, {"5 1", 0x2000054Fu}}) {
        sim().Script("JEXC", qvpsim::Action::Reply(reply));
        EXPECT_EQ(qvAPIScheduleJobExec(exec.c_str(), 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), code) << reply;
    }
    sim().ClearLog();
    const std::string tooLong(2041, 'x');
    for (const char* refused : {static_cast<const char*>(nullptr), tooLong.c_str()}) {
        EXPECT_EQ(qvAPIScheduleJobExec(refused, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
    }
    EXPECT_TRUE(Requests().empty());
    qvAPIClose();
    std::ifstream in(data() / "LOG" / "DLL.LOG", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* line : {"qvAPIScheduleJobExec START ", "qvAPIScheduleJobExec END : Code = 0 ",
                             "qvpAPIScheduleJobExec : JDEL Error code = 16 21",
                             "qvAPIScheduleJobExec : Logical Error : JobGen Name Pointer is NULL",
                             "qvAPIScheduleJobExec END : Code = 536870999 "})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(log.find("qvAPIScheduleJobDel"), std::string::npos);
}

}  // namespace
}  // namespace qvptest
