// Open + close of an existing file below the install root through the layer (path translation,
// no link passed, share-mode markers, handle table) against plain open + close of the same file,
// in one run; prints the ratio (goal: at most 2.6x). And creating small new files (create, write
// 512 bytes, close; 20,000 to a folder, as an archive extraction does) through the layer against
// plain open(O_CREAT | O_EXCL) + write + close, on tmpfs when there is one.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/win.h"

namespace {

std::string gRoot;
std::string gPosix;

void BM_PlainOpenClose(benchmark::State& state) {
    for (auto _ : state) {
        const int fd = open(gPosix.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) state.SkipWithError("open");
        close(fd);
    }
}

void BM_LayerOpenClose(benchmark::State& state) {
    for (auto _ : state) {
        win::HANDLE h = win::CreateFile("C:\\ZARNQVP\\SERVER\\ZARNQV\\MNGFL\\NODEDEF\\C.host0001", win::GENERIC_READ,
                                        win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING, 0, nullptr);
        if (h == win::INVALID_HANDLE_VALUE) state.SkipWithError("CreateFile");
        win::CloseHandle(h);
    }
}

void BM_LayerOpenCloseExclusive(benchmark::State& state) {
    for (auto _ : state) {
        win::HANDLE h = win::CreateFile("C:\\ZARNQVP\\SERVER\\ZARNQV\\MNGFL\\NODEDEF\\C.host0001",
                                        win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING, 0,
                                        nullptr);
        if (h == win::INVALID_HANDLE_VALUE) state.SkipWithError("CreateFile");
        win::CloseHandle(h);
    }
}

// New files: each repetition fills a fresh folder with kNewFiles files.
constexpr int kNewFiles = 20000;
std::string gNewBase;    // POSIX folder of the new-file folders
std::string gStoreBase;  // the same below the install root
int gNewRun = 0;
const std::string kPayload(512, 'd');

std::string NewFolder(const std::string& base = gNewBase) {
    const std::string name = "new" + std::to_string(++gNewRun);
    std::filesystem::create_directories(base + "/" + name);
    return name;
}

void BM_PlainCreateWriteClose(benchmark::State& state) {
    const std::string dir = gNewBase + "/" + NewFolder() + "/";
    int n = 0;
    char name[32];
    for (auto _ : state) {
        snprintf(name, sizeof name, "f%06d.dat", n++);
        const int fd = open((dir + name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, kPayload.data(), kPayload.size()) != ssize_t(kPayload.size())) state.SkipWithError("open");
        close(fd);
    }
    std::filesystem::remove_all(dir);  // after the timed loop
}

// How the archive extractor writes a file: read-write, sharing nothing.
void LayerCreate(benchmark::State& state, win::DWORD disposition, bool inStore = false) {
    const std::string& base = inStore ? gStoreBase : gNewBase;
    const std::string folder = NewFolder(base);
    const std::string dir = (inStore ? "C:\\ZARNQVP\\NEW\\" : "C:\\NEW\\") + folder + "\\";
    int n = 0;
    char name[32];
    for (auto _ : state) {
        snprintf(name, sizeof name, "f%06d.dat", n++);
        win::HANDLE h = win::CreateFile((dir + name).c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                        disposition, 0, nullptr);
        win::DWORD wrote = 0;
        if (h == win::INVALID_HANDLE_VALUE || !win::WriteFile(h, kPayload.data(), win::DWORD(kPayload.size()), &wrote, nullptr))
            state.SkipWithError("CreateFile");
        win::CloseHandle(h);
    }
    std::filesystem::remove_all(base + "/" + folder);  // after the timed loop
}
void BM_LayerCreateNewWriteClose(benchmark::State& state) { LayerCreate(state, win::CREATE_NEW); }
void BM_LayerCreateAlwaysWriteClose(benchmark::State& state) { LayerCreate(state, win::CREATE_ALWAYS); }
// Below the install root, where no link on the way to the file is passed.
void BM_LayerCreateNewInStoreWriteClose(benchmark::State& state) { LayerCreate(state, win::CREATE_NEW, true); }

BENCHMARK(BM_PlainOpenClose);
BENCHMARK(BM_LayerOpenClose);
BENCHMARK(BM_LayerOpenCloseExclusive);
BENCHMARK(BM_PlainCreateWriteClose)->Iterations(kNewFiles)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LayerCreateNewWriteClose)->Iterations(kNewFiles)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LayerCreateAlwaysWriteClose)->Iterations(kNewFiles)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LayerCreateNewInStoreWriteClose)->Iterations(kNewFiles)->Repetitions(5)->ReportAggregatesOnly(true);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name.empty()) nanos[run.benchmark_name()] = run.GetAdjustedRealTime();
            else nanos[run.run_name.function_name + "_" + run.aggregate_name] = run.GetAdjustedRealTime();
        }
    }
    std::map<std::string, double> nanos;
};

}  // namespace

int main(int argc, char** argv) {
    // tmpfs where there is one: the figures are then the layer's, not the disk's.
    char tmpl[] = "/dev/shm/qvp-bench-files-XXXXXX";
    char fallback[] = "/tmp/qvp-bench-files-XXXXXX";
    char* made = mkdtemp(tmpl);
    if (!made) made = mkdtemp(fallback);
    if (!made) return 1;
    gRoot = made;
    const std::string drive = gRoot + "/c";
    const std::string dir = drive + "/ZARNQVP/SERVER/ZARNQV/MNGFL/NODEDEF";
    std::filesystem::create_directories(dir);
    gPosix = dir + "/C.host0001";
    std::ofstream(gPosix) << std::string(1652, 'n');
    gNewBase = drive + "/NEW";
    std::filesystem::create_directories(gNewBase);
    gStoreBase = drive + "/ZARNQVP/NEW";
    std::filesystem::create_directories(gStoreBase);
    std::ofstream(gRoot + "/qvpapi.conf") << "[Platform]\nDriveC=" << drive << "\nRunDir=" << gRoot << "/run\n";
    win::registry::LoadFrom(gRoot + "/qvpapi.conf");

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double plain = reporter.nanos["BM_PlainOpenClose"];
    if (plain > 0) {
        printf("\nopen+close, layer (shared read) / plain open+close: %.2fx (%.0f ns vs %.0f ns; goal <= 2.6x)\n",
               reporter.nanos["BM_LayerOpenClose"] / plain, reporter.nanos["BM_LayerOpenClose"], plain);
        printf("open+close, layer (exclusive read-write) / plain open+close: %.2fx (%.0f ns)\n",
               reporter.nanos["BM_LayerOpenCloseExclusive"] / plain, reporter.nanos["BM_LayerOpenCloseExclusive"]);
    }
    const double plainNew = reporter.nanos["BM_PlainCreateWriteClose_median"];
    if (plainNew > 0) {
        printf("new file create+write+close (%s), plain open(O_CREAT|O_EXCL): %.0f ns\n", gRoot.c_str(), plainNew);
        for (const char* name :
             {"BM_LayerCreateNewWriteClose", "BM_LayerCreateAlwaysWriteClose", "BM_LayerCreateNewInStoreWriteClose"}) {
            const double layer = reporter.nanos[std::string(name) + "_median"];
            printf("  %-32s %.0f ns, %.2fx plain\n", name + 3, layer, layer / plainNew);
        }
    }
    std::filesystem::remove_all(gRoot);
    return 0;
}
