// Logs: <PathName>\LOG\<name>, fixed-length records ending in CR LF, generations, a
// cross-process lock per log. Logging never fails a call.
#pragma once

#include <cstdarg>

constexpr int kLogMessageMax = 1024;

// The log id of that row of the log table (names matched ignoring case; unknown names go to
// DEFAULT.LOG). Never fails for the caller; each open counts one use.
int qvpLogOpen(const char* fileName);
// Appends one record: sequence number, date and time with milliseconds, process, thread and
// session ids, the 8-column tag, the message (cut at 1024 bytes on a character boundary).
void qvpLogWrite(int logId, const char* message, const char* tag);
void qvpLogClose(int logId);
// printf-style form of qvpLogWrite.
void qvpLogPrintf(int logId, const char* tag, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// va_list form of qvpLogPrintf.
void qvpLogVPrintf(int logId, const char* tag, const char* format, va_list args);
// Trace hooks: empty.
void qvpLogTrace(const char* format, ...);
void qvpLogTrace2(const char* format, ...);
void qvpLogTrace3(const char* format, ...);
// Writes to the calling thread's DLL.LOG with the tag "dll" (nothing without a block or log).
void qvpDllLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The file name of a log id's row (nullptr for an unknown id).
const char* qvpLogFileName(int logId);
