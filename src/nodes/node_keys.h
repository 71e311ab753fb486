// Node file keys: the name hash with its synonym slots, the choice of a free key, the lookup of
// a stored definition by host name or host ID, and the counters of stored definitions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/block.h"
#include "platform/win.h"
#include "qvpapi.h"

// Appends the hashed form of a '\'-separated name to `destination` (260 bytes, cleared by the
// caller); what does not fit is cut.
void qvpMakeNodeHashPath(const char* source, char* destination);
namespace qvp::nodes {
// A free key (hash, or hash + "S<n>") for a new node into a 64-byte buffer. fdwOptions 1 or 2.
int qvAPILayoutVirtualNodeDefinitionByName(const char* lpNodeName, char* lpNodeKey,
                                           uint32_t fdwOptions, uint32_t dwReserved);
// The stored definition of a host name or host ID, whole (1652 bytes). fdwOptions 1 clients,
// 2 masters, 3 either. 0x20610000 when none matches.
int qvAPIGetVirtualNodeDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                        uint32_t fdwOptions);
}  // namespace qvp::nodes
// Continues a walk over NODEDEF\* whose first entry the caller counted: adds the further
// files that are neither directories nor attribution files. 0 on a walk error (0x20100000).
int qvpAPINodeCount(QVPAPI* block, win::HANDLE hFind, uint32_t dwReserved, int nCount);

namespace qvp::nodes {

constexpr int kMaxSynonymSlot = 256;

// The whole hashed form of a name, uncut.
std::string NodeHashPath(std::string_view source);
// The hash of the name's last '\'-separated component (empty when that component is empty).
std::string LastHashComponent(std::string_view name);
// The name's last '\'-separated component as given.
std::string_view LastNameComponent(std::string_view name);
// Synonym slot of a definition file name "?.<hash>[S<n>]", or -1 when it belongs to another
// hash or carries a suffix that is no slot number (0-256, digits only).
int SynonymSlot(std::string_view fileName, std::string_view hash);

struct SynonymFile {
    std::string fileName;
    int slot;
};
// The definition files of one hash in walk order; `kindLetter` 'C', 'M' or '?'. 0, or the
// API code (0x20610000 when nothing matches at all, 0x20100000 for a walk failure, whose
// Windows error is left in `walkError`).
uint32_t ListSynonyms(const std::string& nodeDefDir, char kindLetter, std::string_view hash,
                      std::vector<SynonymFile>& files, win::DWORD& walkError, bool& firstFailed);

// A free key (hash, or hash + "S<n>") for `name` among the definition files of `dir`, which
// may be a work copy of NODEDEF. 0, or the API code (0x20000057 when slot 256 is taken).
uint32_t LayOutKeyIn(const char* function, const std::string& dir, const char* name,
                     std::string& key);

// The name the lookup's log lines begin with, whoever asks for it.
inline constexpr const char kLookupName[] = "qvAPIGetVirtualNodeDefinitionByName";

// Lookup of a host name or host ID among the definitions of one kind (1, 2 or 3): the whole
// record, or the API code with the record cleared (a failure of an open or a read: 0x20560000
// for a file held elsewhere, else 0x20100000).
uint32_t LookupDefinition(std::string_view name, uint32_t fdwOptions, QVAPI_NODE& record);

}  // namespace qvp::nodes
