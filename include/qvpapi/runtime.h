/* Runtime: error codes of the calling thread, API level, directories. */
#ifndef QVPAPI_RUNTIME_H
#define QVPAPI_RUNTIME_H

/* The calling thread's last-error value: the API error code of its last call (0 after
 * success); shared with the Windows error numbers of the platform layer. */
QVPAPI_EXPORT void qvAPISetLastError(uint32_t code);
QVPAPI_EXPORT uint32_t qvAPIGetLastError(void);

/* Creates every missing level of a directory path; an existing directory counts as made.
 * 1 on success, 0 with the Windows error of the failing step as last error (183 when a level
 * exists as a file). */
QVPAPI_EXPORT int qvpCreateDirectory(const char* path);

#endif
