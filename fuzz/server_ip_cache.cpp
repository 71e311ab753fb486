// The address cache's reader over any file a user of the store could leave: the first byte
// says whether the text stops at the read bound, the rest is the text. Every entry taken is a
// named dotted address that inet_addr reads as it stands, and the text written for the entries
// reads back as the same entries.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/win.h"
#include "share/tcp/server_ip_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > kQvpServerIpReadBound + 1) return 0;
    const bool cut = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const QvpServerIpEntries entries = qvpParseServerIp(text, cut);
    for (const auto& [name, address] : entries) {
        if (name.empty() || name.find_first_of("=\n") != std::string::npos) std::abort();
        if (win::inet_addr(address.c_str()) == win::INADDR_NONE_VALUE && address != "255.255.255.255") std::abort();
    }
    const std::string written = qvpServerIpText(entries);
    if (written.size() > kQvpServerIpReadBound) std::abort();
    const QvpServerIpEntries again = qvpParseServerIp(written, false);
    if (again.size() > entries.size() ||
        !std::equal(again.begin(), again.end(), entries.end() - static_cast<std::ptrdiff_t>(again.size())))
        std::abort();
    return 0;
}
