// qvp-manager-sim --root DIR --port N [--demo-job]: the manager simulator as a program. Prints
// the port it listens on (useful with --port 0) as the first line of stdout, says on stderr where
// it listens and which root it serves, and runs until SIGTERM or SIGINT. --demo-job writes the
// jobs the example reads and walks.
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "manager-sim/sim.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_records.h"

namespace {

constexpr char kUsage[] = "usage: qvp-manager-sim --root DIR --port N [--demo-job]\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Help() {
    std::fputs(kUsage, stdout);
    std::fputs("Answers the manager protocol on 127.0.0.1 over the data root DIR, the PathName of the\n"
               "library's settings, until SIGTERM or SIGINT.\n"
               "  --root DIR   the data root; it must be a folder\n"
               "  --port N     the port, 0 to pick a free one; the port listened on is the first line of stdout\n"
               "  --demo-job   writes the jobs the example (examples/demo.c) reads and walks\n"
               "  --help       this text\n",
               stdout);
    return 0;
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

// The ID job the example reads: "\IDDEMO\IB000000000000D2" names the ID sales under shop and
// office and the ID admin under shop; each entry reaches member clients.
qvpsim::JobSpec DemoIdJob() {
    qvpsim::JobSpec job;
    job.path = "\\IDDEMO\\IB000000000000D2";
    job.number = "IB000000000000D2";
    job.name = "demo ID job";
    job.storedCounts[0] = 3;
    auto entry = [](const char* name, const char* number, std::vector<qvpsim::JobNode> members) {
        qvpsim::JobNode node = qvpsim::Node(name, {0x20, 0, 0x20});
        node.number = number;
        node.members = std::move(members);
        return node;
    };
    job.nodes = {entry("shop.%sales", "IB00000000000D21",
                       {qvpsim::Node("pc101", {0x20, 0, 0x20}), qvpsim::Node("pc102", {0x90, 0, 0})}),
                 entry("office.%sales", "IB00000000000D22", {qvpsim::Node("pc201", {0x30, 0, 0x90})}),
                 entry("shop.%admin", "IB00000000000D23", {qvpsim::Node("pc101", {0x90, 0, 0})})};
    return job;
}

}  // namespace

int main(int argc, char** argv) {
    // SIGTERM and SIGINT are taken by sigwait only, and from the first moment: blocked, they stay
    // pending however long the start takes, also when the program was started with SIGINT
    // ignored (as a shell starts a job in the background), and every thread started later
    // inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);

    std::string root;
    long port = -1;
    bool demoJob = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            return Help();
        } else if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc) {
            root = argv[++i];
        } else if (std::strcmp(argv[i], "--demo-job") == 0) {
            demoJob = true;
        } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            const char* text = argv[++i];
            char* end = nullptr;
            errno = 0;
            port = std::strtol(text, &end, 10);
            if (*text == '\0' || *end != '\0' || errno != 0 || port < 0 || port > 65535) {
                std::fprintf(stderr, "qvp-manager-sim: --port %s: not a port number from 0 to 65535\n", text);
                return Usage();
            }
        } else {
            std::fprintf(stderr, "qvp-manager-sim: %s: unknown or without its value\n", argv[i]);
            return Usage();
        }
    }
    if (root.empty() || port < 0) {
        std::fprintf(stderr, "qvp-manager-sim: %s\n",
                     root.empty() && port < 0 ? "--root DIR and --port N are missing"
                     : root.empty()           ? "--root DIR is missing"
                                              : "--port N is missing");
        return Usage();
    }
    // The library's settings name the same folder: a root that is not there would serve an
    // empty store in silence.
    struct stat st {};
    const int rootError = stat(root.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (rootError != 0) {
        std::fprintf(stderr, "qvp-manager-sim: --root %s: %s\n", root.c_str(), std::strerror(rootError));
        return 1;
    }

    qvpsim::ManagerSim sim(root);
    qvpsim::RecordStore records(sim);  // answers the record, cabinet and job verbs
    qvpsim::JobStore jobs(sim, records);
    if (demoJob) {
        jobs.WriteJob(DemoJob());
        jobs.WriteJob(DemoIdJob());
        // The manager's site copy of it, for the site finders.
        qvpsim::JobSpec site = DemoIdJob();
        site.path = "\\DEMOSITE\\" + site.number;
        jobs.WriteSiteJob(site);
    }
    if (!sim.Start(static_cast<uint16_t>(port))) {
        const int error = sim.listenError();
        std::fprintf(stderr, "qvp-manager-sim: cannot listen on 127.0.0.1 port %ld: %s\n", port, std::strerror(error));
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(sim.port()));
    std::fflush(stdout);
    std::error_code ignored;  // the root was found above; a working folder gone since keeps it as given
    const std::filesystem::path served = std::filesystem::absolute(root, ignored).lexically_normal();
    std::fprintf(stderr, "qvp-manager-sim: listening on 127.0.0.1 port %u, serving the root %s\n",
                 static_cast<unsigned>(sim.port()), (served.empty() ? root : served.string()).c_str());
    int received = 0;
    sigwait(&signals, &received);
    sim.Stop();
    return 0;
}
