/* QVPAPI: management library of the package-distribution manager.
 *
 * The plain C interface for callers: exported functions, the records they exchange and the
 * API error codes that qvAPIGetLastError returns. Every function returns 0 on failure and a
 * non-zero value on success (1, or a find handle; a FindFirst returns -1 on failure) unless its
 * comment says otherwise, and leaves its API error code as the thread's last-error value
 * (0 after success). Records keep the byte layouts of the stored files and of the manager. */
#ifndef QVPAPI_H
#define QVPAPI_H

#include "qvpapi/common.h"

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

#endif /* QVPAPI_H */
