// The zlib-block path of the decoder: u16 length n, then n bytes of a zlib stream that inflates
// to at most 32767 bytes; a length of 0 or the end of the file ends the data.
#include <zlib.h>

#include "client/ar/unarchive.h"
#include "client/ecd/EcdInternal.h"

using namespace ecd;

int EcdZLIBDecodeFile(const char* encodedPath, const char* outputPath, int /*flag*/,
                      uint64_t dataOffset) {
    QvpClientLog log;
    File in;
    if (!in.OpenRead(encodedPath)) {
        qvparSetErrorDetail(kDetailOpen, in.lastError());
        log.Write(kTag, text::kOpen, encodedPath);
        return kEcdIoError;
    }
    File out;
    if (!out.Create(outputPath)) {
        qvparSetErrorDetail(kDetailOpen, out.lastError());
        log.Write(kTag, "%s", text::kOutputOpen);
        return kEcdIoError;
    }
    auto readFailure = [&](const char* message) {
        qvparSetErrorDetail(kDetailRead, in.lastError());
        log.Write(kTag, "%s", message);
        return kEcdIoError;
    };
    auto writeFailure = [&]() {
        qvparSetErrorDetail(kDetailWrite, out.lastError());
        log.Write(kTag, "%s", text::kZlibWrite);
        return kEcdIoError;
    };
    if (!in.Seek(dataOffset)) return readFailure(text::kZlibRead3);

    // Each block is inflated where it was read, straight into the output's buffer.
    for (;;) {
        const int64_t got = in.Peek(2);
        if (got < 0) return readFailure(text::kZlibRead3);
        if (got == 0) break;
        if (got == 1) {
            // A length cut by the end of the file is a damaged block, not the end.
            log.Write(kTag, "%s", text::kZlibDecode);
            return kEcdBadBlock;
        }
        const size_t length = Be16(in.Data());
        in.Consume(2);
        if (length == 0) break;
        if (in.Peek(length) != static_cast<int64_t>(length)) return readFailure(text::kZlibRead4);
        uint8_t* target = out.Space(kEcdBlockMax);
        if (target == nullptr) return writeFailure();
        uLongf size = kEcdBlockMax;
        if (uncompress(target, &size, in.Data(), static_cast<uLong>(length)) != Z_OK) {
            log.Write(kTag, "%s", text::kZlibDecode);
            return kEcdBadBlock;
        }
        in.Consume(length);
        out.Commit(size);
    }
    if (!out.Flush()) return writeFailure();
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
