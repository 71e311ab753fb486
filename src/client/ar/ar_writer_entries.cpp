// Writer entries: the entry block, its names, its descriptor and its data, and the walk below a
// folder. (Module newback.)
#include <algorithm>
#include <cstring>

#include "client/ar/ar_log.h"
#include "client/ar/ar_writer.h"
#include "core/handles.h"

namespace ar {

// ---- output ---------------------------------------------------------------------------------

bool ArcOutput::writeThrough(const void* data, size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        auto chunk = static_cast<win::DWORD>(std::min<size_t>(length, 1u << 30));
        win::DWORD written = 0;
        if (!win::WriteFile(file_, p, chunk, &written, nullptr) || written != chunk) {
            if (win::GetLastError() == 0) win::SetLastError(win::ERROR_WRITE_FAULT);
            return false;
        }
        p += chunk;
        length -= chunk;
    }
    return true;
}

bool ArcOutput::write(const void* data, size_t length) {
    if (position_ + length > kMaxArchiveLength) {
        win::SetLastError(win::ERROR_DISK_FULL);
        return false;
    }
    if (buffer_.size() + length > buffer_.capacity()) {
        if (!flush()) return false;
        if (length >= buffer_.capacity()) {
            if (!writeThrough(data, length)) return false;
            position_ += length;
            return true;
        }
    }
    const auto* p = static_cast<const uint8_t*>(data);
    buffer_.insert(buffer_.end(), p, p + length);
    position_ += length;
    return true;
}

bool ArcOutput::flush() {
    if (buffer_.empty()) return true;
    bool ok = writeThrough(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

bool ArcOutput::rewriteAtStart(const void* data, size_t length) {
    if (!flush()) return false;
    if (win::SetFilePointer(file_, 0, nullptr, win::FILE_BEGIN) == win::INVALID_SET_FILE_POINTER &&
        win::GetLastError() != 0)
        return false;
    return writeThrough(data, length);
}

// ---- entries --------------------------------------------------------------------------------

namespace {
constexpr size_t kCopyBufferSize = 1u << 20;
constexpr size_t kOutputBufferSize = 1u << 20;
constexpr char kRootName[] = "root";
constexpr char kSysName[] = "sys";
}  // namespace

ArcWriter::ArcWriter(ArContext& c, int mode, std::string b)
    : ctx(c), aclMode(mode), style(PathStyle::of(b)), base(std::move(b)), out(kOutputBufferSize),
      copyBuffer(kCopyBufferSize) {}

std::string ArcWriter::relativePath(const std::string& path) const {
    size_t cut = base.empty() ? 0 : base.size() + (style.endsWithSep(base) ? 0 : 1);
    if (path.size() <= cut) return ".";
    std::string rel = path.substr(cut);
    // Stored names always use '/'; on a POSIX path it already is the only separator.
    if (!style.posix) rel = joinSlash(style.split(rel));
    return rel.empty() ? "." : rel;
}

// The walk marks devices, sockets and pipes as system entries, and the platform refuses to
// open them (never blocking); a regular file may carry the system attribute too, so only one
// that opens is taken.
bool isRegularEntry(const std::string& path, const win::WIN32_FIND_DATAA& fd) {
    if ((fd.dwFileAttributes & win::FILE_ATTRIBUTE_SYSTEM) == 0) return true;
    qvp::FileHandle probe(win::CreateFile(path.c_str(), win::GENERIC_READ,
                                          win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                          win::OPEN_EXISTING, 0, nullptr));
    return probe.valid();
}

bool statPath(const std::string& path, win::WIN32_FIND_DATAA& fd) {
    PathStyle style = PathStyle::of(path);
    auto parts = style.split(path);
    if (parts.empty()) {
        win::SetLastError(win::ERROR_INVALID_NAME);
        return false;
    }
    const std::string& name = parts.back();
    // A name with wildcards, or a case variant found first, is looked up by walking its folder.
    if (name.find_first_of("*?") == std::string::npos) {
        qvp::FindWalk find(path, fd);
        if (find.valid()) {
            do {
                if (name == fd.cFileName) return true;
            } while (find.Next(fd));
        }
    }
    // The folder's walk: everything before the last component, kept as the caller wrote it.
    size_t end = path.size();
    while (end > 0 && style.endsWithSep(path.substr(0, end))) --end;
    std::string folder = path.substr(0, end - name.size());
    qvp::FindWalk find(style.join(folder, "*"), fd);
    if (!find.valid()) return false;
    do {
        if (name == fd.cFileName) return true;
    } while (find.Next(fd));
    win::SetLastError(win::ERROR_FILE_NOT_FOUND);
    return false;
}

uint16_t ArcWriter::sharedName(std::string_view name) {
    uint16_t index = dups.find(name);
    if (index != 0) return index;
    index = table.add(name);
    if (index != 0) dups.add(name, index);
    return index;
}

int ArcWriter::qvpcArGetFileAttributes(const std::string& path, const win::WIN32_FIND_DATAA& fd,
                                       ArEntryInfo& entry) {
    bool folder = (fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder && fd.nFileSizeHigh != 0) {
        ctx.log(msg::kTooLarge, path.c_str());
        return kArcFileFailed;
    }
    entry = ArEntryInfo{};
    entry.dataSize = folder ? 0 : fd.nFileSizeLow;
    entry.dataSize2 = entry.dataSize;
    if (!fileTimeToBcd(fd.ftLastWriteTime, &entry.writeDate, &entry.writeTime)) {
        ctx.log(msg::kBadWriteTime, path.c_str());
        return kArcBadTime;
    }
    if (!fileTimeToBcd(fd.ftLastAccessTime, &entry.accessDate, &entry.accessTime)) {
        ctx.log(msg::kBadAccessTime, path.c_str());
        return kArcBadTime;
    }
    std::string rel = relativePath(path);
    entry.pathIndex = table.add(rel);
    if (entry.pathIndex == 0) {
        ctx.log(msg::kTooManyNames, path.c_str());
        return kArcNoMemory;
    }
    entry.kind = entryKindFromAttributes(fd.dwFileAttributes);
    std::string_view shortName(fd.cAlternateFileName,
                               strnlen(fd.cAlternateFileName, sizeof fd.cAlternateFileName));
    if (!shortName.empty() && shortName != fd.cFileName) {
        entry.shortIndex = sharedName(shortName);
        if (entry.shortIndex == 0) {
            ctx.log(msg::kStorePath, path.c_str(), static_cast<int>(win::GetLastError()));
            return kArcNoMemory;
        }
    }
    return kArcOk;
}

int ArcWriter::copyFileData(const std::string& path, uint32_t size) {
    // Others may go on reading, writing or removing the file: the copy stops at the recorded
    // size either way, and full sharing costs the fewest share checks.
    qvp::FileHandle file(
        win::CreateFile(path.c_str(), win::GENERIC_READ,
                        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
                        nullptr, win::OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
        ctx.log(msg::kStatCopy, path.c_str(), static_cast<int>(win::GetLastError()));
        return kArcFileFailed;
    }
    // Exactly the recorded size: a file that grew is cut, one that shrank fails, so the entry's
    // size always tells where the next entry starts.
    uint32_t left = size;
    while (left > 0) {
        auto want = static_cast<win::DWORD>(std::min<size_t>(left, copyBuffer.size()));
        win::DWORD got = 0;
        if (!win::ReadFile(file.get(), copyBuffer.data(), want, &got, nullptr)) {
            ctx.log(msg::kReadChunk, path.c_str(), static_cast<int>(win::GetLastError()));
            return kArcReadFailed;
        }
        if (got == 0) {
            ctx.log(msg::kReadShort, path.c_str(), static_cast<int>(win::GetLastError()));
            return kArcFileFailed;
        }
        if (!out.write(copyBuffer.data(), got)) {
            ctx.log(msg::kWriteData, path.c_str(), static_cast<int>(win::GetLastError()));
            return kArcWriteFailed;
        }
        left -= got;
    }
    if (!file.Close()) {
        ctx.log(msg::kCloseFile, static_cast<int>(win::GetLastError()));
        return kArcFileFailed;
    }
    return kArcOk;
}

// The entry's fields, with the shared "root" and "sys" names.
int ArcWriter::entryFields(const std::string& path, const win::WIN32_FIND_DATAA& fd,
                           ArEntryInfo& entry) {
    int result = qvpcArGetFileAttributes(path, fd, entry);
    if (result != kArcOk) {
        ctx.log(msg::kEntryFields, path.c_str(), static_cast<int>(win::GetLastError()));
        return result;
    }
    entry.rootIndex = sharedName(kRootName);
    if (entry.rootIndex == 0) {
        ctx.log(msg::kStoreRoot);
        return kArcNoMemory;
    }
    entry.sysIndex = sharedName(kSysName);
    if (entry.sysIndex == 0) {
        ctx.log(msg::kStoreSys);
        return kArcNoMemory;
    }
    entry.seven = 7;
    return kArcOk;
}

// The descriptor stored with the entry: the ACL information file's (mode 1), the path's own
// (mode 2, kept in `own`), or none.
const std::vector<uint8_t>* ArcWriter::entryDescriptor(const std::string& path, bool folder,
                                                      std::vector<uint8_t>& own) {
    const std::vector<uint8_t>* descriptor = nullptr;
    if (aclMode == 1) {
        descriptor = &aclFiles.forEntry(ctx, folder);
    } else if (aclMode == 2) {
        qvparGetACLData(path.c_str(), own);
        descriptor = &own;
    }
    return descriptor && !descriptor->empty() ? descriptor : nullptr;
}

// The entry block, its ACL block and its part of the name table, refused whole when the entry
// with its data would take the archive past its length field.
int ArcWriter::writeEntry(const std::string& path, ArEntryInfo& entry,
                          const std::vector<uint8_t>* descriptor) {
    entry.aclLength = descriptor ? static_cast<uint32_t>(descriptor->size() + kAclHeadSize) : 0;
    entry.tableLength = static_cast<uint32_t>(table.bytes().size());
    entry.blockLength = kEntrySize;
    uint64_t entryBytes = uint64_t{kEntrySize} + entry.aclLength + entry.tableLength + entry.dataSize;
    if (out.position() + entryBytes > kMaxArchiveLength) {
        ctx.log(msg::kTooLarge, path.c_str());
        return kArcFileFailed;
    }
    uint8_t block[kEntrySize];
    encodeEntry(entry, block);
    if (!out.write(block, sizeof block)) {
        ctx.log(msg::kWriteEntry, static_cast<int>(kEntrySize), static_cast<int>(win::GetLastError()));
        return kArcWriteFailed;
    }
    if (descriptor) {
        uint8_t head[kAclHeadSize];
        encodeAclHead(ArAclHead{kAclTag, static_cast<uint32_t>(descriptor->size())}, head);
        if (!out.write(head, sizeof head)) {
            ctx.log(msg::kWriteAclHead, static_cast<int>(sizeof head),
                    static_cast<int>(win::GetLastError()));
            return kArcWriteFailed;
        }
        if (!out.write(descriptor->data(), descriptor->size())) {
            ctx.log(msg::kWriteAclData, static_cast<int>(descriptor->size()),
                    static_cast<int>(win::GetLastError()));
            return kArcWriteFailed;
        }
    }
    if (!out.write(table.bytes().data(), table.bytes().size())) {
        ctx.log(msg::kWriteEntryTable, static_cast<int>(win::GetLastError()));
        return kArcWriteFailed;
    }
    table.clear();
    return kArcOk;
}

int ArcWriter::arArcFiles(const std::string& path, bool noDescend,
                          const win::WIN32_FIND_DATAA* known) {
    win::WIN32_FIND_DATAA fd{};
    if (known) {
        fd = *known;
    } else if (!statPath(path, fd)) {
        // The status is the first step of the entry's fields: both lines, as for any of them.
        const win::DWORD err = win::GetLastError();
        ctx.log(msg::kStatEntry, path.c_str(), static_cast<int>(err));
        ctx.log(msg::kEntryFields, path.c_str(), static_cast<int>(err));
        return kArcFileFailed;
    }
    // Links are neither stored nor followed; nor are devices, sockets and pipes, which the walk
    // marks as system entries that are not folders (opening a pipe would block).
    if (fd.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) return kArcOk;
    bool folder = (fd.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder && !isRegularEntry(path, fd)) {
        ctx.log(msg::kNotRegular, path.c_str());
        return kArcOk;
    }

    ArEntryInfo entry;
    if (int result = entryFields(path, fd, entry); result != kArcOk) return result;
    std::vector<uint8_t> ownDescriptor;
    const std::vector<uint8_t>* descriptor = entryDescriptor(path, folder, ownDescriptor);
    if (int result = writeEntry(path, entry, descriptor); result != kArcOk) return result;
    if (!folder) return entry.dataSize == 0 ? kArcOk : copyFileData(path, entry.dataSize);
    if (noDescend) return kArcOk;
    return walkChildren(path);
}

int ArcWriter::walkChildren(const std::string& path) {
    win::WIN32_FIND_DATAA fd{};
    qvp::FindWalk find(style.join(path, "*"), fd);
    if (!find.valid()) {
        ctx.log(msg::kFindFirst, path.c_str(), static_cast<int>(win::GetLastError()));
        return kArcNoSource;
    }
    do {
        if (std::strcmp(fd.cFileName, ".") == 0 || std::strcmp(fd.cFileName, "..") == 0) continue;
        if (fd.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) continue;
        std::string child = style.join(path, fd.cFileName);
        int result = arArcFiles(child, false, &fd);
        if (result != kArcOk) {
            ctx.log(msg::kChildFailed, child.c_str());
            return result;
        }
    } while (find.Next(fd));
    // A walk that fails part way is no end: the entries after it would be missing.
    if (const win::DWORD error = win::GetLastError(); error != win::ERROR_NO_MORE_FILES) {
        ctx.log(msg::kFindNext, path.c_str(), static_cast<int>(error));
        return kArcNoSource;
    }
    return kArcOk;
}

}  // namespace ar
