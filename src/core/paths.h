// Path builders: PathName followed by a fixed tail, into caller buffers of at least 260 bytes.
#pragma once

#include <string>

void qvpMakeMngflPath(char* buffer);            // "\SERVER\ZARNQV\MNGFL"
void qvpMakeMngflNodeDefPath(char* buffer);     // "\SERVER\ZARNQV\MNGFL\NODEDEF"
void qvpMakeMngflNodeGroupPath(char* buffer);   // "\SERVER\ZARNQV\MNGFL\NODEGROUP"
void qvpMakeMngflJobGenPath(char* buffer);      // "\SERVER\ZARNQV\MNGFL\JOBGEN"
void qvpMakeMngflJobExecPath(char* buffer);     // "\SERVER\ZARNQV\MNGFL\JOBEXEC"
void qvpMakeMngflSiteJobPath(char* buffer);     // "\SERVER\ZARNQV\MNGFL\SITEJOB"
void qvpMakeMngflCollectPath(char* buffer);     // "\SERVER\ZARNQV\MNGFL\COLLECTPATH"
void qvpMakeMngflSoftReferPath(char* buffer);   // "\SERVER\ZARNQV\MNGFL\SOFTREFER"
void qvpMakeMngflAttributionPath(char* buffer); // "\SERVER\ZARNQV\MNGFL\ATTRIBUTION\" (trailing '\')
void qvpMakeMngflExecutionPath(char* buffer);   // "\SERVER\ZARNQV\MNGFL\EXECUTION"
void qvpMakeMngflManagingPath(char* buffer);    // "\SERVER\ZARNQV\MNGFL\MANAGING"
void qvpMakeMngflStatusPath(char* buffer);      // "\SERVER\ZARNQV\MNGFL\STATUS"
void qvpMakeWorkNodeDefPath(char* buffer);      // "\SERVER\WORK\MNG\NODEDEF"
void qvpMakeWorkNodePath(char* buffer);         // "\SERVER\WORK\MNG\NODE"
void qvpMakeWorkNodeGroupPath(char* buffer);    // "\SERVER\WORK\MNG\NODEGROUP"
void qvpMakeWorkJobGenPath(char* buffer);       // "\SERVER\WORK\MNG\JOBGEN"
void qvpMakeWorkJobExecPath(char* buffer);      // "\SERVER\WORK\MNG\JOBEXEC"
void qvpMakeWorkAtrPath(char* buffer);          // "\SERVER\WORK\MNG\ATR\" (trailing '\')
void qvpMakeRmtinsWorkPath(char* buffer);       // "\RMTINS\WORK"
void qvpMakeCmdCollectPath(char* buffer);       // "\CMD\COLLECT"
void qvpMakeAclSetFileInfPath(char* buffer);    // "\PKG\ACLSETFL.INF"
void qvpMakeAclDirInfPath(char* buffer);        // "\PKG\ACLDIR.INF"
void qvpMakeLogPath(char* buffer);              // "\LOG"

namespace qvp {
// What one of the builders above (or qvpRegGetResourcePathName) writes, as a string.
std::string PathOf(void (*make)(char*));
}  // namespace qvp
