// Files another user of the store leaves with set-id or extra write bits: as root given to another
// user (root copying someone else's file), as an ordinary user the caller's own.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace qvptest {

inline constexpr mode_t kPlantedModes[] = {04755, 02777, 04777, 06666, 0444};

inline void PlantWithMode(const std::filesystem::path& file, mode_t mode, const std::string& content = "planted") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    ASSERT_TRUE(geteuid() != 0 || chown(file.c_str(), 65534, 65534) == 0) << file;
    ASSERT_EQ(chmod(file.c_str(), mode), 0) << file;  // after the chown, which drops set-id bits
}

inline mode_t ModeOf(const std::filesystem::path& file) {
    struct stat st{};
    return lstat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

// What a copy of a file of mode `planted` into a file made with `made` comes out as: `made`, without
// write bits when the source is read-only.
inline mode_t CopiedMode(mode_t planted, mode_t made) { return (planted & S_IWUSR) ? made : made & ~mode_t(0222); }

}  // namespace qvptest
