// New-format extraction. The reader takes its bytes from an ArSource and makes folders and
// files through an ArSink, so the same code unpacks real archives into real folders and, in
// tests and fuzzing, memory into memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win.h"

namespace ar {

class ArContext;

class ArSource {
public:
    virtual ~ArSource() = default;
    // Exactly `length` bytes, or false.
    virtual bool read(void* buffer, size_t length) = 0;
    virtual bool skip(uint64_t length) = 0;
    // Bytes in the whole input.
    virtual uint64_t size() const = 0;
};

class ArSink {
public:
    virtual ~ArSink() = default;
    // Windows attributes of a path, INVALID_FILE_ATTRIBUTES (and lastError()) when it can't be
    // queried.
    virtual win::DWORD attributes(const std::string& path) = 0;
    // The restore folder, once made: every later path must lie below it. False when it can't
    // be taken as one.
    virtual bool setRestore(const std::string& restore) = 0;
    // True when `path` lies below the restore folder, reached through folders only (a link on
    // the way would lead elsewhere).
    virtual bool admits(const std::string& path) = 0;
    virtual bool createDirectory(const std::string& path) = 0;
    virtual bool deleteFile(const std::string& path) = 0;
    virtual bool setAttributes(const std::string& path, win::DWORD attributes) = 0;
    // Folders and files are made under their exact names (see FILE_FLAG_POSIX_SEMANTICS).
    // One file at a time: created anew, written, its times set, closed. With `mustBeNew` the
    // create fails (ERROR_FILE_EXISTS) rather than replace something already there.
    virtual bool createFile(const std::string& path, bool mustBeNew) = 0;
    // False when the write failed; `written` tells a short write (true, fewer bytes) apart.
    virtual bool write(const void* data, size_t length, size_t& written) = 0;
    virtual bool setFileTimes(const win::FILETIME& lastWrite, const win::FILETIME& lastAccess) = 0;
    virtual bool closeFile(bool flush) = 0;
    virtual bool setFolderTimes(const std::string& path, const win::FILETIME& lastWrite,
                                const win::FILETIME& lastAccess) = 0;
    virtual bool setSecurity(const std::string& path, const uint8_t* descriptor, size_t length) = 0;
    virtual win::DWORD lastError() const = 0;
};

// The reader of one archive over a source and a sink: the header and restore folder, then every
// entry. `archive` names the input in messages. 0, 3 (header not ours) or -1.
int qvpcuarExtract(ArContext& ctx, ArSource& source, ArSink& sink, const char* archive,
                   const char* restore, bool gauge);

// Extracts the new-format archive at `archive` into `restore` (or the folder stored in it) and
// deletes it afterwards unless `keep`. 0, 3 or -1.
int qvparExtractNewFormat(ArContext& ctx, const char* archive, const char* restore, int keep);

}  // namespace ar
