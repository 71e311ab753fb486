// The magic test and the option words over arbitrary bytes.
#include <cstdint>
#include <cstdlib>

#include "client/ecd/ecd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EcdOptions options;
    size_t offset = 0;
    const EcdHeaderStatus status = EcdParseHeader(data, size, &options, &offset);
    if (status == EcdHeaderStatus::Ok) {
        // The end word was read: the data starts at an even offset inside the input.
        if (offset < kEcdHeaderSize + 2 || offset > size || offset % 2 != 0) std::abort();
        if (options.compOpt != kEcdStored && options.compOpt != kEcdHuffman &&
            options.compOpt != kEcdZlib)
            std::abort();
    }
    if (size < kEcdHeaderSize && status != EcdHeaderStatus::ShortHeader) std::abort();
    const int result = EcdHeaderResult(status);
    if (result != kEcdOk && result != kEcdBadOption && result != kEcdBadMagic &&
        result != kEcdIoError)
        std::abort();
    return 0;
}
