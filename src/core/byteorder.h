// Big-endian fields of stored and received records, read and written byte by byte so that
// neither the host's order nor the field's alignment matters.
#pragma once

#include <cstdint>
#include <cstring>

namespace qvp {

inline uint16_t LoadBe16(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t LoadBe32(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBe16(void* at, uint16_t value) {
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

inline void StoreBe32(void* at, uint32_t value) {
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

// A field stored big-endian turned into host order where it lies, and back.
inline void Be16ToHostInPlace(void* at) {
    const uint16_t value = LoadBe16(at);
    std::memcpy(at, &value, sizeof value);
}
inline void Be32ToHostInPlace(void* at) {
    const uint32_t value = LoadBe32(at);
    std::memcpy(at, &value, sizeof value);
}
inline void HostToBe16InPlace(void* at) {
    uint16_t value;
    std::memcpy(&value, at, sizeof value);
    StoreBe16(at, value);
}
inline void HostToBe32InPlace(void* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    StoreBe32(at, value);
}

}  // namespace qvp
