// Windows path text -> POSIX path: drive table, code-page aware separators, Win32 component
// rules (empty and "." dropped, ".." applied, trailing blanks and dots stripped), length
// limits, and resolution of components missing in their exact spelling ignoring ASCII case.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/internal.h"

namespace win {
namespace detail {
namespace {

std::string Join(const std::string& base, std::string_view comp) {
    if (base.empty()) return std::string(comp);
    std::string s;
    s.reserve(base.size() + 1 + comp.size());
    s = base;
    if (s.back() != '/') s += '/';
    s += comp;
    return s;
}

const char* DirArg(const std::string& dir) { return dir.empty() ? "." : dir.c_str(); }

bool IsDir(const std::string& path) {
    struct stat st{};
    return stat(DirArg(path), &st) == 0 && S_ISDIR(st.st_mode);
}

// Characters Win32 refuses in a name (wildcards are the caller's business).
bool ValidComponent(std::string_view c, unsigned cp) {
    for (size_t i = 0; i < c.size(); ++i) {
        const auto b = static_cast<unsigned char>(c[i]);
        if (IsLead(cp, b) && i + 1 < c.size() && IsTrail(cp, static_cast<unsigned char>(c[i + 1]))) {
            ++i;
            continue;
        }
        if (b < 0x20 || b == '"' || b == ':' || b == '<' || b == '>' || b == '|' || b == '*' || b == '?')
            return false;
    }
    return true;
}

// Splits the Windows path into a POSIX root and its components.
bool Lexical(std::string_view in, size_t limit, std::string& root, std::vector<std::string>& comps) {
    if (in.size() >= limit) return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (in.empty()) return Fail(ERROR_PATH_NOT_FOUND);
    const unsigned cp = GetACP();
    std::string_view rest;
    if (in[0] == '/') {
        root = "/";
        rest = in.substr(1);
    } else if (in.size() >= 2 && in[1] == ':' &&
               ((in[0] >= 'A' && in[0] <= 'Z') || (in[0] >= 'a' && in[0] <= 'z'))) {
        root = DriveRoot(in[0]);
        if (root.empty()) return Fail(ERROR_PATH_NOT_FOUND);
        rest = in.substr(2);
    } else if (in.size() >= 2 && in[0] == '\\' && in[1] == '\\') {
        return Fail(ERROR_BAD_PATHNAME);  // UNC names have no place here
    } else if (in[0] == '\\') {
        root = DriveRoot('C');
        rest = in.substr(1);
    } else {
        root.clear();  // relative to the working directory
        rest = in;
    }
    comps.clear();
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t sep = FindFirstSeparator(rest, pos);
        if (sep == std::string_view::npos) sep = rest.size();
        std::string_view c = rest.substr(pos, sep - pos);
        pos = sep + 1;
        if (c.empty() || c == ".") continue;
        if (c == "..") {
            if (!comps.empty()) comps.pop_back();
            continue;
        }
        // Blanks and dots are never trail bytes, so stripping from the end is safe.
        while (!c.empty() && (c.back() == ' ' || c.back() == '.')) c.remove_suffix(1);
        if (c.empty()) continue;
        if (!ValidComponent(c, cp)) return Fail(ERROR_INVALID_NAME);
        comps.emplace_back(c);
    }
    return true;
}

}  // namespace

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

std::string FindNoCase(const std::string& dir, std::string_view name) {
    const unsigned cp = GetACP();
    DIR* d = opendir(DirArg(dir));
    if (!d) return {};
    std::string best;
    while (dirent* e = readdir(d)) {
        const std::string_view n(e->d_name);
        if (n == "." || n == "..") continue;
        if (EqualNoCase(n, name, cp) && (best.empty() || n < best)) best.assign(n);
    }
    closedir(d);
    return best;
}

DWORD MissingError(const ResolvedPath& p) {
    return p.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool ResolvePath(std::string_view windowsPath, ResolvedPath& out, size_t limit) {
    std::string root;
    std::vector<std::string> comps;
    if (!Lexical(windowsPath, limit, root, comps)) return false;
    out = ResolvedPath{};
    if (comps.empty()) {
        out.isRoot = true;
        out.posix = root.empty() ? "." : root;
        out.parentExists = true;
        struct stat st{};
        out.exists = lstat(out.posix.c_str(), &st) == 0;
        return true;
    }
    out.lastName = comps.back();
    std::string full = root;
    for (const auto& c : comps) full = Join(full, c);
    struct stat st{};
    if (lstat(full.c_str(), &st) == 0) {  // exact spelling: the common case
        out.posix = std::move(full);
        out.exists = out.parentExists = true;
        return true;
    }
    // Find the parent, resolving its components ignoring case where needed.
    std::string parent = root;
    for (size_t i = 0; i + 1 < comps.size(); ++i) parent = Join(parent, comps[i]);
    if (!IsDir(parent)) {
        std::string cur = root;
        for (size_t i = 0; i + 1 < comps.size(); ++i) {
            std::string cand = Join(cur, comps[i]);
            if (!IsDir(cand)) {
                struct stat cs{};
                std::string alt;
                if (lstat(cand.c_str(), &cs) != 0) alt = FindNoCase(cur, comps[i]);
                if (alt.empty() || !IsDir(Join(cur, alt))) {
                    // Missing (or not a directory): the rest stays as given.
                    for (size_t k = i + 1; k < comps.size(); ++k) cand = Join(cand, comps[k]);
                    out.posix = std::move(cand);
                    return true;
                }
                cand = Join(cur, alt);
            }
            cur = std::move(cand);
        }
        parent = std::move(cur);
    }
    out.parentExists = true;
    std::string exact = Join(parent, comps.back());
    if (lstat(exact.c_str(), &st) == 0) {
        out.posix = std::move(exact);
        out.exists = true;
        return true;
    }
    std::string alt = FindNoCase(parent, comps.back());
    if (!alt.empty()) {
        out.posix = Join(parent, alt);
        out.exists = true;
    } else {
        out.posix = std::move(exact);
    }
    return true;
}

}  // namespace detail

std::optional<std::string> ToPosixPath(std::string_view windowsPath) {
    detail::ResolvedPath p;
    if (!detail::ResolvePath(windowsPath, p)) return std::nullopt;
    return std::move(p.posix);
}

std::string DriveRoot(char driveLetter) {
    char l = driveLetter;
    if (l >= 'a' && l <= 'z') l = static_cast<char>(l - 32);
    if (l < 'A' || l > 'Z') return {};
    std::string root;
    if (auto v = registry::GetPlatform(std::string("Drive") + l); v && !v->empty()) {
        root = *v;
    } else if (l == 'C') {
        root = "/var/lib/qvpapi/c";
    } else {
        return {};
    }
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

}  // namespace win
