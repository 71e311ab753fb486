// What another writer of the store can leave at a work folder's name: a link to a folder
// outside, or a folder whose files link to files outside. The outside files hold known bytes,
// so a test sees whether a call wrote, cut or removed anything there.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace qvptest {

enum class Plant { FolderLink, FileLinksInside };
inline constexpr Plant kPlants[] = {Plant::FolderLink, Plant::FileLinksInside};
inline const char* PlantName(Plant how) { return how == Plant::FolderLink ? "folder link" : "file links inside"; }

class PlantedLinks {
public:
    // `names`: the files the call makes in its folder.
    PlantedLinks(std::filesystem::path outside, std::vector<std::string> names)
        : outside_(std::move(outside)), names_(std::move(names)) {
        std::filesystem::create_directories(outside_);
        for (const std::string& name : names_) {
            original_[name] = "outside " + name + " " + std::string(300, 'o');
            std::ofstream(outside_ / name, std::ios::binary) << original_[name];
        }
    }
    void At(const std::filesystem::path& folder, Plant how) const {  // parents made
        std::filesystem::create_directories(folder.parent_path());
        if (how == Plant::FolderLink) return std::filesystem::create_directory_symlink(outside_, folder);
        std::filesystem::create_directory(folder);
        for (const std::string& name : names_) std::filesystem::create_symlink(outside_ / name, folder / name);
    }
    std::map<std::string, std::string> Outside() const {  // the outside files now, folders as "d"
        std::map<std::string, std::string> now;
        for (const auto& e : std::filesystem::recursive_directory_iterator(outside_)) {
            std::ifstream in(e.path(), std::ios::binary);
            now[std::filesystem::relative(e.path(), outside_).string()] =
                e.is_directory() ? "d" : std::string(std::istreambuf_iterator<char>(in), {});
        }
        return now;
    }
    const std::map<std::string, std::string>& Original() const { return original_; }

private:
    std::filesystem::path outside_;
    std::vector<std::string> names_;
    std::map<std::string, std::string> original_;
};

}  // namespace qvptest
