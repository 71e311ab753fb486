// qvAPIUnArchive: unpacks a package archive "<folder>\<name>.qvz" into
// "<restore root>\<name>_<folder>", leaving the archive where it is.
#include <cstring>
#include <string>

#include "client/ar/archiver.h"
#include "client/ar/unarchive.h"
#include "core/frame.h"
#include "platform/win.h"
#include "qvpapi.h"

namespace {

constexpr size_t kMaxPath = 260;

namespace text {
constexpr char kArPathNull[] = "%s : lpArPath is NULL";
constexpr char kRestoreNull[] = "%s : lpRestorePath is NULL";
constexpr char kArPathEmpty[] = "%s : Top of lpArPath is NULL";
constexpr char kRestoreEmpty[] = "%s : Top of lpRestorePath is NULL";
constexpr char kArPathLong[] = "%s : lpArPath MAX_PATH over";
constexpr char kStat[] = "%s : stat Error : File = %s, errno = %d";
constexpr char kNoFile[] = "%s : No File";
constexpr char kFileName[] = "%s : file name NG";
constexpr char kNoExtension[] = "%s : .qvz No";
constexpr char kExtension[] = "%s : .qvz NG";
constexpr char kNoDirectory[] = "%s : NO Directry";
constexpr char kNoDrive[] = "%s : no drive";
constexpr char kTargetLong[] = "%s : wRestorePath MAX_PATH over";
constexpr char kCreate[] = "%s : errno = %d : qvpCreateDirectory Error : Path = %s";
constexpr char kExtract[] = "%s : qvparMain Error";
}  // namespace text

const qvp::FrameTexts kFrame{"qvAPIUnArchive"};

// Last separator of a caller's path: '/' in a POSIX path, '\' or '/' (code-page aware)
// otherwise.
size_t LastSeparator(const std::string& path) {
    if (qvpIsPosixPath(path)) return path.rfind('/');
    return win::FindLastSeparator(path);
}

// The C library's errno for a status query that failed with this system error: a missing
// file or folder and a bad name are ENOENT, a refused access EACCES.
int StatErrno(win::DWORD error) {
    return error == win::ERROR_ACCESS_DENIED ? win::CRT_EACCES : win::CRT_ENOENT;
}

bool HasDrive(const char* root) {
    if (root[0] == '/') return true;
    return std::strlen(root) >= 3 && root[1] == ':' && root[2] == '\\';
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIUnArchive(const char* lpArPath, const char* lpRestorePath) {
    return qvp::RunApi(kFrame, 0, [&](qvp::CallContext& call) -> int {
        auto invalid = [&](const char* line) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, line, call.function());
            return 0;
        };
        if (lpArPath == nullptr) return invalid(text::kArPathNull);
        if (lpRestorePath == nullptr) return invalid(text::kRestoreNull);
        if (lpArPath[0] == '\0') return invalid(text::kArPathEmpty);
        if (lpRestorePath[0] == '\0') return invalid(text::kRestoreEmpty);
        if (std::strlen(lpArPath) > kMaxPath) return invalid(text::kArPathLong);
        if (win::GetFileAttributes(lpArPath) == win::INVALID_FILE_ATTRIBUTES) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                        text::kStat, call.function(), lpArPath, StatErrno(win::GetLastError()));
            return 0;
        }

        const std::string archive = lpArPath;
        const size_t split = LastSeparator(archive);
        if (split == std::string::npos) return invalid(text::kNoFile);
        const std::string fileName = archive.substr(split + 1);
        const size_t dot = fileName.rfind('.');
        if (dot == std::string::npos) return invalid(text::kFileName);
        const std::string extension = fileName.substr(dot + 1);
        if (extension.empty()) return invalid(text::kNoExtension);
        if (win::CharLower(extension) != "qvz") return invalid(text::kExtension);
        const std::string folder = archive.substr(0, split);
        const size_t folderSplit = LastSeparator(folder);
        if (folderSplit == std::string::npos) return invalid(text::kNoDirectory);
        const std::string holder = folder.substr(folderSplit + 1);

        if (!HasDrive(lpRestorePath)) return invalid(text::kNoDrive);
        const std::string root = lpRestorePath;
        const std::string target = root + (qvpIsPosixPath(root) ? "/" : "\\") +
                                   fileName.substr(0, dot) + "_" + holder;
        if (target.size() > kMaxPath) return invalid(text::kTargetLong);

        if (!qvpCreateDirectory(target.c_str())) {
            call.Failed(QVAPI_ERR_RESOURCE,
                        text::kCreate, call.function(), static_cast<int>(win::GetLastError()), target.c_str());
            return 0;
        }
        if (qvparMain(lpArPath, target.c_str(), 1) != 0) {
            call.Failed(QVAPI_ERR_RESOURCE, text::kExtract, call.function());
            return 0;
        }
        return 1;
    });
}
