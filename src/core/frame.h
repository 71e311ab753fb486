// The call frame every exported function runs in: fetch the thread's block (0x20110000 without
// one), log "%s START", run the body, catch every exception (0x20100000 and the failure value),
// set the thread's last error on every way out (0 after success) and log the END line.
// Exports that do no work at all (the constant query operations) stay outside it, so they leave
// the last error as the caller's previous call left it.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <exception>
#include <type_traits>

#include "core/block.h"

namespace qvp {

enum class EndStyle {
    Decimal,  // "%s END : Code = %d"
    Hex,      // "%s END : Code = 0x%8.8x"
    RtnCode,  // "%s END : RtnCode = 0x%x errno = 0x%x": the result, then the code
    RcDc,     // "%s END : RC = %d : DC = 0x%8.8x": the result, then the code
    Result,   // "%s END : Code = %d" with the result instead of the code
};

struct FrameTexts {
    const char* function;                 // logged first in every line
    EndStyle endStyle = EndStyle::Decimal;
    const char* startText = nullptr;      // default "%s START"; "" writes none
    const char* endText = nullptr;        // default by endStyle; one %s and one code; "" none
    // Line for a caught exception; one %s and one code. Default
    // "%s : Exception Occured : ExceptionCode = 0x%8.8x" with the exception's code; a family's
    // own text ("%s : Logical Err : ErrorCode = 0x%8.8x" ...) gets the API code 0x20100000.
    const char* exceptionText = nullptr;
    // The names the START, END and exception lines carry where a call's texts have always named
    // another (nullptr: `function`).
    const char* startName = nullptr;
    const char* endName = nullptr;
    const char* exceptionName = nullptr;
};

class CallContext {
public:
    CallContext(QVPAPI& block, const FrameTexts& texts) : block_(block), texts_(texts) {}

    QVPAPI& block() { return block_; }
    const char* function() const { return texts_.function; }

    // Sets the API error code the call leaves (it is returned with the failure value).
    void Fail(uint32_t apiCode) {
        code_ = apiCode;
        codeSet_ = true;
    }
    // The failing step recorded a category and details: map them with qvAPISetErrorCode.
    void FailFromRecordedError();
    bool codeSet() const { return codeSet_; }
    uint32_t code() const { return code_; }

    // printf-style line to DLL.LOG with the tag "dll" (the text starts with the function name
    // where the caller's format says so).
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A failing step in one line: logs, sets the code and gives false (0 for an int result),
    // as in `return call.Failed(QVAPI_ERR_RESOURCE, text, path);`.
    bool Failed(uint32_t apiCode, const char* format, ...) __attribute__((format(printf, 3, 4)));

private:
    QVPAPI& block_;
    const FrameTexts& texts_;
    uint32_t code_ = 0;
    bool codeSet_ = false;
};

// Frame bookkeeping, implemented in frame.cpp.
void FrameStart(QVPAPI& block, const FrameTexts& texts);
// `result` is printed only by the RtnCode, RcDc and Result styles.
void FrameEnd(QVPAPI& block, const FrameTexts& texts, uint32_t code, uint32_t result = 0);
void FrameException(QVPAPI& block, const FrameTexts& texts, const char* what);
void FrameNoBlock();  // sets 0x20110000

// Runs `body(CallContext&) -> R` in the frame. A result equal to `failureValue` is a failure:
// its code is the one the body set, or else the mapping of the recorded error information.
// Any other result is success and leaves 0 (or the code the body set explicitly).
template <class R, class Body>
R RunApi(const FrameTexts& texts, R failureValue, Body&& body) {
    QVPAPI* block = qvpGetThreadBlock();
    if (block == nullptr) {
        FrameNoBlock();
        return failureValue;
    }
    FrameStart(*block, texts);
    CallContext call(*block, texts);
    R result = failureValue;
    try {
        result = body(call);
        if (result == failureValue && !call.codeSet()) call.FailFromRecordedError();
    } catch (const std::exception& e) {
        FrameException(*block, texts, e.what());
        call.Fail(0x20100000u);
        result = failureValue;
    } catch (...) {
        FrameException(*block, texts, "unknown");
        call.Fail(0x20100000u);
        result = failureValue;
    }
    uint32_t resultWord = 0;
    if constexpr (std::is_integral_v<R>) resultWord = static_cast<uint32_t>(result);
    // A failure always has its code by now; a success leaves 0 unless the body set one.
    FrameEnd(*block, texts, call.code(), resultWord);
    return result;
}

}  // namespace qvp
