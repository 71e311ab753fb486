// What the decoder's file paths share: the CLIENT.log texts, buffered files over the platform
// layer and the header reader over any byte source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <zlib.h>

#include "client/ecd/ecd.h"
#include "core/handles.h"
#include "core/temp_file.h"
#include "platform/byte_order.h"
#include "platform/win.h"

class QvpClientLog;

namespace ecd {

inline constexpr char kTag[] = "ecd";

// CLIENT.log texts of the decoder.
namespace text {
inline constexpr char kOpen[] = "_open Error on EcdCtrlDecodeFile %s";
inline constexpr char kReadHeader[] = "_read Error on EcdCtrlDecodeFile %s %d";
inline constexpr char kMagic[] = "EcdCheckMagicNum Error on EcdCtrlDecodeFile";
inline constexpr char kOptionsPastEnd[] = "w_size Invalid on EcdCtrlDecodeFile";
inline constexpr char kReadOption[] = "_read[Opt] Error on EcdCtrlDecodeFile";
inline constexpr char kCompOptDefault[] = "switch[opt] default on EcdCtrlDecodeFile";
inline constexpr char kFlagDefault[] = "switch[opt0x80] default on EcdCtrlDecodeFile";
inline constexpr char kOutputOpen[] = "outh = -1 on EcdCtrlDecodeFile";
inline constexpr char kStoredWrite[] = "_write8 Error on EcdCtrlDecodeFile";
inline constexpr char kRead3[] = "_read3 Error on EcdCtrlDecodeFile";
inline constexpr char kRead4[] = "_read4 Error on EcdCtrlDecodeFile";
inline constexpr char kDecode[] = "qvpDecodeMemory Error on EcdCtrlDecodeFile";
inline constexpr char kWrite[] = "_write Error on EcdCtrlDecodeFile";
inline constexpr char kZlibRead3[] = "_read3 Error on EcdZLIBDecodeFile";
inline constexpr char kZlibRead4[] = "_read4 Error on EcdZLIBDecodeFile";
inline constexpr char kZlibDecode[] = "qvpDecodeMemory Error on EcdZLIBDecodeFile";
inline constexpr char kZlibWrite[] = "_write Error on EcdZLIBDecodeFile";
}  // namespace text

using qvp::be16;
using qvp::be32;

// Reads the header and the option words from `read(buffer, n)`, which returns the bytes read
// (fewer only at the end) or -1 on a failed read. `size` is the whole file's size.
template <class Read>
EcdHeaderStatus ReadHeader(Read&& read, uint64_t size, EcdOptions* options, uint64_t* dataOffset) {
    uint8_t header[kEcdHeaderSize];
    if (read(header, sizeof header) != static_cast<int64_t>(sizeof header))
        return EcdHeaderStatus::ShortHeader;
    if (EcdCheckMagicNum(be32(header), be32(header + 4), be32(header + 8), be32(header + 12)) == 0)
        return EcdHeaderStatus::BadMagic;
    *options = EcdOptions{};
    uint64_t left = size > kEcdHeaderSize ? size - kEcdHeaderSize : 0;
    uint64_t offset = kEcdHeaderSize;
    for (;;) {
        if (left < 2) return EcdHeaderStatus::PastEnd;
        left -= 2;
        uint8_t word[2];
        if (read(word, 2) != 2) return EcdHeaderStatus::ReadFailed;
        offset += 2;
        switch (EcdApplyOptionWord(be16(word), options)) {
        case EcdOptionStep::Continue: break;
        case EcdOptionStep::End: *dataOffset = offset; return EcdHeaderStatus::Ok;
        case EcdOptionStep::InvalidCompOpt: return EcdHeaderStatus::InvalidCompOpt;
        case EcdOptionStep::InvalidFlag: return EcdHeaderStatus::InvalidFlag;
        }
    }
}

// zlib's one-shot `uncompress` for a file's blocks: the same arguments and the same meaning of
// the result (Z_OK only when the whole stream inflated into at most *destLen bytes, *destLen
// then the bytes made), over one inflate state reset per block. That saves the allocation of the
// state and of its 32 KiB window per block, and the window copy of every block's output.
class Inflater {
public:
    Inflater() = default;
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater();

    int Uncompress(uint8_t* dest, uLongf* destLen, const uint8_t* source, uLong sourceLen);

private:
    z_stream stream_{};
    bool ready_ = false;
};

// A file of the platform layer, read or written through a buffer large enough that the copy
// loops cost about what the data costs.
class File {
public:
    static constexpr size_t kBufferSize = 256 * 1024;

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // false with the platform's last error kept.
    bool OpenRead(const char* path);
    // The output is written to a temporary beside `path` and takes its place (replacing what is
    // there, the encoded file itself included) only at a successful Close(): a decode that
    // fails, the disk full included, leaves `path` as it was and no partial file behind.
    bool Create(const char* path);

    uint64_t Size();                       // of an open file
    bool Seek(uint64_t offset);            // reading files: drops the buffer
    // Bytes read (fewer only at the end of the file), or -1 when a read failed.
    int64_t Read(void* buffer, size_t size);
    // Makes up to `size` (at most kBufferSize) bytes readable in place at Data(): the number
    // buffered (fewer only at the end of the file), or -1 when a read failed. Consume() then
    // takes them, so blocks are used where they were read, without a copy.
    int64_t Peek(size_t size);
    const uint8_t* Data() const { return buffer_.get() + begin_; }
    void Consume(size_t size) { begin_ += size; }
    bool Write(const void* data, size_t size);
    // Room for `size` (at most kBufferSize) bytes to be written in place; Commit() adds them.
    // Null when pending bytes could not be written.
    uint8_t* Space(size_t size);
    void Commit(size_t size) { end_ += size; }
    // Writes what is buffered.
    bool Flush();
    // Writes what is still buffered, closes and puts an output in place; false when any step
    // failed.
    bool Close();
    win::DWORD lastError() const { return lastError_; }

private:
    qvp::TempFile output_;     // (declared first: the handle closes before it is discarded)
    qvp::FileHandle handle_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t begin_ = 0;   // reading: next buffered byte
    size_t end_ = 0;     // reading: end of buffered bytes; writing: bytes pending
    bool writing_ = false;
    bool eof_ = false;
    win::DWORD lastError_ = 0;
};

// The steps every decode shares: each failure is logged and recorded as error detail.
// false when the encoded file does not open.
bool OpenInput(QvpClientLog& log, File& in, const char* path);
// false when the output can't be made.
bool CreateOutput(QvpClientLog& log, File& out, const char* path);
// kEcdIoError after a failed read or write of `file`, `text` logged.
int ReadFailure(QvpClientLog& log, const File& file, const char* text);
int WriteFailure(QvpClientLog& log, const File& file, const char* text);
// Closes the input, then the output (which puts it in place, over the input too), at the end of
// a decode; kEcdOk, or kEcdIoError with the failed close recorded as error detail.
int CloseDecodeFiles(File& out, File& in);

}  // namespace ecd
