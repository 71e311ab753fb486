// Error codes: the thread's last-error slot and every row of the four mapping tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core_fixture.h"

using qvp::qvAPISetErrorCode;
using qvp::qvAPISetErrorInfo;
using qvp::qvAPISetJobAccessErrorCode;

namespace {

struct Case {
    int32_t first;
    int32_t second;
    uint32_t code;  // 0: the pair sets no code
};

// Record replies (FGET and the ID requests); "other" rows are probed with several values.
const std::vector<Case> kRecordCases = {
    {0, 160, 0x20000103}, {0, 0, 0},           {0, 161, 0},           {0, 1, 0x2000054F},
    {0, 16, 0x2000054F},  {0, 999, 0x2000054F}, {4, 0, 0x20000020},   {4, 16, 0x20000020},
    {4, 1, 0x2000054F},   {4, 160, 0x2000054F}, {8, 0, 0x20100000},   {8, 77, 0x20100000},
    {12, 208, 0x2000054E}, {12, 0, 0x20100000}, {12, 207, 0x20100000}, {16, 0, 0x20000103},
    {16, 16, 0x20000103}, {16, 1, 0x2000054F},  {16, 160, 0x2000054F}, {24, 0, 0x2000045B},
    {24, 1, 0x2000054F},  {1, 0, 0x2000054F},   {5, 16, 0x2000054F},  {-1, 0, 0x2000054F},
    {20, 0, 0x2000054F},
};

const std::vector<Case> kJobAccessCases = {
    {0, 0, 0},            {0, 1, 0},            {0, 2, 0x200000EA},   {0, 4, 0x20470000},
    {0, 6, 0x20478000},   {0, 8, 0x2000054F},   {0, 10, 0x204D0000},  {0, 20, 0x20470000},
    {0, 21, 0x20478000},  {0, 22, 0x20480000},  {0, 23, 0x20488000},  {0, 24, 0x204F0000},
    {0, 30, 0x20491300},  {0, 40, 0x20478000},  {0, 49, 0x204B0000},  {0, 51, 0x204C0000},
    {4, 8, 0x20490000},   {4, 16, 0x20000020},  {4, 99, 0x20490000},  {5, 1, 0},
    {7, 1, 0x20100000},   {8, 1, 0x20100000},   {9, 1, 0x20490000},   {9, 99, 0x20100000},
    {12, 1, 0x20100000},  {12, 4, 0x20000070},  {12, 8, 0x20100000},  {12, 12, 0x20100000},
    {16, 20, 0x204A0000}, {16, 21, 0x20000002}, {16, 22, 0x20620000}, {16, 33, 0x20000002},
    {16, 49, 0x20000002}, {16, 81, 0x20000002}, {16, 90, 0x20000002}, {16, 91, 0x20000002},
    {16, 161, 0x20460000}, {16, 162, 0x20100000}, {16, 193, 0x20100000}, {16, 194, 0x20100000},
    {16, 195, 0x20100000}, {16, 196, 0x20100000}, {16, 197, 0x20000002}, {16, 198, 0x20100000},
    {16, 199, 0x200000B7}, {24, 0, 0x2000045B},  {29, 1, 0x20100000},
    // Pairs not listed are unexpected data.
    {0, 3, 0x2000054F},   {0, 50, 0x2000054F},  {4, 0, 0x2000054F},   {5, 0, 0x2000054F},
    {7, 0, 0x2000054F},   {9, 2, 0x2000054F},   {12, 0, 0x2000054F},  {16, 0, 0x2000054F},
    {16, 192, 0x2000054F}, {16, 200, 0x2000054F}, {24, 1, 0x2000054F}, {29, 0, 0x2000054F},
    {1, 1, 0x2000054F},   {3, 0, 0x2000054F},
};

constexpr uint32_t kSentinel = 0x12345678;

class ErrorsTest : public CoreTest {
protected:
    // Records the pair under `category` and maps it; the last error shows what was set.
    uint32_t Map(int32_t category, int32_t first, int32_t second) {
        QVPAPI* block = qvpGetThreadBlock();
        qvAPISetErrorInfo(block, category, nullptr, first, second);
        qvAPISetLastError(kSentinel);
        qvAPISetErrorCode(block);
        const uint32_t code = qvAPIGetLastError();
        return code == kSentinel ? 0 : code;
    }
};

TEST_F(ErrorsTest, LastErrorIsThePlatformSlot) {
    qvAPISetLastError(0x20000057);
    EXPECT_EQ(win::GetLastError(), 0x20000057u);
    win::SetLastError(win::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(qvAPIGetLastError(), 32u);
}

TEST_F(ErrorsTest, RecordReplyTable) {
    for (const Case& c : kRecordCases) {
        EXPECT_EQ(Map(kErrCategoryRecord, c.first, c.second), c.code)
            << "pair " << c.first << " " << c.second;
        bool set = false;
        EXPECT_EQ(qvpMapRecordReply(c.first, c.second, &set) != 0 && set, c.code != 0);
    }
}

TEST_F(ErrorsTest, JobAccessTable) {
    QVPAPI* block = qvpGetThreadBlock();
    for (const Case& c : kJobAccessCases) {
        EXPECT_EQ(Map(kErrCategoryJobAccess, c.first, c.second), c.code)
            << "pair " << c.first << " " << c.second;
        // The direct job-access mapping reads the details whatever the category.
        qvAPISetErrorInfo(block, kErrCategoryRecord, nullptr, c.first, c.second);
        qvAPISetLastError(kSentinel);
        qvAPISetJobAccessErrorCode(block);
        EXPECT_EQ(qvAPIGetLastError(), c.code == 0 ? kSentinel : c.code);
    }
}

TEST_F(ErrorsTest, TransportInternalAndNoCategory) {
    EXPECT_EQ(Map(kErrCategoryTransport, 1, 0), 0x20250000u);
    EXPECT_EQ(Map(kErrCategoryTransport, 2, 0), 0x20260000u);
    EXPECT_EQ(Map(kErrCategoryInternal, kInternalParameter, 0), 0x20000057u);
    EXPECT_EQ(Map(kErrCategoryInternal, kInternalResource, 0), 0x20100000u);
    EXPECT_EQ(Map(0, 0, 0), 0x2000054Fu);
    EXPECT_EQ(Map(0x12345, 4, 16), 0x2000054Fu);
}

TEST_F(ErrorsTest, ReplyWordsParseAsNumbersOrZero) {
    QVPAPI* block = qvpGetThreadBlock();
    struct Reply {
        const char* text;
        int32_t first;
        int32_t second;
    };
    const Reply replies[] = {
        {"16 199 i3 abc", 16, 199}, {"4 16", 4, 16},    {"  0   160 ", 0, 160},
        {"x 5", 0, 5},              {"12 2o8", 12, 0},  {"", 0, 0},
        {"7", 7, 0},                {"99999999999 1", 0, 1},
    };
    for (const Reply& r : replies) {
        qvAPISetErrorInfo(block, kErrCategoryRecord, r.text, 55, 66);
        EXPECT_EQ(block->errorCategory, kErrCategoryRecord);
        EXPECT_EQ(block->errorDetail1, r.first) << r.text;
        EXPECT_EQ(block->errorDetail2, r.second) << r.text;
    }
    // Without a reply text the details are taken as given.
    qvAPISetErrorInfo(block, kErrCategoryInternal, nullptr, 4, 9);
    EXPECT_EQ(block->errorDetail1, 4);
    EXPECT_EQ(block->errorDetail2, 9);
}

TEST_F(ErrorsTest, UnterminatedReplyIsReadWithinItsBuffer) {
    QVPAPI* block = qvpGetThreadBlock();
    // A heap buffer of exactly 2048 bytes without a terminator: reading past it would be caught
    // by the address sanitizer.
    std::vector<char> reply(kQvpBufferSize, '7');
    reply[0] = '4';
    reply[1] = ' ';
    qvAPISetErrorInfo(block, kErrCategoryRecord, reply.data(), 0, 0);
    EXPECT_EQ(block->errorDetail1, 4);
    EXPECT_EQ(block->errorDetail2, 0);  // 2046 digits are no number of ours
    std::memcpy(reply.data(), "16 16 ", 6);
    qvAPISetErrorInfo(block, kErrCategoryRecord, reply.data(), 0, 0);
    EXPECT_EQ(block->errorDetail2, 16);
}

}  // namespace
