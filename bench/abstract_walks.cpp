// The Abstract walks against the finders they dispatch to, on the same fixture in the same run:
// a folder of 2,000 sub-folders (the job walk touches no manager, so the ratio is the query's
// own cost per entry: the handle check, the mode table, the path field) and the node walk of a
// job of 500 nodes against the simulator (what that cost weighs beside real work).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "many_node_job.h"
#include "manager-sim/sim.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 2000;
constexpr int kNodes = 500;
constexpr int kRounds = 5;
constexpr char kFolder[] = "\\BENCH";
constexpr char kNumber[] = "00000000000000B3";

// Best of kRounds, in ns per entry; `walk` returns the entries it saw.
double Best(const std::function<int()>& walk, int expected, benchmark::State& state) {
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        const int seen = walk();
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / seen;
        if (seen != expected) state.SkipWithError("entries missing from a walk");
        if (round == 0 || ns < best) best = ns;
    }
    return best;
}

void Report(benchmark::State& state, const std::string& key, const char* what, int entries, double abstractNs,
            double directNs) {
    state.counters[key + "_abstract_us"] = abstractNs / 1000;
    state.counters[key + "_direct_us"] = directNs / 1000;
    state.counters[key + "_ratio"] = abstractNs / directNs;
    std::printf("%s of %d entries: Abstract %.2f us/entry, direct finder %.2f us/entry, ratio %.3f\n", what,
                entries, abstractNs / 1000, directNs / 1000, abstractNs / directNs);
}

void BM_AbstractAgainstDirect(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-abstract-");
    qvptest::WriteRootSettings(root);
    qvpsim::ManagerSim sim((root / "data").string());
    qvpsim::RecordStore records(sim);
    qvpsim::JobStore jobs(sim, records);
    jobs.WriteJob(qvpbench::ManyNodeJob(std::string(kFolder) + "\\" + kNumber, kNumber, kNodes));
    for (int i = 0; i < kFolders; ++i) fs::create_directories(jobs.JobExecDir() + "/MANY/F" + std::to_string(i));
    QVPAPI_HANDLE query = nullptr;
    if (!sim.Start() || qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1 ||
        (query = qvAPICreateQuery(1, 0, 0)) == QVPAPI_INVALID_HANDLE ||
        qvAPISetJobFolderQuery(query, "\\MANY", 1, 0, 0) != 1) {
        state.SkipWithError("no session");
        return;
    }
    double folderAbstract = 0, folderDirect = 0, nodeAbstract = 0, nodeDirect = 0;
    for (auto _ : state) {
        folderAbstract = Best([&] {
            QVAPI_QJOB r;
            int n = 0;
            for (bool more = qvAPIAbstractFirstJob(query, &r, 0, 0) == query; more;
                 more = qvAPIAbstractNextJob(query, &r, 0, 0) == 1)
                ++n;
            qvAPIAbstractCloseJob(query, 0, 0);
            return n;
        }, kFolders, state);
        folderDirect = Best([&] {
            QVAPI_JOB r;
            int n = 0;
            QVPAPI_HANDLE h = qvAPIFindFirstJob("\\MANY", &r, 0, 0);
            for (bool more = h != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextJob(h, &r, 0, 0) == 1) ++n;
            qvAPIFindCloseJob(h, 0, 0);
            return n;
        }, kFolders, state);
        qvAPISetJobFolderQuery(query, kFolder, 1, 0, 0);
        qvAPISetJobNumberQuery(query, kNumber, 0, 0);
        nodeAbstract = Best([&] {
            QVAPI_QNODE_JOB r;
            int n = 0;
            for (bool more = qvAPIAbstractFirstNodeJob(query, &r, 0, 0) == query; more;
                 more = qvAPIAbstractNextNodeJob(query, &r, 0, 0) == 1)
                ++n;
            qvAPIAbstractCloseNodeJob(query, 0, 0);
            return n;
        }, kNodes, state);
        nodeDirect = Best([&] {
            QVAPI_NODE_JOB r;
            int n = 0;
            QVPAPI_HANDLE h = qvAPIFindFirstNodeJob(kFolder, kNumber, &r, 0, 0);
            for (bool more = h != QVPAPI_INVALID_HANDLE; more; more = qvAPIFindNextNodeJob(h, &r, 0, 0) == 1) ++n;
            qvAPIFindCloseNodeJob(h, 0, 0);
            return n;
        }, kNodes, state);
    }
    qvAPIClose();
    sim.Stop();
    fs::remove_all(root);
    Report(state, "folder", "folder walk", kFolders, folderAbstract, folderDirect);
    Report(state, "node", "node walk", kNodes, nodeAbstract, nodeDirect);
}
BENCHMARK(BM_AbstractAgainstDirect)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
