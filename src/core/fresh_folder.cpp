#include "core/fresh_folder.h"

#include <cstring>

#include "core/fileutil.h"
#include "core/work_owner.h"
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

}  // namespace

uint32_t FreshFolder::Make() {
    if (byId_) SweepDeadSiblings(path_);
    // A sweeper that judged the new folder before its owner lock was taken may take it away:
    // the folder is then made again.
    constexpr int kAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        if (const uint32_t code = MakeOnce(); code != 0 || !byId_) return code;
        const win::DWORD error = TakeOwnerLock();
        if (error == 0) return 0;
        folder_.Reset();
        if (at_ != path_) RemoveAtOnce(at_);  // nothing made is left behind
        win::SetLastError(error);
        const bool takenAway = error == win::ERROR_LOCK_VIOLATION || error == win::ERROR_FILE_EXISTS ||
                               error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ||
                               error == win::ERROR_ALREADY_EXISTS;
        if (!takenAway) return QVAPI_ERR_RESOURCE;
        if (attempt == kAttempts) return QVAPI_ERR_BUSY;
    }
}

win::DWORD FreshFolder::Adopt(const std::string& filled) {
    SweepDeadSiblings(path_);
    folder_.Reset();
    if (!RemoveWorkFolder(path_)) return win::GetLastError();
    folder_.Reset(OpenFolderAsIs(filled));
    if (!folder_.valid()) return win::GetLastError();
    at_ = filled;
    // An owner file copied in with what filled it is no lock of ours.
    const std::string copiedOwner = filled + "\\" + kOwnerFile;
    if (win::GetFileAttributes(copiedOwner.c_str()) != win::INVALID_FILE_ATTRIBUTES)
        win::RemoveTree(copiedOwner.c_str(), win::RemoveScope::Name);
    const win::DWORD error = TakeOwnerLock();
    if (error != 0) folder_.Reset();
    return error;
}

bool FreshFolder::MovedTo(const std::string& to) {
    folder_.Reset();
    at_.clear();
    LetGoWorkFolder(path_);
    return win::DeleteFile((to + "\\" + kOwnerFile).c_str()) || win::GetLastError() == win::ERROR_FILE_NOT_FOUND;
}

uint32_t FreshFolder::MakeOnce() {
    folder_.Reset();
    at_ = byId_ ? AsideNameOf(path_) : path_;
    // Whatever an earlier caller, or another writer of the store, left at the name goes as the
    // name it is (a read-only file too; a link as a link, a folder through handles; one named by
    // an id out of its name first, so that no kill leaves it there without its owner file).
    if (!(byId_ ? RemoveWorkFolder(path_) && RemoveAtOnce(at_) : RemoveAtOnce(path_))) return QVAPI_ERR_RESOURCE;
    const size_t cut = win::FindLastSeparator(path_);
    if (cut != std::string::npos && cut > 0 && !qvpCreateDirectoryTree(path_.substr(0, cut).c_str()))
        return QVAPI_ERR_RESOURCE;
    if (!win::CreateDirectoryExact(at_.c_str())) {
        const win::DWORD error = win::GetLastError();
        return error == win::ERROR_ALREADY_EXISTS || error == win::ERROR_FILE_EXISTS ? QVAPI_ERR_BUSY
                                                                                     : QVAPI_ERR_RESOURCE;
    }
    // Whatever stands at the name now is opened as it is: a link is refused, a file is no folder.
    folder_.Reset(OpenFolderAsIs(at_));
    return folder_.valid() ? 0 : QVAPI_ERR_RESOURCE;
}

win::DWORD FreshFolder::TakeOwnerLock() {
    FileHandle lock(Open(kOwnerFile, win::GENERIC_READ | win::GENERIC_WRITE,
                         win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE, win::CREATE_NEW));
    if (!lock.valid() || !win::LockFile(lock.get(), 0, 0, 1, 0)) return win::GetLastError();
    // A sweeper that locked the file before us has unlinked it (and the folder) by the time its
    // lock went: once ours is held, a file still linked is one no sweeper can take any more.
    win::BY_HANDLE_FILE_INFORMATION info{};
    if (!win::GetFileInformationByHandle(lock.get(), &info)) return win::GetLastError();
    if (info.nNumberOfLinks == 0) return win::ERROR_FILE_NOT_FOUND;
    if (at_ != path_) {
        // Never replaces: what another writer put at the name meanwhile is for the next try.
        if (!win::MoveFile(at_.c_str(), path_.c_str())) return win::GetLastError();
        // From now on the folder is reached through a handle opened at its name.
        FileHandle named(OpenFolderAsIs(path_));
        if (!named.valid()) return win::GetLastError();
        if (!SameFile(named.get(), folder_.get())) return win::ERROR_ALREADY_EXISTS;
        folder_ = std::move(named);
        at_ = path_;
    }
    KeepOwnerLock(path_, lock.Release());
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
    return win::CreateFileIn(folder_.get(), (at_ + "\\" + std::string(name)).c_str(), access, share, disposition,
                             flags);
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
    if (!byId_) return gaiCOMDirectoryDeleteAll(path_.c_str());
    // The owner lock is held until the folder is gone: no sweeper takes it meanwhile.
    const bool removed = RemoveWorkFolder(path_);
    LetGoWorkFolder(path_);
    return removed ? 0 : 1;
}

bool FreshFolder::RemoveEmpty() {
    win::WIN32_FIND_DATAA data{};
    for (FindWalk walk = FindWalk::Names(PathOf("*"), data); walk.valid();) {
        const std::string_view name(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
        if (name != "." && name != ".." && !(byId_ && name == kOwnerFile)) return Fail(win::ERROR_DIR_NOT_EMPTY);
        if (!walk.Next(data)) break;
    }
    folder_.Reset();
    if (!byId_) return win::RemoveDirectory(path_.c_str()) != 0;
    if (!RemoveWorkFolder(path_)) return false;
    LetGoWorkFolder(path_);
    return true;
}

bool KeepWorkFolder(const std::string& path) {
    if (OwnsWorkFolder(path)) return true;
    FreshFolder folder(path, Named::ById);
    return folder.Make() == 0;
}

}  // namespace qvp
