// The system management key: whether this store keys its nodes by host name or by IP address,
// and the kept entry point of a key change.
#include "core/block.h"
#include "core/frame.h"
#include "nodes/node_texts.h"
#include "qvpapi.h"

namespace {

constexpr qvp::FrameTexts kCheckKeyFrame{"qvAPICheckChangeOfKey", qvp::EndStyle::Hex, nullptr,
                                         nullptr, qvp::nodes::text::kLogicalError};

}  // namespace

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT int qvAPIGetSystemManagementKey(char* lpSystemManagementKey) {
    static constexpr const char* kFn = "qvAPIGetSystemManagementKey";
    // A successful call's END line names the character written, so the frame gets the text
    // that fits it; a refused call writes no character and ends with the plain code line.
    QVPAPI* block = qvpGetThreadBlock();
    const bool ipKeyed = block != nullptr && block->systemManagementKey == 1;
    const char* endText = lpSystemManagementKey == nullptr ? nullptr
                          : ipKeyed                        ? text::kSystemKeyEndIp
                                                           : text::kSystemKeyEndName;
    const qvp::FrameTexts texts{kFn, qvp::EndStyle::Hex, nullptr, endText, text::kLogicalError};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (lpSystemManagementKey == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        *lpSystemManagementKey = ipKeyed ? '1' : '0';
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPICheckChangeOfKey(void*, uint32_t, uint32_t) {
    return qvp::RunApi(kCheckKeyFrame, 0, [](CallContext&) { return 1; });
}
