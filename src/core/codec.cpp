// The library's reversible text codec (ID-group passwords).
//
// Output: three header characters and two characters per input byte, all from a 60-character
// alphabet (letters and the digits 2 to 9). The header holds a salt of two characters (3600
// values) taken from the time of encoding (never the same as the last one used in this
// process, so two encodings differ even within a millisecond) and a check character; every pair
// holds one byte mixed with a keystream drawn from the salt and the bytes before it, plus a
// per-pair check value.
//
// Decoding refuses every text the encoder cannot produce: wrong length, foreign characters,
// a check character that does not match (a weighted sum modulo 60 over the other characters,
// with weights prime to 60, so that any single changed character is caught), a pair out of
// range, a wrong pair check or a zero byte.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "core/text.h"
#include "platform/win.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz23456789";
constexpr uint32_t kBase = 60;
static_assert(sizeof(kAlphabet) - 1 == kBase);
constexpr uint32_t kSalts = kBase * kBase;  // two header characters
constexpr uint32_t kPairValues = kBase * kBase;
constexpr uint32_t kPairChecks = kPairValues / 256;  // 14: values 0..3583 carry byte and check
constexpr size_t kMinPlain = 1;
constexpr size_t kMaxPlain = 30;
constexpr size_t kMinEncoded = 4;
constexpr size_t kMaxEncoded = 63;
constexpr size_t kHeader = 3;
constexpr size_t kCheckPosition = 2;
constexpr uint32_t kWeights[] = {1, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 49, 53, 59};

std::mutex gSaltMutex;
uint64_t gLastTick = 0;

int Symbol(char c) {
    const char* p = std::strchr(kAlphabet, c);
    return c != '\0' && p != nullptr ? static_cast<int>(p - kAlphabet) : -1;
}

uint32_t CheckSymbol(const int* symbols, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i == kCheckPosition) continue;
        sum += kWeights[i % (sizeof kWeights / sizeof kWeights[0])] * static_cast<uint32_t>(symbols[i]);
    }
    return sum % kBase;
}

// Keystream: one step per byte, chained through the bytes already coded.
struct Keystream {
    uint64_t state;
    explicit Keystream(uint32_t salt) : state(0x9E3779B97F4A7C15ull ^ (uint64_t{salt} * 0xBF58476D1CE4E5B9ull)) {}
    void Step(unsigned char previous, uint32_t* offset, uint32_t* check) {
        state = state * 6364136223846793005ull + 1442695040888963407ull + previous;
        const uint64_t mixed = state ^ (state >> 29);
        *offset = static_cast<uint32_t>((mixed >> 16) % kPairValues);
        *check = static_cast<uint32_t>((mixed >> 40) % kPairChecks);
    }
};

// The salt follows the clock in milliseconds; a call within the millisecond of the last one (or
// with the clock set back) takes the next value, so that successive encodings never share one.
uint32_t NextSalt() {
    win::FILETIME now{};
    win::GetSystemTimeAsFileTime(&now);
    const uint64_t ms = ((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) / 10000;
    std::lock_guard lock(gSaltMutex);
    gLastTick = ms > gLastTick ? ms : gLastTick + 1;
    return static_cast<uint32_t>(gLastTick % kSalts);
}

}  // namespace

int qvpStuEnCode(const char* plain, char* encoded) {
    if (plain == nullptr || encoded == nullptr) return 0;
    const size_t n = strnlen(plain, kMaxPlain + 1);
    if (n < kMinPlain || n > kMaxPlain) return 0;
    int symbols[kMaxEncoded];
    const uint32_t salt = NextSalt();
    symbols[0] = static_cast<int>(salt / kBase);
    symbols[1] = static_cast<int>(salt % kBase);
    symbols[2] = 0;
    Keystream keys(salt);
    unsigned char previous = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(plain[i]);
        uint32_t offset = 0;
        uint32_t check = 0;
        keys.Step(previous, &offset, &check);
        const uint32_t value = (check * 256 + byte + offset) % kPairValues;
        symbols[kHeader + 2 * i] = static_cast<int>(value / kBase);
        symbols[kHeader + 2 * i + 1] = static_cast<int>(value % kBase);
        previous = byte;
    }
    const size_t length = kHeader + 2 * n;
    symbols[kCheckPosition] = static_cast<int>(CheckSymbol(symbols, length));
    for (size_t i = 0; i < length; ++i) encoded[i] = kAlphabet[symbols[i]];
    encoded[length] = '\0';
    return 1;
}

int qvpStuDeCode(const char* encoded, char* plain) {
    if (encoded == nullptr || plain == nullptr) return 0;
    const size_t length = strnlen(encoded, kMaxEncoded + 1);
    if (length < kMinEncoded || length > kMaxEncoded) return 0;
    if ((length - kHeader) % 2 != 0) return 0;
    const size_t n = (length - kHeader) / 2;
    if (n < kMinPlain) return 0;
    int symbols[kMaxEncoded];
    for (size_t i = 0; i < length; ++i) {
        symbols[i] = Symbol(encoded[i]);
        if (symbols[i] < 0) return 0;
    }
    if (static_cast<uint32_t>(symbols[kCheckPosition]) != CheckSymbol(symbols, length)) return 0;
    const uint32_t salt = static_cast<uint32_t>(symbols[0]) * kBase + static_cast<uint32_t>(symbols[1]);
    Keystream keys(salt);
    char out[kMaxPlain + 1];
    unsigned char previous = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t value = static_cast<uint32_t>(symbols[kHeader + 2 * i]) * kBase +
                               static_cast<uint32_t>(symbols[kHeader + 2 * i + 1]);
        uint32_t offset = 0;
        uint32_t check = 0;
        keys.Step(previous, &offset, &check);
        const uint32_t mixed = (value + kPairValues - offset) % kPairValues;
        if (mixed >= kPairChecks * 256 || mixed / 256 != check) return 0;
        const auto byte = static_cast<unsigned char>(mixed % 256);
        if (byte == 0) return 0;
        out[i] = static_cast<char>(byte);
        previous = byte;
    }
    out[n] = '\0';
    std::memcpy(plain, out, n + 1);
    return 1;
}
