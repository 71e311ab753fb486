// Text helpers and the string codec.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>

#include "core/errors.h"
#include "core/text.h"
#include "core_fixture.h"

namespace {

using TextTest = CoreTest;

TEST_F(TextTest, DottedNamesBothWays) {
    char out[261];
    EXPECT_STREQ(qvpPathToDottedName("\\FOLDER\\SUB.1\\NAME", out), "FOLDER.SUB!1.NAME");
    EXPECT_STREQ(qvpDottedNameToPath("FOLDER.SUB!1.NAME", out), "\\FOLDER\\SUB.1\\NAME");
    // A Shift-JIS character whose trail byte is 0x5C stays whole.
    EXPECT_STREQ(qvpPathToDottedName("\\\x95\x5C\\A", out), "\x95\x5C.A");
    EXPECT_STREQ(qvpPathToDottedName("", out), "");
    // And back: the pair is copied as it is, the '.' and '!' around it are converted.
    EXPECT_STREQ(qvpDottedNameToPath("\x95\x5C!\x82\xA0.A", out), "\\\x95\x5C.\x82\xA0\\A");
    EXPECT_STREQ(qvpPathToDottedName("\\\x95\x5C.\x82\xA0\\A", out), "\x95\x5C!\x82\xA0.A");
}

TEST_F(TextTest, DottedNamesNeverPassTheirBuffer) {
    // 261-byte buffers with guard bytes behind them: a 260-character input gives at most 260
    // characters and the NUL, leading backslash included.
    struct Guarded {
        char out[261];
        char guard[8];
    } g;
    const std::string name(260, 'N');
    std::memset(&g, 0x7E, sizeof g);
    qvpDottedNameToPath(name.c_str(), g.out);
    EXPECT_EQ(std::strlen(g.out), 260u);
    EXPECT_EQ(std::string(g.guard, 8), std::string(8, '\x7E'));
    const std::string path = "\\" + std::string(300, 'P');
    std::memset(&g, 0x7E, sizeof g);
    qvpPathToDottedName(path.c_str(), g.out);
    EXPECT_EQ(std::strlen(g.out), 260u);
    EXPECT_EQ(std::string(g.guard, 8), std::string(8, '\x7E'));
    // A double-byte character that would straddle the limit is left out whole.
    std::string dbcs = "\\" + std::string(259, 'Q') + "\x82\xA0";
    qvpPathToDottedName(dbcs.c_str(), g.out);
    EXPECT_EQ(std::strlen(g.out), 259u);
    // The same for the way back, where the leading '\' takes one of the 260 characters.
    const std::string dotted = std::string(258, 'R') + "\x82\xA0";
    std::memset(&g, 0x7E, sizeof g);
    qvpDottedNameToPath(dotted.c_str(), g.out);
    EXPECT_EQ(std::strlen(g.out), 259u);
    EXPECT_EQ(g.out[258], 'R');
    EXPECT_EQ(std::string(g.guard, 8), std::string(8, '\x7E'));
}

TEST_F(TextTest, PackageNamesAndEscapes) {
    char out[128];
    ASSERT_EQ(qvpPackageNameToFileName("C.AB.PKG/X.1/2/3.0001", out), 1);
    EXPECT_STREQ(out, "C.AB.PKG/X.1#2#3.0001");
    ASSERT_EQ(qvpFileNameToPackageName("C.AB.PKG#X.1#2#3.0001", out), 1);
    EXPECT_STREQ(out, "C.AB.PKG#X.1/2/3.0001");
    // Only the version's first 8 characters are mapped; a longer text keeps the rest.
    EXPECT_EQ(qvp::PackageFileName("C.AB.P.1/2/3/4/5/6.1"), "C.AB.P.1#2#3#4#5/6.1");
    EXPECT_EQ(qvp::PackageNameOfFile("C.AB.P.1#2#3#4#5#6.1"), "C.AB.P.1/2/3/4/5#6.1");
    qvAPISetLastError(0);
    EXPECT_EQ(qvpPackageNameToFileName("", out), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
    qvpEscapeDots("a.b.c", out);
    EXPECT_STREQ(out, "a!b!c");
    EXPECT_EQ(qvpIsValidQvCode('C'), 1);
    EXPECT_EQ(qvpIsValidQvCode('D'), 1);
    EXPECT_EQ(qvpIsValidQvCode('c'), 0);
    EXPECT_EQ(qvpIsValidQvCode('E'), 0);
}

TEST_F(TextTest, StripBlanksAndDots) {
    char out[512];
    const char key[] = "C.AB.PKG   \0 .1.0..";
    EXPECT_EQ(qvpStripBlanksAndDots(sizeof key - 1, key, out), 12u);
    EXPECT_STREQ(out, "C.AB.PKG.1.0");
    EXPECT_EQ(qvpStripBlanksAndDots(4, " .. ", out), 0u);
    EXPECT_STREQ(out, "");
    // More than the output holds: cut at 511 characters and the NUL.
    const std::string big(700, 'K');
    EXPECT_EQ(qvpStripBlanksAndDots(big.size(), big.c_str(), out), 511u);
    EXPECT_EQ(out[511], '\0');
}

TEST_F(TextTest, TimeStampHasSeventeenDigits) {
    char stamp[18];
    std::memset(stamp, 'x', sizeof stamp);
    qvpGetTimeStamp(stamp);
    ASSERT_EQ(std::strlen(stamp), 17u);
    for (int i = 0; i < 17; ++i) EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9');
    win::SYSTEMTIME now{};
    win::GetLocalTime(&now);
    EXPECT_EQ(std::stoi(std::string(stamp, 4)), now.wYear);
}

TEST_F(TextTest, CodecRoundTripsEveryLengthAndByte) {
    std::string plain;
    for (int length = 1; length <= 30; ++length) {
        plain.push_back(static_cast<char>('a' + length % 26));
        char encoded[64];
        char decoded[64];
        ASSERT_EQ(qvpStuEnCode(plain.c_str(), encoded), 1);
        ASSERT_EQ(std::strlen(encoded), static_cast<size_t>(3 + 2 * length));
        for (const char* p = encoded; *p; ++p) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(*p)));
        ASSERT_EQ(qvpStuDeCode(encoded, decoded), 1);
        EXPECT_EQ(plain, decoded);
    }
    for (int b = 1; b <= 255; ++b) {
        const char plainByte[3] = {static_cast<char>(b), static_cast<char>(256 - b), '\0'};
        char encoded[64];
        char decoded[64];
        ASSERT_EQ(qvpStuEnCode(plainByte, encoded), 1);
        ASSERT_EQ(qvpStuDeCode(encoded, decoded), 1);
        EXPECT_STREQ(decoded, plainByte) << b;
    }
    // A 14-character password fits 32 bytes with the terminator.
    char encoded[64];
    ASSERT_EQ(qvpStuEnCode("ABCDEFGHIJKLMN", encoded), 1);
    EXPECT_EQ(std::strlen(encoded) + 1, 32u);
}

TEST_F(TextTest, CodecLimitsAndFreshHeaders) {
    char out[64];
    EXPECT_NE(qvpStuEnCode("", out), 1);
    EXPECT_NE(qvpStuEnCode(std::string(31, 'x').c_str(), out), 1);
    // Two encodings of one text, however close in time, differ in their first three characters.
    std::set<std::string> headers;
    std::set<std::string> whole;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(qvpStuEnCode("secret", out), 1);
        whole.insert(out);
        headers.insert(std::string(out, 3));
    }
    EXPECT_EQ(whole.size(), 50u);
    EXPECT_EQ(headers.size(), 50u);
}

TEST_F(TextTest, CodecRefusesWhatItCannotHaveProduced) {
    char encoded[64];
    char out[64];
    ASSERT_EQ(qvpStuEnCode("pass.word!", encoded), 1);
    const std::string good = encoded;
    // Every single changed character, at every position, to every other character.
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/ ";
    for (size_t pos = 0; pos < good.size(); ++pos) {
        for (char c : alphabet) {
            if (c == good[pos]) continue;
            std::string bad = good;
            bad[pos] = c;
            EXPECT_NE(qvpStuDeCode(bad.c_str(), out), 1) << bad;
        }
    }
    // Lengths it never writes, and texts that are too short or too long.
    EXPECT_NE(qvpStuDeCode(good.substr(0, good.size() - 1).c_str(), out), 1);
    EXPECT_NE(qvpStuDeCode("ABCD", out), 1);
    EXPECT_NE(qvpStuDeCode("ABC", out), 1);
    EXPECT_NE(qvpStuDeCode(std::string(65, 'A').c_str(), out), 1);
    EXPECT_NE(qvpStuDeCode((good + "AB").c_str(), out), 1);
}

}  // namespace
