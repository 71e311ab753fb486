// New-format reader: header, name slots and restore folder, then the entry loop. Every count,
// length and index is checked against what the header announced and the bytes left before it
// is used, so a damaged archive is refused instead of read past.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "client/ar/ar_extract.h"
#include "client/ar/arcontext.h"
#include "client/ar/arformat.h"
#include "client/ar/arlog.h"
#include "client/ar/armatch.h"
#include "client/ar/arpath.h"
#include "client/ar/restore_tree.h"
#include "share/wapi/wapi.h"

namespace ar {
namespace {

constexpr size_t kCopyBufferSize = 1u << 20;
constexpr size_t kPathMax = 259;
constexpr win::DWORD kDeletePauseMs = 1000;
constexpr int kDeleteRetries = 10;

// A folder's descriptor, times and attributes wait until its contents are written: a folder
// made read-only first would refuse its children, and each child would move its times.
struct FolderFinish {
    std::string path;
    std::vector<uint8_t> descriptor;
    bool hasTimes = false;
    win::FILETIME lastWrite{};
    win::FILETIME lastAccess{};
    win::DWORD attributes = 0;
};

class Reader {
public:
    Reader(ArContext& ctx, ArSource& src, ArSink& sink, const char* archive, bool gauge)
        : ctx_(ctx), src_(src), sink_(sink), archive_(archive ? archive : ""), gauge_(gauge) {}

    int qvpcuarGetInfmation(const char* restore);
    int qvpcuarLoopProsec();

private:
    int defective(const char* why) {
        ctx_.log(msg::kDefective, archive_.c_str(), why);
        ctx_.message(static_cast<uint32_t>(-1), kMsgClassContent, msg::kDefective, archive_.c_str(),
                     why);
        return kUnarcFailed;
    }
    bool readArchive(void* buffer, size_t length) {
        if (!src_.read(buffer, length)) {
            ctx_.detail(kDetailReadArchive, win::GetLastError());
            ctx_.message(win::GetLastError(), kMsgClassSystem, msg::kMsgReadFile);
            return false;
        }
        pos_ += length;
        return true;
    }
    uint64_t left() const { return pos_ < end_ ? end_ - pos_ : 0; }
    int makeRestoreFolder();
    bool buildEntryPath(const std::string& name, std::string& path, std::string& parent) const;
    // True when nothing can be at `path` yet: its folder was made by this extraction and no
    // entry has used the path before. Saves a lookup per entry, which on a case-insensitive
    // platform means a scan of the folder.
    bool knownNew(const std::string& path, const std::string& parent) const {
        return fresh_.count(parent) != 0 && !made_.contains(path);
    }
    int makeFolder(const std::string& path, bool isNew);
    int removeExisting(const std::string& path);
    int writeFile(const std::string& path, bool isNew, uint32_t size, bool hasTimes,
                  const win::FILETIME& w, const win::FILETIME& a);
    void finishFolders();

    ArContext& ctx_;
    ArSource& src_;
    ArSink& sink_;
    std::string archive_;
    bool gauge_;
    ArHeader header_;
    std::unique_ptr<NameSlots> slots_;
    uint64_t pos_ = 0;
    uint64_t end_ = 0;
    std::string restore_;
    PathStyle style_;
    std::vector<uint8_t> copy_;
    std::vector<FolderFinish> folders_;
    std::unordered_set<std::string> fresh_;  // folders this extraction made
    MadeNames made_;                         // paths this extraction made
};

int Reader::qvpcuarGetInfmation(const char* restore) {
    uint8_t raw[kHeaderSize];
    if (src_.size() < kHeaderSize || !readArchive(raw, sizeof raw)) {
        ctx_.log(msg::kHeaderRead, static_cast<int>(win::GetLastError()), archive_.c_str());
        return kUnarcFailed;
    }
    header_ = decodeHeader(raw);
    if (header_.resGen[0] != 1 || header_.resGen[1] != 0) {
        ctx_.log(msg::kResource1);
        ctx_.message(static_cast<uint32_t>(-1), kMsgClassContent, msg::kResource1Msg,
                     header_.resGen[0], header_.resGen[1]);
        return kUnarcBadHeader;
    }
    if (!isKnownCompKind(header_.compKind)) {
        ctx_.log(msg::kResource2);
        ctx_.message(static_cast<uint32_t>(-1), kMsgClassContent, msg::kResource2Msg,
                     header_.compKind);
        return kUnarcBadHeader;
    }
    end_ = header_.archiveLength;
    if (end_ > src_.size()) return defective("archive length past the end of the file");
    if (header_.extraLength != 0) {
        if (header_.extraLength > left() || !src_.skip(header_.extraLength)) {
            ctx_.log(msg::kSkipExtra, static_cast<int>(win::GetLastError()));
            return kUnarcFailed;
        }
        pos_ += header_.extraLength;
    }
    slots_ = std::make_unique<NameSlots>(header_.nameCount, header_.longestName);
    if (header_.tableLength != 0) {
        if (header_.tableLength > left()) return defective("name table past the archive length");
        std::vector<uint8_t> table(header_.tableLength);
        if (!readArchive(table.data(), table.size())) {
            ctx_.log(msg::kHeaderRead, static_cast<int>(win::GetLastError()), archive_.c_str());
            return kUnarcFailed;
        }
        if (!slots_->append(table.data(), table.size()))
            return defective("header names beyond the announced count or length");
    }

    if (restore && *restore) {
        restore_ = restore;
    } else {
        const std::string* drive = slots_->get(header_.driveIndex);
        const std::string* base = slots_->get(header_.baseIndex);
        if (!drive || !base) return defective("stored folder names missing");
        // A POSIX folder is stored with "/" in place of the drive letter.
        restore_ = *drive == "/" ? "/" + *base : *drive + ":\\" + *base;
    }
    if (restore_.size() > kPathMax) return defective("restore folder too long");
    style_ = PathStyle::of(restore_);
    return makeRestoreFolder();
}

int Reader::makeRestoreFolder() {
    auto parts = style_.split(restore_);
    std::string path;
    size_t first = 0;
    bool unc = restore_.size() >= 2 && (restore_[0] == '\\' || restore_[0] == '/') &&
               restore_[1] == restore_[0];
    if (style_.posix && !unc) {
        path = "";
    } else if (unc) {
        if (parts.empty()) return defective("empty restore folder");
        path = "\\\\" + parts[0];
        first = 1;
    } else {
        if (parts.empty()) return defective("empty restore folder");
        path = parts[0];
        std::string root = path + "\\";
        if (sink_.attributes(root) == win::INVALID_FILE_ATTRIBUTES) {
            ctx_.log(msg::kNoDrive, root.c_str(), static_cast<int>(sink_.lastError()));
            return kUnarcFailed;
        }
        first = 1;
    }
    for (size_t i = first; i < parts.size(); ++i) {
        path = style_.posix && !unc ? path + "/" + parts[i] : path + "\\" + parts[i];
        win::DWORD a = sink_.attributes(path);
        if (a != win::INVALID_FILE_ATTRIBUTES) {
            if ((a & win::FILE_ATTRIBUTE_DIRECTORY) && !(a & win::FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            ctx_.log(msg::kMakeRestore);
            ctx_.message(win::ERROR_ALREADY_EXISTS, kMsgClassSystem, msg::kMsgCreateDirectory,
                         path.c_str());
            return kUnarcFailed;
        }
        if (!sink_.createDirectory(path)) {
            ctx_.log(msg::kMakeRestore);
            ctx_.detail(kDetailMakeFolder, sink_.lastError());
            ctx_.message(sink_.lastError(), kMsgClassSystem, msg::kMsgCreateDirectory, path.c_str());
            return kUnarcFailed;
        }
        if (i + 1 == parts.size()) fresh_.insert(restore_);
    }
    if (!sink_.setRestore(restore_)) {
        ctx_.log(msg::kMakeRestore);
        ctx_.message(sink_.lastError(), kMsgClassSystem, msg::kMsgCreateDirectory, restore_.c_str());
        return kUnarcFailed;
    }
    return kUnarcOk;
}

bool Reader::buildEntryPath(const std::string& name, std::string& path,
                            std::string& parent) const {
    // On a POSIX restore folder '/' is the only separator; a '\' there belongs to the name.
    auto parts = style_.posix ? style_.split(name) : splitStoredName(name);
    path = restore_;
    parent.clear();
    for (const auto& part : parts) {
        if (part == ".") continue;
        parent = path;
        path = style_.join(path, part);
    }
    return path.size() <= kPathMax;
}

int Reader::makeFolder(const std::string& path, bool isNew) {
    // A name the rules would merge with a folder made earlier in this run is a folder of its own.
    const bool variant = !isNew && made_.variantOf(path);
    if ((isNew || variant) && sink_.createDirectory(path)) {
        fresh_.insert(path);
        made_.add(path);
        return kUnarcOk;
    }
    if (variant && sink_.lastError() != win::ERROR_ALREADY_EXISTS) {
        ctx_.log(msg::kMkdir, path.c_str(), static_cast<int>(sink_.lastError()));
        ctx_.detail(kDetailMakeFolder, sink_.lastError());
        ctx_.message(sink_.lastError(), kMsgClassSystem, msg::kMsgCreateDirectory, path.c_str());
        return kUnarcFailed;
    }
    // Not new after all (a name differing only in case), or not made: look at what is there.
    win::DWORD a = sink_.attributes(path);
    if (a != win::INVALID_FILE_ATTRIBUTES) {
        if ((a & win::FILE_ATTRIBUTE_DIRECTORY) && !(a & win::FILE_ATTRIBUTE_REPARSE_POINT))
            return kUnarcOk;
        ctx_.log(msg::kNotFolder, path.c_str());
        return kUnarcFailed;
    }
    win::DWORD err = sink_.lastError();
    if (err != win::ERROR_FILE_NOT_FOUND && err != win::ERROR_PATH_NOT_FOUND) {
        ctx_.log(msg::kFolderQuery, path.c_str(), static_cast<int>(err));
        ctx_.message(err, kMsgClassSystem, msg::kMsgGetAttributes, path.c_str());
        return kUnarcFailed;
    }
    if (!sink_.createDirectory(path)) {
        ctx_.log(msg::kMkdir, path.c_str(), static_cast<int>(sink_.lastError()));
        ctx_.detail(kDetailMakeFolder, sink_.lastError());
        ctx_.message(sink_.lastError(), kMsgClassSystem, msg::kMsgCreateDirectory, path.c_str());
        return kUnarcFailed;
    }
    fresh_.insert(path);
    made_.add(path);
    return kUnarcOk;
}

int Reader::removeExisting(const std::string& path) {
    win::DWORD a = sink_.attributes(path);
    if (a == win::INVALID_FILE_ATTRIBUTES) return kUnarcOk;
    // A folder never gives way to a file; retrying would not change that.
    if ((a & win::FILE_ATTRIBUTE_DIRECTORY) && !(a & win::FILE_ATTRIBUTE_REPARSE_POINT)) {
        ctx_.log(msg::kCantDelete, path.c_str());
        return kUnarcFailed;
    }
    if (sink_.deleteFile(path)) return kUnarcOk;
    a = sink_.attributes(path);
    if (a == win::INVALID_FILE_ATTRIBUTES) {
        ctx_.log(msg::kCantDeleteQuery, path.c_str());
        return kUnarcFailed;
    }
    win::DWORD cleared = a & ~(win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_DIRECTORY |
                               win::FILE_ATTRIBUTE_REPARSE_POINT);
    if (!sink_.setAttributes(path, cleared ? cleared : win::FILE_ATTRIBUTE_NORMAL)) {
        ctx_.log(msg::kCantDelete, path.c_str());
        return kUnarcFailed;
    }
    bool gone = sink_.deleteFile(path);
    for (int i = 0; !gone && i < kDeleteRetries; ++i) {
        ctx_.pause(kDeletePauseMs);
        gone = sink_.deleteFile(path);
    }
    if (!gone) {
        ctx_.log(msg::kCantDelete, path.c_str());
        ctx_.message(sink_.lastError(), kMsgClassSystem, msg::kMsgDeleteFile, path.c_str());
        return kUnarcFailed;
    }
    return kUnarcOk;
}

int Reader::writeFile(const std::string& path, bool isNew, uint32_t size, bool hasTimes,
                      const win::FILETIME& w, const win::FILETIME& a) {
    // A path known to be new is created without looking for what is there, and so is a name
    // the rules would merge with a file made earlier in this run: that file is never replaced.
    // Only what exists under the exact name after all is replaced like any other.
    const bool tryNew = isNew || made_.variantOf(path);
    bool created = tryNew && sink_.createFile(path, true);
    const bool exists = !tryNew || (!created && (sink_.lastError() == win::ERROR_FILE_EXISTS ||
                                                 sink_.lastError() == win::ERROR_ALREADY_EXISTS));
    if (exists) {
        if (int r = removeExisting(path); r != kUnarcOk) return r;
        created = sink_.createFile(path, false);
    }
    if (!created) {
        ctx_.log(msg::kCreateFile, path.c_str(), static_cast<long>(sink_.lastError()));
        ctx_.detail(kDetailMakeFile, sink_.lastError());
        ctx_.message(sink_.lastError(), kMsgClassSystem, msg::kMsgCreateFile, path.c_str());
        return kUnarcFailed;
    }
    if (copy_.empty()) copy_.resize(kCopyBufferSize);
    uint32_t left = size;
    while (left > 0) {
        size_t chunk = std::min<size_t>(left, copy_.size());
        if (!readArchive(copy_.data(), chunk)) {
            ctx_.log(chunk == left ? msg::kReadSizeLast : msg::kReadSize, path.c_str(),
                     static_cast<int>(win::GetLastError()));
            sink_.closeFile(false);
            return kUnarcFailed;
        }
        size_t written = 0;
        const bool wrote = sink_.write(copy_.data(), chunk, written);
        if (!wrote || written != chunk) {
            ctx_.log(wrote ? msg::kWriteShort : msg::kWriteFailed, path.c_str(),
                     static_cast<int>(sink_.lastError()));
            ctx_.detail(kDetailWriteData, sink_.lastError());
            ctx_.message(sink_.lastError(), kMsgClassSystem, msg::kMsgWriteFile, path.c_str());
            sink_.closeFile(false);
            return kUnarcFailed;
        }
        left -= static_cast<uint32_t>(chunk);
    }
    // Times go on through the open file: once its descriptor is applied the file may no longer
    // be open for writing.
    if (hasTimes && !sink_.setFileTimes(w, a)) ctx_.log(msg::kUtime, path.c_str());
    if (!sink_.closeFile(ctx_.flushExtractedFiles)) {
        ctx_.log(msg::kCloseExtracted, path.c_str(), static_cast<int>(sink_.lastError()));
        return kUnarcFailed;
    }
    made_.add(path);
    return kUnarcOk;
}

int Reader::qvpcuarLoopProsec() {
    uint64_t step = end_ / 12;
    uint64_t mark = step;
    uint64_t gaugeValue = 20;
    std::vector<uint8_t> table;
    std::vector<uint8_t> descriptor;
    while (pos_ < end_) {
        if (gauge_ && pos_ > mark && gaugeValue < 80) {
            qvpGaugeSetCurrent(kGaugeInstall, gaugeValue);
            gaugeValue += 5;
            mark += step;
        }
        uint8_t raw[kEntrySize];
        if (left() < kEntrySize) return defective("entry block past the archive length");
        if (!readArchive(raw, sizeof raw)) {
            ctx_.log(msg::kEntryRead, static_cast<int>(win::GetLastError()));
            return kUnarcFailed;
        }
        ArEntryInfo e = decodeEntry(raw);

        descriptor.clear();
        if (e.aclLength != 0) {
            if (e.aclLength < kAclHeadSize || e.aclLength > left())
                return defective("ACL block length");
            uint8_t head[kAclHeadSize];
            if (!readArchive(head, sizeof head)) {
                ctx_.log(msg::kAclRead, static_cast<int>(win::GetLastError()));
                return kUnarcFailed;
            }
            ArAclHead ah = decodeAclHead(head);
            if (uint64_t{ah.length} + kAclHeadSize != e.aclLength)
                return defective("ACL length disagrees with the entry");
            if (ah.tag == kAclTag) {
                descriptor.resize(ah.length);
                if (!readArchive(descriptor.data(), descriptor.size())) {
                    ctx_.log(msg::kAclRead, static_cast<int>(win::GetLastError()));
                    return kUnarcFailed;
                }
            } else {
                if (!src_.skip(ah.length)) {
                    ctx_.log(msg::kAclRead, static_cast<int>(win::GetLastError()));
                    return kUnarcFailed;
                }
                pos_ += ah.length;
            }
        }

        if (e.tableLength != 0) {
            if (e.tableLength > left()) return defective("name table past the archive length");
            table.resize(e.tableLength);
            if (!readArchive(table.data(), table.size())) {
                ctx_.log(msg::kEntryRead, static_cast<int>(win::GetLastError()));
                return kUnarcFailed;
            }
            if (!slots_->append(table.data(), table.size()))
                return defective("names beyond the announced count or length");
        }

        if (e.dataSize != e.dataSize2) return defective("data sizes disagree");
        if (e.dataSize > left()) return defective("data past the archive length");
        const std::string* name = slots_->get(e.pathIndex);
        if (!name) return defective("path index outside the names read");
        if (!isSafeEntryName(*name)) return defective("entry name leaves the restore folder");
        std::string path, parent;
        if (!buildEntryPath(*name, path, parent)) return defective("path too long");
        const bool isNew = knownNew(path, parent);
        // The last word on confinement: where the path resolves, not how it reads. A name in a
        // folder this extraction made (after the same check) needs no second look.
        if (!isNew && !sink_.admits(path)) return defective("entry path leaves the restore folder");

        win::FILETIME w{}, a{};
        bool hasTimes = bcdToFileTime(e.writeDate, e.writeTime, &w) &&
                        bcdToFileTime(e.accessDate, e.accessTime, &a);
        win::DWORD attributes = attributesFromEntryKind(e.kind);

        if (!(e.kind & kEntFile)) {
            if (int r = makeFolder(path, isNew); r != kUnarcOk) return r;
            if (e.dataSize != 0) {
                if (!src_.skip(e.dataSize)) {
                    ctx_.log(msg::kEntryRead, static_cast<int>(win::GetLastError()));
                    return kUnarcFailed;
                }
                pos_ += e.dataSize;
            }
            FolderFinish f;
            f.path = path;
            f.descriptor = descriptor;
            f.hasTimes = hasTimes;
            f.lastWrite = w;
            f.lastAccess = a;
            f.attributes = attributes;
            folders_.push_back(std::move(f));
            continue;
        }

        if (int r = writeFile(path, isNew, e.dataSize, hasTimes, w, a); r != kUnarcOk) return r;
        if (!hasTimes) ctx_.log(msg::kUtime, path.c_str());
        if (!descriptor.empty()) sink_.setSecurity(path, descriptor.data(), descriptor.size());
        // A file made new already has the archive bit and nothing else.
        if (!(isNew && attributes == win::FILE_ATTRIBUTE_ARCHIVE) &&
            !sink_.setAttributes(path, attributes)) {
            ctx_.log(msg::kSetAttributes, path.c_str(), static_cast<long>(sink_.lastError()));
            ctx_.detail(kDetailAttributes, sink_.lastError());
        }
    }
    finishFolders();
    return kUnarcOk;
}

void Reader::finishFolders() {
    // Deepest first: the walk wrote every folder before its contents.
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
        if (it->hasTimes) sink_.setFolderTimes(it->path, it->lastWrite, it->lastAccess);
        if (!it->descriptor.empty())
            sink_.setSecurity(it->path, it->descriptor.data(), it->descriptor.size());
        if (!sink_.setAttributes(it->path, it->attributes)) {
            ctx_.log(msg::kSetAttributes, it->path.c_str(), static_cast<long>(sink_.lastError()));
            ctx_.detail(kDetailAttributes, sink_.lastError());
        }
    }
    folders_.clear();
}

}  // namespace

int qvpcuarExtract(ArContext& ctx, ArSource& source, ArSink& sink, const char* archive,
                   const char* restore, bool gauge) {
    Reader reader(ctx, source, sink, archive, gauge);
    int result = reader.qvpcuarGetInfmation(restore);
    if (result != kUnarcOk) {
        ctx.log(msg::kInfoFailed, archive ? archive : "", restore ? restore : "");
        return result;
    }
    if (reader.qvpcuarLoopProsec() != kUnarcOk) {
        ctx.log(msg::kLoopFailed);
        return kUnarcFailed;
    }
    return kUnarcOk;
}

}  // namespace ar
