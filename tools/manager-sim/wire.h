// The manager's wire forms as the simulator sees them: frames, text messages and requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvpsim {

constexpr size_t kHeaderSize = 8;
constexpr size_t kFrameMax = 2048;
constexpr size_t kPayloadMax = kFrameMax - kHeaderSize;  // 2040

// Header: u32 big-endian total length (header included), then FF 00 00 00.
std::string FrameHeader(uint32_t totalLength, uint8_t marker0 = 0xFF);
std::string Frame(std::string_view payload);
// Checks a received header; the payload length when it is one of ours.
bool ParseHeader(const unsigned char* header, size_t* payloadLength);

struct Field {
    char type = 0;
    std::string value;
};

// "VERB count field...", each field a type letter, the decimal length, one blank and exactly
// that many bytes. Parsed by length to the end of the payload: the count is recorded, never
// trusted.
struct Request {
    std::string verb;
    long declaredCount = -1;  // -1 when the count word is missing or not a number
    std::vector<Field> fields;
    std::string payload;      // the bytes as received
    bool wellFormed = false;  // every byte accounted for and the count matches

    // The value of field i, empty when there is none.
    std::string_view Value(size_t i) const;
};

Request ParseRequest(std::string_view payload);

// A record reply: "0 0 2 i<len> <record> k<len> <key>".
std::string RecordReply(std::string_view record, std::string_view key);

// Builds a request text the same way the library does (used by tests of the simulator).
std::string BuildRequest(std::string_view verb, const std::vector<Field>& fields);

}  // namespace qvpsim
