// Logs: <PathName>\LOG\<name>, one row of the log table per file.
//
// A record is fixed-length, blank-padded and ended by CR LF:
//   "%010u %04u/%02u/%02u %02u:%02u:%02u.%03u %08u %08u %08u %-8.8s <message>"
//   sequence number in the current generation, local date and time with milliseconds, process,
//   thread and terminal-session ids (Linux has no terminal sessions: 0), the module tag. The
//   message is cut on a character boundary where the record ends.
//
// Settings (library section), per log with the stem of its file name (DLL, NODE, NODEOPR,
// CLIENT, USER_CLT, DEFAULT):
//   <stem>LogRecordSize   record length in bytes with CR LF, 128 to 8192, default 1152
//   <stem>LogRecordCount  records per generation, 1 to 10000000, default 10000 for DLL and
//                         NODE, 5000 for the others
//   LogGenCount           generations kept, the current one included, 1 to 99, default 3:
//                         <name>, <name>.1 (the previous one) ... <name>.<LogGenCount - 1>
// A log is rotated when the next record would pass its record count. Every write takes the
// log's named mutex, so that processes sharing the data root append and rotate in turn; taken
// unmarked (one system call to take, one to let go): a writer that died holding it left nothing
// that the next one must know of. Every record goes in as an append (O_APPEND), so that no
// writer, with the mutex or without, ever writes over another's record.
//
// A log whose mutex cannot be had (an object at its name that cannot be mended, its presence
// byte locked by another user) still gets its records, each one append of its own, and is not
// rotated meanwhile (a rotation could cut another writer's record); the event log says why,
// once until the mutex can be had again. A mutex that could not be made is tried again a
// minute later, not at every record. Two bytes far past any record keep such writers and a
// rotation that empties the file in place apart: the rotation holds the rotation mark and the
// append gate from its last look at the file's size until the file is empty, and a writer
// without the mutex appends holding one of them, so no rotation ever cuts its records. The
// writer tries the mark for a while, then the gate; it waits only while both are kept (as the
// others wait for the mutex). A rotation that cannot have both within a few tries shifts and
// empties nothing and is tried again a few records later: another user who keeps one of them
// holds up no record, only the rotation (the log grows meanwhile); one who keeps both holds up
// those writers, as one who holds the mutex holds up the others.
//
// Each process keeps its handle of a log open while the log has users, so that a record costs
// one append and no open. Rotation, under the named mutex, shifts the older generations and
// renames the current file to <name>.1 when no other handle holds it; otherwise (a file that
// other handles hold cannot be renamed) it copies the current file (one generation at most) to
// a temporary beside it, renames that to <name>.1 once whole and empties the file in place.
// Every holder appends at the file's end under the same mutex, so it goes on at the start of
// the new generation with nothing to reopen. A rotation killed part way leaves every
// generation whole: a half copy stays under its temporary name until the next rotation takes
// it away, and a generation missing after the shift is filled by the next one, no other lost.
// A handle is opened again only when the log's path changed, the file was removed behind our
// back, or the process is a forked child (whose handles the platform drops).
#include "core/log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/block.h"
#include "core/errors.h"
#include "core/fileutil.h"
#include "core/handles.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/temp_file.h"
#include "platform/win.h"

namespace {

struct LogRow {
    const char* fileName;
    const char* stem;  // names the row's settings
    int defaultRecordCount;
};

constexpr LogRow kLogTable[] = {
    {"DLL.LOG", "DLL", 10000},          {"NODE.LOG", "NODE", 10000},
    {"NODEOPR.LOG", "NODEOPR", 5000},   {"CLIENT.LOG", "CLIENT", 5000},
    {"USER_CLT.LOG", "USER_CLT", 5000}, {"DEFAULT.LOG", "DEFAULT", 5000},
};
constexpr int kLogRows = static_cast<int>(sizeof(kLogTable) / sizeof(kLogTable[0]));
constexpr int kDefaultRow = kLogRows - 1;
constexpr int kDllRow = 0;
constexpr const char kSettingsTag[] = "dll";

constexpr const char kMutexPrefix[] = "QVPAPI.LOG.";
constexpr const char kRecordSizeSetting[] = "LogRecordSize";
constexpr const char kRecordCountSetting[] = "LogRecordCount";
constexpr int kDefaultRecordSize = 1152;
constexpr int kMinRecordSize = 128;
constexpr int kMaxRecordSize = 8192;
constexpr int kMaxRecordCount = 10000000;
// The header: "%010u %04u/%02u/%02u %02u:%02u:%02u.%03u %08u %08u %08u %-8.8s " (FormatHeader).
constexpr win::DWORD kTerminalSession = 0;

// A record waiting for the thread that writes the log's next batch.
struct PendingRecord {
    size_t offset = 0;  // of its message in the batch's text
    size_t length = 0;
    char tag[9] = {};   // at most the 8 characters the header shows
    win::DWORD thread = 0;
};

struct Batch {
    std::string texts;
    std::vector<PendingRecord> records;
    void clear() {
        texts.clear();
        records.clear();
    }
};

struct LogState {
    std::mutex mutex;
    int uses = 0;
    bool configured = false;
    std::string directory;
    std::string path;
    uint32_t recordSize = kDefaultRecordSize;
    uint32_t recordCount = 0;
    int generations = 3;
    // The handles below belong to the process that made them: a forked child starts afresh.
    win::DWORD process = 0;
    win::HANDLE lock = nullptr;  // the cross-process mutex, kept while the settings stay
    std::string lockDirectory;   // the run-time directory `lock` was made in
    bool lockMissingSaid = false;  // the event log was told that the mutex cannot be had
    bool lostSaid = false;         // ... and that the file could not be opened either
    bool lockNotMade = false;      // the mutex could not be made: not tried again for a while
    win::DWORD lockNotMadeAt = 0;  // tick of that try
    std::string lockFailure;       // why the mutex could not be made or had, for the event log
    qvp::FileHandle file;        // the current generation, open while the log has users
    std::string openPath;        // the path `file` was opened at
    int rotationPause = 0;       // records to write before trying a failed rotation again
    bool appendGateKept = false;  // the file's append gate was last found kept by another
    bool rotationMarkKept = false;  // ... and its rotation mark
    int rotationsHeldOff = 0;  // rotations in a row that could not hold off the writers without the mutex
    std::string record;          // the records being written, reused
    // Records queued while another thread writes (queueMutex); the writer's batch is its own.
    std::mutex queueMutex;
    Batch queued;
    Batch writingBatch;
    uint64_t enqueued = 0;  // records queued so far
    std::atomic<uint64_t> written{0};  // records whose batch has been written (or given up)
    bool writing = false;
    win::DWORD queueProcess = 0;  // the process the queue belongs to
};

LogState& State(int row) {
    static auto* states = new LogState[kLogRows];  // used until the last thread has ended
    return states[row];
}

void Configure(int row, LogState& state) {
    const LogRow& r = kLogTable[row];
    char directory[win::MAX_PATH];
    qvpMakeLogPath(directory);
    state.directory = directory;
    const std::string path = state.directory + "\\" + r.fileName;
    if (path != state.path) {
        // A rotation put off for another file is not this one's to put off.
        state.rotationPause = 0;
        state.rotationsHeldOff = 0;
    }
    state.path = path;
    const std::string stem = r.stem;
    state.recordSize = static_cast<uint32_t>(qvpRegGetInt((stem + kRecordSizeSetting).c_str(),
                                                          kDefaultRecordSize, kMinRecordSize,
                                                          kMaxRecordSize));
    state.recordCount = static_cast<uint32_t>(qvpRegGetInt((stem + kRecordCountSetting).c_str(),
                                                           r.defaultRecordCount, 1, kMaxRecordCount));
    state.generations = qvpRegGetLogGenCount();
    state.configured = true;
    // The named mutex lives in the run-time directory of the settings: a mutex of another
    // directory would not keep out the processes that use this one.
    const std::string runDirectory = win::RunDirectory();
    if (runDirectory != state.lockDirectory) {
        state.lockNotMade = false;  // another folder's lock is tried at once, and said anew
        state.lockMissingSaid = false;
        state.lostSaid = false;
        if (state.process == win::GetCurrentProcessId()) {
            if (state.lock != nullptr) win::CloseHandle(state.lock);
            state.lock = nullptr;
        }
    }
    state.lockDirectory = runDirectory;
}

// Holds the log's named mutex for one batch of records (unmarked: an abandoned one is as good).
class CrossProcessLock {
public:
    explicit CrossProcessLock(win::HANDLE mutex) : mutex_(mutex) {
        if (mutex_ == nullptr) return;
        held_ = win::WaitForMutexUnmarked(mutex_, win::INFINITE) == win::WAIT_OBJECT_0;
    }
    ~CrossProcessLock() {
        if (held_) win::ReleaseMutex(mutex_);
    }
    CrossProcessLock(const CrossProcessLock&) = delete;
    CrossProcessLock& operator=(const CrossProcessLock&) = delete;
    bool held() const { return held_; }

private:
    win::HANDLE mutex_;
    bool held_ = false;
};

constexpr win::DWORD kCopyChunk = 64 * 1024;
// After a rotation that could not be done (a generation held by a reader, a full disk), the
// log grows on for this many records before the next try rather than copying at every record.
constexpr int kRotationRetryPause = 64;
// After one that could not hold off the writers without the mutex (one of them stopped by the
// machine in the middle of its batch, or another user keeping the gate or the mark), this many,
// so that the log grows past its generation as little as can be: a held file is copied two
// generations at most. Past a few such in a row (another user's, most likely), doubled for
// each up to the pause above.
constexpr int kHeldOffRetryPause = 4;
constexpr int kHeldOffPatience = 8;
// After the log's mutex could not be made, the records of this long go without it.
constexpr win::DWORD kLockRetryPauseMs = 60 * 1000;
// How often a thread whose record another thread is writing yields before it sleeps.
constexpr int kYieldsBeforeSleep = 64;

using qvp::FileHandle;
using qvp::FindWalk;

win::HANDLE OpenForAppend(LogState& state) {
    auto open = [&] {
        return win::CreateFile(state.path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE | win::FILE_APPEND_DATA,
                               win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                               win::OPEN_ALWAYS, win::FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    win::HANDLE h = open();
    if (h == win::INVALID_HANDLE_VALUE) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_PATH_NOT_FOUND || error == win::ERROR_FILE_NOT_FOUND) {
            qvpCreateDirectoryTree(state.directory.c_str());
            h = open();
        }
    }
    return h;
}

// Handles inherited from a parent process are the parent's: forget them without closing.
void AdoptProcess(LogState& state) {
    const win::DWORD process = win::GetCurrentProcessId();
    if (state.process == process) return;
    state.process = process;
    state.lock = nullptr;
    state.file.Release();
    state.openPath.clear();
}

bool SetPosition(win::HANDLE file, uint64_t offset) {
    win::LONG high = static_cast<win::LONG>(offset >> 32);
    const win::DWORD low = win::SetFilePointer(file, static_cast<win::LONG>(offset & 0xFFFFFFFFu),
                                               &high, win::FILE_BEGIN);
    return !(low == win::INVALID_SET_FILE_POINTER && win::GetLastError() != 0);
}

// The size of the file the handle holds; false when it is gone (removed by someone who did not
// go through the platform) or the handle is no longer usable.
// Asks for nothing more than it needs: a query of the file's times would make every append that
// follows it update the inode.
bool CurrentSize(win::HANDLE file, uint64_t* size) {
    win::DWORD links = 0;
    return win::GetFileSizeAndLinks(file, size, &links) && links != 0;
}

// The open current generation and its size, reopened when the path changed or the file went.
bool EnsureOpen(LogState& state, uint64_t* size) {
    if (state.file.valid() && state.openPath == state.path && CurrentSize(state.file.get(), size)) {
        return true;
    }
    state.file.Reset(OpenForAppend(state));
    state.openPath = state.path;
    if (state.file.valid() && CurrentSize(state.file.get(), size)) return true;
    state.file.Reset();
    return false;
}

std::string GenerationPath(const LogState& state, int generation) {
    return state.path + "." + std::to_string(generation);
}

// Bytes no record ever reaches, locked through the log's own handle. The append gate, and next
// to it the rotation mark (see the head of this file).
constexpr win::DWORD kFarBytesHigh = 0x7FFFFFFFu;
constexpr win::DWORD kAppendGateLow = 0xFFFF0000u;
constexpr win::DWORD kRotationMarkLow = 0xFFFF0001u;
// Tries of a byte before going on without it (the first ones only give up the processor).
constexpr int kFarByteTries = 24;
constexpr int kFarByteYields = 16;

// Holds one far byte of an open log file, when it can be had within `tries` tries. A file
// system that keeps no byte-range locks has no holder: the byte counts as had.
class FarByte {
public:
    FarByte(win::HANDLE file, win::DWORD low, int tries) : file_(file), low_(low) {
        for (int i = 0; i < tries; ++i) {
            if (i > 0) win::Sleep(i <= kFarByteYields ? 0 : 1);
            if (win::LockFile(file_, low_, kFarBytesHigh, 1, 0)) {
                locked_ = true;
                return;
            }
            if (win::GetLastError() != win::ERROR_LOCK_VIOLATION) {
                lockless_ = true;
                return;
            }
        }
    }
    ~FarByte() { Release(); }
    FarByte(const FarByte&) = delete;
    FarByte& operator=(const FarByte&) = delete;
    bool had() const { return locked_ || lockless_; }
    void Release() {
        if (locked_) win::UnlockFile(file_, low_, kFarBytesHigh, 1, 0);
        locked_ = false;
    }

private:
    win::HANDLE file_;
    win::DWORD low_;
    bool locked_ = false;
    bool lockless_ = false;
};

// What a writer without the named mutex holds while it appends: the gate, or the mark. The mark
// is tried first, for a while (a rotation holds it for a few system calls, and has the gate
// once the batches under way are done); with it, the gate is tried once, and the batch goes in
// under the mark while the gate is taken (by another writer's batch, or another user). A mark
// kept past its tries leaves the gate, tried likewise. Each byte is tried once only while it
// is seen kept: a batch that finds it taken then almost surely finds the same keeper. Only
// while both are kept does the batch wait, however long: one may be a rotation's.
class AppendHold {
public:
    AppendHold(win::HANDLE file, LogState& state) {
        mark_.emplace(file, kRotationMarkLow, state.rotationMarkKept ? 1 : kFarByteTries);
        state.rotationMarkKept = !mark_->had();
        gate_.emplace(file, kAppendGateLow, mark_->had() || state.appendGateKept ? 1 : kFarByteTries);
        if (!mark_->had()) state.appendGateKept = !gate_->had();
        while (!mark_->had() && !gate_->had()) {
            win::Sleep(1);
            mark_.emplace(file, kRotationMarkLow, 1);
            if (!mark_->had()) gate_.emplace(file, kAppendGateLow, 1);
        }
        if (gate_->had()) mark_->Release();  // the gate keeps the rotation out; the next writer may look
    }

private:
    std::optional<FarByte> mark_;
    std::optional<FarByte> gate_;
};

// What a rotation that empties the file holds: the mark first, so that no writer without the
// mutex starts a batch meanwhile, then the gate, which those in the middle of one let go when
// they are done. A rotation is rare: each gets all its tries, whatever the last one found.
class RotationHold {
public:
    explicit RotationHold(LogState& state) {
        mark_.emplace(state.file.get(), kRotationMarkLow, kFarByteTries);
        if (mark_->had()) gate_.emplace(state.file.get(), kAppendGateLow, kFarByteTries);
        state.rotationsHeldOff = had() ? 0 : state.rotationsHeldOff + 1;
    }
    bool had() const { return gate_ && gate_->had(); }

private:
    std::optional<FarByte> mark_;
    std::optional<FarByte> gate_;
};

// Copies the current generation to the end of `out` from `copied` on up to `end`.
bool CopyRange(const LogState& state, win::HANDLE out, uint64_t& copied, uint64_t end) {
    std::string chunk(kCopyChunk, '\0');
    if (!SetPosition(state.file.get(), copied)) return false;
    while (copied < end) {
        const auto want = static_cast<win::DWORD>(std::min<uint64_t>(kCopyChunk, end - copied));
        win::DWORD got = 0;
        if (!win::ReadFile(state.file.get(), chunk.data(), want, &got, nullptr) || got == 0) return false;
        win::DWORD put = 0;
        if (!win::WriteFile(out, chunk.data(), got, &put, nullptr) || put != got) return false;
        copied += got;
    }
    return true;
}

bool Truncate(const LogState& state) {
    return SetPosition(state.file.get(), 0) && win::SetEndOfFile(state.file.get()) != 0;
}

// A copy of the current generation is written beside the log as "<name>.1.<random>.tmp" and
// renamed to <name>.1 only whole: a rotation killed in the middle of its copy leaves no part of
// a generation under a generation's name. Its leftover goes with the next rotation.
constexpr char kCopySuffix[] = ".tmp";

// Copies the current generation, the first `size` bytes of the file and what writers without
// the named mutex appended since, to a temporary renamed to `target` once whole, and empties the
// file. Those writers do not rotate, so a file may hold a little more than a generation; one
// larger than two generations at `size` (another user of the store may have made it so) gives
// only its last generation's worth of whole records: the copy never takes more than two
// generations and what was appended meanwhile.
bool CopyAndEmpty(LogState& state, uint64_t size, const std::string& target) {
    const uint64_t generation = uint64_t{state.recordSize} * state.recordCount;
    uint64_t copied = 0;
    if (size > 2 * generation) {
        copied = size - generation;
        copied += (state.recordSize - copied % state.recordSize) % state.recordSize;
    }
    qvp::TempFile out;
    if (!out.Create(target, kCopySuffix, win::GENERIC_WRITE) || !CopyRange(state, out.handle.get(), copied, size))
        return false;
    // The rest, appended during the copy, with the appends held off until the file is empty:
    // without that hold nothing is emptied.
    const RotationHold hold(state);
    if (!hold.had()) return false;
    uint64_t end = 0;
    if (!CurrentSize(state.file.get(), &end) || !CopyRange(state, out.handle.get(), copied, end) || !out.Place())
        return false;
    if (Truncate(state)) return true;
    win::DeleteFile(target.c_str());  // never a copy beside the whole current file
    return false;
}

// Takes away what a rotation killed in the middle of its copy left: regular files of the copy's
// own name only (another name, or a link there, is left where it is). Under the named mutex, as
// every copy is made: none of them is another rotation's.
void RemoveCopyLeftovers(const LogState& state) {
    const std::string first = GenerationPath(state, 1);
    const std::string firstName = first.substr(state.directory.size() + 1);
    std::vector<std::string> found;
    win::WIN32_FIND_DATAA data{};
    for (FindWalk walk = FindWalk::Names(first + ".*" + kCopySuffix, data); walk.valid();) {
        if (data.dwFileAttributes == win::FILE_ATTRIBUTE_NORMAL && qvp::IsTempNameOf(data.cFileName, firstName, kCopySuffix))
            found.emplace_back(data.cFileName);
        if (!walk.Next(data)) break;
    }
    for (const std::string& name : found) win::DeleteFile((state.directory + "\\" + name).c_str());
}

// Frees <name>.1: the older generations move up by one and the oldest goes. Where one is missing
// (a rotation killed or failed between its shift and its new <name>.1), only those below it move
// up, into its place, and nothing goes: no rotation drops a generation that another did not add.
void ShiftGenerations(const LogState& state) {
    int freed = state.generations - 1;
    for (int g = 1; g < freed; ++g) {
        if (win::GetFileAttributes(GenerationPath(state, g).c_str()) == win::INVALID_FILE_ATTRIBUTES) {
            freed = g;
            break;
        }
    }
    if (freed == state.generations - 1) win::DeleteFile(GenerationPath(state, freed).c_str());
    for (int g = freed - 1; g >= 1; --g) {
        win::MoveFile(GenerationPath(state, g).c_str(), GenerationPath(state, g + 1).c_str());
    }
}

// Shifts the older generations (ShiftGenerations) and makes the current one <name>.1: renamed
// when no other handle holds it (no copy), else copied and emptied in place, so that the holders
// go on at the start of the new generation. With a single generation the current file simply
// starts again. False when the current generation had to be kept as it is.
// Nothing is shifted while the writers without the mutex cannot be held off (the file may
// have to be emptied in place).
bool Rotate(LogState& state, uint64_t size) {
    {
        const RotationHold hold(state);
        if (!hold.had()) return false;
        if (state.generations <= 1) return Truncate(state);
    }
    RemoveCopyLeftovers(state);
    ShiftGenerations(state);
    const std::string first = GenerationPath(state, 1);
    // The named mutex keeps the other writers' opens out meanwhile; a holder refuses the move.
    state.file.Reset();
    const bool moved = win::MoveFile(state.path.c_str(), first.c_str()) != 0;
    state.file.Reset(OpenForAppend(state));
    if (moved || !state.file.valid()) return moved && state.file.valid();
    return CopyAndEmpty(state, size, first);
}

// Writes `value` as `width` decimal digits, zero-filled (the header's fields never pass them).
char* PutDigits(char* out, uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// The header, built by hand rather than through printf: it is written for every record.
size_t FormatHeader(char* out, uint32_t sequence, const win::SYSTEMTIME& t, const PendingRecord& r) {
    char* p = out;
    const auto field = [&p](uint32_t value, int width, char after) {
        p = PutDigits(p, value, width);
        *p++ = after;
    };
    // %010u and %08u widen for larger values: keep every digit as printf would.
    const auto wide = [&p](uint32_t value, int width) {
        int digits = 1;
        for (uint32_t v = value; v >= 10; v /= 10) ++digits;
        p = PutDigits(p, value, std::max(width, digits));
        *p++ = ' ';
    };
    wide(sequence, 10);
    field(t.wYear, 4, '/');
    field(t.wMonth, 2, '/');
    field(t.wDay, 2, ' ');
    field(t.wHour, 2, ':');
    field(t.wMinute, 2, ':');
    field(t.wSecond, 2, '.');
    field(t.wMilliseconds, 3, ' ');
    wide(win::GetCurrentProcessId(), 8);
    wide(r.thread, 8);
    wide(kTerminalSession, 8);
    const size_t tagLength = strnlen(r.tag, 8);
    std::memcpy(p, r.tag, tagLength);
    std::memset(p + tagLength, ' ', 8 - tagLength);
    p += 8;
    *p++ = ' ';
    return static_cast<size_t>(p - out);
}

// Appends one record to `out`.
void FormatRecord(const LogState& state, uint32_t sequence, const win::SYSTEMTIME& time,
                  const Batch& batch, const PendingRecord& r, std::string& out) {
    char header[160];
    const size_t headerLength = FormatHeader(header, sequence, time, r);
    const size_t body = state.recordSize - 2;
    const size_t at = out.size();
    out.append(state.recordSize, ' ');
    char* record = out.data() + at;
    const size_t h = std::min(headerLength, body);
    std::memcpy(record, header, h);
    const size_t room = body - h;
    const std::string_view message(batch.texts.data() + r.offset, r.length);
    const size_t cut = win::DbcsSafeCut(message, std::min(room, message.size()));
    std::memcpy(record + h, message.data(), cut);
    record[body] = '\r';
    record[body + 1] = '\n';
}

// Appends the formatted records; on failure the file is opened afresh next time.
bool Flush(LogState& state) {
    std::string& out = state.record;
    if (out.empty()) return true;
    win::DWORD written = 0;
    const bool ok =
        win::WriteFile(state.file.get(), out.data(), static_cast<win::DWORD>(out.size()), &written, nullptr);
    out.clear();
    if (!ok) state.file.Reset();
    return ok;
}

// The sequence number of a record that starts at `size`.
uint32_t SequenceAt(const LogState& state, uint64_t size) {
    return static_cast<uint32_t>((size + state.recordSize - 1) / state.recordSize + 1);
}

// "error 5: Permission denied": the number, and the system's words when a system call gave it.
std::string Because(win::DWORD error, const std::string& reason) {
    return "error " + std::to_string(error) + (reason.empty() ? "" : ": " + reason);
}

// The records of a batch without the named mutex: one append each, so that none is torn or
// mixed with another writer's, and no rotation. The event log says why, with the folder: where
// the root cannot be written (another user's, or a file), it is all that is said.
void AppendUnlocked(int row, LogState& state, const Batch& batch) {
    uint64_t size = 0;
    const bool open = EnsureOpen(state, &size);
    if (!state.lockMissingSaid || (!open && !state.lostSaid)) {
        const char* name = kLogTable[row].fileName;
        std::string text = std::string(name) + ": the lock " + kMutexPrefix + name + " in " + state.lockDirectory +
                           " cannot be had (" + state.lockFailure + ")";
        if (open) {
            text += "; records are appended without it and the log is not rotated";
        } else {
            text += ", nor can the log be opened (" + Because(win::GetLastError(), win::LastErrorReason()) +
                    "): its records are lost";
            state.lostSaid = true;
        }
        state.lockMissingSaid = true;
        win::ReportEvent(win::EVENTLOG_WARNING_TYPE, 0, text);
    }
    if (!open) return;
    win::SYSTEMTIME time{};
    win::GetLocalTime(&time);
    bool written = true;
    {
        const AppendHold hold(state.file.get(), state);  // no rotation empties the file meanwhile
        for (const PendingRecord& r : batch.records) {
            state.record.clear();
            FormatRecord(state, SequenceAt(state, size), time, batch, r, state.record);
            win::DWORD put = 0;
            written = win::WriteFile(state.file.get(), state.record.data(), state.recordSize, &put, nullptr) != 0;
            if (!written) break;
            size += state.recordSize;
        }
    }
    state.record.clear();
    if (!written) state.file.Reset();  // opened afresh next time
}

// The records of a batch, under one hold of the named mutex and written in as few appends as
// the generations allow.
void AppendRecords(int row, LogState& state, const Batch& batch) {
    AdoptProcess(state);
    // A mutex that could not be made (its lock file kept by another user: each try waits for
    // it a while) is tried again only after a pause, not for every record.
    if (state.lock == nullptr && (!state.lockNotMade || win::GetTickCount() - state.lockNotMadeAt >= kLockRetryPauseMs)) {
        state.lock = win::CreateMutex(nullptr, win::FALSE,
                                      (std::string(kMutexPrefix) + kLogTable[row].fileName).c_str());
        state.lockNotMade = state.lock == nullptr;
        state.lockNotMadeAt = win::GetTickCount();
        if (state.lockNotMade) state.lockFailure = Because(win::GetLastError(), win::LastErrorReason());
    }
    CrossProcessLock lock(state.lock);
    if (!lock.held()) {
        if (state.lock != nullptr) {
            state.lockFailure = Because(win::GetLastError(), win::LastErrorReason());
            win::CloseHandle(state.lock);  // made again for the next batch
        }
        state.lock = nullptr;
        AppendUnlocked(row, state, batch);
        return;
    }
    state.lockMissingSaid = false;
    state.lostSaid = false;
    uint64_t size = 0;
    if (!EnsureOpen(state, &size)) return;
    win::SYSTEMTIME time{};
    win::GetLocalTime(&time);
    const uint64_t limit = uint64_t{state.recordSize} * state.recordCount;
    state.record.clear();
    for (const PendingRecord& r : batch.records) {
        if (size > 0 && size + state.recordSize > limit) {
            if (!Flush(state)) return;
            if (state.rotationPause > 0) {
                --state.rotationPause;
            } else if (Rotate(state, size)) {
                size = 0;
            } else {
                const int over = std::clamp(state.rotationsHeldOff - kHeldOffPatience, 0, 4);
                state.rotationPause = state.rotationsHeldOff == 0
                                          ? kRotationRetryPause
                                          : std::min(kRotationRetryPause, kHeldOffRetryPause << over);
                if (!CurrentSize(state.file.get(), &size)) return;
            }
        }
        FormatRecord(state, SequenceAt(state, size), time, batch, r, state.record);
        size += state.recordSize;
    }
    Flush(state);
}

// The records of threads that come while one is writing wait and go in its next batch.
void WriteRecord(int row, std::string_view message, const char* tag) {
    LogState& state = State(row);
    std::unique_lock queue(state.queueMutex);
    const win::DWORD process = win::GetCurrentProcessId();
    if (state.queueProcess != process) {
        // A forked child: the parent's queued records and its writer are the parent's to finish.
        state.queueProcess = process;
        state.queued.clear();
        state.writing = false;
        state.written.store(state.enqueued, std::memory_order_release);
    }
    PendingRecord r;
    r.offset = state.queued.texts.size();
    r.length = message.size();
    std::strncpy(r.tag, tag, 8);
    r.thread = win::GetCurrentThreadId();
    state.queued.texts.append(message);
    state.queued.records.push_back(r);
    const uint64_t ticket = ++state.enqueued;
    for (;;) {
        if (state.written.load(std::memory_order_acquire) >= ticket) return;
        if (state.writing) {
            // Woken by every finished batch; a record in it needs the queue no more. The
            // processor is given up for a while before sleeping: with more writers than
            // processors the writer's batch is usually done by then, and a thread that sleeps
            // costs a wake-up for every record.
            const uint64_t seen = state.written.load(std::memory_order_acquire);
            queue.unlock();
            for (int i = 0; i < kYieldsBeforeSleep && state.written.load(std::memory_order_acquire) == seen; ++i)
                win::Sleep(0);
            state.written.wait(seen, std::memory_order_acquire);
            if (state.written.load(std::memory_order_acquire) >= ticket) return;
            queue.lock();
            continue;
        }
        state.writing = true;
        std::swap(state.queued, state.writingBatch);
        const uint64_t last = state.enqueued;
        queue.unlock();
        {
            std::lock_guard guard(state.mutex);
            if (!state.configured) Configure(row, state);
            AppendRecords(row, state, state.writingBatch);
            // A log nobody has open is not held between records (a write through a closed id).
            if (state.uses == 0) state.file.Reset();
        }
        state.writingBatch.clear();
        queue.lock();
        state.writing = false;
        state.written.store(last, std::memory_order_release);
        state.written.notify_all();
    }
}

int RowOfId(int logId) { return logId >= 1 && logId <= kLogRows ? logId - 1 : -1; }

std::string FormatV(const char* format, va_list args) {
    if (format == nullptr) return {};
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

void WriteV(int logId, const char* tag, const char* format, va_list args) {
    if (RowOfId(logId) < 0) return;
    qvp::KeepLastError keep;
    const std::string message = FormatV(format, args);
    qvpLogWrite(logId, message.c_str(), tag);
}

}  // namespace

int qvpLogOpen(const char* fileName) {
    qvp::KeepLastError keep;
    int row = kDefaultRow;
    if (fileName != nullptr) {
        const std::string wanted = win::CharUpper(fileName);
        for (int i = 0; i < kLogRows; ++i) {
            if (wanted == kLogTable[i].fileName) {
                row = i;
                break;
            }
        }
    }
    LogState& state = State(row);
    {
        std::lock_guard guard(state.mutex);
        ++state.uses;
        Configure(row, state);  // settings and PathName as they are now
    }
    // Settings the library could not use go into the first DLL.LOG opened after they were met,
    // after the word that the root was made now: the first record of its DLL.LOG.
    if (row == kDllRow) {
        if (const std::string made = qvpMakeMissingRoot(); !made.empty()) qvpLogWrite(row + 1, made.c_str(), kSettingsTag);
        for (const std::string& problem : qvpTakeSettingsProblems()) qvpLogWrite(row + 1, problem.c_str(), kSettingsTag);
    }
    return row + 1;
}

void qvpLogClose(int logId) {
    const int row = RowOfId(logId);
    if (row < 0) return;
    qvp::KeepLastError keep;
    LogState& state = State(row);
    std::lock_guard guard(state.mutex);
    if (state.uses > 0) --state.uses;
    // The last user gone: let go of the file, so that it can be moved or removed.
    if (state.uses == 0 && state.process == win::GetCurrentProcessId()) state.file.Reset();
}

void qvpLogWrite(int logId, const char* message, const char* tag) {
    const int row = RowOfId(logId);
    if (row < 0) return;
    qvp::KeepLastError keep;
    std::string_view text = message != nullptr ? std::string_view(message) : std::string_view();
    if (text.size() > static_cast<size_t>(kLogMessageMax)) {
        text = text.substr(0, win::DbcsSafeCut(text, kLogMessageMax));
    }
    WriteRecord(row, text, tag != nullptr ? tag : "");
}

void qvpLogPrintf(int logId, const char* tag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(logId, tag, format, args);
    va_end(args);
}

void qvpLogVPrintf(int logId, const char* tag, const char* format, va_list args) {
    WriteV(logId, tag, format, args);
}

void qvpLogTrace(const char*, ...) {}
void qvpLogTrace2(const char*, ...) {}
void qvpLogTrace3(const char*, ...) {}

void qvpDllLog(const char* format, ...) {
    QVPAPI* block = qvpPeekThreadBlock();
    if (block == nullptr || block->dllLogId == 0) return;
    va_list args;
    va_start(args, format);
    WriteV(block->dllLogId, "dll", format, args);
    va_end(args);
}

const char* qvpLogFileName(int logId) {
    const int row = RowOfId(logId);
    return row < 0 ? nullptr : kLogTable[row].fileName;
}
