// Round trips through the test encoder and the decoder's answer to every kind of damage.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "client/ar_test_util.h"
#include "client/ar/unarchive.h"
#include "client/ecd/ecd.h"
#include "support/ecd_encoder.h"

namespace {

using artest::readBytes;
using artest::writeBytes;
using qvptest::Bytes;
using qvptest::EcdEncode;
using qvptest::EcdEncoding;
namespace fs = std::filesystem;

Bytes Payload(size_t size, bool text) {
    std::mt19937 random(static_cast<uint32_t>(size) * 7919u + (text ? 1 : 0));
    Bytes out(size);
    static const char kWords[] = "the quick brown fox jumps over a lazy dog, package script ";
    for (size_t i = 0; i < size; ++i)
        out[i] = text ? static_cast<uint8_t>(kWords[(i + random() % 3) % (sizeof kWords - 1)])
                      : static_cast<uint8_t>(random());
    return out;
}

void PutBe16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

class EcdDecoder : public artest::ArTest {
protected:
    fs::path In() const { return root() / "in.ecd"; }
    fs::path Out() const { return root() / "out.bin"; }
    int Decode(const Bytes& file) {
        writeBytes(In(), file);
        return EcdCtrlDecodeFile(In().c_str(), Out().c_str());
    }
    // The CLIENT.log records written since the last call, each with the decoder's tag.
    std::string NewLogLines() {
        const std::string all = artest::readFile(root() / "data" / "LOG" / "CLIENT.LOG");
        std::string fresh = all.substr(std::min(seen_, all.size()));
        seen_ = all.size();
        return fresh;
    }
    // Decodes `file` and checks the result and that the one new log record carries `text`.
    void ExpectFailure(const Bytes& file, int result, const std::string& text) {
        NewLogLines();
        EXPECT_EQ(Decode(file), result) << text;
        const std::string lines = NewLogLines();
        EXPECT_NE(lines.find(text), std::string::npos) << "missing: " << text << "\n" << lines;
        EXPECT_NE(lines.find(" ecd "), std::string::npos) << lines;
    }
    size_t seen_ = 0;
    // Header and option words of a file of this encoding (nothing after the end word).
    static Bytes Head(EcdEncoding encoding) {
        Bytes head = EcdEncode({}, encoding);
        if (encoding == EcdEncoding::Huffman) head.resize(head.size() - 4);  // its empty block
        return head;
    }
};

TEST_F(EcdDecoder, RoundTripsAtBlockBoundaries) {
    for (EcdEncoding encoding : {EcdEncoding::Stored, EcdEncoding::Huffman, EcdEncoding::Zlib}) {
        for (size_t size : {size_t{1}, size_t{32767}, size_t{32768}, size_t{65535}, size_t{200000}}) {
            for (bool text : {true, false}) {
                const Bytes payload = Payload(size, text);
                SCOPED_TRACE(testing::Message() << "encoding " << static_cast<int>(encoding)
                                                << " size " << size << " text " << text);
                ASSERT_EQ(Decode(EcdEncode(payload, encoding)), kEcdOk);
                EXPECT_TRUE(readBytes(Out()) == payload);
            }
        }
    }
}

TEST_F(EcdDecoder, EmptyPayloads) {
    ASSERT_EQ(Decode(EcdEncode({}, EcdEncoding::Stored)), kEcdOk);
    EXPECT_TRUE(readBytes(Out()).empty());
    ASSERT_EQ(Decode(EcdEncode({}, EcdEncoding::Zlib)), kEcdOk);
    EXPECT_TRUE(readBytes(Out()).empty());
    qvptest::EcdFileOptions terminated;
    terminated.zlibTerminator = true;
    ASSERT_EQ(Decode(EcdEncode(Payload(40000, true), EcdEncoding::Zlib, terminated)), kEcdOk);
    EXPECT_EQ(readBytes(Out()).size(), 40000u);
    // Huffman blocks can't carry nothing: the block of count 0 is refused.
    EXPECT_EQ(Decode(EcdEncode({}, EcdEncoding::Huffman)), kEcdBadBlock);
}

TEST_F(EcdDecoder, HuffmanBlockCountsFollowTheLayout) {
    const Bytes exact = EcdEncode(Payload(32767, true), EcdEncoding::Huffman);
    const size_t data = Head(EcdEncoding::Huffman).size();
    EXPECT_EQ(exact[data], 0x7F);
    EXPECT_EQ(exact[data + 1], 0xFF);
    const Bytes split = EcdEncode(Payload(32768, true), EcdEncoding::Huffman);
    EXPECT_EQ(split[data], 0x80);
    EXPECT_EQ(split[data + 1], 0x00);
    const size_t second = data + 4 + (size_t{split[data + 2]} << 8 | split[data + 3]);
    EXPECT_EQ(split[second], 0x00);
    EXPECT_EQ(split[second + 1], 0x01);
}

TEST_F(EcdDecoder, StoredWithoutFlagDecodesNothing) {
    qvptest::EcdFileOptions noFlag;
    noFlag.storedFlag = false;
    EXPECT_EQ(Decode(EcdEncode(Payload(100, true), EcdEncoding::Stored, noFlag)), kEcdNoDecode);
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(EcdDecoder, BadOptions) {
    Bytes head = EcdEncode({}, EcdEncoding::Stored);  // header, 80 02, 00 00, FF 00
    Bytes compOpt = head;
    PutBe16(compOpt, 18, 0x0002);
    EXPECT_EQ(Decode(compOpt), kEcdBadOption);
    Bytes flag = head;
    PutBe16(flag, 16, 0x8001);
    EXPECT_EQ(Decode(flag), kEcdBadOption);
    // No end word before the end of the file, also with half a word left over.
    Bytes noEnd(head.begin(), head.end() - 2);
    EXPECT_EQ(Decode(noEnd), kEcdBadOption);
    noEnd.push_back(0xFF);
    EXPECT_EQ(Decode(noEnd), kEcdBadOption);
}

TEST_F(EcdDecoder, BadHeaders) {
    Bytes file = EcdEncode(Payload(10, true), EcdEncoding::Stored);
    Bytes wrong = file;
    wrong[3] ^= 1;
    EXPECT_EQ(Decode(wrong), kEcdBadMagic);
    Bytes zeros = file;
    std::fill(zeros.begin(), zeros.begin() + 16, 0);
    EXPECT_EQ(Decode(zeros), kEcdBadMagic);
    EXPECT_EQ(Decode(Bytes(file.begin(), file.begin() + 10)), kEcdIoError);
    EXPECT_EQ(Decode({}), kEcdIoError);
}

TEST_F(EcdDecoder, DamagedHuffmanBlocks) {
    const Bytes good = EcdEncode(Payload(1000, true), EcdEncoding::Huffman);
    const size_t data = Head(EcdEncoding::Huffman).size();
    // Counts above 0x8000 would need more than the output area.
    for (uint16_t count : {uint16_t{0x8001}, uint16_t{0x9000}, uint16_t{0xFFFF}}) {
        Bytes big = good;
        PutBe16(big, data, count);
        EXPECT_EQ(Decode(big), kEcdBadBlock) << count;
    }
    // A count larger than the stream can code runs past the block.
    Bytes more = good;
    PutBe16(more, data, 32767);
    EXPECT_EQ(Decode(more), kEcdBadBlock);
    // A stream cut short (its length word lowered to match).
    Bytes cut = good;
    PutBe16(cut, data + 2, 20);
    cut.resize(data + 4 + 20);
    EXPECT_EQ(Decode(cut), kEcdBadBlock);
    // A tree of only inner nodes exceeds the 255 the format allows.
    Bytes inner = Head(EcdEncoding::Huffman);
    const Bytes block = {0x00, 0x01, 0x01, 0x00};
    inner.insert(inner.end(), block.begin(), block.end());
    inner.insert(inner.end(), 256, 0xFF);
    EXPECT_EQ(Decode(inner), kEcdBadBlock);
    // The file ends inside a block, or where a next block should start.
    EXPECT_EQ(Decode(Bytes(good.begin(), good.end() - 5)), kEcdIoError);
    Bytes last = EcdEncode(Payload(32768, true), EcdEncoding::Huffman);
    const size_t second = data + 4 + (size_t{last[data + 2]} << 8 | last[data + 3]);
    EXPECT_EQ(Decode(Bytes(last.begin(), last.begin() + static_cast<long>(second))), kEcdIoError);
    EXPECT_EQ(Decode(Bytes(last.begin(), last.begin() + static_cast<long>(second) + 3)), kEcdIoError);
}

TEST_F(EcdDecoder, DamagedZlibBlocks) {
    const Bytes good = EcdEncode(Payload(1000, true), EcdEncoding::Zlib);
    const size_t data = Head(EcdEncoding::Zlib).size();
    Bytes corrupt = good;
    corrupt[data + 6] ^= 0x55;
    corrupt[data + 7] ^= 0x55;
    EXPECT_EQ(Decode(corrupt), kEcdBadBlock);
    // A length word cut by the end of the file is damage, not the end.
    Bytes half = good;
    half.push_back(0x01);
    EXPECT_EQ(Decode(half), kEcdBadBlock);
    // Fewer bytes than the length announces.
    EXPECT_EQ(Decode(Bytes(good.begin(), good.end() - 3)), kEcdIoError);
    // A stream that inflates past 32767 bytes.
    const Bytes large = Payload(40000, true);
    uLongf length = compressBound(large.size());
    Bytes packed(length);
    ASSERT_EQ(compress2(packed.data(), &length, large.data(), large.size(), 9), Z_OK);
    ASSERT_LT(length, 0xFFFFu);
    Bytes over = Head(EcdEncoding::Zlib);
    over.push_back(static_cast<uint8_t>(length >> 8));
    over.push_back(static_cast<uint8_t>(length));
    over.insert(over.end(), packed.begin(), packed.begin() + static_cast<long>(length));
    EXPECT_EQ(Decode(over), kEcdBadBlock);
}

TEST_F(EcdDecoder, EachFailureLogsItsText) {
    const Bytes stored = EcdEncode(Payload(10, true), EcdEncoding::Stored);
    Bytes magic = stored;
    magic[3] ^= 1;
    ExpectFailure(magic, kEcdBadMagic, "EcdCheckMagicNum Error on EcdCtrlDecodeFile");
    ExpectFailure(Bytes(stored.begin(), stored.begin() + 7), kEcdIoError,
                  "_read Error on EcdCtrlDecodeFile " + In().string() + " ");
    ExpectFailure(Bytes(stored.begin(), stored.begin() + 19), kEcdBadOption,
                  "w_size Invalid on EcdCtrlDecodeFile");
    Bytes compOpt = stored;
    PutBe16(compOpt, 18, 0x0003);
    ExpectFailure(compOpt, kEcdBadOption, "switch[opt] default on EcdCtrlDecodeFile");
    Bytes flag = stored;
    PutBe16(flag, 16, 0x8003);
    ExpectFailure(flag, kEcdBadOption, "switch[opt0x80] default on EcdCtrlDecodeFile");

    const Bytes huffman = EcdEncode(Payload(1000, true), EcdEncoding::Huffman);
    const size_t data = Head(EcdEncoding::Huffman).size();
    Bytes count = huffman;
    PutBe16(count, data, 0x8001);
    ExpectFailure(count, kEcdBadBlock, "qvpDecodeMemory Error on EcdCtrlDecodeFile");
    ExpectFailure(Bytes(huffman.begin(), huffman.begin() + static_cast<long>(data) + 1),
                  kEcdIoError, "_read3 Error on EcdCtrlDecodeFile");
    ExpectFailure(Bytes(huffman.begin(), huffman.begin() + static_cast<long>(data) + 3),
                  kEcdIoError, "_read4 Error on EcdCtrlDecodeFile");
    ExpectFailure(Bytes(huffman.begin(), huffman.end() - 1), kEcdIoError,
                  "_read4 Error on EcdCtrlDecodeFile");

    const Bytes zlib = EcdEncode(Payload(1000, true), EcdEncoding::Zlib);
    Bytes damaged = zlib;
    damaged[data + 6] ^= 0x55;
    damaged[data + 7] ^= 0x55;
    ExpectFailure(damaged, kEcdBadBlock, "qvpDecodeMemory Error on EcdZLIBDecodeFile");
    ExpectFailure(Bytes(zlib.begin(), zlib.end() - 1), kEcdIoError,
                  "_read4 Error on EcdZLIBDecodeFile");

    NewLogLines();
    EXPECT_EQ(EcdCtrlDecodeFile((root() / "missing").c_str(), Out().c_str()), kEcdIoError);
    EXPECT_NE(NewLogLines().find("_open Error on EcdCtrlDecodeFile " + (root() / "missing").string()),
              std::string::npos);
    writeBytes(In(), huffman);
    EXPECT_EQ(EcdCtrlDecodeFile(In().c_str(), (root() / "no" / "dir").c_str()), kEcdIoError);
    EXPECT_NE(NewLogLines().find("outh = -1 on EcdCtrlDecodeFile"), std::string::npos);
    // Nothing to decode is no failure worth a record.
    qvptest::EcdFileOptions noFlag;
    noFlag.storedFlag = false;
    EXPECT_EQ(Decode(EcdEncode(Payload(10, true), EcdEncoding::Stored, noFlag)), kEcdNoDecode);
    EXPECT_EQ(NewLogLines(), "");
}

// The zlib path answers as zlib's one-shot uncompress does, block after block.
TEST_F(EcdDecoder, ZlibBlocksFollowUncompress) {
    const Bytes text = Payload(32767, true);
    const Bytes head = Head(EcdEncoding::Zlib);
    auto block = [](const Bytes& stream) {
        Bytes out = {static_cast<uint8_t>(stream.size() >> 8), static_cast<uint8_t>(stream.size())};
        out.insert(out.end(), stream.begin(), stream.end());
        return out;
    };
    auto pack = [](const Bytes& data) {
        uLongf length = compressBound(data.size());
        Bytes packed(length);
        EXPECT_EQ(compress2(packed.data(), &length, data.data(), data.size(), 9), Z_OK);
        packed.resize(length);
        return packed;
    };
    // Exactly 32767 bytes fit; bytes after the end of a stream inside its block are ignored.
    Bytes trailing = pack(text);
    trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    Bytes file = head;
    for (const Bytes& b : {block(pack(text)), block(trailing), block(pack(Bytes{'x'}))})
        file.insert(file.end(), b.begin(), b.end());
    ASSERT_EQ(Decode(file), kEcdOk);
    Bytes expected = text;
    expected.insert(expected.end(), text.begin(), text.end());
    expected.push_back('x');
    EXPECT_TRUE(readBytes(Out()) == expected);

    // A stream cut before its end, raw deflate without the zlib wrapper, a stream that needs a
    // preset dictionary: each is a block that can't be decoded, also after a good block.
    Bytes cut = pack(text);
    cut.resize(cut.size() - 6);
    Bytes raw(compressBound(text.size()));
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = const_cast<Bytef*>(text.data());
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = raw.data();
    z.avail_out = static_cast<uInt>(raw.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    raw.resize(z.total_out);
    deflateEnd(&z);
    Bytes dictionary(compressBound(text.size()));
    z = z_stream{};
    ASSERT_EQ(deflateInit(&z, 6), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&z, text.data(), 100), Z_OK);
    z.next_in = const_cast<Bytef*>(text.data());
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = dictionary.data();
    z.avail_out = static_cast<uInt>(dictionary.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    dictionary.resize(z.total_out);
    deflateEnd(&z);
    for (const Bytes& bad : {cut, raw, dictionary}) {
        Bytes damaged = head;
        for (const Bytes& b : {block(pack(text)), block(bad)})
            damaged.insert(damaged.end(), b.begin(), b.end());
        EXPECT_EQ(Decode(damaged), kEcdBadBlock);
    }
}

TEST_F(EcdDecoder, FilesThatCantBeOpenedAreIoFailuresWithTheirDetail) {
    EXPECT_EQ(EcdCtrlDecodeFile((root() / "missing").c_str(), Out().c_str()), kEcdIoError);
    const QvpErrorDetail detail = qvparGetErrorDetail();
    EXPECT_EQ(std::string(detail.begin(), detail.begin() + 16), "FFFE450100000002");
    writeBytes(In(), EcdEncode(Payload(10, true), EcdEncoding::Huffman));
    EXPECT_EQ(EcdCtrlDecodeFile(In().c_str(), (root() / "no" / "such" / "dir").c_str()), kEcdIoError);
    writeBytes(In(), EcdEncode(Payload(10, true), EcdEncoding::Zlib));
    EXPECT_EQ(EcdCtrlDecodeFile(In().c_str(), (root() / "no" / "such" / "dir").c_str()), kEcdIoError);
}

TEST(EcdMemory, DecodeMemoryMovesPastBlocksAndStaysInside) {
    const Bytes payload = Payload(32768, false);
    const Bytes first = qvptest::EcdHuffmanBlock(payload.data(), 32767, true);
    const Bytes second = qvptest::EcdHuffmanBlock(payload.data() + 32767, 1, false);
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    std::vector<uint8_t> out(kEcdBlockMax);
    const uint8_t* cursor = both.data();
    ASSERT_EQ(qvpDecodeMemory(out.data(), &cursor, both.size()), 32767u);
    EXPECT_EQ(cursor, both.data() + first.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), payload.begin()));
    ASSERT_EQ(qvpDecodeMemory(out.data(), &cursor, second.size()), 1u);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(out[0], payload[32767]);
    // A block longer than what may be read is refused, not read past.
    cursor = first.data();
    EXPECT_EQ(qvpDecodeMemory(out.data(), &cursor, first.size() - 1), 0u);
    EXPECT_EQ(cursor, nullptr);
    cursor = first.data();
    EXPECT_EQ(qvpDecodeMemory(out.data(), &cursor, 3), 0u);
}

TEST(EcdMemory, HeaderParserReportsWhereItStopped) {
    EcdOptions options;
    size_t offset = 0;
    const Bytes file = EcdEncode(Payload(5, true), EcdEncoding::Zlib);
    ASSERT_EQ(EcdParseHeader(file.data(), file.size(), &options, &offset), EcdHeaderStatus::Ok);
    EXPECT_EQ(options.compOpt, kEcdZlib);
    EXPECT_FALSE(options.flag);
    EXPECT_EQ(offset, 20u);
    EXPECT_EQ(EcdParseHeader(file.data(), 15, &options, &offset), EcdHeaderStatus::ShortHeader);
    EXPECT_EQ(EcdParseHeader(file.data(), 19, &options, &offset), EcdHeaderStatus::PastEnd);
}

}  // namespace
