// API error codes: the thread's last-error value and the mapping of recorded error information
// (a category and two details) to codes, one table per category.
#include "core/errors.h"

#include <cstring>

#include "platform/win.h"

extern "C" QVPAPI_EXPORT void qvAPISetLastError(uint32_t code) { win::SetLastError(code); }
extern "C" QVPAPI_EXPORT uint32_t qvAPIGetLastError(void) { return win::GetLastError(); }

namespace {

constexpr int32_t kAny = -0x7FFFFFFF;  // a row matching every second number
constexpr uint32_t kNoCode = 0;       // the pair sets no code

struct ReplyRow {
    int32_t first;
    int32_t second;
    uint32_t code;
};

// Manager record replies (FGET and the ID requests). Rows are matched in order.
constexpr ReplyRow kRecordReplyTable[] = {
    {0, 160, 0x20000103u}, {0, 0, kNoCode},       {0, 161, kNoCode},     {0, kAny, 0x2000054Fu},
    {4, 0, 0x20000020u},   {4, 16, 0x20000020u},  {4, kAny, 0x2000054Fu}, {8, kAny, 0x20100000u},
    {12, 208, 0x2000054Eu}, {12, kAny, 0x20100000u}, {16, 0, 0x20000103u}, {16, 16, 0x20000103u},
    {16, kAny, 0x2000054Fu}, {24, 0, 0x2000045Bu}, {24, kAny, 0x2000054Fu},
};

// Job-access replies (JPUT, JSCH, JEXC, JRTY, JDEL, DEXC); any pair not listed is unexpected.
constexpr ReplyRow kJobAccessReplyTable[] = {
    {0, 0, kNoCode},         {0, 1, kNoCode},         {0, 2, 0x200000EAu},
    {0, 4, 0x20470000u},     {0, 6, 0x20478000u},     {0, 8, 0x2000054Fu},
    {0, 10, 0x204D0000u},    {0, 20, 0x20470000u},    {0, 21, 0x20478000u},
    {0, 22, 0x20480000u},    {0, 23, 0x20488000u},    {0, 24, 0x204F0000u},
    {0, 30, 0x20491300u},    {0, 40, 0x20478000u},    {0, 49, 0x204B0000u},
    {0, 51, 0x204C0000u},    {4, 8, 0x20490000u},     {4, 16, 0x20000020u},
    {4, 99, 0x20490000u},    {5, 1, kNoCode},         {7, 1, 0x20100000u},
    {8, 1, 0x20100000u},     {9, 1, 0x20490000u},     {9, 99, 0x20100000u},
    {12, 1, 0x20100000u},    {12, 4, 0x20000070u},    {12, 8, 0x20100000u},
    {12, 12, 0x20100000u},   {16, 20, 0x204A0000u},   {16, 21, 0x20000002u},
    {16, 22, 0x20620000u},   {16, 33, 0x20000002u},   {16, 49, 0x20000002u},
    {16, 81, 0x20000002u},   {16, 90, 0x20000002u},   {16, 91, 0x20000002u},
    {16, 161, 0x20460000u},  {16, 162, 0x20100000u},  {16, 193, 0x20100000u},
    {16, 194, 0x20100000u},  {16, 195, 0x20100000u},  {16, 196, 0x20100000u},
    {16, 197, 0x20000002u},  {16, 198, 0x20100000u},  {16, 199, 0x200000B7u},
    {24, 0, 0x2000045Bu},    {29, 1, 0x20100000u},
};

// Transport (detail 1) and internal (detail 1) categories.
constexpr ReplyRow kTransportTable[] = {{1, kAny, 0x20250000u}, {2, kAny, 0x20260000u}};
constexpr ReplyRow kInternalTable[] = {{4, kAny, 0x20000057u}, {8, kAny, 0x20100000u}};

template <size_t N>
uint32_t Lookup(const ReplyRow (&table)[N], int32_t first, int32_t second, bool* set) {
    for (const ReplyRow& row : table) {
        if (row.first == first && (row.second == kAny || row.second == second)) {
            if (set != nullptr) *set = row.code != kNoCode;
            return row.code;
        }
    }
    if (set != nullptr) *set = true;
    return QVAPI_ERR_UNEXPECTED_DATA;
}

// The value of one blank-separated word: decimal, optionally signed; anything else gives 0.
int32_t WordValue(const char* word, size_t length) {
    size_t i = 0;
    bool negative = false;
    if (i < length && (word[i] == '-' || word[i] == '+')) negative = word[i++] == '-';
    if (i == length) return 0;
    int64_t value = 0;
    for (; i < length; ++i) {
        if (word[i] < '0' || word[i] > '9') return 0;
        value = value * 10 + (word[i] - '0');
        if (value > 0x7FFFFFFF) return 0;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

uint32_t qvpMapRecordReply(int32_t first, int32_t second, bool* set) {
    return Lookup(kRecordReplyTable, first, second, set);
}

uint32_t qvpMapJobAccessReply(int32_t first, int32_t second, bool* set) {
    return Lookup(kJobAccessReplyTable, first, second, set);
}

void qvp::qvAPISetErrorInfo(QVPAPI* block, int32_t category, const char* reply, int32_t detail1,
                       int32_t detail2) {
    if (block == nullptr) return;
    block->errorCategory = category;
    if (reply == nullptr) {
        block->errorDetail1 = detail1;
        block->errorDetail2 = detail2;
        return;
    }
    // A reply buffer need not be terminated: never look past its 2048 bytes.
    const size_t length = strnlen(reply, kQvpBufferSize);
    int32_t values[2] = {0, 0};
    size_t pos = 0;
    for (int32_t& value : values) {
        while (pos < length && reply[pos] == ' ') ++pos;
        const size_t start = pos;
        while (pos < length && reply[pos] != ' ') ++pos;
        value = WordValue(reply + start, pos - start);
    }
    block->errorDetail1 = values[0];
    block->errorDetail2 = values[1];
}

namespace {

uint32_t MapRecorded(const QVPAPI& block, bool* set) {
    switch (block.errorCategory) {
        case kErrCategoryRecord:
            return qvpMapRecordReply(block.errorDetail1, block.errorDetail2, set);
        case kErrCategoryJobAccess:
            return qvpMapJobAccessReply(block.errorDetail1, block.errorDetail2, set);
        case kErrCategoryTransport:
            return Lookup(kTransportTable, block.errorDetail1, block.errorDetail2, set);
        case kErrCategoryInternal:
            return Lookup(kInternalTable, block.errorDetail1, block.errorDetail2, set);
        default:
            *set = true;
            return QVAPI_ERR_UNEXPECTED_DATA;
    }
}

}  // namespace

uint32_t qvpMapRecordedError(const QVPAPI& block, bool* set) {
    bool dummy = false;
    return MapRecorded(block, set != nullptr ? set : &dummy);
}

uint32_t qvp::qvAPISetErrorCode(QVPAPI* block) {
    if (block == nullptr) return 0;
    bool set = false;
    const uint32_t code = MapRecorded(*block, &set);
    if (!set) return 0;
    qvAPISetLastError(code);
    return code;
}

uint32_t qvp::qvAPISetJobAccessErrorCode(QVPAPI* block) {
    if (block == nullptr) return 0;
    bool set = false;
    const uint32_t code = qvpMapJobAccessReply(block->errorDetail1, block->errorDetail2, &set);
    if (!set) return 0;
    qvAPISetLastError(code);
    return code;
}
