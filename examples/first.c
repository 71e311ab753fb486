/* A first program: a session with the manager (qvp-manager-sim), one client defined and found
 * again. Usage: first PORT, with QVPAPI_CONFIG naming settings whose PathName is the
 * simulator's --root (README, "A first program"). */
#include <stdio.h>
#include <string.h>

#include <qvpapi.h>

/* The codes this program is likely to meet; every code is named in qvpapi/errors.h. */
static const char* code_name(uint32_t code) {
    switch (code) {
    case QVAPI_ERR_CONNECT_REFUSED: return "QVAPI_ERR_CONNECT_REFUSED, no manager on that port";
    case QVAPI_ERR_TCP_SOCKET: return "QVAPI_ERR_TCP_SOCKET, no lock file in the run-time folder";
    case QVAPI_ERR_TCP_RECV: return "QVAPI_ERR_TCP_RECV";
    case QVAPI_ERR_INVALID_PARAMETER: return "QVAPI_ERR_INVALID_PARAMETER";
    case QVAPI_ERR_ALREADY_EXISTS: return "QVAPI_ERR_ALREADY_EXISTS";
    case QVAPI_ERR_RESOURCE: return "QVAPI_ERR_RESOURCE";
    default: return "see qvpapi/errors.h";
    }
}

/* What failed, its code, and where the library wrote why: DLL.LOG below the install root. A root
 * this user cannot write has no DLL.LOG (qvAPIOpen fails with QVAPI_ERR_TCP_SOCKET): then only the
 * event log says why, syslog and the file of the EventLogFile setting. */
static void failed(const char* what) {
    const uint32_t code = qvAPIGetLastError();
    fprintf(stderr, "%s failed: 0x%08x (%s); why is in <PathName>/LOG/DLL.LOG%s\n", what, (unsigned)code,
            code_name(code),
            code == QVAPI_ERR_TCP_SOCKET ? " or, where the root cannot be written, only in the event log"
                                           " (syslog: journalctl -t qvpapi; without syslog, the file EventLogFile"
                                           " names in [Platform])"
                                         : "");
}

int main(int argc, char** argv) {
    QVAPI_NODE node;
    int found = 0;
    memset(&node, 0, sizeof node);
    strcpy(node.ucNodeName, "pc001");
    node.uiNodeAttributes = QVAPI_NODE_CLIENT;
    strcpy(node.ucNodePath0, "\\"); /* directly below the top */
    if (argc < 2) {
        fprintf(stderr, "usage: first PORT (of qvp-manager-sim)\n");
        return 2;
    }
    if (!qvAPIOpen("127.0.0.1", argv[1])) { /* the simulator's port */
        failed("qvAPIOpen");
        return 1;
    }
    qvAPIExpandLevel(5); /* records exchanged whole */
    found = qvAPICreateClientDefinition("pc001", &node, 0) && qvAPIGetClientDefinitionByName("pc001", &node);
    if (found) printf("found %s\n", node.ucNodeName);
    else failed("defining pc001");
    qvAPIClose();
    return found ? 0 : 1;
}
