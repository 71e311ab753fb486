// The archiver's ways in: the writer of new-format archives and the extraction entry point.
#pragma once

namespace ar {
class ArContext;
}

// Packs `source` (or, with a name list, the `count` NUL-separated items of it; 0 counts as
// one) into a new-format archive. kind 0, 1, 5 label it 'N', 'H', 'Z'; `basePath`, when given,
// supplies the drive and base path stored in the header; aclMode 1 stores the descriptors of
// the ACL information files, 2 each entry's own, anything else none. The archive is written
// beside its target and replaces it only when complete. 0 on success, else 1, 3, 4, 6, 7, 25
// or -1 (see ArcResult).
int qvpcarCreateArcFile(const char* source, const char* names, int count, int kind,
                        const char* basePath, const char* archive, int aclMode);
int qvpcarCreateArcFile(ar::ArContext& ctx, const char* source, const char* names, int count,
                        int kind, const char* basePath, const char* archive, int aclMode);

// Unpacks an archive into `restore` (or, when none, the folder stored in it). With keep 0 the
// archive is deleted afterwards. 0 on success, else the reader's result or -1.
int qvparMain(const char* archive, const char* restore, int keep);
int qvparMain(ar::ArContext& ctx, const char* archive, const char* restore, int keep);
