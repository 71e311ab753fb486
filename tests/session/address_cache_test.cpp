// SERVERIP.ini, the address cache in the shared store: another user of the store may write it,
// so it never answers a name the resolver knows, is read only to its bound, and takes a line
// only as "name=a.b.c.d".
#include <fstream>

#include "fixture.h"
#include "support/child_memory.h"

namespace qvptest {
namespace {

class AddressCacheTest : public SessionTest {
protected:
    fs::path Cache() const { return data() / "SERVERIP.ini"; }
    void Plant(const std::string& text) const { std::ofstream(Cache(), std::ios::binary) << text; }
    std::string Text() const {
        std::ifstream in(Cache(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Opens `host` and closes again: 0, or the open's error.
    uint32_t OpenAndClose(const char* host) {
        if (Open(host) != 1) return qvAPIGetLastError();
        EXPECT_EQ(qvAPIClose(), 1);
        return 0;
    }
};

// A line planted for a name the resolver answers (the default host above all) leads nowhere:
// the session goes to the resolver's address, and the cache says so afterwards.
TEST_F(AddressCacheTest, APlantedLineNeverOverridesTheResolver) {
    qvpsim::ManagerSim other;  // another user's listener on the planted address, the same port
    ASSERT_TRUE(other.Start(sim().port(), win::inet_addr("127.0.0.2")));
    std::vector<std::pair<const char*, std::string>> cases = {{nullptr, "localhost"}, {"", "localhost"}, {"localhost", "LocalHost"}};
    // This machine's name, where the resolver gives the simulator's address for it.
    const std::string local = win::GetLocalHostName();
    if (win::ResolveHostIPv4(local.c_str()) == win::inet_addr("127.0.0.1")) cases.push_back({local.c_str(), local});
    for (const auto& [host, cached] : cases) {
        SCOPED_TRACE(host == nullptr ? "(null)" : host);
        Plant(cached + "=127.0.0.2\r\n");
        EXPECT_EQ(OpenAndClose(host), 0u);
        EXPECT_TRUE(other.Received().empty()) << "the handshake went to the planted address";
        EXPECT_EQ(Text(), (host == nullptr || *host == '\0' ? "localhost" : host) + std::string("=127.0.0.1\r\n"));
    }
    other.Stop();
}

// For a name the resolver does not know, only a "name=a.b.c.d" line answers: forms that
// inet_addr would also read (octal, hexadecimal, fewer parts, trailing text) are passed over.
TEST_F(AddressCacheTest, OnlyWellFormedLinesAnswerUnknownNames) {
    Plant("zarn-octal=0177.0.0.1\r\nzarn-zero=127.0.0.01\r\nzarn-hex=0x7f.0.0.1\r\nzarn-short=127.1\r\n\x01\x02garbage\r\n"
          "=127.0.0.1\r\nzarn-blank=127.0.0.1 x\r\nzarn-wide=127.0.0.256\r\nzarn-good=127.0.0.1\r\nzarn-lf=127.0.0.1\nzarn-last=127.0.0.1");
    for (const char* host : {"zarn-octal", "zarn-zero", "zarn-hex", "zarn-short", "zarn-blank", "zarn-wide"})
        EXPECT_EQ(OpenAndClose(host), QVAPI_ERR_TCP_HOST_UNKNOWN) << host;
    for (const char* host : {"ZARN-GOOD", "zarn-lf", "zarn-last"}) EXPECT_EQ(OpenAndClose(host), 0u) << host;
}

// A huge cache (sparse: no disk) is read only to its bound: a line within it answers, one cut by
// it or far beyond it is never read, and what the resolver answers is written back last, within
// the bound (short lines written back longer push the oldest out).
TEST_F(AddressCacheTest, AHugeCacheIsReadOnlyToItsBound) {
    constexpr size_t kBound = 64 << 10;  // what a reader reads
    const std::string cut = "zarn-cut=127.0.0.1";  // "...12" cut after "...1"
    std::string text = "zarn-near=127.0.0.1\r\n";
    while (text.size() + 12 + cut.size() <= kBound) text += "z=127.0.0.1\n";
    Plant(text + std::string(kBound - text.size() - cut.size(), '\n') + cut + "2\r\n");
    ASSERT_TRUE(PlantSparseAt(Cache(), 256 << 20, "\r\nzarn-far=127.0.0.1\r\n", uint64_t{512} << 20));
    EXPECT_EQ(OpenAndClose("zarn-near"), 0u);
    EXPECT_EQ(OpenAndClose("zarn-cut"), QVAPI_ERR_TCP_HOST_UNKNOWN);
    EXPECT_EQ(OpenAndClose("zarn-far"), QVAPI_ERR_TCP_HOST_UNKNOWN);
    EXPECT_EQ(OpenAndClose("localhost"), 0u);
    const std::string written = Text();
    EXPECT_LE(written.size(), kBound);
    EXPECT_TRUE(written.starts_with("z=127.0.0.1\r\n") && written.ends_with("\r\nlocalhost=127.0.0.1\r\n"));
}

}  // namespace
}  // namespace qvptest
