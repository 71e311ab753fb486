/* End-to-end example: run by scripts/demo.sh with a settings file and a scratch directory. */
#include <stdio.h>

#include "qvpapi.h"

int main(int argc, char** argv) {
    char path[1024];
    int made;

    if (argc < 2) {
        fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    snprintf(path, sizeof path, "%s/demo/made", argv[1]);
    made = qvpCreateDirectory(path);
    printf("qvpCreateDirectory(%s) = %d, qvAPIGetLastError() = 0x%08x\n", path, made,
           (unsigned)qvAPIGetLastError());
    return 0;
}
