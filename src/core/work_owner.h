// Owners of the work folders named by a thread or process id. While its maker lives, such a
// folder holds an owner file that the maker keeps locked; the kernel lets the lock go when the
// process ends, so a folder whose owner file nobody holds belongs to a caller that is gone. A
// later caller making a folder of the same kind (the same name with other ids, beside it)
// removes those, through handles, and never one whose owner lives.
// A folder has its id name only while its owner file is held: it is made under its aside name
// (the id name with a leading '~'), renamed to the id name once its owner lock is taken, and
// renamed back aside before it is removed. A folder at an aside name without an owner file is a
// maker's between its first steps, or a remover's after its last: left so for a sweep interval,
// it is a dead one's.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win.h"

namespace qvp {

inline constexpr char kOwnerFile[] = ".owner";

// The name beside `folder` that it is made and removed under.
std::string AsideNameOf(const std::string& folder);

// The folder at `path` opened as it is (a link is refused, a file is no folder); invalid with the
// Windows error as last error.
win::HANDLE OpenFolderAsIs(const std::string& path);
// True when the two handles hold one file.
bool SameFile(win::HANDLE a, win::HANDLE b);

// Keeps `lock` (the folder's owner file, locked) for the calling thread until the folder is let
// go, made again, or the thread ends.
void KeepOwnerLock(const std::string& folder, win::HANDLE lock);
// True when the folder at `folder` is the one whose owner lock the calling thread holds.
bool OwnsWorkFolder(const std::string& folder);
void LetGoWorkFolder(const std::string& folder);

// Removes the work folder named by an id at `folder` (its own thread's, or whatever another writer
// left at that name): out of its id name first, then emptied with its owner file last, tried
// `tries` times `pauseMs` apart while a file in it is held. True when nothing is left at
// `folder`; false with the Windows error as last error.
bool RemoveWorkFolder(const std::string& folder, uint32_t pauseMs = 0, int tries = 1);

// Removes the folders beside `folder` of its kind whose owner is gone. A process looks at a kind
// once every ten seconds at most, whatever its threads: the cost stays off the callers' paths.
void SweepDeadSiblings(const std::string& folder);
// The next maker of each kind sweeps, however recent the last sweep; with `aged`, from then on
// every folder counts as left longer than a sweep interval.
void ForgetSweepsForTesting(bool aged = false);

}  // namespace qvp
