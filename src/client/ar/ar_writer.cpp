// The archive writer's driver: chooses the base folder and the items, writes the header names,
// the items in list order and the final header, and puts the finished archive in place.
// (Module arBack.)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/ar/archiver.h"
#include "client/ar/ar_log.h"
#include "client/ar/ar_writer.h"
#include "core/handles.h"
#include "core/temp_file.h"
#include "share/wapi/wapi.h"

namespace ar {
namespace {

// WOW64 redirection off for the whole archive.
class Wow64Off {
public:
    Wow64Off() { qvpWow64DisableWow64FsRedirection(&old_); }
    ~Wow64Off() { qvpWow64RevertWow64FsRedirection(old_); }
    Wow64Off(const Wow64Off&) = delete;
    Wow64Off& operator=(const Wow64Off&) = delete;

private:
    void* old_ = nullptr;
};

// The packaging gauge, shown only for a package's resource file.
class PackGauge {
public:
    explicit PackGauge(bool shown) : shown_(shown) {}
    void set(uint64_t value) const {
        if (shown_) qvpGaugeSetCurrent(kGaugePackaging, value);
    }

private:
    bool shown_;
};

bool isUnc(std::string_view path) {
    return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

// "X:" alone.
bool isBareDrive(std::string_view path) { return path.size() == 2 && path[1] == ':'; }

// The stored base path: without the drive and colon (POSIX: without the leading '/'; UNC:
// without "\\server\"), components joined with '/'.
std::string storedBasePath(std::string_view path) {
    PathStyle style = PathStyle::of(path);
    std::vector<std::string> parts;
    if (style.posix) {
        parts = style.split(path);
    } else if (isUnc(path)) {
        parts = style.split(path);
        if (!parts.empty()) parts.erase(parts.begin());  // the server
    } else {
        parts = style.split(path.size() >= 2 ? path.substr(2) : std::string_view{});
    }
    return joinSlash(parts);
}

// The stored drive: the first character of the path ("/" for a POSIX path).
std::string storedDrive(std::string_view path) {
    return path.empty() ? std::string() : std::string(1, path.front());
}

// The base folder and the items packed from it: a caller's name list, a bare drive's or a
// share's entries, or the source's own last component.
struct PackPlan {
    std::string base;
    std::vector<std::string> items;
};

// Base path text from its components, in the source's own style.
std::string JoinBase(const PathStyle& style, const std::string& src,
                     const std::vector<std::string>& parts) {
    if (style.posix) return "/" + joinSlash(parts);
    std::string joined;
    for (const auto& part : parts) {
        if (!joined.empty()) joined.push_back('\\');
        joined += part;
    }
    return isUnc(src) ? "\\\\" + joined : joined;
}

int PlanItems(ArContext& ctx, const std::string& src, const char* names, int count, PackPlan& plan) {
    const PathStyle style = PathStyle::of(src);
    auto srcParts = style.split(src);
    const bool uncShareOnly = isUnc(src) && srcParts.size() == 2;
    if (names) {
        plan.base = src;
        const char* p = names;
        const int n = count > 0 ? count : 1;
        for (int i = 0; i < n; ++i) {
            plan.items.emplace_back(p);
            p += plan.items.back().size() + 1;
        }
        return kArcOk;
    }
    if ((isBareDrive(src) && count == 0) || uncShareOnly) {
        plan.base = src;
        win::WIN32_FIND_DATAA fd{};
        qvp::FindWalk find(style.join(src, "*"), fd);
        if (!find.valid()) {
            ctx.log(msg::kNoEntries, src.c_str(), static_cast<int>(win::GetLastError()));
            return kArcFileFailed;
        }
        do {
            if (std::strcmp(fd.cFileName, ".") != 0 && std::strcmp(fd.cFileName, "..") != 0)
                plan.items.emplace_back(fd.cFileName);
        } while (find.Next(fd));
        if (win::GetLastError() != win::ERROR_NO_MORE_FILES) {
            ctx.log(msg::kNoEntries, src.c_str(), static_cast<int>(win::GetLastError()));
            return kArcFileFailed;
        }
        return kArcOk;
    }
    if (srcParts.empty()) {
        ctx.log(msg::kNoSource, src.c_str(), static_cast<int>(win::ERROR_INVALID_NAME));
        return kArcNoSource;
    }
    plan.items.push_back(srcParts.back());
    srcParts.pop_back();
    plan.base = JoinBase(style, src, srcParts);
    return kArcOk;
}

// The header's placeholder, then the header's name table: the drive and the base path stored
// from `nameSource`.
int WriteHeaderNames(ArContext& ctx, ArcWriter& writer, ArHeader& h, const std::string& nameSource) {
    uint8_t placeholder[kHeaderSize] = {};
    if (!writer.out.write(placeholder, sizeof placeholder)) {
        ctx.log(msg::kWritePlaceholder, static_cast<int>(win::GetLastError()));
        return kArcWriteFailed;
    }
    const std::string drive = storedDrive(nameSource);
    h.driveIndex = writer.table.add(drive);
    if (h.driveIndex == 0) {
        ctx.log(msg::kStoreDrive, drive.c_str());
        return kArcNoMemory;
    }
    const std::string stored = storedBasePath(nameSource);
    h.baseIndex = writer.table.add(stored);
    if (h.baseIndex == 0) {
        ctx.log(msg::kStoreBase, stored.c_str());
        return kArcNoMemory;
    }
    h.extraLength = 0;
    h.tableLength = static_cast<uint32_t>(writer.table.bytes().size());
    if (!writer.out.write(writer.table.bytes().data(), writer.table.bytes().size())) {
        ctx.log(msg::kWriteHeaderTable, static_cast<int>(h.tableLength),
                static_cast<int>(win::GetLastError()));
        return kArcWriteFailed;
    }
    writer.table.clear();
    return kArcOk;
}

// Every item in list order; the folders on the way to a nested item come first, each without
// its contents. The gauge goes from 20 to 50.
int WriteItems(ArContext& ctx, ArcWriter& writer, const PackPlan& plan, const std::string& src,
               const PackGauge& gauge) {
    const PathStyle itemStyle = PathStyle::of(plan.base.empty() ? src : plan.base);
    for (size_t i = 0; i < plan.items.size(); ++i) {
        const auto parts = itemStyle.split(plan.items[i]);
        std::string way = plan.base;
        for (size_t k = 0; k + 1 < parts.size(); ++k) {
            way = itemStyle.join(way, parts[k]);
            const int result = writer.arArcFiles(way, true);
            if (result != kArcOk) {
                ctx.log(msg::kWayFailed, way.c_str());
                return result;
            }
        }
        const std::string path = itemStyle.join(plan.base, plan.items[i]);
        const int result = writer.arArcFiles(path, false);
        if (result != kArcOk) {
            ctx.log(msg::kItemFailed, path.c_str());
            return result;
        }
        const uint64_t done = 20 + 30 * (i + 1) / plan.items.size();
        if (done <= 50) gauge.set(done);
    }
    return kArcOk;
}

// The final header over the placeholder, then the archive closed and put in place.
int Finish(ArContext& ctx, ArcWriter& writer, ArHeader& h, qvp::TempFile& temp, const char* archive) {
    h.archiveLength = static_cast<uint32_t>(writer.out.position());
    h.tableOffset = kHeaderSize;
    h.nameCount = writer.table.count();
    h.longestName = writer.table.longest();
    uint8_t header[kHeaderSize] = {};
    encodeHeader(h, header);
    if (!writer.out.rewriteAtStart(header, sizeof header)) {
        ctx.log(msg::kWriteFinalHeader, archive, static_cast<int>(win::GetLastError()));
        return kArcWriteFailed;
    }
    if (!temp.handle.Close()) {
        ctx.log(msg::kCloseArchive, archive, static_cast<int>(win::GetLastError()));
        return kArcFileFailed;
    }
    if (!temp.Place()) {
        ctx.log(msg::kReplaceTarget, archive, static_cast<int>(win::GetLastError()));
        return kArcWriteFailed;
    }
    return kArcOk;
}

}  // namespace
}  // namespace ar

using namespace ar;

int qvpcarCreateArcFile(const char* source, const char* names, int count, int kind,
                        const char* basePath, const char* archive, int aclMode) {
    ArContext ctx;
    return qvpcarCreateArcFile(ctx, source, names, count, kind, basePath, archive, aclMode);
}

int qvpcarCreateArcFile(ArContext& ctx, const char* source, const char* names, int count,
                        int kind, const char* basePath, const char* archive, int aclMode) {
    Wow64Off wow64;
    if (!source || !*source || !archive || !*archive) {
        ctx.log(msg::kNoSource, source ? source : "", static_cast<int>(win::ERROR_INVALID_PARAMETER));
        return kArcNoSource;
    }
    if (win::GetFileAttributes(source) == win::INVALID_FILE_ATTRIBUTES) {
        ctx.log(msg::kNoSource, source, static_cast<int>(win::GetLastError()));
        return kArcNoSource;
    }
    ArHeader h;
    h.resGen[0] = 1;
    h.resGen[1] = 0;
    h.compKind = compKindFromKind(kind);
    if (h.compKind == 0) {
        // No reader accepts an archive without a known compKind.
        ctx.log(msg::kBadKind, kind);
        return kArcWriteFailed;
    }
    const std::string src(source);
    PackPlan plan;
    if (int result = PlanItems(ctx, src, names, count, plan); result != kArcOk) return result;

    PackGauge gauge(isResourceFileName(archive));
    gauge.set(10);
    // Written beside the archive under a name nobody can foresee, put in place when complete.
    qvp::TempFile temp;
    if (!temp.Create(archive, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE)) {
        ctx.log(msg::kCreateArchive, archive, static_cast<int>(win::GetLastError()));
        return kArcWriteFailed;
    }
    ArcWriter writer(ctx, aclMode, plan.base);
    writer.out.attach(temp.handle.get());
    const std::string nameSource = basePath && *basePath ? std::string(basePath) : plan.base;
    if (int result = WriteHeaderNames(ctx, writer, h, nameSource); result != kArcOk) return result;
    gauge.set(20);
    if (int result = WriteItems(ctx, writer, plan, src, gauge); result != kArcOk) return result;
    if (int result = Finish(ctx, writer, h, temp, archive); result != kArcOk) return result;
    gauge.set(50);
    return kArcOk;
}
