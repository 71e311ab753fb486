// Lookup of a node definition by name in stores of 1,000, 10,000 and 100,000 definitions,
// next to reading the one definition file directly (open, read 1652 bytes, close). The names
// measured are "pc00001" upward, stored first, which cluster on few hashes, and random names
// stored after them; the rest of each store is random names. A lookup should cost the same in
// every store: it follows only the synonyms of its own hash.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/block.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"

// Node specs name only the fields they need.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

namespace fs = std::filesystem;
using qvptest::NodeStoreBuilder;

constexpr int kMeasured = 200;  // names of each kind that are looked up

struct Store {
    fs::path root;
    std::vector<std::string> clustered;  // pc names
    std::vector<std::string> random;
    std::vector<std::string> files;      // their definition files, for the direct read
    std::vector<std::string> randomFiles;
};

std::string RandomName(std::mt19937& rng) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789-";
    std::uniform_int_distribution<int> len(5, 20), ch(0, sizeof kChars - 2);
    std::string s(len(rng), 'a');
    for (char& c : s) c = kChars[ch(rng)];
    s[0] = 'r';
    return s;
}

Store& StoreOf(int size) {
    static std::map<int, std::unique_ptr<Store>> stores;
    auto& slot = stores[size];
    if (slot) return *slot;
    slot = std::make_unique<Store>();
    Store& s = *slot;
    s.root = fs::temp_directory_path() / ("qvp-bench-nodes-" + std::to_string(size));
    fs::remove_all(s.root);
    NodeStoreBuilder builder(s.root);
    std::map<uint32_t, int> perHash;
    auto fits = [&](const std::string& name) { return perHash[NodeStoreBuilder::ComponentHash(name)] < 257; };
    auto add = [&](const std::string& name) {
        ++perHash[NodeStoreBuilder::ComponentHash(name)];
        QVAPI_NODE r = builder.AddNode({.name = name});
        return builder.DefinitionPath(r).string();
    };
    char name[16];
    for (int i = 1; i <= kMeasured; ++i) {
        std::snprintf(name, sizeof name, "pc%05d", i);
        s.clustered.push_back(name);
        s.files.push_back(add(name));
    }
    std::mt19937 rng(42);
    std::map<std::string, bool> used;
    while (static_cast<int>(s.random.size()) < kMeasured) {
        std::string n = RandomName(rng);
        if (used[n] || !fits(n)) continue;
        used[n] = true;
        s.random.push_back(n);
        s.randomFiles.push_back(add(n));
    }
    for (int i = 2 * kMeasured; i < size;) {
        std::string n = RandomName(rng);
        if (used[n] || !fits(n)) continue;
        used[n] = true;
        add(n);
        ++i;
    }
    return s;
}

void UseStore(const Store& s) {
    win::registry::Set("PathName", s.root.string());
    QVPAPI* block = qvpGetThreadBlock();
    block->systemManagementKey = 0;
    qvAPIExpandLevel(5);
}

void BM_LibraryLookup(benchmark::State& state, bool clustered) {
    Store& s = StoreOf(static_cast<int>(state.range(0)));
    UseStore(s);
    const auto& names = clustered ? s.clustered : s.random;
    QVAPI_NODE record;
    size_t i = 0;
    for (auto _ : state) {
        if (!qvAPIGetClientDefinitionByName(names[i++ % names.size()].c_str(), &record)) {
            state.SkipWithError("lookup failed");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
}

// The outside reference: the definition file read directly with POSIX calls.
void BM_DirectRead(benchmark::State& state, bool clustered) {
    Store& s = StoreOf(static_cast<int>(state.range(0)));
    const auto& files = clustered ? s.files : s.randomFiles;
    QVAPI_NODE record;
    size_t i = 0;
    for (auto _ : state) {
        int fd = ::open(files[i++ % files.size()].c_str(), O_RDONLY);
        ssize_t n = fd >= 0 ? ::read(fd, &record, sizeof record) : -1;
        if (fd >= 0) ::close(fd);
        if (n != static_cast<ssize_t>(sizeof record)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
}

BENCHMARK_CAPTURE(BM_LibraryLookup, clustered, true)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_DirectRead, clustered, true)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_LibraryLookup, random, false)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK_CAPTURE(BM_DirectRead, random, false)->Arg(1000)->Arg(10000)->Arg(100000);

// Prints library / reference per store size, and each store against the 1,000 store.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* kind : {"clustered", "random"}) {
            double base = 0;
            for (int size : {1000, 10000, 100000}) {
                const std::string suffix = std::string("/") + kind + "/" + std::to_string(size);
                double lib = times_["BM_LibraryLookup" + suffix];
                double ref = times_["BM_DirectRead" + suffix];
                if (size == 1000) base = lib;
                std::printf("%-9s %6d definitions: lookup %9.1f us, direct read %7.1f us, ratio %6.1f, vs 1,000 store %4.2f\n",
                            kind, size, lib / 1000, ref / 1000, ref > 0 ? lib / ref : 0, base > 0 ? lib / base : 0);
            }
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    const fs::path config = fs::temp_directory_path() / "qvp-bench-nodes.conf";
    std::ofstream(config) << "[QVPAPI]\n";
    win::registry::LoadFrom(config.string());
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (int size : {1000, 10000, 100000}) fs::remove_all(fs::temp_directory_path() / ("qvp-bench-nodes-" + std::to_string(size)));
    return 0;
}
