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
    if (!OpenInput(log, in, encodedPath)) return kEcdIoError;
    File out;
    if (!CreateOutput(log, out, outputPath)) return kEcdIoError;
    auto readFailure = [&](const char* message) { return ReadFailure(log, in, message); };
    auto writeFailure = [&]() { return WriteFailure(log, out, text::kZlibWrite); };
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
    return CloseDecodeFiles(out, in);
}
