// API level: the sizes of the records exchanged with the caller.
#include <cstdint>

#include "core/block.h"
#include "core/frame.h"
#include "qvpapi.h"

namespace {

constexpr int kMaxLevel = 5;

// Sizes of slots 0 to 4 by level 0 to 5; the other slots keep what they hold.
constexpr uint32_t kLevelSizes[kMaxLevel + 1][5] = {
    {960, 416, 256, 452, 944},   {1268, 676, 256, 712, 1204}, {1396, 676, 256, 712, 1204},
    {1524, 676, 256, 712, 1204}, {1524, 676, 256, 712, 1204}, {1652, 676, 256, 712, 1204},
};

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIExpandLevel(int level) {
    static const qvp::FrameTexts texts{"qvAPIExpandLevel"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (level < 0 || level > kMaxLevel) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                        "%s : Parameter Error : Level = %d", call.function(), level);
            return 0;
        }
        QVPAPI& block = call.block();
        block.apiLevel = static_cast<uint32_t>(level);
        for (int slot = 0; slot < 5; ++slot) block.recordSizes[slot] = kLevelSizes[level][slot];
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPISetOriginalStructSize(int slot, uint32_t size) {
    static const qvp::FrameTexts texts{"qvAPISetOriginalStructSize"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (slot < 0 || slot >= kQvpRecordSizeSlots || size == 0) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                        "%s : Parameter Error : Slot = %d, Size = %u", call.function(), slot, size);
            return 0;
        }
        call.block().recordSizes[slot] = size;
        return 1;
    });
}
