// The writer's per-archive state and its entry routines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/ar/ar_context.h"
#include "client/ar/ar_format.h"
#include "client/ar/ar_acl.h"
#include "client/ar/ar_match.h"
#include "client/ar/ar_path.h"
#include "platform/win.h"

namespace ar {

// Largest archive the u32 length field can describe.
constexpr uint64_t kMaxArchiveLength = 0xFFFFFFFFull;

// Buffered output to the archive file; counts every byte so the archive never outgrows its
// length field.
class ArcOutput {
public:
    explicit ArcOutput(size_t capacity) { buffer_.reserve(capacity); }
    void attach(win::HANDLE file) { file_ = file; }
    bool write(const void* data, size_t length);
    bool flush();
    // Rewrites `length` bytes at offset 0 (the final header); flushes first.
    bool rewriteAtStart(const void* data, size_t length);
    uint64_t position() const { return position_; }

private:
    bool writeThrough(const void* data, size_t length);

    win::HANDLE file_ = win::INVALID_HANDLE_VALUE;
    std::vector<uint8_t> buffer_;
    uint64_t position_ = 0;
};

class ArcWriter {
public:
    ArcWriter(ArContext& ctx, int aclMode, std::string base);

    ArContext& ctx;
    const int aclMode;
    const PathStyle style;
    const std::string base;  // cut from every entry's path
    PendingTable table;
    DupList dups;
    AclInfoFiles aclFiles;
    ArcOutput out;
    std::vector<uint8_t> copyBuffer;

    // One entry and, for a folder without noDescend, everything below it in the platform's
    // order. `known` is the entry's find data when the caller's walk already has it.
    int arArcFiles(const std::string& path, bool noDescend,
                   const win::WIN32_FIND_DATAA* known = nullptr);

private:
    int qvpcArGetFileAttributes(const std::string& path, const win::WIN32_FIND_DATAA& fd,
                                ArEntryInfo& entry);
    uint16_t sharedName(std::string_view name);
    // The steps of one entry: its fields, its descriptor, then the block, ACL and names written.
    int entryFields(const std::string& path, const win::WIN32_FIND_DATAA& fd, ArEntryInfo& entry);
    const std::vector<uint8_t>* entryDescriptor(const std::string& path, bool folder,
                                                std::vector<uint8_t>& own);
    int writeEntry(const std::string& path, ArEntryInfo& entry,
                   const std::vector<uint8_t>* descriptor);
    int copyFileData(const std::string& path, uint32_t size);
    int walkChildren(const std::string& path);
    std::string relativePath(const std::string& path) const;
};

// Find data of one path, taken from its folder's walk. False with the last error set.
bool statPath(const std::string& path, win::WIN32_FIND_DATAA& fd);

}  // namespace ar
