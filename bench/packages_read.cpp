// Reading a registered package of 256 MiB through qvAPIReadPackageFile (65534 bytes a call, the
// most one call takes) next to `cat` of the same file into /dev/null, in the same run with the
// file in the page cache for both. The ratio is the library's time over cat's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "qvpapi.h"
#include "support/temp_root.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kPackageSize = size_t{256} << 20;

void WritePackage(const fs::path& data) {
    QVAPI_PACKAGE record;
    std::memset(&record, 0, sizeof record);
    qvp::putBe16(&record.wLength, QVAPI_PACKAGE_SIZE);
    const std::string key = "CB1bench" + std::string(39, ' ') + "1       0001";
    std::memcpy(&record.cQvCode, key.data(), key.size());
    std::memcpy(record.szResourceName, "PBENCH01", 8);
    fs::create_directories(data / "SERVER/ZARNQV/MNGFL/ATTRIBUTION");
    fs::create_directories(data / "SERVER/ZARNQV/RESOURCE");
    std::ofstream(data / "SERVER/ZARNQV/MNGFL/ATTRIBUTION/C.B1.bench.1.0001", std::ios::binary)
        .write(reinterpret_cast<const char*>(&record), sizeof record);
    std::ofstream out(data / "SERVER/ZARNQV/RESOURCE/RBENCH01", std::ios::binary);
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131);
    for (size_t done = 0; done < kPackageSize; done += chunk.size()) out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
}

// Bytes read through the package handle; 0 on failure.
size_t ReadThroughLibrary() {
    char version[] = "1";
    QVPAPI_HANDLE package = qvAPIOpenPackage('C', "B1", "bench", version, "0001", 0, 0);
    if (package == QVPAPI_INVALID_HANDLE) return 0;
    static std::vector<char> buffer(QVAPI_PACKAGE_READ_MAX);
    size_t total = 0;
    uint32_t got = 0;
    while (qvAPIReadPackageFile(package, buffer.data(), QVAPI_PACKAGE_READ_MAX, &got) == 1 && got > 0) total += got;
    qvAPIClosePackage(package);
    return total;
}

bool Cat(const fs::path& file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::string path = file.string();
    char cat[] = "cat";
    char* argv[] = {cat, path.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "cat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_ReadPackageFileAgainstCat(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-packages-");
    qvptest::WriteRootSettings(root);
    WritePackage(root / "data");
    const fs::path file = root / "data/SERVER/ZARNQV/RESOURCE/RBENCH01";
    if (ReadThroughLibrary() != kPackageSize || !Cat(file)) {  // warms the page cache too
        state.SkipWithError("the package cannot be read");
        fs::remove_all(root);
        return;
    }
    double libraryMs = 0, catMs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        benchmark::DoNotOptimize(ReadThroughLibrary());
        libraryMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        start = Clock::now();
        Cat(file);
        catMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    fs::remove_all(root);
    state.counters["library_ms"] = libraryMs;
    state.counters["cat_ms"] = catMs;
    state.counters["ratio"] = libraryMs / catMs;
    std::printf("256 MiB package: qvAPIReadPackageFile %.1f ms, cat %.1f ms, ratio %.2f\n", libraryMs, catMs,
                libraryMs / catMs);
}
BENCHMARK(BM_ReadPackageFileAgainstCat)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
