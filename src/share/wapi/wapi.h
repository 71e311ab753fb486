// The library's wrappers over named objects, security, the progress gauge and the error
// reporter.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/win.h"

// Creates or opens the named mutex (NULL DACL when no attributes are given); the handle or
// NULL, with the create's Windows error (183 included) left as last error.
win::HANDLE qvpWapiCreateMutex(win::SECURITY_ATTRIBUTES* sa, win::BOOL initialOwner,
                               const char* name, int logId, int reserved);
win::HANDLE qvpWapiCreateSemaphore(win::SECURITY_ATTRIBUTES* sa, win::LONG initialCount,
                                   win::LONG maximumCount, const char* name, int logId);
// Fills the attributes with a NULL-DACL descriptor; 0, or -11003 / -11004 on failure.
int qvpWapiSetSecurity(win::SECURITY_ATTRIBUTES* sa, void* descriptor, int logId, int reserved);

// Progress gauge, per kind (2 install, 4 packaging), kept in process memory.
constexpr int kGaugeInstall = 2;
constexpr int kGaugePackaging = 4;
void qvpGaugeSetTotal(int kind, uint64_t total);
void qvpGaugeSetCurrent(int kind, uint64_t value);  // clamped to the total
uint64_t qvpGaugeGetCurrent(int kind);
// Tests observe gauge updates through this hook (kind, value).
void qvpGaugeSetObserver(std::function<void(int, uint64_t)> observer);

// WOW64 file-system redirection: nothing to do on Linux.
int qvpWow64DisableWow64FsRedirection(void** oldValue);
int qvpWow64RevertWow64FsRedirection(void* oldValue);

// Error reporter to the event log.
void qvpReportError(int logId, const char* format, ...) __attribute__((format(printf, 2, 3)));
