// Named objects without RunDir: every process whose settings name the same install root shares
// them (in <root>/RUN), whichever user runs it and whatever its umask.
#include <grp.h>

#include "platform_fixture.h"

namespace {
using namespace win;
using qvp_test::Channel;
using qvp_test::Join;
using qvp_test::PlatformTest;
using qvp_test::Spawn;

constexpr char kName[] = "QVP_STORE_WRITER";

class StoreRunDir : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        store_ = drive_ + "/store";
        std::filesystem::create_directories(store_);
        // The same store named two ways: through drive C and as a POSIX path.
        Conf(confA_ = root_ + "/a.conf", "C:\\STORE");
        Conf(confB_ = root_ + "/b.conf", store_);
    }
    void Conf(const std::string& path, const std::string& pathName) const {
        std::ofstream(path) << "[QVPAPI]\nPathName=" << pathName << "\n[Platform]\nDriveC=" << drive_ << "\n";
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat st{};
        return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
    }
    // A child that takes the store's mutex under a tight umask, says so and holds it until killed.
    pid_t Holder(const std::function<void()>& become, Channel& ready) const {
        return Spawn([&] {
            become();
            registry::LoadFrom(confA_);
            umask(077);
            ready.Send(CreateMutex(nullptr, TRUE, kName) != nullptr ? 'o' : 'x');
            for (;;) pause();
            return 0;
        });
    }
    // 0 when the store's mutex exists and is owned elsewhere, as seen through the other settings.
    int Excluded() const {
        registry::LoadFrom(confB_);
        HANDLE m = CreateMutex(nullptr, FALSE, kName);
        if (m == nullptr) return 1;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return 2;
        return WaitForSingleObject(m, 0) == WAIT_TIMEOUT ? 0 : 3;
    }

    std::string store_, confA_, confB_;
};

TEST_F(StoreRunDir, SettingsNamingOneStoreShareItsObjects) {
    ASSERT_EQ(chmod(store_.c_str(), 0775), 0);
    Channel ready;
    const pid_t holder = Holder([] {}, ready);
    ASSERT_EQ(ready.Receive(), 'o');
    EXPECT_EQ(Excluded(), 0);
    // Made with the store's permissions, not the creator's umask.
    EXPECT_EQ(ModeOf(store_ + "/RUN"), 0775u);
    EXPECT_EQ(ModeOf(store_ + "/RUN/mutex." + kName), 0664u);
    kill(holder, SIGKILL);
    EXPECT_EQ(Join(holder), 128 + SIGKILL);
}

TEST_F(StoreRunDir, UsersOfOneGroupShareTheStoresObjects) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run processes of two other users";
    constexpr gid_t kGroup = 4321;
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
    ASSERT_EQ(chown(store_.c_str(), 0, kGroup), 0);
    ASSERT_EQ(chmod(store_.c_str(), 0770), 0);
    const auto become = [](uid_t user) {
        return [user] {
            if (setgroups(0, nullptr) != 0 || setresgid(kGroup, kGroup, kGroup) != 0 ||
                setresuid(user, user, user) != 0)
                _exit(10);
        };
    };
    Channel ready;
    const pid_t holder = Holder(become(4001), ready);
    ASSERT_EQ(ready.Receive(), 'o');
    const pid_t other = Spawn([&] {
        become(4002)();
        return Excluded();
    });
    EXPECT_EQ(Join(other), 0);
    kill(holder, SIGKILL);
    EXPECT_EQ(Join(holder), 128 + SIGKILL);
}

}  // namespace
