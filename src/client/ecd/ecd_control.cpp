// Decoding of an encoded package file: header, options, then stored data or Huffman blocks
// (zlib blocks go to EcdZLIBDecodeFile). (Module EcdCtrl.)
#include "client/client_common.h"
#include "client/ecd/ecd_internal.h"

namespace {

using namespace ecd;

// The bytes go out from the input's buffer where they were read: no copy between the two.
int CopyStored(QvpClientLog& log, const char* path, File& in, File& out) {
    for (;;) {
        const int64_t got = in.Peek(File::kBufferSize);
        if (got < 0) {
            // A failed read is no end of the data.
            qvparSetErrorDetail(kDetailRead, in.lastError());
            log.Write(kTag, text::kReadHeader, path, static_cast<int>(in.lastError()));
            return kEcdIoError;
        }
        if (got == 0) break;
        if (!out.Write(in.Data(), static_cast<size_t>(got)))
            return WriteFailure(log, out, text::kStoredWrite);
        in.Consume(static_cast<size_t>(got));
    }
    if (!out.Flush()) return WriteFailure(log, out, text::kStoredWrite);
    return kEcdOk;
}

// Each block is decoded where it was read, straight into the output's buffer.
int DecodeHuffman(QvpClientLog& log, File& in, File& out) {
    bool more = true;
    while (more) {
        const int64_t head = in.Peek(4);
        if (head < 2) return ReadFailure(log, in, text::kRead3);
        if (head < 4) return ReadFailure(log, in, text::kRead4);
        const size_t size = 4 + size_t{be16(in.Data() + 2)};
        if (in.Peek(size) != static_cast<int64_t>(size)) return ReadFailure(log, in, text::kRead4);
        uint8_t* target = out.Space(kEcdBlockMax);
        if (target == nullptr) return WriteFailure(log, out, text::kWrite);
        const uint8_t* cursor = in.Data();
        const uint32_t count = qvpDecodeMemory(target, &cursor, size);
        if (count == 0) {
            log.Write(kTag, "%s", text::kDecode);
            return kEcdBadBlock;
        }
        in.Consume(size);
        out.Commit(count);
        more = cursor != nullptr;
    }
    if (!out.Flush()) return WriteFailure(log, out, text::kWrite);
    return kEcdOk;
}

}  // namespace

int EcdCtrlDecodeFile(const char* encodedPath, const char* outputPath) {
    QvpClientLog log;
    File in;
    if (!OpenInput(log, in, encodedPath)) return kEcdIoError;
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
    if (!CreateOutput(log, out, outputPath)) return kEcdIoError;
    const int result = options.compOpt == kEcdStored ? CopyStored(log, encodedPath, in, out)
                                                     : DecodeHuffman(log, in, out);
    if (result != kEcdOk) return result;
    return CloseDecodeFiles(out, in);
}
