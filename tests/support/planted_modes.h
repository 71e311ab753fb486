// Files another user of the store leaves with set-id or extra write bits. As root the file is
// given to another user (so that a copy of it is root copying someone else's file); as an
// ordinary user it stays the caller's own. What a copy of it comes out as is checked the same
// way whoever runs the suite.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace qvptest {

inline constexpr uid_t kOtherUser = 65534;

// The modes a planted file comes with: set-user-ID, set-group-ID, writable by all, read-only.
inline constexpr mode_t kPlantedModes[] = {04755, 02777, 04777, 06666, 0444};

inline void PlantWithMode(const std::filesystem::path& file, mode_t mode, const std::string& content = "planted") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), kOtherUser, kOtherUser), 0) << file;
    }
    ASSERT_EQ(chmod(file.c_str(), mode), 0) << file;  // after the chown, which drops set-id bits
}

inline mode_t ModeOf(const std::filesystem::path& file) {
    struct stat st{};
    return lstat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

// A copy of a file of mode `planted` into a file made with `made`: the mode it was made with,
// without write bits when the source is read-only.
inline mode_t CopiedMode(mode_t planted, mode_t made) {
    return (planted & S_IWUSR) ? made : made & ~mode_t(0222);
}

}  // namespace qvptest
