#include "client/ar/restore_tree.h"

#include "client/ar/arpath.h"
#include "platform/win.h"

namespace ar {

bool RestoreGuard::open(const std::string& restore) {
    auto root = win::ToPosixPath(restore);
    if (!root) return false;
    root_ = std::move(*root);
    if (root_.empty() || root_.back() != '/') root_.push_back('/');
    folders_.clear();
    return true;
}

bool RestoreGuard::admits(const std::string& path) {
    if (root_.empty()) return false;
    auto resolved = win::ToPosixPath(path);
    if (!resolved) return false;
    if (*resolved == root_ || *resolved + '/' == root_) return true;  // the folder itself (its own entry)
    if (resolved->size() <= root_.size() || resolved->compare(0, root_.size(), root_) != 0) return false;
    const std::string& p = *resolved;
    for (size_t at = p.find('/', root_.size()); at != std::string::npos; at = p.find('/', at + 1)) {
        std::string folder = p.substr(0, at);
        if (folders_.count(folder)) continue;
        const win::DWORD a = win::GetFileAttributes(folder.c_str());
        if (a == win::INVALID_FILE_ATTRIBUTES) return true;  // the rest is still to be made
        if (!(a & win::FILE_ATTRIBUTE_DIRECTORY) || (a & win::FILE_ATTRIBUTE_REPARSE_POINT)) return false;
        folders_.insert(std::move(folder));
    }
    return true;
}

std::string MadeNames::fold(const std::string& path) {
    std::string out;
    for (auto part : splitStoredName(path)) {
        while (!part.empty() && (part.back() == ' ' || part.back() == '.')) part.pop_back();
        if (part.empty()) continue;
        out.push_back('/');
        out += win::CharUpper(part);
    }
    return out;
}

void MadeNames::add(const std::string& path) {
    if (exact_.insert(path).second && folding_) folded_.insert(fold(path));
}

bool MadeNames::variantOf(const std::string& path) const {
    if (exact_.count(path)) return false;
    if (!folding_) {
        for (const auto& made : exact_) folded_.insert(fold(made));
        folding_ = true;
    }
    return folded_.count(fold(path)) != 0;
}

}  // namespace ar
