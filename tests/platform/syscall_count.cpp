// Stand-ins for open, openat, stat, lstat, fstat and fcntl that count and pass on to the next
// definition (the C library's, or a sanitizer's in front of it). Kept apart from the system
// headers that declare these functions, some of which define inline wrappers of their own.
#include <asm/fcntl.h>  // the flag values only
#include <dlfcn.h>

#include <cstdarg>

#include "syscall_count.h"

struct stat;

namespace {
thread_local bool t_counting = false;
thread_local qvp_test::SyscallCounts t_counts;

template <class F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace

namespace qvp_test {
Counting::Counting() {
    t_counts = {};
    t_counting = true;
}
Counting::~Counting() { t_counting = false; }
SyscallCounts Counting::counts() const { return t_counts; }
}  // namespace qvp_test

extern "C" {

// The mode argument, which only a creating open has.
static unsigned ModeOf(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? va_arg(ap, unsigned) : 0;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const unsigned mode = ModeOf(flags, ap);
    va_end(ap);
    static auto next = Next<int (*)(const char*, int, ...)>("open");
    if (t_counting) ++t_counts.opens;
    return next(path, flags, mode);
}

int openat(int dirFd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const unsigned mode = ModeOf(flags, ap);
    va_end(ap);
    static auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    if (t_counting) ++t_counts.opens;
    return next(dirFd, path, flags, mode);
}

int stat(const char* path, struct stat* st) {
    static auto next = Next<int (*)(const char*, struct stat*)>("stat");
    if (t_counting) ++t_counts.pathStats;
    return next(path, st);
}

int lstat(const char* path, struct stat* st) {
    static auto next = Next<int (*)(const char*, struct stat*)>("lstat");
    if (t_counting) ++t_counts.pathStats;
    return next(path, st);
}

int fstat(int fd, struct stat* st) {
    static auto next = Next<int (*)(int, struct stat*)>("fstat");
    if (t_counting) ++t_counts.fdStats;
    return next(fd, st);
}

int fcntl(int fd, int cmd, ...) {
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);  // every command takes at most one word (as the C library reads it)
    va_end(ap);
    static auto next = Next<int (*)(int, int, ...)>("fcntl");
    if (t_counting) ++t_counts.locks;
    return next(fd, cmd, arg);
}

}  // extern "C"
