#include "support/child_memory.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "qvpapi.h"

namespace qvptest {

namespace {

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

ChildRun RunInChild(const std::function<int()>& call) {
    int pipeEnds[2];
    ChildRun run;
    if (pipe(pipeEnds) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        ChildRun out;
        const long before = PeakKiB();
        out.result = call();
        out.code = qvAPIGetLastError();
        out.grownKiB = PeakKiB() - before;
        out.ran = true;
        (void)!write(pipeEnds[1], &out, sizeof out);
        _exit(0);
    }
    close(pipeEnds[1]);
    if (child > 0) {
        if (read(pipeEnds[0], &run, sizeof run) != static_cast<ssize_t>(sizeof run)) run.ran = false;
        waitpid(child, nullptr, 0);
    }
    close(pipeEnds[0]);
    return run;
}

void PlantSparseFile(const char* path, uint64_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    (void)!ftruncate(fd, static_cast<off_t>(size));
    close(fd);
}

bool PlantSparseAt(const std::filesystem::path& path, uint64_t at, std::string_view text, uint64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0) return false;
    const bool planted = ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                         pwrite(fd, text.data(), text.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(text.size());
    close(fd);
    return planted;
}

}  // namespace qvptest
