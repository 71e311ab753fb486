// One Huffman block: u16 count, u16 length n, n bytes of bit stream holding the code tree in
// pre-order and then the codes, most significant bit first.
//
// The tree is read as the format lays it out (inner nodes numbered 256..510); the codes are
// then decoded through a lookup table over the next kTableBits bits, falling back to a walk of
// the tree only for codes longer than that. All state lives on the stack of the call.
// (Module EcdHuffman.)
#include <cstring>

#include "client/ecd/ecd_internal.h"

namespace {

constexpr int kTableBits = 10;
constexpr unsigned kFirstInner = 256;
constexpr unsigned kLastInner = 510;
constexpr unsigned kInnerCount = kLastInner - kFirstInner + 1;

// MSB-first bit reader over exactly one block's bit stream. Past its end it reads zero bits
// and remembers that it did, so the caller can refuse the block without ever touching memory
// outside it.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size)
        : start_(data), next_(data), end_(data + size), limitBits_(uint64_t{size} * 8) {}

    // Tops the window up to at least 57 bits.
    void Refill() {
        if (end_ - next_ >= 8) {
            uint64_t word;
            std::memcpy(&word, next_, 8);
            word = __builtin_bswap64(word);
            window_ |= word >> count_;
            const int take = (63 - count_) >> 3;
            next_ += take;
            count_ += take * 8;
            return;
        }
        while (count_ <= 56) {
            uint64_t byte = 0;
            if (next_ < end_) {
                byte = *next_++;
            } else {
                ++padding_;
            }
            window_ |= byte << (56 - count_);
            count_ += 8;
        }
    }
    int available() const { return count_; }
    uint32_t Peek(int n) const { return static_cast<uint32_t>(window_ >> (64 - n)); }
    void Skip(int n) {
        window_ <<= n;
        count_ -= n;
    }
    uint32_t Get(int n) {
        if (count_ < n) Refill();
        uint32_t value = Peek(n);
        Skip(n);
        return value;
    }
    bool padded() const { return padding_ != 0; }
    bool Overrun() const {
        uint64_t loaded = uint64_t(next_ - start_) + padding_;
        return loaded * 8 - uint64_t(count_) > limitBits_;
    }

private:
    const uint8_t* start_;
    const uint8_t* next_;
    const uint8_t* end_;
    uint64_t limitBits_;
    uint64_t window_ = 0;
    int count_ = 0;
    uint64_t padding_ = 0;
};

struct Tree {
    uint16_t child[2][kInnerCount];
    unsigned next = kFirstInner;
};

// Reads one node; the node number (0..255 a leaf, 256.. an inner node) or -1 for a tree with
// more inner nodes than the format allows.
int ReadNode(BitReader& bits, Tree& tree) {
    if (bits.Get(1) == 0) return static_cast<int>(bits.Get(8));
    if (tree.next > kLastInner) return -1;
    const unsigned k = tree.next++;
    const int first = ReadNode(bits, tree);
    if (first < 0) return -1;
    const int second = ReadNode(bits, tree);
    if (second < 0) return -1;
    tree.child[0][k - kFirstInner] = static_cast<uint16_t>(first);
    tree.child[1][k - kFirstInner] = static_cast<uint16_t>(second);
    return static_cast<int>(k);
}

// Table entry: the node reached (a byte value, or an inner node for longer codes) in the low 9
// bits and the bits it takes above them.
using Entry = uint16_t;
constexpr Entry MakeEntry(unsigned node, unsigned length) {
    return static_cast<Entry>(node | length << 9);
}

void FillTable(const Tree& tree, unsigned node, int depth, uint32_t prefix, Entry* table) {
    if (node < kFirstInner || depth == kTableBits) {
        const int span = kTableBits - depth;
        const uint32_t first = prefix << span;
        const Entry entry = MakeEntry(node, static_cast<unsigned>(depth));
        for (uint32_t i = 0; i < (uint32_t{1} << span); ++i) table[first + i] = entry;
        return;
    }
    FillTable(tree, tree.child[0][node - kFirstInner], depth + 1, prefix << 1, table);
    FillTable(tree, tree.child[1][node - kFirstInner], depth + 1, prefix << 1 | 1, table);
}

bool DecodeCodes(BitReader& reader, const Tree& tree, unsigned root, uint8_t* __restrict output,
                 uint32_t count) {
    Entry table[1u << kTableBits];
    FillTable(tree, root, 0, 0, table);
    // A local copy keeps the reader's state in registers: the byte stores below could
    // otherwise alias it and force a reload per byte.
    BitReader bits = reader;
    struct WriteBack {
        BitReader& to;
        BitReader& from;
        ~WriteBack() { to = from; }
    } writeBack{reader, bits};
    for (uint32_t i = 0; i < count; ++i) {
        if (bits.available() < kTableBits) bits.Refill();
        const Entry entry = table[bits.Peek(kTableBits)];
        unsigned node = entry & 0x1FF;
        bits.Skip(entry >> 9);
        while (node >= kFirstInner) node = tree.child[bits.Get(1)][node - kFirstInner];
        output[i] = static_cast<uint8_t>(node);
        // Only a stream that ran out can have read padding; stop at once rather than decode
        // the rest of the block from zeros.
        if (bits.padded() && bits.Overrun()) return false;
    }
    return true;
}

}  // namespace

uint32_t qvpDecodeMemory(uint8_t* output, const uint8_t** block, size_t available) {
    const uint8_t* start = *block;
    *block = nullptr;
    if (start == nullptr || available < 4) return 0;
    const uint16_t rawCount = ecd::be16(start);
    const size_t length = ecd::be16(start + 2);
    if (length > available - 4) return 0;
    const bool more = rawCount == kEcdMoreBlocks;
    // Counts above 0x8000 would overrun the output area; 0 decodes nothing and is no block.
    if (rawCount == 0 || rawCount > kEcdMoreBlocks) return 0;
    const uint32_t count = more ? kEcdBlockMax : rawCount;

    BitReader bits(start + 4, length);
    Tree tree;
    const int root = ReadNode(bits, tree);
    if (root < 0 || bits.Overrun()) return 0;
    if (root < static_cast<int>(kFirstInner)) {
        // A tree of one leaf codes every byte with no bits.
        std::memset(output, root, count);
    } else if (!DecodeCodes(bits, tree, static_cast<unsigned>(root), output, count) ||
               bits.Overrun()) {
        return 0;
    }
    if (more) *block = start + 4 + length;
    return count;
}
