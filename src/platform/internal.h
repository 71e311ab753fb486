// Internals shared by the translation units of the platform layer (never included above it).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win.h"

namespace win::detail {

// Windows error numbers the layer uses that win.h does not name.
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorNotSameDevice = 17;
constexpr DWORD kErrorWriteProtect = 19;
constexpr DWORD kErrorNegativeSeek = 131;
constexpr DWORD kErrorBusy = 170;
constexpr DWORD kErrorCantResolve = 1921;

// The event log with its file sink given, for the settings loader, which holds the lock that
// reading the file's name from the settings would take.
void ReportEventTo(const std::string& file, WORD type, DWORD eventId, std::string_view text);

// errno of the last failed call, as a Windows error in the last-error slot; returns FALSE.
BOOL FailErrno(int err);
inline BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// ---- handle table -------------------------------------------------------------------------
enum class Kind : uint32_t { File = 1, Find = 2, Mutex = 3, Semaphore = 4 };
constexpr uint32_t kObjectMagic = 0x51565048;  // "QVPH"

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    // In a child after fork: give up the descriptors without touching what the parent shares.
    virtual void AbandonAfterFork() {}
    uint32_t magic = kObjectMagic;
    Kind kind;
};

// Registers the object; its address is the handle.
HANDLE RegisterHandle(std::shared_ptr<Object> object);
// The live object of that kind, or null with last error 6.
std::shared_ptr<Object> LookupHandle(HANDLE handle, Kind kind);
template <class T>
std::shared_ptr<T> Lookup(HANDLE handle, Kind kind) {
    return std::static_pointer_cast<T>(LookupHandle(handle, kind));
}
// Removes the handle from the table; the object goes when its last user drops it.
std::shared_ptr<Object> UnregisterHandle(HANDLE handle);
// Fork support: every module with process-wide state registers hooks once. The mutexes the
// hooks take have one order (handles.cpp): each module's place in it.
enum class ForkOrder { NamedObjects, Settings, StoreRoot, FolderNames };
struct ForkHooks {
    ForkOrder order;
    void (*prepare)();
    void (*parent)();
    void (*child)();
};
void RegisterForkHooks(const ForkHooks& hooks);
// Makes sure the process's fork handlers are in place (before anything is cached per process).
void InstallAtFork();
// The process and thread ids are asked of the kernel once; a forked child forgets them first.
void ForgetIdsAfterFork();

// ---- code page ------------------------------------------------------------------------------
// Inline: every path translated asks them of each of its bytes.
inline bool IsLead(unsigned cp, unsigned char b) {
    return cp == 932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
}
inline bool IsTrail(unsigned cp, unsigned char b) {
    return cp == 932 && ((b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC));
}
// Calls f(pos, isSingle) for every character start; double-byte characters are skipped whole.
// Upper-cases ASCII letters of single-byte characters in place.
void UpperInPlace(std::string& s, unsigned cp);
// Equal ignoring ASCII case of single-byte characters.
bool EqualNoCase(std::string_view a, std::string_view b, unsigned cp);

// ---- paths ----------------------------------------------------------------------------------
struct ResolvedPath {
    std::string posix;          // the POSIX path (case-resolved as far as it exists)
    bool parentExists = false;  // every component but the last exists as a directory
    bool exists = false;        // the whole path exists (as resolved)
    bool isRoot = false;        // nothing but a root ("C:\", "/")
    std::string lastName;       // the last component as given (after stripping)
    struct timespec parentTime{};  // the parent's modification time when resolved (0 unknown)
};
// Translates and resolves a Windows path text. limit: the refused length (260, 248 for
// directories). Sets the last error (206, 3, 123, 161) and returns false on failure.
bool ResolvePath(std::string_view windowsPath, ResolvedPath& out, size_t limit = MAX_PATH);
// The same with the last component taken as written (no blanks or dots dropped, no match
// ignoring case): for creations that must not land on another name.
bool ResolveExactLast(std::string_view windowsPath, ResolvedPath& out, size_t limit = MAX_PATH);
// The lexical translation only (no look-ups): root and the components as written, joined.
// `plain`: every component is also its name under the Windows rules.
bool LexicalPath(std::string_view windowsPath, std::string& posix, size_t limit = MAX_PATH,
                 bool* plain = nullptr);
// Error for a missing path: 2 when the parent exists, 3 when not.
DWORD MissingError(const ResolvedPath& p);
// Finds the entry of directory `dir` whose name equals `name` ignoring case; empty when none.
// `dirStat`: the directory's status when the caller has it.
std::string FindNoCase(const std::string& dir, std::string_view name, const struct stat* dirStat = nullptr);
bool HasWildcard(std::string_view name);
// The layer created / removed this path: the kept names of its directory (see paths.cpp)
// follow. `parentTimeBefore`: the directory's modification time before the change, if known
// (without it, a name another process added just before is missed until the folder settles).
void NoteCreated(const std::string& posixPath, const struct timespec* parentTimeBefore = nullptr);
void NoteRemoved(const std::string& posixPath, const struct timespec* parentTimeBefore = nullptr);
// The parent's time a resolution saw, when it saw one.
inline const struct timespec* ParentTimeSeen(const ResolvedPath& p) {
    return p.parentTime.tv_sec || p.parentTime.tv_nsec ? &p.parentTime : nullptr;
}
// Whether names of the directory with this identity are kept (a creation in it must then be
// noted, with the directory's time from before it).
bool KeepsNamesOf(dev_t dev, ino_t ino);
// NoteCreated for `name`, just made in the open directory `dirFd`.
void NoteCreatedIn(int dirFd, std::string_view name, const struct timespec& parentTimeBefore);

// ---- share modes ----------------------------------------------------------------------------
// Marker bytes far beyond any data; LockFile ranges stop below them.
constexpr int64_t kMarkerBase = INT64_MAX - 15;
// In this order the common opens (read sharing read, read-write sharing nothing) test one run
// of bytes and take one run.
enum Marker : unsigned {
    kDenyRead = 0,
    kHasWrite = 1,
    kHasRead = 2,
    kDenyWrite = 3,
    kDenyDelete = 4,
};
// Sets (or with F_UNLCK clears) an open-file-description lock over [start, start + len) without
// waiting, retrying on EINTR; false with errno set (EAGAIN or EACCES: held by another).
bool SetOfdLock(int fd, short type, int64_t start, int64_t len);
// Takes the markers of an open with this access and share mode on fd; false with 32 when
// another open conflicts (nothing held then). `fresh`: fd is a file this call just created, so
// that the test before taking them is left out (the one after still catches an opener that came
// in between). `held`: whether markers are now held (not on file systems without locks).
bool AcquireShareMarkers(int fd, DWORD access, DWORD share, bool fresh = false, bool* held = nullptr);
// True when another open description of the file holds it without sharing delete.
bool HeldWithoutDeleteShare(int fd);
// Another open description holds a lock of the type that conflicts with `type` over
// [offset, offset + length).
bool RangeLockedByOther(int fd, int type, int64_t offset, int64_t length);

// ---- file times and attributes --------------------------------------------------------------
struct FileStat {
    struct stat st{};
    int64_t birthNanos = -1;  // statx creation time when the file system has it
};
bool StatPath(const std::string& posix, FileStat& out, bool followLinks);
bool StatFd(int fd, FileStat& out);
bool StatAt(int dirFd, const char* name, FileStat& out);
// Times before 1601: all ones (no conversion takes it); after the end: the end.
constexpr FILETIME kInvalidFileTime{0xFFFFFFFFu, 0xFFFFFFFFu};
FILETIME ToFileTime(const struct timespec& ts);
// Exact conversions in 100-ns ticks; FALSE with 87 when the other side cannot hold the value.
BOOL TimespecToFileTime(const struct timespec& ts, FILETIME* out);
BOOL FileTimeToTimespec(const FILETIME& ft, struct timespec* out);
void FillTimes(const FileStat& fs, FILETIME* creation, FILETIME* access, FILETIME* write);
// Windows attributes from the stat result and the extended attribute (path or fd).
DWORD AttributesOf(const FileStat& fs, const std::string& posixPath);
DWORD AttributesOfFd(const FileStat& fs, int fd);
constexpr const char* kAttributeXattr = "user.qvpapi.attributes";

// ---- settings -------------------------------------------------------------------------------
// Bumped whenever the platform section changes (cached derived values re-read it).
extern std::atomic<unsigned> g_platformGeneration;


// ---- file handles ---------------------------------------------------------------------------
struct FileObject : Object {
    FileObject() : Object(Kind::File) {}
    ~FileObject() override;
    void AbandonAfterFork() override;
    struct Range {
        uint64_t offset;
        uint64_t length;
    };
    int fd = -1;
    DWORD access = 0;
    DWORD share = 0;
    bool isDirectory = false;
    dev_t dev = 0;  // identity of the file (a folder's, for the opens relative to it)
    ino_t ino = 0;
    // The size as this handle last saw or made it, while no other handle can change it (this
    // one denies write sharing); -1 when unknown.
    int64_t size = -1;
    bool fdWritable = false;  // the descriptor can take write locks
    // Holds markers that share neither reading nor writing: no other handle that could lock a
    // range (locking takes read or write access) can be open, so reads and writes skip the test.
    bool soleLocker = false;
    std::string posix;
    std::mutex mutex;  // guards position and ranges
    int64_t position = 0;
    std::vector<Range> locks;
};
// inStore: `path` lies below the install root, where no link on the way is passed.
int OpenFd(const std::string& path, DWORD access, int extraFlags, bool& writable, bool inStore = false);
// The same relative to the directory `dirFd` (or AT_FDCWD); beneath: no link passed from there.
int OpenFdAt(int dirFd, const char* path, DWORD access, int extraFlags, bool& writable, bool beneath = false);
// The open flags a CreateFile's flags and disposition ask for beyond the access (`posix`: the
// file, which decides whether a link at it may be followed; `inStore` tells that it lies below
// the install root).
int OpenFlags(DWORD flags, DWORD disposition, std::string_view posix, bool* inStore = nullptr);
// CreateFile on a resolved path (CopyFile and MoveFile use it too).
HANDLE OpenResolved(const ResolvedPath& rp, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// ---- small RAII ----------------------------------------------------------------------------
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    int release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }
    void reset(int fd = -1);
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// ---- the shared store -----------------------------------------------------------------------
// `posix` lies strictly below the install root (its spelling in the settings or on disk, kept
// while the setting and the drive table stay the same): a link there is never followed.
bool BelowStoreRoot(std::string_view posix);
// The folder holding `posix` (its last name in `lastName`): below the install root reached from
// the root without following a link, elsewhere as the system finds it. Not valid (errno set)
// when a level is missing, no folder, or a link.
UniqueFd OpenParentOf(const std::string& posix, std::string& lastName, bool& belowRoot);
// The folder `posix` itself for listing, the same way (below the root its last level is no link).
UniqueFd OpenFolder(const std::string& posix, bool& belowRoot);
// openat2 from `dirFd` passing no link and never above it: a link on the way fails with
// ENOTDIR (no folder there, as the walks answer), one at the last name with ELOOP.
int OpenBeneath(int dirFd, const char* path, int flags, mode_t mode);
// The install root open (O_PATH) as the process holds it, made when the settings change.
struct HeldRoot {
    UniqueFd fd;
    std::string path;  // the spelling it was opened by
    dev_t dev = 0;
    ino_t ino = 0;
};
// The held root for `posix` at or below it, `below` set to the rest of `posix` after the root
// ("." for the root); null (errno set) elsewhere or when the root is missing.
std::shared_ptr<const HeldRoot> HoldStoreRoot(const std::string& posix, const char*& below);
// After an open below `stale` failed as a missing folder would (errno kept): true when another
// folder (or none) is at the root's path now, and the next HoldStoreRoot opens it anew.
bool RenewStoreRoot(const HeldRoot& stale);
// open(rootFd, below) from the held root; once more from the root opened anew when it failed
// because the folder held is no longer the root.
template <class Open>
int FromStoreRoot(const std::string& posix, Open open) {
    for (int attempt = 0;; ++attempt) {
        const char* below = nullptr;
        const auto root = HoldStoreRoot(posix, below);
        if (!root) return -1;
        const int fd = open(root->fd.get(), below);
        if (fd >= 0 || attempt > 0 || !RenewStoreRoot(*root)) return fd;
    }
}
// The install root's descriptor (O_PATH, the caller's own) the same way.
UniqueFd OpenStoreRoot(const std::string& posix, const char*& below);
// `posix` below the install root opened from the root's descriptor as OpenBeneath does.
int OpenInStore(const std::string& posix, int flags, mode_t mode);
// Where a change by path acts: below the install root relative to its folder reached from the
// root without a link, elsewhere by the whole path (relative to AT_FDCWD), as before.
struct PathAt {
    UniqueFd folder;
    int dirFd = AT_FDCWD;
    std::string name;
    // False (errno set) when below the root a folder on the way is missing, no folder or a link.
    bool Open(const std::string& posix);
    const char* c_str() const { return name.c_str(); }
};
// The folder `name` of `parentFd` (`parentPath`) and all in it removed by handle, as RemoveTree
// does; false when anything stayed.
bool RemoveTreeAt(int parentFd, const std::string& parentPath, const char* name);
// The kept names of the folder open as `dirFd` are forgotten (entries went behind their back).
void ForgetNamesIn(int dirFd);

}  // namespace win::detail
