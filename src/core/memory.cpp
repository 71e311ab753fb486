// Session memory: every block a session allocates is known to its arena, so that a pointer of
// another thread or of no arena is refused and everything goes when the session closes.
#include "core/memory.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

#include "core/block.h"
#include "core/errors.h"
#include "platform/win.h"

namespace qvp {

class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        for (auto& [pointer, size] : blocks_) std::free(pointer);
    }

    void* Alloc(size_t size) {
        void* p = std::calloc(1, size == 0 ? 1 : size);
        if (p == nullptr) return nullptr;
        try {
            blocks_.emplace(p, size);
        } catch (...) {
            std::free(p);
            return nullptr;
        }
        return p;
    }

    void* ReAlloc(void* pointer, size_t size) {
        auto it = blocks_.find(pointer);
        if (it == blocks_.end()) return nullptr;
        const size_t old = it->second;
        void* p = std::realloc(pointer, size == 0 ? 1 : size);
        if (p == nullptr) return nullptr;  // the old block stays valid
        if (size > old) std::memset(static_cast<char*>(p) + old, 0, size - old);
        auto node = blocks_.extract(it);  // reuse the node: no allocation after the realloc
        node.key() = p;
        node.mapped() = size;
        blocks_.insert(std::move(node));
        return p;
    }

    bool Free(void* pointer) {
        auto it = blocks_.find(pointer);
        if (it == blocks_.end()) return false;
        std::free(pointer);
        blocks_.erase(it);
        return true;
    }

    size_t count() const { return blocks_.size(); }

private:
    std::unordered_map<void*, size_t> blocks_;
};

Arena* CreateArena() { return new (std::nothrow) Arena(); }
void DestroyArena(Arena* arena) { delete arena; }

}  // namespace qvp

namespace {

using qvp::KeepLastError;

// The calling thread's arena; a thread that allocates before opening a session gets one too
// (it goes with the block, or is replaced when a session opens).
qvp::Arena* ThreadArena(bool create) {
    QVPAPI* block = create ? qvpGetThreadBlock() : qvpPeekThreadBlock();
    if (block == nullptr) return nullptr;
    if (block->arena == nullptr && create) block->arena = qvp::CreateArena();
    return block->arena;
}

}  // namespace

void* qvpAPIAlloc(size_t size) {
    KeepLastError keep;
    qvp::Arena* arena = ThreadArena(true);
    return arena == nullptr ? nullptr : arena->Alloc(size);
}

void* qvpAPIReAlloc(void* pointer, size_t size) {
    if (pointer == nullptr) return qvpAPIAlloc(size);
    KeepLastError keep;
    qvp::Arena* arena = ThreadArena(false);
    return arena == nullptr ? nullptr : arena->ReAlloc(pointer, size);
}

void qvpAPIFree(void* pointer) {
    if (pointer == nullptr) return;
    KeepLastError keep;
    qvp::Arena* arena = ThreadArena(false);
    if (arena != nullptr) arena->Free(pointer);
}

size_t qvpArenaBlockCountForTesting() {
    qvp::Arena* arena = ThreadArena(false);
    return arena == nullptr ? 0 : arena->count();
}
