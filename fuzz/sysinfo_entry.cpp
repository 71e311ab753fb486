// The system-information entry reader over arbitrary bytes: a reply as received (exactly its
// bytes on the heap) classified for each request, its entry converted in place and copied into
// a record slot: nothing may be read or written outside the reply or the slot.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "idgroups/sysinfo.h"

using namespace qvp::ids;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> exact(data, data + size);
    for (SysInfStep step : {SysInfStep::First, SysInfStep::FirstNext, SysInfStep::Next, SysInfStep::Close}) {
        const uint32_t code = SysInfReplyCode(exact.data(), exact.size(), step);
        if (code != 0 && code != QVAPI_ERR_NOT_FOUND && code != QVAPI_ERR_NO_MORE_ITEMS &&
            code != QVAPI_ERR_UNEXPECTED_DATA)
            std::abort();
    }
    size_t length = 0;
    const uint8_t* entry = ConvertSysInfEntry(exact.data(), exact.size(), &length);
    if (entry == nullptr) return 0;
    const auto* begin = reinterpret_cast<const uint8_t*>(exact.data());
    if (entry < begin || length > exact.size() - static_cast<size_t>(entry - begin)) std::abort();
    uint16_t dataLength = 0;
    std::memcpy(&dataLength, entry + 2, sizeof dataLength);
    if (4u + dataLength > length) std::abort();
    QVAPI_SYSINFO record;
    std::memset(&record, 0x5A, sizeof record);
    CopySysInfEntry(record.SysinfoEntry2, entry, length);
    if (record.SysinfoEntry1.ucEntryType != 0x5A || record.SysinfoEntry3.ucEntryType != 0x5A) std::abort();
    return 0;
}
