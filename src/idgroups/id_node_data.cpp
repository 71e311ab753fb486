// The node-data records of the ID finders and the pieces every finder shares.
#include <cctype>
#include <cstring>

#include "core/errors.h"
#include "platform/byte_order.h"
#include "core/log.h"
#include "core/text.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"
#include "nodes/name_checks.h"
#include "nodes/node_group_record.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"

namespace qvp::ids {

namespace {

constexpr char kPathNotTop[] = "%s : lpNodeGroupPath is NG(\\)";
constexpr char kPathOther[] = "%s : lpNodeGroupPath is NG(%s)";
constexpr char kNetworkId[] = "networkid";
constexpr char kIdFolderPrefix[] = "I.";
constexpr char kDecodeError[] = "%s : qvpStuDeCode Error ";
constexpr char kClientDefError[] = "%s : qvAPIGetClientDefinition error";
constexpr char kMasterDefError[] = "%s : qvAPIGetMasterDefinition error";
constexpr char kSkipClient[] = "%s : IDClient SystemDefinition not found. Skip HostID [%s]";
constexpr char kSkipSite[] = "%s : IDManageSite SystemDefinition not found. Skip HostID [%s]";

constexpr size_t kIpTextMax = 15;
constexpr size_t kMacCopied = 12;
constexpr size_t kEncodedPasswordOffset = 112;
constexpr size_t kEncodedPasswordSize = 32;
constexpr size_t kEntryNameOffset = 48;
constexpr size_t kEntrySiteOffset = 144;
constexpr size_t kEntryNameSize = 64;
constexpr uint8_t kHiddenAttribute = 0x80;
constexpr uint8_t kGeneration4Mark = 0x01;
constexpr uint8_t kGeneration4 = 4;


std::string EntryText(const uint8_t* entry, size_t offset) {
    const char* field = reinterpret_cast<const char*>(entry + offset);
    return std::string(field, strnlen(field, kEntryNameSize));
}

bool IsHostIdName(const std::string& name) { return nodes::IsHostIdKind(nodes::NodeNameKind(name.c_str())); }

// Host name or address of a member by the session's key: a stored definition (host ID) gives
// its own, a plain name goes as it is, converted to octets under IP keying when it is IPv4 text.
void PutMemberName(const QVPAPI& block, const QVAPI_NODE* definition, const std::string& name, bool both,
                   IdNodeData& out) {
    if (definition != nullptr) {
        if (block.systemManagementKey == 0 || both) nodes::CopyField(out.name, nodes::Field(definition->ucNodeName));
        if (block.systemManagementKey != 0 || both) std::memcpy(out.address, definition->ucNodeAddress, 4);
        return;
    }
    if (block.systemManagementKey == 0 || !qvpAPIIPAddrStrToHex(name.c_str(), out.address))
        nodes::CopyField(out.name, name);
}

}  // namespace

bool IsNetworkId(std::string_view name, bool anyCase) {
    constexpr std::string_view kExact = "networkID";
    if (!anyCase) return name == kExact;
    if (name.size() != kExact.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(kExact[i])))
            return false;
    return true;
}

bool ResolvePlace(CallContext& call, const char* path, IdPlace& place) {
    place.folder = nodes::NodeGroupDir();
    if (path == nullptr || path[0] == '\0' || std::strcmp(path, "\\") == 0) {
        place.groupText = "\\";
        return true;
    }
    if (path[0] != '\\') {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kPathNotTop, call.function());
    }
    if (!IsNetworkId(path + 1, true)) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kPathOther, call.function(), kNetworkId);
    }
    // The folder keeps the caller's spelling of the group.
    place.folder += "\\";
    place.folder += kIdFolderPrefix;
    place.folder += path + 1;
    place.groupText = path;
    return true;
}

std::string MemberPath(std::string_view groupText, std::string_view id) {
    std::string path(groupText == "\\" ? "" : groupText);
    path += '\\';
    path += id;
    return path;
}

bool CheckNodeName(CallContext& call, const char* name, uint32_t rule, bool check) {
    const uint32_t kind = name == nullptr ? 0 : nodes::NodeNameKind(name);
    if (kind == 0) {
        call.Log(msg::kKindError, call.function());
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return false;
    }
    if (check && !nodes::qvAPINameParameterCheck(name, nodes::IsHostIdKind(kind) ? kNameHostId : rule)) {
        call.Log(msg::kRuleError, call.function());
        call.Fail(qvAPIGetLastError());
        return false;
    }
    return true;
}

bool NeedRecord(CallContext& call, const QVAPI_NODE* record) {
    if (record != nullptr) return true;
    call.Log(msg::kNoRecord, call.function());
    call.Fail(QVAPI_ERR_INVALID_PARAMETER);
    return false;
}

void CopyOut(const QVPAPI& block, const IdNodeData& whole, QVAPI_NODE* out) {
    QVAPI_NODE node;
    std::memcpy(&node, &whole, sizeof node);
    nodes::CopyNodeOut(block, node, out);
}

bool ReleaseLetter(CallContext& call, char letter, const char* text) {
    if (qvpAPIIDCommand(&call.block(), kIdRelease, letter, kKeyExact, nullptr, nullptr, nullptr)) return true;
    return call.Failed(IdFailureCode(call.block()), text, call.function());
}

uint32_t FillGroup(CallContext& call, std::string_view name, std::string_view groupText, const uint8_t* record,
                   IdNodeData& out) {
    std::memset(&out, 0, sizeof out);
    nodes::CopyField(out.name, name);
    nodes::CopyField(out.path, groupText);
    out.type = kTypeId;
    if (record == nullptr) return 0;
    const uint8_t attributes = record[offsetof(QVAPI_IDGROUP, ucAttributes)];
    out.attribute = static_cast<uint8_t>(attributes & ~kHiddenAttribute);
    char encoded[kEncodedPasswordSize + 1] = {};
    std::memcpy(encoded, record + kEncodedPasswordOffset, kEncodedPasswordSize);
    if (encoded[0] != '\0') {
        char plain[kQvpBufferSize] = {};
        if (qvpStuDeCode(encoded, plain) != 1) {
            call.Log(kDecodeError, call.function());
            return QVAPI_ERR_RESOURCE;
        }
        std::memcpy(out.site, plain, strnlen(plain, kPasswordLength));
    }
    reinterpret_cast<uint8_t*>(&out)[kGenerationOffset] =
        (attributes & kGeneration4Mark) != 0 ? kGeneration4 : record[offsetof(QVAPI_IDGROUP, ucGeneration)];
    return 0;
}

bool BuildMember(CallContext& call, const uint8_t* entry, bool client, bool walk, std::string_view memberPath,
                 IdNodeData& out, uint32_t& code, uint32_t& soft) {
    QVPAPI& block = call.block();
    std::memset(&out, 0, sizeof out);
    code = 0;
    soft = 0;
    out.type = client ? QVAPI_NODE_CLIENT : QVAPI_NODE_MASTER;
    nodes::CopyField(out.path, memberPath);
    out.attribute = entry[offsetof(QVAPI_IDENTRY, ucAttributes)];
    out.systemKey = block.systemManagementKey;
    if (client) out.entryAttributes = le32(entry + offsetof(QVAPI_IDENTRY, dwAttributes));

    const std::string name = EntryText(entry, kEntryNameOffset);
    const bool hostId = IsHostIdName(name);
    QVAPI_NODE definition;
    uint32_t found = QVAPI_ERR_NOT_FOUND;
    if (client) found = nodes::ReadClientDefinition(block, call.function(), name, definition);
    else if (hostId) found = nodes::ReadMasterDefinition(block, call.function(), name, definition);
    if (hostId) {
        if (found != 0) {
            call.Log(client ? kClientDefError : kMasterDefError, call.function());
            if (walk) call.Log(client ? kSkipClient : kSkipSite, call.function(), name.c_str());
            code = found;
            return false;
        }
        PutMemberName(block, &definition, name, client && walk, out);
        nodes::CopyField(out.hostId, name);
        out.namedByHostId = 1;
    } else {
        PutMemberName(block, nullptr, name, false, out);
        if (client && found != 0) {
            call.Log(kClientDefError, call.function());
            soft = found;
        }
    }
    if (!client) return true;
    if (found == 0) std::memcpy(out.mac, definition.ucMACAddress, kMacCopied);

    const std::string site = EntryText(entry, kEntrySiteOffset);
    if (site.empty() || !IsHostIdName(site)) {
        nodes::CopyField(out.site, site);
        return true;
    }
    QVAPI_NODE master;
    const uint32_t siteFound = nodes::ReadMasterDefinition(block, call.function(), site, master);
    if (siteFound != 0) {
        call.Log(kMasterDefError, call.function());
        if (walk) call.Log(kSkipSite, call.function(), site.c_str());
        code = siteFound;
        return false;
    }
    if (block.systemManagementKey == 0) {
        nodes::CopyField(out.site, nodes::Field(master.ucNodeName));
    } else {
        char dotted[16];
        qvpAPIIPAddrHexToStr(master.ucNodeAddress, dotted);
        nodes::CopyField(out.site, dotted);
    }
    nodes::CopyField(out.siteHostId, site);
    return true;
}

int qvpAPIIPAddrStrToHex(const char* text, uint8_t* octets) {
    if (text == nullptr || octets == nullptr) return 0;
    // Longer texts are no dotted address; inet_addr alone would take some of them.
    const size_t length = strnlen(text, kIpTextMax + 1);
    if (length > kIpTextMax || win::inet_addr(text) == 0xFFFFFFFFu) return 0;
    uint8_t parts[4] = {};
    size_t part = 0, digits = 0;
    unsigned value = 0;
    for (size_t i = 0; i <= length; ++i) {
        const char c = text[i];
        if (c == '.' || c == '\0') {
            // Each part a plain decimal of one octet: "10.300" or "0x0a" would be cut or misread.
            if (digits == 0 || value > 255 || part == 4) return 0;
            parts[part++] = static_cast<uint8_t>(value);
            value = 0;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(c - '0');
            ++digits;
        } else {
            return 0;
        }
    }
    std::memcpy(octets, parts, sizeof parts);
    return 1;
}

int qvpAPIIPAddrHexToStr(const uint8_t* octets, char* text) {
    if (octets == nullptr || text == nullptr) return 0;
    const uint8_t(&address)[4] = *reinterpret_cast<const uint8_t(*)[4]>(octets);
    const std::string dotted = nodes::DottedAddress(address);
    std::memcpy(text, dotted.c_str(), dotted.size() + 1);
    return 1;
}

}  // namespace qvp::ids
