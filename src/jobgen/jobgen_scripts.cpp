// The script file of a package entry in the open JobGen: fetched from the entry's own copy or
// the manager's script file, and replaced by a copy the entry keeps. Both read the package's
// attribution record from the entry folder, where a temporary copy is made when the entry keeps
// none and removed again before the call returns.
#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/frame.h"
#include "core/memory.h"
#include "jobgen/jobgen_file.h"
#include "jobgen/jobgen_package_key.h"
#include "packages/package_args.h"

namespace qvp::jobgen {

namespace {

using namespace qvp::packages;

constexpr FrameTexts kGetFrame = JobGenFrame("qvAPIGetScriptFile", nullptr);
constexpr FrameTexts kUpdateFrame = JobGenFrame("qvAPIUpdateScriptFile", nullptr);

namespace msg {
constexpr char kHandle[] = "Logical Error : JobGen Handle Value is INVALID";
constexpr char kQvCode[] = "%s : Logical Error : QVCode is Invalid";
constexpr char kScriptNull[] = "%s : Logical Error : ScriptFilePath Pointer is NULL";
constexpr char kScriptEmpty[] = "%s : Logical Error : Top of ScriptFilePath is NULL";
constexpr char kKey[] = "%s : Logical Error : Package Key is INVALID";
constexpr char kLength[] = "%s : Logical Error : Path Name Len";
constexpr char kReadFile[] = "%s : qvAPIReadFile Error : File = %s";
constexpr char kReadErrno[] = "%s : qvAPIReadFile Error : errno = %d";
constexpr char kNoScript[] = "%s : ScriptFile does not exist for specified Package";
constexpr char kPackage[] = "%s : Package = %s";
constexpr char kFileId[] = "%s : File Id is INVALID : %s";
constexpr char kEntryOpen[] = "%s : CreateFile - OPEN_EXISTING Error : File = %s";
constexpr char kEntryRead[] = "%s : ReadFile Error : File = %s";
constexpr char kEntryWrite[] = "%s : WriteFile Error : File = %s";
}  // namespace msg

// The entry folder of a package of the open JobGen, its jobgenentryfile and its attribution
// copy, and the temporary copy made for this call (removed when it goes).
struct EntryFiles {
    PackageKey key;
    std::string folder;
    std::string entry;
    std::string attribution;
    bool madeCopy = false;
    ~EntryFiles() {
        if (madeCopy) {
            KeepLastError keep;
            win::DeleteFile(attribution.c_str());
        }
    }
};

// The checks both operations share, in their order; false with the code set.
bool CheckArguments(CallContext& call, const void* handle, char qvCode, const KeyArguments& texts,
                    const char* scriptPath, EntryFiles& files) {
    if (EditOf(call, handle, msg::kHandle) == nullptr) return false;
    if (!qvpIsValidQvCode(static_cast<unsigned char>(qvCode))) return Refuse(call, msg::kQvCode);
    if (!KeyTextsGiven(call, texts)) return false;
    if (scriptPath == nullptr) return Refuse(call, msg::kScriptNull);
    if (!KeyTextsNotEmpty(call, texts)) return false;
    if (scriptPath[0] == '\0') return Refuse(call, msg::kScriptEmpty);
    if (!MakeKey(qvCode, texts.cabinet, texts.package, texts.version, texts.generation, files.key))
        return Refuse(call, msg::kKey);
    files.folder = FolderOf(call.block(), files.key);
    files.entry = files.folder + "\\" + kEntryFile;
    files.attribution = files.folder + "\\" + files.key.fileName;
    if (files.entry.size() > kPathMax || files.attribution.size() > kPathMax || strnlen(scriptPath, kPathMax + 1) > kPathMax)
        return Refuse(call, msg::kLength);
    return true;
}

bool CopyFailed(CallContext& call, const std::string& from, const std::string& to) {
    const win::DWORD error = win::GetLastError();
    call.Log(kCopyFromText, call.function(), from.c_str());
    call.Log(kCopyToText, call.function(), to.c_str());
    call.Log(kCopyErrnoText, call.function(), static_cast<int>(error));
    call.Fail(QVAPI_ERR_RESOURCE);
    return false;
}

// The attribution record: the entry's own copy, or one fetched for this call.
bool ReadAttribution(CallContext& call, const JobGenEntry& entry, EntryFiles& files, QVAPI_PACKAGE& record) {
    if (entry.packageCopy == 0) {
        if (const uint32_t code = FetchAttribution(call, files.key, files.attribution, files.madeCopy); code != 0) {
            call.Fail(code);
            return false;
        }
    }
    uint32_t size = 0;
    // The file is one record: anything longer is no attribution file.
    constexpr DeclaredLayout kRecordFile{0, sizeof record, nullptr, false};
    void* bytes = qvpReadWholeFile(&call.block(), files.attribution.c_str(), &size, kRecordFile);
    if (bytes == nullptr || size < sizeof record) {
        call.Log(msg::kReadFile, call.function(), files.attribution.c_str());
        call.Log(msg::kReadErrno, call.function(), static_cast<int>(qvAPIGetLastError()));
        if (bytes != nullptr) qvpAPIFree(bytes);
        call.Fail(QVAPI_ERR_RESOURCE);
        return false;
    }
    std::memcpy(&record, bytes, sizeof record);
    qvpAPIFree(bytes);
    return true;
}

// The entry's own script file, named by the file id it keeps.
bool OwnScript(CallContext& call, const JobGenEntry& entry, const EntryFiles& files, std::string& path) {
    const std::string id = FieldText(entry.fileId, sizeof entry.fileId);
    if (!IsFileNamePart(id)) {
        call.Log(msg::kFileId, call.function(), id.c_str());
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return false;
    }
    path = files.folder + "\\" + id;
    return true;
}

bool ReadEntryFile(CallContext& call, const EntryFiles& files, JobGenEntry& entry, const char* text) {
    const win::DWORD error = ReadEntry(files.entry, entry);
    if (error == 0) return true;
    call.Log(text, call.function(), files.entry.c_str());
    call.Log(msg::kReadErrno, call.function(), static_cast<int>(error));
    call.Fail(QVAPI_ERR_RESOURCE);
    return false;
}

int GetScript(CallContext& call, EntryFiles& files, const char* destination) {
    JobGenEntry entry{};
    if (!ReadEntryFile(call, files, entry, msg::kReadFile)) return 0;
    std::string source;
    if (entry.fileIdCopy == 1) {
        if (!OwnScript(call, entry, files, source)) return 0;
    } else {
        QVAPI_PACKAGE record;
        if (!ReadAttribution(call, entry, files, record)) return 0;
        if (!HasScript(record)) {
            call.Log(msg::kNoScript, call.function());
            call.Log(msg::kPackage, call.function(), files.key.dotted.c_str());
            call.Fail(QVAPI_ERR_FILE_NOT_FOUND);
            return 0;
        }
        source = ResourceFilePath(record, kScriptFileLetter);
        if (source.empty()) {
            call.Log(msg::kFileId, call.function(), files.key.dotted.c_str());
            call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
            return 0;
        }
    }
    if (!win::CopyFile(source.c_str(), destination, win::FALSE)) return static_cast<int>(CopyFailed(call, source, destination));
    return 1;
}

int UpdateScript(CallContext& call, EntryFiles& files, const char* source) {
    JobGenEntry entry{};
    if (!ReadEntryFile(call, files, entry, msg::kEntryRead)) return 0;
    std::string target;
    if (entry.fileIdCopy == 1) {
        if (!OwnScript(call, entry, files, target)) return 0;
        if (!win::CopyFile(source, target.c_str(), win::FALSE)) return static_cast<int>(CopyFailed(call, source, target));
        return 1;
    }
    QVAPI_PACKAGE record;
    if (!ReadAttribution(call, entry, files, record)) return 0;
    std::string id;
    if (!qvp::records::ResourceFileId(record, kScriptFileLetter, id)) {
        call.Log(msg::kFileId, call.function(), files.key.dotted.c_str());
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return 0;
    }
    target = files.folder + "\\" + id;
    if (!win::CopyFile(source, target.c_str(), win::TRUE)) return static_cast<int>(CopyFailed(call, source, target));
    PutField(entry.fileId, sizeof entry.fileId, id);
    entry.fileIdCopy = 1;
    // Rewritten whole, unshared; a failed write takes the new copy away again, so that the next
    // update finds the entry as it was and can succeed.
    FileHandle file(win::CreateFile(files.entry.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                    win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    win::DWORD written = 0;
    if (!file.valid() || !win::WriteFile(file.get(), &entry, kEntrySize, &written, nullptr) || written != kEntrySize) {
        KeepLastError keep;
        call.Log(file.valid() ? msg::kEntryWrite : msg::kEntryOpen, call.function(), files.entry.c_str());
        win::DeleteFile(target.c_str());
        call.Fail(QVAPI_ERR_RESOURCE);
        return 0;
    }
    return 1;
}

}  // namespace

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPIGetScriptFile(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                                const char* lpPackageId, const char* lpPackageVersion,
                                                const char* lpPackageNo, const char* lpScriptFilePath) {
    return qvp::RunApi(kGetFrame, 0, [&](qvp::CallContext& call) {
        EntryFiles files;
        if (!CheckArguments(call, hJobGen, ucQvCode, {lpCabinetId, lpPackageId, lpPackageVersion, lpPackageNo},
                            lpScriptFilePath, files))
            return 0;
        return GetScript(call, files, lpScriptFilePath);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIUpdateScriptFile(QVPAPI_HANDLE hJobGen, char ucQvCode, const char* lpCabinetId,
                                                   const char* lpPackageId, const char* lpPackageVersion,
                                                   const char* lpPackageNo, const char* lpScriptFilePath) {
    return qvp::RunApi(kUpdateFrame, 0, [&](qvp::CallContext& call) {
        EntryFiles files;
        if (!CheckArguments(call, hJobGen, ucQvCode, {lpCabinetId, lpPackageId, lpPackageVersion, lpPackageNo},
                            lpScriptFilePath, files))
            return 0;
        return UpdateScript(call, files, lpScriptFilePath);
    });
}
