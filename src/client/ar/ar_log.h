// CLIENT.log texts of the archive writer and the new- and old-format readers, byte for byte as the
// system has always written them (misspellings and doubled blanks included).
#pragma once

namespace ar::msg {

// ---- writer ----
inline constexpr char kNoSource[] = "GetFileAttributes:WDPATH_ERROR:ON_ArcFile %s %d";
inline constexpr char kFindFirst[] = "FindFirstFile_ERROR:ON arCreateArcFile:%s %d";
inline constexpr char kFindNext[] = "FindNextFile_ERROR:ON arCreateArcFile:%s %d";
inline constexpr char kCreateArchive[] = "CreateFile_ERROR:ON_ArcFile %s %d";
inline constexpr char kWritePlaceholder[] = "WriteFile_ERROR:ON_qvpcarCreateArcFile %d";
inline constexpr char kWriteHeaderTable[] = "LocalLock_ERROR:ON_qvpcarCreateArcFile WritSize:%d %d";
inline constexpr char kWriteEntry[] = "WriteFile_ERROR:ON_qvpcarCreateArcFile D_size: %d %d";
inline constexpr char kWriteAclHead[] = "WriteFile_ERROR:ON_ArcFile NumberOfBytes:%d %d";
inline constexpr char kWriteAclData[] = "WriteFile_ERROR[PC-ACL Inf]:ON_ArcFile :%d %d";
inline constexpr char kWriteEntryTable[] =
    "WriteFile_ERROR:ON_CreateArcFile[Associating Information Data] %d";
inline constexpr char kWriteData[] = "WriteFile_ERROR:ON arCreateArcFile:%s %d";
inline constexpr char kWriteFinalHeader[] = "WriteFile_ERROR:ON_qvpcarCreateArcFile %s %d";
inline constexpr char kReadChunk[] = "ReadFile_ERROR:ON arCreateArcFile:%s %d";
inline constexpr char kStatEntry[] = "stat_ERROR:ON arMakeMatchTable %s %d";
inline constexpr char kStatCopy[] = "_stat ERROR:ON arCreateArcFile:%s %d";
inline constexpr char kReadShort[] = "ReadFile_size_ERROR:ON arCreateArcFile:%s %d";
inline constexpr char kCloseFile[] = "CloseHandle_ERROR:ON_ArcFile %d";
inline constexpr char kCloseArchive[] = "CloseHandle_ERROR:ON_qvpcarCreateArcFile %s %d";
inline constexpr char kNoEntries[] = "NO File:ON arCreateArcFile:%s %d";
inline constexpr char kStoreDrive[] = "arMakeMatchTable[Drive]_ERROR:ON_arCreateArcFile %s";
inline constexpr char kStoreBase[] = "arMakeMatchTable[PathName]_ERROR:ON_arCreateArcFile %s";
inline constexpr char kStoreRoot[] = "arMakeMatchTable[root]_ERROR:ON_arCreateArcFile";
inline constexpr char kStoreSys[] = "arMakeMatchTable[sys]_ERROR:ON_arCreateArcFile";
inline constexpr char kStorePath[] = "MakeMatchTable[WORKPATH]_ERROR:ON_CreateArcFile %s %d";
inline constexpr char kBadWriteTime[] = "%s is invalid file.(last update time)";
inline constexpr char kBadAccessTime[] = "%s is invalid file.(last access time)";
inline constexpr char kEntryFields[] = "qvpcArGetFileAttributes_ERROR:ON_arCreateArcFile:%s %d";
inline constexpr char kChildFailed[] = "arArcFiles_ERROR:ON arCreateArcFile:%s";
inline constexpr char kWayFailed[] = "ArcFilesOne_ERROR:_CreateArcFile %s";
inline constexpr char kItemFailed[] = "arArcFiles_ERROR:ON_qvpcarCreateArcFile %s";
inline constexpr char kAddListFailed[] = " qvpcarAddList_ERROR:ON_qvpcarCreateArcFile";
inline constexpr char kNoAclFile[] = "ACL information file does not exist:%s ";
inline constexpr char kAclFileRead[] = "Error in the ACL information file reading:%s ";
// Conditions the writer refuses that have no older text.
inline constexpr char kBadKind[] = "qvpcarCreateArcFile: unknown kind %d";
inline constexpr char kTooManyNames[] = "qvpcarCreateArcFile: more than 65535 names at %s";
inline constexpr char kTooLarge[] = "qvpcarCreateArcFile: 4 GiB or more at %s";
inline constexpr char kNotRegular[] = "qvpcarCreateArcFile: not a file or folder, skipped: %s";
inline constexpr char kReplaceTarget[] = "qvpcarCreateArcFile: archive not replaced %s %d";

// ---- kind test ----
inline constexpr char kArchiveMissing[] = "qvparMain Error, %s is Nothing";
inline constexpr char kNewFormatFailed[] = "qvparCreateUnarcNewFile Error %s %d";

// ---- new-format reader ----
inline constexpr char kReaderMissing[] = "GetFileAttributes:RFilePath_ERROR:ON UnarcFile %s %d";
inline constexpr char kReaderNoMemory[] = "malloc_ERROR:ON arCreateUnarcFile %d";
inline constexpr char kInfoFailed[] = "arGetInfmation_ERROR:File = %s, %s";
inline constexpr char kLoopFailed[] = "qvpcuarLoopProsec_ERROR:ON arCreateUnarcFile";
inline constexpr char kReaderClose[] = "CloseHandle_ERROR:ON arCreateUnarcFile";
inline constexpr char kReaderDelete[] = "DeleteFile_ERROR:ON arCreateUnarcFile:File = %s, ERR = %d";
inline constexpr char kHeaderRead[] = "qvpcuarGetInfmation, ReadFile() Error=%d:%s";
inline constexpr char kResource1[] = "Resource Error 1";
inline constexpr char kResource1Msg[] = "Resource Error 1, ResGen_No[0]=%d, ResGen_No[1]=%d";
inline constexpr char kResource2[] = "Resource Error 2";
inline constexpr char kResource2Msg[] = "Resource Error 2, compKind=%d";
inline constexpr char kSkipExtra[] = "SetFilePointer_ERROR:ON arCreateUnarcFile ERR = %d";
inline constexpr char kSlotsNoMemory[] = "malloc_ERROR:ON arCreateUnarcFile";
inline constexpr char kGetMem[] = "malloc_ERROR:ON qvpcuarGetMem";
inline constexpr char kNoDrive[] =
    "GetFileAttributes:_ERROR:ON arCreateUnarcFile MAKEPATH: %s, ERR = %d";
inline constexpr char kMakeRestore[] = "CreateDirectory_ERROR:ON arCreateUnarcFile";
inline constexpr char kEntryRead[] = "ReadFile_ERROR:ON arCreateUnarcFile, ERR = %d";
inline constexpr char kAclRead[] = "ReadFile_ERROR arCreateUnarcFile, ERR: %d";
inline constexpr char kFolderQuery[] =
    "GetFileAttributesFile_Error path=%s in FarRemoveDirectry GetLastError=%d";
inline constexpr char kNotFolder[] = "Not Directory(%s) in FarRemoveDirectry";
inline constexpr char kMkdir[] = "mkdir_ERROR:File=%s, ERR=%d";
inline constexpr char kCantDeleteQuery[] = "Can't delete %s  FarRemoveDirectry";
inline constexpr char kCantDelete[] = "Can't delete %s FarRemoveDirectry";
inline constexpr char kCreateFile[] = "CreateFile_ERROR:File = %s, ERR = %ld";
inline constexpr char kReadSize[] = "ReadFile size_ERROR:ON arCreateUnarcFile:%s %d";
inline constexpr char kReadSizeLast[] = "ReadFile size_ERROR:ON qvparCreateUnarcFile:%s %d";
inline constexpr char kWriteFailed[] = "WriteFile ERROR:ON arCreateUnarcFile:%s %d";
inline constexpr char kWriteShort[] = "WriteFile size_ERROR:ON arCreateUnarcFile:%s %d";
inline constexpr char kCloseExtracted[] = "CloseHandle_ERROR:ON Unarc:File = %s, ERR = %d";
inline constexpr char kUtime[] = "_utime_ERROR:ON arCreateUnarcFile:%s";
inline constexpr char kSetAttributes[] = "SetFileAttributes_ERROR:ON :File = %s, ERR = %ld";
// Defective content that older readers did not check.
inline constexpr char kDefective[] = "qvpcuarLoopProsec: defective archive %s (%s)";

// ---- old-format reader ----
namespace old {
inline constexpr char kMissing[] = "GetFileAttributes:ERROR:ON arCreateUnarcFile %s";
inline constexpr auto& kNoMemory = kSlotsNoMemory;
inline constexpr char kInfoFailed[] = "qvpuarGetInfmation_ERROR:ON arCreateUnarcFile %s %s";
inline constexpr char kLoopFailed[] = "qvpuarLoopProsec_ERROR:ON arCreateUnarcFile";
inline constexpr auto& kCloseArchive = kReaderClose;
inline constexpr char kDelete[] = "DeleteFile_ERROR:ON arCreateUnarcFile %s";
inline constexpr char kReadTable[] = "ReadFile_ERROR:ON arCreateUnarcFile %s %s";
inline constexpr char kNoDrive[] = "GetFileAttributes:MAKEPATH_ERROR: arCreateUnarcFile %s";
inline constexpr char kMakeRestore[] = "CreateDirectory_ERROR:ON arCreateUnarcFile %s";
inline constexpr char kReadEntry[] = "ReadFile_ERROR:ON arCreateUnarcFile %s";
inline constexpr auto& kCantDeleteQuery = msg::kCantDeleteQuery;
inline constexpr auto& kCantDelete = msg::kCantDelete;
inline constexpr auto& kCreateFile = msg::kCreateFile;
inline constexpr char kReadChunk[] = "ReadFile ERROR:ON arCreateUnarcFile:%s";
inline constexpr char kReadLastChunk[] = "ReadFile ERROR:ON qvparCreateUnarcFile:%s";
inline constexpr char kWrite[] = "WriteFile ERROR:ON arCreateUnarcFile:%s";
inline constexpr auto& kCloseFile = kReaderClose;
inline constexpr char kMkdir[] = "_mkdir_ERROR:ON arCreateUnarcFile %s";
inline constexpr auto& kUtime = msg::kUtime;
inline constexpr char kAttributes[] = "SetFileAttributes_ERROR:ON arCreateUnarcFile %s";
// Damage that older readers did not look for.
inline constexpr char kDefective[] = "arCreateUnarcFile: defective archive %s (%s)";
}  // namespace old

// ---- last-message texts ----
inline constexpr char kMsgReadFile[] = "ReadFile()";
inline constexpr char kMsgMalloc[] = "malloc(), size=%d";
inline constexpr char kMsgGetAttributes[] = "GetFileAttributes(%s)";
inline constexpr char kMsgCreateDirectory[] = "CreateDirectory(%s)";
inline constexpr char kMsgCreateFile[] = "CreateFile(%s)";
inline constexpr char kMsgWriteFile[] = "WriteFile(%s)";
inline constexpr char kMsgDeleteFile[] = "DeleteFile(%s)";
inline constexpr char kMsgSetAttributes[] = "SetFileAttributes(%s)";

}  // namespace ar::msg
