// Files of the node-group side: handles and byte-range locks that release themselves, whole-file
// reads and writes, the nodegroupfile and nodeattributionfile layouts, and group paths.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/bounded_read.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "platform/win.h"

namespace qvp::nodes {

// ---- layouts (records and entries: nodes/node_record.h) -----------------------------------------
constexpr uint32_t kGroupHeaderSize = sizeof(NodeGroupHeader);
constexpr uint32_t kGroupEntrySize = sizeof(NodeGroupEntry);
constexpr uint32_t kGroupMemberNameSize = sizeof(NodeGroupEntry::ucMemberName);
constexpr char kRootGroupPath[] = "\\";
// A group's members, and the groups a node is in, can all be named in one JobGen, whose entry
// area (1284 bytes an entry) a u32 counts: no store holds more of either.
constexpr uint32_t kMaxGroupEntries = 0xFFFFFFFFu / 1284;
// nodegroupfile: a header announcing 144 bytes an entry, exactly as long as it says.
extern const DeclaredLayout kGroupFileLayout;
// nodeattributionfile: the 960-byte head and the back-links, as many as the file holds.
extern const DeclaredLayout kAttributionFileLayout;
// The flat definition file C.<key> or M.<key>: one QVAPI_NODE record.
extern const DeclaredLayout kFlatFileLayout;

// Whether a stored name field of `width` bytes (NUL-padded, possibly unterminated) holds
// exactly `name`.
bool FieldEquals(const char* field, size_t width, std::string_view name);
// The text of a NUL-padded field, bounded by its width.
std::string_view FieldText(const char* field, size_t width);
// Writes `name` into a field of `width` bytes, cleared first; at most `width` bytes copied.
void FieldSet(char* field, size_t width, std::string_view name);

// Whether `image` is a well-formed nodegroupfile: 32 + 144n bytes whose header says 144n bytes
// and n entries.
bool GroupImageWellFormed(const std::vector<uint8_t>& image);
inline uint32_t GroupEntryCount(const std::vector<uint8_t>& image) {
    return image.size() < kGroupHeaderSize
               ? 0
               : static_cast<uint32_t>((image.size() - kGroupHeaderSize) / kGroupEntrySize);
}
inline NodeGroupEntry* GroupEntryAt(std::vector<uint8_t>& image, uint32_t index) {
    return reinterpret_cast<NodeGroupEntry*>(image.data() + kGroupHeaderSize +
                                             size_t{index} * kGroupEntrySize);
}
inline const NodeGroupEntry* GroupEntryAt(const std::vector<uint8_t>& image, uint32_t index) {
    return reinterpret_cast<const NodeGroupEntry*>(image.data() + kGroupHeaderSize +
                                                   size_t{index} * kGroupEntrySize);
}
// Index of the first entry with that name and kind, or -1.
long FindGroupEntry(const std::vector<uint8_t>& image, std::string_view name, uint32_t kind);

// ---- paths ------------------------------------------------------------------------------------
// NODEGROUP\nodegroupfile for "\", else NODEGROUP<group path>\nodegroupfile.
std::string GroupFilePath(std::string_view groupPath);
// NODEGROUP for "\", else NODEGROUP<group path>.
std::string GroupDirectoryPath(std::string_view groupPath);
// A group path callers may name: "\" or "\" + levels joined by "\", each a valid group name,
// at most 259 characters. 0 when valid, else the API error code.
uint32_t CheckGroupPath(std::string_view groupPath);
// The group path with each existing level spelled as stored. Back-links are compared exactly,
// so a path given in another letter case must not leave a link that no removal can find.
std::string StoredGroupPath(std::string_view groupPath);
// "\" + name below the root, else parent + "\" + name.
std::string ChildGroupPath(std::string_view parent, std::string_view name);

// ---- handles, locks, whole-file I/O -------------------------------------------------------------
// The platform's last error as the log texts print it.
inline int LastErr() { return static_cast<int>(win::GetLastError()); }
// The code of a writer whose open or lock of a node file failed with `error`: busy
// (0x20000020) while another opener holds the file, else `other`. A held file is never read as
// a missing one: callers take "not there" for "removed".
inline uint32_t HeldOr(uint32_t other, win::DWORD error = win::GetLastError()) {
    return error == win::ERROR_SHARING_VIOLATION || error == win::ERROR_LOCK_VIOLATION ? QVAPI_ERR_BUSY : other;
}
// Opens for reading and writing without sharing; `disposition` OPEN_EXISTING or OPEN_ALWAYS.
FileHandle OpenExclusive(const std::string& path, win::DWORD disposition = win::OPEN_EXISTING);
FileHandle OpenExclusiveRead(const std::string& path);

class RangeLock {
public:
    RangeLock(win::HANDLE file, win::DWORD offset, win::DWORD length)
        : file_(file), offset_(offset), length_(length == 0 ? 1 : length) {}
    RangeLock(const RangeLock&) = delete;
    RangeLock& operator=(const RangeLock&) = delete;
    ~RangeLock() { Unlock(); }
    bool Lock();
    // True when the range is no longer held (released now or never held).
    bool Unlock();

private:
    win::HANDLE file_;
    win::DWORD offset_;
    win::DWORD length_;
    bool held_ = false;
};

// Up to `limit` bytes from the start; false on a read failure.
bool ReadUpTo(win::HANDLE file, void* buffer, uint32_t limit, uint32_t* got);
bool Seek(win::HANDLE file, uint32_t offset);
// The whole buffer at the current position; a short write fails with 29.
bool WriteAll(win::HANDLE file, const void* data, uint32_t size);
bool WriteAt(win::HANDLE file, uint32_t offset, const void* data, uint32_t size);
bool FileSize(win::HANDLE file, uint32_t* size);
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);

// Puts `image` in the place of the file at `path` in one step: written whole to a temporary
// beside it and renamed over it, so that a writer killed at any point leaves the old file or the
// new one. Temporaries a killed writer left beside it go first. False with the Windows error.
bool ReplaceWhole(const std::string& path, const std::vector<uint8_t>& image);
// The same with the new bytes given as pieces written one after another, so that a caller
// rewriting a file it read keeps no second image of it in memory.
bool ReplaceWhole(const std::string& path, std::initializer_list<std::span<const uint8_t>> pieces);

// Deletes a file, retrying `tries` times with `pauseMs` after each failure.
bool DeleteFileRetry(const std::string& path, int tries, uint32_t pauseMs);
// Deletes a file, waiting a little while another opener holds it: readers hold node files
// without sharing, for one read, and a writer's file must not stay behind for that.
bool DeleteOnceFree(const std::string& path);

}  // namespace qvp::nodes
