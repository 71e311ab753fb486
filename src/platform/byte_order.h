// Byte order of stored and transmitted fields: big-endian (records, archives, frames, encoded
// packages) and little-endian (security descriptors, old-format archives), read and written a
// byte at a time so that alignment never matters. The lowest layer's, so that every layer and
// the simulator use the same.
#pragma once

#include <cstdint>
#include <cstring>

namespace qvp {

inline uint16_t be16(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t be32(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline void putBe16(void* at, uint16_t v) {
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void putBe32(void* at, uint32_t v) {
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline uint16_t le16(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t le32(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline void putLe16(void* at, uint16_t v) {
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putLe32(void* at, uint32_t v) {
    auto* p = static_cast<uint8_t*>(at);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A field stored big-endian turned into host order where it lies, and back.
inline void Be16ToHostInPlace(void* at) {
    const uint16_t value = be16(at);
    std::memcpy(at, &value, sizeof value);
}
inline void Be32ToHostInPlace(void* at) {
    const uint32_t value = be32(at);
    std::memcpy(at, &value, sizeof value);
}
inline void HostToBe16InPlace(void* at) {
    uint16_t value;
    std::memcpy(&value, at, sizeof value);
    putBe16(at, value);
}
inline void HostToBe32InPlace(void* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    putBe32(at, value);
}

}  // namespace qvp
