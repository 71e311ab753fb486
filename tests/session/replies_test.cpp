// Reply classifiers, the handshake answer and request texts.
#include <gtest/gtest.h>

#include <string>

#include "manager-sim/wire.h"
#include "qvpapi.h"
#include "session/checkers.h"
#include "session/request.h"
#include "session/session.h"

namespace {

struct Case {
    const char* reply;
    int expected;
};

void ExpectTable(int (*check)(const char*), std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(check(c.reply), c.expected) << '"' << (c.reply ? c.reply : "NULL") << '"';
}

TEST(ReplyCheckers, Rput) {
    ExpectTable(qvpAPICheckRputReply, {{"0 0 0", 0},
                                       {"0 0", 0},
                                       {"16 22", 1},
                                       {"16 162", 2},
                                       {"16 199", 3},
                                       {"4 16", 4},
                                       {"4 16 0", 4},
                                       {"16 2", 255},
                                       {"16 19", 255},
                                       {"4 1", 255},
                                       {"0 1", 255},
                                       {"16", 255},
                                       {"", 255},
                                       {nullptr, 255}});
}

TEST(ReplyCheckers, JputSeparatesClassTwoFromTwentyToTwentyFour) {
    ExpectTable(qvpAPICheckJputReply, {{"0 0 0 x 0000000000000001", 0},
                                       {"0 2", 2},
                                       {"0 2 0", 2},
                                       {"0 20", 255},
                                       {"0 21", 255},
                                       {"0 22", 255},
                                       {"0 23", 255},
                                       {"0 24", 255},
                                       {"0 25", 2},
                                       {"0 29", 2},
                                       {"0 4", 4},
                                       {"0 40", 4},
                                       {"0 6", 6},
                                       {"0 8", 8},
                                       {"0 1", 255},
                                       {"0 3", 255},
                                       {"4 16", 255},
                                       {"0", 255},
                                       {"", 255},
                                       {nullptr, 255}});
}

TEST(ReplyCheckers, JexcJdelAcceptOnlyClassAndDetailZero) {
    for (auto check : {qvpAPICheckJexcReply, qvpAPICheckJdelReply}) {
        ExpectTable(check, {{"0 0 0", 0}, {"0 0", 0}, {"0 1", 255}, {"4 16", 255}, {"0", 255}, {nullptr, 255}});
    }
}

TEST(ReplyCheckers, Jrty) {
    ExpectTable(qvpAPICheckJrtyReply,
                {{"0 0 0", 0}, {"0 30", 1}, {"0 30 1", 1}, {"0 3", 255}, {"0 31", 255}, {"16 30", 255}, {nullptr, 255}});
}

TEST(ReplyCheckers, RdelAndIdRequests) {
    ExpectTable(qvpAPICheckRdelReply,
                {{"0 0 0", 0}, {"4 16", 1}, {"4 16 3", 1}, {"4 1", 255}, {"4 160", 1}, {"16 4", 255}, {nullptr, 255}});
}

TEST(Handshake, AcceptedWithDivisionalTransferDefaults) {
    struct {
        const char* reply;
        uint32_t size;
        uint32_t interval;
    } cases[] = {
        {"AINTA V0300 1048576 60", 1048576, 60},
        {"AINTA V0300", 0, 0},
        {"AINTA V0300 0 60", 0, 0},
        {"AINTA V0300 2147483647 1440", 0x7FFFFFFF, 1440},
        {"AINTA V0300 2147483648 60", 0, 0},
        {"AINTA V0300 4096 1441", 4096, 0},
        {"AINTA V0300 4096 0", 4096, 0},
        {"AINTA V0300 4096", 4096, 0},
        {"AINTA V0300 x 60", 0, 0},
    };
    for (const auto& c : cases) {
        QvpHandshake h = qvpParseHandshakeReply(c.reply);
        EXPECT_EQ(h.code, 0u) << c.reply;
        EXPECT_FALSE(h.socketless);
        EXPECT_EQ(h.divisionalTransferSize, c.size) << c.reply;
        EXPECT_EQ(h.divisionalTransferInterval, c.interval) << c.reply;
    }
}

TEST(Handshake, RefusalsAndSocketless) {
    EXPECT_TRUE(qvpParseHandshakeReply("CONNECTA 52").socketless);
    EXPECT_EQ(qvpParseHandshakeReply("CONNECTA 52").code, 0u);
    EXPECT_EQ(qvpParseHandshakeReply("CONNECTA 7").code, 0x20700007u);
    EXPECT_EQ(qvpParseHandshakeReply("CONNECTA 0").code, 0x20700000u);
    EXPECT_EQ(qvpParseHandshakeReply("AINTA V0200").code, 0x20320000u);
    EXPECT_EQ(qvpParseHandshakeReply("AINTA").code, 0x20320000u);
    EXPECT_EQ(qvpParseHandshakeReply("garbage").code, 0x20310000u);
    EXPECT_EQ(qvpParseHandshakeReply("CONNECTA x").code, 0x20310000u);
    EXPECT_EQ(qvpParseHandshakeReply("").code, 0x20310000u);
}

TEST(Requests, SessionRequestTexts) {
    EXPECT_EQ(qvp::BuildFrlsRequest('M').Text(), "FRLS 1 f1 M");
    EXPECT_EQ(qvp::BuildAtrmRequest().Text(), "ATRM 0");
    EXPECT_EQ(qvp::BuildAintRequest("host01").Text(), "AINT 2 v5 V0300 h6 host01");
}

TEST(Requests, FieldsKeepTheirBytesAndLengths) {
    const std::string key("ab \0c", 5);
    qvp::RequestBuilder r("FGET");
    r.Field('f', "3").Field('k', key).Field('i', "");
    const std::string text = r.Text();
    EXPECT_EQ(text, std::string("FGET 3 f1 3 k5 ab \0c i0 ", 24));

    // The simulator reads it back by length, blanks and NULs included.
    qvpsim::Request parsed = qvpsim::ParseRequest(text);
    EXPECT_TRUE(parsed.wellFormed);
    EXPECT_EQ(parsed.verb, "FGET");
    ASSERT_EQ(parsed.fields.size(), 3u);
    EXPECT_EQ(parsed.fields[1].type, 'k');
    EXPECT_EQ(parsed.fields[1].value, key);
    EXPECT_EQ(parsed.Value(2), "");
}

TEST(Requests, SimulatorNeverTrustsTheCount) {
    qvpsim::Request wrongCount = qvpsim::ParseRequest("FRLS 3 f1 M");
    EXPECT_FALSE(wrongCount.wellFormed);
    EXPECT_EQ(wrongCount.declaredCount, 3);
    EXPECT_EQ(wrongCount.fields.size(), 1u);

    qvpsim::Request overLong = qvpsim::ParseRequest("FRLS 1 f9 M");
    EXPECT_FALSE(overLong.wellFormed);
    EXPECT_TRUE(overLong.fields.empty());
}

TEST(Requests, OneFrameHoldsAtMost2040Bytes) {
    qvp::RequestBuilder fits("VERB");  // "VERB 1 k2027 " + 2027 bytes = 2040
    fits.Field('k', std::string(2027, 'x'));
    EXPECT_EQ(fits.Text().size(), 2040u);
    EXPECT_TRUE(fits.Fits());
    qvp::RequestBuilder over("VERB");
    over.Field('k', std::string(2028, 'x'));
    EXPECT_FALSE(over.Fits());
}

}  // namespace
