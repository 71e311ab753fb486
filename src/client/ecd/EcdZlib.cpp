// The zlib-block path of the decoder: u16 length n, then n bytes of a zlib stream that inflates
// to at most 32767 bytes; a length of 0 or the end of the file ends the data.
#include <zlib.h>

#include <memory>
#include <new>

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

    std::unique_ptr<uint8_t[]> source(new (std::nothrow) uint8_t[0xFFFF]);
    std::unique_ptr<uint8_t[]> inflated(new (std::nothrow) uint8_t[kEcdBlockMax]);
    if (!source || !inflated) return kEcdBadOption;
    for (;;) {
        uint8_t word[2];
        const int64_t got = in.Read(word, 2);
        if (got < 0) return readFailure(text::kZlibRead3);
        if (got == 0) break;
        if (got == 1) {
            // A length cut by the end of the file is a damaged block, not the end.
            log.Write(kTag, "%s", text::kZlibDecode);
            return kEcdBadBlock;
        }
        const size_t length = Be16(word);
        if (length == 0) break;
        if (in.Read(source.get(), length) != static_cast<int64_t>(length))
            return readFailure(text::kZlibRead4);
        uLongf size = kEcdBlockMax;
        if (uncompress(inflated.get(), &size, source.get(), static_cast<uLong>(length)) != Z_OK) {
            log.Write(kTag, "%s", text::kZlibDecode);
            return kEcdBadBlock;
        }
        if (!out.Write(inflated.get(), size)) return writeFailure();
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
