// The encoded-file header test and the option words. (Module EcdMagic.)
#include <algorithm>
#include <cmath>
#include <cstring>

#include "client/ecd/ecd_internal.h"

int32_t EcdMagicCheckValue(uint32_t w1, uint32_t w2, uint32_t w3) {
    // The words count as signed numbers; the scale is 65556 on purpose (it is the format's).
    double x = static_cast<int32_t>(w1) / 30269.0 + static_cast<int32_t>(w2) / 30307.0 +
               static_cast<int32_t>(w3) / 30323.0;
    double fraction = x - std::trunc(x);
    return static_cast<int32_t>(std::trunc(fraction * 65556.0));
}

int EcdCheckMagicNum(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3) {
    if (w1 == 0 && w2 == 0 && w3 == 0) return 0;
    return static_cast<int32_t>(w0) == EcdMagicCheckValue(w1, w2, w3) ? 1 : 0;
}

EcdOptionStep EcdApplyOptionWord(uint16_t word, EcdOptions* options) {
    const unsigned group = word >> 8;
    const unsigned value = word & 0xFF;
    switch (group) {
    case 0x00:
        if (value != kEcdStored && value != kEcdHuffman && value != kEcdZlib)
            return EcdOptionStep::InvalidCompOpt;
        options->compOpt = static_cast<int>(value);
        return EcdOptionStep::Continue;
    case 0x80:
        if (value != 0x00 && value != 0x02) return EcdOptionStep::InvalidFlag;
        options->flag = value == 0x02;
        return EcdOptionStep::Continue;
    case 0xFF:
        return EcdOptionStep::End;
    default:
        return EcdOptionStep::Continue;  // groups of other encoders: not ours to judge
    }
}

EcdHeaderStatus EcdParseHeader(const uint8_t* data, size_t size, EcdOptions* options,
                               size_t* dataOffset) {
    size_t position = 0;
    auto read = [&](void* buffer, size_t n) -> int64_t {
        size_t take = std::min(n, size - position);
        if (take != 0) std::memcpy(buffer, data + position, take);
        position += take;
        return static_cast<int64_t>(take);
    };
    uint64_t offset = 0;
    EcdHeaderStatus status = ecd::ReadHeader(read, size, options, &offset);
    if (status == EcdHeaderStatus::Ok) *dataOffset = static_cast<size_t>(offset);
    return status;
}

int EcdHeaderResult(EcdHeaderStatus status) {
    switch (status) {
    case EcdHeaderStatus::Ok: return kEcdOk;
    case EcdHeaderStatus::ShortHeader: return kEcdIoError;
    case EcdHeaderStatus::BadMagic: return kEcdBadMagic;
    case EcdHeaderStatus::ReadFailed: return kEcdIoError;
    case EcdHeaderStatus::PastEnd:
    case EcdHeaderStatus::InvalidCompOpt:
    case EcdHeaderStatus::InvalidFlag: return kEcdBadOption;
    }
    return kEcdBadOption;
}
