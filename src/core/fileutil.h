// Directory and file utilities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/block.h"
#include "core/bounded_read.h"
#include "core/handles.h"
#include "qvpapi.h"  // qvpCreateDirectory

namespace qvp {
// Creates destination\<last level of source> and copies every file (overwriting) and every
// subdirectory that is not a reparse point into it. 1 on success; 0 (NULL argument 0x20000057).
int qvAPIDirectoryCopy(const char* source, const char* destination);
}  // namespace qvp
// 0 on success, non-zero on failure (the Windows error as last error). Symlinks are removed,
// never followed.
int gaiCOMDirectoryDeleteAll(const char* directory);  // the directory and everything in it
int gaiCOMDirectoryClearAll(const char* directory);   // everything in it, keeping it
int gaiCOMDirectoryDelete(const char* directory);     // its files (not subfolders), then itself
// When the directory exists, tries DeleteAll up to `tries` times with `pauseMs` between tries;
// 0 when removed, non-zero when absent or never removed. What is no folder (a file, a link, a
// FIFO) is removed as the name it is, in one try, never waited on; a folder is tried again only
// while a file in it is held (32) or it is not empty yet (145).
int gaiCOMDirectoryDeleteRetry(const char* directory, uint32_t pauseMs, int tries);
namespace qvp {
// Whatever stands at `path`, removed in one try and never waited on: a folder with everything in
// it, anything else (a file, a link, a FIFO) as the name it is, relative to its folder's handle.
// True when nothing is left there; false with the Windows error as last error.
bool RemoveAtOnce(const std::string& path);
// A folder at `path`, not a link to one.
bool IsFolderNotLink(const std::string& path);
}  // namespace qvp
// flag 1: reads what the file announces by `layout` (the whole file up to 2 GiB without one)
// into an arena buffer (*buffer replaced when too small), stores buffer and size; a file that
// announces more than it holds or its kind can fails as an unreadable one. Other flag: reads up
// to *size bytes into *buffer. Opened read/write with no sharing. 0 or more on success;
// negative with the API code set (0x20000103 for open errors 2, 3, 32; 0x20100000 otherwise).
int qvpAPIFileCopy(QVPAPI* block, const char* path, void** buffer, uint32_t* size, void* info,
                   int flag, const qvp::DeclaredLayout* layout = nullptr);
namespace qvp {
// The whole file in an arena buffer (caller frees with qvpAPIFree); NULL with the last error
// set (0x20000002 when the file does not exist).
void* qvAPIReadFile(QVPAPI* block, const char* path, void* reserved1, void* reserved2);
}  // namespace qvp
// What a file of `layout`'s kind announces, with its size, so that no caller reads past a short
// file; a file that announces more than it holds or its kind can fails as an unreadable one
// (0x20100000).
void* qvpReadWholeFile(QVPAPI* block, const char* path, uint32_t* size, const qvp::DeclaredLayout& layout);

// Internal form of qvpCreateDirectory (no call frame): true when every level exists as a
// directory; false with the Windows error of the failing step as last error.
bool qvpCreateDirectoryTree(const char* path);
