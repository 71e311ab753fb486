// A manager that accepts the connection and then never answers: every wait for it is bounded
// by ReceiveTimeout, and a session it left hanging closes without waiting again.
#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <future>
#include <thread>

#include "fixture.h"

namespace qvptest {
namespace {

using namespace std::chrono_literals;
using Kind = qvpsim::Action::Kind;

class SilentManager : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        ASSERT_TRUE(win::registry::Set("ReceiveTimeout", "2"));
    }

    // Runs `body` on a thread of its own and tells whether that thread ended (its exit included)
    // in good time. A thread still waiting then is freed by dropping the manager's connections.
    bool EndsInTime(const std::function<void()>& body) {
        std::promise<void> ended;
        std::future<void> done = ended.get_future();
        std::thread outer([&] {
            std::thread(body).join();
            ended.set_value();
        });
        const bool inTime = done.wait_for(30s) == std::future_status::ready;
        if (!inTime) sim().DropConnections();
        outer.join();
        return inTime;
    }

    // Requests the manager received after the handshake.
    std::vector<std::string> AfterHandshake() {
        auto received = sim().Received();
        if (!received.empty()) received.erase(received.begin());
        return received;
    }
};

TEST_F(SilentManager, OpenGivesUpOnAnUnansweredHandshake) {
    sim().Script("AINT", qvpsim::Action::Of(Kind::Silence));
    ASSERT_TRUE(EndsInTime([&] {
        EXPECT_EQ(Open(), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_RECV);
        ExpectNoSession(block());
    }));
    EXPECT_TRUE(sim().WaitForClosed(1));
}

TEST_F(SilentManager, CloseWaitsOnceThenLetsGo) {
    ASSERT_TRUE(EndsInTime([&] {
        ASSERT_EQ(Open(), 1);
        int keepAlive = 0;
        socklen_t size = sizeof keepAlive;
        ASSERT_EQ(getsockopt(block().socket, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size), 0);
        EXPECT_EQ(keepAlive, 1);
        sim().Script("*", qvpsim::Action::Of(Kind::Silence), -1);
        EXPECT_EQ(qvAPIClose(), 1);
        ExpectNoSession(block());
    }));
    // The first release went unanswered; nothing more was asked of a broken session.
    EXPECT_EQ(AfterHandshake(), std::vector<std::string>{"FRLS 1 f1 M"});
    EXPECT_TRUE(sim().WaitForClosed(1));
}

TEST_F(SilentManager, ThreadEndingWithItsSessionOpenEnds) {
    ASSERT_TRUE(EndsInTime([&] {
        ASSERT_EQ(Open(), 1);
        sim().Script("*", qvpsim::Action::Of(Kind::Silence), -1);
    }));
    EXPECT_EQ(AfterHandshake(), std::vector<std::string>{"FRLS 1 f1 M"});
    EXPECT_TRUE(sim().WaitForClosed(1));
}

}  // namespace
}  // namespace qvptest
