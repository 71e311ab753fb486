// Manager record access: cursors over cabinets (M), package attributes (A), executions (E) and
// installed-package status (S); record updates; job requests; inventory. Records returned by
// pointer lie in the session's current-record area and stay valid until its next request.
// Failures record error information in the block and leave its mapped code as last error.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/block.h"
#include "qvpapi.h"
#include "records/reply.h"

// ---- cabinets (kind M)
int qvpAPIAddManaGroup(QVPAPI* block, const char* key, const char* name);
int qvpAPIUpdateManaGroup(QVPAPI* block, const char* key, const char* name);
int qvpAPIDelManaGroup(QVPAPI* block, const char* key);
int qvpAPIGetHeadManaPos(QVPAPI* block, const char* prefix);
QVAPI_CABINET* qvpAPIGetNextMana(QVPAPI* block);
QVAPI_CABINET* qvpAPIFindMana(QVPAPI* block, const char* key);
int qvpAPIDeleteHanger(QVPAPI* block);
// Releases the cursor of kind 'M', 'A', 'E' or 'S'; 1.
int qvpAPIFrls(QVPAPI* block, char kind);

// ---- package attributes (kind A); numeric fields stay in network order
int qvpAPIGetHeadAttrPos(QVPAPI* block, const char* prefix);
QVAPI_PACKAGE* qvpAPIGetNextAttr(QVPAPI* block);
QVAPI_PACKAGE* qvpAPIFindAttr(QVPAPI* block, const char* dottedName);
QVAPI_PACKAGE* qvpAPIFindHeadAttr(QVPAPI* block, const char* prefix);
int qvpAPIDeleteSoftware(QVPAPI* block, const char* dottedName);

// ---- installed-package status (kind S); node names escaped ('.' as '!')
int qvpAPISetStsNodeQuery(QVPAPI* block, const char* escapedNode);
void qvpAPIDeleteStsNodeQuery(QVPAPI* block);
int qvpAPIGetHeadStsPos(QVPAPI* block, const char* escapedNode);
QVAPI_INSPACKAGE* qvpAPIGetNextSts(QVPAPI* block);
// NULL parts and QvCode 0 match anything. Nothing matched: 0 with 0x20610000.
int qvpAPIDeleteSts(QVPAPI* block, const char* escapedNode, char qvCode, const char* packageId,
                    const char* version, const char* generation);
// The node's first record as the item of the reply buffer; 0 with 0x20610000 when it has none.
int qvpAPIGetFileFirstSts(QVPAPI* block, const char* escapedNode);
// The next record of a rename walk into the reply buffer (the caller classifies the reply).
int qvpAPIGetFileNextSts(QVPAPI* block, const char* oldNode, const char* newNode);
// Stores the record (node name already replaced) under the new name, then removes it under the
// old one, and fetches the walk's next record into the FGET reply buffer. Its length is its u16
// at 0; lying in one of the block's reply buffers it may claim no more than that reply brought.
int qvpAPIUpdateSts(QVPAPI* block, const char* oldNode, const char* newNode,
                    const QVAPI_INSPACKAGE* record);

// ---- executions (kind E)
// Key: the dotted node name and the 16-character job number; a name ending ".*" reaches the
// entry and every record of that number below it. The first record is returned and stays
// pending: the next qvpAPIGetNextCommand returns it again.
QVAPI_EXECUTION* qvpAPIFindCommand(QVPAPI* block, const char* jobNumber, const char* dottedNode);
QVAPI_EXECUTION* qvpAPIGetNextCommand(QVPAPI* block);
int qvpAPIFrlsCommandLocal(QVPAPI* block);

// ---- job requests
// 1 accepted, 0 refused with class 2, -1 any other failure. The job number is taken from a fifth
// reply word of at least 16 characters.
int qvpAPIPutJob(QVPAPI* block, const char* jobGenPath, char* jobNumber, const void* schedule);
int qvpAPIExecJob(QVPAPI* block, const char* jobPath);
int qvpAPIDeleteJob(QVPAPI* block, const char* jobPath, int siteFlag, uint32_t option);
int qvpAPIDeleteCommand(QVPAPI* block, const char* jobPath, const char* nodeName,
                        const char* commandNumber);

// ---- inventory: the node's record inside the reply buffer, in host order; NULL on failure.
void* qvpAPIGetInv(QVPAPI* block, const char* nodeName);
// Converts an inventory record of `length` bytes to host order in place; false (the record
// partly converted) when its entries run past those bytes.
bool qvpInventoryToHost(unsigned char* record, size_t length);

// ---- script files and JobGen directories
int qvpAPIPutScriptFile(QVPAPI* block, const char* jobName, const char* dottedName,
                        const char* scriptPath);
int qvpAPIDeleteJobGen(QVPAPI* block, const char* jobGenPath);
