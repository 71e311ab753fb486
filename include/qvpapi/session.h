/* Session: one per thread, with the manager service over TCP. */
#ifndef QVPAPI_SESSION_H
#define QVPAPI_SESSION_H

#include "common.h"

QVPAPI_BEGIN_DECLS

/* Opens the calling thread's session: host (NULL or "" for "localhost") and service (a port number,
 * or a TCP service name; NULL or "" for "zarnqv"). A session the thread still holds is closed
 * first. 1 on success, including a manager that answers with a session without a socket; 0 with the
 * code: QVAPI_ERR_CONNECT_REFUSED connection refused, QVAPI_ERR_CONNECT_BASE + n "CONNECTA n",
 * QVAPI_ERR_HANDSHAKE_VERSION wrong protocol version, QVAPI_ERR_HANDSHAKE any other answer,
 * QVAPI_ERR_TCP_SEND / QVAPI_ERR_TCP_RECV send / receive failure, QVAPI_ERR_TCP_HOST_UNKNOWN
 * unknown host, QVAPI_ERR_TCP_SERVICE_UNKNOWN unknown service. A failed open leaves the thread
 * without a session. */
QVPAPI_EXPORT int qvAPIOpen(const char* host, const char* service);

/* Closes the calling thread's session: releases what it holds, removes the thread's work
 * directories, releases the manager's cursors, ends the session with the manager, closes the
 * connection and the logs and frees the session memory. 1. */
QVPAPI_EXPORT int qvAPIClose(void);

QVPAPI_END_DECLS

#endif
