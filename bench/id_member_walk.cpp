// The keep-ID member walk of one ID entry with 100 and 500 member clients (one record per
// client, each tallied by the manager's records): requests and time per member at both sizes,
// their growth, and the ratio against as many plain socket round trips as the walk sends
// requests, with a bare peer.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

#include "loopback_peer.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

constexpr char kJob[] = "IB00000000000001";
std::map<int64_t, size_t> g_requestsPerWalk;  // by member count, measured by the library run

// FindFirst, FindNext to the end, FindClose; the records walked, or -1.
int Walk() {
    QVAPI_NODE_JOB r{};
    QVPAPI_HANDLE h = qvAPIFindFirstKeepIDJob("\\F", kJob, "sales", &r, 1, 0, 0);
    if (h == QVPAPI_INVALID_HANDLE) return -1;
    int records = 1;
    while (qvAPIFindNextKeepIDJob(h, &r, 0, 0) == 1) ++records;
    if (qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS) records = -1;
    qvAPIFindCloseKeepIDJob(h, 0, 0);
    return records;
}

void LibraryWalk(benchmark::State& state, int64_t members) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-idwalk-");
    qvptest::WriteRootSettings(root);
    {
        qvpsim::ManagerSim sim((root / "data").string());
        qvpsim::RecordStore records(sim);
        qvpsim::JobStore jobs(sim, records);
        qvpsim::JobSpec job;
        job.path = std::string("\\F\\") + kJob;
        job.number = kJob;
        job.storedCounts[0] = 1;
        qvpsim::JobNode entry = qvpsim::Node("shop.%sales", {0x10, 0, 0});
        for (int64_t i = 0; i < members; ++i)
            entry.members.push_back(qvpsim::Node("pc" + std::to_string(1000 + i), {0x90, 0, 0}));
        job.nodes = {entry};
        jobs.WriteJob(job);
        sim.Start();
        if (qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
            state.SkipWithError("open failed");
            return;
        }
        sim.ClearLog();
        if (Walk() != members) state.SkipWithError("walk failed");
        g_requestsPerWalk[members] = sim.Received().size();
        for (auto _ : state) {
            if (Walk() != members) {
                state.SkipWithError("walk failed");
                break;
            }
            sim.ClearLog();
        }
        qvAPIClose();
    }
    fs::remove_all(root);
    state.counters["requests"] = static_cast<double>(g_requestsPerWalk[members]);
    state.counters["requests/member"] = static_cast<double>(g_requestsPerWalk[members]) / static_cast<double>(members);
}

void PlainRoundTrips(benchmark::State& state, int64_t members) {
    // A record-sized reply, as each cursor step of the walk receives.
    benchpeer::EchoPeer peer("0 0 1 i952 " + std::string(952, 'r'));
    const int s = benchpeer::ConnectLoopback(peer.port());
    const size_t count = g_requestsPerWalk[members];
    if (s < 0 || count == 0) {
        state.SkipWithError("no peer or no measured request count");
        if (s >= 0) ::close(s);
        return;
    }
    const std::string request = qvpsim::Frame("FGET 1 f2 EN");
    char reply[qvpsim::kFrameMax];
    const size_t replySize = qvpsim::Frame("0 0 1 i952 " + std::string(952, 'r')).size();
    for (auto _ : state) {
        for (size_t i = 0; i < count; ++i) {
            if (!benchpeer::WriteAll(s, request.data(), request.size()) || !benchpeer::ReadAll(s, reply, replySize)) {
                state.SkipWithError("ping-pong failed");
                break;
            }
        }
    }
    ::close(s);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // One pair per member count, the reference after the library run that measured its count;
    // names without "/" so that the reporter keeps them apart.
    for (int64_t members : {100, 500}) {
        const std::string n = std::to_string(members);
        benchmark::RegisterBenchmark(("BM_LibraryKeepIdMemberWalk_" + n).c_str(), LibraryWalk, members)->UseRealTime();
        benchmark::RegisterBenchmark(("BM_PlainSocketRoundTrips_" + n).c_str(), PlainRoundTrips, members)->UseRealTime();
    }
    benchpeer::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("keep-ID member walk, 100 members", "BM_LibraryKeepIdMemberWalk_100",
                        "BM_PlainSocketRoundTrips_100");
    reporter.PrintRatio("keep-ID member walk, 500 members", "BM_LibraryKeepIdMemberWalk_500",
                        "BM_PlainSocketRoundTrips_500");
    double perMember[2] = {};
    const int64_t sizes[2] = {100, 500};
    for (int i = 0; i < 2; ++i) {
        const std::string n = std::to_string(sizes[i]);
        perMember[i] = reporter.PerIteration("BM_LibraryKeepIdMemberWalk_" + n) / 1000 / static_cast<double>(sizes[i]);
        const double trips = reporter.PerIteration("BM_PlainSocketRoundTrips_" + n);
        std::printf("keep-ID member walk of %lld members: %.2f requests/member, %.2f us/member, ratio to its round trips %.2f\n",
                    static_cast<long long>(sizes[i]),
                    static_cast<double>(g_requestsPerWalk[sizes[i]]) / static_cast<double>(sizes[i]), perMember[i],
                    trips > 0 ? reporter.PerIteration("BM_LibraryKeepIdMemberWalk_" + n) / trips : 0);
    }
    if (perMember[0] > 0)
        std::printf("keep-ID member walk growth: per member 100 -> 500 members x%.2f (goal: flat); requests/member %.2f (goal: 3 at most)\n",
                    perMember[1] / perMember[0], static_cast<double>(g_requestsPerWalk[500]) / 500.0);
    benchmark::Shutdown();
    return 0;
}
