// Work folders whose names the system fixes (a thread or process id) in the shared store.
// Every writer of the store can guess such a name and leave a link or a prepared folder there,
// so the folder is never used as found: a leftover is removed, the folder made anew for this
// caller alone, and its files made and opened through the folder's own handle.
#pragma once

#include <string>
#include <string_view>

#include "core/handles.h"
#include "platform/win.h"

namespace qvp {

class FreshFolder {
public:
    explicit FreshFolder(std::string path) : path_(std::move(path)) {}
    FreshFolder(const FreshFolder&) = delete;
    FreshFolder& operator=(const FreshFolder&) = delete;
    ~FreshFolder() = default;  // the folder stays until Remove(): callers keep some across calls

    // Removes whatever is at the name (a link as a link), makes the folders above it, then the
    // folder itself, which must not exist then, and holds it open. 0; 0x20000020 when another
    // caller made it meanwhile; 0x20100000 for any other failure (its Windows error as last
    // error).
    uint32_t Make();
    // CreateFile of a file directly in the folder, through the folder's handle and never
    // through a link at its name (opened as nothing: the open fails).
    win::HANDLE Open(std::string_view name, win::DWORD access, win::DWORD share, win::DWORD disposition) const;
    // Copies the file `from` into the folder as `name` (made new) / the folder's `name` over
    // the file `to`. False with the Windows error as last error.
    bool CopyIn(const std::string& from, std::string_view name) const;
    bool CopyOut(std::string_view name, const std::string& to) const;
    // Lets go of the folder and removes it with everything in it. 0 or the remover's result.
    int Remove();

    bool made() const { return folder_.valid(); }
    const std::string& path() const { return path_; }
    std::string PathOf(std::string_view name) const { return path_ + "\\" + std::string(name); }

private:
    std::string path_;
    FileHandle folder_;
};

// For work folders that keep what earlier calls of the session put there: a link or a file at
// the name is removed (a link as a link), then the folder made when missing. False with the
// Windows error as last error.
bool KeepWorkFolder(const std::string& path);

}  // namespace qvp
