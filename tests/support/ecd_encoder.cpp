#include "ecd_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <queue>
#include <stdexcept>
#include <utility>

namespace qvptest {

namespace {

constexpr size_t kBlock = 32767;

void PutBe16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutBe32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

class BitWriter {
public:
    // Appends the low `bits` bits of `value` (at most 56), first bit first.
    void Put(uint64_t value, int bits) {
        pending_ = pending_ << bits | (value & ((uint64_t{1} << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            bytes_.push_back(static_cast<uint8_t>(pending_ >> count_));
        }
    }
    Bytes Finish() {
        if (count_ != 0) bytes_.push_back(static_cast<uint8_t>(pending_ << (8 - count_)));
        count_ = 0;
        pending_ = 0;
        return std::move(bytes_);
    }

private:
    Bytes bytes_;
    uint64_t pending_ = 0;
    int count_ = 0;
};

// A code as its bits (last bit lowest) and their number.
struct Code {
    uint64_t bits = 0;
    int length = 0;
};

struct Node {
    int symbol = -1;  // a leaf's byte, -1 for an inner node
    int child[2] = {-1, -1};
};

// Writes the tree in pre-order and records each leaf's code.
void WriteTree(const std::vector<Node>& nodes, int index, Code path,
               std::array<Code, 256>& codes, BitWriter& out) {
    const Node& node = nodes[static_cast<size_t>(index)];
    if (node.symbol >= 0) {
        out.Put(0, 1);
        out.Put(static_cast<uint32_t>(node.symbol), 8);
        codes[static_cast<size_t>(node.symbol)] = path;
        return;
    }
    out.Put(1, 1);
    for (int side = 0; side < 2; ++side) {
        // Codes of blocks of at most 32767 bytes stay far below 56 bits.
        WriteTree(nodes, node.child[side], Code{path.bits << 1 | uint64_t(side), path.length + 1},
                  codes, out);
    }
}

}  // namespace

int32_t EcdCheckWord(uint32_t w1, uint32_t w2, uint32_t w3) {
    const double sum = static_cast<double>(static_cast<int32_t>(w1)) / 30269.0 +
                       static_cast<double>(static_cast<int32_t>(w2)) / 30307.0 +
                       static_cast<double>(static_cast<int32_t>(w3)) / 30323.0;
    const double whole = sum < 0 ? std::ceil(sum) : std::floor(sum);
    const double scaled = (sum - whole) * 65556.0;
    return static_cast<int32_t>(scaled < 0 ? std::ceil(scaled) : std::floor(scaled));
}

Bytes EcdHeader(uint32_t w1, uint32_t w2, uint32_t w3) {
    Bytes out;
    PutBe32(out, static_cast<uint32_t>(EcdCheckWord(w1, w2, w3)));
    PutBe32(out, w1);
    PutBe32(out, w2);
    PutBe32(out, w3);
    return out;
}

Bytes EcdHuffmanBlock(const uint8_t* data, size_t size, bool more) {
    if (size > kBlock || (more && size != kBlock)) throw std::invalid_argument("block size");
    std::array<uint64_t, 256> counts{};
    for (size_t i = 0; i < size; ++i) ++counts[data[i]];

    std::vector<Node> nodes;
    using Item = std::pair<uint64_t, int>;  // weight, node
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (int s = 0; s < 256; ++s) {
        if (counts[static_cast<size_t>(s)] == 0) continue;
        nodes.push_back(Node{s, {-1, -1}});
        queue.push({counts[static_cast<size_t>(s)], static_cast<int>(nodes.size()) - 1});
    }
    if (nodes.empty()) nodes.push_back(Node{0, {-1, -1}}), queue.push({0, 0});
    while (queue.size() > 1) {
        const Item a = queue.top();
        queue.pop();
        const Item b = queue.top();
        queue.pop();
        nodes.push_back(Node{-1, {a.second, b.second}});
        queue.push({a.first + b.first, static_cast<int>(nodes.size()) - 1});
    }

    BitWriter bits;
    std::array<Code, 256> codes{};
    WriteTree(nodes, queue.top().second, Code{}, codes, bits);
    for (size_t i = 0; i < size; ++i) {
        const Code& code = codes[data[i]];
        if (code.length != 0) bits.Put(code.bits, code.length);
    }
    const Bytes stream = bits.Finish();
    if (stream.size() > 0xFFFF) throw std::length_error("bit stream");

    Bytes out;
    PutBe16(out, more ? 0x8000 : static_cast<uint16_t>(size));
    PutBe16(out, static_cast<uint16_t>(stream.size()));
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

Bytes EcdZlibBlock(const uint8_t* data, size_t size, int level) {
    if (size > kBlock) throw std::invalid_argument("block size");
    uLongf length = compressBound(static_cast<uLong>(size));
    Bytes packed(length);
    if (compress2(packed.data(), &length, data, static_cast<uLong>(size), level) != Z_OK)
        throw std::runtime_error("compress2");
    Bytes out;
    PutBe16(out, static_cast<uint16_t>(length));
    out.insert(out.end(), packed.begin(), packed.begin() + static_cast<long>(length));
    return out;
}

Bytes EcdEncode(const Bytes& payload, EcdEncoding encoding, const EcdFileOptions& options) {
    Bytes out = EcdHeader(options.w1, options.w2, options.w3);
    for (uint16_t word : options.extraWords) PutBe16(out, word);
    switch (encoding) {
    case EcdEncoding::Stored:
        if (options.storedFlag) PutBe16(out, 0x8002);
        PutBe16(out, 0x0000);
        break;
    case EcdEncoding::Huffman: PutBe16(out, 0x0001); break;
    case EcdEncoding::Zlib: PutBe16(out, 0x0005); break;
    }
    PutBe16(out, 0xFF00);

    if (encoding == EcdEncoding::Stored) {
        out.insert(out.end(), payload.begin(), payload.end());
        return out;
    }
    if (encoding == EcdEncoding::Huffman && payload.empty()) {
        PutBe16(out, 0);
        PutBe16(out, 0);
        return out;
    }
    for (size_t at = 0; at < payload.size(); at += kBlock) {
        const size_t size = std::min(kBlock, payload.size() - at);
        const bool more = at + size < payload.size();
        const Bytes block = encoding == EcdEncoding::Huffman
                                ? EcdHuffmanBlock(payload.data() + at, size, more)
                                : EcdZlibBlock(payload.data() + at, size);
        out.insert(out.end(), block.begin(), block.end());
    }
    if (encoding == EcdEncoding::Zlib && options.zlibTerminator) PutBe16(out, 0);
    return out;
}

}  // namespace qvptest
