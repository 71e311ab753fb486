// What another writer of the shared store can leave at a work folder's name before a call: a
// link to a folder outside the store, or a folder of its own whose files are links to files
// outside. The outside files hold known bytes, so a test sees whether the call wrote, cut or
// removed anything there.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qvptest {

enum class Plant { FolderLink, FileLinksInside };

class PlantedLinks {
public:
    // `outside`: a folder away from the store; `names`: the files the call makes in its folder.
    PlantedLinks(std::filesystem::path outside, std::vector<std::string> names);
    // Plants at `folder` (its parents made).
    void At(const std::filesystem::path& folder, Plant how) const;
    // The outside folder's files and their bytes, now.
    std::map<std::string, std::string> Outside() const;
    // As planted: every file there, with its first bytes.
    const std::map<std::string, std::string>& Original() const { return original_; }

private:
    std::filesystem::path outside_;
    std::vector<std::string> names_;
    std::map<std::string, std::string> original_;
};

inline constexpr Plant kPlants[] = {Plant::FolderLink, Plant::FileLinksInside};
const char* PlantName(Plant how);

}  // namespace qvptest
