// Decoding of an encoded package file: header, options, then stored data or Huffman blocks
// (zlib blocks go to EcdZLIBDecodeFile).
#include <memory>
#include <new>

#include "client/ar/unarchive.h"
#include "client/ecd/EcdInternal.h"

namespace {

using namespace ecd;

int ReadFailure(QvpClientLog& log, const File& file, const char* text) {
    qvparSetErrorDetail(kDetailRead, file.lastError());
    log.Write(kTag, "%s", text);
    return kEcdIoError;
}

int WriteFailure(QvpClientLog& log, const File& file, const char* text) {
    qvparSetErrorDetail(kDetailWrite, file.lastError());
    log.Write(kTag, "%s", text);
    return kEcdIoError;
}

int CopyStored(QvpClientLog& log, const char* path, File& in, File& out) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[File::kBufferSize]);
    if (!buffer) return kEcdBadOption;
    for (;;) {
        const int64_t got = in.Read(buffer.get(), File::kBufferSize);
        if (got < 0) {
            // A failed read is no end of the data.
            qvparSetErrorDetail(kDetailRead, in.lastError());
            log.Write(kTag, text::kReadHeader, path, static_cast<int>(in.lastError()));
            return kEcdIoError;
        }
        if (got == 0) break;
        if (!out.Write(buffer.get(), static_cast<size_t>(got)))
            return WriteFailure(log, out, text::kStoredWrite);
    }
    if (!out.Flush()) return WriteFailure(log, out, text::kStoredWrite);
    return kEcdOk;
}

int DecodeHuffman(QvpClientLog& log, File& in, File& out) {
    constexpr size_t kBlockMax = 4 + 0xFFFF;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kBlockMax]);
    std::unique_ptr<uint8_t[]> decoded(new (std::nothrow) uint8_t[kEcdBlockMax]);
    if (!block || !decoded) return kEcdBadOption;
    bool more = true;
    while (more) {
        if (in.Read(block.get(), 2) != 2) return ReadFailure(log, in, text::kRead3);
        if (in.Read(block.get() + 2, 2) != 2) return ReadFailure(log, in, text::kRead4);
        const size_t length = Be16(block.get() + 2);
        if (in.Read(block.get() + 4, length) != static_cast<int64_t>(length))
            return ReadFailure(log, in, text::kRead4);
        const uint8_t* cursor = block.get();
        const uint32_t count = qvpDecodeMemory(decoded.get(), &cursor, 4 + length);
        if (count == 0) {
            log.Write(kTag, "%s", text::kDecode);
            return kEcdBadBlock;
        }
        if (!out.Write(decoded.get(), count)) return WriteFailure(log, out, text::kWrite);
        more = cursor != nullptr;
    }
    if (!out.Flush()) return WriteFailure(log, out, text::kWrite);
    return kEcdOk;
}

}  // namespace

int EcdCtrlDecodeFile(const char* encodedPath, const char* outputPath) {
    QvpClientLog log;
    File in;
    if (!in.OpenRead(encodedPath)) {
        qvparSetErrorDetail(kDetailOpen, in.lastError());
        log.Write(kTag, text::kOpen, encodedPath);
        return kEcdIoError;
    }
    EcdOptions options;
    uint64_t dataOffset = 0;
    const EcdHeaderStatus status = ReadHeader(
        [&](void* buffer, size_t size) { return in.Read(buffer, size); }, in.Size(), &options,
        &dataOffset);
    switch (status) {
    case EcdHeaderStatus::Ok:
        break;
    case EcdHeaderStatus::ShortHeader:
        qvparSetErrorDetail(kDetailRead, in.lastError());
        log.Write(kTag, text::kReadHeader, encodedPath, static_cast<int>(in.lastError()));
        return kEcdIoError;
    case EcdHeaderStatus::BadMagic:
        log.Write(kTag, "%s", text::kMagic);
        return kEcdBadMagic;
    case EcdHeaderStatus::PastEnd:
        log.Write(kTag, "%s", text::kOptionsPastEnd);
        return kEcdBadOption;
    case EcdHeaderStatus::ReadFailed:
        return ReadFailure(log, in, text::kReadOption);
    case EcdHeaderStatus::InvalidCompOpt:
        log.Write(kTag, "%s", text::kCompOptDefault);
        return kEcdBadOption;
    case EcdHeaderStatus::InvalidFlag:
        log.Write(kTag, "%s", text::kFlagDefault);
        return kEcdBadOption;
    }

    if (options.compOpt == kEcdStored && !options.flag) return kEcdNoDecode;
    if (options.compOpt == kEcdZlib) {
        in.Close();
        return EcdZLIBDecodeFile(encodedPath, outputPath, options.flag ? 1 : 0, dataOffset);
    }

    File out;
    if (!out.Create(outputPath)) {
        qvparSetErrorDetail(kDetailOpen, out.lastError());
        log.Write(kTag, "%s", text::kOutputOpen);
        return kEcdIoError;
    }
    const int result = options.compOpt == kEcdStored ? CopyStored(log, encodedPath, in, out)
                                                     : DecodeHuffman(log, in, out);
    if (result != kEcdOk) return result;
    if (!out.Close()) {
        qvparSetErrorDetail(kDetailClose, out.lastError());
        return kEcdIoError;
    }
    if (!in.Close()) {
        qvparSetErrorDetail(kDetailClose, in.lastError());
        return kEcdIoError;
    }
    return kEcdOk;
}
