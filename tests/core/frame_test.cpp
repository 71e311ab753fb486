// The call frame, the per-thread block and its release, the API level.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "core/errors.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core_fixture.h"
#include "qvpapi.h"

using qvp::qvAPISetErrorInfo;

namespace {

const qvp::FrameTexts kTexts{"qvAPITestCall"};
const qvp::FrameTexts kHexTexts{"qvAPITestFind", qvp::EndStyle::Hex};

class FrameTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        WriteSettings("DLLLogRecordSize=200\n");
        qvpGetThreadBlock()->dllLogId = qvpLogOpen("DLL.LOG");
    }
    std::vector<std::string> Records() {
        const std::string text = ReadText(data() / "LOG" / "DLL.LOG");
        std::vector<std::string> out;
        for (size_t i = 0; i + 200 <= text.size(); i += 200) out.push_back(text.substr(i, 200));
        EXPECT_EQ(text.size() % 200, 0u);
        return out;
    }
};

TEST_F(FrameTest, SuccessLeavesZeroAndLogsStartAndEnd) {
    qvAPISetLastError(0x20000057);
    const int r = qvp::RunApi(kTexts, 0, [](qvp::CallContext&) { return 1; });
    EXPECT_EQ(r, 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    for (const auto& rec : records) {
        EXPECT_EQ(rec.substr(198), "\r\n");
        EXPECT_NE(rec.find(" dll      "), std::string::npos);
    }
    EXPECT_NE(records[0].find("qvAPITestCall START"), std::string::npos);
    EXPECT_NE(records[1].find("qvAPITestCall END : Code = 0 "), std::string::npos);
}

TEST_F(FrameTest, FailureCodes) {
    // The body's own code.
    EXPECT_EQ(qvp::RunApi(kTexts, 0, [](qvp::CallContext& c) {
                  c.Fail(0x20610000);
                  return 0;
              }),
              0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20610000u);
    // No code of its own: the recorded reply is mapped.
    EXPECT_EQ(qvp::RunApi(kTexts, 0, [](qvp::CallContext& c) {
                  qvAPISetErrorInfo(&c.block(), kErrCategoryJobAccess, "16 199", 0, 0);
                  return 0;
              }),
              0);
    EXPECT_EQ(qvAPIGetLastError(), 0x200000B7u);
    // A record left by an earlier call is not mapped again.
    EXPECT_EQ(qvp::RunApi(kTexts, 0, [](qvp::CallContext&) {
                  qvAPISetLastError(0x20000002);  // what a callee said
                  return 0;
              }),
              0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000002u);
    // A failure that says nothing is unexpected data, never the code an earlier call left, nor
    // a bare system error number of a step.
    EXPECT_EQ(qvp::RunApi(kTexts, 0, [](qvp::CallContext&) { return 0; }), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x2000054Fu);
    qvAPISetLastError(0x20000020);
    EXPECT_EQ(qvp::RunApi(kTexts, 0, [](qvp::CallContext& c) {
                  qvAPISetErrorInfo(&c.block(), kErrCategoryRecord, "0 0", 0, 0);  // sets no code
                  win::SetLastError(win::ERROR_SHARING_VIOLATION);
                  return 0;
              }),
              0);
    EXPECT_EQ(qvAPIGetLastError(), 0x2000054Fu);
    // Hex END line with the code.
    qvp::RunApi(kHexTexts, 0, [](qvp::CallContext& c) {
        c.Fail(0x20000103);
        return 0;
    });
    EXPECT_NE(Records().back().find("qvAPITestFind END : Code = 0x20000103"), std::string::npos);
}

TEST_F(FrameTest, ExceptionGivesResourceFailureAndFailureValue) {
    const int r = qvp::RunApi(kTexts, 0, [](qvp::CallContext&) -> int {
        throw std::runtime_error("boom");
    });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
    void* const invalid = QVPAPI_INVALID_HANDLE;
    void* h = qvp::RunApi(kHexTexts, invalid, [](qvp::CallContext&) -> void* { throw 5; });
    EXPECT_EQ(h, invalid);
    EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
    const auto records = Records();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_NE(records[1].find("qvAPITestCall : Exception Occured : ExceptionCode = 0xe06d7363"),
              std::string::npos);
    EXPECT_NE(records[2].find("qvAPITestCall END : Code = 537919488"), std::string::npos);
    EXPECT_NE(records[5].find("qvAPITestFind END : Code = 0x20100000"), std::string::npos);
}

TEST_F(FrameTest, NoBlockOnlyWhenNoneCanBeHad) {
    std::atomic<uint32_t> code{0};
    std::atomic<int> result{-5};
    std::thread([&] {
        qvpFailBlockCreationForTesting(true);
        result = qvp::RunApi(kTexts, 0, [](qvp::CallContext&) { return 1; });
        code = qvAPIGetLastError();
        qvpFailBlockCreationForTesting(false);
    }).join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(code, 0x20110000u);
    // A fresh thread gets a block of its own on its first call.
    std::thread([&] {
        result = qvp::RunApi(kTexts, 0, [](qvp::CallContext&) { return 1; });
        code = qvAPIGetLastError();
    }).join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(code, 0u);
}

std::atomic<int> gHookRuns{0};
std::atomic<int> gCloserRuns{0};

TEST_F(FrameTest, BlockIsPerThreadAndReleasedAtThreadExit) {
    static bool registered = false;
    if (!registered) {
        qvpRegisterSessionReleaseHook([](QVPAPI&) { ++gHookRuns; });
        registered = true;
    }
    qvpSetSessionCloser([](QVPAPI& b) {
        ++gCloserRuns;
        b.link = QvpLink::None;
    });
    QVPAPI* mine = qvpGetThreadBlock();
    const void* theirs = nullptr;
    const int hooksBefore = gHookRuns;
    const int closesBefore = gCloserRuns;
    std::thread([&] {
        QVPAPI* b = qvpGetThreadBlock();
        ASSERT_NE(b, nullptr);
        theirs = b;
        EXPECT_EQ(b->socket, -1);
        EXPECT_EQ(b->ownerThreadId, win::GetCurrentThreadId());
        EXPECT_EQ(b->recordSizes[kSlotNode], 960u);
        EXPECT_EQ(b->recordSizes[kSlotPackageJob], 944u);
        EXPECT_TRUE(qvpIsOwnBlock(b));
        EXPECT_NE(qvpAPIAlloc(100), nullptr);  // freed with the block
    }).join();
    EXPECT_EQ(gHookRuns, hooksBefore + 1);  // no session: only the hooks
    EXPECT_EQ(gCloserRuns, closesBefore);
    EXPECT_NE(theirs, mine);
    EXPECT_FALSE(qvpIsOwnBlock(theirs));
    EXPECT_TRUE(qvpIsOwnBlock(mine));
    // A session left open is closed by the installed closer.
    std::thread([&] { qvpGetThreadBlock()->link = QvpLink::Connected; }).join();
    EXPECT_EQ(gCloserRuns, closesBefore + 1);
    qvpSetSessionCloser(nullptr);
}

TEST_F(FrameTest, SessionMemoryIsZeroedAndPerThread) {
    qvAPISetLastError(0x20000057);
    auto* p = static_cast<unsigned char*>(qvpAPIAlloc(64));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
    std::memset(p, 0xAB, 64);
    p = static_cast<unsigned char*>(qvpAPIReAlloc(p, 4096));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[63], 0xAB);
    EXPECT_EQ(p[64], 0);
    EXPECT_EQ(p[4095], 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);  // untouched
    // Another thread cannot free it, nor memory that no arena gave.
    std::thread([&] { qvpAPIFree(p); }).join();
    p[100] = 1;  // still ours (the address sanitizer would object otherwise)
    int local = 0;
    qvpAPIFree(&local);
    EXPECT_EQ(qvpAPIReAlloc(&local, 8), nullptr);
    qvpAPIFree(p);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
}

TEST_F(FrameTest, ExpandLevelSetsRecordSizes) {
    const uint32_t s0[] = {960, 1268, 1396, 1524, 1524, 1652};
    QVPAPI* b = qvpGetThreadBlock();
    for (int level = 0; level <= 5; ++level) {
        ASSERT_EQ(qvAPIExpandLevel(level), 1);
        EXPECT_EQ(qvAPIGetLastError(), 0u);
        EXPECT_EQ(b->apiLevel, static_cast<uint32_t>(level));
        EXPECT_EQ(b->recordSizes[kSlotNode], s0[level]);
        EXPECT_EQ(b->recordSizes[kSlotJobGenNode], level == 0 ? 416u : 676u);
        EXPECT_EQ(b->recordSizes[kSlotNodeJob], 256u);
        EXPECT_EQ(b->recordSizes[kSlotNodeJobEx], level == 0 ? 452u : 712u);
        EXPECT_EQ(b->recordSizes[kSlotPackageJob], level == 0 ? 944u : 1204u);
    }
    EXPECT_EQ(qvAPIExpandLevel(6), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
    EXPECT_EQ(b->apiLevel, 5u);
    EXPECT_EQ(qvAPISetOriginalStructSize(kSlotNodeJob, 300), 1);
    EXPECT_EQ(b->recordSizes[kSlotNodeJob], 300u);
    EXPECT_EQ(qvAPISetOriginalStructSize(8, 300), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
    qvpResetBlock(*b);
    EXPECT_EQ(b->apiLevel, 0u);
    EXPECT_EQ(b->recordSizes[kSlotNode], 960u);
}

}  // namespace
