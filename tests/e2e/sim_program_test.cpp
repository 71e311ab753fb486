// The simulator program says what keeps it from starting, and why, and stops with a non-zero
// exit: a newcomer who mistyped its root or port learns it at once. Started, it says where it
// listens and which root it serves.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "manager-sim/sim.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;

// What the program printed (stdout and stderr) and its exit code. One that starts is stopped
// (SIGTERM) once it has said `linesOnceStarted` lines; bounded, so that a simulator that starts
// when it should not ends the test rather than hanging it.
std::pair<std::string, int> RunSim(const std::string& arguments, int linesOnceStarted) {
    // The shell says its process id, which the program takes over.
    FILE* pipe =
        popen(("echo $$; exec timeout 30 " QVP_BINARY_DIR "/qvp-manager-sim " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"popen failed", -1};
    char line[512];
    const pid_t pid = std::fgets(line, sizeof line, pipe) != nullptr ? std::atoi(line) : 0;
    std::string said;
    for (int n = 0; n < linesOnceStarted && std::fgets(line, sizeof line, pipe) != nullptr; ++n) said += line;
    if (linesOnceStarted > 0 && pid > 0) kill(pid, SIGTERM);
    for (size_t n; (n = std::fread(line, 1, sizeof line, pipe)) > 0;) said.append(line, n);
    const int status = pclose(pipe);
    return {said, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(SimulatorProgram, SaysWhereItListensOrWhatKeepsItFromStarting) {
    const fs::path root = qvptest::MakeTempRoot("qvp-simprog-");
    const std::string data = (root / "data").string(), file = (root / "plain").string();
    std::ofstream(file) << "x";
    qvpsim::ManagerSim holder(data);  // holds a port
    ASSERT_TRUE(holder.Start());
    const std::string held = std::to_string(holder.port());
    const std::string notPort = ": not a port number from 0 to 65535\n";
    const std::string usage = "usage: qvp-manager-sim --root DIR --port N [--demo-job]\n";
    const std::string listening = "qvp-manager-sim: listening on 127.0.0.1 port ";
    // All it says once started ("PORT" stands for the port of its first line), the first line of
    // its help, or else what it says after "qvp-manager-sim: ".
    const struct { std::string arguments, said; int exit; int linesOnceStarted = 0; } cases[] = {
        {"--root " + data + " --port 0", "PORT\n" + listening + "PORT, serving the root " + data + "\n", 0, 2},
        {"--root " + data + "/./ --port 0 --demo-job", "PORT\n" + listening + "PORT, serving the root " + data + "/\n", 0, 2},
        {"--root " + data + " --help", usage, 0},
        {"--help --prot", usage, 0},
        {"--root " + data + "/missing --port 0", "--root " + data + "/missing: No such file or directory\n", 1},
        {"--root " + file + " --port 0", "--root " + file + ": Not a directory\n", 1},
        {"--root " + data + " --port " + held, "cannot listen on 127.0.0.1 port " + held + ": Address already in use\n", 1},
        {"--root " + data + " --port 7x", "--port 7x" + notPort + usage, 2},
        {"--root " + data + " --port 65536", "--port 65536" + notPort + usage, 2},
        {"--root " + data + " --prot 7001", "--prot: unknown or without its value\n" + usage, 2},
    };
    for (const auto& c : cases) {
        auto [said, exit] = RunSim(c.arguments, c.linesOnceStarted);
        std::string expected = c.said;
        if (const std::string port = said.substr(0, said.find('\n')); c.linesOnceStarted > 0)
            for (size_t at; (at = expected.find("PORT")) != std::string::npos;) expected.replace(at, 4, port);
        else if (c.said == usage)
            said = said.substr(0, said.find('\n') + 1);
        else
            expected = "qvp-manager-sim: " + expected;
        EXPECT_EQ(said, expected) << c.arguments;
        EXPECT_EQ(exit, c.exit) << c.arguments;
    }
    fs::remove_all(root);
}

}  // namespace
