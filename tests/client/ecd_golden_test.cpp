// Encoded files written out byte by byte: each vector is derived by hand from the layout (the
// derivation sits beside it), so these tests pin the format, not the test encoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "client/ar_test_util.h"
#include "client/ecd/ecd.h"

namespace {

using artest::readFile;
using artest::writeBytes;
using Bytes = std::vector<uint8_t>;

// w1 = 1, w2 = w3 = 0: 1 / 30269 = 0.0000330371..., times 65556 = 2.1657..., so w0 = 2.
const Bytes kHeader = {0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01,
                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class EcdGolden : public artest::ArTest {
protected:
    // Decodes `file`; the result and, on success, the decoded bytes.
    int Decode(const Bytes& file, std::string* decoded) {
        const auto in = root() / "in.ecd";
        const auto out = root() / "out.bin";
        writeBytes(in, file);
        const int result = EcdCtrlDecodeFile(in.c_str(), out.c_str());
        if (decoded != nullptr) *decoded = readFile(out);
        return result;
    }
};

TEST_F(EcdGolden, HeaderTestFollowsTheFormula) {
    EXPECT_EQ(EcdCheckMagicNum(2, 1, 0, 0), 1);
    EXPECT_EQ(EcdCheckMagicNum(3, 1, 0, 0), 0);
    // Words count as signed: w1 = -1 gives a negative fraction, -2.1657... cut to -2.
    EXPECT_EQ(EcdCheckMagicNum(0xFFFFFFFEu, 0xFFFFFFFFu, 0, 0), 1);
    // w2 = 30307 adds exactly 1, which the fraction drops.
    EXPECT_EQ(EcdCheckMagicNum(2, 1, 30307, 0), 1);
    // w1..w3 all 0 never pass, whatever w0 holds.
    EXPECT_EQ(EcdCheckMagicNum(0, 0, 0, 0), 0);
    EXPECT_EQ(EcdCheckMagicNum(2, 0, 0, 0), 0);
}

TEST_F(EcdGolden, StoredFileWithFlagCopiesTheRest) {
    // Options: 80 02 flag on, 00 00 stored, FF 00 end.
    const Bytes file = Concat({kHeader, {0x80, 0x02, 0x00, 0x00, 0xFF, 0x00}, {'h', 'e', 'l', 'l', 'o'}});
    std::string out;
    ASSERT_EQ(Decode(file, &out), 1);
    EXPECT_EQ(out, "hello");
}

TEST_F(EcdGolden, HuffmanBlockOfTwoLeaves) {
    // Tree: 1 (inner 256), 0 + 'A' 01000001 (child on 0), 0 + 'B' 01000010 (child on 1);
    // codes of "ABBA": 0 1 1 0; one pad bit.
    //   10010000 01001000 0100110(0) = 90 48 4C
    // Block: count 00 04, length 00 03, stream. Options: 00 01 Huffman, FF 00 end.
    const Bytes file = Concat({kHeader, {0x00, 0x01, 0xFF, 0x00}, {0x00, 0x04, 0x00, 0x03, 0x90, 0x48, 0x4C}});
    std::string out;
    ASSERT_EQ(Decode(file, &out), 1);
    EXPECT_EQ(out, "ABBA");
}

TEST_F(EcdGolden, HuffmanTreeOfOneLeafNeedsNoCodes) {
    // Tree: 0 + 'z' 01111010, seven pad bits: 3D 00. Count 5 gives five 'z'.
    const Bytes file = Concat({kHeader, {0x00, 0x01, 0xFF, 0x00}, {0x00, 0x05, 0x00, 0x02, 0x3D, 0x00}});
    std::string out;
    ASSERT_EQ(Decode(file, &out), 1);
    EXPECT_EQ(out, "zzzzz");
}

TEST_F(EcdGolden, ZlibBlock) {
    // The zlib stream of "hello": 78 9C, the deflate data, Adler-32 06 2C 02 15; length 00 0D.
    const Bytes file = Concat({kHeader, {0x00, 0x05, 0xFF, 0x00},
                               {0x00, 0x0D, 0x78, 0x9C, 0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x07, 0x00,
                                0x06, 0x2C, 0x02, 0x15}});
    std::string out;
    ASSERT_EQ(Decode(file, &out), 1);
    EXPECT_EQ(out, "hello");
    // The same followed by a length of 0 and bytes that are no block.
    std::string again;
    ASSERT_EQ(Decode(Concat({file, {0x00, 0x00, 0xDE, 0xAD}}), &again), 1);
    EXPECT_EQ(again, "hello");
}

TEST_F(EcdGolden, OptionGroupsOfOtherEncodersAreSkippedAndLaterWordsWin) {
    // 12 34 unknown group, 00 01 Huffman, 00 05 zlib overrides it, 80 02 then 80 00.
    const Bytes file = Concat({kHeader, {0x12, 0x34, 0x00, 0x01, 0x00, 0x05, 0x80, 0x02, 0x80, 0x00, 0xFF, 0x77},
                               {0x00, 0x0D, 0x78, 0x9C, 0xCB, 0x48, 0xCD, 0xC9, 0xC9, 0x07, 0x00,
                                0x06, 0x2C, 0x02, 0x15}});
    std::string out;
    ASSERT_EQ(Decode(file, &out), 1);
    EXPECT_EQ(out, "hello");
}

}  // namespace
