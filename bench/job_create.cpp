// Job creation from a stored JobGen whose one group entry names N clients, against the simulator
// on loopback: qvAPICreateJobEx (lock, work copy, re-creation and sort, JPUT, head, put back) then
// qvAPIDeleteJob, timed per creation. Three kinds of names: sequential host names ("pc00001" ...,
// which crowd onto few hashes and their synonyms), random host names, and IP keys
// (SystemManagementKey 1); each at 1,000 and 20,000 clients. The reference, timed in the same run:
// reading each client's definition file once and writing the job's jobgenfile once.
// Printed at the end: per-client cost at both sizes, the growth ratio 20,000 / 1,000 (goal at most
// 1.3) and the ratio against the reference (goal at most 5).
#include <benchmark/benchmark.h>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/block.h"
#include "jobgen/jobgen_file.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
namespace jg = qvp::jobgen;
using Clock = std::chrono::steady_clock;
using qvptest::NodeStoreBuilder;

enum Names { kSequential, kRandom, kIp };
constexpr const char* kNamesText[] = {"sequential", "random", "ip"};
constexpr int kSmall = 1000, kLarge = 20000;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

std::array<uint8_t, 4> Address(int i) {
    return {10, static_cast<uint8_t>(1 + i / 65536), static_cast<uint8_t>(i / 256 % 256), static_cast<uint8_t>(i % 256)};
}

// Distinct names of 8 lower-case letters from a fixed generator.
std::vector<std::string> RandomNames(int count) {
    std::vector<std::string> out;
    std::set<std::string> seen;
    uint64_t x = 0x9E3779B97F4A7C15ull;
    while (static_cast<int>(out.size()) < count) {
        std::string name(8, 'a');
        for (char& c : name) {
            x = x * 6364136223846793005ull + 1442695040888963407ull;
            c = static_cast<char>('a' + (x >> 33) % 26);
        }
        if (seen.insert(name).second) out.push_back(name);
    }
    return out;
}

std::vector<std::string> ClientNames(Names names, int count) {
    if (names == kRandom) return RandomNames(count);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "pc%05d", i + 1);
        out.push_back(names == kIp ? NodeStoreBuilder::DottedAddress(Address(i)) : text);
    }
    return out;
}

// A store of one master and `count` clients in group \G, and a JobGen \B\J of one entry naming it.
void BuildStore(const fs::path& root, Names names, int count) {
    NodeStoreBuilder store(root / "data");
    const bool ip = names == kIp;
    const std::string master = ip ? "10.0.0.1" : "mst";
    store.AddNode({.name = master, .kind = QVAPI_NODE_MASTER, .address = {10, 0, 0, 1}, .ipKeyed = ip});
    std::vector<NodeStoreBuilder::GroupEntry> members;
    int i = 0;
    for (const std::string& name : ClientNames(names, count)) {
        store.AddNode({.name = name, .address = Address(i++), .ipKeyed = ip, .master = master});
        members.push_back({name, QVAPI_NODE_CLIENT, {}});
    }
    store.WriteGroupFile("\\G", members);
    std::vector<uint8_t> bytes(256 + 1284);
    jg::JobGenHeader h{};
    h.jobKind = 'D';
    h.entryCount = 1;
    h.entryAreaSize = 1284;
    std::memcpy(h.version, "0500", 4);
    jg::JobGenEntry e{};
    e.jobKind = 'D';
    jg::PutField(e.node, 260, "\\G");
    jg::PutField(e.host, 260, "\\G");
    jg::PutField(e.packageKey, 64, "C.01.pkg.1.0001");
    std::memcpy(bytes.data(), &h, 256);
    std::memcpy(bytes.data() + 256, &e, 1284);
    const fs::path dir = root / "data/SERVER/ZARNQV/MNGFL/JOBGEN/B/J";
    fs::create_directories(dir);
    store.WriteRawFile(dir / "jobgenfile", bytes.data(), bytes.size());
}

// The least a creation must do: read each client's definition file once, write the output once.
double Reference(const fs::path& nodeDef, const std::string& output, const fs::path& target) {
    const auto start = Clock::now();
    size_t total = 0;
    char record[QVAPI_NODE_SIZE];
    for (const auto& entry : fs::directory_iterator(nodeDef)) {
        if (entry.is_directory() || entry.path().filename().string().rfind("C.", 0) != 0) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        in.read(record, sizeof record);
        total += static_cast<size_t>(in.gcount());
    }
    std::ofstream(target, std::ios::binary | std::ios::trunc) << output;
    benchmark::DoNotOptimize(total);
    return Seconds(start);
}

struct Figures {
    double library = 0, reference = 0;
};
std::map<std::pair<int, int>, Figures> g_figures;  // (names, clients)

void BM_CreateJobFromJobGen(benchmark::State& state) {
    const auto names = static_cast<Names>(state.range(0));
    const int count = static_cast<int>(state.range(1));
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-create-");
    qvptest::WriteRootSettings(root);
    BuildStore(root, names, count);
    qvpsim::ManagerSim sim((root / "data").string());
    qvpsim::RecordStore records(sim);
    qvpsim::JobStore jobs(sim, records);
    if (!sim.Start() || qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
        state.SkipWithError("no session");
        return;
    }
    qvpGetThreadBlock()->systemManagementKey = names == kIp ? 1 : 0;
    double library = 0, reference = 0;
    for (auto _ : state) {
        QVAPI_JOB job{};
        const auto start = Clock::now();
        if (qvAPICreateJobEx("\\B", "J", &job, JOBGEN_SAVE, 0, nullptr) != 1) state.SkipWithError("creation failed");
        library += Seconds(start);
        state.PauseTiming();
        if (!jobs.Puts().empty()) {
            const std::string& bytes = jobs.Puts().back().jobGenFile;
            state.counters["entries"] = static_cast<double>((bytes.size() - 256) / 1284);
            reference += Reference(root / "data/SERVER/ZARNQV/MNGFL/NODEDEF", bytes, root / "written");
        }
        qvAPIDeleteJob("\\B", std::string(job.szJobNo, 16).c_str(), 0, 0);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["us_per_client"] = library / n / count * 1e6;
    state.counters["ratio"] = reference > 0 ? library / reference : 0;
    g_figures[{names, count}] = {library / n, reference / n};
    qvAPIClose();
    sim.Stop();
    fs::remove_all(root);
}
BENCHMARK(BM_CreateJobFromJobGen)
    ->ArgNames({"names", "clients"})
    ->Args({kSequential, kSmall})->Args({kSequential, kLarge})
    ->Args({kRandom, kSmall})->Args({kRandom, kLarge})
    ->Args({kIp, kSmall})->Args({kIp, kLarge})
    ->Iterations(std::getenv("QVP_BENCH_ITERATIONS") ? std::atoi(std::getenv("QVP_BENCH_ITERATIONS")) : 2)
    ->Unit(benchmark::kMillisecond);

void PrintSummary() {
    std::printf("\njob creation (names: per-client µs at %d and %d, growth %d/%d [goal <= 1.3], "
                "ratio to reading each definition once and writing once [goal <= 5])\n",
                kSmall, kLarge, kLarge, kSmall);
    for (int names : {kSequential, kRandom, kIp}) {
        const auto small = g_figures.find({names, kSmall}), large = g_figures.find({names, kLarge});
        if (small == g_figures.end() || large == g_figures.end()) continue;
        const double a = small->second.library / kSmall * 1e6, b = large->second.library / kLarge * 1e6;
        std::printf("  %-10s %8.1f µs %8.1f µs  growth %5.2f  ratio %5.2f at %d, %5.2f at %d\n", kNamesText[names], a,
                    b, b / a, small->second.library / small->second.reference, kSmall,
                    large->second.library / large->second.reference, kLarge);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
