// The locks every node-definition and node-group writer holds for its whole call: the
// machine-wide ZARNQVAUTOSYSGEN_SEMAPHORE (unless the thread holds it already) and the
// ZARNQV.MNGFL.NODEDEF mutex, taken without waiting.
#pragma once

#include <cstdint>

#include "core/block.h"
#include "platform/win.h"

namespace qvp::nodes {

inline constexpr char kNodeSemaphoreName[] = "ZARNQVAUTOSYSGEN_SEMAPHORE";
inline constexpr char kNodeDefMutexName[] = "ZARNQV.MNGFL.NODEDEF";

class NodeWriterGuard {
public:
    explicit NodeWriterGuard(QVPAPI& block) : block_(block) {}
    NodeWriterGuard(const NodeWriterGuard&) = delete;
    NodeWriterGuard& operator=(const NodeWriterGuard&) = delete;
    ~NodeWriterGuard() { Release(); }

    // Takes both; 0, or the API error code (0x20100000 no semaphore, 0x20000020 mutex busy).
    // While held, the block's semaphore-held flag is set so that nested writers do not wait on
    // the semaphore a second time.
    uint32_t Acquire();
    void Release();

private:
    QVPAPI& block_;
    win::HANDLE semaphore_ = nullptr;
    bool semaphoreTaken_ = false;
    bool previousHeld_ = false;
    win::HANDLE mutex_ = nullptr;
    bool mutexTaken_ = false;
};

}  // namespace qvp::nodes
