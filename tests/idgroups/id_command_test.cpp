// The ID requests byte for byte as the manager receives them, and what each IDGET reply leads to.
#include <gtest/gtest.h>

#include "id_fixture.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"

namespace qvptest {
namespace {

using namespace qvp::ids;

class IdCommandTest : public IdTest {};

std::string Record256(char fill) {
    std::string record(QVAPI_IDRECORD_SIZE, fill);
    record[5] = '\0';  // zero bytes travel unchanged
    return record;
}

TEST_F(IdCommandTest, EveryRequestFormByteForByte) {
    std::string update = Record256('u');
    std::string change(QVAPI_IDRECORD_SIZE, '\0');
    change[4] = 2;
    std::memcpy(change.data() + 48, "host2", 5);
    struct Case {
        uint32_t op;
        char letter, kind;
        const char* key1;
        const char* key2;
        std::string* record;
        std::string expected;
    } cases[] = {
        {kIdGet, 'I', 'K', "sales", nullptr, nullptr, "IDGET 2 f2 IK k5 sales"},
        {kIdGet, 'I', 'T', "sales", nullptr, nullptr, "IDGET 2 f2 IK k5 sales"},
        {kIdGet, 'C', 'P', "sales", nullptr, nullptr, "IDGET 2 f2 CP k5 sales"},
        {kIdGet, 'C', 'N', "sales", nullptr, nullptr, "IDGET 1 f2 CN"},
        {kIdGet, 'C', 'K', "sales", "host1", nullptr, "IDGET 2 f2 CK k11 sales.host1"},
        {kIdUpdate, ' ', 'K', "sales", nullptr, &update, "IDUPD 3 f2  K k5 sales i256 " + update},
        {kIdDelete, 'C', 'K', "sales", "host1", nullptr, "IDDEL 2 f2 CK k11 sales.host1"},
        {kIdRelease, 'M', 'K', nullptr, nullptr, nullptr, "IDRLS 1 f1 M"},
        {kIdExecute, 'C', 'K', "sales", "host1", nullptr, "IDEXC 2 f2 CK k11 sales.host1"},
        {kIdExecuteS, 'C', 'K', "sales", "host1", nullptr, "IDEXC 2 f3 CKS k11 sales.host1"},
        {kIdChange, 'I', 'K', nullptr, "host1", &change, "IDCHG 3 f1 2 b5 host1 a5 host2 "},
    };
    std::string scratch(QVAPI_IDRECORD_SIZE, '\0');
    for (const Case& c : cases) {
        void* record = c.record != nullptr ? c.record->data() : scratch.data();
        qvpAPIIDCommand(block(), c.op, c.letter, c.kind, c.key1, c.key2, record);
        EXPECT_EQ(LastRequest(), c.expected) << c.expected.substr(0, 30);
    }
}

TEST_F(IdCommandTest, RequestsThatCannotBeMadeAreRefusedBeforeSending) {
    std::string record(QVAPI_IDRECORD_SIZE, '\0');
    const size_t before = RequestCount();
    const std::string longKey(2100, 'k');
    EXPECT_EQ(qvpAPIIDCommand(block(), kIdGet, 'C', 'K', longKey.c_str(), nullptr, record.data()), 0);
    EXPECT_EQ(IdFailureCode(*block()), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvpAPIIDCommand(block(), kIdGet, 'C', 'K', "sales", nullptr, nullptr), 0);
    EXPECT_EQ(RequestCount(), before);

    // The new name of a rename is measured within its 64 bytes, whatever follows them.
    std::memset(record.data() + 48, 'n', QVAPI_IDRECORD_SIZE - 48);
    qvpAPIIDCommand(block(), kIdChange, 'C', 'K', nullptr, "old", record.data());
    EXPECT_EQ(LastRequest(), "IDCHG 3 f1 0 b3 old a64 " + std::string(64, 'n') + " ");
}

TEST_F(IdCommandTest, IdgetRepliesAndTheirCodes) {
    const std::string item = "0 0 2 i256 " + Record256('a') + " k5 sales";
    const std::string skipItem = "0 161 2 i256 " + Record256('s') + " k5 sales";
    struct Case {
        std::vector<std::string> replies;
        char kind;
        int result;
        uint32_t code;
        char firstByte;  // of the record delivered
        size_t requests;
    } cases[] = {
        {{item}, 'K', 1, 0, 'a', 1},
        {{"0 0 0"}, 'K', 0, QVAPI_ERR_UNEXPECTED_DATA, 0, 1},
        {{"0 0 1 i10 0123456789"}, 'K', 0, QVAPI_ERR_UNEXPECTED_DATA, 0, 1},
        {{"0 0 1 i256 short"}, 'K', 0, QVAPI_ERR_UNEXPECTED_DATA, 0, 1},
        {{"0 0 1"}, 'K', 0, QVAPI_ERR_UNEXPECTED_DATA, 0, 1},
        {{"16 16"}, 'K', 0, QVAPI_ERR_NO_MORE_ITEMS, 0, 1},
        {{"0 160"}, 'P', 0, QVAPI_ERR_NO_MORE_ITEMS, 0, 1},
        {{"4 16"}, 'K', 0, QVAPI_ERR_BUSY, 0, 1},
        {{"24 0"}, 'K', 0, QVAPI_ERR_SHUTDOWN_IN_PROGRESS, 0, 1},
        {{"0 161", item}, 'K', 1, 0, 'a', 2},
        {{skipItem}, 'T', 1, 0, 's', 1},
        {{"0 161"}, 'T', 0, QVAPI_ERR_UNEXPECTED_DATA, 0, 1},
    };
    for (const Case& c : cases) {
        sim().ClearScripts();
        for (const std::string& reply : c.replies) sim().Script("IDGET", qvpsim::Action::Reply(reply));
        std::string record(QVAPI_IDRECORD_SIZE, '\0');
        const size_t before = RequestCount();
        EXPECT_EQ(qvpAPIIDCommand(block(), kIdGet, 'C', c.kind, "sales", nullptr, record.data()), c.result)
            << c.replies[0];
        if (c.result == 0) {
            EXPECT_EQ(IdFailureCode(*block()), c.code) << c.replies[0];
        }
        EXPECT_EQ(record[0], c.firstByte) << c.replies[0];
        EXPECT_EQ(RequestCount() - before, c.requests) << c.replies[0];
    }
    // The follow-up of a skip is the next record of the same letter.
    EXPECT_EQ(LastRequest(), "IDGET 2 f2 CK k5 sales");
}

TEST_F(IdCommandTest, EndlessSkipsEndTheRequest) {
    sim().Script("IDGET", qvpsim::Action::Reply("0 161"), -1);
    std::string record(QVAPI_IDRECORD_SIZE, '\0');
    EXPECT_EQ(qvpAPIIDCommand(block(), kIdGet, 'C', 'P', "sales", nullptr, record.data()), 0);
    EXPECT_EQ(IdFailureCode(*block()), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(LastRequest(), "IDGET 1 f2 CN");
}

TEST(IdAddressText, ConversionsBothWays) {
    struct Case {
        const char* text;
        int result;
        uint8_t octets[4];
    } cases[] = {
        {"192.168.1.20", 1, {192, 168, 1, 20}},
        {"10.1", 1, {10, 1, 0, 0}},
        {"10.300", 0, {}},
        {"1.2.3.256", 0, {}},
        {"0x0a.1.1.1", 0, {}},
        {"255.255.255.255", 0, {}},
        {"001.002.003.0004", 0, {}},  // 16 characters
        {"host1", 0, {}},
        {"", 0, {}},
    };
    for (const Case& c : cases) {
        uint8_t out[4] = {9, 9, 9, 9};
        EXPECT_EQ(qvpAPIIPAddrStrToHex(c.text, out), c.result) << c.text;
        if (c.result == 1) {
            EXPECT_EQ(std::memcmp(out, c.octets, 4), 0) << c.text;
        }
    }
    char text[16];
    const uint8_t zero[4] = {};
    ASSERT_EQ(qvpAPIIPAddrHexToStr(zero, text), 1);
    EXPECT_STREQ(text, "0.0.0.0");
    EXPECT_EQ(qvpAPIIPAddrHexToStr(nullptr, text), 0);
}

// A refusal whose reply maps to no code ("0 161") still fails with one, through the exported calls too.
TEST_F(IdCommandTest, RefusalWithoutACodeAnswersUnexpectedData) {
    std::string record(QVAPI_IDRECORD_SIZE, '\0');
    sim().Script("IDUPD", qvpsim::Action::Reply("0 161"), 2);  // the second for the exported call
    sim().Script("IDDEL", qvpsim::Action::Reply("0 161"));
    for (const uint32_t op : {kIdUpdate, kIdDelete}) {
        EXPECT_EQ(qvpAPIIDCommand(block(), op, 'C', 'K', "sales", "pc1", record.data()), 0);
        EXPECT_EQ(IdFailureCode(*block()), QVAPI_ERR_UNEXPECTED_DATA);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
    }
    EXPECT_EQ(qvAPICreateIDGroup("sales", "pw1", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_UNEXPECTED_DATA);
}

}  // namespace
}  // namespace qvptest
