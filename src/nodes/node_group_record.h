// What the node-group side needs of a stored definition: where its two copies lie, the name a
// nodegroupfile lists it by, the caller's record size, and whole reads of a definition.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/block.h"
#include "qvpapi.h"

namespace qvp::nodes {

class SynonymIndex;

// Copies the caller's share of a whole record out.
void CopyNodeOut(const QVPAPI& block, const QVAPI_NODE& whole, QVAPI_NODE* out);

// The name a nodegroupfile entry lists the node by: the host ID when keyed by host ID, else the
// host name under host-name keying, else the dotted address.
std::string GroupNameOf(const QVAPI_NODE& node);

// Kind of a node name (qvAPIGetNodeNameType option 0); 0 with the API error set when unknown.
uint32_t NodeNameKind(const char* name);
inline bool IsIpKind(uint32_t kind) { return kind == 0x08; }

// NODEDEF path of the node's nodeattributionfile, for a node named `name` of kind `nameKind`.
std::string AttributionPathByName(const QVAPI_NODE& node, uint32_t nameKind,
                                  std::string_view name);
// NODEDEF\C.<key> or \M.<key> (the name itself for IP-keyed names).
std::string FlatFilePath(const QVAPI_NODE& node, uint32_t nameKind, std::string_view name,
                         bool master);

// Reads the stored client or master definition named `name` whole into `out`. 0, or the API
// error code (0x20610000 when there is no such definition, 0x2000054F when its stored path
// fields are unusable). `index`: a lookup index of the caller's own call, or none.
uint32_t ReadDefinitionWhole(QVPAPI& block, const char* function, const char* name, bool master,
                             QVAPI_NODE* out, SynonymIndex* index = nullptr);

// A node-group name (qvAPINameParameterCheck kind 0).
bool CheckGroupLevelName(const char* level);

}  // namespace qvp::nodes
