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
// ---- folder walks
inline constexpr const char* kSelectErrno = "%s : qvAPISelectFile Error :  errno = %d";

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
// The key lookup runs in the frame of qvAPIFindSysInfo; its texts name it, and its update and
// release steps log under the wait walk's name.
inline constexpr const char* kCurrentName = "qvAPISiteWaitSetCurrent";
inline constexpr const char* kCurrentUpdateName = "qvAPISiteWaitSetFirst";
inline constexpr const char* kCurrentSend = "%s : FGET Send Error";
inline constexpr const char* kCurrentRecv = "%s : FGET Recv Error";
inline constexpr const char* kCurrentProc = "%s : FGET Proc Error";
inline constexpr const char* kEndSend = "%s : FRLS Send Error";
inline constexpr const char* kEndRecv = "%s: FRLS Recv Error";
inline constexpr const char* kCurrentReleaseRecv = "%s : FRLS Recv Error";
inline constexpr const char* kReexecSend = "%s : DEXC Send Error";
inline constexpr const char* kReexecRecv = "%s : DEXC Recv Error";
inline constexpr const char* kReexecProc = "%s : DEXC Proc Error";

// ---- job control and job creation ("%s" is the exported name unless a text names its own)
inline constexpr const char* kLogicalError = "%s : Logical Error : ErrorCode = 0x%8.8x";
inline constexpr const char* kArgNull = "%s : Logical Error : %s Pointer is NULL";
inline constexpr const char* kArgEmpty = "%s : Logical Error : Top of %s is NULL";
inline constexpr const char* kStatError = "%s : _stat Error : File = %s, errno = %d";
inline constexpr const char* kRequestTooLong = "%s : Logical Error : Request Size is too Long";
inline constexpr const char* kSendError = "%s : TcpSendMsg Error";
inline constexpr const char* kRecvError = "%s : TcpRecvMsg Error";
inline constexpr const char* kJrtyError = "%s : JRTY Error code = %s";
// Names some job-control texts have always carried instead of the call's own.
inline constexpr const char* kRetrySendName = "qvpAPIExecRetryJob";     // the retry's exchange
inline constexpr const char* kRetryExceptionName = "vAPIExecRetryJob";  // its exception line
inline constexpr const char* kGetJobExName = "qvpAPIGetJobEx";
inline constexpr const char* kGetJobExEndName = "qvpAPIJobGenMake";
inline constexpr const char* kNodePathError = "%s : Node Path Error : Node Path = %s";
inline constexpr const char* kRetryKindError = "%s : fdwRetryKind Error = %d";
inline constexpr const char* kCreateDirectoryError = "%s : CreateDirectory Error : File = %s, errno = %d";
inline constexpr const char* kCopyError = "%s : CopyFile Error : From = %s, To = %s, errno = %d";
inline constexpr const char* kRequestNull = "%s : Logical Error : JobGen Name Pointer is NULL";
inline constexpr const char* kScheduleRefused = "%s : JDEL Error code = %s";
inline constexpr const char* kCopyFrom = "%s : CopyFile Error : From = %s";
inline constexpr const char* kCopyTo = "%s : CopyFile Error : To = %s";
inline constexpr const char* kCopyErrno = "%s : CopyFile Error : errno = %d";
inline constexpr const char* kDeleteAllCode = "%s : gaiCOMDirectoryDeleteAll RtnCode Code = %d";
inline constexpr const char* kDeleteAllPath = "%s : Path = %s";
inline constexpr const char* kNameNull = "%s : Logical Error : JobGen Name Pointer is NULL";
inline constexpr const char* kRecordNull = "%s : Logical Error : JobData Area Pointer is NULL";
inline constexpr const char* kNameEmpty = "%s : Logical Error : Top of JobGen Name is NULL";
inline constexpr const char* kNameTooLong = "%s : Logical Error : JobGen Name Over MAX_LEN";
inline constexpr const char* kNameInvalid = "%s : Logical Error : JobGen Name is INVALID";
inline constexpr const char* kOptionMissing = "%s : Logical Error : fdwAfterProcOption is MISSING";
inline constexpr const char* kOptionScheduled =
    "%s : Logical Error : use JOBGEN_SAVE with JOBGEN_NORMAL or JOBGEN_DELETE or JOBGEN_EXECUTE";
inline constexpr const char* kFolderTooLong = "%s : Logical Error : FolderPath Name Over MAX_LEN";
inline constexpr const char* kFolderInvalid = "%s : Logical Error : FolderPath Name is INVALID";
inline constexpr const char* kPathTooLong = "%s : Logical Error : Path is too Long : %s";
inline constexpr const char* kNoPending = "%s : Logical Error : No Pending Job Creation : JobNo = %.16s";
inline constexpr const char* kPendingReleased = "%s : Pending Job Creation Released : JobGen = %s";
inline constexpr const char* kScheduleNull = "%s : Logical Error : QVAPI_SCHEDULE Pointer is NULL";
// Job creation's folder steps log under the name as its texts have always spelt it.
inline constexpr const char* kCreateName = "qvAPICreatJob";
inline constexpr const char* kCreateDir = "%s : qvpCreateDirectory Error : File = %s";
inline constexpr const char* kCreateDirErrno = "%s : qvpCreateDirectory Error : errno = %d";
inline constexpr const char* kMutexOwner = "qvAPIScheduleJobex";  // the mutex lines carry this name
inline constexpr const char* kReCreateFrom = "%s : qvAPIReCreateJobGen Error : From = %s";
inline constexpr const char* kReCreateTo = "%s : qvAPIReCreateJobGen Error : To = %s";
inline constexpr const char* kReCreateErrno = "%s : qvAPIReCreateJobGen Error : errno = %d";
inline constexpr const char* kSortFrom = "%s : qvAPISortEntryJobGen Error : From = %s";
inline constexpr const char* kSortTo = "%s : qvAPISortEntryJobGen Error : To = %s";
inline constexpr const char* kSortErrno = "%s : qvAPISortEntryJobGen Error : errno = %d";
inline constexpr const char* kEntryOpen = "%s : CreateFile %s : ErrorCode = %d";
inline constexpr const char* kEntryRead = "%s : ReadFile %s : ErrorCode = %d";
inline constexpr const char* kSoftRefer = "%s : qvAPIReCreateSoftReferJobGen";
inline constexpr const char* kHeadError = "%s : qvAPIGetJobHead Error : errno = %d";
inline constexpr const char* kWorkDeleteError = "%s : gaiCOMDirectoryDeleteAll Error";
inline constexpr const char* kCopyBackError = "%s : qvAPIDirectoryCopy Error : failed copy from work to real file";
inline constexpr const char* kRemoveFolder = "%s : RemoveDirectory error = %d : Path = %s";
inline constexpr const char* kRemoveParent = "%s : RemoveDirectory(2) error = %d : Path = %s";
inline constexpr const char* kRemoveFolderExit = "%s : RemoveDirectory error(3) = %d : Path = %s";
inline constexpr const char* kRemoveParentExit = "%s : RemoveDirectory(4) error = %d : Path = %s";
inline constexpr const char* kOptionCode = "%s : Last Option Code Error : fdwAfterProcOption is not correct";
inline constexpr const char* kAfterSkipped = "%s : JobGen busy : after-processing skipped : JobGen = %s";

// ---- ID jobs: the workers ("%s" is the worker's own name) and the finders
inline constexpr const char* kIdDataNull = "%s : pData Pointer is NULL";
inline constexpr const char* kIdPathNull = "%s : pFilePath Pointer is NULL";
inline constexpr const char* kIdMode = "%s : dwFlg = 0x%8.8x";
inline constexpr const char* kIdNextCommand = "%s : qvpAPIGetNextCommand Error";
inline constexpr const char* kIdFirstArgs2 = "%s :pNodeName = %s:pExecNo = %s";
inline constexpr const char* kIdNextStart = "%s START : hFindJob = 0x%8.8x";
inline constexpr const char* kIdNextStart2 = "%s START :hFindJob = 0x%8.8x";

}  // namespace qvp::jobs::text
