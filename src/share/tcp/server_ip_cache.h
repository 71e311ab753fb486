// SERVERIP.ini, the transport's cache of host addresses: "name=a.b.c.d" lines ended by CR LF.
// It lies in the shared store, where any user of the store's group may write it, so only a
// bounded start of it is read and a line counts only in that one form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a reader takes of the file; what a writer puts there fits it.
constexpr size_t kQvpServerIpReadBound = 64 * 1024;

using QvpServerIpEntries = std::vector<std::pair<std::string, std::string>>;  // name, address

// The "name=a.b.c.d" lines of the text (four decimal parts 0 to 255 without leading zeros; LF
// or CR LF ended), in their order; any other line is passed over. `cut`: the text stops at the
// read bound rather than at the file's end, so its last line without an end is not whole.
QvpServerIpEntries qvpParseServerIp(std::string_view text, bool cut);

// The file's text for the entries, in their order; the oldest ones are left out until it fits
// the read bound, so every line written is read again.
std::string qvpServerIpText(const QvpServerIpEntries& entries);
