// Owners of the work folders named by a thread or process id. While its maker lives, such a
// folder holds an owner file that the maker keeps locked; the kernel lets the lock go when the
// process ends, so a folder whose owner file nobody holds belongs to a caller that is gone. A
// later caller making a folder of the same kind (the same name with other ids, beside it)
// removes those, through handles, and never one whose owner lives.
#pragma once

#include <string>

#include "platform/win.h"

namespace qvp {

inline constexpr char kOwnerFile[] = ".owner";

// The folder at `path` opened as it is (a link is refused, a file is no folder); invalid with the
// Windows error as last error.
win::HANDLE OpenFolderAsIs(const std::string& path);

// Keeps `lock` (the folder's owner file, locked) for the calling thread until the folder is let
// go, made again, or the thread ends.
void KeepOwnerLock(const std::string& folder, win::HANDLE lock);
// True when the folder at `folder` is the one whose owner lock the calling thread holds.
bool OwnsWorkFolder(const std::string& folder);
void LetGoWorkFolder(const std::string& folder);

// Removes the folders beside `folder` of its kind whose owner is gone. A process looks at a kind
// once every ten seconds at most, whatever its threads: the cost stays off the callers' paths.
void SweepDeadSiblings(const std::string& folder);
// The next maker of each kind sweeps, however recent the last sweep.
void ForgetSweepsForTesting();

}  // namespace qvp
