// Log texts of the record layer, written to DLL.LOG with the tag "dll".
#pragma once

namespace qvp::records::logtext {

inline constexpr const char* kPutJobPathNull = "qvpAPIPutJob : Logical Error : Jobgen File Name Pointer is NULL";
inline constexpr const char* kPutJobNumberNull = "qvpAPIPutJob : Logical Error : JobNo Pointer is NULL";
inline constexpr const char* kPutJobPathLength = "qvpAPIPutJob : Logical Error : Jobgen File Name Len";
inline constexpr const char* kPutJobSend = "qvpAPIPutJob : TcpSendMsg Error";
inline constexpr const char* kPutJobRecv = "qvpAPIPutJob : TcpRecvMsg Error";
inline constexpr const char* kPutJobPathSize = "qvpAPIPutJob : JobFileName_size = %d";
inline constexpr const char* kPutJobNumberSize = "qvpAPIPutJob : JobNo_size = %d";
inline constexpr const char* kPutJobScheduleSize = "qvpAPIPutJob : Schdule_size = %d";
inline constexpr const char* kPutJobSendSize = "qvpAPIPutJob : send_size = %d";
inline constexpr const char* kPutJobClass2 = "qvpAPIPutJob : JPUT 0 - 2";
inline constexpr const char* kPutJobClass4 = "qvpAPIPutJob : JPUT 0 - 4";
inline constexpr const char* kPutJobClass6 = "qvpAPIPutJob : JPUT 0 - 6";
inline constexpr const char* kPutJobClass8 = "qvpAPIPutJob : JPUT 0 - 8";
inline constexpr const char* kPutJobError = "qvpAPIPutJob : JPUT Error code = %s";

inline constexpr const char* kExecJobPathNull = "qvpAPIExecJob : Logical Error : JobNo Pointer is NULL";
inline constexpr const char* kExecJobError = "qvpAPIExecJob : JEXC Error code = %s";
inline constexpr const char* kExecJobSend = "qvpAPIExecJob : TcpSendMsg Error";
inline constexpr const char* kExecJobRecv = "qvpAPIExecJob : TcpRecvMsg Error";

inline constexpr const char* kDeleteJobPathNull = "qvpAPIDeleteJob : Logical Error : JobNo Pointer is NULL";
inline constexpr const char* kDeleteJobError = "qvpAPIDeleteJob : JDEL Error code = %s";
inline constexpr const char* kDeleteJobSend = "qvpAPIDeleteJob : TcpSendMsg Error";
inline constexpr const char* kDeleteJobRecv = "qvpAPIDeleteJob : TcpRecvMsg Error";

inline constexpr const char* kDeleteCommandError = "qvpAPIDeleteCommand : JDEL Error code = %s";
inline constexpr const char* kDeleteCommandSend = "qvpAPIDeleteCommand : TcpSendMsg Error";
inline constexpr const char* kDeleteCommandRecv = "qvpAPIDeleteCommand : TcpRecvMsg Error";

inline constexpr const char* kDeleteJobGenParameter = "qvpAPIDeleteJobGen : Logical Error : JobGen Path is NULL";
inline constexpr const char* kDeleteJobGenClear = "qvpAPIDeleteJobGen : DirectoryClearAll Error : Directory = %s, errno = %d";
inline constexpr const char* kDeleteJobGenRemove = "qvpAPIDeleteJobGen : RemoveDirectory Error : Directory = %s, errno = %d";

inline constexpr const char* kPutScriptFindAttr = "qvpAPIPutScriptFile : qvpAPIFindAttr Error : Package = %s";
inline constexpr const char* kPutScriptCopy = "qvpAPIPutScriptFile : CopyFile Error : FromFile = %s, ToFile = %s, errno = %d";

inline constexpr const char* kGetInvError = "qvpAPIGetInv : IGET Error code = %s";
inline constexpr const char* kGetInvItem = "qvpAPIGetInv : Inventory Record Error : Node = %s";

}  // namespace qvp::records::logtext
