// Archive writer and extractor against GNU tar, in one run, on tmpfs: 20,000 small files
// (about 100 MB) and 8 files of 128 MiB. Prints MB/s, files/s and library time / tar time
// (extraction: at most 1.2 is the goal). Extraction is measured with and without flushing each
// file.
// Usage: ar_bench [folder, default /dev/shm] [small]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "client/ar/archiver.h"
#include "client/ar/ar_context.h"
#include "platform/win.h"

namespace fs = std::filesystem;

namespace {

struct DataSet {
    const char* name;
    int files;
    uint64_t bytes;
};

double seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best of `runs`, with `prepare` (untimed) before each.
double best(int runs, const std::function<void()>& prepare, const std::function<void()>& f) {
    double b = 1e30;
    for (int i = 0; i < runs; ++i) {
        prepare();
        b = std::min(b, seconds(f));
    }
    return b;
}

void run(const std::string& cmd) {
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

DataSet makeSmallFiles(const fs::path& src) {
    std::string block(5000, 'a');
    uint64_t bytes = 0;
    for (int d = 0; d < 200; ++d) {
        fs::path dir = src / ("dir" + std::to_string(d));
        fs::create_directories(dir);
        for (int f = 0; f < 100; ++f) {
            block[f % block.size()] = char('a' + (d + f) % 26);
            std::ofstream(dir / ("file" + std::to_string(f) + ".dat"), std::ios::binary) << block;
            bytes += block.size();
        }
    }
    return {"20000 small files", 20000, bytes};
}

DataSet makeLargeFiles(const fs::path& src) {
    fs::create_directories(src);
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = char(i * 2654435761u >> 24);
    for (int f = 0; f < 8; ++f) {
        std::ofstream out(src / ("big" + std::to_string(f) + ".bin"), std::ios::binary);
        for (int m = 0; m < 128; ++m) out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    return {"8 files of 128 MiB", 8, 8ull << 27};
}

void report(const char* what, const DataSet& set, double lib, double tar) {
    double mb = double(set.bytes) / 1e6;
    std::printf("  %-28s library %8.1f MB/s %9.0f files/s | tar %8.1f MB/s %9.0f files/s | ratio %.2f\n",
                what, mb / lib, set.files / lib, mb / tar, set.files / tar, lib / tar);
}

void measure(const fs::path& work, const DataSet& set, const fs::path& src) {
    const int runs = 3;
    fs::path arc = work / "set.qvz";
    fs::path tarFile = work / "set.tar";
    std::printf("%s (%.1f MB)\n", set.name, double(set.bytes) / 1e6);

    auto clearArc = [&] { fs::remove(arc); };
    double wLib = best(runs, clearArc, [&] {
        if (qvpcarCreateArcFile(src.c_str(), nullptr, 0, 0, nullptr, arc.c_str(), 0) != 0) std::exit(2);
    });
    auto clearTar = [&] { fs::remove(tarFile); };
    std::string tarC = "tar -cf '" + tarFile.string() + "' -C '" + work.string() + "' src";
    double wTar = best(runs, clearTar, [&] { run(tarC); });
    report("write vs tar -cf", set, wLib, wTar);

    fs::path out = work / "out";
    auto clearOut = [&] { fs::remove_all(out); };
    auto extract = [&](bool flush) {
        ar::ArContext ctx;
        ctx.flushExtractedFiles = flush;
        if (qvparMain(ctx, arc.c_str(), out.c_str(), 1) != 0) std::exit(3);
    };
    double xLib = best(runs, clearOut, [&] { extract(true); });
    double xLibNoFlush = best(runs, clearOut, [&] { extract(false); });
    std::string tarX = "mkdir -p '" + out.string() + "' && tar -xf '" + tarFile.string() + "' -C '" +
                       out.string() + "'";
    double xTar = best(runs, clearOut, [&] { run(tarX); });
    report("extract (flush) vs tar -xf", set, xLib, xTar);
    report("extract (no flush) vs tar -xf", set, xLibNoFlush, xTar);
    clearOut();
    clearArc();
    clearTar();
}

}  // namespace

int main(int argc, char** argv) {
    fs::path base = argc > 1 ? fs::path(argv[1]) : fs::path("/dev/shm");
    fs::path work = base / ("qvp-ar-bench-" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work / "data");
    fs::create_directories(work / "run");
    std::ofstream(work / "qvpapi.conf") << "[QVPAPI]\nPathName=" << (work / "data").string()
                                        << "\n[Platform]\nRunDir=" << (work / "run").string() << "\n";
    win::registry::LoadFrom((work / "qvpapi.conf").string());
    std::printf("archiver vs GNU tar on %s (best of 3)\n", base.c_str());

    // A second argument "small" runs only the small files (for slow disks).
    bool smallOnly = argc > 2 && std::string(argv[2]) == "small";
    fs::path src = work / "src";
    measure(work, makeSmallFiles(src), src);
    fs::remove_all(src);
    if (!smallOnly) measure(work, makeLargeFiles(src), src);
    fs::remove_all(work);
    return 0;
}
