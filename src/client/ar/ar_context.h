// One archiver call's context: its CLIENT.log id, the pause used between retries and the hooks
// through which failures are reported to whoever keeps the archiver's last message and error
// detail. Every archive or extraction has its own, so two threads may work at once.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/win.h"

namespace ar {

// Results of the writer.
enum ArcResult : int {
    kArcOk = 0,
    kArcNoSource = 1,     // source missing, folder not enumerable
    kArcWriteFailed = 3,  // archive not created or written
    kArcReadFailed = 4,   // part of a file not read
    kArcFileFailed = 6,   // status, size, short copy, close
    kArcNoMemory = 7,     // names not stored
    kArcBadTime = 25,     // a time with no calendar form
    kArcListFailed = -1,  // duplicate list not made
};

// Results of the new-format reader.
enum UnarcResult : int {
    kUnarcOk = 0,
    kUnarcFailed = -1,     // I/O, memory, folder, defective content
    kUnarcBadHeader = 3,   // ResGen_No or compKind not ours
};

// Classes of the last-message slot.
constexpr uint32_t kMsgClassContent = 0;
constexpr uint32_t kMsgClassSystem = 1;
constexpr uint32_t kMsgClassMemory = 2;

// Error detail codes of the extraction.
constexpr uint16_t kDetailNoMemory = 0x4302;
constexpr uint16_t kDetailMissing = 0x0702;
constexpr uint16_t kDetailDelete = 0x0401;
constexpr uint16_t kDetailCloseArchive = 0x0302;
constexpr uint16_t kDetailReadArchive = 0x1801;
constexpr uint16_t kDetailMakeFolder = 0x0304;
constexpr uint16_t kDetailMakeFile = 0x0305;
constexpr uint16_t kDetailWriteData = 0x2301;
constexpr uint16_t kDetailAttributes = 0x1902;

constexpr const char kClientLog[] = "CLIENT.log";
constexpr const char kArTag[] = "ar";

class ArContext {
public:
    ArContext();
    ~ArContext();
    ArContext(const ArContext&) = delete;
    ArContext& operator=(const ArContext&) = delete;

    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void pause(win::DWORD milliseconds) const;
    void detail(uint16_t code, uint32_t error) const;
    void message(uint32_t code, uint32_t cls, const char* format, ...) const
        __attribute__((format(printf, 4, 5)));

    int logId() const { return logId_; }

    // The pause between retries (win::Sleep unless replaced).
    std::function<void(win::DWORD)> sleep;
    // Receivers of the error detail (code, system error) and the last message (code, class,
    // text); the archiver's shared slots by default.
    std::function<void(uint16_t, uint32_t)> onDetail;
    std::function<void(uint32_t, uint32_t, const std::string&)> onMessage;
    // Whether each extracted file is flushed to the disk before it is closed.
    bool flushExtractedFiles = true;

    // The pause every new context starts with; tests replace it so retries don't take real time.
    static void setDefaultSleep(std::function<void(win::DWORD)> sleep);

private:
    int logId_;
};

}  // namespace ar
