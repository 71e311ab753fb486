// Named mutexes: recursive for the owning thread, abandoned by an owner that ends without
// releasing them (a thread here, or a thread or process elsewhere, whose owner lock the kernel
// marks).
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/sync_objects.h"

namespace win::sync {

namespace {

// Mutexes the calling thread owns; what is left at its end is abandoned. The thread-local is
// a plain pointer (nothing to destroy) and the list is released by a pthread key destructor:
// those run after every C++ thread-local destructor, so the destructors of layers above (the
// API block closing a session, which takes named mutexes) find the list alive whatever the
// order in which the thread first used them.
struct OwnedMutexes {
    std::vector<std::shared_ptr<MutexState>> list;
};
thread_local OwnedMutexes* t_owned = nullptr;

// The ids are cached by the platform (asked again in a forked child).
DWORD ThreadId() { return GetCurrentThreadId(); }
DWORD ProcessId() { return GetCurrentProcessId(); }

void Abandon(MutexState& s, DWORD tid) {
    std::lock_guard lk(s.m);
    if (s.owner != tid) return;
    s.owner = 0;
    s.count = 0;
    if (s.shared == nullptr) s.abandoned = true;
    else pthread_mutex_unlock(&s.shared->owner);  // the record still says "owned"
    s.cv.notify_all();
}

void ReleaseOwned(void* p) {
    auto* owned = static_cast<OwnedMutexes*>(p);
    if (t_owned == owned) t_owned = nullptr;
    const DWORD tid = GetCurrentThreadId();
    for (auto& s : owned->list) Abandon(*s, tid);
    delete owned;  // a later use in this thread's exit makes a new list (and key value)
}

pthread_key_t OwnedKey() {
    static const pthread_key_t key = [] {
        pthread_key_t k;
        if (pthread_key_create(&k, ReleaseOwned) != 0) abort();
        return k;
    }();
    return key;
}

OwnedMutexes& Owned() {
    if (t_owned == nullptr) {
        auto* owned = new OwnedMutexes;
        if (pthread_setspecific(OwnedKey(), owned) != 0) abort();
        t_owned = owned;
    }
    return *t_owned;
}

// Maps the start of the mutex file (under the gate); `fresh`: no other process has the file, so
// that it is set up anew (a file left by processes that ended is made over too). False with
// the last error set.
bool MapShared(MutexState& s, bool fresh) {
    if (fresh && (ftruncate(s.fd, 0) != 0 || ftruncate(s.fd, sizeof(MutexShared)) != 0))
        return detail::FailErrno(errno);
    struct stat st{};
    if (fstat(s.fd, &st) != 0) return detail::FailErrno(errno);
    if (st.st_size < off_t(sizeof(MutexShared))) return detail::Fail(ERROR_INVALID_HANDLE);
    void* p = mmap(nullptr, sizeof(MutexShared), PROT_READ | PROT_WRITE, MAP_SHARED, s.fd, 0);
    if (p == MAP_FAILED) return detail::FailErrno(errno);
    s.shared = static_cast<MutexShared*>(p);
    if (!fresh) return TRUE;
    s.shared->record = MutexRecord{kRecordMagic, 0, 0, 0};
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    const int rc = pthread_mutex_init(&s.shared->owner, &attr);
    pthread_mutexattr_destroy(&attr);
    return rc == 0 ? TRUE : detail::FailErrno(rc);
}

// Other processes read and write the mapped words only while they hold the owner lock, which
// orders the accesses; the atomics keep each word whole.
uint32_t LoadWord(uint32_t& w) { return std::atomic_ref<uint32_t>(w).load(std::memory_order_relaxed); }
void StoreWord(uint32_t& w, uint32_t v) { std::atomic_ref<uint32_t>(w).store(v, std::memory_order_relaxed); }

bool RecordSaysOwned(MutexState& s) {
    MutexRecord& r = s.shared->record;
    return LoadWord(r.magic) == kRecordMagic && LoadWord(r.owned) == 1;
}

void StoreRecord(MutexState& s, const MutexRecord& r) {
    MutexRecord& to = s.shared->record;
    // "owned" is set last and cleared first: a process killed in between leaves no claim it
    // did not make.
    if (r.owned == 0) StoreWord(to.owned, 0);
    StoreWord(to.magic, r.magic);
    StoreWord(to.pid, r.pid);
    StoreWord(to.tid, r.tid);
    if (r.owned != 0) StoreWord(to.owned, r.owned);
}

// With the owner lock just taken: a record still saying "owned" was left by an owner that
// ended without releasing (abandoned); ours replaces it.
void TakeRecord(MutexState& s, bool& abandoned) {
    abandoned = RecordSaysOwned(s);
    StoreRecord(s, MutexRecord{kRecordMagic, 1, ProcessId(), ThreadId()});
}

// The result of taking the owner lock (0, or EOWNERDEAD: taken from a thread that ended
// holding it, which the record shows as well); any other: not taken.
int Took(MutexState& s, int rc, bool& abandoned) {
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(&s.shared->owner);
        rc = 0;
    }
    if (rc == 0) TakeRecord(s, abandoned);
    return rc;
}

// Called with s.m held; 0 when this thread now owns the owner lock, EBUSY when another has it.
int TryOwnerLock(MutexState& s, bool& abandoned) {
    return Took(s, pthread_mutex_trylock(&s.shared->owner), abandoned);
}

void TakeOwnership(MutexState& s, const std::shared_ptr<MutexState>& sp, DWORD tid) {
    s.owner = tid;
    s.count = 1;
    Owned().list.push_back(sp);
}

}  // namespace

DWORD WaitMutex(const std::shared_ptr<MutexState>& sp, DWORD ms) {
    MutexState& s = *sp;
    const DWORD tid = ThreadId();
    const bool infinite = ms == INFINITE;
    const auto deadline = infinite ? Clock::time_point{} : Clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock lk(s.m);
    if (s.owner == tid) {
        ++s.count;
        return WAIT_OBJECT_0;
    }
    auto freeInProcess = [&] { return s.owner == 0 && !s.acquiring; };
    auto waitInProcess = [&] {
        if (infinite) {
            s.cv.wait(lk, freeInProcess);
            return true;
        }
        return s.cv.wait_until(lk, deadline, freeInProcess);
    };
    if (!waitInProcess()) return WAIT_TIMEOUT;
    if (s.shared == nullptr) {
        const bool abandoned = s.abandoned;
        s.abandoned = false;
        TakeOwnership(s, sp, tid);
        return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    std::chrono::microseconds pause(500);
    for (;;) {
        bool abandoned = false;
        const int rc = TryOwnerLock(s, abandoned);
        if (rc == 0) {
            s.acquiring = false;
            TakeOwnership(s, sp, tid);
            return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
        if (rc != EBUSY) {
            s.acquiring = false;
            s.cv.notify_all();
            detail::FailErrno(rc);
            return WAIT_FAILED;
        }
        if (!infinite && Clock::now() >= deadline) {
            s.acquiring = false;
            s.cv.notify_all();
            return WAIT_TIMEOUT;
        }
        // Another process owns it. Our other threads stay out meanwhile.
        s.acquiring = true;
        lk.unlock();
        if (infinite) {  // the kernel wakes us when it is let go
            const int locked = pthread_mutex_lock(&s.shared->owner);
            lk.lock();
            s.acquiring = false;
            bool abandoned = false;
            if (Took(s, locked, abandoned) != 0) {
                s.cv.notify_all();
                detail::FailErrno(locked);
                return WAIT_FAILED;
            }
            TakeOwnership(s, sp, tid);
            return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
        auto nap = pause;
        if (!infinite) nap = std::min(nap, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()) + std::chrono::microseconds(1));
        std::this_thread::sleep_for(nap);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
        lk.lock();
    }
}

namespace {

HANDLE NewMutexHandle(std::shared_ptr<MutexState> s) {
    return detail::RegisterHandle(std::make_shared<MutexHandle>(std::move(s)));
}

}  // namespace

void MutexesAfterFork(Registry& r) {
    if (t_owned != nullptr) {
        for (auto& s : t_owned->list) r.orphans.push_back(s);
        t_owned->list.clear();
    }
}

}  // namespace win::sync

namespace win {

using namespace sync;

HANDLE CreateMutex(SECURITY_ATTRIBUTES* /*sa: NULL DACLs only*/, BOOL initialOwner, const char* name) {
    InstallForkHooks();
    if (!name) {
        auto s = std::make_shared<MutexState>();
        if (initialOwner) TakeOwnership(*s, s, ThreadId());
        HANDLE h = NewMutexHandle(std::move(s));
        SetLastError(ERROR_SUCCESS);
        return h;
    }
    bool existed = false;
    auto s = FindOrCreate(&Registry::mutexes, "mutex.", name, existed,
                          [&](const std::shared_ptr<MutexState>& st, bool other) {
        if (!MapShared(*st, !other)) return false;
        // An existing object does not give ownership.
        if (initialOwner && !other) {
            bool abandoned = false;
            std::lock_guard lk(st->m);
            if (TryOwnerLock(*st, abandoned) == 0) TakeOwnership(*st, st, ThreadId());
        }
        return true;
    });
    if (!s) return nullptr;
    HANDLE h = NewMutexHandle(std::move(s));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

HANDLE OpenMutex(DWORD /*access*/, BOOL /*inherit*/, const char* name) {
    InstallForkHooks();
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto objectPath = ObjectPath("mutex.", name);
    if (!objectPath) return nullptr;
    const std::string& path = *objectPath;
    Registry& reg = TheRegistry();
    std::lock_guard rl(reg.mutex);
    if (auto it = reg.mutexes.find(path); it != reg.mutexes.end()) {
        if (auto s = it->second.lock()) {
            HANDLE h = NewMutexHandle(std::move(s));
            SetLastError(ERROR_SUCCESS);
            return h;
        }
    }
    UniqueFd fd;
    std::unique_ptr<Gate> gate;
    if (!OpenGated(path, false, fd, gate)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto s = std::make_shared<MutexState>();
    s->name = name;
    s->path = path;
    {
        const std::unique_ptr<Gate> held = std::move(gate);  // until the end of this block
        if (!PresentElsewhere(fd.get())) {
            unlink(path.c_str());  // a file left by nobody
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        if (!detail::SetOfdLock(fd.get(), F_RDLCK, kPresenceByte, 1)) {
            detail::FailErrno(errno);
            return nullptr;
        }
        s->fd = fd.release();
        if (!MapShared(*s, false)) return nullptr;
    }
    Remember(reg.mutexes, path, s);
    HANDLE h = NewMutexHandle(std::move(s));
    SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto h = detail::Lookup<MutexHandle>(mutex, Kind::Mutex);
    if (!h) return FALSE;
    MutexState& s = *h->state;
    const DWORD tid = ThreadId();
    std::unique_lock lk(s.m);
    if (s.owner != tid || s.count == 0) return detail::Fail(ERROR_NOT_OWNER);
    if (--s.count > 0) return TRUE;
    if (s.shared != nullptr) {
        StoreRecord(s, MutexRecord{kRecordMagic, 0, 0, 0});
        pthread_mutex_unlock(&s.shared->owner);
    }
    s.owner = 0;
    s.cv.notify_all();
    lk.unlock();
    if (t_owned == nullptr) return TRUE;
    auto& list = t_owned->list;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->get() == &s) {
            list.erase(it);
            break;
        }
    }
    return TRUE;
}

}  // namespace win
