// Directory walks: a snapshot of the matching names in NTFS order ("." and ".." first), DOS
// wildcards matched ignoring case and code-page aware. The names sit in one arena; the file
// data of a large directory is read by several threads while the names are sorted, that of a
// small one as each entry is handed out.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <system_error>
#include <thread>

#include "platform/internal.h"

namespace win {
namespace {

using detail::Kind;

struct FindInfo {
    DWORD attributes = 0;
    FILETIME creation{}, access{}, write{};
    uint64_t size = 0;
};

// Threads that read the entries' status in a large directory (a walk costs one stat per entry,
// far more than the names): half the processors, at most four, beside the reading thread (more
// only contend for the directory).
unsigned ReaderCount() { return std::clamp(std::thread::hardware_concurrency() / 2, 1u, 4u); }

struct FindObject : detail::Object {
    FindObject() : Object(Kind::Find) {}
    ~FindObject() override {
        if (dirFd >= 0) ::close(dirFd);
    }
    void AbandonAfterFork() override {
        if (dirFd >= 0) ::close(dirFd);
        dirFd = -1;
    }
    std::string_view Name(uint32_t i) const { return {names.data() + offsets[i], offsets[i + 1] - offsets[i] - 1}; }
    std::string_view Key(uint32_t i) const { return {keys.data() + offsets[i], offsets[i + 1] - offsets[i] - 1}; }

    std::mutex mutex;
    std::string dir;  // POSIX directory
    int dirFd = -1;
    std::string names;              // every name and its NUL, in directory order
    std::string keys;               // the same upper-cased: the NTFS order
    std::vector<uint32_t> offsets;  // start of name i; one more at the end
    std::vector<unsigned char> types;
    std::vector<FindInfo> infos;
    std::vector<unsigned char> ready;
    std::vector<uint32_t> order;  // the walk: indexes in NTFS order
    bool namesOnly = false;        // hands out names and kinds, never reads an entry's status
    bool inStore = false;          // below the install root: links are left out of the walk
    unsigned dots = 0;             // "." and ".." handed out first (0, 1 or 2 of them)
    const char* dotNames[2] = {".", ".."};
    size_t next = 0;               // position in the walk, dots included
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

// Reads the data of a name of the directory ("." and ".." included).
FindInfo Describe(const FindObject& f, std::string_view name, unsigned char type) {
    detail::FileStat fs;
    bool ok;
    std::string full;
    if (name == "." || name == "..") {
        full = name == "." ? f.dir : f.dir + "/..";
        ok = detail::StatPath(full, fs, true);
    } else {
        full.reserve(f.dir.size() + 1 + name.size());
        full = f.dir;
        if (full != "/") full += '/';
        full += name;
        ok = f.dirFd >= 0 ? detail::StatAt(f.dirFd, full.c_str() + full.size() - name.size(), fs)
                          : detail::StatPath(full, fs, false);
    }
    FindInfo i;
    if (ok) {
        i.attributes = detail::AttributesOf(fs, full);
        detail::FillTimes(fs, &i.creation, &i.access, &i.write);
        if (S_ISREG(fs.st.st_mode)) i.size = uint64_t(fs.st.st_size);
    } else {  // gone since the snapshot: what the directory said of it
        i.attributes = type == DT_DIR   ? FILE_ATTRIBUTE_DIRECTORY
                       : type == DT_LNK ? FILE_ATTRIBUTE_REPARSE_POINT
                       : type == DT_REG ? FILE_ATTRIBUTE_ARCHIVE
                                        : FILE_ATTRIBUTE_SYSTEM;
    }
    return i;
}

// What a names-only walk tells of an entry: its kind, from the directory itself where the file
// system says it there. In the store a folder is asked again as it is handed out, as the full
// walk reads it then: one swapped for a link after the listing is no folder to descend into.
FindInfo KindOf(const FindObject& f, std::string_view name, unsigned char type) {
    struct stat st{};
    auto statAt = [&](int flags) {
        return f.dirFd >= 0 && fstatat(f.dirFd, std::string(name).c_str(), &st, flags) == 0;
    };
    if ((type == DT_UNKNOWN || (type == DT_DIR && f.inStore)) && statAt(AT_SYMLINK_NOFOLLOW))
        type = IFTODT(st.st_mode);
    FindInfo i;
    i.attributes = type == DT_DIR   ? FILE_ATTRIBUTE_DIRECTORY
                   : type == DT_LNK ? FILE_ATTRIBUTE_REPARSE_POINT
                   : type == DT_REG ? FILE_ATTRIBUTE_NORMAL
                                    : FILE_ATTRIBUTE_SYSTEM;
    // A link to a folder is a folder too, as in the full walk.
    if (type == DT_LNK && statAt(0) && S_ISDIR(st.st_mode)) i.attributes |= FILE_ATTRIBUTE_DIRECTORY;
    return i;
}

// Reads a directory into the walk. The status of the entries of a large directory is read by
// worker threads, batch by batch, while the reading and then the sorting go on; that of a small
// one is read as each entry is handed out.
class Snapshot {
public:
    explicit Snapshot(FindObject& f) : f_(f) {}
    ~Snapshot() { Join(); }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    void Add(const char* name, size_t len, unsigned char type) {
        current_.names.append(name, len + 1);
        current_.offsets.push_back(uint32_t(current_.names.size()));
        current_.types.push_back(type);
        if (current_.types.size() == kBatch && !f_.namesOnly) Publish();
    }

    // Every name is in: they go into the walk's arena.
    void EndOfDirectory() {
        const bool batched = !workers_.empty() || noWorkers_;
        if (batched && !current_.types.empty()) Publish();
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        cv_.notify_all();
        if (!batched) {  // one batch that no worker reads: it becomes the arena as it is
            f_.names = std::move(current_.names);
            f_.offsets = std::move(current_.offsets);
            f_.types = std::move(current_.types);
        } else {
            Gather();
        }
        const size_t count = f_.types.size();
        if (!f_.namesOnly) {
            f_.infos.resize(count);
            f_.ready.assign(count, 0);
        }
    }

    // The batches' names, in order, into the walk's arena (the workers may still be reading them).
    void Gather() {
        size_t bytes = 0, count = 0;
        for (const Batch& b : batches_) {
            bytes += b.names.size();
            count += b.types.size();
        }
        f_.names.reserve(bytes);
        f_.offsets.reserve(count + 1);
        f_.types.reserve(count);
        f_.offsets.push_back(0);
        for (const Batch& b : batches_) {
            const auto base = uint32_t(f_.names.size());
            f_.names += b.names;
            for (size_t k = 1; k < b.offsets.size(); ++k) f_.offsets.push_back(base + b.offsets[k]);
            f_.types.insert(f_.types.end(), b.types.begin(), b.types.end());
        }
    }

    // The workers' results go into the walk.
    void Collect() {
        if (workers_.empty() && !noWorkers_) return;
        Join();
        size_t at = 0;
        for (Batch& b : batches_) {
            std::copy(b.infos.begin(), b.infos.end(), f_.infos.begin() + long(at));
            at += b.infos.size();
        }
        std::fill(f_.ready.begin(), f_.ready.end(), 1);
    }

private:
    static constexpr size_t kBatch = 1024;
    struct Batch {
        std::string names;
        std::vector<uint32_t> offsets{0};
        std::vector<unsigned char> types;
        std::vector<FindInfo> infos;
    };

    void Publish() {
        current_.infos.resize(current_.types.size());
        {
            std::lock_guard lock(mutex_);
            batches_.push_back(std::move(current_));
            ++published_;
        }
        current_ = Batch{};
        if (workers_.empty() && !noWorkers_) {
            try {
                for (unsigned i = 0, count = ReaderCount(); i < count; ++i) workers_.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {  // no threads to be had: the reading thread does it all
            }
            if (workers_.empty()) {
                noWorkers_ = true;
                for (Batch& b : batches_) DescribeAll(b);
            }
        } else if (noWorkers_) {
            DescribeAll(batches_.back());
        }
        cv_.notify_one();
    }

    void Work() {
        for (;;) {
            Batch* b = nullptr;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return taken_ < published_ || finished_; });
                if (taken_ == published_) return;
                b = &batches_[taken_++];  // deque elements stay put as it grows
            }
            DescribeAll(*b);
        }
    }

    void DescribeAll(Batch& b) {
        for (size_t k = 0; k < b.types.size(); ++k) {
            const std::string_view name(b.names.data() + b.offsets[k], b.offsets[k + 1] - b.offsets[k] - 1);
            b.infos[k] = Describe(f_, name, b.types[k]);
        }
    }

    void Join() {
        if (workers_.empty()) return;
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        cv_.notify_all();
        for (auto& t : workers_)
            if (t.joinable()) t.join();
    }

    FindObject& f_;
    Batch current_;
    std::deque<Batch> batches_;
    std::mutex mutex_;
    std::condition_variable cv_;
    size_t published_ = 0, taken_ = 0;
    bool finished_ = false;
    bool noWorkers_ = false;  // threads could not be started
    std::vector<std::thread> workers_;
};

void Fill(const FindInfo& info, std::string_view name, WIN32_FIND_DATAA* data) {
    data->dwFileAttributes = info.attributes;
    data->ftCreationTime = info.creation;
    data->ftLastAccessTime = info.access;
    data->ftLastWriteTime = info.write;
    data->nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(info.size);
    data->dwReserved0 = data->dwReserved1 = 0;
    const size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
    memcpy(data->cFileName, name.data(), n);
    // Everything after the name zero, as in a cleared record (one pass over the tail only:
    // clearing the whole record first costs more than the rest of a names-only entry).
    memset(data->cFileName + n, 0, sizeof *data - offsetof(WIN32_FIND_DATAA, cFileName) - n);
}

// Hands out the next entry of the walk; false at its end.
bool Next(FindObject& f, WIN32_FIND_DATAA* data) {
    const size_t total = f.dots + f.order.size();
    if (f.next >= total) return false;
    const size_t k = f.next++;
    if (k < f.dots) {
        const char* dot = f.dotNames[k];
        Fill(f.namesOnly ? KindOf(f, dot, DT_DIR) : Describe(f, dot, DT_DIR), dot, data);
        return true;
    }
    const uint32_t i = f.order[k - f.dots];
    if (f.namesOnly) {
        Fill(KindOf(f, f.Name(i), f.types[i]), f.Name(i), data);  // nothing kept: no store to miss
    } else {
        if (!f.ready[i]) {
            f.infos[i] = Describe(f, f.Name(i), f.types[i]);
            f.ready[i] = 1;
        }
        Fill(f.infos[i], f.Name(i), data);
    }
    // A name swapped for a link after the snapshot: in the store still no folder to descend into.
    if (f.inStore && (data->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        data->dwFileAttributes &= ~FILE_ATTRIBUTE_DIRECTORY;
    fault::AdjustFindData(data);
    return true;
}

// Sorts the indexes a[0, n) by their keys from byte `depth` on (the bytes before are equal in
// all of them), ties by the names: a multikey quicksort, which looks at each byte of the long
// common beginnings of a directory's names (C.host000001 ...) once per level instead of once per
// comparison.
void SortByKey(const FindObject& f, uint32_t* a, size_t n, size_t depth) {
    // Within the keys or at their ends (NUL) while the bytes before are equal and not NUL.
    auto byte = [&](uint32_t i) { return static_cast<unsigned char>(f.keys[f.offsets[i] + depth]); };
    auto less = [&](uint32_t x, uint32_t y) {
        const int c = strcmp(f.keys.data() + f.offsets[x] + depth, f.keys.data() + f.offsets[y] + depth);
        return c != 0 ? c < 0 : f.Name(x) < f.Name(y);
    };
    while (n > 1) {
        if (n < 12) {
            std::sort(a, a + n, less);
            return;
        }
        const unsigned pivot = byte(a[n / 2]);
        size_t lt = 0, i = 0, gt = n;  // [0, lt) below, [lt, i) equal, [gt, n) above
        while (i < gt) {
            const unsigned b = byte(a[i]);
            if (b < pivot) std::swap(a[lt++], a[i++]);
            else if (b > pivot) std::swap(a[i], a[--gt]);
            else ++i;
        }
        if (pivot == 0) {  // the same key: the names decide
            std::sort(a + lt, a + gt, [&f](uint32_t x, uint32_t y) { return f.Name(x) < f.Name(y); });
            SortByKey(f, a, lt, depth);
            a += gt;
            n -= gt;
            continue;
        }
        // The largest part goes on here, the others (at most half each) one level down: the
        // stack stays shallow whatever the names.
        struct Part {
            uint32_t* at;
            size_t size;
            size_t depth;
        };
        Part parts[3] = {{a, lt, depth}, {a + lt, gt - lt, depth + 1}, {a + gt, n - gt, depth}};
        std::sort(parts, parts + 3, [](const Part& x, const Part& y) { return x.size < y.size; });
        SortByKey(f, parts[0].at, parts[0].size, parts[0].depth);
        SortByKey(f, parts[1].at, parts[1].size, parts[1].depth);
        a = parts[2].at;
        n = parts[2].size;
        depth = parts[2].depth;
    }
}

// NTFS order: upper-cased names compared as bytes, ties by the names themselves.
void SortNames(FindObject& f, unsigned cp) {
    // NUL is never a trail byte, so the arena upper-cases name by name in one pass.
    f.keys = f.names;
    detail::UpperInPlace(f.keys, cp);
    const size_t n = f.types.size();
    f.order.resize(n);
    for (size_t i = 0; i < n; ++i) f.order[i] = uint32_t(i);
    SortByKey(f, f.order.data(), n, 0);
}

// A pattern split into its folder (as a path to resolve) and its last component.
bool SplitPattern(std::string_view text, std::string& dirPart, std::string_view& name) {
    const size_t sep = FindLastSeparator(text);
    if (sep != std::string_view::npos) {
        dirPart.assign(text.substr(0, sep + 1));
        name = text.substr(sep + 1);
    } else if (text.size() >= 2 && text[1] == ':') {
        dirPart.assign(text.substr(0, 2));
        dirPart += '\\';
        name = text.substr(2);
    } else {
        dirPart.assign(1, '.');
        name = text;
    }
    if (!name.empty()) return true;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

// The walk's folder resolved and opened; its descriptor stays for the entries' stats.
std::shared_ptr<FindObject> OpenWalk(const std::string& dirPart) {
    detail::ResolvedPath dir;
    if (!detail::ResolvePath(dirPart, dir)) {
        if (GetLastError() == ERROR_INVALID_NAME) SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    auto f = std::make_shared<FindObject>();
    f->dir = dir.posix;
    // In the store the walk never passes through a link, neither on its way to the folder nor
    // at the folder itself.
    f->dirFd = detail::OpenFolder(f->dir, f->inStore).release();
    if (f->dirFd >= 0) return f;
    if (errno == ELOOP) errno = ENOTDIR;  // a link there is no folder
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
    return nullptr;
}

bool IsLink(int dirFd, const char* name, unsigned char type) {
    if (type != DT_UNKNOWN) return type == DT_LNK;
    struct stat st{};
    return fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The snapshot: every name of the folder that the pattern matches, read through a second
// descriptor so that dirFd stays for the stats.
bool ReadMatches(FindObject& f, const Matcher& match) {
    int readFd = fcntl(f.dirFd, F_DUPFD_CLOEXEC, 0);
    DIR* d = readFd >= 0 ? fdopendir(readFd) : nullptr;
    if (!d) {
        if (readFd >= 0) ::close(readFd);
        detail::FailErrno(errno);
        return false;
    }
    Snapshot snapshot(f);
    std::string key;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        const size_t len = strlen(n);
        if (len >= MAX_PATH) continue;  // cannot be handed out whole
        if (!match.all) {
            key.assign(n, len);
            detail::UpperInPlace(key, match.cp);
            if (!match(key)) continue;
        }
        // In the store a link is neither folder, job nor JobGen: no walker sees it.
        if (f.inStore && IsLink(f.dirFd, n, e->d_type)) continue;
        snapshot.Add(n, len, e->d_type);
    }
    closedir(d);
    fault::Listed(f.dir);
    snapshot.EndOfDirectory();
    SortNames(f, match.cp);
    snapshot.Collect();
    return true;
}

}  // namespace

namespace {

HANDLE FirstOfWalk(const char* pattern, WIN32_FIND_DATAA* data, bool namesOnly) {
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (fault::Hit(fault::Call::FindFirstFile, pattern)) return INVALID_HANDLE_VALUE;
    const std::string_view text(pattern);
    if (text.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    std::string dirPart;
    std::string_view name;
    if (!SplitPattern(text, dirPart, name)) return INVALID_HANDLE_VALUE;
    auto f = OpenWalk(dirPart);
    if (!f) return INVALID_HANDLE_VALUE;
    f->namesOnly = namesOnly;
    Matcher match;
    match.cp = GetACP();
    match.pattern.assign(name);
    detail::UpperInPlace(match.pattern, match.cp);
    match.all = match.pattern == "*" || match.pattern == "*.*";
    if (!ReadMatches(*f, match)) return INVALID_HANDLE_VALUE;

    const bool dot = match("."), dotdot = match("..");
    f->dots = dot && dotdot ? 2 : (dot || dotdot ? 1 : 0);
    if (dot) f->dotNames[f->dots - (dotdot ? 2 : 1)] = ".";
    if (dotdot) f->dotNames[f->dots - 1] = "..";
    if (f->dots + f->order.size() == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Next(*f, data);
    SetLastError(ERROR_SUCCESS);
    return detail::RegisterHandle(std::move(f));
}

}  // namespace

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATAA* data) { return FirstOfWalk(pattern, data, false); }

HANDLE FindFirstFileNames(const char* pattern, WIN32_FIND_DATAA* data) { return FirstOfWalk(pattern, data, true); }

BOOL FindNextFile(HANDLE find, WIN32_FIND_DATAA* data) {
    auto f = detail::Lookup<FindObject>(find, Kind::Find);
    if (!f) return FALSE;
    if (!data) return detail::Fail(ERROR_INVALID_PARAMETER);
    if (fault::Hit(fault::Call::FindNextFile, f->dir)) return FALSE;
    std::lock_guard lock(f->mutex);
    if (!Next(*f, data)) return detail::Fail(ERROR_NO_MORE_FILES);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    if (!detail::Lookup<FindObject>(find, Kind::Find)) return FALSE;
    detail::UnregisterHandle(find);
    return TRUE;
}

}  // namespace win
