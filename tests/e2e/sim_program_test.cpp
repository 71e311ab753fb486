// The simulator program says what keeps it from starting, and why, and stops with a non-zero
// exit: a newcomer who mistyped its root or port learns it at once.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "manager-sim/sim.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exit = -1;
    std::string said;  // stdout and stderr
};

Outcome RunSim(const std::string& arguments) {
    // Bounded, so that a simulator that starts after all ends the test rather than hanging it.
    const std::string command = "timeout 30 " QVP_BINARY_DIR "/qvp-manager-sim " + arguments + " 2>&1";
    Outcome out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.said.append(buffer, n);
    const int status = pclose(pipe);
    out.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(SimulatorProgram, SaysWhatKeepsItFromStarting) {
    const fs::path root = qvptest::MakeTempRoot("qvp-simprog-");
    const std::string data = (root / "data").string();
    const std::string file = (root / "plain").string();
    std::ofstream(file) << "x";
    qvpsim::ManagerSim holder(data);  // holds a port
    ASSERT_TRUE(holder.Start());
    const std::string held = std::to_string(holder.port());
    const struct {
        std::string arguments;
        int exit;
        std::string said;
    } cases[] = {
        {"--root " + data + "/missing --port 0", 1,
         "qvp-manager-sim: --root " + data + "/missing: No such file or directory\n"},
        {"--root " + file + " --port 0", 1, "qvp-manager-sim: --root " + file + ": Not a directory\n"},
        {"--root " + data + " --port " + held, 1,
         "qvp-manager-sim: cannot listen on 127.0.0.1 port " + held + ": Address already in use\n"},
        {"--root " + data + " --port 7x", 2, "qvp-manager-sim: --port 7x: not a port number from 0 to 65535\n"},
        {"--root " + data + " --port 65536", 2, "qvp-manager-sim: --port 65536: not a port number from 0 to 65535\n"},
        {"--root " + data + " --prot 7001", 2, "qvp-manager-sim: --prot: unknown or without its value\n"},
    };
    const std::string usage = "usage: qvp-manager-sim --root DIR --port N [--demo-job]\n";
    for (const auto& c : cases) {
        const Outcome got = RunSim(c.arguments);
        EXPECT_EQ(got.exit, c.exit) << c.arguments;
        EXPECT_EQ(got.said, c.exit == 2 ? c.said + usage : c.said) << c.arguments;
    }
    holder.Stop();
    fs::remove_all(root);
}

}  // namespace
