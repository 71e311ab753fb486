/* Archives: unpacking a package archive for a caller. */
#ifndef QVPAPI_ARCHIVE_H
#define QVPAPI_ARCHIVE_H

#include "common.h"

QVPAPI_BEGIN_DECLS

/* Unpacks the package archive lpArPath ("<folder>\<name>.qvz", the extension in any case) into
 * lpRestorePath\<name>_<folder>, made with all its parents; lpRestorePath starts with a drive
 * ("X:\") or is an absolute POSIX path. The archive file stays as it is, also when it is encoded
 * and also on failure. 1 on success; 0 with QVAPI_ERR_INVALID_PARAMETER for an argument or name
 * that breaks the rules, QVAPI_ERR_RESOURCE when the folder can't be made or the extraction fails.
 */
QVPAPI_EXPORT int qvAPIUnArchive(const char* lpArPath, const char* lpRestorePath);

QVPAPI_END_DECLS

#endif
