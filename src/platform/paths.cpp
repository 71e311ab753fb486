// Windows path text -> POSIX path: drive table, code-page aware separators, Win32 component
// rules (empty and "." dropped, ".." applied, trailing blanks and dots stripped), length
// limits, and resolution of components missing in their exact spelling ignoring ASCII case.
#include <dirent.h>
#include <sys/stat.h>

#include <time.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <unordered_map>

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

// One component of a path: as written, and with the Windows rules applied (trailing blanks
// and dots dropped). An exact name wins: `raw` is used where it exists on disk as it is.
struct Component {
    std::string raw;
    std::string name;
};

// The POSIX root of a Windows path and the text after it.
bool SplitRoot(std::string_view in, size_t limit, std::string& root, std::string_view& rest) {
    if (in.size() >= limit) return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (in.empty()) return Fail(ERROR_PATH_NOT_FOUND);
    if (in[0] == '/') {
        root.assign(1, '/');
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
    return true;
}

// Calls up() for every ".." and part(raw, name) for every other component of `rest`: as
// written, and with trailing blanks and dots dropped (empty and "." components are none).
// Separators are found in one pass, code-page aware. False with 123 for an invalid name.
template <class Up, class Part>
bool ForComponents(std::string_view rest, unsigned cp, Up up, Part part) {
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size()) {
            const auto b = static_cast<unsigned char>(rest[i]);
            if (IsLead(cp, b) && i + 1 < rest.size() && IsTrail(cp, static_cast<unsigned char>(rest[i + 1]))) {
                ++i;
                continue;
            }
            if (b != '\\' && b != '/') continue;
        }
        const std::string_view raw = rest.substr(start, i - start);
        start = i + 1;
        if (raw.empty() || raw == ".") continue;
        if (raw == "..") {
            up();
            continue;
        }
        // Blanks and dots are never trail bytes, so stripping from the end is safe.
        std::string_view c = raw;
        while (!c.empty() && (c.back() == ' ' || c.back() == '.')) c.remove_suffix(1);
        if (c.empty()) continue;
        if (!ValidComponent(c, cp)) return Fail(ERROR_INVALID_NAME);
        part(raw, c);
    }
    return true;
}

// Splits the Windows path into a POSIX root and its components.
bool Lexical(std::string_view in, size_t limit, std::string& root, std::vector<Component>& comps) {
    std::string_view rest;
    if (!SplitRoot(in, limit, root, rest)) return false;
    comps.clear();
    return ForComponents(
        rest, GetACP(),
        [&] {
            if (!comps.empty()) comps.pop_back();
        },
        [&](std::string_view raw, std::string_view name) {
            comps.push_back(Component{std::string(raw), std::string(name)});
        });
}

}  // namespace

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

namespace {

// Case-insensitive look-ups would read the whole directory each time (and a loop creating
// files would read it once per file). A directory's names are kept, upper-cased, while its
// modification time stays what it was when they were read, and the layer's own creations and
// removals update them. A change within the same tick of the time stamps as an earlier one may
// leave the time as it was (tmpfs stamps a removal with the removed file's coarse time, older
// kernels stamp every change so), so names read before the directory's time is older than a tick
// could miss a later change: they answer only the look-up that read them. Names the layer itself
// brought up to date are used while the time is the one its change left, and read again once the
// directory has been quiet for a while.
constexpr size_t kCacheMaxNames = 1000000;     // over all directories
constexpr int64_t kQuietNanos = 100000000;     // 100 ms: some ticks of any kernel's clock
constexpr int64_t kCoarseQuietNanos = 2000000000;  // 2 s: stamps in whole (or two) seconds

struct Variant {
    std::string name;    // the smallest spelling
    uint32_t count = 0;  // spellings of this key
};

struct DirNames {
    struct timespec mtime{};
    unsigned codePage = 0;
    bool provisional = false;  // read too soon after a change, or changed by the layer since
    bool byLayer = false;      // `mtime` is what the layer's own last change left
    uint64_t lastUse = 0;
    std::unordered_map<std::string, Variant> byKey;
};

struct DirCache {
    std::mutex mutex;
    std::map<std::pair<dev_t, ino_t>, std::shared_ptr<DirNames>> dirs;
    size_t names = 0;
    uint64_t clock = 0;
};

DirCache& TheDirCache() {
    static DirCache* c = new DirCache;
    return *c;
}

void CachePrepare() { TheDirCache().mutex.lock(); }
void CacheParent() { TheDirCache().mutex.unlock(); }
void CacheChild() { TheDirCache().mutex.unlock(); }

int64_t Nanos(const struct timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }
// Whether a change from now on must move the directory's time away from `mtime`.
bool Settled(const struct timespec& mtime) {
    struct timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanos(now) - Nanos(mtime) >= (mtime.tv_nsec == 0 ? kCoarseQuietNanos : kQuietNanos);
}
bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void AddName(DirNames& dn, std::string_view n, unsigned cp) {
    std::string key(n);
    UpperInPlace(key, cp);
    Variant& v = dn.byKey[std::move(key)];
    if (v.count++ == 0 || n < v.name) v.name.assign(n);
}

bool ReadNames(const std::string& dir, unsigned cp, DirNames& out) {
    DIR* d = opendir(DirArg(dir));
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        const std::string_view n(e->d_name);
        if (n == "." || n == "..") continue;
        AddName(out, n, cp);
    }
    closedir(d);
    return true;
}

void InstallCacheHooks() {
    static std::once_flag hooks;
    std::call_once(hooks, [] { RegisterForkHooks({ForkOrder::FolderNames, CachePrepare, CacheParent, CacheChild}); });
}

// Called with the cache locked.
void Forget(DirCache& cache, std::map<std::pair<dev_t, ino_t>, std::shared_ptr<DirNames>>::iterator it) {
    cache.names -= it->second->byKey.size();
    cache.dirs.erase(it);
}

// The layer created or removed `posixPath`: the kept names of its directory follow, when they
// were up to date just before.
// `st`: the directory's status after the change.
void NoteChangeIn(const struct stat& st, std::string_view name, bool added, const struct timespec* before) {
    DirCache& cache = TheDirCache();
    std::lock_guard lock(cache.mutex);
    auto it = cache.dirs.find(std::make_pair(st.st_dev, st.st_ino));
    if (it == cache.dirs.end()) return;
    DirNames& dn = *it->second;
    // Stale already, or due to be read again (what it may have missed stays missed): it goes.
    if ((before && !SameTime(dn.mtime, *before)) || (dn.provisional && Settled(dn.mtime))) {
        Forget(cache, it);
        return;
    }
    if (added) {
        const size_t size = dn.byKey.size();
        AddName(dn, name, dn.codePage);
        cache.names += dn.byKey.size() - size;
    } else {
        std::string key(name);
        UpperInPlace(key, dn.codePage);
        auto v = dn.byKey.find(key);
        if (v != dn.byKey.end()) {
            if (v->second.count > 1) {  // other spellings remain, which we do not know: read again
                Forget(cache, it);
                return;
            }
            dn.byKey.erase(v);
            --cache.names;
        }
    }
    dn.mtime = st.st_mtim;
    dn.provisional = true;
    dn.byLayer = true;
}

void NoteChange(const std::string& posixPath, bool added, const struct timespec* before) {
    const size_t slash = posixPath.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : (slash == 0 ? std::string("/") : posixPath.substr(0, slash));
    const std::string_view name = slash == std::string::npos ? std::string_view(posixPath) : std::string_view(posixPath).substr(slash + 1);
    struct stat st{};
    if (stat(DirArg(dir), &st) == 0) NoteChangeIn(st, name, added, before);
}

}  // namespace

void NoteCreated(const std::string& posixPath, const struct timespec* parentTimeBefore) {
    NoteChange(posixPath, true, parentTimeBefore);
}
void NoteRemoved(const std::string& posixPath, const struct timespec* parentTimeBefore) {
    NoteChange(posixPath, false, parentTimeBefore);
}

bool KeepsNamesOf(dev_t dev, ino_t ino) {
    DirCache& cache = TheDirCache();
    std::lock_guard lock(cache.mutex);
    return cache.dirs.count(std::make_pair(dev, ino)) != 0;
}

void ForgetNamesIn(int dirFd) {
    struct stat st{};
    if (fstat(dirFd, &st) != 0) return;
    DirCache& cache = TheDirCache();
    std::lock_guard lock(cache.mutex);
    auto it = cache.dirs.find(std::make_pair(st.st_dev, st.st_ino));
    if (it != cache.dirs.end()) Forget(cache, it);
}

void NoteCreatedIn(int dirFd, std::string_view name, const struct timespec& parentTimeBefore) {
    struct stat st{};
    if (fstat(dirFd, &st) == 0) NoteChangeIn(st, name, true, &parentTimeBefore);
}

std::string FindNoCase(const std::string& dir, std::string_view name, const struct stat* dirStat) {
    const unsigned cp = GetACP();
    struct stat st{};
    if (dirStat) st = *dirStat;
    else if (stat(DirArg(dir), &st) != 0) return {};
    if (!S_ISDIR(st.st_mode)) return {};
    std::string key(name);
    UpperInPlace(key, cp);
    DirCache& cache = TheDirCache();
    const auto id = std::make_pair(st.st_dev, st.st_ino);
    const bool quiet = Settled(st.st_mtim);
    {
        std::lock_guard lock(cache.mutex);
        auto it = cache.dirs.find(id);
        if (it != cache.dirs.end()) {
            DirNames& dn = *it->second;
            const bool current = !dn.provisional || (dn.byLayer && !quiet);
            if (dn.codePage == cp && SameTime(dn.mtime, st.st_mtim) && current) {
                dn.lastUse = ++cache.clock;
                auto hit = dn.byKey.find(key);
                return hit == dn.byKey.end() ? std::string() : hit->second.name;
            }
            Forget(cache, it);
        }
    }
    auto dn = std::make_shared<DirNames>();
    dn->mtime = st.st_mtim;
    dn->codePage = cp;
    dn->provisional = !quiet;
    if (!ReadNames(dir, cp, *dn)) return {};
    std::string result;
    if (auto hit = dn->byKey.find(key); hit != dn->byKey.end()) result = hit->second.name;
    struct stat after{};
    if (stat(DirArg(dir), &after) != 0 || !SameTime(after.st_mtim, st.st_mtim)) return result;  // changed meanwhile
    InstallCacheHooks();
    std::lock_guard lock(cache.mutex);
    dn->lastUse = ++cache.clock;
    cache.names += dn->byKey.size();
    if (auto old = cache.dirs.find(id); old != cache.dirs.end()) Forget(cache, old);
    cache.dirs[id] = std::move(dn);
    while (cache.names > kCacheMaxNames && cache.dirs.size() > 1) {  // the least recently used go
        auto oldest = cache.dirs.begin();
        for (auto it = cache.dirs.begin(); it != cache.dirs.end(); ++it)
            if (it->second->lastUse < oldest->second->lastUse) oldest = it;
        Forget(cache, oldest);
    }
    return result;
}

bool LexicalPath(std::string_view windowsPath, std::string& posix, size_t limit, bool* plain) {
    // Joined as the components come (every open of an existing file starts here).
    std::string_view rest;
    if (!SplitRoot(windowsPath, limit, posix, rest)) return false;
    const size_t rootSize = posix.size();
    bool same = true;
    const bool ok = ForComponents(
        rest, GetACP(),
        [&] {
            if (posix.size() <= rootSize) return;
            const size_t slash = posix.rfind('/');
            posix.resize(slash == std::string::npos || slash < rootSize ? rootSize : slash);
        },
        [&](std::string_view raw, std::string_view name) {
            if (!posix.empty() && posix.back() != '/') posix += '/';
            posix += raw;
            same = same && name.size() == raw.size();
        });
    if (!ok) return false;
    if (posix.empty()) posix.assign(1, '.');
    if (plain) *plain = same;
    return true;
}

DWORD MissingError(const ResolvedPath& p) {
    return p.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

namespace {

// Resolves the components below `root`. Each component is taken as written where it exists so;
// only where it does not are the Windows rules applied (blanks and dots dropped, then a match
// ignoring case), so that two distinct names on disk never become one. With `exactLast` the
// last component is used as written whatever exists beside it.
bool ResolveComponents(const std::string& root, const std::vector<Component>& comps, bool exactLast,
                       ResolvedPath& out) {
    out = ResolvedPath{};
    if (comps.empty()) {
        out.isRoot = true;
        out.posix = root.empty() ? "." : root;
        out.parentExists = true;
        struct stat st{};
        out.exists = lstat(out.posix.c_str(), &st) == 0;
        return true;
    }
    const Component& last = comps.back();
    out.lastName = exactLast ? last.raw : last.name;
    std::string full = root;
    for (const auto& c : comps) full = Join(full, c.raw);
    struct stat st{};
    if (lstat(full.c_str(), &st) == 0) {  // every name exactly as written: the common case
        out.posix = std::move(full);
        out.exists = out.parentExists = true;
        return true;
    }
    // Find the parent, resolving its components by the rules where needed.
    std::string parent = root;
    for (size_t i = 0; i + 1 < comps.size(); ++i) parent = Join(parent, comps[i].raw);
    struct stat ps{};
    const bool asGiven = stat(DirArg(parent), &ps) == 0 && S_ISDIR(ps.st_mode);
    if (!asGiven) {
        std::string cur = root;
        for (size_t i = 0; i + 1 < comps.size(); ++i) {
            const Component& c = comps[i];
            std::string cand = Join(cur, c.raw);
            if (!IsDir(cand)) {
                struct stat cs{};
                const bool rawExists = lstat(cand.c_str(), &cs) == 0;
                std::string alt;
                if (!rawExists)
                    alt = c.name != c.raw && IsDir(Join(cur, c.name)) ? c.name : FindNoCase(cur, c.name);
                if (alt.empty() || !IsDir(Join(cur, alt))) {
                    // Missing (or not a directory): the rest stays as the rules give it.
                    cand = Join(cur, rawExists ? c.raw : c.name);
                    for (size_t k = i + 1; k < comps.size(); ++k) cand = Join(cand, comps[k].name);
                    out.posix = std::move(cand);
                    return true;
                }
                cand = Join(cur, alt);
            }
            cur = std::move(cand);
        }
        parent = std::move(cur);
        if (stat(DirArg(parent), &ps) != 0) ps = {};
    }
    out.parentExists = true;
    out.parentTime = ps.st_mtim;
    std::string exact = Join(parent, last.raw);
    // (With the parent as given, the exact name was looked up above already.)
    if (!asGiven && lstat(exact.c_str(), &st) == 0) {
        out.posix = std::move(exact);
        out.exists = true;
        return true;
    }
    if (exactLast) {
        out.posix = std::move(exact);
        return true;
    }
    if (last.name != last.raw) {
        std::string stripped = Join(parent, last.name);
        if (lstat(stripped.c_str(), &st) == 0) {
            out.posix = std::move(stripped);
            out.exists = true;
            return true;
        }
    }
    std::string alt = FindNoCase(parent, last.name, ps.st_ino ? &ps : nullptr);
    if (!alt.empty()) {
        out.posix = Join(parent, alt);
        out.exists = true;
    } else {
        out.posix = Join(parent, last.name);
    }
    return true;
}

}  // namespace

bool ResolvePath(std::string_view windowsPath, ResolvedPath& out, size_t limit) {
    std::string root;
    std::vector<Component> comps;
    if (!Lexical(windowsPath, limit, root, comps)) return false;
    return ResolveComponents(root, comps, false, out);
}

bool ResolveExactLast(std::string_view windowsPath, ResolvedPath& out, size_t limit) {
    std::string root;
    std::vector<Component> comps;
    if (!Lexical(windowsPath, limit, root, comps)) return false;
    return ResolveComponents(root, comps, true, out);
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
        root.assign("/var/lib/qvpapi/c", 17);
    } else {
        return {};
    }
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

}  // namespace win
