// A test's children, waited on with a bound: a child that stalls, or one that leaves a descendant
// holding its pipe, fails the test that started it instead of hanging the suite.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qvptest {

// The longest a test waits on a child: far beyond what any needs on a loaded machine, and short
// of ctest's timeout, so that the test itself says which child stalled.
inline constexpr std::chrono::milliseconds kChildBound = std::chrono::seconds(120);

// Waits for the child `pid` to end, at most `bound`; past it the child is killed. A child that
// leads its own process group takes the whole group with it, ended or killed. Then it is reaped.
// Its wait status, or nullopt when it was killed for the bound (or is no child of this process).
std::optional<int> WaitChild(pid_t pid, std::chrono::milliseconds bound = kChildBound);

// The child's exit code, 128 + the signal that ended it, or -1 when it was killed for the bound.
int ExitCode(const std::optional<int>& status);

// Reads up to `length` bytes of a pipe a child writes, waiting at most `bound` for them: what
// read(2) gives, or -1 when nothing came within the bound.
ssize_t ReadWithin(int fd, void* data, size_t length, std::chrono::milliseconds bound = kChildBound);

// A program run as a child in its own process group, SIGINT, SIGTERM and SIGPIPE at their
// defaults, stdin /dev/null, its stdout and stderr on one pipe read here with deadlines. Its group
// is killed and the child reaped when it goes; the program is killed as well when the thread
// that made it ends first (a test killed for a stall).
class ChildProgram {
public:
    explicit ChildProgram(const std::vector<std::string>& argv);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t pid() const { return pid_; }
    // The next line without its newline; nullopt at the end of its output or when no whole line
    // came within `bound`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds bound = kChildBound);
    // What it says until it closes its output, read for at most `bound`.
    std::string ReadToEnd(std::chrono::milliseconds bound = kChildBound);
    // To its whole process group.
    void Signal(int signal) const;
    // As WaitChild; once reaped, the same status again.
    std::optional<int> Wait(std::chrono::milliseconds bound = kChildBound);

private:
    // Reads what is there, waiting until `deadline` for some: false at the end or past it.
    bool Fill(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int output_ = -1;
    std::string unread_;
    bool reaped_ = false;
    std::optional<int> status_;
};

}  // namespace qvptest
