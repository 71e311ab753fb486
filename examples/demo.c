/* End-to-end example: a caller's session with the manager (the simulator in the demo) and a
 * walk over the node store under the install root. scripts/demo.sh runs it with a settings
 * file, a fresh data root and the simulator's port. */
#include <stdio.h>
#include <string.h>

#include "qvpapi.h"

static int step(const char* what, int result) {
    printf("%-46s -> %d, code 0x%08x\n", what, result, (unsigned)qvAPIGetLastError());
    return result;
}

int main(int argc, char** argv) {
    char path[1024];
    QVAPI_NODE node;
    QVPAPI_HANDLE find;
    int members = 0;

    if (argc < 3) {
        fprintf(stderr, "usage: %s DATA_ROOT PORT\n", argv[0]);
        return 2;
    }
    if (!step("qvAPIOpen(127.0.0.1, port)", qvAPIOpen("127.0.0.1", argv[2]))) return 1;
    step("qvAPIExpandLevel(5)", qvAPIExpandLevel(5));

    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEGROUP", argv[1]);
    step("qvpCreateDirectory(NODEGROUP)", qvpCreateDirectory(path));
    snprintf(path, sizeof path, "%s/SERVER/ZARNQV/MNGFL/NODEDEF", argv[1]);
    step("qvpCreateDirectory(NODEDEF)", qvpCreateDirectory(path));
    step("qvAPICountNodeDefinition()", qvAPICountNodeDefinition());

    memset(&node, 0, sizeof node);
    step("qvAPIFindClientDefinition(pc00001)", qvAPIFindClientDefinition("pc00001", &node, 0, 0));

    find = qvAPIFindFirstNode("\\", &node, 0, 0);
    if (find != QVPAPI_INVALID_HANDLE) {
        do {
            printf("  member %.64s kind %u\n", node.ucNodeName, (unsigned)node.uiNodeAttributes);
            ++members;
        } while (qvAPIFindNextNode(find, &node, 0, 0));
        qvAPIFindCloseNode(find, 0, 0);
    }
    printf("%-46s -> %d members, code 0x%08x\n", "qvAPIFindFirstNode(\\)", members,
           (unsigned)qvAPIGetLastError());

    step("qvAPIUnArchive(missing archive)", qvAPIUnArchive("/nonexistent/PKG1/abc.qvz", "/tmp"));
    step("qvAPIClose()", qvAPIClose());
    return 0;
}
