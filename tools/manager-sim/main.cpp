// qvp-manager-sim --root DIR --port N: the manager simulator as a program. Prints the port it
// listens on (useful with --port 0) and runs until SIGTERM or SIGINT.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "manager-sim/sim.h"
#include "manager-sim/store_records.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: qvp-manager-sim --root DIR --port N\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root;
    long port = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
            root = argv[++i];
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
