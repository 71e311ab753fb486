// Directory walks: a snapshot of the matching names in NTFS order ("." and ".." first), DOS
// wildcards matched ignoring case and code-page aware; file data read as each entry is handed
// out.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/internal.h"

namespace win {
namespace {

using detail::Kind;

struct FindEntry {
    std::string name;
    std::string key;  // upper-cased name: the NTFS order
    unsigned char type;
};

struct FindObject : detail::Object {
    FindObject() : Object(Kind::Find) {}
    ~FindObject() override {
        if (dirFd >= 0) ::close(dirFd);
    }
    void AbandonAfterFork() override {
        if (dirFd >= 0) ::close(dirFd);
        dirFd = -1;
    }
    std::mutex mutex;
    std::string dir;  // POSIX directory
    int dirFd = -1;
    std::vector<FindEntry> entries;
    size_t next = 0;
};

// One character of code page text: its length in bytes (1 or 2).
size_t CharLen(std::string_view s, size_t i, unsigned cp) {
    if (detail::IsLead(cp, static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
        detail::IsTrail(cp, static_cast<unsigned char>(s[i + 1])))
        return 2;
    return 1;
}

// Both texts upper-cased already. '*' any run of characters, '?' one character (a
// double-byte character counts as one).
bool Glob(std::string_view pat, std::string_view name, unsigned cp) {
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && pat[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pat.size()) {
            const size_t pl = CharLen(pat, p, cp);
            const size_t nl = CharLen(name, n, cp);
            if (pat[p] == '?' && pl == 1) {
                p += 1;
                n += nl;
                continue;
            }
            if (pl == nl && pat.compare(p, pl, name.substr(n, nl)) == 0) {
                p += pl;
                n += nl;
                continue;
            }
        }
        if (starP == std::string_view::npos) return false;
        p = starP;
        starN += CharLen(name, starN, cp);
        n = starN;
    }
    while (p < pat.size() && (pat[p] == '*' || pat[p] == '?')) ++p;  // a trailing '?' may match nothing
    return p == pat.size();
}

struct Matcher {
    std::string pattern;  // upper-cased
    bool all = false;
    unsigned cp = 932;
    bool operator()(const std::string& upperName) const {
        if (all) return true;
        if (Glob(pattern, upperName, cp)) return true;
        // DOS: "name.*" also matches "name", and "name." matches only names without a dot.
        if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
            upperName.find('.') == std::string::npos)
            return Glob(std::string_view(pattern).substr(0, pattern.size() - 2), upperName, cp);
        return false;
    }
};

bool Fill(FindObject& f, const FindEntry& e, WIN32_FIND_DATAA* data) {
    memset(data, 0, sizeof *data);
    detail::FileStat fs;
    bool ok;
    std::string full;
    if (e.name == "." || e.name == "..") {
        full = e.name == "." ? f.dir : f.dir + "/..";
        ok = detail::StatPath(full, fs, true);
    } else {
        full = f.dir == "/" ? "/" + e.name : f.dir + "/" + e.name;
        ok = f.dirFd >= 0 ? detail::StatAt(f.dirFd, e.name.c_str(), fs) : detail::StatPath(full, fs, false);
    }
    if (ok) {
        data->dwFileAttributes = detail::AttributesOf(fs, full);
        detail::FillTimes(fs, &data->ftCreationTime, &data->ftLastAccessTime, &data->ftLastWriteTime);
        if (S_ISREG(fs.st.st_mode)) {
            data->nFileSizeHigh = static_cast<DWORD>(uint64_t(fs.st.st_size) >> 32);
            data->nFileSizeLow = static_cast<DWORD>(uint64_t(fs.st.st_size));
        }
    } else {  // gone since the snapshot: what the directory said of it
        data->dwFileAttributes = e.type == DT_DIR   ? FILE_ATTRIBUTE_DIRECTORY
                                 : e.type == DT_LNK ? FILE_ATTRIBUTE_REPARSE_POINT
                                 : e.type == DT_REG ? FILE_ATTRIBUTE_ARCHIVE
                                                    : FILE_ATTRIBUTE_SYSTEM;
    }
    memcpy(data->cFileName, e.name.data(), std::min<size_t>(e.name.size(), MAX_PATH - 1));
    return true;
}

}  // namespace

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATAA* data) {
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string_view text(pattern);
    if (text.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    const unsigned cp = GetACP();
    std::string dirPart;
    std::string_view name;
    const size_t sep = FindLastSeparator(text);
    if (sep != std::string_view::npos) {
        dirPart.assign(text.substr(0, sep + 1));
        name = text.substr(sep + 1);
    } else if (text.size() >= 2 && text[1] == ':') {
        dirPart.assign(text.substr(0, 2));
        dirPart += '\\';
        name = text.substr(2);
    } else {
        dirPart = ".";
        name = text;
    }
    if (name.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    detail::ResolvedPath dir;
    if (!detail::ResolvePath(dirPart, dir)) {
        if (GetLastError() == ERROR_INVALID_NAME) SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto f = std::make_shared<FindObject>();
    f->dir = dir.posix;
    f->dirFd = open(f->dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (f->dirFd < 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    Matcher match;
    match.cp = cp;
    match.pattern.assign(name);
    detail::UpperInPlace(match.pattern, cp);
    match.all = match.pattern == "*" || match.pattern == "*.*";

    // The snapshot: a second descriptor for reading, so that dirFd stays for the stats.
    int readFd = dup(f->dirFd);
    DIR* d = readFd >= 0 ? fdopendir(readFd) : nullptr;
    if (!d) {
        if (readFd >= 0) ::close(readFd);
        detail::FailErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<FindEntry> found;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        const size_t len = strlen(n);
        if (len >= MAX_PATH) continue;  // cannot be handed out whole
        FindEntry fe{std::string(n, len), std::string(n, len), e->d_type};
        detail::UpperInPlace(fe.key, cp);
        if (match(fe.key)) found.push_back(std::move(fe));
    }
    closedir(d);
    std::sort(found.begin(), found.end(), [](const FindEntry& a, const FindEntry& b) {
        const int c = a.key.compare(b.key);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    for (const char* dot : {".", ".."}) {
        if (match(dot)) f->entries.push_back(FindEntry{dot, dot, DT_DIR});
    }
    if (f->entries.empty()) {
        f->entries = std::move(found);
    } else {
        f->entries.reserve(f->entries.size() + found.size());
        std::move(found.begin(), found.end(), std::back_inserter(f->entries));
    }
    if (f->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Fill(*f, f->entries[0], data);
    f->next = 1;
    SetLastError(ERROR_SUCCESS);
    return detail::RegisterHandle(std::move(f));
}

BOOL FindNextFile(HANDLE find, WIN32_FIND_DATAA* data) {
    auto f = detail::Lookup<FindObject>(find, Kind::Find);
    if (!f) return FALSE;
    if (!data) return detail::Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(f->mutex);
    if (f->next >= f->entries.size()) return detail::Fail(ERROR_NO_MORE_FILES);
    Fill(*f, f->entries[f->next++], data);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    if (!detail::Lookup<FindObject>(find, Kind::Find)) return FALSE;
    detail::UnregisterHandle(find);
    return TRUE;
}

}  // namespace win
