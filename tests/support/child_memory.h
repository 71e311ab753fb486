// Runs a call in a forked child and tells how far the child's peak resident memory grew, so a
// test can show that a planted file was not read into memory (no timing involved).
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "qvpapi.h"
#include "support/kill_steps.h"

namespace qvptest {

// Under ASan freed blocks wait in its quarantine, so a peak counts every copy a call ever made,
// not the most it held at once, and ThreadSanitizer's shadow of every byte touched grows it too:
// only the bounds far below a planted file's size hold there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPeakCountsHeldCopies = false;
#else
constexpr bool kPeakCountsHeldCopies = true;
#endif

struct ChildRun {
    bool ran = false;   // the child reported back
    int result = 0;     // what `call` returned
    uint32_t code = 0;  // the last error after it
    long grownKiB = 0;  // growth of the child's peak resident size during the call
};
inline ChildRun RunInChild(const std::function<int()>& call) {
    void* shared = mmap(nullptr, sizeof(ChildRun), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return {};
    auto* out = new (shared) ChildRun{};
    RunKilledAt(0, [&] {  // never killed
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const long before = usage.ru_maxrss;
        *out = ChildRun{false, call(), qvAPIGetLastError(), 0};
        getrusage(RUSAGE_SELF, &usage);
        out->grownKiB = usage.ru_maxrss - before;
        out->ran = true;
    });
    const ChildRun run = *out;
    munmap(shared, sizeof(ChildRun));
    return run;
}

// Makes `path` (its bytes kept, made when missing) `size` bytes long, sparse, with `text` at `at`.
inline bool PlantSparseAt(const std::filesystem::path& path, uint64_t at, std::string_view text, uint64_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool planted = ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                         pwrite(fd, text.data(), text.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(text.size());
    close(fd);
    return planted;
}

// What the regular files at or below `path` really hold on disk (holes cost nothing), links
// not followed.
inline uint64_t DiskBytes(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    const auto blocks = [](const fs::path& p) {
        struct stat st{};
        return lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? uint64_t(st.st_blocks) * 512 : 0;
    };
    uint64_t bytes = blocks(path);
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec)))
        for (const auto& e : fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec))
            bytes += blocks(e.path());
    return bytes;
}

constexpr uint64_t kOneGiB = uint64_t{1} << 30;
// What a copy of a planted sparse file may really take on disk.
constexpr uint64_t kSparseCopyBytes = uint64_t{4} << 20;
// What a call may grow by while refusing a planted file it never reads.
constexpr long kRefusalGrowthKiB = 64 * 1024;

// Plants `size` zero bytes at `path` (sparse: nothing on disk), `head` over the first ones,
// and expects `call`, run in a child, to fail as an unreadable file (0) without reading it,
// changing it or filling a block of it in.
inline void ExpectPlantedRefusedUnread(const std::filesystem::path& path, uint64_t size,
                                       const std::function<int()>& call, std::string_view head = {}) {
    std::filesystem::resize_file(path, 0);
    ASSERT_TRUE(PlantSparseAt(path, 0, head, size));
    const ChildRun run = RunInChild(call);
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.code, QVAPI_ERR_RESOURCE);
    EXPECT_LT(run.grownKiB, kRefusalGrowthKiB);
    EXPECT_EQ(std::filesystem::file_size(path), size);
    EXPECT_LT(DiskBytes(path), kSparseCopyBytes);
}

}  // namespace qvptest
