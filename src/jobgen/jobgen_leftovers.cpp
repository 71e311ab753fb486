// What writers of a stored JobGen killed part way leave behind, put right by the next caller that
// holds the JobGen's mutex: a new JobGen built beside the stored one, the old one set aside (or
// one being deleted), the original jobgenfile a job creation kept beside it, temporaries of
// jobgenfile rewrites, and a header whose name a rename had changed before the folder moved.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bounded_read.h"
#include "core/fileutil.h"
#include "core/temp_file.h"
#include "jobgen/jobgen_file.h"

namespace qvp::jobgen {

namespace {

namespace msg {
constexpr char kPutBack[] = "%s : MoveFile %s -> %s : ErrorCode = %d";
constexpr char kLeftover[] = "%s : gaiCOMDirectoryDeleteAll %s : ErrorCode = %d";
constexpr char kHeaderStep[] = "%s : %s %s : ErrorCode = %d";
constexpr char kTemporary[] = "%s : DeleteFile %s : ErrorCode = %d";
}  // namespace msg

void SweepRewriteTemporaries(CallContext& call, const std::string& dir) {
    std::vector<std::string> found;
    win::WIN32_FIND_DATAA data{};
    for (FindWalk walk = FindWalk::Names(dir + "\\*", data); walk.valid();) {
        // "jobgenfile.<16 hex digits>.tmp": what a rewrite of jobgenfile writes before its rename.
        if (qvp::IsTempNameOf(data.cFileName, kJobGenFile, ".tmp")) found.emplace_back(data.cFileName);
        if (!walk.Next(data)) break;
    }
    for (const std::string& name : found) {
        const std::string path = dir + "\\" + name;
        if (win::DeleteFile(path.c_str()) == 0)
            call.Log(msg::kTemporary, call.function(), path.c_str(), static_cast<int>(win::GetLastError()));
    }
}

// A leftover goes in one try, never waited on: what stays (held meanwhile, or not ours to
// remove) is left for the next caller, so that no caller pays for what another writer planted.
void RemoveLeftover(CallContext& call, const std::string& path) {
    if (!RemoveAtOnce(path))
        call.Log(msg::kLeftover, call.function(), path.c_str(), static_cast<int>(win::GetLastError()));
}

// The original a killed job creation kept beside the JobGen goes back over the prepared file;
// with the JobGen gone it is dropped.
bool PutBackKeptOriginal(CallContext& call, const std::string& dir) {
    const std::string kept = KeptOriginal(dir);
    if (!Exists(kept) || IsLiveKept(kept)) return true;
    // Only a plain file is ever kept there: a folder, a link or a FIFO at the name is no
    // original, and it goes rather than take the stored file's place or leave every caller of
    // the JobGen failing on it.
    const win::DWORD attributes = win::GetFileAttributes(kept.c_str());
    constexpr win::DWORD kNoFile =
        win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_REPARSE_POINT | win::FILE_ATTRIBUTE_SYSTEM;
    if (attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & kNoFile) != 0) {
        RemoveLeftover(call, kept);
        return true;
    }
    const std::string file = dir + "\\" + kJobGenFile;
    if (IsDirectory(dir) ? win::MoveFileEx(kept.c_str(), file.c_str(), win::MOVEFILE_REPLACE_EXISTING) != 0
                         : win::DeleteFile(kept.c_str()) != 0)
        return true;
    call.Log(msg::kPutBack, call.function(), kept.c_str(), file.c_str(), static_cast<int>(win::GetLastError()));
    return false;
}

// The JobGen name the leftovers of `owner` (a store spelling) were made from: the name their
// header holds when it is one spelling of it, else the spelling itself.
std::string SpelledName(const std::string& folderDir, const std::string& owner) {
    const std::string dir = folderDir + "\\" + owner;
    for (const std::string& file : {CommitLeftover(dir, true) + "\\" + kJobGenFile, KeptOriginal(dir),
                                    CommitLeftover(dir, false) + "\\" + kJobGenFile}) {
        FileHandle handle(win::CreateFile(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                          win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
        JobGenHeader header{};
        if (!handle.valid() || !ReadExact(handle.get(), &header, kHeaderSize)) continue;
        const std::string name = FieldText(header.name, sizeof header.name);
        if (CheckName(name.c_str()) == 0 && StoreSpelling(name) == owner) return name;
    }
    return owner;
}
// The stored jobgenfile: its header, or (`whole`) the header and the entries it declares, never
// more, and only when they read as a JobGen the open loads. The failing step's name, or nullptr.
const char* ReadStored(const std::string& file, bool whole, std::vector<uint8_t>& bytes) {
    FileHandle handle(win::CreateFile(file.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) return "CreateFile";
    if (!whole) {
        bytes.assign(kHeaderSize, 0);
        return ReadExact(handle.get(), bytes.data(), kHeaderSize) ? nullptr : "ReadFile";
    }
    // A file the open is to refuse as unreadable is never rewritten here. What is read is all
    // there is: a header that counts no entries is the only other refusal.
    JobGenHeader header{};
    if (ReadDeclared(handle.get(), kJobGenFileLayout, bytes) == DeclaredRead::Read && bytes.size() >= kHeaderSize)
        std::memcpy(&header, bytes.data(), kHeaderSize);
    if (header.entryCount == 0) {
        if (win::GetLastError() == 0) win::SetLastError(win::ERROR_INVALID_DATA);
        return "ReadFile";
    }
    return nullptr;
}

// The name a header holds and a name given (as far as the field takes it) are one JobGen's.
bool SameName(const std::vector<uint8_t>& bytes, std::string_view name) {
    JobGenHeader stored{}, given{};
    std::memcpy(&stored, bytes.data(), kHeaderSize);
    PutField(given.name, sizeof given.name, name);
    return StoreSpelling(FieldText(stored.name, sizeof stored.name)) == StoreSpelling(FieldText(given.name, sizeof given.name));
}

// A commit, update or delete killed part way: the old JobGen back under its name when the new one
// never went in, else what is left beside it removed. Writers leave only folders at these names:
// anything else there was planted, and goes.
bool PutRightSetAside(CallContext& call, const std::string& dir) {
    const std::string building = CommitLeftover(dir, false);
    const std::string aside = CommitLeftover(dir, true);
    if (Exists(aside)) {
        // The new JobGen still beside the name: it never went in, and the old one goes back.
        if (IsFolderNotLink(aside) && IsFolderNotLink(building) && !Exists(dir)) {
            if (win::MoveFile(aside.c_str(), dir.c_str()) == 0) {
                call.Log(msg::kPutBack, call.function(), aside.c_str(), dir.c_str(), static_cast<int>(win::GetLastError()));
                return false;
            }
        } else {
            RemoveLeftover(call, aside);
        }
    }
    if (Exists(building)) RemoveLeftover(call, building);
    return true;
}

}  // namespace

bool NameStoredHeader(CallContext& call, const std::string& dir, std::string_view name) {
    const std::string file = dir + "\\" + kJobGenFile;
    std::vector<uint8_t> bytes;
    const char* step = ReadStored(file, true, bytes);
    if (step == nullptr) {
        JobGenHeader header{};
        std::memcpy(&header, bytes.data(), kHeaderSize);
        PutField(header.name, sizeof header.name, name);
        std::memcpy(bytes.data(), &header, kHeaderSize);
        if (!ReplaceFileContents(file, bytes.data(), bytes.size())) step = "WriteFile";
    }
    if (step == nullptr) return true;
    call.Log(msg::kHeaderStep, call.function(), step, file.c_str(), static_cast<int>(win::GetLastError()));
    return false;
}

bool PutRightKilledWriters(CallContext& call, const std::string& dir, std::string_view name) {
    if (!PutRightSetAside(call, dir)) return false;
    if (IsDirectory(dir)) SweepRewriteTemporaries(call, dir);
    if (!PutBackKeptOriginal(call, dir)) return false;

    // No JobGen there, or one the open is to report as unreadable: nothing to name.
    const std::string file = dir + "\\" + kJobGenFile;
    std::vector<uint8_t> bytes;
    if (ReadStored(file, false, bytes) != nullptr || SameName(bytes, name)) return true;
    if (ReadStored(file, true, bytes) != nullptr) return true;
    bytes = {};  // read again there: one copy in memory at a time
    return NameStoredHeader(call, dir, name);
}

void PutRightKilledWritersIn(CallContext& call, const std::string& folderDir, const std::string& folder) {
    std::vector<std::string> owners;
    win::WIN32_FIND_DATAA data{};
    for (FindWalk walk = FindWalk::Names(folderDir + "\\*", data); walk.valid();) {
        std::string owner = LeftoverOwner(data.cFileName);
        if (!owner.empty() && std::find(owners.begin(), owners.end(), owner) == owners.end()) owners.push_back(std::move(owner));
        if (!walk.Next(data)) break;
    }
    for (const std::string& owner : owners) {
        const std::string name = SpelledName(folderDir, owner);
        JobGenMutex mutex;
        if (CheckName(name.c_str()) != 0 || mutex.Take(call.function(), MutexName(folder, name)) != 0) continue;
        PutRightKilledWriters(call, folderDir + "\\" + name, name);
    }
}

}  // namespace qvp::jobgen
