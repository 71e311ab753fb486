#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

namespace qvptest {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// Waits until `fd` has something to read (or its writers are gone): false past the deadline.
bool WaitReadable(int fd, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, MillisecondsLeft(deadline));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
        if (ready == 0 && Clock::now() >= deadline) return false;
    }
}

}  // namespace

std::optional<int> WaitChild(pid_t pid, std::chrono::milliseconds bound) {
    if (pid <= 0) return std::nullopt;
    const auto deadline = Clock::now() + bound;
    // Seen ended but not reaped: its pid, and so its group's id, is not reused meanwhile.
    bool ended = false;
    while (!ended && Clock::now() < deadline) {
        siginfo_t info{};
        if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            if (errno == EINTR) continue;
            return std::nullopt;  // no child of ours
        }
        ended = info.si_pid == pid;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // What it started in its group goes with it.
    if (getpgid(pid) == pid) kill(-pid, SIGKILL);
    if (!ended) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return std::nullopt;
    if (!ended) return std::nullopt;
    return status;
}

int ExitCode(const std::optional<int>& status) {
    if (!status) return -1;
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + WTERMSIG(*status);
}

ssize_t ReadWithin(int fd, void* data, size_t length, std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    for (;;) {
        if (!WaitReadable(fd, deadline)) return -1;
        const ssize_t n = read(fd, data, length);
        if (n >= 0 || (errno != EINTR && errno != EAGAIN)) return n;
    }
}

ChildProgram::ChildProgram(const std::vector<std::string>& argv) {
    int out[2];
    if (argv.empty() || pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only what is safe between fork and exec in a process with threads.
        setpgid(0, 0);
        // A test killed for a stall (its destructors never run) leaves no program behind.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        for (int s : {SIGINT, SIGTERM, SIGPIPE}) sigaction(s, &defaults, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null < 0 || dup2(null, 0) < 0 || dup2(out[1], 1) < 0 || dup2(out[1], 2) < 0) _exit(127);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid > 0) {
        setpgid(pid, pid);  // here as well: signalled at once, it leads its group already
        pid_ = pid;
    }
    close(out[1]);
    output_ = out[0];
}

ChildProgram::~ChildProgram() {
    if (pid_ > 0 && !reaped_) {
        Signal(SIGKILL);
        Wait();
    }
    if (output_ >= 0) close(output_);
}

bool ChildProgram::Fill(Clock::time_point deadline) {
    if (output_ < 0 || !WaitReadable(output_, deadline)) return false;
    char chunk[4096];
    const ssize_t n = read(output_, chunk, sizeof chunk);
    if (n <= 0) return n < 0 && errno == EINTR;
    unread_.append(chunk, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> ChildProgram::ReadLine(std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    size_t end;
    while ((end = unread_.find('\n')) == std::string::npos)
        if (!Fill(deadline)) return std::nullopt;
    std::string line = unread_.substr(0, end);
    unread_.erase(0, end + 1);
    return line;
}

std::string ChildProgram::ReadToEnd(std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    while (Fill(deadline)) {
    }
    return std::exchange(unread_, {});
}

void ChildProgram::Signal(int signal) const {
    if (pid_ > 0 && !reaped_) kill(-pid_, signal);
}

std::optional<int> ChildProgram::Wait(std::chrono::milliseconds bound) {
    if (pid_ <= 0 || reaped_) return status_;
    status_ = WaitChild(pid_, bound);
    reaped_ = true;
    return status_;
}

}  // namespace qvptest
