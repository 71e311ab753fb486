// Named semaphores: the count in the object file's record, and one lock byte per unit a process
// has taken, so that the units of a process that died come back.
//
// The record is changed under the gate only. A unit a process took is its slot, and the slot is
// what counts: whoever next holds the gate finds fewer slots than the record's `held` and counts
// the difference back. So a slot let go without the gate gives its unit back all the same, once
// (the slot is gone for good, and the record says so from that next holder on). A release that
// finds the gate kept by another process (it is group-writable: another user may keep it) lets
// its slots go so, after a brief wait; only a release of more units than this process holds needs
// the record, and answers busy when the gate cannot be had, giving back nothing.
#include <algorithm>
#include <thread>

#include "platform/sync_objects.h"

namespace win::sync {

namespace {

// Units held by other processes: their slot locks, counted range by range.
int32_t HeldByOthers(int fd, int64_t lo, int64_t hi) {
    if (lo >= hi) return 0;
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = lo;
    fl.l_len = hi - lo;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) return 0;
    const int64_t s = std::max<int64_t>(fl.l_start, lo);
    const int64_t e = fl.l_len == 0 ? hi : std::min<int64_t>(fl.l_start + fl.l_len, hi);
    return int32_t(e - s) + HeldByOthers(fd, lo, s) + HeldByOthers(fd, e, hi);
}

// The record with units of dead processes (and slots let go without the gate) given back: to be
// written under the gate; without it, the count as last seen. A record another user emptied or
// spoilt is made anew from the slots: the units no process holds are free.
SemaphoreRecord Reconcile(SemaphoreState& s) {
    SemaphoreRecord r{};
    const bool known = ReadRecord(s.file.fd, r);
    const int32_t held = HeldByOthers(s.file.fd, kSlotBase, kSlotBase + kMaxSemaphoreCount) + int32_t(s.mine.size());
    if (!known) r = SemaphoreRecord{kRecordMagic, s.maximum, std::max(0, s.maximum - held), held};
    if (held < r.held) r.count = std::min(r.maximum, r.count + (r.held - held));
    r.held = held;
    return r;
}

// A holder keeps the gate for a few system calls: a release of units held as slots waits that
// long at most before it lets them go without the gate, and a wait tries the gate that long at a
// time, whatever its time left. It tries with the object's mutex held, so no longer: a release
// by another thread of this process waits for that mutex.
constexpr Clock::duration kGateTurn = std::chrono::milliseconds(1);

// One try; true when a unit was taken.
bool TryTakeUnit(SemaphoreState& s) {
    if (s.file.fd < 0) {
        if (s.localCount <= 0) return false;
        --s.localCount;
        return true;
    }
    const Gate gate(s.file.fd, kGateTurn);
    if (!gate.held()) return false;
    SemaphoreRecord r = Reconcile(s);
    if (r.count <= 0) {
        WriteRecord(s.file.fd, r);
        return false;
    }
    for (int64_t slot = kSlotBase; slot < kSlotBase + kMaxSemaphoreCount; ++slot) {
        if (std::find(s.mine.begin(), s.mine.end(), slot) != s.mine.end()) continue;
        if (!detail::SetOfdLock(s.file.fd, F_WRLCK, slot, 1)) continue;
        s.mine.push_back(slot);
        --r.count;
        ++r.held;
        WriteRecord(s.file.fd, r);
        return true;
    }
    WriteRecord(s.file.fd, r);
    return false;
}

}  // namespace

DWORD WaitSemaphore(SemaphoreState& s, DWORD ms) {
    const bool infinite = ms == INFINITE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : ms);
    std::chrono::microseconds pause(500);
    for (;;) {
        {
            std::lock_guard lk(s.m);
            if (TryTakeUnit(s)) return WAIT_OBJECT_0;
        }
        if (!infinite && Clock::now() >= deadline) return WAIT_TIMEOUT;
        auto nap = pause;
        if (!infinite) nap = std::min(nap, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()) + std::chrono::microseconds(1));
        std::this_thread::sleep_for(nap);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
}

}  // namespace win::sync

namespace win {

using namespace sync;

HANDLE CreateSemaphore(SECURITY_ATTRIBUTES* /*sa*/, LONG initialCount, LONG maximumCount, const char* name) {
    InstallForkHooks();
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const LONG maximum = std::min(maximumCount, kMaxSemaphoreCount);
    const LONG initial = std::min(initialCount, maximum);
    if (!name) {
        auto s = std::make_shared<SemaphoreState>();
        s->maximum = maximum;
        s->localCount = initial;
        HANDLE h = detail::RegisterHandle(std::make_shared<SemaphoreHandle>(std::move(s)));
        SetLastError(ERROR_SUCCESS);
        return h;
    }
    bool existed = false;
    auto s = FindOrCreate(&Registry::semaphores, "semaphore.", name, true, existed,
                          [&](const std::shared_ptr<SemaphoreState>& st, bool other) {
        SemaphoreRecord r{};
        if (other && ReadRecord(st->file.fd, r)) {
            st->maximum = r.maximum;
        } else {
            st->maximum = maximum;
            // Another process's object whose record was spoilt is made anew from its slots.
            if (!other) WriteRecord(st->file.fd, SemaphoreRecord{kRecordMagic, maximum, initial, 0});
        }
        return true;
    });
    if (!s) return nullptr;
    HANDLE h = detail::RegisterHandle(std::make_shared<SemaphoreHandle>(std::move(s)));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
    auto h = detail::Lookup<SemaphoreHandle>(semaphore, Kind::Semaphore);
    if (!h) return FALSE;
    if (releaseCount <= 0) return detail::Fail(ERROR_INVALID_PARAMETER);
    SemaphoreState& s = *h->state;
    std::lock_guard lk(s.m);
    if (s.file.fd < 0) {
        if (int64_t{s.localCount} + releaseCount > s.maximum) return detail::Fail(ERROR_TOO_MANY_POSTS);
        if (previousCount) *previousCount = s.localCount;
        s.localCount += releaseCount;
        return TRUE;
    }
    const bool slotsOnly = releaseCount <= LONG(s.mine.size());
    const Gate gate(s.file.fd, slotsOnly ? kGateTurn : kGateBound);
    if (!gate.held() && !slotsOnly) return detail::Fail(detail::kErrorBusy);
    SemaphoreRecord r = Reconcile(s);
    if (int64_t{r.count} + releaseCount > r.maximum) {
        if (gate.held()) WriteRecord(s.file.fd, r);
        return detail::Fail(ERROR_TOO_MANY_POSTS);
    }
    if (previousCount) *previousCount = r.count;
    r.count += releaseCount;
    // Give back the units this process took, as many as are released.
    for (LONG i = 0; i < releaseCount && !s.mine.empty(); ++i) {
        detail::SetOfdLock(s.file.fd, F_UNLCK, s.mine.back(), 1);
        s.mine.pop_back();
        --r.held;
    }
    // Without the gate the record stays as it was: its next holder counts the slots back.
    if (gate.held()) WriteRecord(s.file.fd, r);
    return TRUE;
}

}  // namespace win
