// Frames on a live session: assembly, framing errors, sizes and the broken state.
#include <future>
#include <string>

#include "core/errors.h"
#include "fixture.h"
#include "session/message.h"
#include "session/request.h"

using qvp::qvAPIRecvMsg;
using qvp::qvAPISendMsg;
using qvp::qvAPISetErrorCode;

namespace qvptest {
namespace {

using qvpsim::Action;
using AK = qvpsim::Action::Kind;

class MessageTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        sim().Handle("PING", [](qvpsim::Call&) { return std::string("0 0 0 k4 pong"); });
        ASSERT_EQ(Open(), 1);
    }

    int Ping() {
        qvp::RequestBuilder ping("PING");
        ping.Field('k', "ping");
        return qvpExchange(block(), ping);
    }

    // The request reached the manager; the reply failed; the session is broken and a later
    // request fails without reaching the manager.
    void ExpectBrokenAfterReceiveFailure(int result) {
        EXPECT_EQ(result, kQvpExchangeRecvFailed);
        EXPECT_EQ(qvAPISetErrorCode(&block()), 0x20260000u);
        EXPECT_EQ(block().link, QvpLink::Broken);
        const size_t before = sim().Received().size();
        EXPECT_EQ(Ping(), kQvpExchangeSendFailed);
        EXPECT_EQ(qvAPISetErrorCode(&block()), 0x20250000u);

        // Closing a broken session sends nothing and drops the socket.
        ASSERT_EQ(qvAPIClose(), 1);
        ExpectNoSession(block());
        ASSERT_TRUE(sim().WaitForClosed(1));
        EXPECT_EQ(sim().Received().size(), before);
    }
};

TEST_F(MessageTest, RoundTripUsesTheBlockBuffers) {
    EXPECT_EQ(Ping(), 13);
    EXPECT_STREQ(block().replyBuffer, "0 0 0 k4 pong");
    EXPECT_EQ(block().replyLength, 13u);
    EXPECT_EQ(block().lastSendRecvResult, 13);
    EXPECT_STREQ(block().requestBuffer, "PING 1 k4 ping");

    // Into the second reply buffer.
    qvp::RequestBuilder ping("PING");
    EXPECT_EQ(qvpExchange(block(), ping, block().fgetReplyBuffer), 13);
    EXPECT_EQ(block().fgetReplyLength, 13u);
}

TEST_F(MessageTest, ReplySentOneByteAtATimeAssembles) {
    sim().Script("PING", Action::Of(AK::OneByteAtATime));
    EXPECT_EQ(Ping(), 13);
    EXPECT_STREQ(block().replyBuffer, "0 0 0 k4 pong");
    EXPECT_EQ(block().link, QvpLink::Connected);
}

// What the manager sends beyond the message being taken is the next message, however the
// bytes were split: after the handshake's text, and after a frame.
TEST_F(MessageTest, BytesBeyondAMessageAreTheNextMessage) {
    ASSERT_EQ(qvAPIClose(), 1);
    sim().Script(qvpsim::kHandshakeVerb,
                 Action::RawBytes(std::string("AINTA V0300", 12) + qvpsim::Frame("0 0 0 k5 early")));
    // The answer to the first PING, which itself is answered by "early".
    sim().Script("PING", Action::RawBytes(qvpsim::Frame("0 0 0 k5 first") + qvpsim::Frame("0 0 0 k6 second")));
    ASSERT_EQ(Open(), 1);
    for (const char* expected : {"0 0 0 k5 early", "0 0 0 k5 first", "0 0 0 k6 second", "0 0 0 k4 pong",
                                 "0 0 0 k4 pong"}) {
        EXPECT_GT(Ping(), 0);
        EXPECT_STREQ(block().replyBuffer, expected);
    }
    EXPECT_EQ(block().link, QvpLink::Connected);
}

TEST_F(MessageTest, DelayedAndGivenRepliesArrive) {
    sim().Script("PING", Action::Delay(20));
    sim().Script("PING", Action::Refuse());
    EXPECT_EQ(Ping(), 13);
    EXPECT_GT(Ping(), 0);
    EXPECT_STREQ(block().replyBuffer, "4 16");
    EXPECT_EQ(Ping(), 13);  // scripts are used up
}

TEST_F(MessageTest, BadMarkerBreaksTheSession) {
    sim().Script("PING", Action::Of(AK::BadHeader));
    ExpectBrokenAfterReceiveFailure(Ping());
}

TEST_F(MessageTest, TotalLengthSevenBreaksTheSession) {
    sim().Script("PING", Action::RawBytes(qvpsim::FrameHeader(7)));
    ExpectBrokenAfterReceiveFailure(Ping());
}

TEST_F(MessageTest, TotalLength2049BreaksTheSession) {
    sim().Script("PING", Action::RawBytes(qvpsim::FrameHeader(2049) + std::string(2041, 'x')));
    ExpectBrokenAfterReceiveFailure(Ping());
}

TEST_F(MessageTest, ConnectionClosedHalfWayBreaksTheSession) {
    sim().Script("PING", Action::Of(AK::HalfFrame));
    ExpectBrokenAfterReceiveFailure(Ping());
}

TEST_F(MessageTest, DroppedConnectionsBreakTheSession) {
    sim().Script("PING", Action::Of(AK::DropAfterRead));
    EXPECT_EQ(Ping(), kQvpExchangeRecvFailed);
    EXPECT_EQ(block().link, QvpLink::Broken);
    ASSERT_EQ(qvAPIClose(), 1);

    ASSERT_EQ(Open(), 1);
    sim().Script("PING", Action::Of(AK::DropBeforeRead));
    EXPECT_LT(Ping(), 0);
    EXPECT_EQ(block().link, QvpLink::Broken);
}

TEST_F(MessageTest, NoAnswerEndsWhenTheConnectionGoes) {
    sim().Script("PING", Action::Of(AK::Silence));
    auto waiting = std::async(std::launch::async, [b = &block(), this] {
        qvp::RequestBuilder ping("PING");
        return qvpExchange(*b, ping);
    });
    ASSERT_TRUE(sim().WaitFor([](const auto& log) {
        return std::any_of(log.begin(), log.end(), [](auto& e) { return e.text == "silent"; });
    }));
    sim().DropConnections();
    EXPECT_EQ(waiting.get(), kQvpExchangeRecvFailed);
    EXPECT_EQ(block().link, QvpLink::Broken);
}

TEST_F(MessageTest, Payload2040GoesOut2041IsRefusedUnsent) {
    const std::string largest(2040, 'A');
    EXPECT_EQ(qvAPISendMsg(&block(), largest.data(), 2040, kQvpMsgFramed), 2040);
    EXPECT_EQ(qvAPIRecvMsg(&block(), block().replyBuffer, 2048, kQvpMsgFramed), 3);
    EXPECT_STREQ(block().replyBuffer, qvpsim::kReplyUnknownVerb);
    EXPECT_EQ(sim().Received().back(), largest);

    const std::string over(2041, 'B');
    EXPECT_LT(qvAPISendMsg(&block(), over.data(), 2041, kQvpMsgFramed), 0);
    EXPECT_EQ(block().errorCategory, 0x10000);
    EXPECT_EQ(block().errorDetail1, 1);
    EXPECT_EQ(qvAPISetErrorCode(&block()), 0x20250000u);
    EXPECT_EQ(block().link, QvpLink::Connected);

    // The next request is the next thing the manager reads.
    EXPECT_EQ(Ping(), 13);
    EXPECT_EQ(sim().Received().back(), "PING 1 k4 ping");
}

TEST_F(MessageTest, RequestOverOneFrameIsRefusedUnsent) {
    qvp::RequestBuilder over("PING");  // "PING 1 k2027 " + 2028 bytes = 2041
    over.Field('k', std::string(2028, 'x'));
    const size_t before = sim().Received().size();
    EXPECT_EQ(qvpExchange(block(), over), kQvpExchangeSendFailed);
    EXPECT_EQ(block().errorDetail1, 1);
    EXPECT_EQ(qvAPISetErrorCode(&block()), 0x20250000u);
    EXPECT_EQ(block().link, QvpLink::Connected);
    EXPECT_EQ(Ping(), 13);
    EXPECT_EQ(sim().Received().size(), before + 1);
    EXPECT_EQ(sim().Received().back(), "PING 1 k4 ping");
}

TEST_F(MessageTest, LargestReplyIsTerminatedAndASmallBufferIsAFailure) {
    const std::string big = "0 0 0 i2028 " + std::string(2028, 'r');
    ASSERT_EQ(big.size(), 2040u);
    sim().Script("PING", Action::Reply(big), 2);
    EXPECT_EQ(Ping(), 2040);
    EXPECT_EQ(block().replyBuffer[2040], '\0');
    EXPECT_EQ(std::string(block().replyBuffer), big);

    char small[100];
    qvp::RequestBuilder ping("PING");
    EXPECT_EQ(qvpExchange(block(), ping, small, sizeof small), kQvpExchangeRecvFailed);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(block().errorDetail1, 2);
    EXPECT_EQ(block().link, QvpLink::Broken);
}

TEST_F(MessageTest, SendAndReceiveRecordTransportErrorsWithoutSettingACode) {
    qvAPISetLastError(0);
    EXPECT_LT(qvAPISendMsg(&block(), nullptr, 4, kQvpMsgFramed), 0);
    EXPECT_EQ(block().errorCategory, 0x10000);
    EXPECT_EQ(block().errorDetail1, 1);
    EXPECT_LT(qvAPIRecvMsg(&block(), block().replyBuffer, 0, kQvpMsgFramed), 0);
    EXPECT_EQ(block().errorDetail1, 2);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_EQ(block().link, QvpLink::Connected);
}

}  // namespace
}  // namespace qvptest
