// Log texts of the job readers and the site execution-record control, written to DLL.LOG with
// the tag "dll". "%s" is the calling function's name where a text has one.
#pragma once

namespace qvp::jobs::text {

// ---- job execution files
inline constexpr const char* kCreateFile = "%s : CreateFile Error : File = %s, errno = %d";
inline constexpr const char* kReadHead = "%s : ReadFile Error : JobExecFileHead errno = %d";
inline constexpr const char* kReadEntries = "%s : ReadFile Error : JobExecFileEntry errno = %d";
inline constexpr const char* kDefectiveFile = "%s : JobExecFile Error : File = %s, errno = %d";
inline constexpr const char* kJobPathInvalid = "%s : Logical Error : Job Path is INVALID : path = %s, errno = %d";
inline constexpr const char* kDataNull = "%s : Logical Error : pData Pointer is NULL";
inline constexpr const char* kJobNoNull = "%s : Logical Error : JobNo Pointer is NULL";
inline constexpr const char* kApiNull = "%s : Logical Error : API Block Pointer is NULL";
inline constexpr const char* kApiForeign = "%s : Logical Error : API Block of another thread";
inline constexpr const char* kNodeNull = "%s : Logical Error : Node Pointer is NULL";
inline constexpr const char* kNodeTooLong = "%s : Logical Error : Node Name is ovetr 64bytes.";
inline constexpr const char* kFindCommand = "%s : qvpAPIFindCommand Error";

// ---- site execution-record control ("%s" is the walk's own name)
inline constexpr const char* kFirstSend = "%s : ET Send Error";
inline constexpr const char* kFirstRecv = "%s : ET Recv Error";
inline constexpr const char* kNextSend = "%s : EN Send Error";
inline constexpr const char* kNextRecv = "%s : EN Recv Error";
inline constexpr const char* kUpdateSend = "%s : FUPD Send Error";
inline constexpr const char* kUpdateRecv = "%s : FUPD Recv Error";
inline constexpr const char* kUpdateProc = "%s : FUPD Proc Error";
inline constexpr const char* kRecordInvalid = "%s : Record Error : Length = %u";
inline constexpr const char* kBufferNull = "%s : Logical Error : Record Pointer is NULL";
inline constexpr const char* kKeyInvalid = "%s : Logical Error : Key is INVALID";
inline constexpr const char* kTextInvalid = "%s : Logical Error : Text is INVALID";
inline constexpr const char* kCurrentSend = "qvAPISiteWaitSetCurrent : FGET Send Error";
inline constexpr const char* kCurrentRecv = "qvAPISiteWaitSetCurrent : FGET Recv Error";
inline constexpr const char* kCurrentProc = "qvAPISiteWaitSetCurrent : FGET Proc Error";
// The key lookup logs its update and release steps under the wait walk's name.
inline constexpr const char* kCurrentUpdateName = "qvAPISiteWaitSetFirst";
inline constexpr const char* kCurrentReleaseSend = "qvAPISiteWaitSetFirst : FRLS Send Error";
inline constexpr const char* kCurrentReleaseRecv = "qvAPISiteWaitSetFirst : FRLS Recv Error";
inline constexpr const char* kEndSend = "%s : FRLS Send Error";
inline constexpr const char* kEndRecv = "%s: FRLS Recv Error";
inline constexpr const char* kReexecSend = "qvAPISiteReexec : DEXC Send Error";
inline constexpr const char* kReexecRecv = "qvAPISiteReexec : DEXC Recv Error";
inline constexpr const char* kReexecProc = "qvAPISiteReexec : DEXC Proc Error";

}  // namespace qvp::jobs::text
