/* A first program: a session with the manager (qvp-manager-sim), one client defined and found
 * again. Usage: first PORT, with QVPAPI_CONFIG naming settings whose PathName is the
 * simulator's --root (README, "A first program"). */
#include <stdio.h>
#include <string.h>

#include <qvpapi.h>

int main(int argc, char** argv) {
    QVAPI_NODE node;
    int found = 0;
    memset(&node, 0, sizeof node);
    strcpy(node.ucNodeName, "pc001");
    node.uiNodeAttributes = QVAPI_NODE_CLIENT;
    strcpy(node.ucNodePath0, "\\"); /* directly below the top */
    if (argc < 2 || !qvAPIOpen("127.0.0.1", argv[1])) return 1;
    qvAPIExpandLevel(5); /* records exchanged whole */
    found = qvAPICreateClientDefinition("pc001", &node, 0) && qvAPIGetClientDefinitionByName("pc001", &node);
    if (found) printf("found %s\n", node.ucNodeName);
    else printf("failed: 0x%08x\n", (unsigned)qvAPIGetLastError());
    qvAPIClose();
    return found ? 0 : 1;
}
