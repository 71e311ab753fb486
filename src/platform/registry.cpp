// The registry stand-in: the settings file (INI text, [QVPAPI] and [Platform]), cached in
// memory, names matched ignoring case, changed values written back atomically.
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/internal.h"

namespace win {
namespace detail {
std::atomic<unsigned> g_platformGeneration{1};
}

namespace registry {
namespace {
constexpr size_t kMaxValues = 512;
constexpr size_t kMaxValueBytes = 128;  // values of this length or more are ignored

struct CaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            int x = static_cast<unsigned char>(a[i]);
            int y = static_cast<unsigned char>(b[i]);
            if (x >= 'a' && x <= 'z') x -= 32;
            if (y >= 'a' && y <= 'z') y -= 32;
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
};

struct Entry {
    std::string name;  // spelling as first seen
    std::string value;
    bool changed = false;
    size_t line = 0;  // of the settings file; 0 for a value set in memory
};
using Section = std::map<std::string, Entry, CaseLess>;

enum class Which { None, Library, Platform };

struct Store {
    std::mutex mutex;
    bool loaded = false;
    std::string path;
    int readError = 0;  // of the last load's file
    KnownNames libraryNames = nullptr;
    bool libraryNamesChecked = false;  // the last load's names against libraryNames
    Section library;
    Section platform;
    std::vector<std::string> problems;  // of the last load, until the library's log takes them
    // Problems for the event log, said once the lock is released: placing its file asks the
    // settings (the install root, the drives).
    std::vector<std::string> unsaid;
    std::string unsaidFile;
    bool fileMissing = false;  // at load: a write-back makes the file
    bool makingSaid = false;   // that it will be made has been reported
};

void StorePrepare();
void StoreParent();
void StoreChild();

Store& TheStore() {
    static Store* store = [] {
        auto* s = new Store;  // outlives every static destructor (unload flush)
        detail::RegisterForkHooks({detail::ForkOrder::Settings, StorePrepare, StoreParent, StoreChild});
        return s;
    }();
    return *store;
}

void StorePrepare() { TheStore().mutex.lock(); }
void StoreParent() { TheStore().mutex.unlock(); }
void StoreChild() { TheStore().mutex.unlock(); }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// Position of an inline comment (blank or tab, then ';') in a value text, npos when none.
size_t CommentStart(std::string_view v) {
    for (size_t i = 1; i < v.size(); ++i)
        if (v[i] == ';' && (v[i - 1] == ' ' || v[i - 1] == '\t')) return i - 1;
    return std::string_view::npos;
}

bool SectionIs(std::string_view header, const char* name) {
    return header.size() == strlen(name) && strncasecmp(header.data(), name, header.size()) == 0;
}

// The names this layer reads from its own section: RunDir, CodePage, EventLogFile and the drive
// letters (DriveA ... DriveZ).
bool PlatformName(std::string_view name) {
    for (const char* known : {"RunDir", "CodePage", "EventLogFile"})
        if (name.size() == strlen(known) && strncasecmp(name.data(), known, name.size()) == 0) return true;
    return name.size() == 6 && strncasecmp(name.data(), "Drive", 5) == 0 &&
           ((name[5] | 0x20) >= 'a' && (name[5] | 0x20) <= 'z');
}

std::string UnknownName(std::string_view name, const char* section) {
    return std::string(name) + " is no setting of [" + section + "]";
}

// A section header gives its kind; other lines give nothing.
bool ParseHeader(std::string_view line, Which& which) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    const std::string_view name = Trim(line.substr(1, close - 1));
    which = SectionIs(name, "QVPAPI") ? Which::Library : SectionIs(name, "Platform") ? Which::Platform : Which::None;
    return true;
}

// "Name=Value" (value without its inline comment); false for other lines.
bool ParseValue(std::string_view line, std::string_view& name, std::string_view& value) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return false;
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    name = Trim(t.substr(0, eq));
    if (name.empty()) return false;
    std::string_view v = t.substr(eq + 1);
    const size_t c = CommentStart(v);
    if (c != std::string_view::npos) v = v.substr(0, c);
    value = Trim(v);
    return true;
}

// A name or value that the file could not hold as one "Name=Value" line.
bool Storable(std::string_view name, std::string_view value) {
    if (name.empty() || name != Trim(name) || value != Trim(value)) return false;
    if (name.find_first_of("=[;#\r\n") != std::string_view::npos) return false;
    if (value.find_first_of("\r\n") != std::string_view::npos) return false;
    return CommentStart(value) == std::string_view::npos;
}

bool Put(Section& s, std::string_view name, std::string_view value, bool markChanged, size_t line = 0) {
    if (name.empty() || value.size() >= kMaxValueBytes) return false;
    if (markChanged && !Storable(name, value)) return false;
    auto it = s.find(name);
    if (it == s.end()) {
        if (s.size() >= kMaxValues) return false;
        s.emplace(std::string(name), Entry{std::string(name), std::string(value), markChanged, line});
        return true;
    }
    if (it->second.value != value) {
        it->second.value = std::string(value);
        if (markChanged) it->second.changed = true;
    }
    return true;
}

// What a line of the file that cannot be used is reported as.
std::string LineProblem(size_t number, std::string_view what) {
    return "line " + std::to_string(number) + ": " + std::string(what) + "; ignored";
}

// Unknown names are kept (nothing reads them) but said; those of the library section only when
// the library has told its names.
void Parse(const std::string& text, Section& library, Section& platform, std::vector<std::string>& problems,
           KnownNames libraryNames) {
    Which which = Which::None;
    bool inSection = false;  // after any header, known or not
    size_t pos = 0;
    for (size_t number = 1; pos < text.size(); ++number) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (ParseHeader(line, which)) {
            inSection = true;
            if (which == Which::None) problems.push_back(LineProblem(number, "unknown section " + std::string(Trim(line))));
            continue;
        }
        const std::string_view t = Trim(line);
        if (t.empty() || t.front() == ';' || t.front() == '#') continue;
        std::string_view name, value;
        if (!ParseValue(line, name, value)) {
            problems.push_back(LineProblem(number, "not a Name=Value line"));
            continue;
        }
        if (which == Which::None) {
            // Lines of an unknown section were reported with its header.
            if (!inSection) problems.push_back(LineProblem(number, "a value before any section"));
            continue;
        }
        Section& s = which == Which::Library ? library : platform;
        if (s.find(name) != s.end()) {  // the first of duplicates counts
            problems.push_back(LineProblem(number, std::string(name) + " given a second time"));
            continue;
        }
        if (value.size() >= kMaxValueBytes) {
            problems.push_back(LineProblem(number, "the value of " + std::string(name) + " is " +
                                                       std::to_string(value.size()) + " bytes long (at most " +
                                                       std::to_string(kMaxValueBytes - 1) + ")"));
            continue;
        }
        if (!Put(s, name, value, false, number)) {
            problems.push_back(LineProblem(number, "more than " + std::to_string(kMaxValues) + " values in the section"));
            continue;
        }
        if (which == Which::Platform && !PlatformName(name))
            problems.push_back(LineProblem(number, UnknownName(name, "Platform")));
        else if (which == Which::Library && libraryNames != nullptr && !libraryNames(name))
            problems.push_back(LineProblem(number, UnknownName(name, "QVPAPI")));
    }
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buf[8192];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

// 0, or the errno of the failed open or read.
int ReadFileText(const std::string& path, std::string& out) {
    detail::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return errno;
    return ReadAll(fd.get(), out) ? 0 : errno;
}

constexpr const char kDefaultConfigPath[] = "/etc/qvpapi.conf";

// Said to the event log when the store's lock is released (its file taken from the section in
// memory) and kept for DLL.LOG.
void Report(Store& s, std::string problem) {
    const auto file = s.platform.find(std::string_view("EventLogFile"));
    s.unsaidFile = file != s.platform.end() ? file->second.value : std::string();
    s.unsaid.push_back("settings file " + s.path + ": " + problem);
    s.problems.push_back(std::move(problem));
}

// An install root must not depend on the caller's working folder: "/..." or "X:\...".
bool AbsoluteRoot(std::string_view root) {
    if (!root.empty() && root.front() == '/') return true;
    const bool letter = root.size() >= 3 && ((root[0] | 0x20) >= 'a' && (root[0] | 0x20) <= 'z');
    return letter && root[1] == ':' && (root[2] == '\\' || root[2] == '/');
}

// A file the caller named that cannot be read, or lines that cannot be used, leave the defaults
// in force: that is said (event log now, DLL.LOG when the library opens it), never silently.
// Only a missing default file is the ordinary case of a machine without settings.
void LoadLocked(Store& s, const std::string& path) {
    s.library.clear();
    s.platform.clear();
    s.problems.clear();
    s.path = path;
    s.makingSaid = false;
    std::string text;
    std::vector<std::string> problems;
    const int error = ReadFileText(path, text);
    s.readError = error;
    s.fileMissing = error == ENOENT;
    s.libraryNamesChecked = s.libraryNames != nullptr;
    if (error != 0) {
        if (!(error == ENOENT && path == kDefaultConfigPath))
            problems.push_back(std::string("cannot be read (") + strerror(error) + "); the defaults are used");
    } else {
        Parse(text, s.library, s.platform, problems, s.libraryNames);
    }
    // Taken as it is, a relative root would put the store below whatever folder the caller is in.
    if (auto root = s.library.find(std::string_view(kInstallRootSetting));
        root != s.library.end() && !root->second.value.empty() && !AbsoluteRoot(root->second.value)) {
        problems.push_back(root->second.name + "=" + root->second.value + " is no absolute path (/... or C:\\...); " +
                           kInstallRootDefault + " is used");
        s.library.erase(root);
    }
    s.loaded = true;
    detail::g_platformGeneration.fetch_add(1, std::memory_order_acq_rel);
    for (std::string& problem : problems) Report(s, std::move(problem));
}

// The store's lock; what a load under it found is said to the event log after it is released.
class Locked {
public:
    explicit Locked(Store& s) : s_(s), lock_(s.mutex) {}
    ~Locked() {
        if (s_.unsaid.empty()) return;
        const std::vector<std::string> lines = std::move(s_.unsaid);
        const std::string file = std::move(s_.unsaidFile);
        s_.unsaid.clear();
        lock_.unlock();
        try {
            for (const std::string& line : lines) detail::ReportEventTo(file, EVENTLOG_WARNING_TYPE, 0, line);
        } catch (...) {  // out of memory: the library's log still takes them
        }
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    Store& s_;
    std::unique_lock<std::mutex> lock_;
};

std::string DefaultConfigPath() {
    const char* env = getenv("QVPAPI_CONFIG");
    return env && *env ? std::string(env) : std::string(kDefaultConfigPath);
}

void EnsureLoaded(Store& s) {
    if (!s.loaded) LoadLocked(s, DefaultConfigPath());
}

// The library section of a load made before the library told its names, checked once told.
void CheckLibraryNames(Store& s) {
    if (s.libraryNamesChecked || s.libraryNames == nullptr) return;
    s.libraryNamesChecked = true;
    std::vector<const Entry*> unknown;
    for (const auto& [key, e] : s.library)
        if (e.line != 0 && !s.libraryNames(e.name)) unknown.push_back(&e);
    std::sort(unknown.begin(), unknown.end(), [](const Entry* a, const Entry* b) { return a->line < b->line; });
    for (const Entry* e : unknown) Report(s, LineProblem(e->line, UnknownName(e->name, "QVPAPI")));
}

// Rewrites `text` with the changed values of the library section: a value line of the same
// name (ignoring case) is replaced in place, keeping its spelling and comment; new names go
// at the end of the section, which is added when missing.
std::string Rewrite(const std::string& text, const std::vector<const Entry*>& changes) {
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<std::string> lines;
    std::vector<bool> hadEol;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        const bool nl = end != std::string::npos;
        if (!nl) end = text.size();
        lines.emplace_back(text, pos, end - pos);
        hadEol.push_back(nl);
        pos = end + 1;
    }
    std::vector<bool> done(changes.size(), false);
    Which which = Which::None;
    long libraryLast = -1;  // last header or value line of the library section
    for (size_t i = 0; i < lines.size(); ++i) {
        if (ParseHeader(lines[i], which)) {
            if (which == Which::Library) libraryLast = static_cast<long>(i);
            continue;
        }
        if (which != Which::Library) continue;
        std::string_view name, value;
        if (!ParseValue(lines[i], name, value)) continue;
        libraryLast = static_cast<long>(i);
        for (size_t c = 0; c < changes.size(); ++c) {
            if (done[c] || !(!CaseLess{}(name, changes[c]->name) && !CaseLess{}(changes[c]->name, name))) continue;
            const std::string& line = lines[i];
            const size_t eq = line.find('=');
            std::string rebuilt = line.substr(0, eq + 1) + changes[c]->value;
            const std::string_view after(line.data() + eq + 1, line.size() - eq - 1);
            const size_t cs = CommentStart(after);
            if (cs != std::string_view::npos) {
                std::string_view comment = after.substr(cs);
                while (!comment.empty() && (comment.back() == '\r')) comment.remove_suffix(1);
                rebuilt += comment;
            }
            if (!line.empty() && line.back() == '\r') rebuilt += '\r';
            lines[i] = rebuilt;
            done[c] = true;
            break;
        }
    }
    std::vector<std::string> added;
    for (size_t c = 0; c < changes.size(); ++c)
        if (!done[c]) added.push_back(changes[c]->name + "=" + changes[c]->value);
    if (!added.empty()) {
        const std::string cr = eol == "\r\n" ? "\r" : "";
        if (libraryLast < 0) {
            lines.push_back("[QVPAPI]" + cr);
            hadEol.push_back(true);
            libraryLast = static_cast<long>(lines.size()) - 1;
        }
        for (size_t k = 0; k < added.size(); ++k) {
            lines.insert(lines.begin() + libraryLast + 1 + static_cast<long>(k), added[k] + cr);
            hadEol.insert(hadEol.begin() + libraryLast + 1 + static_cast<long>(k), true);
        }
        if (static_cast<size_t>(libraryLast) < hadEol.size()) hadEol[static_cast<size_t>(libraryLast)] = true;
    }
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (hadEol[i] || i + 1 < lines.size()) out += '\n';
    }
    return out;
}

bool WriteAll(int fd, const std::string& data) {
    size_t off = 0;
    while (off < data.size()) {
        const ssize_t n = write(fd, data.data() + off, data.size() - off);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        off += static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

void Load(KnownNames libraryNames) {
    Store& s = TheStore();
    Locked lock(s);
    if (libraryNames != nullptr && libraryNames != s.libraryNames) {
        s.libraryNames = libraryNames;
        s.libraryNamesChecked = false;
    }
    EnsureLoaded(s);
    CheckLibraryNames(s);
}

void LoadFrom(const std::string& file) {
    Store& s = TheStore();
    Locked lock(s);
    LoadLocked(s, file);
}

std::vector<std::string> TakeProblems() {
    Store& s = TheStore();
    Locked lock(s);
    EnsureLoaded(s);
    std::vector<std::string> out;
    out.reserve(s.problems.size());
    for (const std::string& problem : s.problems) out.push_back("settings file " + s.path + ": " + problem);
    s.problems.clear();
    return out;
}

std::optional<std::string> Get(std::string_view name) {
    Store& s = TheStore();
    Locked lock(s);
    EnsureLoaded(s);
    auto it = s.library.find(name);
    if (it == s.library.end()) return std::nullopt;
    return it->second.value;
}

bool Set(std::string_view name, std::string_view value) {
    Store& s = TheStore();
    Locked lock(s);
    EnsureLoaded(s);
    if (!Put(s.library, name, value, true)) return false;
    // A mistyped QVPAPI_CONFIG is reported no more once the write-back has made the file.
    if (s.fileMissing && !s.makingSaid) {
        s.makingSaid = true;
        Report(s, "not there when loaded; made at unload to hold " + std::string(name));
    }
    return true;
}

std::optional<std::string> GetPlatform(std::string_view name) {
    Store& s = TheStore();
    Locked lock(s);
    EnsureLoaded(s);
    auto it = s.platform.find(name);
    if (it == s.platform.end()) return std::nullopt;
    return it->second.value;
}

void SetPlatform(std::string_view name, std::string_view value) {
    Store& s = TheStore();
    {
        Locked lock(s);
        EnsureLoaded(s);
        Put(s.platform, name, value, false);
    }
    detail::g_platformGeneration.fetch_add(1, std::memory_order_acq_rel);
}

std::string ConfigPath() {
    Store& s = TheStore();
    std::lock_guard lock(s.mutex);
    return s.loaded ? s.path : DefaultConfigPath();
}

int ConfigError() {
    Store& s = TheStore();
    Locked lock(s);
    EnsureLoaded(s);
    return s.readError;
}

namespace {

// The changes written into the settings file `path` whole (a new file renamed over it).
bool WriteBack(const std::string& path, const std::vector<const Entry*>& changes) {
    // Lock the file itself; a writer that renamed a new file over it in the meantime makes us
    // lock again, so that every writer re-reads the latest text.
    detail::UniqueFd fd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fd.reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd && errno == ENOENT) fd.reset(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!fd) return false;
        while (flock(fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR) return false;
        }
        struct stat a{}, b{};
        if (fstat(fd.get(), &a) == 0 && stat(path.c_str(), &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev)
            break;
        fd.reset();
    }
    if (!fd) return false;
    std::string text;
    if (fault::Hit(fault::Call::ReadFile, path) || !ReadAll(fd.get(), text)) return false;
    const std::string updated = Rewrite(text, changes);

    struct stat st{};
    fstat(fd.get(), &st);
    // Beside it under a name nobody can foresee, made exclusively: a link planted there is
    // never written through.
    std::string tmp;
    detail::UniqueFd out;
    for (int attempt = 0; attempt < 16 && !out; ++attempt) {
        char part[24];
        std::snprintf(part, sizeof part, ".%016llx", static_cast<unsigned long long>(RandomNumber()));
        tmp = path + part + ".tmp";
        out.reset(fault::Hit(fault::Call::CreateFile, tmp)
                      ? -1
                      : open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 07777));
        if (!out && errno != EEXIST) return false;
    }
    if (!out) return false;
    fchmod(out.get(), st.st_mode & 07777);
    if (fault::Hit(fault::Call::WriteFile, tmp) || !WriteAll(out.get(), updated) || fsync(out.get()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    out.reset();
    if (fault::Hit(fault::Call::MoveFile, tmp) || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool Flush() {
    Store& s = TheStore();
    // The changed values are taken out under the store's lock, and the file is locked and written
    // without it: another process may hold the file's lock as long as it likes, and a thread that
    // waits for it must keep no other thread (or a fork) from the settings meanwhile.
    std::string path;
    std::vector<Entry> changed;
    {
        std::lock_guard lock(s.mutex);
        if (!s.loaded) return true;
        for (auto& [key, e] : s.library)
            if (e.changed) changed.push_back(e);
        path = s.path;
    }
    if (changed.empty()) return true;
    std::vector<const Entry*> changes;
    for (const Entry& e : changed) changes.push_back(&e);
    if (!WriteBack(path, changes)) return false;
    // Written: no longer changed, unless set again meanwhile.
    std::lock_guard lock(s.mutex);
    for (const Entry& e : changed)
        if (auto it = s.library.find(e.name); s.path == path && it != s.library.end() && it->second.value == e.value)
            it->second.changed = false;
    return true;
}

}  // namespace registry

std::string InstallRoot() {
    auto root = registry::Get(kInstallRootSetting);
    const std::string text = root && !root->empty() ? *root : std::string(kInstallRootDefault);
    // Resolved as the library's own paths are, so that both name the same folder; the look-up
    // leaves the caller's last error alone.
    const DWORD error = GetLastError();
    detail::ResolvedPath p;
    std::string posix;
    if (detail::ResolvePath(text, p)) posix = p.posix;
    else if (!detail::LexicalPath(text, posix)) posix = text;
    SetLastError(error);
    return posix;
}

std::string RunDirectory() {
    if (auto v = registry::GetPlatform("RunDir"); v && !v->empty()) return *v;
    return InstallRoot() + "/RUN";
}

}  // namespace win
