// The simulator program says what keeps it from starting, and why, and stops with a non-zero
// exit: a newcomer who mistyped its root or port learns it at once. Started, it says where it
// listens and which root it serves, and it ends on SIGTERM or SIGINT whenever they come.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "manager-sim/sim.h"
#include "manager-sim/wire.h"
#include "platform/win.h"
#include "support/child_process.h"
#include "support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using qvptest::ChildProgram;

constexpr uint32_t kLoopback = 0x0100007Fu;  // 127.0.0.1, network order

std::vector<std::string> SimCommand(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QVP_BINARY_DIR "/qvp-manager-sim");
    return arguments;
}

std::string Joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& a : arguments) text += (text.empty() ? "" : " ") + a;
    return text;
}

// What the program printed (stdout and stderr) and its exit code. One that starts is stopped
// (SIGTERM) once it has said `linesOnceStarted` lines; every wait is bounded, so that a simulator
// that starts when it should not, or does not stop, fails the test rather than hanging it.
std::pair<std::string, int> RunSim(const std::vector<std::string>& arguments, int linesOnceStarted) {
    ChildProgram sim(SimCommand(arguments));
    std::string said;
    for (int n = 0; n < linesOnceStarted; ++n) {
        const auto line = sim.ReadLine();
        if (!line) break;
        said += *line + '\n';
    }
    if (linesOnceStarted > 0) sim.Signal(SIGTERM);
    said += sim.ReadToEnd();
    return {said, qvptest::ExitCode(sim.Wait())};
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
    const struct { std::vector<std::string> arguments; std::string said; int exit; int linesOnceStarted = 0; } cases[] = {
        {{"--root", data, "--port", "0"}, "PORT\n" + listening + "PORT, serving the root " + data + "\n", 0, 2},
        {{"--root", data + "/./", "--port", "0", "--demo-job"}, "PORT\n" + listening + "PORT, serving the root " + data + "/\n", 0, 2},
        {{"--root", data, "--help"}, usage, 0},
        {{"--help", "--prot"}, usage, 0},
        {{"--root", data + "/missing", "--port", "0"}, "--root " + data + "/missing: No such file or directory\n", 1},
        {{"--root", file, "--port", "0"}, "--root " + file + ": Not a directory\n", 1},
        {{"--root", data, "--port", held}, "cannot listen on 127.0.0.1 port " + held + ": Address already in use\n", 1},
        {{"--root", data, "--port", "7x"}, "--port 7x" + notPort + usage, 2},
        {{"--root", data, "--port", "65536"}, "--port 65536" + notPort + usage, 2},
        {{"--root", data, "--prot", "7001"}, "--prot: unknown or without its value\n" + usage, 2},
        {{"--port", "0"}, "--root DIR is missing\n" + usage, 2},
        {{"--root", data}, "--port N is missing\n" + usage, 2},
        {{}, "--root DIR and --port N are missing\n" + usage, 2},
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
        EXPECT_EQ(said, expected) << Joined(c.arguments);
        EXPECT_EQ(exit, c.exit) << Joined(c.arguments);
    }
    fs::remove_all(root);
}

// A client of the simulator on `port`: the socket, or -1.
int Connect(const std::string& port) { return win::TcpConnect(kLoopback, static_cast<uint16_t>(std::stoi(port))); }

void Send(int socket, const std::string& bytes) {
    ASSERT_EQ(win::SocketSend(socket, bytes.data(), bytes.size()), static_cast<int>(bytes.size()));
}

// SIGTERM and SIGINT end the simulator, whenever they come: while it starts (with the demo jobs
// to write first), once it listens, and while it serves clients that are silent or stop part
// way through a message. It ends by itself (exit 0, or killed by that very signal before it
// took it over), never by the kill that ends the wait.
TEST(SimulatorProgram, EndsOnSigtermOrSigintAtAnyMoment) {
    const fs::path root = qvptest::MakeTempRoot("qvp-simsig-");
    const std::string data = (root / "data").string();
    enum class Moment { AfterSpawn, Listening, SilentClients, HalfHandshake, HalfFrame };
    const struct { Moment moment; std::chrono::microseconds delay{0}; const char* what; } moments[] = {
        {Moment::AfterSpawn, std::chrono::microseconds(0), "at once"},
        {Moment::AfterSpawn, std::chrono::microseconds(300), "after 0.3 ms"},
        {Moment::AfterSpawn, std::chrono::microseconds(1000), "after 1 ms"},
        {Moment::AfterSpawn, std::chrono::microseconds(3000), "after 3 ms"},
        {Moment::AfterSpawn, std::chrono::microseconds(10000), "after 10 ms"},
        {Moment::Listening, {}, "once it said its port"},
        {Moment::SilentClients, {}, "with clients connected and silent"},
        {Moment::HalfHandshake, {}, "part way through a client's handshake"},
        {Moment::HalfFrame, {}, "part way through a client's request"},
    };
    for (const int signal : {SIGTERM, SIGINT}) {
        for (const auto& m : moments) {
            SCOPED_TRACE(std::string(strsignal(signal)) + ", " + m.what);
            ChildProgram sim(SimCommand({"--root", data, "--port", "0", "--demo-job"}));
            ASSERT_GT(sim.pid(), 0);
            std::vector<int> clients;
            if (m.moment == Moment::AfterSpawn) {
                std::this_thread::sleep_for(m.delay);
            } else {
                const auto port = sim.ReadLine();
                ASSERT_TRUE(port.has_value());
                const int clientCount = m.moment == Moment::SilentClients ? 8 : m.moment == Moment::Listening ? 0 : 1;
                for (int i = 0; i < clientCount; ++i) clients.push_back(Connect(*port));
                for (int c : clients) ASSERT_GE(c, 0);
                if (m.moment == Moment::HalfHandshake) Send(clients[0], "H 1 h5 pc0");
                if (m.moment == Moment::HalfFrame) {
                    Send(clients[0], std::string("H 0", 4));
                    char c = 1;  // the simulator's answer, to its NUL: it waits for requests now
                    while (c != '\0') ASSERT_EQ(win::SocketRecv(clients[0], &c, 1, 30'000), 1);
                    Send(clients[0], qvpsim::FrameHeader(qvpsim::kHeaderSize + 100) + "REQ 1 s");
                }
            }
            sim.Signal(signal);
            const int code = qvptest::ExitCode(sim.Wait(std::chrono::seconds(30)));
            EXPECT_TRUE(code == 0 || code == 128 + signal) << "ended with " << code << " (-1: still running)";
            for (int c : clients) win::CloseSocket(c);
        }
    }
    fs::remove_all(root);
}

}  // namespace
