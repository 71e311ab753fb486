// One Huffman block over arbitrary bytes, held in a buffer of exactly their size so that any
// read past the block is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "client/ecd/ecd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(block.get(), data, size);
    std::unique_ptr<uint8_t[]> output(new uint8_t[kEcdBlockMax]);
    const uint8_t* cursor = block.get();
    const uint32_t count = qvpDecodeMemory(output.get(), &cursor, size);
    if (count > kEcdBlockMax) std::abort();
    if (cursor != nullptr) {
        // Only a full block moves on, and never past what it may read.
        if (count != kEcdBlockMax) std::abort();
        if (cursor < block.get() + 4 || cursor > block.get() + size) std::abort();
    }
    return 0;
}
