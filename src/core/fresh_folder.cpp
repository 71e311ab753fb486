#include "core/fresh_folder.h"

#include "core/fileutil.h"
#include "qvpapi.h"

namespace qvp {

namespace {

bool Fail(win::DWORD error) {
    win::SetLastError(error);
    return false;
}

bool CopyBetween(const FileHandle& from, const FileHandle& to) {
    return from.valid() && to.valid() && win::CopyFileContents(from.get(), to.get());
}

// Whatever an earlier caller, or another writer of the store, left at the name; with
// `keepFolder` a real folder stays.
bool RemoveLeftover(const std::string& path, bool keepFolder = false) {
    const win::DWORD attributes = win::GetFileAttributes(path.c_str());
    if (attributes == win::INVALID_FILE_ATTRIBUTES) {
        const win::DWORD error = win::GetLastError();
        return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND || Fail(error);
    }
    const bool link = (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folder = (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (keepFolder && folder && !link) return true;
    // A link goes as a link.
    return folder || link ? gaiCOMDirectoryDeleteAll(path.c_str()) == 0 : win::DeleteFile(path.c_str()) != 0;
}

}  // namespace

uint32_t FreshFolder::Make() {
    folder_.Reset();
    if (!RemoveLeftover(path_)) return QVAPI_ERR_RESOURCE;
    const size_t cut = win::FindLastSeparator(path_);
    if (cut != std::string::npos && cut > 0 && !qvpCreateDirectoryTree(path_.substr(0, cut).c_str()))
        return QVAPI_ERR_RESOURCE;
    if (!win::CreateDirectoryExact(path_.c_str())) {
        const win::DWORD error = win::GetLastError();
        return error == win::ERROR_ALREADY_EXISTS || error == win::ERROR_FILE_EXISTS ? QVAPI_ERR_BUSY
                                                                                     : QVAPI_ERR_RESOURCE;
    }
    // Whatever stands at the name now is opened as it is: a link is refused, a file is no folder.
    FileHandle folder(win::CreateFile(path_.c_str(), win::GENERIC_READ,
                                      win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE, nullptr,
                                      win::OPEN_EXISTING,
                                      win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    win::BY_HANDLE_FILE_INFORMATION info{};
    if (!folder.valid() || !win::GetFileInformationByHandle(folder.get(), &info)) return QVAPI_ERR_RESOURCE;
    if ((info.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) {
        win::SetLastError(win::ERROR_DIRECTORY);
        return QVAPI_ERR_RESOURCE;
    }
    folder_ = std::move(folder);
    return 0;
}

win::HANDLE FreshFolder::Open(std::string_view name, win::DWORD access, win::DWORD share,
                              win::DWORD disposition) const {
    if (!folder_.valid()) {
        win::SetLastError(win::ERROR_INVALID_HANDLE);
        return win::INVALID_HANDLE_VALUE;
    }
    // A new name is made as written, exclusively, right in the held folder.
    const win::DWORD flags = win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OPEN_REPARSE_POINT |
                             (disposition == win::CREATE_NEW ? win::FILE_FLAG_POSIX_SEMANTICS : 0);
    return win::CreateFileIn(folder_.get(), PathOf(name).c_str(), access, share, disposition, flags);
}

bool FreshFolder::CopyIn(const std::string& from, std::string_view name) const {
    const FileHandle source(win::CreateFile(from.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                            win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source.valid()) return false;
    return CopyBetween(source, FileHandle(Open(name, win::GENERIC_WRITE, 0, win::CREATE_NEW)));
}

bool FreshFolder::CopyOut(std::string_view name, const std::string& to) const {
    const FileHandle source(Open(name, win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING));
    if (!source.valid()) return false;
    return CopyBetween(source, FileHandle(win::CreateFile(to.c_str(), win::GENERIC_WRITE, 0, nullptr,
                                                          win::CREATE_ALWAYS, win::FILE_ATTRIBUTE_NORMAL, nullptr)));
}

int FreshFolder::Remove() {
    folder_.Reset();
    return gaiCOMDirectoryDeleteAll(path_.c_str());
}

bool KeepWorkFolder(const std::string& path) {
    return RemoveLeftover(path, true) && qvpCreateDirectoryTree(path.c_str());
}

}  // namespace qvp
