// Where a definition's copies lie and the name a node group lists it by.
#include "nodes/node_group_record.h"

#include <algorithm>
#include <cstring>

#include "nodes/name_checks.h"
#include "nodes/node_group_file.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"

namespace qvp::nodes {

void CopyNodeOut(const QVPAPI& block, const QVAPI_NODE& whole, QVAPI_NODE* out) {
    std::memcpy(out, &whole, std::min(CallerNodeSize(block), sizeof(QVAPI_NODE)));
}

std::string GroupNameOf(const QVAPI_NODE& node) {
    if (node.ucHostIDFlag == 1) return std::string(Field(node.ucHostID));
    if (node.ucSystemKey == 0) return std::string(Field(node.ucNodeName));
    return DottedAddress(node.ucNodeAddress);
}

uint32_t NodeNameKind(const char* name) { return qvAPIGetNodeNameType(name, 0, 0, 0); }

std::string AttributionPathByName(const QVAPI_NODE& node, uint32_t nameKind,
                                  std::string_view name) {
    std::string path = NodeDefDir();
    const std::string_view keyPath = Field(node.ucNodeKeyPath);
    const std::string_view upper = Field(node.ucNodePath0);
    if (!IsIpKind(nameKind)) {
        // Keyed by host name or host ID: the key directories mirror the masters' keys.
        if (!PathIsTop(upper)) path.append(keyPath);
        path += '\\';
        path.append(Field(node.ucNodeKey));
    } else {
        // Keyed by address: the directory is the address itself, below the key path or, for
        // records written without one, below the upper-node path.
        const std::string_view above = !PathIsTop(keyPath) ? keyPath : PathIsTop(upper) ? "" : upper;
        path.append(above);
        if (path.empty() || path.back() != '\\') path += '\\';
        path.append(name);
    }
    path += '\\';
    path += kAttributionFileName;
    return path;
}

std::string FlatFilePath(const QVAPI_NODE& node, uint32_t nameKind, std::string_view name,
                         bool master) {
    std::string path = NodeDefDir();
    path += master ? "\\M." : "\\C.";
    if (IsIpKind(nameKind))
        path.append(name);
    else
        path.append(Field(node.ucNodeKey));
    return path;
}

uint32_t ReadDefinitionWhole(QVPAPI& block, const char* /*function: the readers log under their own names*/,
                             const char* name, bool master, QVAPI_NODE* out, SynonymIndex* index) {
    const uint32_t code = ReadKindDefinition(block, master, name, *out, index);
    if (code == QVAPI_ERR_FILE_NOT_FOUND || code == QVAPI_ERR_NO_MORE_ITEMS) return QVAPI_ERR_NOT_FOUND;
    if (code == 0 && !StoredPathFieldsUsable(*out)) return QVAPI_ERR_UNEXPECTED_DATA;
    return code;
}

bool CheckGroupLevelName(const char* level) {
    return qvAPINameParameterCheck(level, kNameNodeGroup, 0) == 1;
}

}  // namespace qvp::nodes
