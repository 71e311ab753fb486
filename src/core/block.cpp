// The per-thread block: created on a thread's first call, released when the thread ends.
#include "core/block.h"

#include <mutex>
#include <new>
#include <vector>

#include "core/log.h"
#include "core/memory.h"

namespace {

constexpr uint32_t kBaseRecordSizes[kQvpRecordSizeSlots] = {960, 416, 256, 452, 944, 0, 0, 0};

std::mutex gHooksMutex;
std::vector<QvpSessionReleaseHook>& Hooks() {
    static auto* hooks = new std::vector<QvpSessionReleaseHook>();  // outlives thread exits
    return *hooks;
}
QvpSessionCloser gCloser = nullptr;

// Releases the block when its thread ends: closes a session left open (which abandons the
// named objects the thread owns and runs the release hooks), then frees what is left.
struct BlockHolder {
    QVPAPI* block = nullptr;
    ~BlockHolder();
};

thread_local BlockHolder tHolder;
// Set once the holder has gone: a call made later in the thread's exit has no block.
thread_local bool tReleased = false;
thread_local bool tFailCreation = false;

void ReleaseBlock(QVPAPI* block) {
    QvpSessionCloser closer;
    {
        std::lock_guard lock(gHooksMutex);
        closer = gCloser;
    }
    if (closer != nullptr && block->link != QvpLink::None) {
        closer(*block);
    } else {
        qvpRunSessionReleaseHooks(*block);
    }
    qvpCloseBlockLogs(*block);
    if (block->arena != nullptr) qvp::DestroyArena(block->arena);
    block->arena = nullptr;
    delete block;
}

BlockHolder::~BlockHolder() {
    tReleased = true;
    if (block != nullptr) {
        QVPAPI* b = block;
        block = nullptr;
        ReleaseBlock(b);
    }
}

}  // namespace

QVPAPI* qvpGetThreadBlock() {
    if (tHolder.block != nullptr) return tHolder.block;
    if (tReleased || tFailCreation) return nullptr;
    win::registry::Load();
    auto* block = new (std::nothrow) QVPAPI();
    if (block == nullptr) return nullptr;
    block->ownerThreadId = win::GetCurrentThreadId();
    qvpResetRecordSizes(*block);
    tHolder.block = block;
    return block;
}

QVPAPI* qvpPeekThreadBlock() { return tReleased ? nullptr : tHolder.block; }

bool qvpIsOwnBlock(const void* handle) {
    return handle != nullptr && handle == qvpPeekThreadBlock();
}

void qvpCloseBlockLogs(QVPAPI& block) {
    if (block.dllLogId != 0) qvpLogClose(block.dllLogId);
    if (block.nodeLogId != 0) qvpLogClose(block.nodeLogId);
    block.dllLogId = 0;
    block.nodeLogId = 0;
}

void qvpResetRecordSizes(QVPAPI& block) {
    block.apiLevel = 0;
    for (int i = 0; i < kQvpRecordSizeSlots; ++i) block.recordSizes[i] = kBaseRecordSizes[i];
}

void qvpResetBlock(QVPAPI& block) {
    if (block.arena != nullptr) qvp::DestroyArena(block.arena);
    const win::DWORD owner = block.ownerThreadId;
    block.~QVPAPI();
    new (&block) QVPAPI();
    block.ownerThreadId = owner;
    qvpResetRecordSizes(block);
}

void qvpFailBlockCreationForTesting(bool fail) { tFailCreation = fail; }

void qvpRegisterSessionReleaseHook(QvpSessionReleaseHook hook) {
    std::lock_guard lock(gHooksMutex);
    Hooks().push_back(hook);
}

void qvpRunSessionReleaseHooks(QVPAPI& block) {
    std::vector<QvpSessionReleaseHook> hooks;
    {
        std::lock_guard lock(gHooksMutex);
        hooks = Hooks();
    }
    for (QvpSessionReleaseHook hook : hooks) hook(block);
}

void qvpSetSessionCloser(QvpSessionCloser closer) {
    std::lock_guard lock(gHooksMutex);
    gCloser = closer;
}
