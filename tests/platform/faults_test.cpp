// Failure injection: the Nth call of a kind fails once with the chosen error, counted per thread
// and only for paths holding the filter; and the settings write-back under each failed step.
#include <thread>

#include "platform_fixture.h"
#include "support/fault_steps.h"
#include "support/kill_steps.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

class Faults : public PlatformTest {
protected:
    void TearDown() override {
        fault::Reset();
        PlatformTest::TearDown();
    }
    HANDLE Create(const std::string& path) {
        return CreateFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    }
};

TEST_F(Faults, NthCallFailsOnceWithTheChosenError) {
    fault::Watch(root_);
    fault::FailNth(fault::Call::CreateFile, 2, ERROR_DISK_FULL);
    HANDLE first = Create(root_ + "/a");
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(root_ + "/b"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_FALSE(std::filesystem::exists(root_ + "/b"));
    HANDLE third = Create(root_ + "/d");
    EXPECT_NE(third, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fault::Calls(fault::Call::CreateFile), 3u);
    CloseHandle(first);
    CloseHandle(third);
}

TEST_F(Faults, OnlyThisThreadAndTheFilteredPathsCount) {
    fault::Watch("/counted");
    fault::FailNth(fault::Call::CreateDirectory, 1, ERROR_ACCESS_DENIED);
    std::thread other([&] { EXPECT_TRUE(CreateDirectory((root_ + "/counted").c_str(), nullptr)); });
    other.join();
    EXPECT_TRUE(CreateDirectory((root_ + "/plain").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectory((root_ + "/counted/x").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(fault::Calls(fault::Call::CreateDirectory), 1u);
    fault::Reset();
    EXPECT_TRUE(CreateDirectory((root_ + "/counted/x").c_str(), nullptr));
}

// Each failed step of the write-back leaves the file as it was and no temporary beside it;
// the change stays pending, and the next write-back stores it.
TEST_F(Faults, SettingsWriteBackKeepsTheFileOnEachFailedStep) {
    const std::string original = "[QVPAPI]\nGuidUseStatus=NO\n[Platform]\nRunDir=" + root_ + "/run\n";
    for (const auto& kind : qvptest::FileFaultKinds()) {
        const unsigned steps = qvptest::WalkFailureSteps(
            kind, conf_,
            [&] {
                std::ofstream(conf_, std::ios::trunc) << original;
                registry::LoadFrom(conf_);
                ASSERT_TRUE(registry::Set("GuidUseStatus", "YES"));
            },
            [] { return registry::Flush() ? 1 : 0; },
            [&](const qvptest::FailureStep& s) {
                SCOPED_TRACE(std::string(kind.name) + " #" + std::to_string(s.step));
                EXPECT_EQ(s.result, 0);
                std::ifstream in(conf_);
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), original);
                size_t files = 0;
                for (const auto& e : std::filesystem::directory_iterator(root_)) files += e.is_regular_file();
                EXPECT_EQ(files, 1u);
                EXPECT_TRUE(registry::Flush());
                registry::LoadFrom(conf_);
                EXPECT_EQ(registry::Get("GuidUseStatus"), "YES");
            });
        const bool used = kind.call == fault::Call::CreateFile || kind.call == fault::Call::ReadFile ||
                          kind.call == fault::Call::WriteFile || kind.call == fault::Call::MoveFile;
        EXPECT_EQ(steps, used ? 1u : 0u) << kind.name;
    }
}

// A child ends on entry to its Nth counted call, of every kind or of one: the calls before it
// took effect, that one and the rest did not; the walk stops at the first child that completes.
TEST_F(Faults, KillEndsTheChildAtItsNthCall) {
    const auto body = [&] {
        for (const char* name : {"/a", "/b"}) {
            ASSERT_TRUE(CreateDirectory((root_ + name).c_str(), nullptr));
            CloseHandle(Create(root_ + name + "/f"));
        }
    };
    const auto clear = [&] {
        for (const char* name : {"/a", "/b"}) std::filesystem::remove_all(root_ + name);
    };
    const std::vector<std::vector<std::string>> left = {{}, {"a"}, {"a", "a/f"}, {"a", "a/f", "b"}};
    std::vector<bool> completions;
    const unsigned steps = qvptest::WalkKillSteps(
        clear, body,
        [&](unsigned step, bool completed) {
            completions.push_back(completed);
            const size_t made = std::min<size_t>(step - 1, 4);
            for (const std::string path : {"a", "a/f", "b", "b/f"}) {
                const bool expected = made == 4 || std::count(left[made].begin(), left[made].end(), path) != 0;
                EXPECT_EQ(std::filesystem::exists(root_ + "/" + path), expected) << path << " at " << step;
            }
        },
        root_);
    EXPECT_EQ(steps, 5u);
    EXPECT_EQ(completions, (std::vector<bool>{false, false, false, false, true}));
    clear();
    EXPECT_EQ(qvptest::RunKilledAt(2, body, root_, fault::Call::CreateDirectory), qvptest::ChildEnd::Killed);
    EXPECT_TRUE(std::filesystem::exists(root_ + "/a/f"));
    EXPECT_FALSE(std::filesystem::exists(root_ + "/b"));
    clear();
    EXPECT_EQ(qvptest::RunKilledAt(1, body, "/elsewhere"), qvptest::ChildEnd::Completed);
    EXPECT_TRUE(std::filesystem::exists(root_ + "/b/f"));
}

}  // namespace
