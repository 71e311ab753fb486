// The handle table: every handle is the address of a live heap object of this layer, tagged
// with a kind and a magic; closed, foreign or wrong-kind handles give 6, never a crash.
// Handles are not inherited by a forked child (as on Windows, where there is no fork): the
// child drops the table and the descriptors behind it, so it never shares an open-file
// description (and with it the parent's share-mode markers and locks).
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "platform/internal.h"

namespace win::detail {
namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<const void*, std::shared_ptr<Object>> live;
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: handles may be closed at exit
    return *table;
}

// Objects of the parent, kept reachable in a forked child (never used, never destroyed).
std::vector<std::shared_ptr<Object>>& Orphans() {
    static auto* orphans = new std::vector<std::shared_ptr<Object>>;
    return *orphans;
}

std::mutex& HooksMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::vector<ForkHooks>& Hooks() {
    static auto* hooks = new std::vector<ForkHooks>;
    return *hooks;
}

void TablePrepare() { TheTable().mutex.lock(); }
void TableParent() { TheTable().mutex.unlock(); }
void TableChild() {
    Table& t = TheTable();
    t.mutex.unlock();  // the child's only thread is the one that took it
    for (auto& [addr, obj] : t.live) {
        obj->AbandonAfterFork();
        Orphans().push_back(obj);
    }
    t.live.clear();
}

// The lock order of every mutex a fork hook takes. A thread holding one takes only those after
// it; the prepare step takes them all in this order, whatever order the modules registered in:
//   1. the hooks' own mutex: hooks are registered with none of the others held;
//   2. the named-object registry (ForkOrder::NamedObjects; held for lookups in memory only);
//   3. the settings store (ForkOrder::Settings);
//   4. the store-root cache (ForkOrder::StoreRoot);
//   5. the folder-name cache (ForkOrder::FolderNames);
//   6. the handle table, the innermost (modules register handles while holding their own).
// None of them is held across a wait on another process. The parent's and the child's steps
// unlock them in the reverse order (the child's only thread is the one that took them all).
void AtForkPrepare() {
    HooksMutex().lock();
    for (auto& h : Hooks())
        if (h.prepare) h.prepare();
    TablePrepare();
}
void AtForkParent() {
    TableParent();
    auto& hooks = Hooks();
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it)
        if (it->parent) it->parent();
    HooksMutex().unlock();
}
void AtForkChild() {
    ForgetIdsAfterFork();  // before any hook asks for them
    TableChild();
    auto& hooks = Hooks();
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it)
        if (it->child) it->child();
    HooksMutex().unlock();
}

}  // namespace

void InstallAtFork() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(AtForkPrepare, AtForkParent, AtForkChild); });
}

Object::~Object() { magic = 0; }

void RegisterForkHooks(const ForkHooks& hooks) {
    InstallAtFork();
    std::lock_guard lock(HooksMutex());
    auto& list = Hooks();
    const auto later = std::find_if(list.begin(), list.end(), [&](const ForkHooks& h) { return h.order > hooks.order; });
    list.insert(later, hooks);
}

HANDLE RegisterHandle(std::shared_ptr<Object> object) {
    InstallAtFork();
    Table& t = TheTable();
    HANDLE h = object.get();
    std::lock_guard lock(t.mutex);
    t.live.emplace(h, std::move(object));
    return h;
}

std::shared_ptr<Object> LookupHandle(HANDLE handle, Kind kind) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Table& t = TheTable();
    {
        std::lock_guard lock(t.mutex);
        auto it = t.live.find(handle);
        if (it != t.live.end() && it->second->magic == kObjectMagic && it->second->kind == kind) return it->second;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

std::shared_ptr<Object> UnregisterHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    auto it = t.live.find(handle);
    if (it == t.live.end()) return nullptr;
    auto obj = std::move(it->second);
    t.live.erase(it);
    return obj;
}

UniqueFd::~UniqueFd() { reset(); }
UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
}
void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

}  // namespace win::detail

namespace win {
BOOL CloseHandle(HANDLE handle) {
    auto obj = detail::UnregisterHandle(handle);
    if (!obj) return detail::Fail(ERROR_INVALID_HANDLE);
    return TRUE;  // the object (descriptor, locks, markers) goes with its last user
}
}  // namespace win
