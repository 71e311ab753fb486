// A fresh data root with its own settings file and a manager simulator on loopback.
#pragma once

#include <string>

#include "core/block.h"
#include "qvpapi.h"
#include "support/sim_fixture.h"

namespace qvptest {

class SessionTest : public SimTest {
protected:
    SessionTest() : SimTest("qvp-session-") {}

    std::string port() const { return std::to_string(sim_->port()); }
    int Open(const char* host = "127.0.0.1") { return qvAPIOpen(host, port().c_str()); }
    QVPAPI& block() { return *qvpGetThreadBlock(); }

    // Nothing of a session is left in the block.
    static void ExpectNoSession(const QVPAPI& b) {
        EXPECT_EQ(b.link, QvpLink::None);
        EXPECT_LT(b.socket, 0);
        EXPECT_EQ(b.arena, nullptr);
        EXPECT_EQ(b.dllLogId, 0);
        EXPECT_EQ(b.nodeLogId, 0);
    }
};

}  // namespace qvptest
