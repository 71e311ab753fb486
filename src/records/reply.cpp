#include "records/reply.h"

#include <cstring>

namespace {

// Reads one blank-terminated decimal word at `pos`; false when the bytes there are no number.
bool ReadWord(std::string_view text, size_t& pos, uint32_t& value) {
    size_t start = pos;
    uint64_t v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        v = v * 10 + static_cast<uint64_t>(text[pos] - '0');
        if (v > 0xFFFFFFFFu) return false;
        ++pos;
    }
    if (pos == start) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool SkipBlank(std::string_view text, size_t& pos) {
    if (pos >= text.size() || text[pos] != ' ') return false;
    ++pos;
    return true;
}

std::string_view View(const char* reply, size_t length) {
    if (reply == nullptr) return {};
    const void* nul = std::memchr(reply, '\0', length);
    if (nul != nullptr) length = static_cast<size_t>(static_cast<const char*>(nul) - reply);
    return {reply, length};
}

// Parses "class detail count " and returns the position of the first field.
bool ParseHead(std::string_view text, uint32_t& cls, uint32_t& detail, uint32_t& count, size_t& pos) {
    pos = 0;
    return ReadWord(text, pos, cls) && SkipBlank(text, pos) && ReadWord(text, pos, detail) &&
           SkipBlank(text, pos) && ReadWord(text, pos, count);
}

// A field "<letter><len> <bytes>" at `pos` (after its leading blank), within `received` bytes.
bool ParseField(const char* reply, size_t received, size_t& pos, char letter, size_t& dataPos,
                uint32_t& dataLength) {
    std::string_view text(reply, received);  // the item may hold NULs: measure by bytes
    if (!SkipBlank(text, pos) || pos >= text.size() || text[pos] != letter) return false;
    ++pos;
    if (!ReadWord(text, pos, dataLength) || !SkipBlank(text, pos)) return false;
    if (dataLength > received - pos) return false;
    dataPos = pos;
    pos += dataLength;
    return true;
}

}  // namespace

int qvpAPICheckFgetReply(const char* reply, size_t length) {
    std::string_view text = View(reply, length);
    size_t pos = 0;
    uint32_t cls = 0;
    if (!ReadWord(text, pos, cls)) return kFgetOther;
    if (cls == 16) return kFgetClass16;
    if (cls != 0) return kFgetOther;
    uint32_t detail = 0;
    if (!SkipBlank(text, pos) || !ReadWord(text, pos, detail)) return kFgetOtherZero;
    if (detail == 160) return kFgetNoMore;
    if (detail == 161) return kFgetSkip;
    if (detail != 0 || !SkipBlank(text, pos) || pos >= text.size()) return kFgetOtherZero;
    if (text.substr(pos) == "0" || text.substr(pos, 2) == "0 ") return kFgetNoRecord;
    return kFgetRecord;
}

const char* qvpAPIGetFgetItem(const char* reply, size_t received, uint32_t* itemLength) {
    if (itemLength != nullptr) *itemLength = 0;
    if (reply == nullptr) return nullptr;
    std::string_view text(reply, received);
    uint32_t cls = 0, detail = 0, count = 0;
    size_t pos = 0;
    if (!ParseHead(text, cls, detail, count, pos) || count == 0) return nullptr;
    size_t dataPos = 0;
    uint32_t length = 0;
    if (!ParseField(reply, received, pos, 'i', dataPos, length) || length == 0) return nullptr;
    if (itemLength != nullptr) *itemLength = length;
    return reply + dataPos;
}

std::string_view qvpGetFgetKey(const char* reply, size_t received) {
    if (reply == nullptr) return {};
    std::string_view text(reply, received);
    uint32_t cls = 0, detail = 0, count = 0;
    size_t pos = 0;
    if (!ParseHead(text, cls, detail, count, pos) || count < 2) return {};
    size_t dataPos = 0;
    uint32_t length = 0;
    if (!ParseField(reply, received, pos, 'i', dataPos, length)) return {};
    if (!ParseField(reply, received, pos, 'k', dataPos, length)) return {};
    return text.substr(dataPos, length);
}

void qvpReplyWords(const char* reply, size_t length, int32_t* first, int32_t* second) {
    std::string_view text = View(reply, length);
    size_t pos = 0;
    uint32_t a = 0, b = 0;
    if (ReadWord(text, pos, a) && SkipBlank(text, pos)) ReadWord(text, pos, b);
    *first = static_cast<int32_t>(a);
    *second = static_cast<int32_t>(b);
}

bool qvpReplySucceeded(const char* reply, size_t length) {
    int32_t first = 0, second = 0;
    qvpReplyWords(reply, length, &first, &second);
    return reply != nullptr && reply[0] == '0' && first == 0 && second == 0;
}
