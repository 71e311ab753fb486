// Memory below 4 GiB for records that carry a 4-byte address.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/win.h"

namespace {

TEST(LowMemory, BlocksFitFourBytesAndAreFreedByAddressAlone) {
    // A block whose size fills its last page up to the end (the head comes before it) is
    // written whole: it must not run past its mapping.
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    for (size_t size : {size_t{1}, size_t{261}, size_t{5000}, page - sizeof(size_t), page, 2 * page}) {
        SCOPED_TRACE(size);
        char* block = static_cast<char*>(win::AllocLow32(size));
#ifndef MAP_32BIT
        if (block == nullptr && win::GetLastError() == win::ERROR_NOT_SUPPORTED) continue;
#endif
        ASSERT_NE(block, nullptr);
        EXPECT_LE(reinterpret_cast<uintptr_t>(block) + size, uintptr_t{UINT32_MAX});
        EXPECT_EQ(std::string_view(block, size), std::string(size, '\0'));
        std::memset(block, 0x5a, size);
        win::FreeLow32(block);
    }
    win::FreeLow32(nullptr);
}

}  // namespace
