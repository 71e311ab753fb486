// Removal of a folder tree.
#pragma once

// A path without a trailing separator names the file or folder itself, which is removed with
// everything below it; with a trailing separator only the folder's contents go. Read-only
// files and folders are removed too. 0, or -1 at the first entry that can't be removed, with
// its system error as last error.
int qvpFarRemoveDirectry(const char* path);
