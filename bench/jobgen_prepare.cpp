// Job preparation (re-creation, then sort, in place) of a kind-D JobGen naming one node group of
// 1,000 to 20,000 clients with 1 to 20 packages, against a plain copy of the output file. Three
// stores: sequential host names (their hashes cluster, so each member read scans many synonym
// files), random host names, and IP-keyed nodes. Reported per run: seconds, the ratio to the
// copy, and microseconds per entry x log2(nodes), which stays flat while the cost grows no
// faster than entries x log(nodes).
#include <benchmark/benchmark.h>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/block.h"
#include "jobgen/jobgen_prepare.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
namespace jg = qvp::jobgen;
using Clock = std::chrono::steady_clock;
using qvptest::NodeStoreBuilder;

enum Style { kSequential = 0, kRandom = 1, kAddress = 2 };

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

struct Fixture {
    fs::path root;
    size_t maxSynonyms = 0;
};

// One store per style and size, built once: a master, N clients below it, group \G listing them.
Fixture& StoreFor(Style style, int nodes) {
    static std::map<std::pair<int, int>, Fixture> built;
    Fixture& f = built[{style, nodes}];
    if (!f.root.empty()) return f;
    f.root = qvptest::MakeTempRoot("qvp-bench-prepare-");
    qvptest::WriteRootSettings(f.root);
    NodeStoreBuilder store(f.root / "data");
    const bool byAddress = style == kAddress;
    store.AddNode({.name = byAddress ? "10.0.0.1" : "mst", .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1},
                   .ipKeyed = byAddress});
    std::mt19937 random(7);
    std::map<uint32_t, size_t> perHash;
    std::vector<NodeStoreBuilder::GroupEntry> members;
    for (int i = 0; i < nodes; ++i) {
        std::string name;
        const std::array<uint8_t, 4> address{10, static_cast<uint8_t>(1 + i / 65536), static_cast<uint8_t>(i / 256 % 256),
                                             static_cast<uint8_t>(i % 256)};
        if (style == kSequential) {
            char text[16];
            std::snprintf(text, sizeof text, "pc%05d", i);
            name = text;
        } else if (style == kRandom) {
            for (int c = 0; c < 12; ++c) name += static_cast<char>('a' + random() % 26);
        } else {
            name = NodeStoreBuilder::DottedAddress(address);
        }
        if (!byAddress && ++perHash[NodeStoreBuilder::ComponentHash(name)] > 256) continue;  // no slot left
        store.AddNode({.name = name, .address = address, .ipKeyed = byAddress,
                       .master = byAddress ? "10.0.0.1" : "mst"});
        members.push_back({name, QVAPI_NODE_CLIENT, {}});
    }
    for (const auto& [hash, n] : perHash) f.maxSynonyms = std::max(f.maxSynonyms, n);
    store.WriteGroupFile("\\G", members);
    return f;
}

std::vector<uint8_t> JobGenFile(int packages) {
    std::vector<uint8_t> bytes(256 + 1284u * packages);
    jg::JobGenHeader h{};
    h.jobKind = 'D';
    h.entryCount = static_cast<uint32_t>(packages);
    h.entryAreaSize = h.entryCount * 1284;
    std::memcpy(h.version, "0500", 4);
    std::memcpy(bytes.data(), &h, 256);
    for (int p = 0; p < packages; ++p) {
        jg::JobGenEntry e{};
        e.jobKind = 'D';
        jg::PutField(e.node, 260, "\\G");
        jg::PutField(e.host, 260, "\\G");
        jg::PutField(e.packageKey, 64, "C.01.pkg" + std::to_string(packages - p) + ".1.0001");
        std::memcpy(bytes.data() + 256 + 1284u * p, &e, 1284);
    }
    return bytes;
}

void BM_PrepareJobGen(benchmark::State& state) {
    const Style style = static_cast<Style>(state.range(0));
    const int nodes = static_cast<int>(state.range(1));
    const int packages = static_cast<int>(state.range(2));
    Fixture& f = StoreFor(style, nodes);
    qvptest::WriteRootSettings(f.root);
    QVPAPI* block = qvpGetThreadBlock();
    block->systemManagementKey = style == kAddress ? 1 : 0;
    const fs::path file = f.root / "jobgenfile";
    const std::vector<uint8_t> source = JobGenFile(packages);
    for (auto _ : state) {
        NodeStoreBuilder(f.root / "data").WriteRawFile(file, source.data(), source.size());
        jg::ReCreateControlTable table;
        auto start = Clock::now();
        if (jg::qvAPIReCreateJobGen(&table, file.c_str(), file.c_str()) != 1 ||
            jg::qvAPISortEntryJobGen(&table, file.c_str(), file.c_str()) != 1)
            state.SkipWithError("preparation failed");
        const double library = Seconds(start);
        const fs::path copy = f.root / "copy";
        fs::remove(copy);
        start = Clock::now();
        fs::copy_file(file, copy);
        const double floor = Seconds(start);
        fs::remove(copy);
        const double entries = static_cast<double>(table.sortWritten);
        state.counters["entries"] = entries;
        state.counters["library_s"] = library;
        state.counters["copy_s"] = floor;
        state.counters["ratio"] = floor > 0 ? library / floor : 0;
        state.counters["us_per_ElogN"] = entries > 0 ? library * 1e6 / (entries * std::log2(nodes)) : 0;
        state.counters["max_synonyms"] = static_cast<double>(f.maxSynonyms);
    }
}
BENCHMARK(BM_PrepareJobGen)
    ->ArgsProduct({{kSequential, kRandom, kAddress}, {1000, 10000, 20000}, {1, 5, 20}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
