/* Runtime: error codes of the calling thread, API level, directories. */
#ifndef QVPAPI_RUNTIME_H
#define QVPAPI_RUNTIME_H

#include "common.h"

QVPAPI_BEGIN_DECLS

/* The calling thread's last-error value: the API error code of its last call (0 after
 * success); shared with the Windows error numbers of the platform layer. */
QVPAPI_EXPORT void qvAPISetLastError(uint32_t code);
QVPAPI_EXPORT uint32_t qvAPIGetLastError(void);

/* Creates every missing level of a directory path; an existing directory counts as made.
 * 1 on success, 0 with the Windows error of the failing step as last error (183 when a level
 * exists as a file). */
QVPAPI_EXPORT int qvpCreateDirectory(const char* path);

/* API level 0 to 5: fixes the sizes of the records exchanged with the calling thread (node
 * definitions, JobGen node entries, node jobs, ID jobs, package jobs). 1, or 0 with
 * QVAPI_ERR_INVALID_PARAMETER for a level outside 0 to 5. */
QVPAPI_EXPORT int qvAPIExpandLevel(int level);
/* Sets one of the eight record-size slots (0 to 7) of the calling thread to a size above 0.
 * 1, or 0 with QVAPI_ERR_INVALID_PARAMETER. */
QVPAPI_EXPORT int qvAPISetOriginalStructSize(int slot, uint32_t size);

QVPAPI_END_DECLS

#endif
