// Ending a writer part way as a kill would: a forked child runs it with the platform layer set to
// end the process on entry to its Nth counted call, and the parent looks at what is left.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/win.h"
#include "support/child_process.h"

namespace qvptest {

enum class ChildEnd { Killed, Completed, Other };

// ThreadSanitizer ends a child that starts a thread when the process it forked from had threads
// of its own: tests doing so skip under it with this reason (null when they can run).
#if defined(__SANITIZE_THREAD__)
constexpr const char* kNoThreadsAfterFork =
    "ThreadSanitizer cannot run threads started in the child of a multi-threaded process";
#else
constexpr const char* kNoThreadsAfterFork = nullptr;
#endif

// The sanitizers' allocators take no lock around a fork: a child forked while another thread of
// its process allocates can stall at its first allocation, as the system allocator never lets it.
// Tests that fork while their own threads work skip under them with this reason.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr const char* kNoForkWhileThreadsAllocate =
    "the sanitizer's allocator can be held by another thread at a fork, and the child then stalls";
#else
constexpr const char* kNoForkWhileThreadsAllocate = nullptr;
#endif

// Runs `body` in a child ended at its `nth` counted call (0: never); counted are the calls whose
// path holds `filter`, of kind `call` (Call::Count: every kind).
inline ChildEnd RunKilledAt(unsigned nth, const std::function<void()>& body, std::string_view filter = {},
                            win::fault::Call call = win::fault::Call::Count) {
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = fork();
    if (pid == 0) {
        win::fault::Reset();
        win::fault::Watch(filter);
        if (nth != 0) win::fault::ExitAtNth(nth, call);
        body();  // a throw ends the child by a signal: neither killed nor complete
        _exit(0);
    }
    const int code = ExitCode(WaitChild(pid));  // a stalled child is Other
    if (code == win::fault::kKilledExit) return ChildEnd::Killed;
    return code == 0 ? ChildEnd::Completed : ChildEnd::Other;
}

// For N = 1, 2, ... until a child completes: `prepare` in the parent, `body` killed at call N,
// then `check(N, completed)`. A child ending otherwise, or none completing within 5000 steps,
// fails the test. Returns the steps walked.
inline unsigned WalkKillSteps(const std::function<void()>& prepare, const std::function<void()>& body,
                              const std::function<void(unsigned step, bool completed)>& check,
                              std::string_view filter = {}, win::fault::Call call = win::fault::Call::Count) {
    for (unsigned step = 1; step <= 5000; ++step) {
        prepare();
        const ChildEnd end = RunKilledAt(step, body, filter, call);
        if (end == ChildEnd::Other) ADD_FAILURE() << "the child ended neither killed nor complete at step " << step;
        if (end != ChildEnd::Other) check(step, end == ChildEnd::Completed);
        if (end != ChildEnd::Killed) return step;
    }
    ADD_FAILURE() << "no child completed within 5000 steps";
    return 5000;
}

// Runs `body` in a child given `seconds` to end (a watchdog for calls that could stall): its exit
// code, or -1 when it was still running then and was killed (or ended by a signal).
inline int EndsWithin(int seconds, const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // what it starts goes with it if it has to be killed
        _exit(body());
    }
    if (pid > 0) setpgid(pid, pid);  // either side may come first
    const std::optional<int> status = WaitChild(pid, std::chrono::seconds(seconds));
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

}  // namespace qvptest
