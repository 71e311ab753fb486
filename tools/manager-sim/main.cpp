// qvp-manager-sim --root DIR --port N [--demo-job]: the manager simulator as a program. Prints
// the port it listens on (useful with --port 0) and runs until SIGTERM or SIGINT. --demo-job
// writes the jobs the example reads and walks.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "manager-sim/sim.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: qvp-manager-sim --root DIR --port N [--demo-job]\n");
    return 2;
}

// The job the example walks: "\DEMO\00000000000000D1" with a node waiting to run, one running,
// one done and one the manager has no record of.
qvpsim::JobSpec DemoJob() {
    qvpsim::JobSpec job;
    job.path = "\\DEMO\\00000000000000D1";
    job.number = "00000000000000D1";
    job.name = "demo job";
    job.storedCounts[0] = 4;
    job.nodes = {qvpsim::Node("pc001", {0x10, 0, 0}), qvpsim::Node("pc002", {0x20, 0, 0x20}),
                 qvpsim::Node("pc003", {0x30, 0, 0x90}), qvpsim::Node("pc004", {0x10, 0, 0}, false)};
    return job;
}

// The ID jobs the example walks from the clients' side: the ID "sales" under master mst01,
// reaching pc101 (done) and pc102 (running), once in the job tree and once in the site tree.
// None of their records waits, so the example's wait walk finds the demo job's alone.
void WriteDemoIdJobs(qvpsim::JobStore& jobs) {
    for (const bool site : {false, true}) {
        qvpsim::JobSpec job;
        job.number = site ? "IB000000000000D3" : "IB000000000000D2";
        job.path = (site ? "\\DEMOSITE\\" : "\\DEMOID\\") + job.number;
        job.name = "demo ID job";
        job.storedCounts[0] = 3;
        job.nodes = {qvpsim::Node("mst01.%sales", {0x30, 0, 0x90})};
        if (site) jobs.WriteSiteJob(job);
        else jobs.WriteJob(job);
        jobs.AddRecord(qvpsim::Node("mst01.pc101", {0x30, 0, 0x90}), job.number);
        jobs.AddRecord(qvpsim::Node("mst01.pc102", {0x20, 0, 0x20}), job.number);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    long port = -1;
    bool demoJob = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
            root = argv[++i];
        } else if (std::strcmp(argv[i], "--demo-job") == 0) {
            demoJob = true;
        } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) return Usage();
        } else {
            return Usage();
        }
    }
    if (root.empty() || port < 0) return Usage();

    // Every thread of the simulator inherits this mask, so the signals reach sigwait only.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    qvpsim::ManagerSim sim(root);
    qvpsim::RecordStore records(sim);  // answers the record, cabinet and job verbs
    qvpsim::JobStore jobs(sim, records);
    if (demoJob) {
        jobs.WriteJob(DemoJob());
        WriteDemoIdJobs(jobs);
    }
    if (!sim.Start(static_cast<uint16_t>(port))) {
        std::fprintf(stderr, "qvp-manager-sim: cannot listen on port %ld\n", port);
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(sim.port()));
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    sim.Stop();
    return 0;
}
