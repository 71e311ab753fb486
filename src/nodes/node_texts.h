// Log texts of the node names, keys, checks and readers, spelled as the logs have always shown
// them (misspellings included). "%s" at the head is the operation's own name.
#pragma once

namespace qvp::nodes::text {

// Frame lines of the internal steps.
inline constexpr const char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
inline constexpr const char kLogicalErr[] = "%s : Logical Err : ErrorCode = 0x%8.8x";
// "%s END : SystemManagementKey = %c Code = 0x%8.8x" with the character written.
inline constexpr const char kSystemKeyEndIp[] = "%s END : SystemManagementKey = 1 Code = 0x%8.8x";
inline constexpr const char kSystemKeyEndName[] = "%s END : SystemManagementKey = 0 Code = 0x%8.8x";

// A definition file of a rewrite that cannot be opened, created or deleted.
inline constexpr const char kRewriteFile[] = "%s : CreateFile Error : File = %s, errno = 0x%x";

// A stored definition whose key fields cannot become path components (the node's name given).
inline constexpr const char kStoredPathInvalid[] = "%s : NodeKey or NodeKeyPath is INVALID : Node = %s";

// Node-name kind.
inline constexpr const char kNoHostIdKind[] = "%s : Parameter Err : not found kind of Host ID";
inline constexpr const char kBadSystemKey[] = "%s : Parameter Err : wpData Value is m_ucSystemKey";
inline constexpr const char kBadRtnOption[] = "%s : Parameter Err : Not Found dwRtnOption = %d";

// Name check by kind.
inline constexpr const char kNameCheckFunction[] = "qvAPINameParameterCheck";
inline constexpr const char kNcNameNull[] =
    "%s : Parameter Error : Name Address is NULL";
inline constexpr const char kNcNameEmpty[] =
    "%s : Parameter Error : Top of Name Value is NULL";
inline constexpr const char kNcTooLong[] =
    "%s : Parameter Error : Name Size is too Long";
inline constexpr const char kNcIpText[] = "%s : qvAPINameParameterCheckEx %s : ErrorCode = 0x%8.8x";
inline constexpr const char kNcBadOption[] =
    "%s : Parameter Error : Option Value is INVALID";
inline constexpr const char kNcBadNodeName[] =
    "%s : Parameter Error : Node Name %s is INVALID";
inline constexpr const char kNcBadChar[] =
    "%s : Parameter Error : Parameter Name is INVALID";

// Extended name check.
inline constexpr const char kExBadOption[] = "%s START :%s: fdwNameOptions err = %d";
inline constexpr const char kExStart[] = "%s START :%s: fdwNameOptions = %d";
inline constexpr const char kExNull[] = "%s :%s: Name Address is NULL";
inline constexpr const char kExEmpty[] = "%s :%s: Top of Name Value is NULL";
inline constexpr const char kExTooLong[] = "%s :%s: Name Size is too Long";
inline constexpr const char kExNotAlnum[] = "%s :%s: Parameter Name is INVALID : name != A-Z,a-z,0-9";
inline constexpr const char kExInvalid[] = "%s :%s: Parameter Name is INVALID : name = %s";
inline constexpr const char kExNotDotted[] = "%s :%s: Parameter Name is INVALID : name != Dot(.) notation";
inline constexpr const char kNetworkId[] = "networkID";
inline constexpr const char kForbiddenSet[] = "\\/*\":'!|.><?% ";

// Host-ID name check.
inline constexpr const char kHidNull[] = "%s : %s :Parameter Error : Name Address is NULL";
inline constexpr const char kHidEmpty[] = "%s : %s :Parameter Error : Top of Name Value is NULL";
inline constexpr const char kHidTooLong[] = "%s : %s :Parameter Error : Name Size is too Long";
inline constexpr const char kHidTop[] = "%s : %s : Parameter Error : Top of Name Value = %c";
inline constexpr const char kHidUnmatch[] = "%s : %s : Parameter Error : Unmatch HostID Type = '%c'";
inline constexpr const char kHidSecond[] = "%s : %s : Parameter Error : 2nd of Name Value = %c";
inline constexpr const char kHidChar[] = "%s : %s : Parameter Error : lpHostIDName[%u] = %c";

// Keys and the definition tree.
inline constexpr const char kBadNodeName[] = "%s : Parameter Err : lpNodeName Value is INVALID";
inline constexpr const char kBadFindOptions[] = "%s : Parameter Err : fdwOptions Value is INVALID";
inline constexpr const char kFindFirst[] = "%s : FindFirstFile %s : ErrorCode = %d";
inline constexpr const char kFindNext[] = "%s : FindNextFile Err %d";
inline constexpr const char kSynonymOver[] = "%s : SynonymOver nodename=%s";
inline constexpr const char kKindNotFound[] = "%s : qvAPIGetNodeNameType : Not found key type = %s";
inline constexpr const char kLookupOpenFirst[] = "%s : CreateFile(%s) Err=%d";
inline constexpr const char kLookupOpenLater[] = "%s : CreateFile(%s) Err";
inline constexpr const char kReadError[] =
    "%s : ReadFile Error : Handle = 0x%8.8x, Buff = 0x%8.8x, Size = 0x%8.8x, errno = %d";
inline constexpr const char kCountFunction[] = "qvAPICountNodeDefinition";
inline constexpr const char kCountFindFirst[] = "%s : FindFirstFile Error errno = %d";
inline constexpr const char kCountFindNext[] = "%s : FindNextFile Error errno = %d";
inline constexpr const char kNodeCountFindNext[] = "%s : FindNextFile Error : ErrorCode = %d";

// Record checks.
inline constexpr const char kIpSizeOver[] = "%s : Parameter Err %s : IPAddress is INVALID : Size Over";
inline constexpr const char kIpLastDot[] = "%s : Parameter Err %s : IPAddress is INVALID : Last Char is '.'";
inline constexpr const char kIpInvalid[] = "%s : Parameter Err %s : IPAddress is INVALID";
inline constexpr const char kIp255Over[] = "%s : Parameter Err %s : IPAddress is INVALID : 255 over";
inline constexpr const char kNameCheckFailed[] = "%s : %s : qvAPINameParameterCheck %s : ErrorCode = 0x%8.8x";
inline constexpr const char kItemHostIdFlag[] =
    "%s : lpNodeData Value is INVALID : node_normal.ucHostIDFlag = 0x%x";
inline constexpr const char kItemHostIdNull[] = "%s : lpNodeData Value is INVALID : node_normal.ucHostID is NULL";
inline constexpr const char kItemNodeNameNull[] = "%s : lpNodeData Value is INVALID : ucNodeName is NULL";
inline constexpr const char kItemSystemKey[] = "%s : lpNodeData Value is INVALID : ucSystemKey is %d";
inline constexpr const char kItemAddressNull[] = "%s : lpNodeData Value is INVALID : ucNodeAddress is NULL";
inline constexpr const char kItemIpFlag[] = "%s : lpNodeData Value is INVALID : uiIPAddrFlag is %u";
inline constexpr const char kItemKindOfKey[] = "%s : wdKindOfKey Value is INVALID : wdKindOfKey = %d";
inline constexpr const char kPathSizeOver[] = "%s : Parameter Error : Path Size overed HOSTID_LEN size=%u";

// Readers. The attribution texts carry the first finder's name as its texts have always
// spelt it.
inline constexpr const char kFindFirstAsLogged[] = "qvAPIFindFirstNodeDefiniton";
inline constexpr const char kAttrCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
inline constexpr const char kAttrFileSize[] = "%s : GetFileSize %s : ErrorCode = %d";
inline constexpr const char kStatError[] = "%s : _stat Error : File = %s, errno = %d";
inline constexpr const char kCreateFileError[] = "%s : CreateFile Error : File = %s, errno = %d";
inline constexpr const char kNoNode[] = "%s : NodeName No Exist : NodeName = %s";
inline constexpr const char kNameHasSeparator[] = "%s : Parameter Err : lpNodeName Value is INVALID : %s";

}  // namespace qvp::nodes::text
