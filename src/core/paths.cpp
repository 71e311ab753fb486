// Path builders: the install root followed by a fixed tail, into a caller buffer of 260 bytes.
#include "core/paths.h"

#include <cstdio>

#include "core/settings.h"
#include "platform/win.h"

namespace {

void Build(char* buffer, const char* tail) {
    if (buffer == nullptr) return;
    std::snprintf(buffer, win::MAX_PATH, "%s%s", qvpPathName().c_str(), tail);
}

}  // namespace

void qvpMakeMngflPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL"); }
void qvpMakeMngflNodeDefPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\NODEDEF"); }
void qvpMakeMngflNodeGroupPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\NODEGROUP"); }
void qvpMakeMngflJobGenPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\JOBGEN"); }
void qvpMakeMngflJobExecPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\JOBEXEC"); }
void qvpMakeMngflSiteJobPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\SITEJOB"); }
void qvpMakeMngflCollectPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\COLLECTPATH"); }
void qvpMakeMngflSoftReferPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\SOFTREFER"); }
void qvpMakeMngflAttributionPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\ATTRIBUTION\\"); }
void qvpMakeMngflExecutionPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\EXECUTION"); }
void qvpMakeMngflManagingPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\MANAGING"); }
void qvpMakeMngflStatusPath(char* b) { Build(b, "\\SERVER\\ZARNQV\\MNGFL\\STATUS"); }
void qvpMakeWorkNodeDefPath(char* b) { Build(b, "\\SERVER\\WORK\\MNG\\NODEDEF"); }
void qvpMakeWorkNodePath(char* b) { Build(b, "\\SERVER\\WORK\\MNG\\NODE"); }
void qvpMakeWorkNodeGroupPath(char* b) { Build(b, "\\SERVER\\WORK\\MNG\\NODEGROUP"); }
void qvpMakeWorkJobGenPath(char* b) { Build(b, "\\SERVER\\WORK\\MNG\\JOBGEN"); }
void qvpMakeWorkJobExecPath(char* b) { Build(b, "\\SERVER\\WORK\\MNG\\JOBEXEC"); }
void qvpMakeWorkAtrPath(char* b) { Build(b, "\\SERVER\\WORK\\MNG\\ATR\\"); }
void qvpMakeRmtinsWorkPath(char* b) { Build(b, "\\RMTINS\\WORK"); }
void qvpMakeCmdCollectPath(char* b) { Build(b, "\\CMD\\COLLECT"); }
void qvpMakeAclSetFileInfPath(char* b) { Build(b, "\\PKG\\ACLSETFL.INF"); }
void qvpMakeAclDirInfPath(char* b) { Build(b, "\\PKG\\ACLDIR.INF"); }
void qvpMakeLogPath(char* b) { Build(b, "\\LOG"); }

namespace qvp {

std::string PathOf(void (*make)(char*)) {
    char buffer[win::MAX_PATH + 1] = {};
    make(buffer);
    return buffer;
}

}  // namespace qvp
