// The package-job record made from one execution record of the manager, and the node names a
// record carries. Every item of a record is read inside the record's own length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/block.h"
#include "qvpapi.h"

namespace qvp::jobs {

// The length of the execution record the last record request delivered into the session's
// current record: what the reply's item carried (the record keeps no length of its own), bounded
// by the largest record. Every reader of such a record reads no byte past it.
size_t DeliveredLength(const QVPAPI& block);

// The readers below take a record of `recordSize` bytes as delivered and read nothing past it.

// Host name and host-ID name of a record's node, each copied terminated into its buffer: the
// name field at 16, then every item of type 17 or 19 (later ones win). A name is marked (a host
// ID) when it begins with "#" or holds "\#", "!#" or ".#". 1 when a marked name was found, 0
// when none was, -1 when a name does not fit its buffer or the record is shorter than its fixed
// part.
int gaiGetNodeName(const unsigned char* record, size_t recordSize, size_t plainSize, char* plain, size_t markedSize,
                   char* marked);

// The package-job record (1204 bytes) of an execution record lying in `recordSize` bytes,
// before it is copied out: the name in path form at 16, or (64 characters or more, or a
// long-name item) in `longName` with 16 left 0; the display name at 944; records of kind "G" or
// "S" reshaped. The fields at 488 and 492 are left to the caller. 0, or 0x20000103 when the
// node's name cannot be classified or named.
uint32_t BuildPackageJob(const unsigned char* record, size_t recordSize, unsigned char* out, std::string& longName);

// The COLLECTPATH file name of a "G" or "S" record: its text at 544 with the first character
// "P". Empty when the text is empty or is no single path part.
std::string CollectFileName(const unsigned char* record);

// A buffer whose address fits 32 bits, for a record's long node name; freed with
// FreeLowBuffer. NULL when none can be had.
char* AllocLowBuffer(std::string_view text);
void FreeLowBuffer(void* buffer);

}  // namespace qvp::jobs
