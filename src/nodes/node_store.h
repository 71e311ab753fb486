// The definition store: NODEDEF with its flat C.<key> / M.<key> files and the key directories
// holding each node's nodeattributionfile. Every internal reader here yields the whole
// 1652-byte record; only the exported readers cut it to a caller's API level, at the very end
// (a record cut first and written back would lose its host ID, MAC address and creation time).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/block.h"
#include "core/handles.h"
#include "platform/win.h"
#include "qvpapi.h"

namespace qvp::nodes {

class SynonymIndex;

// Visible to the files that take the whole namespace in.
using qvp::FileHandle;
using qvp::FindWalk;

// <PathName>\SERVER\ZARNQV\MNGFL\NODEDEF
std::string NodeDefDir();
// <PathName>\SERVER\ZARNQV\MNGFL\NODEGROUP
std::string NodeGroupDir();

// Opens a definition file for reading and writing without sharing (as every writer does, so
// a file in use fails at once) and reads the whole record. A file shorter than the record is
// a read failure. false with `error` = the Windows error and `readFailed` telling which step;
// `handleValue`, when given, receives the value of the handle the read went through.
bool ReadRecordFile(const std::string& path, QVAPI_NODE& record, win::DWORD& error,
                    bool& readFailed, uintptr_t* handleValue = nullptr);
// "%s : ReadFile Error : Handle = 0x%8.8x, Buff = 0x%8.8x, Size = 0x%8.8x, errno = %d" for a
// failed read of a whole record.
void LogReadError(const char* function, uintptr_t handleValue, const void* buffer,
                  win::DWORD error);

// Whether the stored fields that paths are built from (ucNodeKey, ucNodeKeyPath, ucNodePath0)
// hold only names a caller could have given, level by level: a damaged or forged definition
// must not lead a path out of NODEDEF. Checked before a path is built from them.
bool StoredPathFieldsUsable(const QVAPI_NODE& node);

// The nodeattributionfile of a node from its stored record: NODEDEF + ucNodeKeyPath + "\" +
// key + "\nodeattributionfile", the key being the dotted address for an IP-keyed node.
std::string AttributionFilePath(const QVAPI_NODE& record);
// The directory that holds it.
std::string NodeKeyDirectory(const QVAPI_NODE& record);

// Group-membership flag from the size of an attribution file: 1 when it holds a back-link.
// 0, or 0x20560000 (file in use) / 0x20100000.
uint32_t ReadGroupFlag(const std::string& attributionPath, uint32_t& flag);

// Whole-record readers by host name, IP address or host ID (the exported readers' work). The
// record is cleared first; on failure it holds what was read so far. 0, or the API code.
// Their log lines name the exported reader whose work they do (qvAPIGetClientDefinitionByName
// ...) and the key lookup by its own name (qvAPIGetVirtualNodeDefinitionByName), as when a
// caller calls the exported reader; `caller` is not logged.
uint32_t ReadClientDefinition(QVPAPI& block, const char* caller, std::string_view name,
                              QVAPI_NODE& record);
uint32_t ReadMasterDefinition(QVPAPI& block, const char* caller, std::string_view name,
                              QVAPI_NODE& record);
// Either of the two, host names and host IDs looked up through `index` when given (the same
// answers, each hash's files read once a call).
uint32_t ReadKindDefinition(QVPAPI& block, bool master, std::string_view name, QVAPI_NODE& record,
                            SynonymIndex* index);
// Either kind (a master preferred); IP-keyed names stored as both kinds give only the name
// and uiNodeAttributes 3.
uint32_t ReadNodeDefinition(QVPAPI& block, const char* caller, std::string_view name,
                            QVAPI_NODE& record);

// The node-definition size of the caller's API level (slot 0 of the record sizes), never more
// than the whole record.
size_t CallerNodeSize(const QVPAPI& block);

}  // namespace qvp::nodes
