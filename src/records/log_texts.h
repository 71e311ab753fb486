// Log texts of the record layer, written to DLL.LOG with the tag "dll".
#pragma once

namespace qvp::records::logtext {

// The names the record layer's functions log under ("%s : ..." below).
inline constexpr const char* kPutJob = "qvpAPIPutJob";
inline constexpr const char* kExecJob = "qvpAPIExecJob";
inline constexpr const char* kDeleteJob = "qvpAPIDeleteJob";
inline constexpr const char* kDeleteCommand = "qvpAPIDeleteCommand";
inline constexpr const char* kDeleteJobGen = "qvpAPIDeleteJobGen";
inline constexpr const char* kPutScriptFile = "qvpAPIPutScriptFile";
inline constexpr const char* kGetInv = "qvpAPIGetInv";

inline constexpr const char* kPutJobPathNull = "%s : Logical Error : Jobgen File Name Pointer is NULL";
inline constexpr const char* kPutJobNumberNull = "%s : Logical Error : JobNo Pointer is NULL";
inline constexpr const char* kPutJobPathLength = "%s : Logical Error : Jobgen File Name Len";
inline constexpr const char* kPutJobSend = "%s : TcpSendMsg Error";
inline constexpr const char* kPutJobRecv = "%s : TcpRecvMsg Error";
inline constexpr const char* kPutJobPathSize = "%s : JobFileName_size = %d";
inline constexpr const char* kPutJobNumberSize = "%s : JobNo_size = %d";
inline constexpr const char* kPutJobScheduleSize = "%s : Schdule_size = %d";
inline constexpr const char* kPutJobSendSize = "%s : send_size = %d";
inline constexpr const char* kPutJobClass2 = "%s : JPUT 0 - 2";
inline constexpr const char* kPutJobClass4 = "%s : JPUT 0 - 4";
inline constexpr const char* kPutJobClass6 = "%s : JPUT 0 - 6";
inline constexpr const char* kPutJobClass8 = "%s : JPUT 0 - 8";
inline constexpr const char* kPutJobError = "%s : JPUT Error code = %s";

inline constexpr const char* kExecJobPathNull = "%s : Logical Error : JobNo Pointer is NULL";
inline constexpr const char* kExecJobError = "%s : JEXC Error code = %s";
inline constexpr const char* kExecJobSend = "%s : TcpSendMsg Error";
inline constexpr const char* kExecJobRecv = "%s : TcpRecvMsg Error";

inline constexpr const char* kDeleteJobPathNull = "%s : Logical Error : JobNo Pointer is NULL";
inline constexpr const char* kDeleteJobError = "%s : JDEL Error code = %s";
inline constexpr const char* kDeleteJobSend = "%s : TcpSendMsg Error";
inline constexpr const char* kDeleteJobRecv = "%s : TcpRecvMsg Error";

inline constexpr const char* kDeleteCommandError = "%s : JDEL Error code = %s";
inline constexpr const char* kDeleteCommandSend = "%s : TcpSendMsg Error";
inline constexpr const char* kDeleteCommandRecv = "%s : TcpRecvMsg Error";

inline constexpr const char* kDeleteJobGenParameter = "%s : Logical Error : JobGen Path is NULL";
inline constexpr const char* kDeleteJobGenClear = "%s : DirectoryClearAll Error : Directory = %s, errno = %d";
inline constexpr const char* kDeleteJobGenRemove = "%s : RemoveDirectory Error : Directory = %s, errno = %d";

inline constexpr const char* kPutScriptFindAttr = "%s : qvpAPIFindAttr Error : Package = %s";
inline constexpr const char* kPutScriptCopy = "%s : CopyFile Error : FromFile = %s, ToFile = %s, errno = %d";

inline constexpr const char* kGetInvError = "%s : IGET Error code = %s";
inline constexpr const char* kGetInvItem = "%s : Inventory Record Error : Node = %s";

}  // namespace qvp::records::logtext
