// The display-name change of a master keyed by host ID, with 1,000 nodes below it, in a store
// of 10,000 definitions: the whole change (work copy, cascade, three-move swap), and its copy
// phase next to `cp -a` of the same tree. Then the store size at which sequential names
// ("pc00001" ...) first run out of synonym slots on one hash, and the refusal checked.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/block.h"
#include "core/fileutil.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"

// Node specs name only the fields they need.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

namespace fs = std::filesystem;
using qvptest::NodeStoreBuilder;

constexpr int kStoreSize = 10000;
constexpr int kSubMasters = 10;
constexpr int kBelowEach = 99;  // 10 masters + 990 clients below the host-ID master

fs::path Root() { return fs::temp_directory_path() / "qvp-bench-rename"; }
fs::path NodeDef() { return Root() / "SERVER" / "ZARNQV" / "MNGFL" / "NODEDEF"; }
fs::path CopyTarget() { return Root() / "copy"; }

void UseRoot(const fs::path& root) {
    win::registry::Set("PathName", root.string());
    QVPAPI* block = qvpGetThreadBlock();
    block->systemManagementKey = 0;
    qvAPIExpandLevel(5);
}

void BuildStore() {
    fs::remove_all(Root());
    NodeStoreBuilder builder(Root());
    builder.AddNode({.name = "hm0", .kind = QVAPI_NODE_MASTER, .hostId = "#G1"});
    int made = 1;
    for (int m = 0; m < kSubMasters; ++m) {
        const std::string master = "sub" + std::to_string(m);
        builder.AddNode({.name = master, .kind = QVAPI_NODE_MASTER, .master = "#G1"});
        ++made;
        for (int c = 0; c < kBelowEach; ++c, ++made)
            builder.AddNode({.name = master + "-pc" + std::to_string(c), .master = master});
    }
    std::map<uint32_t, int> perHash;
    for (int i = 0; made < kStoreSize; ++i) {
        const std::string name = "host-" + std::to_string(i * 7919 % 1000003);
        if (++perHash[NodeStoreBuilder::ComponentHash(name)] > 200) continue;
        builder.AddNode({.name = name});
        ++made;
    }
    UseRoot(Root());
}

void BM_DisplayNameChange(benchmark::State& state) {
    BuildStore();
    QVAPI_NODE master;
    int n = 0;
    for (auto _ : state) {
        if (qvAPIGetMasterDefinitionByName("#G1", &master) != 1) {
            state.SkipWithError("master not found");
            break;
        }
        std::snprintf(master.ucNodeName, sizeof master.ucNodeName, "hm%d", ++n);
        if (qvAPIChangeMasterDefinition("#G1", QVAPI_CHANGE_NODE_NAME, &master, 0) != 1) {
            state.SkipWithError("display-name change failed");
            break;
        }
    }
}

// The copy phase of the change: NODEDEF copied whole into another folder.
void BM_CopyPhase(benchmark::State& state) {
    for (auto _ : state) {
        if (qvp::qvAPIDirectoryCopy(NodeDef().c_str(), CopyTarget().c_str()) != 1) state.SkipWithError("copy failed");
        state.PauseTiming();
        fs::remove_all(CopyTarget());
        state.ResumeTiming();
    }
}

// The outside reference: cp -a of the same tree.
void BM_CpA(benchmark::State& state) {
    const std::string command = "cp -a '" + NodeDef().string() + "' '" + CopyTarget().string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
        state.PauseTiming();
        fs::remove_all(CopyTarget());
        state.ResumeTiming();
    }
}

BENCHMARK(BM_DisplayNameChange)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CopyPhase)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CpA)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double change = times_["BM_DisplayNameChange/iterations:5/real_time"];
        const double copy = times_["BM_CopyPhase/iterations:5/real_time"];
        const double cp = times_["BM_CpA/iterations:5/real_time"];
        std::printf("display-name change %.1f ms, its copy phase %.1f ms, cp -a %.1f ms: copy/cp %.2f, change/cp %.2f\n",
                    change, copy, cp, cp > 0 ? copy / cp : 0, cp > 0 ? change / cp : 0);
    }

private:
    std::map<std::string, double> times_;
};

// Sequential names until one hash holds 257 of them: the next name is refused and leaves
// nothing behind.
void ReportSynonymLimit() {
    const fs::path root = fs::temp_directory_path() / "qvp-bench-synonyms";
    fs::remove_all(root);
    NodeStoreBuilder builder(root);
    std::map<uint32_t, int> perHash;
    char name[16];
    int i = 1;
    for (;; ++i) {
        std::snprintf(name, sizeof name, "pc%05d", i);
        if (++perHash[NodeStoreBuilder::ComponentHash(name)] > 257) break;
        builder.AddNode({.name = name});
    }
    UseRoot(root);
    const auto entries = [&] {
        size_t n = 0;
        for (auto it = fs::recursive_directory_iterator(builder.NodeDefDir()); it != fs::recursive_directory_iterator(); ++it) ++n;
        return n;
    };
    const size_t before = entries();
    QVAPI_NODE node{};
    const int result = qvAPICreateClientDefinition(name, &node, 0);
    const uint32_t code = qvAPIGetLastError();
    std::printf("SynonymOver: %s is the %dth name on hash %u, refused in a store of %d definitions "
                "(result %d, code 0x%08x, %s)\n",
                name, perHash[NodeStoreBuilder::ComponentHash(name)], NodeStoreBuilder::ComponentHash(name), i - 1,
                result, static_cast<unsigned>(code), entries() == before ? "nothing left behind" : "FILES LEFT BEHIND");
    fs::remove_all(root);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path config = fs::temp_directory_path() / "qvp-bench-rename.conf";
    std::ofstream(config) << "[QVPAPI]\n";
    win::registry::LoadFrom(config.string());
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    fs::remove_all(Root());
    ReportSynonymLimit();
    return 0;
}
