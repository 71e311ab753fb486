#include "manager-sim/wire.h"

#include <charconv>

#include "platform/byte_order.h"

namespace qvpsim {

std::string FrameHeader(uint32_t totalLength, uint8_t marker0) {
    std::string h(kHeaderSize, '\0');
    qvp::putBe32(h.data(), totalLength);
    h[4] = static_cast<char>(marker0);
    return h;
}

std::string Frame(std::string_view payload) {
    std::string f = FrameHeader(static_cast<uint32_t>(payload.size() + kHeaderSize));
    f.append(payload);
    return f;
}

bool ParseHeader(const unsigned char* h, size_t* payloadLength) {
    uint32_t total = qvp::be32(h);
    if (h[4] != 0xFF || h[5] != 0 || h[6] != 0 || h[7] != 0) return false;
    if (total < kHeaderSize || total > kFrameMax) return false;
    *payloadLength = total - kHeaderSize;
    return true;
}

std::string_view Request::Value(size_t i) const {
    return i < fields.size() ? std::string_view(fields[i].value) : std::string_view();
}

namespace {

// Reads a decimal number at `pos`, advancing it; false when there is none.
bool ReadNumber(std::string_view text, size_t& pos, long& value) {
    const char* begin = text.data() + pos;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr == begin || value < 0) return false;
    pos += static_cast<size_t>(ptr - begin);
    return true;
}

}  // namespace

Request ParseRequest(std::string_view payload) {
    Request r;
    r.payload = std::string(payload);
    size_t blank = payload.find(' ');
    r.verb = std::string(payload.substr(0, blank));
    if (blank == std::string_view::npos) return r;
    size_t pos = blank + 1;
    long count = 0;
    if (!ReadNumber(payload, pos, count)) return r;
    r.declaredCount = count;
    while (pos < payload.size()) {
        if (payload[pos] != ' ' || pos + 1 >= payload.size()) return r;
        Field f;
        f.type = payload[pos + 1];
        pos += 2;
        long length = 0;
        if (!ReadNumber(payload, pos, length)) return r;
        if (pos >= payload.size() || payload[pos] != ' ') return r;
        ++pos;
        if (static_cast<size_t>(length) > payload.size() - pos) return r;
        f.value = std::string(payload.substr(pos, static_cast<size_t>(length)));
        pos += static_cast<size_t>(length);
        r.fields.push_back(std::move(f));
    }
    r.wellFormed = static_cast<size_t>(r.declaredCount) == r.fields.size();
    return r;
}

std::string RecordReply(std::string_view record, std::string_view key) {
    std::string reply("0 0 2 i");
    reply += std::to_string(record.size());
    reply += ' ';
    reply.append(record);
    reply += " k";
    reply += std::to_string(key.size());
    reply += ' ';
    reply.append(key);
    return reply;
}

std::string BuildRequest(std::string_view verb, const std::vector<Field>& fields) {
    std::string out(verb);
    out += ' ';
    out += std::to_string(fields.size());
    for (const Field& f : fields) {
        out += ' ';
        out += f.type;
        out += std::to_string(f.value.size());
        out += ' ';
        out += f.value;
    }
    return out;
}

}  // namespace qvpsim
