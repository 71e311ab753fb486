// Checks that the create and change operations of node definitions run before they touch any
// file: the IPv4 text normaliser, the name parameters, the record items and the path lengths.
#pragma once

#include <cstdint>

#include "qvpapi.h"

namespace qvp::nodes {
// Normalises a dotted IPv4 text ("010.001.000.255" -> "10.1.0.255") into at least 16 bytes.
// Each part is 1 to 3 decimal digits with a value of 0 to 255. 1, or 0 with 0x20000057.
int qvAPIChangeIPAddress(const char* lpIPAddress, char* lpOut);
// Checks the node name (and, for a host-ID node under host-name keying, the host name) of a
// definition with the name check of `dwNameKind` (1 client, 2 master).
int qvAPINameParameterNodeDefinitionCheck(const char* lpNodeName, const char* lpHostName,
                                          const char* lpFunction, uint32_t dwNameKind);
// Checks the record against the kind of its key (a host-ID kind, 4 host name, 8 IP address)
// and fills its empty upper paths with "\".
int qvAPICheckInputItemDefinition(uint32_t wdKindOfKey, QVAPI_NODE* lpNodeData);
// Checks that each path plus the name appended to it stays within 255 characters (0x20530000).
int qvAPICheckDataNodeDefinition(const QVAPI_NODE* lpNodeData);
}  // namespace qvp::nodes
