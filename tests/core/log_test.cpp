// Logs: the log table, record layout, generations, concurrent writers, character-boundary cuts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "core/handles.h"
#include "core/log.h"
#include "core_fixture.h"
#include "support/child_memory.h"
#include "support/child_process.h"
#include "support/kill_steps.h"

namespace {

class LogTest : public CoreTest {
protected:
    static std::vector<std::string> Split(const std::string& text, size_t size) {
        std::vector<std::string> out;
        for (size_t i = 0; i + size <= text.size(); i += size) out.push_back(text.substr(i, size));
        EXPECT_EQ(text.size() % size, 0u) << "a torn record";
        return out;
    }
    fs::path Log(const char* name) const { return data() / "LOG" / name; }
    // A write lock through a descriptor of our own: another open, as another user's process would
    // hold it. The descriptor, to let go by closing it.
    static int WriteLock(const fs::path& file, int flags, int64_t start, int64_t length) {
        const int fd = open(file.c_str(), flags | O_RDWR | O_NONBLOCK | O_CLOEXEC, 0660);
        struct flock range{};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = start;
        range.l_len = length;
        EXPECT_EQ(fcntl(fd, F_OFD_SETLK, &range), 0) << file;
        return fd;
    }
    static constexpr int64_t kPresenceByte = int64_t{1} << 20;  // of a lock file
};

TEST_F(LogTest, TableRowsMatchIgnoringCase) {
    const int dll = qvpLogOpen("dll.log");
    EXPECT_EQ(qvpLogOpen("DLL.LOG"), dll);
    EXPECT_STREQ(qvpLogFileName(dll), "DLL.LOG");
    const char* rows[] = {"NODE.LOG", "NODEOPR.LOG", "CLIENT.log", "USER_CLT.LOG"};
    std::set<int> ids{dll};
    for (const char* row : rows) ids.insert(qvpLogOpen(row));
    EXPECT_EQ(ids.size(), 5u);
    const int other = qvpLogOpen("SOMETHING.LOG");
    EXPECT_STREQ(qvpLogFileName(other), "DEFAULT.LOG");
    EXPECT_EQ(qvpLogOpen(nullptr), other);
    qvpLogWrite(qvpLogOpen("CLIENT.log"), "archived", "ar");
    qvpLogWrite(other, "elsewhere", "dll");
    EXPECT_TRUE(fs::exists(Log("CLIENT.LOG")));
    EXPECT_NE(ReadText(Log("DEFAULT.LOG")).find("elsewhere"), std::string::npos);
    // Unknown ids and id 0 write nothing and never fail.
    qvpLogWrite(0, "nothing", "dll");
    qvpLogWrite(99, "nothing", "dll");
    qvpLogClose(0);
}

TEST_F(LogTest, RecordLayout) {
    const int id = qvpLogOpen("NODE.LOG");
    win::SetLastError(0x20000103);
    qvpLogWrite(id, "first message", "dll");
    qvpLogPrintf(id, "tcp", "%s = %d", "second", 2);
    EXPECT_EQ(win::GetLastError(), 0x20000103u) << "logging must not touch the last error";
    const auto records = Split(ReadText(Log("NODE.LOG")), 1152);
    ASSERT_EQ(records.size(), 2u);
    unsigned seq = 0, y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, pid = 0, tid = 0, session = 9;
    char tag[16] = {};
    ASSERT_EQ(std::sscanf(records[0].c_str(), "%10u %4u/%2u/%2u %2u:%2u:%2u.%3u %8u %8u %8u %8s", &seq,
                          &y, &mo, &d, &h, &mi, &s, &ms, &pid, &tid, &session, tag),
              12);
    EXPECT_EQ(seq, 1u);
    EXPECT_EQ(pid, win::GetCurrentProcessId());
    EXPECT_EQ(tid, win::GetCurrentThreadId());
    EXPECT_EQ(session, 0u);
    EXPECT_STREQ(tag, "dll");
    EXPECT_EQ(records[0].substr(62, 24), "dll      first message  ");
    EXPECT_EQ(records[0].substr(1150), "\r\n");
    EXPECT_EQ(records[1].substr(0, 10), "0000000002");
    EXPECT_EQ(records[1].substr(62, 20), "tcp      second = 2 ");
}

TEST_F(LogTest, RotationKeepsLogGenCountGenerations) {
    WriteSettings("LogGenCount=3\nDLLLogRecordCount=4\nDLLLogRecordSize=128\n");
    const int id = qvpLogOpen("DLL.LOG");
    for (int i = 0; i < 21; ++i) qvpLogPrintf(id, "dll", "record %02d", i);
    // 21 records, 4 a generation: the newest one in DLL.LOG, four in each older generation.
    const auto current = Split(ReadText(Log("DLL.LOG")), 128);
    const auto previous = Split(ReadText(Log("DLL.LOG.1")), 128);
    const auto oldest = Split(ReadText(Log("DLL.LOG.2")), 128);
    EXPECT_FALSE(fs::exists(Log("DLL.LOG.3")));
    ASSERT_EQ(current.size(), 1u);
    ASSERT_EQ(previous.size(), 4u);
    ASSERT_EQ(oldest.size(), 4u);
    EXPECT_NE(current[0].find("record 20"), std::string::npos);
    EXPECT_NE(previous[0].find("record 16"), std::string::npos);
    EXPECT_NE(oldest[3].find("record 15"), std::string::npos);
    EXPECT_EQ(previous[3].substr(0, 10), "0000000004");
    // One generation only: the log starts again.
    WriteSettings("LogGenCount=1\nNODELogRecordCount=2\nNODELogRecordSize=128\n");
    const int node = qvpLogOpen("NODE.LOG");
    for (int i = 0; i < 5; ++i) qvpLogPrintf(node, "dll", "node %d", i);
    EXPECT_EQ(Split(ReadText(Log("NODE.LOG")), 128).size(), 1u);
    EXPECT_FALSE(fs::exists(Log("NODE.LOG.1")));
}

// A generation is renamed to <name>.1 when nothing else holds it; a handle that holds it (here
// a reader's) keeps the current generation under its name, emptied and written again.
TEST_F(LogTest, RotationKeepsAHeldGenerationWhereItsHoldersAre) {
    WriteSettings("LogGenCount=3\nDLLLogRecordCount=2\nDLLLogRecordSize=128\n");
    const int id = qvpLogOpen("DLL.LOG");
    for (int i = 0; i < 3; ++i) qvpLogPrintf(id, "dll", "record %d", i);  // rotated once, renamed
    const std::string path = Log("DLL.LOG").string();
    qvp::FileHandle reader(win::CreateFile(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                           nullptr, win::OPEN_EXISTING, 0, nullptr));
    for (int i = 3; i < 5; ++i) qvpLogPrintf(id, "dll", "record %d", i);  // rotated again, copied
    char first[128] = {};
    win::DWORD got = 0;
    ASSERT_TRUE(win::ReadFile(reader.get(), first, sizeof first, &got, nullptr));
    EXPECT_EQ(std::string(first, got).substr(0, 10), "0000000001");
    EXPECT_NE(std::string(first, got).find("record 4"), std::string::npos);
    EXPECT_NE(ReadText(Log("DLL.LOG.1")).find("record 3"), std::string::npos);
    EXPECT_NE(ReadText(Log("DLL.LOG.2")).find("record 1"), std::string::npos);
    qvpLogClose(id);
}

// A held current file grown past a generation (a sparse 1 GiB ending in half a record) gives
// <name>.1 only what of its last generation starts at a record: three records and the half.
TEST_F(LogTest, AHeldOversizedGenerationIsCopiedOneGenerationAtMost) {
    WriteSettings("LogGenCount=3\nDLLLogRecordCount=4\nDLLLogRecordSize=128\n");
    fs::create_directories(Log("DLL.LOG").parent_path());
    const uint64_t size = qvptest::kOneGiB + 50;
    ASSERT_TRUE(qvptest::PlantSparseAt(Log("DLL.LOG"), size - 600, std::string(600, 'x'), size));
    qvp::FileHandle holder(win::CreateFile(Log("DLL.LOG").c_str(), win::GENERIC_READ,
                                           win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.valid());
    const int id = qvpLogOpen("DLL.LOG");
    qvpLogPrintf(id, "dll", "after the rotation");
    qvpLogClose(id);
    ASSERT_EQ(fs::file_size(Log("DLL.LOG.1")), 3u * 128 + 50);
    EXPECT_EQ(ReadText(Log("DLL.LOG.1")), std::string(3 * 128 + 50, 'x'));
}

// Threads' records may go in one append of another thread: each keeps its own thread id, none
// is lost or torn, and each generation numbers its records from 1, also when a generation
// ends inside such an append.
TEST_F(LogTest, EightThreadsLoseAndTearNoRecord) {
    struct Case {
        const char* settings;
        int generations;
    };
    for (const Case& c : {Case{"DLLLogRecordSize=256\n", 1},
                          Case{"LogGenCount=99\nDLLLogRecordCount=16\nDLLLogRecordSize=256\n", 99}}) {
        fs::remove_all(data() / "LOG");
        WriteSettings(c.settings);
        const int id = qvpLogOpen("DLL.LOG");
        constexpr int kThreads = 8;
        constexpr int kEach = 150;
        std::vector<std::thread> threads;
        std::vector<unsigned> tids(kThreads);
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([id, t, &tids] {
                tids[t] = win::GetCurrentThreadId();
                for (int i = 0; i < kEach; ++i) qvpLogPrintf(id, "dll", "writer %d record %03d", t, i);
            });
        }
        for (auto& th : threads) th.join();
        qvpLogClose(id);
        std::set<std::string> seen;
        for (int g = 0; g < c.generations; ++g) {
            const fs::path file = g == 0 ? Log("DLL.LOG") : Log(("DLL.LOG." + std::to_string(g)).c_str());
            const auto records = Split(ReadText(file), 256);
            for (size_t i = 0; i < records.size(); ++i) {
                const std::string& r = records[i];
                EXPECT_EQ(r.substr(254), "\r\n");
                EXPECT_EQ(r.substr(0, 10), std::string(10 - std::to_string(i + 1).size(), '0') + std::to_string(i + 1));
                const size_t at = r.find("writer ");
                ASSERT_NE(at, std::string::npos);
                seen.insert(r.substr(at, 22));
                unsigned tid = 0;
                int writer = -1;
                ASSERT_EQ(std::sscanf(r.c_str() + 44, "%8u", &tid), 1);
                ASSERT_EQ(std::sscanf(r.c_str() + at, "writer %d", &writer), 1);
                EXPECT_EQ(tid, tids[static_cast<size_t>(writer)]);
            }
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach)) << c.settings;
    }
}

// Processes sharing the data root append and rotate in turn: across every generation each
// record is there once, whole, and every generation numbers its records from 1 in order. Also
// when some of them cannot have the log's lock (their run-time folder's lock name is another
// user's): their records, appended without it while the others rotate, are kept as well.
// Each writer numbers its records: a failure names the writer, whether it had the lock, and
// the numbers it lost or wrote twice.
TEST_F(LogTest, ProcessesAppendAndRotateWithoutLosingARecord) {
    struct Case {
        const char* what;
        int unlockedWriters;  // the first children write without the lock
        int recordCount;      // more than those write: a generation never holds two
    };
    const Case cases[] = {{"every writer with the lock", 0, 40}, {"two writers without it", 2, 250}};
    constexpr int kProcesses = 4;
    constexpr int kEach = 120;
    constexpr int kGenerations = 60;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(data() / "LOG");
        WriteSettings("LogGenCount=60\nDLLLogRecordCount=" + std::to_string(c.recordCount) +
                      "\nDLLLogRecordSize=128\n");
        int id = qvpLogOpen("DLL.LOG");
        qvpLogWrite(id, "before the children", "dll");  // the parent holds the file while they write
        auto write = [&id](int writer) {
            for (int i = 0; i < kEach; ++i) qvpLogPrintf(id, "dll", "writer %d record %03d", writer, i);
        };
        std::vector<pid_t> children;
        for (int p = 1; p <= kProcesses; ++p) {
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                if (p <= c.unlockedWriters) {
                    // Its own run-time folder, where the lock file's presence byte is another's.
                    const fs::path run = root() / ("run-" + std::to_string(p));
                    fs::create_directories(run);
                    const fs::path lock = run / "mutex.QVPAPI.LOG.DLL.LOG";
                    const int fd = mkfifo(lock.c_str(), 0660) == 0 ? open(lock.c_str(), O_RDWR | O_NONBLOCK) : -1;
                    struct flock presence{};
                    presence.l_type = F_WRLCK;
                    presence.l_whence = SEEK_SET;
                    presence.l_start = int64_t{1} << 20;
                    presence.l_len = 1;
                    if (fd < 0 || fcntl(fd, F_OFD_SETLK, &presence) != 0) _exit(3);
                    win::registry::SetPlatform("RunDir", run.string());
                    id = qvpLogOpen("DLL.LOG");  // settings taken again: the lock of that folder
                }
                write(p);
                _exit(0);
            }
            children.push_back(pid);
        }
        write(0);
        for (size_t p = 0; p < children.size(); ++p) {
            EXPECT_EQ(qvptest::ExitCode(qvptest::WaitChild(children[p])), 0) << "writer " << p + 1 << " did not end well";
        }
        // Per writer, how often each of its records was found, and in which generations.
        std::vector<std::vector<int>> found(kProcesses + 1, std::vector<int>(kEach, 0));
        std::vector<std::set<int>> generationsOf(kProcesses + 1);
        size_t total = 0;
        for (int g = 0; g < kGenerations; ++g) {
            const fs::path file = g == 0 ? Log("DLL.LOG") : Log(("DLL.LOG." + std::to_string(g)).c_str());
            if (!fs::exists(file)) continue;
            const auto records = Split(ReadText(file), 128);
            // Records appended without the lock count as they can: only the locked ones in order.
            if (c.unlockedWriters == 0) {
                EXPECT_LE(records.size(), static_cast<size_t>(c.recordCount)) << file;
            }
            for (size_t i = 0; i < records.size(); ++i) {
                char expected[24];
                std::snprintf(expected, sizeof expected, "%010zu", i + 1);
                if (c.unlockedWriters == 0) {
                    EXPECT_EQ(records[i].substr(0, 10), expected) << file;
                }
                EXPECT_EQ(records[i].substr(126), "\r\n");
                int writer = -1, number = -1;
                const size_t at = records[i].find("writer ");
                if (at == std::string::npos) continue;
                if (std::sscanf(records[i].c_str() + at, "writer %d record %d", &writer, &number) != 2 || writer < 0 ||
                    writer > kProcesses || number < 0 || number >= kEach) {
                    ADD_FAILURE() << "a record of no writer in " << file << ": " << records[i];
                    continue;
                }
                ++found[static_cast<size_t>(writer)][static_cast<size_t>(number)];
                generationsOf[static_cast<size_t>(writer)].insert(g);
            }
            total += records.size();
        }
        EXPECT_EQ(total, static_cast<size_t>((kProcesses + 1) * kEach + 1));
        // Ranges of the numbers for which `pick` holds: "3-17 40".
        const auto ranges = [](const std::vector<int>& counts, const std::function<bool(int)>& pick) {
            std::string out;
            for (int i = 0; i < kEach; ++i) {
                if (!pick(counts[static_cast<size_t>(i)])) continue;
                int last = i;
                while (last + 1 < kEach && pick(counts[static_cast<size_t>(last + 1)])) ++last;
                out += (out.empty() ? "" : " ") + std::to_string(i) + (last > i ? "-" + std::to_string(last) : "");
                i = last;
            }
            return out;
        };
        for (int w = 0; w <= kProcesses; ++w) {
            const auto& counts = found[static_cast<size_t>(w)];
            const std::string lost = ranges(counts, [](int n) { return n == 0; });
            const std::string twice = ranges(counts, [](int n) { return n > 1; });
            std::string where;
            for (int g : generationsOf[static_cast<size_t>(w)]) where += " " + std::to_string(g);
            const bool unlocked = w >= 1 && w <= c.unlockedWriters;
            EXPECT_TRUE(lost.empty() && twice.empty())
                << "writer " << w << (unlocked ? " (without the lock)" : " (with the lock)") << " lost records [" << lost
                << "], has records twice [" << twice << "]; its records are in generations" << where;
        }
        qvpLogClose(id);
    }
}

// Something at a log's lock name that cannot be mended (or could be), the lock file's presence
// byte or the log's own record bytes write-locked through another open (as another user's
// process would): the log still gets every record of two processes writing at once, each whole
// and once, and the event log says once why the lock is missing (a child inherits that it said).
TEST_F(LogTest, ALockThatCannotBeHadNeverSilencesTheLog) {
    const fs::path events = root() / "events.txt";
    win::registry::SetPlatform("EventLogFile", events.string());
    enum class Plant { Folder, Socket, Link, LockedPresence, LockedGate, LockedRecords };
    enum class Said { AtMostOnce, Once, Never };  // AtMostOnce: the lock name may be mended
    struct Case {
        const char* what;
        Plant plant;
        const char* log;  // each case its own log, so its own lock
        Said said;
    };
    const Case cases[] = {
        {"a folder with a file in it", Plant::Folder, "DLL.LOG", Said::AtMostOnce},
        {"a socket", Plant::Socket, "NODE.LOG", Said::AtMostOnce},
        {"a link", Plant::Link, "NODEOPR.LOG", Said::AtMostOnce},
        {"its presence byte write-locked", Plant::LockedPresence, "CLIENT.LOG", Said::Once},
        // Each try to make the mutex waits a while: made once, not again for every record.
        {"its gate byte write-locked", Plant::LockedGate, "DEFAULT.LOG", Said::Once},
        {"the log's record bytes write-locked", Plant::LockedRecords, "USER_CLT.LOG", Said::Never},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(events);
        const fs::path lock = root() / "run" / (std::string("mutex.QVPAPI.LOG.") + c.log);
        int held = -1;
        switch (c.plant) {
        case Plant::Folder: fs::create_directories(lock / "kept"); break;
        case Plant::Socket: ASSERT_EQ(mknod(lock.c_str(), S_IFSOCK | 0660, 0), 0); break;  // whatever the path's length
        case Plant::Link: fs::create_symlink(root() / "elsewhere", lock); break;
        case Plant::LockedPresence:
        case Plant::LockedGate:
            ASSERT_EQ(mkfifo(lock.c_str(), 0660), 0);
            held = WriteLock(lock, 0, kPresenceByte + (c.plant == Plant::LockedGate ? 1 : 0), 1);
            break;
        case Plant::LockedRecords:
            fs::create_directories(Log(c.log).parent_path());
            held = WriteLock(Log(c.log), O_CREAT, 0, int64_t{1} << 40);
            break;
        }
        constexpr int kEach = 40;
        const int id = qvpLogOpen(c.log);
        qvpLogWrite(id, "before the child", "dll");
        // Opens of the lock name from here on: tries to make the mutex again.
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(inotify_add_watch(watch, lock.parent_path().c_str(), IN_OPEN), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        const int writer = child == 0 ? 1 : 0;
        for (int i = 0; i < kEach; ++i) qvpLogPrintf(id, "dll", "writer %d record %03d", writer, i);
        if (child == 0) _exit(0);
        ASSERT_EQ(qvptest::ExitCode(qvptest::WaitChild(child)), 0);
        qvpLogClose(id);
        if (held >= 0) close(held);
        std::set<std::string> seen;
        const auto records = Split(ReadText(Log(c.log)), 1152);
        for (const std::string& r : records) {
            EXPECT_EQ(r.substr(1150), "\r\n");
            const size_t at = r.find("writer ");
            if (at != std::string::npos) seen.insert(r.substr(at, 21));
        }
        EXPECT_EQ(records.size(), 2u * kEach + 1);
        EXPECT_EQ(seen.size(), 2u * kEach);
        alignas(inotify_event) char opens[64 * 1024];
        size_t lockOpens = 0;
        for (ssize_t n; (n = read(watch, opens, sizeof opens)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(opens + at);
                if (e->len > 0 && lock.filename() == e->name) ++lockOpens;
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        close(watch);
        if (c.plant == Plant::LockedGate) {
            EXPECT_EQ(lockOpens, 0u);
        }
        const std::string said = fs::exists(events) ? ReadText(events) : "";
        const auto lines = std::count(said.begin(), said.end(), '\n');
        EXPECT_LE(lines, c.said == Said::Never ? 0 : 1) << said;
        EXPECT_TRUE(c.said != Said::Once || (lines == 1 && said.find(c.log) != std::string::npos)) << said;
    }
}

// The lock file's presence byte and the log's append gate (or its rotation mark) both kept by
// another user's process: a batch of records goes in under the other byte, trying the kept one
// once (a kept mark its few times in the first batch), also after the keeper lets go (the byte
// then had at once); no record is lost before or after. Each batch tries each byte once.
TEST_F(LogTest, AnAppendGateKeptElsewhereIsTriedOncePerBatch) {
    constexpr int64_t kGate = 0x7FFFFFFFFFFF0000;
    struct Case {
        const char* what;
        const char* log;  // each case its own log, so its own lock and its own memory of keepers
        int64_t byte;
    };
    for (const Case& c : {Case{"the append gate", "DLL.LOG", kGate}, Case{"the rotation mark", "NODE.LOG", kGate + 1}}) {
        SCOPED_TRACE(c.what);
        fs::create_directories(Log(c.log).parent_path());
        const fs::path lock = root() / "run" / (std::string("mutex.QVPAPI.LOG.") + c.log);
        ASSERT_EQ(mkfifo(lock.c_str(), 0660), 0);
        const int presence = WriteLock(lock, 0, kPresenceByte, 1);
        const int kept = WriteLock(Log(c.log), O_CREAT, c.byte, 1);
        constexpr int kEach = 40;
        const int id = qvpLogOpen(c.log);
        qvpLogWrite(id, "the first batch", "dll");
        const auto triesOfBatches = [id, &c](const char* when) {
            win::fault::Watch(c.log);
            for (int i = 0; i < kEach; ++i) qvpLogPrintf(id, "dll", "%s record %03d", when, i);
            const unsigned tries = win::fault::Calls(win::fault::Call::LockFile);
            win::fault::Reset();
            return tries;
        };
        EXPECT_EQ(triesOfBatches("kept"), 2u * kEach);
        close(kept);
        close(presence);
        EXPECT_EQ(triesOfBatches("freed"), 2u * kEach);
        qvpLogClose(id);
        std::set<std::string> seen;
        for (const std::string& r : Split(ReadText(Log(c.log)), 1152)) {
            if (const size_t at = r.find(" record "); at != std::string::npos) seen.insert(r.substr(at - 5, 17));
        }
        EXPECT_EQ(seen.size(), 2u * kEach);
    }
}

// A rotation that must empty a held file in place empties nothing while a writer without the
// lock may be appending (another open keeps the append gate or the rotation mark, as such a
// writer keeps one of them for its batch): the log grows on with every record, and is rotated
// a few records after they are let go.
TEST_F(LogTest, ARotationEmptiesNothingWhileAWriterWithoutTheLockAppends) {
    constexpr int64_t kGate = 0x7FFFFFFFFFFF0000;
    struct Case {
        const char* what;
        int64_t byte;
    };
    for (const Case& c : {Case{"the append gate", kGate}, Case{"the rotation mark", kGate + 1}}) {
        SCOPED_TRACE(c.what);
        fs::remove_all(data() / "LOG");
        WriteSettings("LogGenCount=3\nDLLLogRecordCount=8\nDLLLogRecordSize=128\n");
        const int id = qvpLogOpen("DLL.LOG");
        qvpLogWrite(id, "record 00", "dll");
        // Held by another handle: rotated by copying and emptying it in place.
        const std::string path = Log("DLL.LOG").string();
        qvp::FileHandle reader(win::CreateFile(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                               nullptr, win::OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader.valid());
        const int kept = WriteLock(Log("DLL.LOG"), 0, c.byte, 1);
        for (int i = 1; i < 11; ++i) qvpLogPrintf(id, "dll", "record %02d", i);
        EXPECT_FALSE(fs::exists(Log("DLL.LOG.1")));
        EXPECT_EQ(Split(ReadText(Log("DLL.LOG")), 128).size(), 11u);
        close(kept);
        for (int i = 11; i < 14; ++i) qvpLogPrintf(id, "dll", "record %02d", i);
        qvpLogClose(id);
        std::vector<std::string> texts;
        for (const char* file : {"DLL.LOG.1", "DLL.LOG"}) {
            if (!fs::exists(Log(file))) continue;
            for (const std::string& r : Split(ReadText(Log(file)), 128)) texts.push_back(r.substr(r.find("record "), 9));
        }
        ASSERT_EQ(texts.size(), 14u);
        for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], "record " + std::string(i < 10 ? "0" : "") + std::to_string(i));
        EXPECT_EQ(Split(ReadText(Log("DLL.LOG")), 128).size(), 1u) << "rotated once let go";
    }
}

// A rotation that copies (this process holds the log) killed in the middle of its copy, then a
// later rotation, by the holder (a rename) or by another writer while it holds the log (a copy):
// each generation holds whole records of one generation, in order, the oldest kept as long as
// if the killed rotation had never begun, and nothing of the killed copy is left. Another log's
// temporary, another name, and a link at a name of the copies' pattern stay as they are.
TEST_F(LogTest, ACopyKilledPartWayLeavesEveryGenerationWhole) {
    constexpr size_t kSize = 1000;  // a copy's 64 KiB chunks end inside a record
    constexpr int kCount = 100;
    // The record numbers a file holds, as runs ("0-99"); each record must be whole and numbered
    // in its generation from 1.
    const auto runs = [this](const char* file) {
        std::vector<int> numbers;
        const auto records = Split(ReadText(Log(file)), kSize);
        for (size_t i = 0; i < records.size(); ++i) {
            char sequence[24];
            std::snprintf(sequence, sizeof sequence, "%010zu", i + 1);
            EXPECT_EQ(records[i].substr(0, 10), sequence) << file;
            EXPECT_EQ(records[i].substr(kSize - 2), "\r\n") << file;
            const size_t at = records[i].find("record ");
            int n = -1;
            if (at != std::string::npos) std::sscanf(records[i].c_str() + at, "record %d", &n);
            numbers.push_back(n);
        }
        std::string out;
        for (size_t i = 0; i < numbers.size();) {
            size_t j = i;
            while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
            out += (out.empty() ? "" : " ") + std::to_string(numbers[i]) + (j > i ? "-" + std::to_string(numbers[j]) : "");
            i = j + 1;
        }
        return out;
    };
    struct Case {
        const char* what;
        bool laterCopies;
    };
    for (const Case& c : {Case{"the holder renames", false}, Case{"another writer copies", true}}) {
        SCOPED_TRACE(c.what);
        fs::remove_all(data() / "LOG");
        fs::remove(root() / "kept");
        WriteSettings("LogGenCount=3\nDLLLogRecordCount=100\nDLLLogRecordSize=1000\n");
        const int id = qvpLogOpen("DLL.LOG");
        int next = 0;
        const auto write = [id, &next](int records) {
            for (int i = 0; i < records; ++i) qvpLogPrintf(id, "dll", "record %03d", next++);
        };
        write(2 * kCount);  // renamed once: 0-99 in DLL.LOG.1, 100-199 in DLL.LOG, full
        // The next record rotates by copying (this process holds the file), killed a chunk in.
        EXPECT_EQ(qvptest::RunKilledAt(2, [&] { write(1); }, "DLL.LOG.1", win::fault::Call::WriteFile),
                  qvptest::ChildEnd::Killed);
        for (const char* file : {"DLL.LOG.1", "DLL.LOG.2"}) {
            if (fs::exists(Log(file))) runs(file);  // whole records only
        }
        EXPECT_EQ(runs("DLL.LOG"), "100-199");
        const fs::path link = Log("DLL.LOG.1.00000000000000ff.tmp");
        WriteText(root() / "kept", "kept");
        fs::create_symlink(root() / "kept", link);
        WriteText(Log("DLL.LOG.1.keep.tmp"), "mine");
        WriteText(Log("NODE.LOG.1.0123456789abcdef.tmp"), "another log's");
        if (c.laterCopies) {
            EXPECT_EQ(qvptest::RunKilledAt(0, [&] { write(1); }), qvptest::ChildEnd::Completed);
            ++next;
        } else {
            write(1);
        }
        write(5);
        qvpLogClose(id);
        EXPECT_EQ(runs("DLL.LOG.2"), "0-99");
        EXPECT_EQ(runs("DLL.LOG.1"), "100-199");
        EXPECT_EQ(runs("DLL.LOG"), "200-205");
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(data() / "LOG")) names.insert(e.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"DLL.LOG", "DLL.LOG.1", "DLL.LOG.2", link.filename().string(),
                                                "DLL.LOG.1.keep.tmp", "NODE.LOG.1.0123456789abcdef.tmp"}));
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(ReadText(root() / "kept"), "kept");
    }
}

// A writer that dies owning a log's lock (a process killed holding the mutex: abandoned) frees
// it for the next writer, which takes it as it is, writes and lets go: another process then
// gets it at once, abandoned still (0x80: a log writer never marks it), and writes its records.
// A child runs it all and is killed if it stalls; its children end with it.
TEST_F(LogTest, AWriterThatDiesOwningTheLockFreesItForTheNext) {
    const auto child = [](const std::function<int()>& body) {
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            _exit(body());
        }
        int status = 0;
        return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const int failed = qvptest::EndsWithin(20, [&] {
        const int id = qvpLogOpen("DLL.LOG");
        qvpLogWrite(id, "before", "dll");
        const char* name = "QVPAPI.LOG.DLL.LOG";
        if (child([name] {
                win::HANDLE m = win::CreateMutex(nullptr, win::FALSE, name);
                return m && win::WaitForSingleObject(m, win::INFINITE) == win::WAIT_OBJECT_0 ? 0 : 1;
            }) != 0)
            return 1;
        qvpLogWrite(id, "after the death", "dll");
        const int other = child([id, name] {
            win::HANDLE m = win::OpenMutex(win::SYNCHRONIZE, win::FALSE, name);
            const win::DWORD got = m ? win::WaitForSingleObject(m, 0) : win::WAIT_FAILED;
            if (got != win::WAIT_ABANDONED || !win::ReleaseMutex(m)) return got == win::WAIT_TIMEOUT ? 2 : 4;
            qvpLogWrite(id, "from another process", "dll");
            return 0;
        });
        qvpLogClose(id);
        const std::string text = ReadText(Log("DLL.LOG"));
        return (other < 0 ? 8 : other) | (text.find("after the death") == std::string::npos ? 16 : 0) |
               (text.find("from another process") == std::string::npos ? 32 : 0);
    });
    EXPECT_EQ(failed, 0);
}

// The open log follows its file: one removed behind its back starts again, and once the last
// user has closed the log nothing holds the file.
TEST_F(LogTest, LogFileRemovedOrReleased) {
    const int id = qvpLogOpen("NODEOPR.LOG");
    qvpLogWrite(id, "one", "dll");
    qvpLogWrite(id, "two", "dll");
    fs::remove(Log("NODEOPR.LOG"));
    qvpLogWrite(id, "three", "dll");
    auto records = Split(ReadText(Log("NODEOPR.LOG")), 1152);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].substr(0, 10), "0000000001");
    EXPECT_NE(records[0].find("three"), std::string::npos);
    // Held while open: the platform refuses to move it; free once closed.
    const std::string path = Log("NODEOPR.LOG").string();
    const std::string moved = path + ".moved";
    EXPECT_FALSE(win::MoveFile(path.c_str(), moved.c_str()));
    EXPECT_EQ(win::GetLastError(), 32u);
    for (int i = 0; i < 4; ++i) qvpLogClose(id);  // other tests of the suite left it open too
    EXPECT_TRUE(win::MoveFile(path.c_str(), moved.c_str()));
    // A write through an id nobody has open leaves nothing held either.
    qvpLogWrite(id, "four", "dll");
    EXPECT_TRUE(win::DeleteFile(path.c_str()));
}

TEST_F(LogTest, LongMessagesAreCutOnACharacterBoundary) {
    WriteSettings("DLLLogRecordSize=1152\nCLIENTLogRecordSize=128\n");
    // 1023 single bytes and one Shift-JIS character: the cut at 1024 bytes would split it.
    std::string message(1023, 'A');
    message += "\x82\xA0";
    message += "tail";
    const int id = qvpLogOpen("DLL.LOG");
    qvpLogWrite(id, message.c_str(), "dll");
    const auto records = Split(ReadText(Log("DLL.LOG")), 1152);
    ASSERT_EQ(records.size(), 1u);
    const size_t start = records[0].find('A');
    EXPECT_EQ(records[0].substr(start, 1024), std::string(1023, 'A') + " ");
    // A record shorter than the message cuts it too, never inside a character (the trail byte
    // 0x5C of this character must not be mistaken for a separator or split off).
    std::string dbcs(40, 'B');
    for (int i = 0; i < 30; ++i) dbcs += "\x95\x5C";
    const int client = qvpLogOpen("CLIENT.LOG");
    qvpLogWrite(client, dbcs.c_str(), "ar");
    const auto cut = Split(ReadText(Log("CLIENT.LOG")), 128);
    ASSERT_EQ(cut.size(), 1u);
    const std::string body = cut[0].substr(62 + 9, 128 - 2 - 71);
    size_t pairs = 0;
    size_t i = 40;
    while (i + 1 < body.size() && body[i] == '\x95' && body[i + 1] == '\x5C') {
        i += 2;
        ++pairs;
    }
    EXPECT_GT(pairs, 0u);
    EXPECT_EQ(body.find_first_not_of(' ', i), std::string::npos) << "half a character left";
}

TEST_F(LogTest, TraceHooksWriteNothing) {
    qvpLogTrace("%s", "invisible");
    qvpLogTrace2("%s", "invisible");
    qvpLogTrace3("%s", "invisible");
    EXPECT_FALSE(fs::exists(data() / "LOG"));
}

}  // namespace
