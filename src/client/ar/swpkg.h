// Script-package wrappers: a package's Q file is an archive that job generation unpacks into a
// work folder and packs back again.
#pragma once

// Extracts the archive into the folder and deletes the archive. 0, or -1 on any failure.
int qvpSwpStartCangeQFile(const char* archivePath, const char* outputFolder);
// Packs the folder's content into the archive (which replaces the old one only when complete)
// and removes the folder. 0, or -1 on any failure.
int qvpSwpEndCangeQFile(const char* folder, const char* archivePath);
