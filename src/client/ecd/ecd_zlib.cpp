// The zlib-block path of the decoder: u16 length n, then n bytes of a zlib stream that inflates
// to at most 32767 bytes; a length of 0 or the end of the file ends the data. (Module EcdZlib.)
#include <zlib.h>

#include "client/client_common.h"
#include "client/ecd/ecd_internal.h"

using namespace ecd;

namespace ecd {

Inflater::~Inflater() {
    if (ready_) inflateEnd(&stream_);
}

int Inflater::Uncompress(uint8_t* dest, uLongf* destLen, const uint8_t* source, uLong sourceLen) {
    if (!ready_) {
        const int init = inflateInit(&stream_);
        if (init != Z_OK) return init;
        ready_ = true;
    } else if (inflateReset(&stream_) != Z_OK) {
        return Z_STREAM_ERROR;
    }
    stream_.next_in = const_cast<Bytef*>(source);
    stream_.avail_in = static_cast<uInt>(sourceLen);
    stream_.next_out = dest;
    stream_.avail_out = static_cast<uInt>(*destLen);
    // All input and all room are there at once: one call with Z_FINISH either reaches the end
    // of the stream or can't, and never needs the window.
    const int result = inflate(&stream_, Z_FINISH);
    *destLen = stream_.total_out;
    switch (result) {
    case Z_STREAM_END: return Z_OK;
    case Z_NEED_DICT: return Z_DATA_ERROR;
    case Z_BUF_ERROR:
        // As uncompress tells them apart: input that ran out is damaged data, a full output
        // buffer is a buffer error.
        return stream_.avail_out != 0 ? Z_DATA_ERROR : Z_BUF_ERROR;
    default: return result;
    }
}

}  // namespace ecd

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
    Inflater inflater;
    for (;;) {
        const int64_t got = in.Peek(2);
        if (got < 0) return readFailure(text::kZlibRead3);
        if (got == 0) break;
        if (got == 1) {
            // A length cut by the end of the file is a damaged block, not the end.
            log.Write(kTag, "%s", text::kZlibDecode);
            return kEcdBadBlock;
        }
        const size_t length = be16(in.Data());
        in.Consume(2);
        if (length == 0) break;
        if (in.Peek(length) != static_cast<int64_t>(length)) return readFailure(text::kZlibRead4);
        uint8_t* target = out.Space(kEcdBlockMax);
        if (target == nullptr) return writeFailure();
        uLongf size = kEcdBlockMax;
        if (inflater.Uncompress(target, &size, in.Data(), static_cast<uLong>(length)) != Z_OK) {
            log.Write(kTag, "%s", text::kZlibDecode);
            return kEcdBadBlock;
        }
        in.Consume(length);
        out.Commit(size);
    }
    if (!out.Flush()) return writeFailure();
    return CloseDecodeFiles(out, in);
}
