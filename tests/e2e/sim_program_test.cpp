// The simulator program says what keeps it from starting, and why, and stops with a non-zero
// exit: a newcomer who mistyped its root or port learns it at once.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "manager-sim/sim.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

// What the program printed (stdout and stderr) and its exit code. Bounded, so that a simulator
// that starts after all ends the test rather than hanging it.
std::pair<std::string, int> RunSim(const std::string& arguments) {
    FILE* pipe = popen(("timeout 30 " QVP_BINARY_DIR "/qvp-manager-sim " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"popen failed", -1};
    std::string said;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) said.append(buffer, n);
    const int status = pclose(pipe);
    return {said, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(SimulatorProgram, SaysWhatKeepsItFromStarting) {
    const fs::path root = qvptest::MakeTempRoot("qvp-simprog-");
    const std::string data = (root / "data").string(), file = (root / "plain").string();
    std::ofstream(file) << "x";
    qvpsim::ManagerSim holder(data);  // holds a port
    ASSERT_TRUE(holder.Start());
    const std::string held = std::to_string(holder.port());
    const std::string notPort = ": not a port number from 0 to 65535\n";
    const std::string usage = "usage: qvp-manager-sim --root DIR --port N [--demo-job]\n";
    const struct { std::string arguments, said; int exit; } cases[] = {
        {"--root " + data + "/missing --port 0", "--root " + data + "/missing: No such file or directory\n", 1},
        {"--root " + file + " --port 0", "--root " + file + ": Not a directory\n", 1},
        {"--root " + data + " --port " + held, "cannot listen on 127.0.0.1 port " + held + ": Address already in use\n", 1},
        {"--root " + data + " --port 7x", "--port 7x" + notPort + usage, 2},
        {"--root " + data + " --port 65536", "--port 65536" + notPort + usage, 2},
        {"--root " + data + " --prot 7001", "--prot: unknown or without its value\n" + usage, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunSim(c.arguments), std::make_pair("qvp-manager-sim: " + c.said, c.exit)) << c.arguments;
    fs::remove_all(root);
}

}  // namespace
