// Decoder of encoded package files: a 16-byte magic header, option words, then the data stored,
// in Huffman blocks or in zlib blocks. All numbers are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

// Results of the decoder.
enum EcdResult : int {
    kEcdOk = 1,
    kEcdBadOption = -1,     // invalid option word, options past the end, memory
    kEcdNoDecode = -2,      // stored data without the flag: nothing to decode
    kEcdBadMagic = -3,
    kEcdBadBlock = -4,
    kEcdIoError = -10,      // open, read, write or close failed
};

// The `comp_opt` values.
enum EcdCompOpt : int {
    kEcdStored = 0,
    kEcdHuffman = 1,
    kEcdZlib = 5,
};

constexpr size_t kEcdHeaderSize = 16;
constexpr uint32_t kEcdBlockMax = 32767;      // bytes of output per block
constexpr uint16_t kEcdMoreBlocks = 0x8000;   // Huffman count: a full block, another follows

// 1 when w0 matches the check value of w1..w3 (which must not all be 0), else 0.
int EcdCheckMagicNum(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3);
// The check value the header test expects in w0.
int32_t EcdMagicCheckValue(uint32_t w1, uint32_t w2, uint32_t w3);

struct EcdOptions {
    int compOpt = kEcdStored;
    bool flag = false;
};

// What one option word does.
enum class EcdOptionStep {
    Continue,
    End,
    InvalidCompOpt,  // group 0x00, value not 0, 1 or 5
    InvalidFlag,     // group 0x80, value not 0 or 2
};
EcdOptionStep EcdApplyOptionWord(uint16_t word, EcdOptions* options);

// Where the header and option parser stopped.
enum class EcdHeaderStatus {
    Ok,
    ShortHeader,    // fewer than 16 bytes
    BadMagic,
    PastEnd,        // options run past the end
    ReadFailed,     // an option word could not be read
    InvalidCompOpt,
    InvalidFlag,
};

// Parses the header and the option words of an in-memory encoded file. On Ok, `dataOffset`
// is the offset just after the end word.
EcdHeaderStatus EcdParseHeader(const uint8_t* data, size_t size, EcdOptions* options,
                               size_t* dataOffset);
// The decoder's result for a parser status.
int EcdHeaderResult(EcdHeaderStatus status);

// Decodes the Huffman block at *block (u16 count, u16 length n, n bytes of bit stream), of
// which at most `available` bytes may be read, into `output` (kEcdBlockMax bytes). Returns the
// number of bytes decoded, 0 for a defective block; *block then points past the block when
// another block follows, else it is null.
uint32_t qvpDecodeMemory(uint8_t* output, const uint8_t** block, size_t available);

// Decodes an encoded file into `outputPath`. 1, or one of the negative EcdResult values.
int EcdCtrlDecodeFile(const char* encodedPath, const char* outputPath);
// The zlib-block path: `dataOffset` is the offset just after the option words. The flag is
// not used.
int EcdZLIBDecodeFile(const char* encodedPath, const char* outputPath, int flag,
                      uint64_t dataOffset);
