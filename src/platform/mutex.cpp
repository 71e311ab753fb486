// Named mutexes: recursive for the owning thread, abandoned by an owner that ends without
// releasing them (a thread here, or a thread or process elsewhere).
//
// A mutex file is a pipe. Its owner lock is the file's flock, which the kernel lets go when its
// holder ends; the pipe holds one byte (the token) while the mutex is free and was let go by its
// owner. Taking the mutex takes the token with the lock and letting it go puts the token back
// before the lock, so an owner that ends without letting go leaves no token: the next owner
// finds the mutex abandoned. Nothing is mapped and no content is trusted: whatever another
// writer of the folder does to the file costs at most a mutex seen as abandoned, or one that
// answers busy. A free mutex costs four system calls (lock, read, write, unlock); one taken
// unmarked (WaitForMutexUnmarked, for holders to whom abandoned and free are one) costs two.
#include <pthread.h>

#include <algorithm>
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

// The id is cached by the platform (asked again in a forked child).
DWORD ThreadId() { return GetCurrentThreadId(); }

// The token taken (with bytes another writer added); false when there was none.
bool TakeToken(int fd) {
    char bytes[64];
    ssize_t n;
    while ((n = read(fd, bytes, sizeof bytes)) < 0 && errno == EINTR) {
    }
    return n > 0;
}

// The token put back; a pipe that another writer filled takes none, which does no harm.
void PutToken(int fd) {
    const char token = 1;
    while (write(fd, &token, 1) < 0 && errno == EINTR) {
    }
}

void Abandon(MutexState& s, DWORD tid) {
    std::lock_guard lk(s.m);
    if (s.owner != tid) return;
    s.owner = 0;
    s.count = 0;
    if (s.file.fd < 0) s.abandoned = true;
    else flock(s.file.fd, LOCK_UN);  // without the token
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

// A mutex no other process has: set up anew, free and let go (a pipe that processes which
// ended had open is empty already; what another writer put in it goes).
void SetUpFresh(int fd) {
    for (int reads = 0; reads < 1024 && TakeToken(fd); ++reads) {
    }
    PutToken(fd);
}

// Called with s.m held; 0 when this process now holds the owner lock, EWOULDBLOCK when another
// does. `abandoned`: the owner before did not let go (asked only when `marked`).
int TryOwnerLock(MutexState& s, bool& abandoned, bool marked = true) {
    while (flock(s.file.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) return errno;
    }
    abandoned = marked && !TakeToken(s.file.fd);
    return 0;
}

// `marked`: the token was taken, and goes back when the owner lets go.
void TakeOwnership(MutexState& s, const std::shared_ptr<MutexState>& sp, DWORD tid, bool marked = true) {
    s.owner = tid;
    s.count = 1;
    s.marked = marked;
    Owned().list.push_back(sp);
}

}  // namespace

DWORD WaitMutex(const std::shared_ptr<MutexState>& sp, DWORD ms, bool marked) {
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
    if (s.file.fd < 0) {
        const bool abandoned = s.abandoned && marked;
        s.abandoned = s.abandoned && !marked;
        TakeOwnership(s, sp, tid, marked);
        return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    std::chrono::microseconds pause(500);
    for (;;) {
        bool abandoned = false;
        const int rc = TryOwnerLock(s, abandoned, marked);
        if (rc == 0) {
            s.acquiring = false;
            TakeOwnership(s, sp, tid, marked);
            return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
        if (rc != EWOULDBLOCK) {
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
            int locked;
            while ((locked = flock(s.file.fd, LOCK_EX)) != 0 && errno == EINTR) {
            }
            const int err = errno;
            lk.lock();
            s.acquiring = false;
            if (locked != 0) {
                s.cv.notify_all();
                detail::FailErrno(err);
                return WAIT_FAILED;
            }
            const bool abandoned = marked && !TakeToken(s.file.fd);
            TakeOwnership(s, sp, tid, marked);
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
    auto s = FindOrCreate(&Registry::mutexes, "mutex.", name, true, existed,
                          [&](const std::shared_ptr<MutexState>& st, bool other) {
        if (other) return true;  // an existing object does not give ownership
        SetUpFresh(st->file.fd);
        if (initialOwner) {
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
    bool existed = false;
    auto s = FindOrCreate(&Registry::mutexes, "mutex.", name, false, existed,
                          [](const std::shared_ptr<MutexState>&, bool) { return true; });
    if (!s) return nullptr;
    HANDLE h = NewMutexHandle(std::move(s));
    SetLastError(ERROR_SUCCESS);
    return h;
}

DWORD WaitForMutexUnmarked(HANDLE mutex, DWORD milliseconds) {
    auto h = detail::Lookup<MutexHandle>(mutex, Kind::Mutex);
    return h ? WaitMutex(h->state, milliseconds, false) : WAIT_FAILED;
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto h = detail::Lookup<MutexHandle>(mutex, Kind::Mutex);
    if (!h) return FALSE;
    MutexState& s = *h->state;
    const DWORD tid = ThreadId();
    std::unique_lock lk(s.m);
    if (s.owner != tid || s.count == 0) return detail::Fail(ERROR_NOT_OWNER);
    if (--s.count > 0) return TRUE;
    if (s.file.fd >= 0) {
        if (s.marked) PutToken(s.file.fd);  // before the lock: a taker between the two finds it let go
        flock(s.file.fd, LOCK_UN);
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
