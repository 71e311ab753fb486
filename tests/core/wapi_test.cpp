// Named-object wrappers, security attributes and the progress gauge.
#include <gtest/gtest.h>

#include <vector>

#include "core_fixture.h"
#include "share/wapi/wapi.h"

namespace {

using WapiTest = CoreTest;

TEST_F(WapiTest, MutexAndSemaphoreKeepTheCreateError) {
    win::HANDLE first = qvpWapiCreateMutex(nullptr, win::FALSE, "ZARNQV.MNGFL.NODEDEF", 0, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(win::GetLastError(), 0u);
    win::HANDLE second = qvpWapiCreateMutex(nullptr, win::FALSE, "ZARNQV.MNGFL.NODEDEF", 0, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(win::GetLastError(), 183u);
    win::CloseHandle(second);
    win::CloseHandle(first);
    win::HANDLE sem = qvpWapiCreateSemaphore(nullptr, 1, 1, "ZARNQVAUTOSYSGEN_SEMAPHORE", 0);
    ASSERT_NE(sem, nullptr);
    EXPECT_EQ(win::WaitForSingleObject(sem, 0), win::WAIT_OBJECT_0);
    EXPECT_TRUE(win::ReleaseSemaphore(sem, 1, nullptr));
    win::CloseHandle(sem);
}

TEST_F(WapiTest, SetSecurityFillsTheAttributes) {
    win::SECURITY_ATTRIBUTES sa{};
    unsigned char descriptor[64] = {};
    ASSERT_EQ(qvpWapiSetSecurity(&sa, descriptor, 0, 0), 0);
    EXPECT_EQ(sa.nLength, sizeof sa);
    EXPECT_EQ(sa.lpSecurityDescriptor, descriptor);
    EXPECT_EQ(sa.bInheritHandle, win::FALSE);
    EXPECT_EQ(descriptor[0], 1);        // revision
    EXPECT_EQ(descriptor[2] & 0x04, 4);  // DACL present, and NULL
    EXPECT_EQ(qvpWapiSetSecurity(&sa, nullptr, 0, 0), -11003);
    EXPECT_EQ(qvpWapiSetSecurity(nullptr, descriptor, 0, 0), -11004);
    // The attributes work for a named object.
    win::HANDLE h = qvpWapiCreateMutex(&sa, win::FALSE, "QVP.TEST.SECURED", 0, 0);
    EXPECT_NE(h, nullptr);
    win::CloseHandle(h);
}

TEST_F(WapiTest, GaugeIsClampedAndObserved) {
    std::vector<std::pair<int, uint64_t>> seen;
    qvpGaugeSetObserver([&](int kind, uint64_t value) { seen.emplace_back(kind, value); });
    qvpGaugeSetTotal(kGaugeInstall, 100);
    qvpGaugeSetTotal(kGaugePackaging, 10);
    qvpGaugeSetCurrent(kGaugeInstall, 40);
    qvpGaugeSetCurrent(kGaugePackaging, 25);
    qvpGaugeSetCurrent(kGaugeInstall, 140);
    EXPECT_EQ(qvpGaugeGetCurrent(kGaugeInstall), 100u);
    EXPECT_EQ(qvpGaugeGetCurrent(kGaugePackaging), 10u);
    const std::vector<std::pair<int, uint64_t>> expected = {{2, 40}, {4, 10}, {2, 100}};
    EXPECT_EQ(seen, expected);
    qvpGaugeSetObserver(nullptr);
    qvpGaugeSetCurrent(kGaugeInstall, 1);
    EXPECT_EQ(seen.size(), 3u);
    void* old = reinterpret_cast<void*>(1);
    EXPECT_EQ(qvpWow64DisableWow64FsRedirection(&old), 1);
    EXPECT_EQ(qvpWow64RevertWow64FsRedirection(old), 1);
}

}  // namespace
