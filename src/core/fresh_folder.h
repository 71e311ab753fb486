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

// Who names a work folder: its caller (a JobGen's copy), or the system, by a thread or process
// id. A folder named by an id holds an owner lock while its maker lives (core/work_owner.h), and
// making one removes the folders of its kind whose owners are gone.
enum class Named { ByCaller, ById };

class FreshFolder {
public:
    explicit FreshFolder(std::string path, Named named = Named::ByCaller)
        : path_(std::move(path)), byId_(named == Named::ById) {}
    FreshFolder(const FreshFolder&) = delete;
    FreshFolder& operator=(const FreshFolder&) = delete;
    ~FreshFolder() = default;  // the folder stays until Remove(): callers keep some across calls

    // Removes whatever is at the name (a link as a link), makes the folders above it, then the
    // folder itself, which must not exist then, and holds it open (named by an id: made at its
    // aside name and renamed to its own once its owner lock is held, by the thread until Remove
    // or the thread's end). 0; 0x20000020 when another caller made it or took it away meanwhile;
    // 0x20100000 for any other failure (its Windows error as last error).
    uint32_t Make();
    // Named by an id: the folder `filled`, which its caller made and filled under a name no
    // sweeper judges, becomes this one as Make would have made it (the owner lock taken, then
    // renamed to the id name). 0 or the Windows error; `filled` then stays where it is.
    win::DWORD Adopt(const std::string& filled);
    // Named by an id: the folder, renamed by its caller to `to` (out of the kind's area, where the
    // caller answers for what is left), loses its owner file and is let go. False with the
    // Windows error as last error.
    bool MovedTo(const std::string& to);
    // CreateFile of a file directly in the folder, through the folder's handle and never
    // through a link at its name (opened as nothing: the open fails).
    win::HANDLE Open(std::string_view name, win::DWORD access, win::DWORD share, win::DWORD disposition) const;
    // Copies the file `from` into the folder as `name` (made new) / the folder's `name` over
    // the file `to`. False with the Windows error as last error.
    bool CopyIn(const std::string& from, std::string_view name) const;
    bool CopyOut(std::string_view name, const std::string& to) const;
    // Lets go of the folder and removes it with everything in it (named by an id: out of its
    // name first, its owner file last). 0 or the remover's result.
    int Remove();
    // The same only when nothing but the owner file is in it: false (145) otherwise, the folder
    // left as it is; false with the Windows error when it could not be removed.
    bool RemoveEmpty();

    bool made() const { return folder_.valid(); }
    const std::string& path() const { return path_; }
    std::string PathOf(std::string_view name) const { return path_ + "\\" + std::string(name); }

private:
    uint32_t MakeOnce();
    // 0, or the Windows error that kept the owner lock from being made and taken, or the folder
    // from being renamed from `at_` to its name.
    win::DWORD TakeOwnerLock();

    std::string path_;
    bool byId_ = false;
    FileHandle folder_;
    std::string at_;  // the name `folder_` was opened at

};

// For work folders named by an id that keep what earlier calls of the session put there: the
// folder the thread made and holds stays; anything else at the name (a link, a file, a leftover)
// goes and the folder is made fresh. False with the Windows error as last error.
bool KeepWorkFolder(const std::string& path);

}  // namespace qvp
