// The manager's answer to "AINT": "AINTA V0300" [size interval], "CONNECTA n", or anything else.
#include <charconv>
#include <vector>

#include "qvpapi.h"
#include "session/request.h"
#include "session/session.h"

namespace {

constexpr std::string_view kAccepted = "AINTA";
constexpr std::string_view kConnectState = "CONNECTA";
constexpr uint32_t kSocketlessState = 52;
constexpr uint32_t kMaxConnectState = 0xFFFF;
constexpr uint64_t kMaxTransferSize = 0x7FFFFFFF;
constexpr uint64_t kMaxTransferInterval = 1440;

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(' ', pos);
        if (end == std::string_view::npos) end = text.size();
        if (end > pos) words.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return words;
}

// A plain decimal word within [min, max].
bool Number(std::string_view word, uint64_t min, uint64_t max, uint64_t* value) {
    uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc() || ptr != word.data() + word.size() || v < min || v > max) return false;
    *value = v;
    return true;
}

}  // namespace

QvpHandshake qvpParseHandshakeReply(std::string_view reply) {
    QvpHandshake h;
    const auto words = Words(reply);
    if (words.empty()) {
        h.code = QVAPI_ERR_HANDSHAKE;
        return h;
    }
    if (words[0] == kAccepted) {
        if (words.size() < 2 || words[1] != qvp::kProtocolVersion) {
            h.code = QVAPI_ERR_HANDSHAKE_VERSION;
            return h;
        }
        // The interval belongs to the size: without a usable size neither is kept.
        uint64_t size = 0;
        uint64_t interval = 0;
        if (words.size() >= 3 && Number(words[2], 1, kMaxTransferSize, &size)) {
            h.divisionalTransferSize = static_cast<uint32_t>(size);
            if (words.size() >= 4 && Number(words[3], 1, kMaxTransferInterval, &interval))
                h.divisionalTransferInterval = static_cast<uint32_t>(interval);
        }
        return h;
    }
    uint64_t state = 0;
    if (words[0] == kConnectState && words.size() >= 2 && Number(words[1], 0, kMaxConnectState, &state)) {
        if (state == kSocketlessState)
            h.socketless = true;
        else
            h.code = QVAPI_ERR_CONNECT_BASE + static_cast<uint32_t>(state);
        return h;
    }
    h.code = QVAPI_ERR_HANDSHAKE;
    return h;
}
