// The per-thread API block: every call's session. Created zeroed on a thread's first call,
// cleared and filled by qvAPIOpen, released at thread exit. The buffers keep the sizes that
// callers, files and the manager see; the rest is the library's own.
#pragma once

#include <cstdint>

#include "platform/win.h"

namespace qvp {
class Arena;
}

constexpr size_t kQvpBufferSize = 2048;   // request, reply and current-record buffers
constexpr int kQvpRecordSizeSlots = 8;

// Record-size slots set by qvAPIExpandLevel.
enum QvpRecordSizeSlot : int {
    kSlotNode = 0,          // QVAPI_NODE
    kSlotJobGenNode = 1,    // QVAPI_JOBGEN_NODE
    kSlotNodeJob = 2,       // QVAPI_NODE_JOB
    kSlotNodeJobEx = 3,     // QVAPI_NODE_JOB_EX
    kSlotPackageJob = 4,    // QVAPI_PACKAGE_JOB
};

// How the session reaches the manager.
enum class QvpLink : uint8_t {
    None = 0,        // no session open
    Connected = 1,   // socket open
    Socketless = 2,  // "CONNECTA 52": local files answer what has a file variant
    Broken = 3,      // a transport or framing error: requests fail at once until close
};

// Manager record kinds: one cursor each per session.
enum QvpRecordKind : int { kKindM = 0, kKindA = 1, kKindE = 2, kKindS = 3, kKindCount = 4 };

struct QvpCursor {
    bool pending = false;  // a positioning reply waits to be returned by the next GetNext
    bool open = false;
    void* local = nullptr;  // local file engine's walk state (socketless sessions)
};

// What the connection received beyond the message taken last (a whole frame is read in one
// receive where it has arrived whole), and the receive time-out the socket carries now.
struct QvpReceiveAhead {
    char bytes[kQvpBufferSize];
    uint32_t begin = 0;
    uint32_t end = 0;
    win::DWORD socketTimeoutMs = win::INFINITE;  // a new socket waits without bound
};

struct QVPAPI {
    // --- session and transport
    QvpLink link = QvpLink::None;
    int socket = -1;              // below 0 without a socket
    QvpReceiveAhead ahead;        // belongs to `socket`: reset with the block
    int lastSendRecvResult = 0;
    win::DWORD openerThreadId = 0;
    win::DWORD ownerThreadId = 0;  // the thread this block belongs to
    uint32_t accessMode = 0;
    char hostName[256] = {};
    qvp::Arena* arena = nullptr;

    // --- logs (ids from qvpLogOpen; 0 = not open)
    int dllLogId = 0;
    int nodeLogId = 0;

    // --- error state: category and two details, mapped by qvAPISetErrorCode
    int32_t errorCategory = 0;
    int32_t errorDetail1 = 0;
    int32_t errorDetail2 = 0;

    // --- settings copied at open
    uint8_t systemManagementKey = 0;  // 0 host name, 1 IP address
    win::DWORD receiveTimeoutMs = win::INFINITE;  // bound of one manager reply (ReceiveTimeout)

    // --- manager message buffers
    char requestBuffer[kQvpBufferSize] = {};
    char replyBuffer[kQvpBufferSize] = {};
    char fgetReplyBuffer[kQvpBufferSize] = {};  // second reply buffer
    alignas(8) char currentRecord[kQvpBufferSize] = {};  // records are read through their structs
    uint32_t replyLength = 0;
    uint32_t fgetReplyLength = 0;
    uint32_t currentRecordLength = 0;  // what the reply's item delivered into currentRecord

    // --- record cursors (M, A, E, S)
    QvpCursor cursors[kKindCount] = {};
    char* statusNodeFilter = nullptr;  // escaped node name, arena memory

    // --- API level and record sizes
    uint32_t apiLevel = 0;
    uint32_t recordSizes[kQvpRecordSizeSlots] = {};

    // --- handshake results
    uint32_t divisionalTransferSize = 0;      // 1..0x7FFFFFFF, 0 when none
    uint32_t divisionalTransferInterval = 0;  // 1..1440, 0 when none

    // --- find slots, NULL when no enumeration of the family runs
    void* nodeDefinitionFind = nullptr;
    void* guiNameFind = nullptr;
    void* nodeGroupMemberFind = nullptr;
    void* cabinetFind = nullptr;
    void* packageFind = nullptr;
    void* insPackageFind = nullptr;
    void* jobGenFind = nullptr;
    void* nodeEntryFind = nullptr;
    void* packageEntryFind = nullptr;
    void* jobWalk = nullptr;
    void* nodeJobWalk = nullptr;
    void* packageJobWalk = nullptr;
    void* packageJobData = nullptr;
    void* idJobFind = nullptr;
    void* keepIdJobFind = nullptr;
    void* clientIdJobFind = nullptr;
    void* clientNodeIdJobFind = nullptr;
    void* clientPackageIdJobFind = nullptr;
    void* idGroupFind = nullptr;
    void* idClientFind = nullptr;
    void* idMasterFind = nullptr;
    void* queries = nullptr;  // the live query objects of the session (arena memory)

    // --- JobGen and jobs
    void* openJobGen = nullptr;   // QVPAPI_JOBGEN_EDIT of the open JobGen
    void* pendingJob = nullptr;   // pending job-creation state
    char* storedHost = nullptr;   // host text while a stored JobGen re-adds its entries
    uint32_t packageListNumber = 0;

    // --- system information and automatic registration
    uint8_t sysInfoType = 0;
    uint8_t sysInfoSubtype = 0;
    char sysInfoNodeName[65] = {};
    bool semaphoreHeld = false;  // ZARNQVAUTOSYSGEN_SEMAPHORE held by this thread
    uint8_t hostIdUse = 0;
    win::SYSTEMTIME registrationTime = {};
    uint8_t idOperateFlag = 0;
};

// The calling thread's block, created zeroed on first use; nullptr only when none can be had.
QVPAPI* qvpGetThreadBlock();
// Whether `handle` is the calling thread's own block (find and JobGen handles are checked so).
bool qvpIsOwnBlock(const void* handle);
// Session-release hooks that later layers register (discard an open JobGen, roll back a pending
// job, end enumerations). They run at close and at thread exit, in registration order.
using QvpSessionReleaseHook = void (*)(QVPAPI& block);
void qvpRegisterSessionReleaseHook(QvpSessionReleaseHook hook);
void qvpRunSessionReleaseHooks(QVPAPI& block);
// Installed by the session layer: closes an open session (used at thread exit).
using QvpSessionCloser = void (*)(QVPAPI& block);
void qvpSetSessionCloser(QvpSessionCloser closer);

// The calling thread's block if it has one; never creates it.
QVPAPI* qvpPeekThreadBlock();
// Closes the block's DLL.LOG and NODE.LOG ids (those that are open) and forgets them.
void qvpCloseBlockLogs(QVPAPI& block);
// Base-level record sizes (slot 0 960, 1 416, 2 256, 3 452, 4 944), level 0.
void qvpResetRecordSizes(QVPAPI& block);
// Clears the block for a new session (qvAPIOpen): the arena of an earlier session or of calls
// made before the open is destroyed, everything else goes back to its zero state with the
// base-level record sizes; the owner thread id is kept.
void qvpResetBlock(QVPAPI& block);
// Tests: makes the next block creations of the calling thread fail as when memory runs out.
void qvpFailBlockCreationForTesting(bool fail);
