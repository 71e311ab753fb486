#include "support/kill_steps.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace qvptest {

namespace {

constexpr int kBodyThrew = 87;

}  // namespace

ChildEnd RunKilledAt(unsigned nth, const std::function<void()>& body, std::string_view filter,
                     win::fault::Call call) {
    // Nothing buffered in the parent is written twice by the child.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return ChildEnd::Other;
    if (pid == 0) {
        win::fault::Reset();
        win::fault::Watch(filter);
        if (nth != 0) win::fault::ExitAtNth(nth, call);
        try {
            body();
        } catch (...) {
            _exit(kBodyThrew);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return ChildEnd::Other;
    if (!WIFEXITED(status)) return ChildEnd::Other;
    if (WEXITSTATUS(status) == win::fault::kKilledExit) return ChildEnd::Killed;
    return WEXITSTATUS(status) == 0 ? ChildEnd::Completed : ChildEnd::Other;
}

unsigned WalkKillSteps(const std::function<void()>& prepare, const std::function<void()>& body,
                       const std::function<void(unsigned step, bool completed)>& check,
                       std::string_view filter, win::fault::Call call, unsigned limit) {
    for (unsigned step = 1; step <= limit; ++step) {
        prepare();
        const ChildEnd end = RunKilledAt(step, body, filter, call);
        if (end == ChildEnd::Other) {
            ADD_FAILURE() << "the child ended neither killed nor complete at step " << step;
            return step;
        }
        check(step, end == ChildEnd::Completed);
        if (end == ChildEnd::Completed) return step;
    }
    ADD_FAILURE() << "the child did not complete within " << limit << " steps";
    return limit;
}

}  // namespace qvptest
