// Writers that replace or remove a stored JobGen whole, so that a kill at any point leaves the
// old JobGen or the new one under its name and nothing a caller can see in between: a new JobGen
// built beside the stored one and exchanged with it, a deleted one moved off its name before it
// is removed, and a jobgenfile that job creation prepares exchanged in with the original kept
// beside the JobGen until it is back. The leftovers of a killed writer are the next caller's
// (PutRightKilledWriters).
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "core/fileutil.h"
#include "core/temp_file.h"
#include "jobgen/jobgen_file.h"

namespace qvp::jobgen {

namespace {

namespace msg {
constexpr char kMove[] = "%s : MoveFile %s -> %s : ErrorCode = %d";
constexpr char kExchange[] = "%s : ExchangeFolders %s <-> %s : ErrorCode = %d";
constexpr char kCopy[] = "%s : qvAPIDirectoryCopy %s -> %s : ErrorCode = 0x%8.8x";
constexpr char kCreateDirectory[] = "%s : CreateDirectory %s : ErrorCode = %d";
}  // namespace msg

// The kept originals of this thread's job creations: no put-right of this thread touches them
// while the creation (which may span calls) still needs the prepared file in place. More than
// one: a creation left pending while the thread prepares another JobGen keeps its own.
thread_local std::vector<std::string> t_liveKept;
thread_local pid_t t_livePid = 0;

std::vector<std::string>& LiveKept() {
    if (t_livePid != getpid()) {  // a forked child's copy: none of them are its own
        t_liveKept.clear();
        t_livePid = getpid();
    }
    return t_liveKept;
}

void EndLiveKept(const std::string& kept) {
    std::vector<std::string>& live = LiveKept();
    if (const auto at = std::find(live.begin(), live.end(), kept); at != live.end()) live.erase(at);
}

std::string LastPart(const std::string& path) { return path.substr(win::FindLastSeparator(path) + 1); }

// A temporary beside the stored jobgenfile holding its bytes; closed, ready to be worked on.
bool CopyBeside(const std::string& stored, TempFile& temp) {
    FileHandle from(win::CreateFile(stored.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                    win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!from.valid() || !temp.Create(stored, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE)) return false;
    if (win::CopyFileContents(from.get(), temp.handle.get()) == 0) return false;
    return temp.handle.Close();
}

}  // namespace

bool IsLiveKept(const std::string& kept) {
    const std::vector<std::string>& live = LiveKept();
    return std::find(live.begin(), live.end(), kept) != live.end();
}

uint32_t SwapInBuilt(CallContext& call, const std::string& built, const std::string& stored, const std::string& target,
                     bool replaces, bool& oldBack) {
    oldBack = true;
    // In its own place the new JobGen trades names with the old one in one step: the name never
    // stands empty, for a kill or for a reader. The old one, now at `built`, is removed after
    // (killed first, the next caller of the name removes it with the building folder).
    if (replaces && target == stored) {
        if (win::ExchangeFolders(built.c_str(), stored.c_str()) != 0) {
            gaiCOMDirectoryDeleteRetry(built.c_str(), 300, 11);
            return 0;
        }
        const win::DWORD error = win::GetLastError();
        call.Log(msg::kExchange, call.function(), built.c_str(), stored.c_str(), static_cast<int>(error));
        // Only a file system that cannot exchange has the old one set aside instead.
        if (error != win::ERROR_INVALID_PARAMETER && error != win::ERROR_INVALID_FUNCTION) return QVAPI_ERR_RESOURCE;
    }
    // Under another name (a rename) the old name is to go: set aside, then the new one moved in.
    const std::string aside = CommitLeftover(stored, true);
    if (replaces) {
        if (Exists(aside)) gaiCOMDirectoryDeleteRetry(aside.c_str(), 300, 11);
        if (win::MoveFile(stored.c_str(), aside.c_str()) == 0) {
            call.Log(msg::kMove, call.function(), stored.c_str(), aside.c_str(), static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
    }
    if (win::MoveFile(built.c_str(), target.c_str()) == 0) {
        call.Log(msg::kMove, call.function(), built.c_str(), target.c_str(), static_cast<int>(win::GetLastError()));
        if (replaces && win::MoveFile(aside.c_str(), stored.c_str()) == 0) oldBack = false;
        return QVAPI_ERR_RESOURCE;
    }
    if (replaces) gaiCOMDirectoryDeleteRetry(aside.c_str(), 300, 11);  // else the next caller removes it
    return 0;
}

uint32_t ReplaceStoredJobGen(CallContext& call, const std::string& source, const std::string& dir) {
    // The copy lands below the building folder under the source's own name, and moves up from
    // there: killed before it is whole, the building folder is all that is left of it.
    const std::string building = CommitLeftover(dir, false);
    const std::string built = building + "\\" + LastPart(source);
    if (Exists(building) && gaiCOMDirectoryDeleteRetry(building.c_str(), 300, 11) != 0) return QVAPI_ERR_RESOURCE;
    if (win::CreateDirectoryExact(building.c_str()) == 0) {
        call.Log(msg::kCreateDirectory, call.function(), building.c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    uint32_t code = 0;
    if (qvAPIDirectoryCopy(source.c_str(), building.c_str()) == 0) {
        call.Log(msg::kCopy, call.function(), source.c_str(), building.c_str(), qvAPIGetLastError());
        code = QVAPI_ERR_RESOURCE;
    } else {
        bool oldBack = true;
        code = SwapInBuilt(call, built, dir, dir, Exists(dir), oldBack);
    }
    gaiCOMDirectoryDeleteRetry(building.c_str(), 300, 11);
    return code;
}

bool RemoveStoredJobGen(CallContext& call, const std::string& dir) {
    const std::string aside = CommitLeftover(dir, true);
    if (Exists(aside)) gaiCOMDirectoryDeleteRetry(aside.c_str(), 300, 11);
    if (win::MoveFile(dir.c_str(), aside.c_str()) == 0) {
        call.Log(msg::kMove, call.function(), dir.c_str(), aside.c_str(), static_cast<int>(win::GetLastError()));
        return false;
    }
    // The name is free now; what the removal leaves is removed by the next caller of the name.
    gaiCOMDirectoryDeleteRetry(aside.c_str(), 300, 11);
    return true;
}

// ---- the prepared jobgenfile of job creation --------------------------------------------------

PreparedJobGen::~PreparedJobGen() {
    if (!kept_.empty()) EndLiveKept(kept_);
}

bool PreparedJobGen::Keep(const std::string& dir) {
    stored_ = dir + "\\" + kJobGenFile;
    const std::string kept = KeptOriginal(dir);
    TempFile temp;
    if (!CopyBeside(stored_, temp) || win::MoveFileEx(temp.path().c_str(), kept.c_str(), win::MOVEFILE_REPLACE_EXISTING) == 0)
        return false;
    temp.Keep();
    kept_ = kept;
    LiveKept().push_back(kept_);
    return true;
}

uint32_t PreparedJobGen::Prepare(const std::function<uint32_t(const std::string&)>& steps) {
    TempFile temp;
    if (!CopyBeside(stored_, temp)) return QVAPI_ERR_RESOURCE;
    if (const uint32_t code = steps(temp.path()); code != 0) return code;
    // Exchanged, not renamed over the stored file: a rename that replaces a file makes the file
    // system write the new one's blocks out at once (milliseconds for a large JobGen). The
    // original it leaves at the temporary's name is kept beside the JobGen anyway; killed before
    // it goes, the next caller sweeps it.
    if (win::ExchangeFiles(temp.path().c_str(), stored_.c_str()) == 0) return temp.Place() ? 0 : QVAPI_ERR_RESOURCE;
    temp.Discard();
    return 0;
}

bool PreparedJobGen::PutBack() {
    if (kept_.empty()) return true;
    if (win::MoveFileEx(kept_.c_str(), stored_.c_str(), win::MOVEFILE_REPLACE_EXISTING) == 0) return false;
    EndLiveKept(kept_);
    kept_.clear();
    return true;
}

}  // namespace qvp::jobgen
