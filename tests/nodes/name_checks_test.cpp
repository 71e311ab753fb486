// Node-name kinds and the name rules.
#include <string>

#include "node_env.h"
#include "nodes/name_checks.h"

using qvp::nodes::qvAPIGetNodeNameType;
using qvp::nodes::qvAPINameParameterCheck;
using qvp::nodes::qvAPINameParameterCheckEx;
using qvp::nodes::qvAPINameParameterCheckExForHostID;

namespace {

using qvptest::NodeStoreTest;

class NameCheckTest : public NodeStoreTest {
protected:
    // Result and last error of one check.
    std::pair<int, uint32_t> Check(const std::string& name, uint32_t kind) {
        int r = qvAPINameParameterCheck(name.c_str(), kind);
        return {r, qvAPIGetLastError()};
    }
    std::pair<int, uint32_t> CheckEx(const char* name, uint32_t option) {
        int r = qvAPINameParameterCheckEx(name, option, "lpID", 0, 0);
        return {r, qvAPIGetLastError()};
    }
    std::pair<int, uint32_t> HostId(const char* name) {
        int r = qvAPINameParameterCheckExForHostID(name, 0, nullptr, 0, 0);
        return {r, qvAPIGetLastError()};
    }
    const std::pair<int, uint32_t> kValid{1, 0u};
    const std::pair<int, uint32_t> kBadName{0, QVAPI_ERR_INVALID_NAME};
    const std::pair<int, uint32_t> kBadParam{0, QVAPI_ERR_INVALID_PARAMETER};
};

TEST_F(NameCheckTest, NameKindFollowsHashAndSystemKey) {
    EXPECT_EQ(qvAPIGetNodeNameType("host1", 0, 0, 0), 0x04u);
    EXPECT_EQ(qvAPIGetNodeNameType("#G1", 0, 0, 0), 0x11u);
    EXPECT_EQ(qvAPIGetNodeNameType("#U", 0, 0, 0), 0x21u);
    EXPECT_EQ(qvAPIGetNodeNameType("#C9", 0, 0, 0), 0x41u);
    EXPECT_EQ(qvAPIGetNodeNameType("abc#G1", 0, 0, 0), 0x11u);  // '#' anywhere
    EXPECT_EQ(qvAPIGetNodeNameType("#G1", 1, 0, 0), 1u);
    EXPECT_EQ(qvAPIGetNodeNameType("host1", 1, 0, 0), 2u);
    EXPECT_EQ(qvAPIGetNodeNameType("#X1", 1, 0, 0), 2u);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    // Percent signs never make the host-ID name another kind.
    EXPECT_EQ(qvAPIGetNodeNameType("%%#G1", 1, 0, 0), 1u);

    EXPECT_EQ(qvAPIGetNodeNameType("#g1", 0, 0, 0), 0u);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetNodeNameType("host1", 7, 0, 0), 0u);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);

    SetKey(1);
    EXPECT_EQ(qvAPIGetNodeNameType("10.0.0.1", 0, 0, 0), 0x08u);
    EXPECT_EQ(qvAPIGetNodeNameType("host1", 1, 0, 0), 2u);
    SetKey(2);
    EXPECT_EQ(qvAPIGetNodeNameType("host1", 0, 0, 0), 0u);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetNodeNameType("#G1", 0, 0, 0), 0x11u);
}

TEST_F(NameCheckTest, SystemManagementKeyCharacter) {
    char c = 'x';
    EXPECT_EQ(qvAPIGetSystemManagementKey(&c), 1);
    EXPECT_EQ(c, '0');
    SetKey(1);
    EXPECT_EQ(qvAPIGetSystemManagementKey(&c), 1);
    EXPECT_EQ(c, '1');
    SetKey(9);
    EXPECT_EQ(qvAPIGetSystemManagementKey(&c), 1);
    EXPECT_EQ(c, '0');
    EXPECT_EQ(qvAPIGetSystemManagementKey(nullptr), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(NameCheckTest, CharactersByKind) {
    EXPECT_EQ(Check("a.b", 1), kValid);
    for (uint32_t kind : {0u, 3u, 4u}) EXPECT_EQ(Check("a.b", kind), kBadName) << kind;
    for (uint32_t kind : {0u, 1u, 2u, 3u, 4u, 5u}) {
        EXPECT_EQ(Check("abc.", kind), kBadName) << kind;
        EXPECT_EQ(Check(".abc", kind), kBadName) << kind;
        for (const char* bad : {"a\\b", "a/b", "a*b", "a\"b", "a:b", "a b", "a>b", "a<b", "a|b", "a?b"}) {
            EXPECT_EQ(Check(bad, kind), kBadName) << kind << " " << bad;
        }
    }
    EXPECT_EQ(Check("a!b", 0), kBadName);
    EXPECT_EQ(Check("a!b", 3), kValid);
    EXPECT_EQ(Check("a!b", 4), kValid);
    EXPECT_EQ(Check("a%b", 1), kBadName);
    EXPECT_EQ(Check("a%b", 4), kValid);
    EXPECT_EQ(Check("a@b", 5), kBadName);
    EXPECT_EQ(Check("@ab", 3), kValid);
    EXPECT_EQ(Check("host-01_x", 1), kValid);
    // Bytes that are no single-byte letter, digit, punctuation or blank make no node name.
    EXPECT_EQ(Check("ab\tc", 1), kBadName);
    EXPECT_EQ(Check("ab\xB1", 1), kBadName);  // half-width kana
}

TEST_F(NameCheckTest, DoubleByteNames) {
    std::string kanji;
    for (int i = 0; i < 16; ++i) kanji += "\x88\x9F";  // 32 bytes
    EXPECT_EQ(Check(kanji, 4), kValid);
    EXPECT_EQ(Check(kanji, 1), kBadName);
    EXPECT_EQ(Check(kanji + "\x88\x9F", 4), kBadName);  // 34 bytes
    // The trail byte 0x5C is no separator.
    EXPECT_EQ(Check("a\x81\x5C" "b", 4), kValid);
    EXPECT_EQ(Check("a\x81\x5C" "b", 0), kValid);
}

TEST_F(NameCheckTest, LengthsKindsAndMissingNames) {
    EXPECT_EQ(Check(std::string(64, 'a'), 1), kValid);
    EXPECT_EQ(Check(std::string(65, 'a'), 2), kBadName);
    EXPECT_EQ(Check(std::string(32, 'a'), 0), kValid);
    EXPECT_EQ(Check(std::string(33, 'a'), 3), kBadName);
    EXPECT_EQ(Check("", 1), kBadName);
    EXPECT_EQ(qvAPINameParameterCheck(nullptr, 1), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
    EXPECT_EQ(Check("abc", 6), kBadParam);
    EXPECT_EQ(Check("#G12", 16), kValid);
    EXPECT_EQ(Check("#GW1", 16), kBadName);
}

TEST_F(NameCheckTest, IpKeyingHoldsClientAndMasterNamesToIpText) {
    SetKey(1);
    EXPECT_EQ(Check("10.0.0.1", 1), kValid);
    EXPECT_EQ(Check("10.0.0.1", 2), kValid);
    EXPECT_EQ(Check("host", 1), kBadName);  // the IPv4 check's own code
    EXPECT_EQ(Check("host", 5), kValid);
    EXPECT_EQ(Check("a-very-long-host-name", 2), kBadName);
}

TEST_F(NameCheckTest, ExtendedOptions) {
    EXPECT_EQ(CheckEx(nullptr, 2), kValid);
    EXPECT_EQ(CheckEx("", 2), kValid);
    EXPECT_EQ(CheckEx("Abc123", 2), kValid);
    EXPECT_EQ(CheckEx("ab_c", 2), kBadName);
    EXPECT_EQ(CheckEx("abcdefghijklmno", 2), kBadName);  // 15
    EXPECT_EQ(CheckEx("ab\xC1", 2), kBadName);
    EXPECT_EQ(CheckEx("NetWorkIDx", 3), kBadParam);
    EXPECT_EQ(CheckEx("networkid", 3), kBadParam);
    EXPECT_EQ(CheckEx("network", 3), kValid);
    EXPECT_EQ(CheckEx("abc", 3), kValid);
    EXPECT_EQ(CheckEx("NetworkIDx", 1), kValid);
    for (char c : std::string("\\/*\":'!|.><?% ")) {
        std::string name = std::string("a") + c + "b";
        EXPECT_EQ(CheckEx(name.c_str(), 1), kBadName) << name;
        EXPECT_EQ(CheckEx(name.c_str(), 3), kBadName) << name;
    }
    EXPECT_EQ(CheckEx("a\x81\x5C" "b", 1), kValid);
    EXPECT_EQ(CheckEx(nullptr, 1), kBadParam);
    EXPECT_EQ(CheckEx("", 3), kBadParam);
    EXPECT_EQ(CheckEx(std::string(33, 'a').c_str(), 1), kBadName);
    EXPECT_EQ(CheckEx("abc", 0), kBadParam);
    EXPECT_EQ(CheckEx("abc", 5), kBadParam);
    EXPECT_EQ(qvAPINameParameterCheckEx("abc", 1, nullptr, 0, 0), 1);

    EXPECT_EQ(CheckEx("10.1.2.3", 4), kValid);
    EXPECT_EQ(CheckEx("255.255.255.255", 4), kBadName);
    EXPECT_EQ(CheckEx("1.2.3.4.5", 4), kBadName);
    EXPECT_EQ(CheckEx("100.100.100.100", 4), kValid);
    EXPECT_EQ(CheckEx("100.100.100.1000", 4), kBadName);  // 16 bytes
    EXPECT_EQ(CheckEx(nullptr, 4), kBadParam);
}

TEST_F(NameCheckTest, HostIdNames) {
    EXPECT_EQ(HostId("#G"), kValid);
    EXPECT_EQ(HostId("#U0123456789ABCDEFGHIJKLMNOPQ"), kBadName);  // 29
    EXPECT_EQ(HostId("#U0123456789ABCDEFGHIJKLMNOP"), kValid);     // 28
    EXPECT_EQ(HostId("#CV09"), kValid);
    EXPECT_EQ(HostId("#GW1"), kBadName);
    EXPECT_EQ(HostId("#Ga1"), kBadName);
    EXPECT_EQ(HostId("#G1\xB1"), kBadName);
    EXPECT_EQ(HostId("a#G1"), kBadName);
    EXPECT_EQ(HostId("#g1"), kBadParam);
    EXPECT_EQ(HostId("host"), kBadName);
    EXPECT_EQ(HostId(""), kBadName);
    EXPECT_EQ(HostId(nullptr), kBadName);
}

TEST_F(NameCheckTest, LogTexts) {
    EnableLog();
    char c = 0;
    SetKey(1);
    EXPECT_EQ(qvAPIGetSystemManagementKey(&c), 1);
    EXPECT_EQ(qvAPIGetSystemManagementKey(nullptr), 0);
    SetKey(0);
    EXPECT_EQ(qvAPIGetSystemManagementKey(&c), 1);
    std::vector<std::string> expected = {
        "qvAPIGetSystemManagementKey START",
        "qvAPIGetSystemManagementKey END : SystemManagementKey = 1 Code = 0x00000000",
        "qvAPIGetSystemManagementKey START",
        "qvAPIGetSystemManagementKey END : Code = 0x20000057",
        "qvAPIGetSystemManagementKey START",
        "qvAPIGetSystemManagementKey END : SystemManagementKey = 0 Code = 0x00000000",
    };
    EXPECT_EQ(LogMessages(), expected);

    auto logged = [&](auto call, std::vector<std::string> lines) {
        for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);  // as read back
        const size_t before = LogMessages().size();
        call();
        std::vector<std::string> all = LogMessages();
        EXPECT_EQ(std::vector<std::string>(all.begin() + before, all.end()), lines);
    };
    logged([] { qvAPIGetNodeNameType("#X1", 0, 0, 0); },
           {"qvAPIGetNodeNameType : Parameter Err : not found kind of Host ID"});
    logged([] { qvAPIGetNodeNameType("#X1", 1, 0, 0); }, {});
    logged([] { qvAPIGetNodeNameType("pc", 3, 0, 0); },
           {"qvAPIGetNodeNameType : Parameter Err : Not Found dwRtnOption = 3"});
    SetKey(5);
    logged([] { qvAPIGetNodeNameType("pc", 0, 0, 0); },
           {"qvAPIGetNodeNameType : Parameter Err : wpData Value is m_ucSystemKey"});
    SetKey(0);

    logged([] { qvAPINameParameterCheck(nullptr, 1); },
           {"qvAPINameParameterCheck : Parameter Error : Name Address is NULL"});
    logged([] { qvAPINameParameterCheck("", 1); },
           {"qvAPINameParameterCheck : Parameter Error : Top of Name Value is NULL"});
    logged([] { qvAPINameParameterCheck(std::string(33, 'a').c_str(), 0); },
           {"qvAPINameParameterCheck : Parameter Error : Name Size is too Long"});
    logged([] { qvAPINameParameterCheck("abc", 7); },
           {"qvAPINameParameterCheck : Parameter Error : Option Value is INVALID"});
    logged([] { qvAPINameParameterCheck("ab\tc", 2); },
           {"qvAPINameParameterCheck : Parameter Error : Node Name ab\tc is INVALID"});
    logged([] { qvAPINameParameterCheck("a!b", 0); },
           {"qvAPINameParameterCheck : Parameter Error : Parameter Name is INVALID"});
    logged([] { qvAPINameParameterCheck("#GW", 16); },
           {"qvAPINameParameterCheckExForHostID : (null) : Parameter Error : lpHostIDName[2] = W",
            "qvAPINameParameterCheck : Parameter Error : Name Size is too Long"});
    SetKey(1);
    logged([] { qvAPINameParameterCheck("host", 1); },
           {"qvAPINameParameterCheckEx :lpNodeName: Parameter Name is INVALID : name != Dot(.) notation",
            "qvAPINameParameterCheck : qvAPINameParameterCheckEx host : ErrorCode = 0x2000007b"});
    SetKey(0);

    logged([] { qvAPINameParameterCheckEx("a", 9, "lpID", 0, 0); },
           {"qvAPINameParameterCheckEx START :lpID: fdwNameOptions err = 9"});
    logged([] { qvAPINameParameterCheckEx("a_b", 2, "lpPassword", 0, 0); },
           {"qvAPINameParameterCheckEx START :lpPassword: fdwNameOptions = 2",
            "qvAPINameParameterCheckEx :lpPassword: Parameter Name is INVALID : name != A-Z,a-z,0-9"});
    logged([] { qvAPINameParameterCheckEx(nullptr, 1, "lpNodeGroupName", 0, 0); },
           {"qvAPINameParameterCheckEx :lpNodeGroupName: Name Address is NULL"});
    logged([] { qvAPINameParameterCheckEx("", 3, "lpID", 0, 0); },
           {"qvAPINameParameterCheckEx :lpID: Top of Name Value is NULL"});
    logged([] { qvAPINameParameterCheckEx("1234567890123456", 4, "lpIP", 0, 0); },
           {"qvAPINameParameterCheckEx :lpIP: Name Size is too Long"});
    logged([] { qvAPINameParameterCheckEx("NETWORKid1", 3, "lpID", 0, 0); },
           {"qvAPINameParameterCheckEx :lpID: Parameter Name is INVALID : name = networkID"});
    logged([] { qvAPINameParameterCheckEx("a.b", 1, "lpID", 0, 0); },
           {"qvAPINameParameterCheckEx :lpID: Parameter Name is INVALID : name = \\/*\":'!|.><?% "});

    logged([] { qvAPINameParameterCheckExForHostID(nullptr, 0, "lpHostID", 0, 0); },
           {"qvAPINameParameterCheckExForHostID : lpHostID :Parameter Error : Name Address is NULL"});
    logged([] { qvAPINameParameterCheckExForHostID("", 0, "lpHostID", 0, 0); },
           {"qvAPINameParameterCheckExForHostID : lpHostID :Parameter Error : Top of Name Value is NULL"});
    logged([] { qvAPINameParameterCheckExForHostID("#G0123456789ABCDEFGHIJKLMNOPQ", 0, "lpHostID", 0, 0); },
           {"qvAPINameParameterCheckExForHostID : lpHostID :Parameter Error : Name Size is too Long"});
    logged([] { qvAPINameParameterCheckExForHostID("x#G1", 0, "lpHostID", 0, 0); },
           {"qvAPINameParameterCheckExForHostID : lpHostID : Parameter Error : Top of Name Value = x"});
    logged([] { qvAPINameParameterCheckExForHostID("#q", 0, "lpHostID", 0, 0); },
           {"qvAPIGetNodeNameType : Parameter Err : not found kind of Host ID"});
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(NameCheckTest, BytesFromOneHundredTwentyEightAreNoLettersDigitsOrPunctuation) {
    // Under a single-byte code page no byte leads a pair; the high bytes are still refused.
    win::SetACPForTesting(1252);
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::string name = std::string("ab") + static_cast<char>(b);
        EXPECT_EQ(Check(name, 1), kBadName) << b;
        EXPECT_EQ(CheckEx(name.c_str(), 2), kBadName) << b;
        EXPECT_EQ(HostId(("#G1" + std::string(1, static_cast<char>(b))).c_str()), kBadName) << b;
    }
    win::SetACPForTesting(932);
}

}  // namespace
