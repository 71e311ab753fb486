// The Forced ID operations that only the library calls (the exported ones are in idgroups.h),
// and the deletion of the job commands of a node's ID entry.
#pragma once

#include <cstdint>

#include "core/block.h"

namespace qvp::ids {

// Deletes a node's entry of one list (1 C, 2 I, 3 M) of one ID; 0x20610000 when the ID store
// does not have it. No release follows.
int qvAPIDeleteIDEntryForced(const char* lpID, const char* lpNodeName, uint32_t dwList, uint32_t dwReserved1,
                             uint32_t dwReserved2);
// The same for list C.
int qvAPIDeleteClientIDGroupForced(const char* lpID, const char* lpClientName, uint32_t dwReserved1,
                                   uint32_t dwReserved2);
// Renames a client (list C for dwAttributes 1, I for 2) or a master in every ID.
int qvAPIUpdateClientIDGroupForced(const char* lpClientName, const char* lpNewName, uint32_t dwAttributes,
                                   uint32_t dwReserved1, uint32_t dwReserved2);
int qvAPIUpdateMasterIDGroupForced(const char* lpMasterName, const char* lpNewName, uint32_t dwReserved1,
                                   uint32_t dwReserved2);

// "JDEL 2 f1 <list> a<len> <node>": the manager deletes the job commands of the node's entry of
// that list. 1 when accepted; 0 with the reply recorded as job-access error information (a node
// name over 64 characters is a parameter failure, nothing sent).
int qvpAPIDeleteIDCommandbyIDentry(QVPAPI* block, const char* lpNodeName, char list);

}  // namespace qvp::ids
