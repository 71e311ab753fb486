// A failed open lets go of everything it took: the connection, and DLL.LOG and NODE.LOG, which
// it opens before the handshake. Transport failures come from the platform's failure injection.
#include "session/fixture.h"
#include "support/fault_steps.h"

namespace qvptest {
namespace {

// Files of the data root's LOG folder that the process holds open.
size_t OpenLogs(const std::filesystem::path& data) {
    size_t n = 0;
    const std::string logDir = (data / "LOG").string() + "/";
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(entry.path(), ec);
        if (!ec && target.string().starts_with(logDir)) ++n;
    }
    return n;
}

TEST_F(SessionTest, FailedOpenLeavesNoLogOpen) {
    using win::fault::Call;
    const struct {
        Call call;
        unsigned step;
        uint32_t code;
    } cases[] = {
        {Call::SocketSend, 1, QVAPI_ERR_TCP_SEND},
        {Call::SocketRecv, 1, QVAPI_ERR_TCP_RECV},
    };
    for (const auto& c : cases) {
        win::fault::Watch("");
        win::fault::FailNth(c.call, c.step, 10054);  // connection reset
        EXPECT_EQ(Open(), 0);
        EXPECT_EQ(qvAPIGetLastError(), c.code);
        win::fault::Reset();
        ExpectNoSession(block());
        EXPECT_TRUE(std::filesystem::exists(data() / "LOG" / "DLL.LOG"));
        EXPECT_EQ(OpenLogs(data()), 0u);
        for (const char* log : {"DLL.LOG", "NODE.LOG"}) {
            // Nothing else holds them: an open without sharing goes through.
            const std::string path = (data() / "LOG" / log).string();
            win::HANDLE h = win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr,
                                            win::OPEN_ALWAYS, 0, nullptr);
            EXPECT_NE(h, win::INVALID_HANDLE_VALUE) << log;
            win::CloseHandle(h);
        }
    }
    EXPECT_EQ(Open(), 1);
    EXPECT_GT(OpenLogs(data()), 0u);
    EXPECT_EQ(qvAPIClose(), 1);
}

}  // namespace
}  // namespace qvptest
