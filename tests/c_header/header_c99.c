/* Compiled as C99 in every build: the public header must stay plain C. */
#include "qvpapi.h"

int qvp_header_c99_probe(void);
int qvp_header_c99_probe(void) { return (int)sizeof(QVPAPI_HANDLE); }
