// Package entries of the open JobGen: one folder per package in the work tree's PACKAGE area
// with its jobgenentryfile and, once changed for this JobGen, the JobGen's own copy of the
// package attribution record (stored byte order: big-endian numeric fields).
#include <cstring>

#include "client/ar/ar_format.h"
#include "core/fileutil.h"
#include "core/log.h"
#include "core/text.h"
#include "jobgen/jobgen_file.h"
#include "jobgen/jobgen_package_key.h"
#include "packages/package_args.h"
#include "packages/package_files.h"

namespace qvp::jobgen {

namespace {


constexpr FrameTexts kCreate = JobGenFrame("qvAPICreatePackageJobGen");
constexpr FrameTexts kDelete = JobGenFrame("qvAPIDeletePackageJobGen");
constexpr FrameTexts kFindFirst = JobGenFrame("qvAPIFindFirstPackageJobGen");
constexpr FrameTexts kFindNext = JobGenFrame("qvAPIFindNextPackageJobGen");
constexpr FrameTexts kFindClose = JobGenFrame("qvAPIFindClosePackageJobGen");
constexpr FrameTexts kFindOne = JobGenFrame("qvAPIFindPackageJobGen", nullptr);
constexpr FrameTexts kChange = JobGenFrame("qvAPIChangePackageJobGen", nullptr);

namespace msg {
constexpr char kQvCodeCreate[] = "%s : Logical Error : QVCode Value is INVALID";
constexpr char kQvCodeOther[] = "%s : Parameter Error : QVCode Value is INVALID";
constexpr char kKeyInvalid[] = "%s : Parameter Error : Package Key is INVALID";
constexpr char kRecordNull[] = "%s : Parameter Error : QVAPI_PACKAGE_JOBGEN struct Address is NULL";
constexpr char kFindHandle[] = "Parameter Error : JobGenFindPackage Handle Value is INVALID";
constexpr char kStrtok[] = "%s : strtok %s ";
constexpr char kFindClose[] = "%s : FindClose : ErrorCode = %d";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : qvAPIReadFile Error : File = %s";
constexpr char kFlagsZero[] = "%s : Logical Error : ChangeFlag is 0";
constexpr char kOptionInvalid[] = "%s : Logical Error : Options Value is INVALID";
constexpr char kRemove[] = "%s : gaiCOMDirectoryDelete %s : ErrorCode = %d";
}  // namespace msg

constexpr uint32_t kWholeRecord = 0x80000000u;
constexpr uint32_t kClassByte = 0x00008000u;

// The attribution-record ranges each change flag replaces, from the same range of the caller's
// record. `network` ranges are u16 values the caller holds in host order.
struct FlagRange {
    uint32_t bit;
    uint16_t offset;
    uint16_t length;
    bool network;
};
constexpr FlagRange kFlagRanges[] = {
    {0x08000000, 73, 12, false},  {0x04000000, 336, 1, false}, {0x02000000, 344, 6, false},
    {0x01000000, 350, 1, false},  {0x00800000, 637, 64, false}, {0x00400000, 242, 64, false},
    {0x00200000, 154, 1, false},  {0x00080000, 238, 1, false},  {0x00040000, 239, 1, false},
    {0x00020000, 342, 2, true},   {0x00004000, 341, 1, false},  {0x00002000, 241, 1, false},
    {0x00001000, 400, 224, false}, {0x00000800, 736, 2, true},
};

bool TouchesRecord(uint32_t flags) {
    if ((flags & kWholeRecord) != 0) return true;
    for (const FlagRange& r : kFlagRanges) {
        if ((flags & r.bit) != 0) return true;
    }
    return false;
}

bool PartFits(const std::string& part, size_t width) {
    return part.size() <= width && packages::IsFileNamePart(part) && part.find('.') == std::string::npos;
}

}  // namespace

bool MakeKey(const packages::PackageKeyTexts& texts, PackageKey& key) {
    const std::string fileVersion = VersionFileName(texts.version);
    if (!qvpIsValidQvCode(texts.qvCode) || !PartFits(texts.cabinet, 2) || !PartFits(texts.package, 44) ||
        !PartFits(fileVersion, 8) || !PartFits(texts.generation, 4))
        return false;
    key.texts = texts;
    key.dotted = packages::DottedPackageName(texts);
    key.texts.version = fileVersion;
    key.fileName = packages::DottedPackageName(key.texts);
    key.texts.version = texts.version;
    return true;
}

bool MakeKey(char qvCode, const char* cabinet, const char* package, const char* version, const char* generation,
             PackageKey& key) {
    for (const char* part : {cabinet, package, version, generation}) {
        if (part == nullptr || strnlen(part, 64) == 64) return false;
    }
    return MakeKey(packages::KeyOf(qvCode, {cabinet, package, version, generation}), key);
}

// The key of a package folder's name ("#" of the version back to "/").
bool KeyOfFolder(const std::string& name, PackageKey& key) {
    const std::string dotted = PackageNameOfFile(name);
    std::vector<std::string> parts;
    for (size_t at = 0;;) {
        const size_t dot = dotted.find('.', at);
        parts.push_back(dotted.substr(at, dot == std::string::npos ? std::string::npos : dot - at));
        if (dot == std::string::npos) break;
        at = dot + 1;
    }
    if (parts.size() != 5 || parts[0].size() != 1) return false;
    return MakeKey(packages::PackageKeyTexts{parts[0][0], parts[1], parts[2], parts[3], parts[4]}, key);
}

std::string FolderOf(const QVPAPI& block, const PackageKey& key) {
    return WorkArea(block, "PACKAGE") + "\\" + key.fileName;
}

// Copies the store's attribution record into the package folder unless a copy lies there.
// 0, 0x20000103 (no record in the store) or 0x20100000; `made` when this call made it.
uint32_t FetchAttribution(CallContext& call, const PackageKey& key, const std::string& copy, bool& made) {
    made = false;
    packages::PackageKeyTexts fileTexts = key.texts;
    fileTexts.version = VersionFileName(key.texts.version);
    const std::string from = packages::AttributionFilePath(fileTexts);
    if (from.empty()) return QVAPI_ERR_NO_MORE_ITEMS;
    if (win::CopyFile(from.c_str(), copy.c_str(), win::TRUE) != 0) {
        made = true;
        return 0;
    }
    const win::DWORD error = win::GetLastError();
    if (error == win::ERROR_FILE_EXISTS) return 0;
    if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return QVAPI_ERR_NO_MORE_ITEMS;
    call.Log(kCopyFromText, call.function(), from.c_str());
    call.Log(kCopyToText, call.function(), copy.c_str());
    call.Log(kCopyErrnoText, call.function(), static_cast<int>(error));
    return QVAPI_ERR_RESOURCE;
}

namespace {

bool ReadRecord(const std::string& path, uint8_t* record) {
    FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                    win::FILE_ATTRIBUTE_NORMAL, nullptr));
    win::DWORD read = 0;
    return file.valid() && win::ReadFile(file.get(), record, QVAPI_PACKAGE_SIZE, &read, nullptr) != 0 &&
           read == QVAPI_PACKAGE_SIZE;
}

bool WriteWhole(const std::string& path, const void* bytes, uint32_t size) {
    FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                    win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    win::DWORD written = 0;
    return file.valid() && win::WriteFile(file.get(), bytes, size, &written, nullptr) != 0 && written == size;
}

// The change of one package entry (the worker behind qvAPIChangePackageJobGen).
uint32_t UpdatePackage(CallContext& call, const PackageKey& key, uint32_t flags, const QVAPI_PACKAGE* record,
                       const uint8_t* setcls) {
    if (flags == 0 || (TouchesRecord(flags) && record == nullptr) || ((flags & kClassByte) != 0 && setcls == nullptr))
        return QVAPI_ERR_INVALID_PARAMETER;
    const std::string folder = FolderOf(call.block(), key);
    const std::string entryPath = folder + "\\" + kEntryFile;
    JobGenEntry entry{};
    if (win::DWORD error = ReadEntry(entryPath, entry); error != 0) {
        call.Log(msg::kCreateFile, call.function(), entryPath.c_str(), static_cast<int>(error));
        return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ? QVAPI_ERR_NOT_FOUND
                                                                                         : QVAPI_ERR_RESOURCE;
    }
    const std::string copy = folder + "\\" + key.fileName;
    bool made = false;
    // A copy this call made goes again when the call fails, so flag and file stay in step.
    auto failed = [&](uint32_t code) {
        if (made) win::DeleteFile(copy.c_str());
        return code;
    };
    if (TouchesRecord(flags)) {
        if (entry.packageCopy == 0) {
            if (uint32_t code = FetchAttribution(call, key, copy, made); code != 0) return code;
        }
        uint8_t bytes[QVAPI_PACKAGE_SIZE];
        const auto* given = reinterpret_cast<const uint8_t*>(record);
        if ((flags & kWholeRecord) != 0) {
            std::memcpy(bytes, given, sizeof bytes);
        } else {
            if (!ReadRecord(copy, bytes)) return failed(QVAPI_ERR_RESOURCE);
            for (const FlagRange& r : kFlagRanges) {
                if ((flags & r.bit) == 0) continue;
                if (r.network) {
                    uint16_t value = 0;
                    std::memcpy(&value, given + r.offset, sizeof value);
                    ar::putBe16(bytes + r.offset, value);
                } else {
                    std::memcpy(bytes + r.offset, given + r.offset, r.length);
                }
            }
        }
        if (!WriteWhole(copy, bytes, sizeof bytes)) return failed(QVAPI_ERR_RESOURCE);
        entry.packageCopy = 1;
    }
    if ((flags & kClassByte) != 0) entry.setcls = static_cast<char>(*setcls);
    if (!WriteWhole(entryPath, &entry, kEntrySize)) return failed(QVAPI_ERR_RESOURCE);
    return 0;
}

// Refusal of a QvCode or key; `qvCodeText` is the operation's own line.
uint32_t KeyRefused(CallContext& call, char qvCode, const char* qvCodeText) {
    if (!qvpIsValidQvCode(qvCode)) {
        call.Log(qvCodeText, call.function());
    } else {
        call.Log(msg::kKeyInvalid, call.function());
    }
    return QVAPI_ERR_INVALID_PARAMETER;
}

// The next package folder of the walk into the caller's record; 0 or the code.
uint32_t NextPackage(CallContext& call, FindWalk& walk, win::WIN32_FIND_DATAA& data, bool fresh,
                     QVAPI_JOBGEN_PACKAGE* out) {
    while (true) {
        if (!fresh && !walk.Next(data)) {
            const win::DWORD error = win::GetLastError();
            return error == win::ERROR_NO_MORE_FILES ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_RESOURCE;
        }
        fresh = false;
        const std::string name = data.cFileName;
        if (name == "." || name == ".." || (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
        PackageKey key;
        if (!KeyOfFolder(name, key)) {
            call.Log(msg::kStrtok, call.function(), name.c_str());
            return QVAPI_ERR_RESOURCE;
        }
        const packages::PackageKeyTexts& t = key.texts;
        out->cQvCode = t.qvCode;
        PutField(out->szCabinetId, sizeof out->szCabinetId, t.cabinet);
        PutField(out->szPackageId, sizeof out->szPackageId, t.package);
        PutField(out->szVersion, sizeof out->szVersion, t.version);
        PutField(out->szGeneration, sizeof out->szGeneration, t.generation);
        return 0;
    }
}

FindWalk* WalkOf(CallContext& call, const void* handle) {
    auto* walk = static_cast<FindWalk*>(call.block().packageEntryFind);
    if (qvpIsOwnBlock(handle) && walk != nullptr) return walk;
    call.Failed(QVAPI_ERR_INVALID_HANDLE, "%s : %s", call.function(), msg::kFindHandle);
    return nullptr;
}

}  // namespace

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPICreatePackageJobGen(QVPAPI_HANDLE h, char ucQvCode, const char* lpCabinetId,
                                                      const char* lpPackageId, const char* lpVersion,
                                                      const char* lpGeneration, uint32_t, uint32_t) {
    return qvp::RunApi(kCreate, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h);
        if (edit == nullptr) return 0;
        const char qvCode = ucQvCode == 0 ? 'D' : ucQvCode;
        PackageKey key;
        if (!MakeKey(qvCode, lpCabinetId, lpPackageId, lpVersion, lpGeneration, key))
            return Finish(call, KeyRefused(call, qvCode, msg::kQvCodeCreate));
        const std::string folder = FolderOf(call.block(), key);
        JobGenEntry entry{};
        entry.setcls = ' ';
        PutField(entry.packageKey, sizeof entry.packageKey, key.dotted);
        const std::string path = folder + "\\" + kEntryFile;
        const win::DWORD error = qvpCreateDirectoryTree(folder.c_str()) ? WriteNewEntry(path, entry) : win::GetLastError();
        if (error != 0) {
            call.Log(msg::kCreateFile, call.function(), path.c_str(), static_cast<int>(error));
            return Finish(call, QVAPI_ERR_RESOURCE);
        }
        ++edit->packageCount;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeletePackageJobGen(QVPAPI_HANDLE h, char ucQvCode, const char* lpCabinetId,
                                                      const char* lpPackageId, const char* lpVersion,
                                                      const char* lpGeneration, uint32_t, uint32_t) {
    return qvp::RunApi(kDelete, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h);
        if (edit == nullptr) return 0;
        const char qvCode = ucQvCode == 0 ? 'D' : ucQvCode;
        PackageKey key;
        if (!MakeKey(qvCode, lpCabinetId, lpPackageId, lpVersion, lpGeneration, key))
            return Finish(call, KeyRefused(call, qvCode, msg::kQvCodeOther));
        const std::string folder = FolderOf(call.block(), key);
        if (!IsDirectory(folder) || gaiCOMDirectoryDelete(folder.c_str()) != 0) {
            call.Log(msg::kRemove, call.function(), folder.c_str(), static_cast<int>(win::GetLastError()));
            return Finish(call, QVAPI_ERR_NOT_FOUND);
        }
        --edit->packageCount;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackageJobGen(QVPAPI_HANDLE h, uint32_t,
                                                                   QVAPI_JOBGEN_PACKAGE* lpPackage, uint32_t,
                                                                   uint32_t) {
    return qvp::RunApi(kFindFirst, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        if (EditOf(call, h) == nullptr) return QVPAPI_INVALID_HANDLE;
        QVPAPI& block = call.block();
        if (lpPackage == nullptr) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kRecordNull, call.function());
            return QVPAPI_INVALID_HANDLE;
        }
        EndWalkSlot(block.packageEntryFind);
        win::WIN32_FIND_DATAA data{};
        auto walk = std::make_unique<qvp::FindWalk>(WorkArea(block, "PACKAGE") + "\\*", data);
        const uint32_t code = walk->valid() ? NextPackage(call, *walk, data, true, lpPackage) : QVAPI_ERR_NO_MORE_ITEMS;
        if (code != 0) {
            call.Fail(code);
            return QVPAPI_INVALID_HANDLE;
        }
        block.packageEntryFind = walk.release();
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextPackageJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN_PACKAGE* lpPackage,
                                                        uint32_t, uint32_t) {
    return qvp::RunApi(kFindNext, 0, [&](qvp::CallContext& call) {
        qvp::FindWalk* walk = WalkOf(call, hFind);
        if (walk == nullptr) return 0;
        if (lpPackage == nullptr) return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        win::WIN32_FIND_DATAA data{};
        return Finish(call, NextPackage(call, *walk, data, false, lpPackage));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindClosePackageJobGen(QVPAPI_HANDLE hFind, uint32_t, uint32_t) {
    return qvp::RunApi(kFindClose, 0, [&](qvp::CallContext& call) {
        qvp::FindWalk* walk = WalkOf(call, hFind);
        if (walk == nullptr) return 0;
        const bool closed = walk->Close();
        EndWalkSlot(call.block().packageEntryFind);
        if (!closed) call.Log(msg::kFindClose, call.function(), static_cast<int>(win::GetLastError()));
        return Finish(call, closed ? 0 : QVAPI_ERR_RESOURCE);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindPackageJobGen(QVPAPI_HANDLE h, char ucQvCode, const char* lpCabinetId,
                                                    const char* lpPackageId, const char* lpVersion,
                                                    const char* lpGeneration, QVAPI_PACKAGE* lpPackage,
                                                    uint8_t* lpSetcls, uint32_t, uint32_t) {
    return qvp::RunApi(kFindOne, 0, [&](qvp::CallContext& call) {
        if (EditOf(call, h) == nullptr) return 0;
        PackageKey key;
        if (lpPackage == nullptr || !MakeKey(ucQvCode, lpCabinetId, lpPackageId, lpVersion, lpGeneration, key))
            return Finish(call, KeyRefused(call, ucQvCode, msg::kQvCodeOther));
        const std::string folder = FolderOf(call.block(), key);
        JobGenEntry entry{};
        if (win::DWORD error = ReadEntry(folder + "\\" + kEntryFile, entry); error != 0) {
            const bool missing = error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND;
            if (!missing) call.Log(msg::kReadFile, call.function(), (folder + "\\" + kEntryFile).c_str());
            return Finish(call, missing ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_RESOURCE);
        }
        const std::string copy = folder + "\\" + key.fileName;
        bool made = false;
        if (entry.packageCopy == 0) {
            if (uint32_t code = FetchAttribution(call, key, copy, made); code != 0) return Finish(call, code);
        }
        uint8_t bytes[QVAPI_PACKAGE_SIZE];
        const bool read = ReadRecord(copy, bytes);
        if (made) win::DeleteFile(copy.c_str());  // only a look: the JobGen has no copy of its own yet
        if (!read) return Finish(call, QVAPI_ERR_RESOURCE);
        for (uint16_t offset : {uint16_t{342}, uint16_t{736}}) {
            const uint16_t value = ar::be16(bytes + offset);
            std::memcpy(bytes + offset, &value, sizeof value);
        }
        std::memcpy(lpPackage, bytes, sizeof bytes);
        if (lpSetcls != nullptr) *lpSetcls = static_cast<uint8_t>(entry.setcls);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangePackageJobGen(QVPAPI_HANDLE h, uint32_t dwChangeFlags,
                                                      const QVAPI_PACKAGE* lpPackage, const uint8_t* lpSetcls,
                                                      uint32_t dwOption, uint32_t) {
    return qvp::RunApi(kChange, 0, [&](qvp::CallContext& call) {
        if (EditOf(call, h) == nullptr) return 0;
        if (dwChangeFlags == 0 || dwOption > 1) {
            call.Log(dwChangeFlags == 0 ? msg::kFlagsZero : msg::kOptionInvalid, call.function());
            return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        }
        if (dwOption == 0) {
            PackageKey key;
            if (lpPackage == nullptr || !MakeKey(qvp::packages::KeyTextsOf(*lpPackage), key)) {
                call.Log(msg::kKeyInvalid, call.function());
                return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
            }
            return Finish(call, UpdatePackage(call, key, dwChangeFlags, lpPackage, lpSetcls));
        }
        // The whole listing first: a walk that fails part way must not pass for its end.
        std::vector<std::string> folders;
        if (!ListWorkArea(WorkArea(call.block(), "PACKAGE"), true, folders)) {
            const win::DWORD error = win::GetLastError();
            const bool missing = error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND;
            return Finish(call, missing ? QVAPI_ERR_NOT_FOUND : QVAPI_ERR_RESOURCE);
        }
        for (const std::string& name : folders) {
            PackageKey key;
            if (!KeyOfFolder(name, key)) return Finish(call, QVAPI_ERR_RESOURCE);
            if (uint32_t code = UpdatePackage(call, key, dwChangeFlags, lpPackage, lpSetcls); code != 0)
                return Finish(call, code);
        }
        return Finish(call, folders.empty() ? QVAPI_ERR_NOT_FOUND : 0);
    });
}
