// What the archiver and the decoder share: the last-message slots a caller reads to learn why
// an archive operation failed, the error-detail record, the CLIENT.log handle every operation
// holds, and the test for POSIX paths.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// ---- last-message slots ---------------------------------------------------------------------
enum QvpLastMessageClass : uint32_t {
    kLastMessageContent = 0,  // archive content
    kLastMessageSystem = 1,   // a system call failed
    kLastMessageMemory = 2,
};

enum QvpLastMessageMode : int {
    kLastMessageFirst = 0,    // any mode not below: keep the first failure of an operation
    kLastMessageAppend = 1,
    kLastMessageReplace = 2,
    kLastMessageSave = 3,
    kLastMessageRestore = 4,
};

constexpr size_t kLastMessageTextMax = 259;

struct QvpLastMessage {
    uint32_t code = 0;
    uint32_t messageClass = 0;
    std::string text;  // at most kLastMessageTextMax bytes
};

void qvpLastMessageSet(uint32_t code, uint32_t messageClass, const char* text, int mode);
// printf-style form; the text is cut at kLastMessageTextMax bytes.
void qvpLastMessagePrintf(uint32_t code, uint32_t messageClass, int mode, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
QvpLastMessage qvpLastMessageGet();
QvpLastMessage qvpLastMessageGetSaved();

// ---- error-detail record --------------------------------------------------------------------
enum QvpArDetail : uint16_t {
    kDetailOpen = 0x4501,
    kDetailRead = 0x4801,
    kDetailWrite = 0x5301,
    kDetailClose = 0x3301,
    kDetailMemory = 0x4302,
    kDetailOldFolder = 0x4301,
    kDetailMissing = 0x0702,
    kDetailDelete = 0x0401,
    kDetailArchiveClose = 0x0302,
    kDetailArchiveRead = 0x1801,
    kDetailFolderCreate = 0x0304,
    kDetailFileCreate = 0x0305,
    kDetailDataWrite = 0x2301,
    kDetailAttributes = 0x1902,
    kDetailRename = 0x1301,
};

// "FFFE", the detail as "%.4x", the error number as "%.8x", then year % 100, month, day, hour,
// minute and second of the local time as one byte each.
constexpr size_t kErrorDetailSize = 4 + 4 + 8 + 6;
using QvpErrorDetail = std::array<uint8_t, kErrorDetailSize>;

void qvparSetErrorDetail(uint16_t detail, uint32_t errorNumber);
QvpErrorDetail qvparGetErrorDetail();

// ---- CLIENT.log -----------------------------------------------------------------------------
// Every archiver operation opens CLIENT.log for its duration.
class QvpClientLog {
public:
    QvpClientLog();
    ~QvpClientLog();
    QvpClientLog(const QvpClientLog&) = delete;
    QvpClientLog& operator=(const QvpClientLog&) = delete;

    void Write(const char* tag, const char* format, ...) __attribute__((format(printf, 3, 4)));
    int id() const { return id_; }

private:
    int id_;
};

// Whether a path text is absolute in the POSIX sense: such paths are joined with '/'.
inline bool qvpIsPosixPath(const std::string& path) { return !path.empty() && path[0] == '/'; }
