// API error codes and the mapping of recorded error information to them.
#pragma once

#include <cstdint>

#include "core/block.h"
#include "qvpapi.h"  // qvAPISetLastError, qvAPIGetLastError

// Error categories recorded in the block before the mapping.
constexpr int32_t kErrCategoryTransport = 0x10000;    // detail 1: 1 send, 2 receive
constexpr int32_t kErrCategoryRecord = 0x80000;       // FGET and ID request replies
constexpr int32_t kErrCategoryJobAccess = 0x100000;   // JPUT, JSCH, JEXC, JRTY, JDEL, DEXC
constexpr int32_t kErrCategoryInternal = -1;          // detail 1: 4 parameter, 8 resource
constexpr int32_t kInternalParameter = 4;
constexpr int32_t kInternalResource = 8;

namespace qvp {
// Records a category and two details; with a reply text the details are the numbers of its
// first two blank-separated words (a missing word or one that is not a number gives 0). At
// most 2048 bytes of the reply are parsed, terminated or not.
void qvAPISetErrorInfo(QVPAPI* block, int32_t category, const char* reply, int32_t detail1,
                       int32_t detail2);
// Maps the recorded category and details to an API error code and sets it as last error
// (pairs that set no code leave the last error unchanged). Returns the code (0 when none).
uint32_t qvAPISetErrorCode(QVPAPI* block);
uint32_t qvAPISetJobAccessErrorCode(QVPAPI* block);
}  // namespace qvp
// The pure table lookups behind the two functions above; `set` is false for pairs that set no
// code.
uint32_t qvpMapRecordReply(int32_t first, int32_t second, bool* set);
uint32_t qvpMapJobAccessReply(int32_t first, int32_t second, bool* set);
// The code the recorded category and details map to, without setting it; `set` as above.
uint32_t qvpMapRecordedError(const QVPAPI& block, bool* set);

namespace qvp {
// Puts the thread's last-error value back as it was on leaving the scope: for helpers (logs,
// memory) that must not disturb the code a caller is about to read.
class KeepLastError {
public:
    KeepLastError() : saved_(win::GetLastError()) {}
    ~KeepLastError() { win::SetLastError(saved_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

private:
    win::DWORD saved_;
};
}  // namespace qvp
