#include "support/planted_links.h"

#include <fstream>
#include <iterator>

namespace qvptest {

namespace fs = std::filesystem;

PlantedLinks::PlantedLinks(fs::path outside, std::vector<std::string> names)
    : outside_(std::move(outside)), names_(std::move(names)) {
    fs::create_directories(outside_);
    for (const std::string& name : names_) {
        const std::string bytes = "outside " + name + " " + std::string(300, 'o');
        std::ofstream(outside_ / name, std::ios::binary) << bytes;
        original_[name] = bytes;
    }
}

void PlantedLinks::At(const fs::path& folder, Plant how) const {
    fs::create_directories(folder.parent_path());
    if (how == Plant::FolderLink) {
        fs::create_directory_symlink(outside_, folder);
        return;
    }
    fs::create_directory(folder);
    for (const std::string& name : names_) fs::create_symlink(outside_ / name, folder / name);
}

std::map<std::string, std::string> PlantedLinks::Outside() const {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(outside_)) {
        std::ifstream in(e.path(), std::ios::binary);
        out[fs::relative(e.path(), outside_).string()] =
            e.is_directory() ? "d" : std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
}

const char* PlantName(Plant how) { return how == Plant::FolderLink ? "folder link" : "file links inside"; }

}  // namespace qvptest
