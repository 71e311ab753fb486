// Code page and text: the active ANSI code page (932 Shift-JIS or 1252), the byte classifier,
// DBCS-safe cuts, ANSI casing and separator searches that never match a trail byte.
#include <strings.h>

#include <atomic>

#include "platform/internal.h"

namespace win {
namespace {
std::atomic<unsigned> g_acpOverride{0};
// The code page read from the settings and the settings generation it was read at, as one
// value: generation << 32 | code page.
std::atomic<uint64_t> g_acpCache{0};

inline bool IsSep(unsigned char c) { return c == '\\' || c == '/'; }
}  // namespace

namespace detail {

void UpperInPlace(std::string& s, unsigned cp) {
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (IsLead(cp, c) && i + 1 < s.size() && IsTrail(cp, static_cast<unsigned char>(s[i + 1]))) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            s[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
}

bool EqualNoCase(std::string_view a, std::string_view b, unsigned cp) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        const bool pairA = IsLead(cp, x) && i + 1 < a.size() && IsTrail(cp, static_cast<unsigned char>(a[i + 1]));
        const bool pairB = IsLead(cp, y) && i + 1 < b.size() && IsTrail(cp, static_cast<unsigned char>(b[i + 1]));
        if (pairA != pairB) return false;
        if (pairA) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}
}  // namespace detail

unsigned GetACP() {
    if (unsigned o = g_acpOverride.load(std::memory_order_relaxed)) return o;
    const unsigned gen = detail::g_platformGeneration.load(std::memory_order_acquire);
    const uint64_t cached = g_acpCache.load(std::memory_order_acquire);
    if (cached >> 32 == gen) return static_cast<unsigned>(cached & 0xFFFFFFFFu);
    unsigned cp = 932;
    if (auto v = registry::GetPlatform("CodePage")) {
        if (*v == "1252") cp = 1252;
    }
    g_acpCache.store(uint64_t{gen} << 32 | cp, std::memory_order_release);
    return cp;
}

void SetACPForTesting(unsigned codePage) {
    g_acpOverride.store(codePage == 932 || codePage == 1252 ? codePage : 0);
}

BOOL IsDBCSLeadByte(BYTE b) { return detail::IsLead(GetACP(), b) ? TRUE : FALSE; }

ByteClass ClassifyByte(std::string_view text, size_t pos) {
    const unsigned cp = GetACP();
    if (pos >= text.size()) return ByteClass::Illegal;
    size_t i = 0;
    for (;;) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (detail::IsLead(cp, c)) {
            if (i + 1 < text.size() && detail::IsTrail(cp, static_cast<unsigned char>(text[i + 1]))) {
                if (pos == i) return ByteClass::Lead;
                if (pos == i + 1) return ByteClass::Trail;
                i += 2;
                continue;
            }
            if (pos == i) return ByteClass::Illegal;  // lead byte without its trail
            ++i;
            continue;
        }
        if (pos == i) {
            if (cp == 932 && (c == 0x80 || c == 0xA0 || c >= 0xFD)) return ByteClass::Illegal;
            return ByteClass::Single;
        }
        ++i;
    }
}

size_t DbcsSafeCut(std::string_view text, size_t maxBytes) {
    if (maxBytes >= text.size()) return text.size();
    const unsigned cp = GetACP();
    size_t i = 0;
    while (i < maxBytes) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (detail::IsLead(cp, c) && i + 1 < text.size() &&
            detail::IsTrail(cp, static_cast<unsigned char>(text[i + 1]))) {
            if (i + 2 > maxBytes) return i;
            i += 2;
        } else {
            ++i;
        }
    }
    return i;
}

std::string CharUpper(std::string_view text) {
    std::string s(text);
    detail::UpperInPlace(s, GetACP());
    return s;
}

std::string CharLower(std::string_view text) {
    const unsigned cp = GetACP();
    std::string s(text);
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (detail::IsLead(cp, c) && i + 1 < s.size() && detail::IsTrail(cp, static_cast<unsigned char>(s[i + 1]))) {
            ++i;
        } else if (c >= 'A' && c <= 'Z') {
            s[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

size_t FindLastSeparator(std::string_view path) {
    const unsigned cp = GetACP();
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (detail::IsLead(cp, c) && i + 1 < path.size() && detail::IsTrail(cp, static_cast<unsigned char>(path[i + 1]))) {
            ++i;
        } else if (IsSep(c)) {
            found = i;
        }
    }
    return found;
}

size_t FindFirstSeparator(std::string_view path, size_t from) {
    const unsigned cp = GetACP();
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (detail::IsLead(cp, c) && i + 1 < path.size() && detail::IsTrail(cp, static_cast<unsigned char>(path[i + 1]))) {
            ++i;
        } else if (i >= from && IsSep(c)) {
            return i;
        }
    }
    return std::string_view::npos;
}

int _stricmp(const char* a, const char* b) { return strcasecmp(a, b); }
int _strnicmp(const char* a, const char* b, size_t count) { return strncasecmp(a, b, count); }

}  // namespace win
