// The frame of the internal node steps (name checks, key lookup): they are called for every
// name a writer or reader handles, so they log only their failures, never START/END lines.
// Otherwise they keep the guarantees of the exported frame: a thread block or 0x20110000, an
// exception logged and answered with failure and 0x20100000, and the last error set on every
// way out (0 after success).
#pragma once

#include <cstdint>
#include <exception>

#include "core/block.h"
#include "core/log.h"
#include "qvpapi.h"

namespace qvp::nodes {

// `body(QVPAPI&, uint32_t& code) -> R`; a result equal to `failureValue` leaves `code`.
template <class R, class Body>
R RunStep(const char* function, const char* exceptionFormat, R failureValue, Body&& body) {
    QVPAPI* block = qvpGetThreadBlock();
    if (block == nullptr) {
        qvAPISetLastError(QVAPI_ERR_NO_API_BLOCK);
        return failureValue;
    }
    uint32_t code = 0;
    R result = failureValue;
    try {
        result = body(*block, code);
    } catch (...) {
        qvpDllLog(exceptionFormat, function, QVAPI_ERR_RESOURCE);
        code = QVAPI_ERR_RESOURCE;
        result = failureValue;
    }
    qvAPISetLastError(result == failureValue ? code : 0u);
    return result;
}

}  // namespace qvp::nodes
