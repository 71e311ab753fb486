// The call frame's bookkeeping: START and END lines in the thread's DLL.LOG, the last error set
// on every way out.
#include "core/frame.h"

#include <cstdio>

#include "core/errors.h"
#include "core/log.h"

namespace qvp {

namespace {

constexpr const char kStartText[] = "%s START";
constexpr const char kEndDecimalText[] = "%s END : Code = %d";
constexpr const char kEndHexText[] = "%s END : Code = 0x%8.8x";
constexpr const char kEndRtnCodeText[] = "%s END : RtnCode = 0x%x errno = 0x%x";
constexpr const char kEndRcDcText[] = "%s END : RC = %d : DC = 0x%8.8x";
constexpr const char kExceptionText[] = "%s : Exception Occured : ExceptionCode = 0x%8.8x";
constexpr const char kDllTag[] = "dll";
constexpr uint32_t kCppExceptionCode = 0xE06D7363u;  // what Windows reports for a C++ throw
constexpr uint32_t kApiCodeBase = 0x20000000u;

// Exported functions call one another; only the outermost call starts with a clean error record.
thread_local int tDepth = 0;

const char* Name(const FrameTexts& texts) { return texts.function != nullptr ? texts.function : ""; }
const char* NameOr(const char* own, const FrameTexts& texts) { return own != nullptr ? own : Name(texts); }

// The texts are the functions' own constants, never caller data.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
// An empty text is a line the function does not write.
bool Writes(const QVPAPI& block, const char* format) { return block.dllLogId != 0 && *format != '\0'; }

void LogLine(const QVPAPI& block, const char* format, const char* name, uint32_t value) {
    if (!Writes(block, format)) return;
    qvpLogPrintf(block.dllLogId, kDllTag, format, name, value);
}
void LogLine(const QVPAPI& block, const char* format, const char* name, uint32_t first,
             uint32_t second) {
    if (!Writes(block, format)) return;
    qvpLogPrintf(block.dllLogId, kDllTag, format, name, first, second);
}
void LogLine(const QVPAPI& block, const char* format, const char* name) {
    if (!Writes(block, format)) return;
    qvpLogPrintf(block.dllLogId, kDllTag, format, name);
}
#pragma GCC diagnostic pop

// An API code a callee of this call left (the last error starts at 0 with the outermost call,
// so it is never one of an earlier call); else unexpected data.
uint32_t CalleeCode() {
    const uint32_t current = win::GetLastError();
    return (current & kApiCodeBase) != 0 ? current : QVAPI_ERR_UNEXPECTED_DATA;
}
}  // namespace

void CallContext::FailFromRecordedError() {
    if (block_.errorCategory == 0) {
        // Nothing recorded: a callee that already left an API code has said why.
        Fail(CalleeCode());
        return;
    }
    bool set = false;
    const uint32_t code = qvpMapRecordedError(block_, &set);
    // The reply said "no code" but the call failed all the same: never report it as success.
    Fail(set ? code : CalleeCode());
}

void CallContext::Log(const char* format, ...) {
    if (block_.dllLogId == 0) return;
    va_list args;
    va_start(args, format);
    qvpLogVPrintf(block_.dllLogId, kDllTag, format, args);
    va_end(args);
}

bool CallContext::Failed(uint32_t apiCode, const char* format, ...) {
    if (block_.dllLogId != 0) {
        va_list args;
        va_start(args, format);
        qvpLogVPrintf(block_.dllLogId, kDllTag, format, args);
        va_end(args);
    }
    Fail(apiCode);
    return false;
}

void FrameStart(QVPAPI& block, const FrameTexts& texts) {
    LogLine(block, texts.startText != nullptr ? texts.startText : kStartText, NameOr(texts.startName, texts));
    if (tDepth++ == 0) {
        block.errorCategory = 0;
        block.errorDetail1 = 0;
        block.errorDetail2 = 0;
        win::SetLastError(0);
    }
}

void FrameEnd(QVPAPI& block, const FrameTexts& texts, uint32_t code, uint32_t result) {
    if (tDepth > 0) --tDepth;
    const char* name = NameOr(texts.endName, texts);
    if (texts.endText != nullptr) {
        LogLine(block, texts.endText, name, code);
    } else if (texts.endStyle == EndStyle::RtnCode) {
        LogLine(block, kEndRtnCodeText, name, result, code);
    } else if (texts.endStyle == EndStyle::RcDc) {
        LogLine(block, kEndRcDcText, name, result, code);
    } else if (texts.endStyle == EndStyle::Result) {
        LogLine(block, kEndDecimalText, name, result);
    } else {
        LogLine(block, texts.endStyle == EndStyle::Hex ? kEndHexText : kEndDecimalText, name, code);
    }
    qvAPISetLastError(code);  // after the log line, which may touch the last error
}

void FrameException(QVPAPI& block, const FrameTexts& texts, const char* /*what*/) {
    if (texts.exceptionText != nullptr) {
        LogLine(block, texts.exceptionText, NameOr(texts.exceptionName, texts), QVAPI_ERR_RESOURCE);
    } else {
        LogLine(block, kExceptionText, NameOr(texts.exceptionName, texts), kCppExceptionCode);
    }
}

void FrameNoBlock() { qvAPISetLastError(0x20110000u); }

}  // namespace qvp
