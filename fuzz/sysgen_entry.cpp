// The entry reader of a client's report over arbitrary bytes: every type and path kind read
// with the buffer sizes registration gives them; nothing may be read outside the bytes and no
// result may exceed its limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/block.h"
#include "idgroups/sysgen_info.h"

using namespace qvp::ids;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> exact(data, data + size);
    QVPAPI* block = qvpGetThreadBlock();
    if (block == nullptr) return 0;
    const SysgenView view{exact.data(), exact.size()};
    std::string out;
    for (uint8_t key : {0, 1}) {
        block->systemManagementKey = key;
        for (uint8_t type : {17, 18, 19, 22, 23, 33, 34, 35, 38, 39}) {
            if (ACNGetEntry(*block, view, type, out, 64) && out.size() > 64) std::abort();
        }
        for (uint8_t sub : {0, 38}) {
            if (ACNGetEntry(*block, view, kSysgenPath, out, 255, sub) && out.size() > 255) std::abort();
        }
        ACNmbsbtype(*block, out);
    }
    block->systemManagementKey = 0;
    return 0;
}
