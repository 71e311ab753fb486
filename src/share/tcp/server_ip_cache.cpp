#include "share/tcp/server_ip_cache.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// "a.b.c.d" as the cache writes it: nothing that inet_addr would read another way (octal,
// hexadecimal, fewer parts) or stop early on.
bool IsDottedQuad(std::string_view text) {
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        size_t digits = 0;
        unsigned value = 0;
        while (at + digits < text.size() && digits < 4 && text[at + digits] >= '0' && text[at + digits] <= '9')
            value = value * 10 + static_cast<unsigned>(text[at + digits++] - '0');
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[at] == '0')) return false;
        at += digits;
        ++parts;
        if (parts < 4) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
    }
    return at == text.size();
}

}  // namespace

QvpServerIpEntries qvpParseServerIp(std::string_view text, bool cut) {
    QvpServerIpEntries entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            if (cut) break;
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (eq == 0 || eq == std::string_view::npos || !IsDottedQuad(line.substr(eq + 1))) continue;
        entries.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
    return entries;
}

std::string qvpServerIpText(const QvpServerIpEntries& entries) {
    size_t first = entries.size();
    size_t size = 0;
    while (first > 0) {
        const auto& [name, address] = entries[first - 1];
        const size_t line = name.size() + 1 + address.size() + kLineEnd.size();
        if (size + line > kQvpServerIpReadBound) break;
        size += line;
        --first;
    }
    std::string text;
    text.reserve(size);
    for (size_t i = first; i < entries.size(); ++i)
        text.append(entries[i].first).append("=").append(entries[i].second).append(kLineEnd);
    return text;
}
