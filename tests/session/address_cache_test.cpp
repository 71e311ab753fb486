// SERVERIP.ini, the address cache in the shared store: another user of the store may write it,
// so it never answers a name the resolver knows, is read only to its bound, and takes a line
// only as "name=a.b.c.d".
#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "fixture.h"
#include "share/tcp/server_ip_cache.h"

namespace qvptest {
namespace {

class AddressCacheTest : public SessionTest {
protected:
    fs::path Cache() const { return data() / "SERVERIP.ini"; }
    void Plant(const std::string& text) const { std::ofstream(Cache(), std::ios::binary) << text; }
    // Opens `host` and closes again; whether the open succeeded.
    bool OpenAndClose(const char* host) {
        const bool opened = Open(host) == 1;
        if (opened) {
            EXPECT_EQ(qvAPIClose(), 1);
        }
        return opened;
    }
};

// A line planted for a name the resolver answers (the default host above all) leads nowhere:
// the session goes to the resolver's address, and the cache says so afterwards.
TEST_F(AddressCacheTest, APlantedLineNeverOverridesTheResolver) {
    qvpsim::ManagerSim other;  // another user's listener on the planted address, the same port
    ASSERT_TRUE(other.Start(sim().port(), win::inet_addr("127.0.0.2")));
    struct Case {
        const char* host;
        std::string cached;  // the name the planted line gives
    };
    std::vector<Case> cases = {{nullptr, "localhost"}, {"", "localhost"}, {"localhost", "LocalHost"}};
    // This machine's name, where the resolver gives the simulator's address for it.
    const std::string local = win::GetLocalHostName();
    if (win::ResolveHostIPv4(local.c_str()) == win::inet_addr("127.0.0.1")) cases.push_back({local.c_str(), local});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host == nullptr ? "(null)" : c.host);
        Plant(c.cached + "=127.0.0.2\r\n");
        sim().ClearLog();
        ASSERT_EQ(Open(c.host), 1);
        EXPECT_EQ(qvAPIClose(), 1);
        EXPECT_FALSE(sim().Received().empty());
        EXPECT_TRUE(other.Received().empty()) << "the handshake went to the planted address";
        std::ifstream again(Cache());
        std::string line;
        std::getline(again, line);
        EXPECT_EQ(line, (c.host == nullptr || *c.host == '\0' ? "localhost" : c.host) + std::string("=127.0.0.1\r"));
    }
    other.Stop();
}

// For a name the resolver does not know, only a "name=a.b.c.d" line answers: forms that
// inet_addr would also read (octal, hexadecimal, fewer parts, trailing text) are passed over.
TEST_F(AddressCacheTest, OnlyWellFormedLinesAnswerUnknownNames) {
    Plant("zarn-octal=0177.0.0.1\r\nzarn-hex=0x7f.0.0.1\r\nzarn-short=127.1\r\n\x01\x02garbage\r\n=127.0.0.1\r\n"
          "zarn-blank=127.0.0.1 x\r\nzarn-wide=127.0.0.256\r\nzarn-good=127.0.0.1\r\nzarn-lf=127.0.0.1\nzarn-last=127.0.0.1");
    struct Case {
        const char* host;
        bool opens;
    };
    for (const Case& c : {Case{"zarn-octal", false}, Case{"zarn-hex", false}, Case{"zarn-short", false},
                          Case{"zarn-blank", false}, Case{"zarn-wide", false}, Case{"ZARN-GOOD", true},
                          Case{"zarn-lf", true}, Case{"zarn-last", true}}) {
        EXPECT_EQ(OpenAndClose(c.host), c.opens) << c.host;
        if (!c.opens) {
            EXPECT_EQ(qvAPIGetLastError(), 0x20220000u) << c.host;
        }
    }
}

// A huge cache (sparse: no disk) is read only to its bound: a line within it answers, one far
// beyond it is never reached, and what the resolver answers is written back within the bound.
TEST_F(AddressCacheTest, AHugeCacheIsReadOnlyToItsBound) {
    Plant("zarn-near=127.0.0.1\r\n");
    {
        const int fd = ::open(Cache().c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string far = "\r\nzarn-far=127.0.0.1\r\n";
        ASSERT_EQ(::pwrite(fd, far.data(), far.size(), 256 << 20), static_cast<ssize_t>(far.size()));
        ASSERT_EQ(::ftruncate(fd, off_t{512} << 20), 0);
        ::close(fd);
    }
    EXPECT_TRUE(OpenAndClose("zarn-near"));
    EXPECT_FALSE(OpenAndClose("zarn-far"));
    EXPECT_TRUE(OpenAndClose("localhost"));
    EXPECT_LE(fs::file_size(Cache()), kQvpServerIpReadBound);
    std::ifstream again(Cache());
    std::string first;
    std::getline(again, first);
    EXPECT_EQ(first, "zarn-near=127.0.0.1\r");
}

}  // namespace
}  // namespace qvptest
