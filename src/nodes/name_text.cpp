#include "nodes/name_text.h"

#include "platform/win.h"

namespace qvp::nodes {

namespace {
bool Lead(std::string_view text, size_t i) {
    return i + 1 < text.size() && win::IsDBCSLeadByte(static_cast<win::BYTE>(text[i]));
}
}  // namespace

size_t FindSingleByte(std::string_view text, char c) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (Lead(text, i)) {
            ++i;
            continue;
        }
        if (text[i] == c) return i;
    }
    return std::string_view::npos;
}

int HostIdClass(std::string_view name) {
    const size_t hash = FindSingleByte(name, '#');
    if (hash == std::string_view::npos) return -1;
    const char cls = hash + 1 < name.size() ? name[hash + 1] : '\0';
    return cls == 'G' || cls == 'U' || cls == 'C' ? cls : 0;
}

size_t FindAnyOf(std::string_view text, std::string_view set) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (Lead(text, i)) {
            ++i;
            continue;
        }
        if (set.find(text[i]) != std::string_view::npos) return i;
    }
    return std::string_view::npos;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lead(a, i)) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::string FoldedCase(std::string_view text) {
    std::string folded(text);
    for (size_t i = 0; i < folded.size(); ++i) {
        if (Lead(text, i)) ++i;
        else folded[i] = AsciiLower(folded[i]);
    }
    return folded;
}

}  // namespace qvp::nodes
