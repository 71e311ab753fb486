// Folder-tree removal of the archiver.
#include <string>

#include "client/ar/far.h"
#include "client/ar/unarchive.h"
#include "core/handles.h"
#include "platform/win.h"

namespace {

constexpr char kTag[] = "far";
constexpr char kRemoveDirectory[] =
    "RemoveDirectory Error: Path=%s, GetLastError=%ld, func=DelBackup_DelFile.";
constexpr char kDeleteFile[] = "DeleteFile Error: Path=%s, GetLastError=%ld, func=DelBackup_DelFile.";
constexpr char kFindFirst[] =
    "FindFirstFile Error: Path=%s, GetLastError=%ld, func=DelBackup_DelDirectory.";

bool EndsWithSeparator(const std::string& path) {
    if (path.empty()) return false;
    if (qvpIsPosixPath(path)) return path.back() == '/';
    const size_t last = win::FindLastSeparator(path);
    return last != std::string::npos && last + 1 == path.size();
}

char SeparatorOf(const std::string& path) { return qvpIsPosixPath(path) ? '/' : '\\'; }

// Fails with the system error kept as last error.
int Fail(QvpClientLog& log, const char* format, const std::string& path) {
    const win::DWORD error = win::GetLastError();
    log.Write(kTag, format, path.c_str(), static_cast<long>(error));
    win::SetLastError(error);
    return -1;
}

int DelDirectory(QvpClientLog& log, const std::string& path);

int DelFile(QvpClientLog& log, const std::string& path, win::DWORD attributes) {
    if ((attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link goes as a link: never descended into, never given new attributes (that would
        // reach whatever it points to).
        if (win::DeleteFile(path.c_str()) || win::RemoveDirectory(path.c_str())) return 0;
        return Fail(log, (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 ? kRemoveDirectory
                                                                             : kDeleteFile,
                    path);
    }
    if ((attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // A read-only folder would refuse the removal of what is inside it.
        if ((attributes & win::FILE_ATTRIBUTE_READONLY) != 0)
            win::SetFileAttributes(path.c_str(), win::FILE_ATTRIBUTE_NORMAL);
        if (DelDirectory(log, path + SeparatorOf(path)) != 0) return -1;
        if (win::RemoveDirectory(path.c_str())) return 0;
        win::SetFileAttributes(path.c_str(), win::FILE_ATTRIBUTE_NORMAL);
        if (win::RemoveDirectory(path.c_str())) return 0;
        return Fail(log, kRemoveDirectory, path);
    }
    if (win::DeleteFile(path.c_str())) return 0;
    win::SetFileAttributes(path.c_str(), win::FILE_ATTRIBUTE_NORMAL);
    if (win::DeleteFile(path.c_str())) return 0;
    return Fail(log, kDeleteFile, path);
}

int DelDirectory(QvpClientLog& log, const std::string& path) {
    const bool contents = EndsWithSeparator(path);
    win::WIN32_FIND_DATAA data{};
    qvp::FindWalk find(contents ? path + "*.*" : path, data);
    if (!find.valid()) return Fail(log, kFindFirst, path);
    // The walk is a snapshot: removing an entry does not disturb the ones after it.
    for (bool more = true; more; more = find.Next(data)) {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = contents ? path + name : path;
        if (DelFile(log, full, data.dwFileAttributes) != 0) return -1;
    }
    return 0;
}

}  // namespace

int qvpFarRemoveDirectry(const char* path) {
    QvpClientLog log;
    if (path == nullptr || path[0] == '\0') {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return -1;
    }
    return DelDirectory(log, path);
}
