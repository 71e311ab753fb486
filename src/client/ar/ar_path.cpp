#include "client/ar/ar_path.h"

#include "platform/win.h"

namespace ar {

namespace {

// Splits at '/' and, when `backslash`, at '\' too, by the platform's own rule: a byte pairs
// with a lead byte only when it is a real trail byte. Every reader splits so, so that no name
// holds one part for a reader's check and two for the path it becomes.
std::vector<std::string> splitAt(std::string_view path, bool backslash) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t sep = backslash ? win::FindFirstSeparator(path, pos) : path.find('/', pos);
        if (sep == std::string_view::npos) sep = path.size();
        if (sep > pos) parts.emplace_back(path.substr(pos, sep - pos));
        pos = sep + 1;
    }
    return parts;
}

}  // namespace

PathStyle PathStyle::of(std::string_view path) {
    PathStyle s;
    s.posix = !path.empty() && path.front() == '/';
    s.sep = s.posix ? '/' : '\\';
    return s;
}

std::vector<std::string> PathStyle::split(std::string_view path) const {
    return splitAt(path, !posix);
}

bool PathStyle::endsWithSep(std::string_view path) const {
    if (path.empty()) return false;
    if (posix) return path.back() == '/';
    if (path.back() != '\\' && path.back() != '/') return false;
    // A '\' closing a double-byte character is part of a name.
    return win::ClassifyByte(path, path.size() - 1) != win::ByteClass::Trail;
}

bool PathStyle::hasSep(std::string_view path) const {
    if (posix) return path.find('/') != std::string_view::npos;
    return split(path).size() > 1 || (!path.empty() && (path.front() == '\\' || path.front() == '/'));
}

std::string PathStyle::join(std::string_view base, std::string_view name) const {
    if (name.empty()) return std::string(base);
    if (base.empty()) return std::string(name);
    std::string out(base);
    if (!endsWithSep(base)) out.push_back(sep);
    out.append(name);
    return out;
}

std::vector<std::string> splitStoredName(std::string_view name) { return splitAt(name, true); }

std::string joinSlash(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out.push_back('/');
        out.append(p);
    }
    return out;
}

bool isSafeEntryName(std::string_view name) {
    if (name.empty()) return false;
    if (name.front() == '/' || name.front() == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    for (const auto& part : splitStoredName(name))
        if (part == "..") return false;
    return true;
}

bool isResourceFileName(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = file.find_last_of('.');
    if (dot != std::string_view::npos) file = file.substr(0, dot);
    return file.size() == 8 && file.front() == 'R';
}

}  // namespace ar
