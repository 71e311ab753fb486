#include "core/work_owner.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/fileutil.h"
#include "core/handles.h"

namespace qvp {

namespace {

constexpr win::DWORD kShareAll = win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE;

// The owner locks the thread holds, by folder. They go when the thread ends, by a key destructor:
// those run after every C++ thread-local destructor, so the session closed at the thread's end
// removes its folders while they are still held.
struct HeldLocks {
    std::vector<std::pair<std::string, FileHandle>> locks;
    FileHandle* Find(const std::string& folder) {
        for (auto& [path, lock] : locks)
            if (path == folder) return &lock;
        return nullptr;
    }
};
thread_local HeldLocks* t_held = nullptr;

void ReleaseHeld(void* p) {
    auto* held = static_cast<HeldLocks*>(p);
    if (t_held == held) t_held = nullptr;
    delete held;
}

HeldLocks& Held() {
    static const pthread_key_t key = [] {
        pthread_key_t k;
        if (pthread_key_create(&k, ReleaseHeld) != 0) abort();
        return k;
    }();
    if (t_held == nullptr) {
        auto* held = new HeldLocks;
        if (pthread_setspecific(key, held) != 0) abort();
        t_held = held;
    }
    return *t_held;
}

// The kind of a name: its runs of digits (the ids) stand as one '#' each; empty for a name
// without an id.
std::string KindOf(std::string_view name) {
    std::string kind;
    bool id = false;
    for (size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (!digit) kind += name[i];
        else if (i == 0 || !(name[i - 1] >= '0' && name[i - 1] <= '9')) kind += '#';
        id |= digit;
    }
    return id ? kind : std::string();
}

// When each kind (its area and name) was last swept in this process, and the sweeps so far
// (where the next one starts). Kept for the process, not the thread: a caller that runs each
// call in a new thread pays a sweep no more often, and each planted folder still comes up in
// turn. Every kind has a clock of its own: one shared with another kind would let a caller that
// always makes that other kind first never sweep this one. The kinds are the library's own (a
// handful per install root), so clocks are only ever added, and found without a lock: nothing is
// held across a fork.
constexpr std::chrono::steady_clock::duration kSweepInterval = std::chrono::seconds(10);
using SweepTime = std::chrono::steady_clock::rep;
struct SweepClock {
    const std::string kind;
    std::atomic<SweepTime> last{0};
    SweepClock* const next;
};
constexpr size_t kClockChains = 64;
std::atomic<SweepClock*> g_clocks[kClockChains];

std::atomic<SweepTime>& ClockOf(const std::string& kind) {
    std::atomic<SweepClock*>& chain = g_clocks[std::hash<std::string>{}(kind) % kClockChains];
    SweepClock* first = chain.load(std::memory_order_acquire);
    for (;;) {
        for (SweepClock* clock = first; clock != nullptr; clock = clock->next)
            if (clock->kind == kind) return clock->last;
        auto* made = new SweepClock{kind, {0}, first};
        if (chain.compare_exchange_strong(first, made, std::memory_order_acq_rel, std::memory_order_acquire))
            return made->last;
        delete made;  // another thread added a clock meanwhile: look again, from the new first
    }
}

// The folders a sweep judges at most.
constexpr size_t kJudgedPerSweep = 32;
std::atomic<size_t> g_sweeps{0};
std::atomic<bool> g_agedForTesting{false};

constexpr char kAsideMark = '~';

// True when the folder `folder` holds open was last changed a sweep interval ago or more. A
// clock set back leaves a folder for longer, never takes one sooner.
bool LeftLongEnough(win::HANDLE folder) {
    if (g_agedForTesting.load(std::memory_order_relaxed)) return true;
    win::BY_HANDLE_FILE_INFORMATION info{};
    if (!win::GetFileInformationByHandle(folder, &info)) return false;
    win::FILETIME now{};
    win::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const win::FILETIME& t) { return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime; };
    constexpr uint64_t kTicksPerSecond = 10'000'000;
    const uint64_t interval =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(kSweepInterval).count()) * kTicksPerSecond;
    return ticks(now) >= ticks(info.ftLastWriteTime) && ticks(now) - ticks(info.ftLastWriteTime) >= interval;
}

// True for the one caller that is to sweep `kind` now.
bool SweepDue(const std::string& kind) {
    const SweepTime now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::atomic<SweepTime>& last = ClockOf(kind);
    SweepTime was = last.load(std::memory_order_relaxed);
    return (was == 0 || now - was >= kSweepInterval.count()) && last.compare_exchange_strong(was, now);
}

// The folder at `path` when its owner is gone: emptied and removed through its handle, with its
// owner lock held meanwhile. A folder at its id name without an owner file is left: nothing
// tells whose it is. One at its aside name without one, left so for a sweep interval, is given
// an owner file first (a maker still at work then finds it taken and makes its folder again).
void RemoveIfOwnerGone(const std::string& path, bool aside) {
    const FileHandle folder(OpenFolderAsIs(path));
    if (!folder.valid()) return;
    const std::string owner = path + "\\" + kOwnerFile;
    constexpr win::DWORD kAsIs = win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OPEN_REPARSE_POINT;
    FileHandle lock(win::CreateFileIn(folder.get(), owner.c_str(), win::GENERIC_READ, kShareAll, win::OPEN_EXISTING,
                                      kAsIs));
    if (!lock.valid()) {
        if (!aside || win::GetLastError() != win::ERROR_FILE_NOT_FOUND || !LeftLongEnough(folder.get())) return;
        lock.Reset(win::CreateFileIn(folder.get(), owner.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, kShareAll,
                                     win::CREATE_NEW, kAsIs | win::FILE_FLAG_POSIX_SEMANTICS));
    }
    if (!lock.valid() || !win::LockFile(lock.get(), 0, 0, 1, 0)) return;
    win::RemoveHeldTree(folder.get(), path.c_str());
}

// Removes what is in the folder at `path` but its owner file, each name as it is.
void EmptyButOwner(const std::string& path) {
    std::vector<std::string> names;
    win::WIN32_FIND_DATAA data{};
    for (FindWalk walk = FindWalk::Names(path + "\\*", data); walk.valid();) {
        const std::string_view name(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
        if (name != "." && name != ".." && name != kOwnerFile) names.emplace_back(name);
        if (!walk.Next(data)) break;
    }
    for (const std::string& name : names) win::RemoveTree((path + "\\" + name).c_str(), win::RemoveScope::Name);
}

}  // namespace

bool SameFile(win::HANDLE a, win::HANDLE b) {
    win::BY_HANDLE_FILE_INFORMATION x{}, y{};
    return win::GetFileInformationByHandle(a, &x) && win::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

win::HANDLE OpenFolderAsIs(const std::string& path) {
    FileHandle folder(win::CreateFile(path.c_str(), win::GENERIC_READ, kShareAll, nullptr, win::OPEN_EXISTING,
                                      win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    win::BY_HANDLE_FILE_INFORMATION info{};
    if (!folder.valid() || !win::GetFileInformationByHandle(folder.get(), &info)) return win::INVALID_HANDLE_VALUE;
    if ((info.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        win::SetLastError(win::ERROR_DIRECTORY);
        return win::INVALID_HANDLE_VALUE;
    }
    return folder.Release();
}

void KeepOwnerLock(const std::string& folder, win::HANDLE lock) {
    HeldLocks& held = Held();
    if (FileHandle* kept = held.Find(folder)) kept->Reset(lock);
    else held.locks.emplace_back(folder, FileHandle(lock));
}

bool OwnsWorkFolder(const std::string& folder) {
    const FileHandle* held = t_held != nullptr ? t_held->Find(folder) : nullptr;
    if (held == nullptr || !held->valid()) return false;
    // The held lock keeps its file alive, so no other file can be the same one.
    const FileHandle found(win::CreateFile((folder + "\\" + kOwnerFile).c_str(), win::GENERIC_READ, kShareAll,
                                           nullptr, win::OPEN_EXISTING,
                                           win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return found.valid() && SameFile(found.get(), held->get());
}

void LetGoWorkFolder(const std::string& folder) {
    if (t_held == nullptr) return;
    std::erase_if(t_held->locks, [&](const auto& entry) { return entry.first == folder; });
}

std::string AsideNameOf(const std::string& folder) {
    const size_t cut = win::FindLastSeparator(folder);
    const size_t at = cut == std::string::npos ? 0 : cut + 1;
    return folder.substr(0, at) + kAsideMark + folder.substr(at);
}

bool RemoveWorkFolder(const std::string& folder, uint32_t pauseMs, int tries) {
    if (!IsFolderNotLink(folder)) return RemoveAtOnce(folder);
    // Whatever step a kill ends this at, what is left stands at the aside name, which a sweep of
    // the kind judges by its owner lock, or by its age once the owner file is gone.
    std::string at = folder;
    if (const std::string aside = AsideNameOf(folder);
        RemoveAtOnce(aside) && win::MoveFile(folder.c_str(), aside.c_str()))
        at = aside;
    if (IsFolderNotLink(at)) EmptyButOwner(at);
    if (gaiCOMDirectoryDeleteRetry(at.c_str(), pauseMs, tries) == 0) return true;
    const win::DWORD error = win::GetLastError();
    if (win::GetFileAttributes(at.c_str()) == win::INVALID_FILE_ATTRIBUTES &&
        win::GetFileAttributes(folder.c_str()) == win::INVALID_FILE_ATTRIBUTES)
        return true;
    win::SetLastError(error);
    return false;
}

void SweepDeadSiblings(const std::string& folder) {
    const size_t cut = win::FindLastSeparator(folder);
    if (cut == std::string::npos || cut == 0) return;
    const std::string area = folder.substr(0, cut);
    const std::string_view own = std::string_view(folder).substr(cut + 1);
    const std::string kind = KindOf(own);
    if (kind.empty() || !SweepDue(area + "\\" + kind)) return;
    std::vector<std::pair<std::string, bool>> others;  // each with whether it is at an aside name
    win::WIN32_FIND_DATAA data{};
    for (FindWalk walk = FindWalk::Names(area + "\\*", data); walk.valid();) {
        const std::string_view name(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
        const bool realFolder = (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                (data.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        const bool aside = !name.empty() && name[0] == kAsideMark;
        const std::string_view named = aside ? name.substr(1) : name;
        if (realFolder && named != own && KindOf(named) == kind)
            others.emplace_back(area + "\\" + std::string(name), aside);
        if (!walk.Next(data)) break;
    }
    // A few a sweep, from a point that moves on: folders planted by the thousand, whose locks
    // another user holds, cost a caller little, and each folder still comes up in turn.
    const size_t judged = std::min(others.size(), kJudgedPerSweep);
    const size_t start = others.empty() ? 0 : g_sweeps.fetch_add(1) * kJudgedPerSweep % others.size();
    for (size_t i = 0; i < judged; ++i) {
        const auto& [path, aside] = others[(start + i) % others.size()];
        RemoveIfOwnerGone(path, aside);
    }
}

void ForgetSweepsForTesting(bool aged) {
    for (const auto& chain : g_clocks)
        for (SweepClock* clock = chain.load(std::memory_order_acquire); clock != nullptr; clock = clock->next)
            clock->last = 0;
    g_agedForTesting = aged;
}

}  // namespace qvp
