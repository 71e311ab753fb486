// The kind test in front of every extraction: an encoded file is decoded first, an old-format
// archive goes to its own reader, anything else is left to the new-format reader.
#include <string>

#include "client/ar/ar_format.h"
#include "client/ar/old_reader.h"
#include "client/ar/unarchive.h"
#include "client/ecd/ecd.h"
#include "core/handles.h"
#include "core/temp_file.h"
#include "platform/byte_order.h"
#include "platform/win.h"

namespace {

constexpr char kTag[] = "ar";
constexpr char kMissing[] = "qvparMain Error, %s is Nothing";
constexpr char kDecodeFailed[] = "qvpEcdCtrlDecodeFile Error %s";

// The first bytes of the file (at most `size`); -1 when it can't be opened.
int ReadPrefix(const char* path, uint8_t* buffer, size_t size) {
    qvp::FileHandle file(win::CreateFile(path, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                         win::OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return -1;
    size_t done = 0;
    while (done < size) {
        win::DWORD got = 0;
        if (!win::ReadFile(file.get(), buffer + done, static_cast<win::DWORD>(size - done), &got,
                           nullptr) ||
            got == 0)
            break;
        done += got;
    }
    return static_cast<int>(done);
}

QvpArInput Done(int result) {
    QvpArInput input;
    input.done = true;
    input.result = result;
    return input;
}

QvpArInput NewFormat(std::string path, int keep) {
    QvpArInput input;
    input.path = std::move(path);
    input.keep = keep;
    return input;
}

// Without keep the archive is consumed: the decoded archive takes its name only once the
// decoding is complete (a failed one leaves it as it was), and is then extracted and deleted
// like any other.
QvpArInput DecodeInPlace(QvpClientLog& log, const std::string& archive) {
    if (EcdCtrlDecodeFile(archive.c_str(), archive.c_str()) != kEcdOk) {
        log.Write(kTag, kDecodeFailed, archive.c_str());
        return Done(-1);
    }
    return NewFormat(archive, 0);
}

// With keep the caller's file is only read: the decoded archive goes to a temporary file
// beside it, which the extraction deletes when it is done with it.
QvpArInput DecodeBeside(QvpClientLog& log, const std::string& archive) {
    qvp::TempFile decoded;
    if (!decoded.Create(archive, ".dcd", win::GENERIC_WRITE)) {
        log.Write(kTag, kDecodeFailed, archive.c_str());
        return Done(-1);
    }
    decoded.handle.Close();
    if (EcdCtrlDecodeFile(archive.c_str(), decoded.path().c_str()) != kEcdOk) {
        log.Write(kTag, kDecodeFailed, archive.c_str());
        return Done(-1);
    }
    decoded.Keep();
    return NewFormat(decoded.path(), 0);
}

}  // namespace

QvpArInput qvparDispatchInput(const char* archivePath, const char* restoreFolder, int keep) {
    QvpClientLog log;
    const std::string archive = archivePath != nullptr ? archivePath : "";
    uint8_t prefix[ar::kOldHeaderSize];
    const int got = ReadPrefix(archive.c_str(), prefix, sizeof prefix);
    if (got < 0) {
        log.Write(kTag, kMissing, archive.c_str());
        return Done(-1);
    }
    // The encoded-file test comes first: an encoded file may well hold 'N','N' at offset 8.
    if (got >= static_cast<int>(kEcdHeaderSize) &&
        EcdCheckMagicNum(qvp::be32(prefix), qvp::be32(prefix + 4), qvp::be32(prefix + 8), qvp::be32(prefix + 12)))
        return keep != 0 ? DecodeBeside(log, archive) : DecodeInPlace(log, archive);
    // The mark alone decides: a file too short for the old header still goes to that reader,
    // which refuses it without deleting it.
    if (got >= 10 && prefix[8] == 'N' && prefix[9] == 'N')
        return Done(arCreateUnarcFile(archive.c_str(), restoreFolder, keep));
    return NewFormat(archive, keep);
}
