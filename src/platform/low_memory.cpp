// Memory below 4 GiB for records that carry a 4-byte address: anonymous mappings with
// MAP_32BIT. The mapping's length goes in a word ahead of the block, so that it can be freed
// from the address alone.
#include <sys/mman.h>

#include <cstring>

#include "platform/internal.h"

namespace win {

namespace {
constexpr size_t kHead = sizeof(size_t);
}

void* AllocLow32(size_t size) {
    const size_t length = kHead + size;
#ifdef MAP_32BIT
    void* const hint = nullptr;
    const int low = MAP_32BIT;
#else
    // Without the flag the kernel takes a low address as a hint only: the block is of use when
    // it was honoured.
    void* const hint = reinterpret_cast<void*>(uintptr_t{0x10000000});
    const int low = 0;
#endif
    void* at = mmap(hint, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | low, -1, 0);
    if (at == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (reinterpret_cast<uintptr_t>(at) > UINT32_MAX - length) {
        munmap(at, length);
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::memcpy(at, &length, kHead);
    return static_cast<char*>(at) + kHead;
}

void FreeLow32(void* block) {
    if (block == nullptr) return;
    void* at = static_cast<char*>(block) - kHead;
    size_t length = 0;
    std::memcpy(&length, at, kHead);
    munmap(at, length);
}

}  // namespace win
