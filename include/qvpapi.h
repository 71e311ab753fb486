/* QVPAPI: management library of the package-distribution manager.
 *
 * The plain C interface for callers: exported functions, the records they exchange and the
 * API error codes that qvAPIGetLastError returns. Every function returns 0 on failure and a
 * non-zero value on success (1, or a find handle; a FindFirst returns -1 on failure) unless its
 * comment says otherwise, and leaves its API error code as the thread's last-error value
 * (0 after success). Records keep the byte layouts of the stored files and of the manager. */
#ifndef QVPAPI_H
#define QVPAPI_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QVPAPI_EXPORT __attribute__((visibility("default")))
#else
#define QVPAPI_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Find handles and the JobGen handle are pointer-sized; (QVPAPI_HANDLE)-1 is failure. */
typedef void* QVPAPI_HANDLE;
#define QVPAPI_INVALID_HANDLE ((QVPAPI_HANDLE)(intptr_t)-1)

#include "qvpapi/errors.h"
#include "qvpapi/runtime.h"
#include "qvpapi/session.h"
#include "qvpapi/records.h"
#include "qvpapi/nodes.h"
#include "qvpapi/node_groups.h"
#include "qvpapi/archive.h"
#include "qvpapi/packages.h"
#include "qvpapi/jobgen.h"
#include "qvpapi/jobs.h"
#include "qvpapi/idgroups.h"

#ifdef __cplusplus
}
#endif

#endif /* QVPAPI_H */
