// qvpAPIJobGenMake: a stored JobGen made again from the execution records of a job, with the
// attribution and script files of its packages and, for other kinds than G and S, its collect
// files F0000000 and P0000000. Works in the store directly; the new directory must not exist.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/handles.h"
#include "core/paths.h"
#include "core/text.h"
#include "jobgen/collect_files.h"
#include "jobgen/jobgen_make.h"
#include "nodes/name_text.h"
#include "packages/package_files.h"
#include "platform/byte_order.h"
#include "records/records.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kMakeFrame{"qvpAPIJobGenMake"};

namespace msg {
constexpr char kExecNull[] = "%s : Logical Error : ExecFile Name Pointer is NULL";
constexpr char kNameNull[] = "%s : Logical Error : JobGen Name Pointer is NULL";
constexpr char kExecEmpty[] = "%s : Logical Error : Top of Exec Name is NULL";
constexpr char kNameEmpty[] = "%s : Logical Error : Top of JobGen Name is NULL";
constexpr char kNameInvalid[] = "%s : Logical Error : JobGen Name is INVALID : %s";
constexpr char kFolderInvalid[] = "%s : Logical Error : Folder Name is INVALID : %s";
constexpr char kExecOver[] = "%s: Logical Error : ExecFile Name Over MAX_PATH";
constexpr char kJobGenOver[] = "%s : Logical Error : JobGenFile Name Over MAX_PATH";
constexpr char kCollectOver[] = "%s : Logical Error : CollectFile Name Over MAX_PATH";
constexpr char kOpen[] = "%s : CreateFile Error %d : %s";
constexpr char kReadExtension[] = "%s : ReadFile Error : ExecFile errno = %d";
constexpr char kNameTooLong[] = "%s : Logical Error : Node Name Over MAX_PATH";
constexpr char kPackageName[] = "%s : PackageName Change Error";
constexpr char kFindPackage[] = "%s : qvAPIFindPackage : PackageId = %s : ErrorCode = 0x%8.8x";
constexpr char kPutScript[] = "%s : qvpAPIPutScriptFile : ResourceName = %s : ErrorCode = 0x%8.8x";
constexpr char kWrite[] = "%s : WriteFile Error %d : %s";
constexpr char kKeyPack[] = "%s gaiMNGKeyPack Error %d cmdcls=%c key=%s";
constexpr char kWriteJobGen[] = "%s : WriteFile Error : JobGenFile errno = %d";
}  // namespace msg

constexpr size_t kNameMax = 259;      // a name extension's text, as the 260-byte fields hold it
constexpr size_t kAttributionPart = 160;  // execution-record offset of the attribution fields

bool KindIn(char kind, std::string_view kinds) { return kind != 0 && kinds.find(kind) != std::string_view::npos; }

std::string CutAtBlank(const uint8_t* at, size_t width) {
    size_t n = 0;
    while (n < width && at[n] != '\0' && at[n] != ' ') ++n;
    return std::string(reinterpret_cast<const char*>(at), n);
}

// A name of the extension: its `length` data bytes cut at a blank or NUL.
uint32_t TakeName(std::span<const uint8_t> file, size_t& at, size_t length, std::string& name) {
    if (length > file.size() - at) return QVAPI_ERR_RESOURCE;
    name = CutAtBlank(file.data() + at, length);
    at += length;
    return name.size() > kNameMax ? QVAPI_ERR_INVALID_PARAMETER : 0;
}

// Copies `n` bytes from record offset `from` to entry offset `to`.
void Copy(uint8_t* entry, size_t to, const uint8_t* record, size_t from, size_t n) {
    std::memcpy(entry + to, record + from, n);
}

}  // namespace

constexpr DeclaredLayout kExecFileLayout{0, kMaxExecFileSize, nullptr, false};

uint32_t ParseExecRecords(std::span<const uint8_t> file, std::vector<ExecRecord>& records) {
    records.clear();
    const size_t limit = file.size() / kExecRecordSize;
    size_t at = 0;
    while (records.size() < limit && file.size() - at >= kExecRecordSize) {
        if (records.size() == kMaxEntries) return QVAPI_ERR_RESOURCE;
        ExecRecord r;
        r.bytes = file.data() + at;
        at += kExecRecordSize;
        const std::string name = CutAtBlank(r.bytes + 16, 64);
        const bool hostId = nodes::IsHostIdName(name);
        r.node = name;
        r.host = name;
        if (name.empty() || hostId) {
            if (file.size() - at < kExtensionHead) return QVAPI_ERR_RESOURCE;
            const uint8_t* head = file.data() + at;
            at += kExtensionHead;
            const uint16_t count = be16(head + 4);
            std::string first, second;
            if (uint32_t code = TakeName(file, at, be16(head + 10), first); code != 0) return code;
            if (count == 1) {
                if (!hostId) r.node = first;
                r.host = first;
            } else {
                if (file.size() - at < kExtensionSecondHead) return QVAPI_ERR_RESOURCE;
                const uint8_t* head2 = file.data() + at;
                at += kExtensionSecondHead;
                if (uint32_t code = TakeName(file, at, be16(head2 + 2), second); code != 0) return code;
                for (auto [kind, text] : {std::pair{head[8], &first}, {head2[0], &second}}) {
                    if (kind == kNameKindNode && !hostId) r.node = *text;
                    if (kind == kNameKindHost) r.host = *text;
                }
            }
        }
        records.push_back(std::move(r));
    }
    return 0;
}

void BuildEntry(const ExecRecord& record, JobGenEntry& entry, uint8_t& idKind) {
    const uint8_t* r = record.bytes;
    entry = JobGenEntry{};
    auto* e = reinterpret_cast<uint8_t*>(&entry);
    entry.jobKind = static_cast<char>(r[8]);
    entry.setcls = static_cast<char>(r[9]);
    entry.flags = r[6] & 0x1C;
    uint8_t mode = (r[10] & 0x02) != 0 ? 1 : 0;
    if ((r[12] & 0x01) != 0) mode |= (r[12] & 0x02) != 0 ? 6 : 2;
    entry.reginfOption = mode;
    PutField(entry.node, sizeof entry.node, record.node);
    PutField(entry.host, sizeof entry.host, record.host);
    entry.type = kTypeClientAsGiven;
    const size_t dot = record.node.rfind('.');
    const std::string_view last = dot == std::string::npos ? std::string_view(record.node)
                                                           : std::string_view(record.node).substr(dot + 1);
    if (!last.empty() && last[0] == '%') idKind = kIdJobGen;
    Copy(e, 448, r, 923, 5);
    Copy(e, 492, r, 320, 8);
    if (KindIn(entry.jobKind, "UY")) Copy(e, 500, r, 320, 8);
    Copy(e, 623, r, 239, 6);
    Copy(e, 629, r, 391, 1);
    Copy(e, 630, r, 486, 6);
    Copy(e, 636, r, 492, 4);
    Copy(e, 640, r, 401, 1);
    Copy(e, 641, r, 510, 1);
    Copy(e, 642, r, 560, 224);
    Copy(e, 866, r, 784, 5);
    Copy(e, 871, r, 789, 5);
    Copy(e, 876, r, 794, 3);
    Copy(e, 879, r, 797, 64);
    Copy(e, 943, r, 864, 59);
    if ((r[530] & 0x01) != 0) entry.soft.software = 4;
    if ((r[530] & 0x02) != 0) entry.soft.software = 5;
}

void TakeHeaderFields(const uint8_t* r, JobGenHeader& h) {
    std::memcpy(h.execDay, r + 245, 2);
    h.execWeek = r[247];
    std::memcpy(h.workDate, r + 233, 6);
    std::memcpy(h.workTime, r + 239, 6);
    h.execTiming = static_cast<char>(r[496]);
    h.options = r[11];
    // The rebuilt JobGen is of its job's kind, so that re-creation, sort and schedule treat it
    // as such.
    h.jobKind = static_cast<char>(r[8]);
    h.divisionalSize = be32(r + 520);
    h.transInterval = be32(r + 532);
}

namespace {

// The attribution ranges (offset, length) a rebuilt package takes from its execution record.
constexpr std::pair<uint16_t, uint16_t> kAttributionRanges[] = {
    {8, 1},    {9, 2},    {11, 44},  {55, 8},   {63, 4},  {67, 6},   {73, 6},   {79, 10}, {89, 64},
    {153, 5},  {158, 2},  {176, 1},  {177, 50}, {227, 4}, {231, 1},  {232, 4},  {236, 2}, {238, 4},
    {242, 64}, {306, 6},  {312, 14}, {326, 6},  {332, 4}, {336, 6},  {342, 2},  {344, 6}, {350, 1},
    {351, 1},  {400, 224}, {624, 5}, {629, 5},  {634, 3}, {637, 64}, {701, 1},  {702, 2}, {704, 59},
};

class Rebuild {
public:
    Rebuild(CallContext& call, std::string directory, std::string jobGenPath)
        : call_(call), fn_(call.function()), directory_(std::move(directory)), jobGenPath_(std::move(jobGenPath)) {}

    // The package fields of an entry of kind D, M, E or J, R or B, or any other.
    uint32_t PackageFields(const uint8_t* r, JobGenEntry& entry) {
        if (!KindIn(entry.jobKind, "DMEJRB")) {
            std::memset(entry.packageKey, ' ', 63);
            return 0;
        }
        const auto* part = reinterpret_cast<const char*>(r + 168);
        // QvCode, cabinet, package id, version, generation as stored, joined by '.'.
        std::string joined;
        for (auto [offset, width] : {std::pair{0, 1}, {1, 2}, {3, 44}, {47, 8}, {55, 4}}) {
            if (offset != 0) joined += '.';
            joined.append(part + offset, width);
        }
        char key[512] = {};
        const size_t length = qvpStripBlanksAndDots(joined.size(), joined.data(), key);
        if (length == 0) {
            if (KindIn(entry.jobKind, "RB")) {
                call_.Log(msg::kKeyPack, fn_, 0, entry.jobKind, joined.c_str());
            } else {
                call_.Log(msg::kPackageName, fn_);
            }
            return QVAPI_ERR_RESOURCE;
        }
        PutField(entry.packageKey, sizeof entry.packageKey, std::string_view(key, length));
        if (KindIn(entry.jobKind, "RB")) return 0;
        return Package(r, key, entry);
    }

    uint32_t Package(const uint8_t* r, const char* dotted, JobGenEntry& entry) {
        QVAPI_PACKAGE given;
        std::memcpy(&given, r + kAttributionPart, sizeof given);
        const packages::PackageKeyTexts texts = packages::KeyTextsOf(given);
        QVAPI_PACKAGE found;
        if (qvAPIFindPackage(texts.qvCode, texts.cabinet.c_str(), texts.package.c_str(), texts.version.c_str(),
                             texts.generation.c_str(), &found, 0, 0) == 0) {
            const uint32_t code = qvAPIGetLastError();
            call_.Log(msg::kFindPackage, fn_, dotted, code);
            return code;
        }
        // Back to the stored order; the execution record's ranges are stored order already.
        packages::PackageToNetwork(found);
        auto* a = reinterpret_cast<uint8_t*>(&found);
        a[2] = 1;
        a[3] = 1;
        for (auto [offset, length] : kAttributionRanges)
            std::memcpy(a + offset, r + kAttributionPart + offset, length);
        std::memset(a + 168, 0, 8);
        std::memset(a + 768, 0, 16);
        if ((r[510] & (0x08 | 0x10)) != 0) {
            std::string fileId;
            const std::string script = packages::ResourceFilePath(found, packages::kScriptFileLetter);
            records::ResourceFileId(found, packages::kScriptFileLetter, fileId);
            if (script.empty() ||
                qvpAPIPutScriptFile(&call_.block(), jobGenPath_.c_str(), dotted, script.c_str()) == 0) {
                const uint32_t code = qvAPIGetLastError() != 0 ? qvAPIGetLastError() : QVAPI_ERR_RESOURCE;
                call_.Log(msg::kPutScript, fn_, FieldText(found.szResourceName, 8).c_str(), code);
                return code;
            }
            PutField(entry.fileId, sizeof entry.fileId, fileId);
            entry.fileIdCopy = 1;
        }
        entry.packageCopy = 1;
        const std::string fileName = PackageFileName(dotted);
        if (!packages::IsFileNamePart(fileName)) {
            call_.Log(msg::kPackageName, fn_);
            return QVAPI_ERR_RESOURCE;
        }
        return WriteNew(directory_ + "\\" + fileName, a, QVAPI_PACKAGE_SIZE, true);
    }

    // A new file of the directory; an existing one is kept when `keep`, else a failure.
    uint32_t WriteNew(const std::string& path, const void* bytes, size_t size, bool keep) {
        FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW,
                                        win::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            const win::DWORD error = win::GetLastError();
            if (keep && (error == win::ERROR_FILE_EXISTS || error == win::ERROR_ALREADY_EXISTS)) return 0;
            call_.Log(msg::kOpen, fn_, static_cast<int>(error), path.c_str());
            return QVAPI_ERR_RESOURCE;
        }
        win::DWORD written = 0;
        if (win::WriteFile(file.get(), bytes, static_cast<win::DWORD>(size), &written, nullptr) == 0 ||
            written != size || !file.Close()) {
            call_.Log(msg::kWrite, fn_, static_cast<int>(win::GetLastError()), path.c_str());
            return QVAPI_ERR_RESOURCE;
        }
        return 0;
    }

    // F0000000 from the last record's attribution part, its Q archive, and P0000000.
    uint32_t CollectFiles(const uint8_t* r) {
        const std::string f = directory_ + "\\" + kCollectRecordFile;
        if (f.size() > kMaxPath) {
            call_.Log(msg::kCollectOver, fn_);
            return QVAPI_ERR_INVALID_PARAMETER;
        }
        uint8_t record[kCollectRecordSize] = {};
        std::memcpy(record, r + 168, kExecRecordSize - 168);
        ++record[kCollectCounter];
        if (uint32_t code = WriteNew(f, record, sizeof record, false); code != 0) return code;
        if ((record[10] & kCollectHasArchive) != 0) {
            const std::string from = PathOf(qvpMakeCmdCollectPath) + "\\" + kCollectArchiveFile;
            const std::string to = directory_ + "\\" + kCollectArchiveFile;
            if (win::CopyFile(from.c_str(), to.c_str(), win::TRUE) == 0) {
                const int error = static_cast<int>(win::GetLastError());
                call_.Log(makemsg::kCopy, fn_, error, from.c_str());
                call_.Log(makemsg::kCopy, fn_, error, to.c_str());
                return QVAPI_ERR_RESOURCE;
            }
        }
        return WriteNew(directory_ + "\\" + kCollectPathFile, kCollectPathText, sizeof kCollectPathText, false);
    }

private:
    CallContext& call_;
    const char* fn_;
    std::string directory_;
    std::string jobGenPath_;
};

uint32_t Make(CallContext& call, const char* execPath, const char* folder, const char* name) {
    const char* fn = call.function();
    if (execPath == nullptr || name == nullptr) {
        call.Log(execPath == nullptr ? msg::kExecNull : msg::kNameNull, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (execPath[0] == '\0' || name[0] == '\0') {
        call.Log(execPath[0] == '\0' ? msg::kExecEmpty : msg::kNameEmpty, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    std::string normalised;
    if (uint32_t code = MakeTarget(call, folder, name, normalised); code != 0) return code;
    const std::string jobGenPath = normalised + "\\" + name;
    const std::string directory = StoreRoot() + jobGenPath;
    // Lengths first, so that a refused call leaves no directory behind.
    if (strnlen(execPath, kMaxPath + 1) > kMaxPath) {
        call.Log(msg::kExecOver, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const std::string jobGenFile = directory + "\\" + kJobGenFile;
    if (jobGenFile.size() > kMaxPath) {
        call.Log(msg::kJobGenOver, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (win::CreateDirectory(directory.c_str(), nullptr) == 0) {
        call.Log(makemsg::kCreateDirectory, fn, static_cast<int>(win::GetLastError()), directory.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    FileHandle exec(win::CreateFile(execPath, win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                    win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!exec.valid()) {
        call.Log(msg::kOpen, fn, static_cast<int>(win::GetLastError()), execPath);
        return QVAPI_ERR_RESOURCE;
    }
    std::vector<uint8_t> bytes;
    if (ReadDeclared(exec.get(), kExecFileLayout, bytes) != DeclaredRead::Read) {
        call.Log(msg::kReadExtension, fn, static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    exec.Close();
    std::vector<ExecRecord> records;
    if (uint32_t code = ParseExecRecords(bytes, records); code != 0) {
        if (code == QVAPI_ERR_RESOURCE) {
            call.Log(msg::kReadExtension, fn, static_cast<int>(win::ERROR_HANDLE_EOF));
        } else {
            call.Log(msg::kNameTooLong, fn);
        }
        return code;
    }

    Rebuild rebuild(call, directory, jobGenPath);
    JobGenHeader header{};
    std::vector<JobGenEntry> entries(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        BuildEntry(records[i], entries[i], header.idKind);
        if (uint32_t code = rebuild.PackageFields(records[i].bytes, entries[i]); code != 0) return code;
        TakeHeaderFields(records[i].bytes, header);
    }
    const uint32_t count = static_cast<uint32_t>(entries.size());
    header.entryAreaSize = count * static_cast<uint32_t>(kEntrySize);
    PutField(header.name, sizeof header.name, name);
    header.origin = 'S';
    header.entryCount = count;
    std::memcpy(header.version, kVersion, sizeof header.version);
    std::vector<uint8_t> file(kHeaderSize + entries.size() * kEntrySize);
    std::memcpy(file.data(), &header, kHeaderSize);
    if (!entries.empty()) std::memcpy(file.data() + kHeaderSize, entries.data(), entries.size() * kEntrySize);
    if (uint32_t code = rebuild.WriteNew(jobGenFile, file.data(), file.size(), false); code != 0) {
        call.Log(msg::kWriteJobGen, fn, static_cast<int>(win::GetLastError()));
        return code;
    }
    if (records.empty() || KindIn(static_cast<char>(records.back().bytes[8]), "GS")) return 0;
    return rebuild.CollectFiles(records.back().bytes);
}

}  // namespace

// The store folder of a rebuilt JobGen: a folder given with or without its leading '\' (NULL,
// "" and "\" the top), whose parts and the name must each stay one directory level.
uint32_t MakeTarget(CallContext& call, const char* folder, const char* name, std::string& normalised) {
    std::string given = folder == nullptr ? std::string() : std::string(folder);
    if (!given.empty() && given[0] != '\\' && given[0] != '/') given.insert(0, 1, '\\');
    if (CheckFolder(given.c_str(), false, normalised) != 0) {
        call.Log(msg::kFolderInvalid, call.function(), given.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (CheckName(name) != 0) {
        call.Log(msg::kNameInvalid, call.function(), name == nullptr ? "" : name);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    return 0;
}

}  // namespace qvp::jobgen

extern "C" QVPAPI_EXPORT int qvpAPIJobGenMake(const char* lpExecFilePath, const char* lpFolder,
                                              const char* lpJobGenName) {
    return qvp::RunApi(qvp::jobgen::kMakeFrame, 0, [&](qvp::CallContext& call) {
        return qvp::jobgen::Finish(call, qvp::jobgen::Make(call, lpExecFilePath, lpFolder, lpJobGenName));
    });
}
