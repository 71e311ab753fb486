// Opening and closing sessions against the simulator over loopback.
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "core/errors.h"
#include "fixture.h"
#include "session/message.h"
#include "session/request.h"

namespace qvptest {
namespace {

using Kind = qvpsim::LogEntry::Kind;

TEST_F(SessionTest, OpenStoresDivisionalTransferDefaults) {
    sim().SetHandshakeReply("AINTA V0300 1048576 60");
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(block().link, QvpLink::Connected);
    EXPECT_GE(block().socket, 0);
    EXPECT_EQ(block().divisionalTransferSize, 1048576u);
    EXPECT_EQ(block().divisionalTransferInterval, 60u);
    EXPECT_EQ(block().openerThreadId, win::GetCurrentThreadId());
    EXPECT_NE(block().arena, nullptr);
    EXPECT_NE(block().dllLogId, 0);
    EXPECT_NE(block().nodeLogId, 0);
    EXPECT_EQ(block().apiLevel, 0u);
    EXPECT_EQ(block().recordSizes[kSlotNode], 960u);
    EXPECT_STREQ(block().hostName, "127.0.0.1");

    // The handshake went out in text mode: the request and one NUL.
    auto log = sim().Log();
    auto aint = std::find_if(log.begin(), log.end(), [](auto& e) { return e.kind == Kind::Received; });
    ASSERT_NE(aint, log.end());
    EXPECT_TRUE(aint->text.starts_with("AINT 2 v5 V0300 h"));
    EXPECT_EQ(aint->wire, aint->text + '\0');
    qvpsim::Request parsed = qvpsim::ParseRequest(aint->text);
    EXPECT_TRUE(parsed.wellFormed);
    EXPECT_EQ(parsed.Value(1), win::GetLocalHostName());
}

TEST_F(SessionTest, NodesKeyedByAddressAnnounceTheAddress) {
    ASSERT_TRUE(win::registry::Set("SystemManagementKey", "1"));
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(block().systemManagementKey, 1);
    qvpsim::Request aint = qvpsim::ParseRequest(sim().Received().front());
    const std::string host(aint.Value(1));
    EXPECT_NE(win::inet_addr(host.c_str()), win::INADDR_NONE_VALUE) << host;
}

TEST_F(SessionTest, SizeOutOfBoundsDropsBothDefaults) {
    sim().SetHandshakeReply("AINTA V0300 0 60");
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(block().divisionalTransferSize, 0u);
    EXPECT_EQ(block().divisionalTransferInterval, 0u);
}

TEST_F(SessionTest, SocketlessSessionOpensAndClosesWithoutRequests) {
    sim().SetHandshakeReply("CONNECTA 52");
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(block().link, QvpLink::Socketless);
    EXPECT_LT(block().socket, 0);
    EXPECT_NE(block().arena, nullptr);

    // Requests of a session without a socket fail at once; it does not become broken.
    EXPECT_EQ(qvpExchange(block(), qvp::BuildFrlsRequest('M')), kQvpExchangeSendFailed);
    EXPECT_EQ(block().link, QvpLink::Socketless);

    ASSERT_EQ(qvAPIClose(), 1);
    ExpectNoSession(block());
    ASSERT_TRUE(sim().WaitForClosed(1));
    auto received = sim().Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received.front().starts_with("AINT "));
}

TEST_F(SessionTest, FailedOpensLeaveNothingAndAllowASecondOpen) {
    struct {
        const char* handshake;
        uint32_t code;
    } cases[] = {
        {"CONNECTA 7", 0x20700007u},
        {"AINTA V0200", 0x20320000u},
        {"garbage", 0x20310000u},
    };
    const size_t sockets = OpenSockets();  // the simulator's listener
    size_t closed = 0;
    for (const auto& c : cases) {
        sim().SetHandshakeReply(c.handshake);
        EXPECT_EQ(Open(), 0) << c.handshake;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.handshake;
        ExpectNoSession(block());
        // The manager sees the connection end only when the library let go of its socket.
        ASSERT_TRUE(sim().WaitForClosed(++closed)) << c.handshake;
        EXPECT_EQ(OpenSockets(), sockets) << c.handshake;
    }

    sim().RefuseConnections(true);
    const size_t withoutListener = OpenSockets();
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20710000u);
    ExpectNoSession(block());
    EXPECT_EQ(OpenSockets(), withoutListener);

    sim().RefuseConnections(false);
    sim().SetHandshakeReply("AINTA V0300");
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(block().link, QvpLink::Connected);
}

TEST_F(SessionTest, HandshakeTransportFailures) {
    sim().Script("AINT", qvpsim::Action::Of(qvpsim::Action::Kind::DropAfterRead));
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20260000u);
    ExpectNoSession(block());

    sim().Script("AINT", qvpsim::Action::Of(qvpsim::Action::Kind::OneByteAtATime));
    EXPECT_EQ(Open(), 1);
}

TEST_F(SessionTest, UnknownHostAndService) {
    EXPECT_EQ(qvAPIOpen("127.0.0.1", "no-such-service-qvp"), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20230000u);
    ExpectNoSession(block());
    EXPECT_EQ(qvAPIOpen("no-such-host.invalid", port().c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20220000u);
    ExpectNoSession(block());
}

TEST_F(SessionTest, HostAddressesAreCachedInServerIpIni) {
    ASSERT_EQ(Open("localhost"), 1);
    std::ifstream cache(data() / "SERVERIP.ini");
    std::string line;
    std::getline(cache, line);
    EXPECT_EQ(line, "localhost=127.0.0.1\r");
    ASSERT_EQ(qvAPIClose(), 1);

    // A remembered name is used without asking the resolver.
    std::ofstream(data() / "SERVERIP.ini") << "zarn-manager=127.0.0.1\r\n";
    EXPECT_EQ(Open("zarn-manager"), 1);
    ASSERT_EQ(qvAPIClose(), 1);

    // A stale address is replaced by the resolver's answer.
    std::ofstream(data() / "SERVERIP.ini") << "localhost=127.0.0.2\r\n";
    EXPECT_EQ(Open("localhost"), 1);
    std::ifstream again(data() / "SERVERIP.ini");
    std::getline(again, line);
    EXPECT_EQ(line, "localhost=127.0.0.1\r");
}

TEST_F(SessionTest, CloseSendsTheClosingSequenceByteForByte) {
    ASSERT_EQ(Open(), 1);
    const int connection = sim().Connections().back();
    ASSERT_EQ(qvAPIClose(), 1);
    ExpectNoSession(block());
    ASSERT_TRUE(sim().WaitForClosed(1));

    const std::vector<std::string> expected = {"FRLS 1 f1 M", "FRLS 1 f1 A", "FRLS 1 f1 E", "FRLS 1 f1 S", "ATRM 0"};
    auto received = sim().Received(connection);
    ASSERT_EQ(received.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(received.begin() + 1, received.end()), expected);

    std::vector<std::string> wires;
    for (const auto& e : sim().Log())
        if (e.kind == Kind::Received && e.verb != "AINT") wires.push_back(e.wire);
    ASSERT_EQ(wires.size(), 5u);
    EXPECT_EQ(wires[0], std::string("\x00\x00\x00\x13\xFF\x00\x00\x00", 8) + "FRLS 1 f1 M");
    EXPECT_EQ(wires[4], std::string("\x00\x00\x00\x0E\xFF\x00\x00\x00", 8) + "ATRM 0");
}

TEST_F(SessionTest, CloseIgnoresRepliesAndEndsEvenWhenTheConnectionGoes) {
    const size_t sockets = OpenSockets();
    // A refused release does not stop the sequence.
    sim().Script("FRLS", qvpsim::Action::Refuse(), 4);
    ASSERT_EQ(Open(), 1);
    const int first = sim().Connections().back();
    ASSERT_EQ(qvAPIClose(), 1);
    ASSERT_TRUE(sim().WaitForClosed(1));
    EXPECT_EQ(sim().Received(first).size(), 6u);
    EXPECT_EQ(sim().Received(first).back(), "ATRM 0");

    // A connection lost on the first release: nothing more is sent, and nothing is left.
    sim().Script("FRLS", qvpsim::Action::Of(qvpsim::Action::Kind::DropAfterRead));
    ASSERT_EQ(Open(), 1);
    const int second = sim().Connections().back();
    ASSERT_EQ(qvAPIClose(), 1);
    ExpectNoSession(block());
    ASSERT_TRUE(sim().WaitForClosed(2));
    const auto received = sim().Received(second);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received.back(), "FRLS 1 f1 M");
    EXPECT_EQ(OpenSockets(), sockets);
}

TEST_F(SessionTest, CloseRemovesTheFourWorkTreesWithSubdirectories) {
    ASSERT_EQ(Open(), 1);
    const std::string tid = std::to_string(block().openerThreadId);
    const fs::path work = data() / "SERVER" / "WORK" / "MNG";
    for (const char* area : {"NODE", "NODEGROUP", "JOBGEN", "JOBEXEC"}) {
        fs::create_directories(work / area / tid / "sub" / "deeper");
        std::ofstream(work / area / tid / "file") << "x";
        std::ofstream(work / area / tid / "sub" / "deeper" / "file") << "x";
    }
    fs::create_directories(work / "NODE" / "other-thread");
    fs::create_directories(work / "NODEDEF" / tid);

    ASSERT_EQ(qvAPIClose(), 1);
    for (const char* area : {"NODE", "NODEGROUP", "JOBGEN", "JOBEXEC"})
        EXPECT_FALSE(fs::exists(work / area / tid)) << area;
    EXPECT_TRUE(fs::exists(work / "NODE" / "other-thread"));
    EXPECT_TRUE(fs::exists(work / "NODEDEF" / tid));
}

TEST_F(SessionTest, ATreeThatResistsDoesNotKeepTheOthers) {
    ASSERT_EQ(Open(), 1);
    const std::string tid = std::to_string(block().openerThreadId);
    const fs::path work = data() / "SERVER" / "WORK" / "MNG";
    for (const char* area : {"NODE", "NODEGROUP", "JOBGEN", "JOBEXEC"}) {
        fs::create_directories(work / area / tid / "sub");
        std::ofstream(work / area / tid / "sub" / "file") << "x";
    }
    // A file held without sharing cannot be deleted: the first tree stays.
    const std::string held = (work / "NODE" / tid / "sub" / "file").string();
    win::HANDLE h = win::CreateFile(held.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                    win::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, win::INVALID_HANDLE_VALUE);

    ASSERT_EQ(qvAPIClose(), 1);
    win::CloseHandle(h);
    EXPECT_TRUE(fs::exists(held));
    for (const char* area : {"NODEGROUP", "JOBGEN", "JOBEXEC"}) EXPECT_FALSE(fs::exists(work / area / tid)) << area;
    EXPECT_NE(DllLog().find("qvAPIClose : DirectoryDelete Error : Dir = "), std::string::npos);

    // The manager's side of the close went on as usual.
    ASSERT_TRUE(sim().WaitForClosed(1));
    EXPECT_EQ(sim().Received().back(), "ATRM 0");
}

TEST_F(SessionTest, CloseRunsReleaseHooksWhileTheSessionStillStands) {
    static QvpLink seen = QvpLink::None;
    static bool registered = false;
    if (!registered) {
        qvpRegisterSessionReleaseHook([](QVPAPI& b) { seen = b.link; });
        registered = true;
    }
    ASSERT_EQ(Open(), 1);
    ASSERT_EQ(qvAPIClose(), 1);
    EXPECT_EQ(seen, QvpLink::Connected);
}

TEST_F(SessionTest, OpeningAgainClosesTheSessionFirst) {
    ASSERT_EQ(Open(), 1);
    const int first = sim().Connections().back();
    ASSERT_EQ(Open(), 1);
    ASSERT_TRUE(sim().WaitForClosed(1));
    auto received = sim().Received(first);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back(), "ATRM 0");
    EXPECT_EQ(sim().Connections().size(), 2u);
    EXPECT_EQ(block().link, QvpLink::Connected);
}

TEST_F(SessionTest, ThreadExitClosesASessionLeftOpen) {
    const size_t sockets = OpenSockets();
    win::DWORD tid = 0;
    int socket = -1;
    std::thread t([&] {
        EXPECT_EQ(Open(), 1);
        tid = block().openerThreadId;
        socket = block().socket;
    });
    t.join();
    ASSERT_TRUE(sim().WaitForClosed(1));
    auto received = sim().Received(sim().Connections().front());
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back(), "ATRM 0");
    EXPECT_EQ(OpenSockets(), sockets);

    // The close at the thread's end still writes its line, under the exiting thread's id.
    EXPECT_TRUE(LoggedBy(tid, "qvAPIClose : Socket = " + std::to_string(socket)));
}

TEST_F(SessionTest, TwoThreadsKeepIndependentSessions) {
    // The manager remembers a value per connection and answers with the one it had before.
    sim().Handle("KEEP", [](qvpsim::Call& call) {
        std::string& kept = call.connection.State<std::string>("kept");
        std::string previous = kept;
        kept = std::string(call.request.Value(0));
        return "0 0 0 k" + std::to_string(previous.size()) + " " + previous;
    });
    auto session = [&](const std::string& name, win::DWORD* tid, int* socket) {
        ASSERT_EQ(Open(), 1);
        *tid = block().openerThreadId;
        *socket = block().socket;
        for (int i = 0; i < 20; ++i) {
            qvp::RequestBuilder keep("KEEP");
            keep.Field('k', name + std::to_string(i));
            ASSERT_GT(qvpExchange(block(), keep), 0);
            if (i > 0) {
                const std::string previous = name + std::to_string(i - 1);
                EXPECT_EQ(std::string(block().replyBuffer),
                          "0 0 0 k" + std::to_string(previous.size()) + " " + previous);
            }
        }
        ASSERT_EQ(qvAPIClose(), 1);
    };
    win::DWORD tidA = 0, tidB = 0;
    int socketA = -1, socketB = -1;
    std::thread a(session, "alpha", &tidA, &socketA);
    std::thread b(session, "beta", &tidB, &socketB);
    a.join();
    b.join();
    EXPECT_NE(tidA, tidB);
    ASSERT_TRUE(sim().WaitForClosed(2));

    // Each thread's close line carries its own thread id and its own socket.
    EXPECT_TRUE(LoggedBy(tidA, "qvAPIClose : Socket = " + std::to_string(socketA)));
    EXPECT_TRUE(LoggedBy(tidB, "qvAPIClose : Socket = " + std::to_string(socketB)));
    auto ids = sim().Connections();
    ASSERT_EQ(ids.size(), 2u);
    for (int id : ids) {
        auto received = sim().Received(id);
        ASSERT_EQ(received.size(), 1u + 20u + 5u);
        const bool alpha = received[1].find("alpha") != std::string::npos;
        for (size_t i = 1; i <= 20; ++i)
            EXPECT_NE(received[i].find(alpha ? "alpha" : "beta"), std::string::npos) << received[i];
    }
}

TEST_F(SessionTest, CloseWithoutSessionSucceeds) {
    EXPECT_EQ(qvAPIClose(), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    ExpectNoSession(block());
}

// A manager that accepts the connection, then never answers: with ReceiveTimeout=2 every wait
// ends, and a session left hanging closes without waiting on the manager again.
// Runs `body` on a thread of its own; whether that thread ended, its exit included, in good
// time. One still waiting is freed by dropping the manager's connections.
bool EndsInTime(qvpsim::ManagerSim& sim, const std::function<void()>& body) {
    std::promise<void> ended;
    std::thread outer([&] {
        std::thread(body).join();
        ended.set_value();
    });
    const bool inTime = ended.get_future().wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!inTime) sim.DropConnections();
    outer.join();
    return inTime;
}

// Signals that keep interrupting the wait for a reply do not make it start again: the
// receive still ends when ReceiveTimeout is over.
TEST_F(SessionTest, SignalsDoNotStretchTheReceiveTimeout) {
    ASSERT_TRUE(win::registry::Set("ReceiveTimeout", "1"));
    struct sigaction quiet{}, before{};
    quiet.sa_handler = [](int) {};
    quiet.sa_flags = SA_RESTART;
    ASSERT_EQ(sigaction(SIGUSR1, &quiet, &before), 0);
    sim().Script("PING", qvpsim::Action::Of(qvpsim::Action::Kind::Silence));
    EXPECT_TRUE(EndsInTime(sim(), [&] {
        ASSERT_EQ(Open(), 1);
        std::atomic<bool> waiting{true};
        std::thread signals([&, self = pthread_self()] {
            for (; waiting; std::this_thread::sleep_for(std::chrono::milliseconds(100))) pthread_kill(self, SIGUSR1);
        });
        EXPECT_EQ(qvpExchange(block(), qvp::RequestBuilder("PING")), kQvpExchangeRecvFailed);
        waiting = false;
        signals.join();
    }));
    sigaction(SIGUSR1, &before, nullptr);
}

TEST_F(SessionTest, SilentManagerNeverHoldsOpenCloseOrAThreadsEnd) {
    ASSERT_TRUE(win::registry::Set("ReceiveTimeout", "2"));
    sim().Script("AINT", qvpsim::Action::Of(qvpsim::Action::Kind::Silence));
    ASSERT_TRUE(EndsInTime(sim(), [&] {
        EXPECT_EQ(Open(), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_RECV);
        ExpectNoSession(block());
    }));
    for (const bool closeFirst : {true, false}) {
        sim().ClearLog();
        ASSERT_TRUE(EndsInTime(sim(), [&] {
            ASSERT_EQ(Open(), 1);
            int keepAlive = 0;
            socklen_t size = sizeof keepAlive;
            getsockopt(block().socket, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size);
            EXPECT_EQ(keepAlive, 1);
            sim().Script("*", qvpsim::Action::Of(qvpsim::Action::Kind::Silence), -1);
            if (closeFirst) {
                EXPECT_EQ(qvAPIClose(), 1);
            }
        })) << closeFirst;
        sim().ClearScripts();
        // The first release went unanswered; a broken session asks nothing more.
        auto received = sim().Received();
        ASSERT_EQ(received.size(), 2u) << closeFirst;
        EXPECT_EQ(received[1], "FRLS 1 f1 M");
    }
}

}  // namespace
}  // namespace qvptest
