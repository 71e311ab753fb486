// A fresh data root with its own settings file and a manager simulator on loopback.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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

    // Sockets the process holds (the simulator's included).
    static size_t OpenSockets() {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            const auto target = std::filesystem::read_symlink(entry.path(), ec);
            if (!ec && target.string().starts_with("socket:")) ++n;
        }
        return n;
    }

    // The whole DLL.LOG of the data root.
    std::string DllLog() const {
        std::ifstream in(data() / "LOG" / "DLL.LOG", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Whether a DLL.LOG record written by thread `tid` holds `text`.
    bool LoggedBy(win::DWORD tid, const std::string& text) const {
        char column[16];
        std::snprintf(column, sizeof column, " %08u ", static_cast<unsigned>(tid));
        const std::string log = DllLog();
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            const size_t start = log.rfind('\n', at);
            const size_t from = start == std::string::npos ? 0 : start;
            if (log.substr(from, at - from).find(column) != std::string::npos) return true;
        }
        return false;
    }

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
