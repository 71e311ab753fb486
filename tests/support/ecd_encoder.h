// Writes encoded package files: the 16-byte magic header, option words and the data stored, in
// Huffman blocks or in zlib blocks. Made from the file layout alone, so the decoder's tests
// never check the decoder against itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvptest {

enum class EcdEncoding { Stored, Huffman, Zlib };

using Bytes = std::vector<uint8_t>;

// The value the header test expects in w0 for w1..w3.
int32_t EcdCheckWord(uint32_t w1, uint32_t w2, uint32_t w3);
// w0..w3 big-endian, w0 the check word.
Bytes EcdHeader(uint32_t w1, uint32_t w2, uint32_t w3);

// One Huffman block of 1..32767 bytes: u16 count (0x8000 when `more`), u16 stream length, the
// code tree in pre-order and the codes, most significant bit first.
Bytes EcdHuffmanBlock(const uint8_t* data, size_t size, bool more);
// One zlib block: u16 length, then a zlib stream of the (at most 32767) bytes.
Bytes EcdZlibBlock(const uint8_t* data, size_t size, int level = 6);

struct EcdFileOptions {
    uint32_t w1 = 0x12345678;
    uint32_t w2 = 0x0BADF00D;
    uint32_t w3 = 0x00C0FFEE;
    // Stored data carries the flag word that asks for the copy.
    bool storedFlag = true;
    // Zlib data ends with a length word of 0 (else at the end of the file).
    bool zlibTerminator = false;
    // Words of other groups put before the encoding's own words.
    std::vector<uint16_t> extraWords;
};

// The whole encoded file of `payload`. An empty payload in Huffman blocks gets one block of
// count 0, which the format cannot decode.
Bytes EcdEncode(const Bytes& payload, EcdEncoding encoding, const EcdFileOptions& options = {});

}  // namespace qvptest
