// Memory below 4 GiB for records that carry a 4-byte address.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win.h"

namespace {

TEST(LowMemory, BlocksFitFourBytesAndAreFreedByAddressAlone) {
    std::vector<void*> blocks;
    for (size_t size : {size_t{1}, size_t{261}, size_t{5000}}) {
        void* block = win::AllocLow32(size);
#ifndef MAP_32BIT
        if (block == nullptr) {
            EXPECT_EQ(win::GetLastError(), win::ERROR_NOT_SUPPORTED);
            continue;
        }
#endif
        ASSERT_NE(block, nullptr) << size;
        EXPECT_LE(reinterpret_cast<uintptr_t>(block) + size, uintptr_t{UINT32_MAX});
        const std::vector<char> zeros(size, 0);
        EXPECT_EQ(std::memcmp(block, zeros.data(), size), 0);
        std::memset(block, 'x', size);
        blocks.push_back(block);
    }
    for (void* block : blocks) win::FreeLow32(block);
    win::FreeLow32(nullptr);
}

}  // namespace
