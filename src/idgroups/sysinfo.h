// The requests behind the system-information functions: the entry-by-entry reading of a node's
// inventory ("IGET" F, N, E and the filtered form), its deletion ("IDEL") and rename ("IUPD"),
// or, in a session without a socket, the same on the inventory files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/block.h"
#include "qvpapi.h"

namespace qvp::ids {

constexpr size_t kSysInfNodeMax = 64;

// Which request a reply answers: its codes differ.
enum class SysInfStep { First, FirstNext, Next, Close };
// 0 for an accepted reply, else the API code it gives.
uint32_t SysInfReplyCode(const char* reply, size_t received, SysInfStep step);

// Converts the entry that an accepted reply carries, in place, to host order. The entry, with
// `length` the item's length (4 + its data at least), or nullptr when the reply has no item or
// the entry runs past it.
uint8_t* ConvertSysInfEntry(char* reply, size_t received, size_t* length);

// Copies an entry into a record slot: at most its 204 bytes, bounded by `length`, the rest zero.
void CopySysInfEntry(QVAPI_SYSINFO_ENTRY& slot, const uint8_t* entry, size_t length);

// The first entry of the node (type 0: the walk's first, else the entry of that type and
// subtype); the node becomes the enumeration's. nullptr with the API code set.
uint8_t* qvpAPIGetFirstSysInf(QVPAPI* block, const char* node, uint8_t type, uint8_t subtype, size_t* length);
uint8_t* qvpAPIGetNextSysInf(QVPAPI* block, size_t* length);
int qvpAPIGetCloseSysInf(QVPAPI* block);
// 1, or 0 with 0x20610000 (none stored) or 0x20100000.
int qvpAPIDeleteSysInf(QVPAPI* block, const char* node);
int qvpAPIChangeNameSysInf(QVPAPI* block, const char* oldNode, const char* newNode);

}  // namespace qvp::ids
