// A fresh data root per test: drive C, the run-time directory and the settings file live in a
// temporary folder, so that tests never touch the machine's own settings or lock files.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/win.h"
#include "support/child_process.h"

namespace qvp_test {

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qvp-platform-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        drive_ = root_ + "/c";
        std::filesystem::create_directories(drive_);
        conf_ = root_ + "/qvpapi.conf";
        std::ofstream(conf_) << "[Platform]\nDriveC=" << drive_ << "\nRunDir=" << root_ << "/run\n";
        win::registry::LoadFrom(conf_);
        win::SetACPForTesting(0);
        win::SetLastError(0);
    }
    void TearDown() override {
        win::SetACPForTesting(0);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
        if (!alias_.empty()) std::filesystem::remove_all(alias_, ec);
    }
    // Settings values stay below 128 bytes: a test whose settings name paths deep below the
    // drive names its root through a short link of its own, whatever TMPDIR is. False when
    // /tmp takes no folder.
    bool ShortenPaths() {
        char dir[] = "/tmp/qvpXXXXXX";
        if (!mkdtemp(dir)) return false;
        alias_ = dir;
        std::filesystem::create_directory_symlink(root_, alias_ + "/r");
        drive_ = alias_ + "/r/c";
        std::ofstream(conf_) << "[Platform]\nDriveC=" << drive_ << "\nRunDir=" << alias_ << "/r/run\n";
        win::registry::LoadFrom(conf_);
        return true;
    }
    // "C:\<rel>" and the POSIX path of the same file.
    static std::string C(const std::string& rel) { return "C:\\" + rel; }
    std::string P(const std::string& rel) const { return drive_ + "/" + rel; }
    void Touch(const std::string& rel, const std::string& content = "") const {
        std::ofstream(P(rel), std::ios::binary) << content;
    }
    std::string Slurp(const std::string& rel) const {
        std::ifstream in(P(rel), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static win::HANDLE Open(const std::string& path, win::DWORD access, win::DWORD share,
                            win::DWORD disposition = win::OPEN_EXISTING) {
        return win::CreateFile(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
    }

    std::string root_, drive_, conf_;
    std::string alias_;  // the short link's folder, when made
};

// A one-byte channel between a parent and a forked child.
class Channel {
public:
    Channel() {
        if (pipe(fds_) != 0) abort();
    }
    ~Channel() {
        close(fds_[0]);
        close(fds_[1]);
    }
    void Send(char c) { (void)!write(fds_[1], &c, 1); }
    // The byte, or '\0' when the other side ended or sent none within the bound.
    char Receive() {
        char c = 0;
        return qvptest::ReadWithin(fds_[0], &c, 1) == 1 ? c : '\0';
    }

private:
    int fds_[2];
};

// Runs `body` in a forked child whose exit code is the body's result.
inline pid_t Spawn(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}
// Its exit code (128 + signal when a signal ended it); -1 when it stalled and was killed.
inline int Join(pid_t pid) { return qvptest::ExitCode(qvptest::WaitChild(pid)); }

}  // namespace qvp_test
