/* Session: one per thread, with the manager service over TCP. */
#ifndef QVPAPI_SESSION_H
#define QVPAPI_SESSION_H

/* Opens the calling thread's session: host (NULL or "" for "localhost") and service (a port
 * number, or a TCP service name; NULL or "" for "zarnqv"). A session the thread still holds is
 * closed first. 1 on success, including a manager that answers with a session without a
 * socket; 0 with the code: 0x20710000 connection refused, 0x20700000 + n "CONNECTA n",
 * 0x20320000 wrong protocol version, 0x20310000 any other answer, 0x20250000 / 0x20260000
 * send / receive failure, 0x20220000 unknown host, 0x20230000 unknown service. A failed open
 * leaves the thread without a session. */
QVPAPI_EXPORT int qvAPIOpen(const char* host, const char* service);

/* Closes the calling thread's session: releases what it holds, removes the thread's work
 * directories, releases the manager's cursors, ends the session with the manager, closes the
 * connection and the logs and frees the session memory. 1. */
QVPAPI_EXPORT int qvAPIClose(void);

#endif
