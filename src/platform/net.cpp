// inet_addr as Windows Sockets 1.1 has it: "a.b.c.d", "a.b.c", "a.b" and "a" with decimal,
// octal (leading 0) or hexadecimal (0x) parts; network byte order; 0xFFFFFFFF for bad text
// (and for "255.255.255.255", which is the same value).
#include <arpa/inet.h>

#include "platform/internal.h"

namespace win {

uint32_t inet_addr(const char* text) {
    if (!text || !*text) return INADDR_NONE_VALUE;
    uint64_t parts[4];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == 4) return INADDR_NONE_VALUE;
        uint64_t v = 0;
        int base = 10;
        if (*p < '0' || *p > '9') return INADDR_NONE_VALUE;
        if (*p == '0') {
            base = 8;
            ++p;
            if (*p == 'x' || *p == 'X') {
                base = 16;
                ++p;
                if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F')))
                    return INADDR_NONE_VALUE;
            }
        }
        for (;; ++p) {
            int d;
            if (*p >= '0' && *p <= '9') d = *p - '0';
            else if (base == 16 && *p >= 'a' && *p <= 'f') d = *p - 'a' + 10;
            else if (base == 16 && *p >= 'A' && *p <= 'F') d = *p - 'A' + 10;
            else break;
            if (d >= base) return INADDR_NONE_VALUE;
            v = v * uint64_t(base) + uint64_t(d);
            if (v > 0xFFFFFFFFull) return INADDR_NONE_VALUE;
        }
        parts[count++] = v;
        if (*p == '.') {
            ++p;
            continue;
        }
        if (*p != '\0' && *p != ' ') return INADDR_NONE_VALUE;  // Winsock stops at a blank
        break;
    }
    uint64_t addr = 0;
    switch (count) {
    case 1: addr = parts[0]; break;
    case 2:
        if (parts[0] > 0xFF || parts[1] > 0xFFFFFF) return INADDR_NONE_VALUE;
        addr = parts[0] << 24 | parts[1];
        break;
    case 3:
        if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFFFF) return INADDR_NONE_VALUE;
        addr = parts[0] << 24 | parts[1] << 16 | parts[2];
        break;
    default:
        for (int i = 0; i < 4; ++i)
            if (parts[i] > 0xFF) return INADDR_NONE_VALUE;
        addr = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
    }
    return htonl(static_cast<uint32_t>(addr));
}

}  // namespace win
