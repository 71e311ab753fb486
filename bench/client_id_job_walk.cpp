// The client ID job walk of a folder of 500 ID jobs whose heads carry no counts (so no job asks
// the manager), against what it cannot do without, measured in the same run: readdir of the
// folder, and of each job directory, and a read of each jobexecfile whole. The ratio is the
// library's time per job over the reference's.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "manager-sim/sim.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kJobs = 500;

std::string Number(int i) {
    char number[17];
    std::snprintf(number, sizeof number, "IB%014d", i);
    return number;
}

// Lists a directory and gives the count of its names.
int ListNames(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return -1;
    int names = 0;
    while (readdir(dir) != nullptr) ++names;
    closedir(dir);
    return names;
}

// The reference: the folder listed, each job directory listed and its file read whole.
int ReadAll(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return -1;
    int jobs = 0;
    char buffer[4096];
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string job = folder + "/" + entry->d_name;
        ListNames(job);
        const int fd = open((job + "/jobexecfile").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
        close(fd);
        ++jobs;
    }
    closedir(dir);
    return jobs;
}

void BM_ClientIdJobWalkAgainstReaddir(benchmark::State& state) {
    const fs::path root = qvptest::MakeTempRoot("qvp-bench-clientid-");
    qvptest::WriteRootSettings(root);
    qvpsim::ManagerSim sim((root / "data").string());
    qvpsim::RecordStore records(sim);
    qvpsim::JobStore jobs(sim, records);
    for (int i = 0; i < kJobs; ++i) {
        qvpsim::JobSpec job;
        job.number = Number(i);
        job.path = "\\BENCH\\" + job.number;
        for (int e = 0; e < 4; ++e) job.nodes.push_back(qvpsim::Node("M" + std::to_string(e) + ".%ID", {0x10, 0, 0}));
        jobs.WriteJob(job);
    }
    if (!sim.Start() || qvAPIOpen("127.0.0.1", std::to_string(sim.port()).c_str()) != 1) {
        state.SkipWithError("no session");
        return;
    }
    const std::string folder = jobs.JobExecDir() + "/BENCH";
    double walkNs = 0, referenceNs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        QVAPI_JOB job;
        int seen = 0;
        QVPAPI_HANDLE h = qvAPIFindFirstClientIDJob("\\BENCH", &job, 0, 0);
        if (h != QVPAPI_INVALID_HANDLE) {
            do ++seen;
            while (qvAPIFindNextClientIDJob(h, &job, 0, 0) == 1);
            qvAPIFindCloseClientIDJob(h, 0, 0);
        }
        walkNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kJobs;
        if (seen != kJobs) {
            state.SkipWithError("the walk did not see every job");
            break;
        }
        start = Clock::now();
        if (ReadAll(folder) != kJobs) {
            state.SkipWithError("the reference did not read every job");
            break;
        }
        referenceNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kJobs;
    }
    qvAPIClose();
    sim.Stop();
    fs::remove_all(root);
    state.counters["jobs"] = kJobs;
    state.counters["us_per_job"] = walkNs / 1000;
    state.counters["reference_us"] = referenceNs / 1000;
    state.counters["ratio"] = walkNs / referenceNs;
    std::printf("client ID job walk of %d jobs: %.2f us/job, readdir+read: %.2f us/job, ratio %.2f\n", kJobs,
                walkNs / 1000, referenceNs / 1000, walkNs / referenceNs);
}
BENCHMARK(BM_ClientIdJobWalkAgainstReaddir)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
