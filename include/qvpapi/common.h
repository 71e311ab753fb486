/* What every area header uses: the fixed-width integer types, offsetof, the export marker, the
 * handle type and the C linkage of the declarations. Each area header includes it, so any one of
 * them can be included alone. */
#ifndef QVPAPI_COMMON_H
#define QVPAPI_COMMON_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QVPAPI_EXPORT __attribute__((visibility("default")))
#else
#define QVPAPI_EXPORT
#endif

/* The exported functions have C linkage also when a C++ caller includes a header. */
#ifdef __cplusplus
#define QVPAPI_BEGIN_DECLS extern "C" {
#define QVPAPI_END_DECLS }
#else
#define QVPAPI_BEGIN_DECLS
#define QVPAPI_END_DECLS
#endif

/* Conventions of every header:
 * - Reserved arguments (dwReserved..., lpReserved) are passed as 0 (NULL); so are the dwParamN,
 *   named only by their position, unless the function's comment gives them a use.
 * - A thread is at API level 0 until it calls qvAPIExpandLevel, and every qvAPIOpen sets it back
 *   to 0: records are then exchanged at their level-0 sizes (a QVAPI_NODE of 960 bytes). Call
 *   qvAPIExpandLevel(5) after qvAPIOpen to exchange them whole (runtime.h). */

/* Find handles and the JobGen handle are pointer-sized; (QVPAPI_HANDLE)-1 is failure. */
typedef void* QVPAPI_HANDLE;
#define QVPAPI_INVALID_HANDLE ((QVPAPI_HANDLE)(intptr_t)-1)

#endif /* QVPAPI_COMMON_H */
