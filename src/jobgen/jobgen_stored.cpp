// Stored JobGens that no session has open: rename, delete, the listing of a folder, and the copy
// out to a caller's directory and back. Each single-JobGen operation holds the JobGen's mutex.
#include <cstring>
#include <mutex>

#include "core/fileutil.h"
#include "core/log.h"
#include "core/memory.h"
#include "jobgen/jobgen_file.h"
#include "nodes/name_checks.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kChange = JobGenFrame("qvAPIChangeJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kDelete = JobGenFrame("qvAPIDeleteJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kFindFirst = JobGenFrame("qvAPIFindFirstJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kFindNext = JobGenFrame("qvAPIFindNextJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kFindClose = JobGenFrame("qvAPIFindCloseJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kGet = JobGenFrame("qvAPIGetJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kUpdate = JobGenFrame("qvAPIUpdateJobGen", kLogicalError, EndStyle::Decimal);

namespace msg {
constexpr char kBadPath[] = "%s : Parameter Error : %s is INVALID";
constexpr char kNoJobGen[] = "%s : %s is no JobGen";
constexpr char kMoveFailed[] = "%s : MoveFile %s -> %s : ErrorCode = %d";
constexpr char kRemoveName[] = "qvpAPIDeleteJobGen";  // the removal step's own name
constexpr char kRemove[] = "%s : RemoveDirectory Error : Directory = %s, errno = %d";
constexpr char kRecordNull[] = "%s : Parameter Error : QVAPI_JOBGEN struct pointer is NULL";
constexpr char kNotFolder[] = "%s : qvAPISelectFile %s ";
constexpr char kClassFailed[] = "%s : qvAPISelectFile wcJobGenName : ErrorCode = %d";
constexpr char kFindNextFile[] = "%s : FindNextFile : ErrorCode = %d";
constexpr char kFindHandle[] = "%s : Parameter Error : JobGenFind Handle Value is INVALID";
constexpr char kFindClose[] = "%s : FindClose : ErrorCode = %d";
constexpr char kPathNull[] = "%s : Parameter Error : JobGen Name Address is NULL";
constexpr char kDirNull[] = "%s : Parameter Error : Directory Path Address is NULL";
constexpr char kPathEmpty[] = "%s : Parameter Error : Top of JobGen Name Value is NULL";
constexpr char kDirEmpty[] = "%s : Parameter Error : Top of Directory Path Value is NULL";
constexpr char kCopy[] = "%s : qvAPIDirectoryCopy %s -> %s : ErrorCode = 0x%8.8x";
}  // namespace msg

bool HoldsJobGen(const std::string& dir) { return IsDirectory(dir) && Exists(dir + "\\" + kJobGenFile); }

// A JobGen path "\folder...\name": the folder and the name, each checked. 0 or 0x20000057.
uint32_t SplitPath(const char* path, std::string& folder, std::string& name) {
    std::string whole;
    if (CheckFolder(path, false, whole) != 0 || whole.empty()) return QVAPI_ERR_INVALID_PARAMETER;
    const size_t sep = win::FindLastSeparator(whole);
    folder = whole.substr(0, sep);
    name = whole.substr(sep + 1);
    return 0;
}

// Name and folder of the rename and delete: 0 or the code.
uint32_t CheckStoredName(CallContext& call, const char* folderText, const char* name, bool oldWording,
                         std::string& folder) {
    if (uint32_t code = CheckLevelName(call, name, oldWording); code != 0) return code;
    if (CheckFolder(folderText, false, folder) != 0) {
        call.Log(msg::kBadPath, call.function(), folderText);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    return 0;
}

int Rename(CallContext& call, const char* folderText, const char* current, const char* next) {
    std::string folder;
    uint32_t code = CheckStoredName(call, folderText, current, true, folder);
    if (code == 0) code = CheckLevelName(call, next);
    if (code == 0) code = CheckName(next, kNameJobGen);
    if (code != 0) return Finish(call, code);
    // Both names are held: a session opening the new name meanwhile would meet a stranger's files.
    JobGenMutex from, to;
    if ((code = from.Take(call.function(), MutexName(folder, current))) != 0 ||
        (code = to.Take(call.function(), MutexName(folder, next))) != 0)
        return Finish(call, code);
    const std::string source = StoreRoot() + JobGenPath(folder, current);
    const std::string target = StoreRoot() + JobGenPath(folder, next);
    if (!PutRightKilledWriters(call, source, current) || !PutRightKilledWriters(call, target, next))
        return Finish(call, QVAPI_ERR_RESOURCE);
    if (!HoldsJobGen(source)) {
        call.Log(msg::kNoJobGen, call.function(), source.c_str());
        return Finish(call, QVAPI_ERR_NOT_FOUND);
    }
    const auto refused = [&](win::DWORD error) {
        call.Log(msg::kMoveFailed, call.function(), source.c_str(), target.c_str(), static_cast<int>(error));
        return Finish(call, QVAPI_ERR_ALREADY_EXISTS);
    };
    // A taken name is refused before the header is touched (the same JobGen under another
    // spelling is no other).
    if (StoreSpelling(current) != StoreSpelling(next) && Exists(target)) return refused(win::ERROR_ALREADY_EXISTS);
    // The header names the new JobGen before the folder moves: killed in between, the folder
    // still has the old name, and its next open gives the header that name again.
    if (!NameStoredHeader(call, source, next)) return Finish(call, QVAPI_ERR_RESOURCE);
    if (win::MoveFile(source.c_str(), target.c_str()) == 0) {
        const win::DWORD error = win::GetLastError();
        NameStoredHeader(call, source, current);
        return refused(error);
    }
    return 1;
}

int Delete(CallContext& call, const char* folderText, const char* name) {
    std::string folder;
    if (uint32_t code = CheckStoredName(call, folderText, name, false, folder); code != 0) return Finish(call, code);
    JobGenMutex mutex;
    if (uint32_t code = mutex.Take(call.function(), MutexName(folder, name)); code != 0) return Finish(call, code);
    const std::string dir = StoreRoot() + JobGenPath(folder, name);
    if (!PutRightKilledWriters(call, dir, name)) return Finish(call, QVAPI_ERR_RESOURCE);
    // Only a JobGen: a folder holds JobGens whose mutexes this call does not hold.
    if (!HoldsJobGen(dir)) {
        call.Log(msg::kNoJobGen, call.function(), dir.c_str());
        return Finish(call, QVAPI_ERR_NOT_FOUND);
    }
    // Off its name at once, then removed: killed part way, no folder without its jobgenfile
    // stays under the name, and the next caller of the name removes the rest.
    if (!RemoveStoredJobGen(call, dir)) {
        call.Log(msg::kRemove, msg::kRemoveName, dir.c_str(), static_cast<int>(win::GetLastError()));
        return Finish(call, QVAPI_ERR_NOT_FOUND);
    }
    return 1;
}

// ---- the listing ---------------------------------------------------------------------------

struct Listing {
    FindWalk walk;
    std::string dir;
};

void EndListing(QVPAPI& block) {
    delete static_cast<Listing*>(block.jobGenFind);
    block.jobGenFind = nullptr;
}

void RegisterListingRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&EndListing); });
}

// The next folder or JobGen of the listing into `out`: 0, 0x20000103 at the end, or the code.
uint32_t NextListed(CallContext& call, Listing& listing, win::WIN32_FIND_DATAA& data, bool fresh, QVAPI_JOBGEN* out) {
    while (true) {
        if (!fresh && !listing.walk.Next(data)) {
            const win::DWORD error = win::GetLastError();
            if (error == win::ERROR_NO_MORE_FILES) return QVAPI_ERR_NO_MORE_ITEMS;
            call.Log(msg::kFindNextFile, call.function(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        fresh = false;
        const std::string name = data.cFileName;
        // What a killed commit left beside a JobGen is no JobGen or folder of its own.
        if (name == "." || name == ".." || IsCommitLeftover(name)) continue;
        const win::FILETIME created = data.ftCreationTime;
        const win::FILETIME written = data.ftLastWriteTime;
        const std::string path = listing.dir + "\\" + name;
        win::WIN32_FIND_DATAA inner{};
        const int kind = SelectFile(call.block(), path, inner);
        if (kind < 0) {
            call.Log(msg::kClassFailed, call.function(), static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
        std::memset(out->szName, 0, sizeof out->szName);
        PutField(out->szName, sizeof out->szName, name);
        out->uiKind = static_cast<uint32_t>(kind);
        if (kind == 3) {
            FormatFileTime(created, out->szCreated);
            FormatFileTime(written, out->szWritten);
            return 0;
        }
        win::WIN32_FIND_DATAA file{};
        FindWalk one(path + "\\" + kJobGenFile, file);
        if (!one.valid()) return QVAPI_ERR_NO_MORE_ITEMS;
        FormatFileTime(file.ftCreationTime, out->szCreated);
        FormatFileTime(file.ftLastWriteTime, out->szWritten);
        return 0;
    }
}

Listing* ListingOf(CallContext& call, const void* handle) {
    auto* listing = static_cast<Listing*>(call.block().jobGenFind);
    if (qvpIsOwnBlock(handle) && listing != nullptr) return listing;
    call.Log(msg::kFindHandle, call.function());
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return nullptr;
}

// ---- copy out and back ---------------------------------------------------------------------

// Checks a JobGen path and a directory (missing ones first, then empty ones) and takes the mutex.
uint32_t PathAndMutex(CallContext& call, const char* path, const char* dir, std::string& folder, std::string& name,
                      JobGenMutex& mutex) {
    const char* fn = call.function();
    const char* refusal = path == nullptr ? msg::kPathNull
                          : dir == nullptr ? msg::kDirNull
                          : path[0] == '\0' ? msg::kPathEmpty
                          : dir[0] == '\0' ? msg::kDirEmpty
                                           : nullptr;
    if (refusal != nullptr) {
        call.Log(refusal, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (SplitPath(path, folder, name) != 0) {
        call.Log(msg::kBadPath, fn, path);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    return mutex.Take(fn, MutexName(folder, name));
}

int Get(CallContext& call, const char* path, const char* destination) {
    std::string folder, name;
    JobGenMutex mutex;
    if (uint32_t code = PathAndMutex(call, path, destination, folder, name, mutex); code != 0) return Finish(call, code);
    const std::string source = StoreRoot() + JobGenPath(folder, name);
    if (!PutRightKilledWriters(call, source, name)) return Finish(call, QVAPI_ERR_RESOURCE);
    // A folder would be copied with JobGens whose mutexes this call does not hold.
    if (!HoldsJobGen(source)) {
        call.Log(msg::kNoJobGen, call.function(), source.c_str());
        return Finish(call, QVAPI_ERR_NOT_FOUND);
    }
    if (qvAPIDirectoryCopy(source.c_str(), destination) == 0) {
        call.Log(msg::kCopy, call.function(), source.c_str(), destination, qvAPIGetLastError());
        return Finish(call, QVAPI_ERR_RESOURCE);
    }
    return 1;
}

// A directory whose jobgenfile reads as one.
bool IsWholeJobGen(QVPAPI& block, const std::string& dir) {
    uint32_t size = 0;
    void* bytes = qvpReadWholeFile(&block, (dir + "\\" + kJobGenFile).c_str(), &size, kJobGenFileLayout);
    if (bytes == nullptr) return false;
    StoredJobGen stored;
    const bool ok = ParseJobGenFile(std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), size), stored);
    qvpAPIFree(bytes);
    return ok;
}

int Update(CallContext& call, const char* source, const char* path) {
    std::string folder, name;
    JobGenMutex mutex;
    if (uint32_t code = PathAndMutex(call, path, source, folder, name, mutex); code != 0) return Finish(call, code);
    const std::string stored = StoreRoot() + JobGenPath(folder, name);
    if (!PutRightKilledWriters(call, stored, name)) return Finish(call, QVAPI_ERR_RESOURCE);
    if (!HoldsJobGen(stored)) {
        call.Log(msg::kNoJobGen, call.function(), stored.c_str());
        return Finish(call, QVAPI_ERR_NOT_FOUND);
    }
    const std::string from = std::string(source) + "\\" + name;
    if (!IsWholeJobGen(call.block(), from)) {
        call.Log(msg::kNoJobGen, call.function(), from.c_str());
        return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
    }
    // Copied whole beside the stored JobGen and swapped in: killed at any point, the store holds
    // the old JobGen or the new one, and the next caller of the name removes what is left.
    return Finish(call, ReplaceStoredJobGen(call, from, stored));
}

}  // namespace

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPIChangeJobGen(const char* lpFolder, const char* lpJobGenName, const char* lpNewName) {
    return qvp::RunApi(kChange, 0, [&](qvp::CallContext& call) { return Rename(call, lpFolder, lpJobGenName, lpNewName); });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobGen(const char* lpFolder, const char* lpJobGenName, uint32_t, uint32_t) {
    return qvp::RunApi(kDelete, 0, [&](qvp::CallContext& call) { return Delete(call, lpFolder, lpJobGenName); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstJobGen(const char* lpFolder, QVAPI_JOBGEN* lpJobGen) {
    RegisterListingRelease();
    return qvp::RunApi(kFindFirst, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        QVPAPI& block = call.block();
        const auto fail = [&](uint32_t code) {
            call.Fail(code);
            return QVPAPI_INVALID_HANDLE;
        };
        if (lpJobGen == nullptr) {
            call.Log(msg::kRecordNull, call.function());
            return fail(QVAPI_ERR_INVALID_PARAMETER);
        }
        std::string folder;
        if (CheckFolder(lpFolder, false, folder) != 0) return fail(QVAPI_ERR_INVALID_PARAMETER);
        auto listing = std::make_unique<Listing>();
        listing->dir = StoreRoot() + folder;
        win::WIN32_FIND_DATAA data{};
        if (SelectFile(block, listing->dir, data) != 3) {
            call.Log(msg::kNotFolder, call.function(), listing->dir.c_str());
            return fail(QVAPI_ERR_INVALID_PARAMETER);
        }
        EndListing(block);  // one listing per thread: a new one replaces the old
        // A JobGen that a killed writer left under its leftover names only is listed under its own.
        PutRightKilledWritersIn(call, listing->dir, folder);
        listing->walk = qvp::FindWalk(listing->dir + "\\*", data);
        if (!listing->walk.valid()) return fail(QVAPI_ERR_NO_MORE_ITEMS);
        if (uint32_t code = NextListed(call, *listing, data, true, lpJobGen); code != 0) return fail(code);
        block.jobGenFind = listing.release();
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN* lpJobGen) {
    return qvp::RunApi(kFindNext, 0, [&](qvp::CallContext& call) {
        Listing* listing = ListingOf(call, hFind);
        if (listing == nullptr) return 0;
        if (lpJobGen == nullptr) return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        win::WIN32_FIND_DATAA data{};
        return Finish(call, NextListed(call, *listing, data, false, lpJobGen));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseJobGen(QVPAPI_HANDLE hFind) {
    return qvp::RunApi(kFindClose, 0, [&](qvp::CallContext& call) {
        Listing* listing = ListingOf(call, hFind);
        if (listing == nullptr) return 0;
        const bool closed = listing->walk.Close();
        EndListing(call.block());
        if (!closed) call.Log(msg::kFindClose, call.function(), static_cast<int>(win::GetLastError()));
        return Finish(call, closed ? 0 : QVAPI_ERR_RESOURCE);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetJobGen(const char* lpJobGenPath, const char* lpDirectory) {
    return qvp::RunApi(kGet, 0, [&](qvp::CallContext& call) { return Get(call, lpJobGenPath, lpDirectory); });
}

extern "C" QVPAPI_EXPORT int qvAPIUpdateJobGen(const char* lpDirectory, const char* lpJobGenPath) {
    return qvp::RunApi(kUpdate, 0, [&](qvp::CallContext& call) { return Update(call, lpDirectory, lpJobGenPath); });
}
