// Byte-string helpers for names in the system code page: searches that never match the trail
// byte of a double-byte character, and ANSI case folding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qvp::nodes {

// Position of the first `c` outside double-byte characters, or npos.
size_t FindSingleByte(std::string_view text, char c);
// Position of the first byte of `set` outside double-byte characters, or npos.
size_t FindAnyOf(std::string_view text, std::string_view set);
// The class letter of a host-ID name ('G', 'U' or 'C' after its first single-byte '#', wherever
// that stands), 0 when the '#' has no class, or -1 when there is no '#'.
int HostIdClass(std::string_view name);
// Whether a name is a host ID's by that rule (the rule of qvAPIGetNodeNameType).
inline bool IsHostIdName(std::string_view name) { return HostIdClass(name) > 0; }
// Equal ignoring ASCII case; double-byte characters compare exactly.
bool EqualIgnoringCase(std::string_view a, std::string_view b);
// The text with its ASCII letters lowered, double-byte characters as they are: two texts are
// equal ignoring case when their folded texts are equal.
std::string FoldedCase(std::string_view text);
// Single-byte ASCII classes of an unsigned byte; bytes from 0x80 are none of them.
inline bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiAlpha(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsAsciiAlnum(unsigned char c) { return IsAsciiDigit(c) || IsAsciiAlpha(c); }
inline bool IsAsciiPunct(unsigned char c) { return c > 0x20 && c < 0x7F && !IsAsciiAlnum(c); }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace qvp::nodes
