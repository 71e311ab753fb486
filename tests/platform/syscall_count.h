// Counts the calling thread's path opens, path status reads and lock calls while a Counting
// scope is alive (syscall_count.cpp puts itself in front of the C library's functions), so
// that tests can hold the layer to a budget of system calls.
#pragma once

namespace qvp_test {

struct SyscallCounts {
    int opens = 0;      // open, openat
    int pathStats = 0;  // stat, lstat
    int fdStats = 0;    // fstat
    int locks = 0;      // fcntl
};

class Counting {
public:
    Counting();
    ~Counting();
    Counting(const Counting&) = delete;
    Counting& operator=(const Counting&) = delete;
    SyscallCounts counts() const;
};

}  // namespace qvp_test
