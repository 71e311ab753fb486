// What the ID finders share: the node-group places of IDs, the node-data record they fill, the
// IPv4 conversions, and the release of an ID-store position on the way out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/frame.h"
#include "qvpapi.h"

namespace qvp::ids {

// The caller's QVAPI_NODE as the finders fill it; all other bytes zero.
struct IdNodeData {
    char name[64];             //    0 ID name or host name
    uint32_t type;             //   64 4 ID, 1 client, 2 master
    uint8_t address[4];        //   68 IPv4 octets of a member
    uint8_t reserved72[92];
    char path[260];            //  164 group path text or member path text
    uint8_t attribute;         //  424 attribute byte (an ID's without 0x80)
    uint8_t reserved425[3];
    char site[64];             //  428 client: manage site; ID: password (14) and generation (442)
    uint32_t entryAttributes;  //  492 client: 1 list C, 2 list I
    uint8_t systemKey;         //  496 the session's system management key
    uint8_t reserved497[463];
    char hostId[32];           //  960 a member named by host ID
    char siteHostId[32];       //  992 a manage site named by host ID
    uint8_t namedByHostId;     // 1024
    uint8_t reserved1025[355];
    char mac[12];              // 1380 from the client's definition
    uint8_t reserved1392[260];
};
constexpr size_t kPasswordLength = 14;
constexpr size_t kGenerationOffset = 442;
static_assert(sizeof(IdNodeData) == sizeof(QVAPI_NODE));
static_assert(offsetof(IdNodeData, type) == 64);
static_assert(offsetof(IdNodeData, address) == 68);
static_assert(offsetof(IdNodeData, path) == 164);
static_assert(offsetof(IdNodeData, attribute) == 424);
static_assert(offsetof(IdNodeData, site) == 428);
static_assert(offsetof(IdNodeData, site) + kPasswordLength == kGenerationOffset);
static_assert(offsetof(IdNodeData, entryAttributes) == 492);
static_assert(offsetof(IdNodeData, systemKey) == 496);
static_assert(offsetof(IdNodeData, hostId) == 960);
static_assert(offsetof(IdNodeData, siteHostId) == 992);
static_assert(offsetof(IdNodeData, namedByHostId) == 1024);
static_assert(offsetof(IdNodeData, mac) == 1380);

constexpr uint32_t kTypeId = 4;

// Log texts shared by the finders.
namespace msg {
inline constexpr char kCommandError[] = "%s : qvpAPIIDCommand error";
inline constexpr char kReleaseError[] = "%s : qvpAPIIDCommand error : RLS";
inline constexpr char kNoRecord[] = "%s : lpFindNodeData Pointer is NULL";
inline constexpr char kNoName[] = "%s : lpName Pointer is NULL";
inline constexpr char kFindGroupError[] = "%s : qvAPIFindIDGroup error";
inline constexpr char kKindError[] = "%s : qvAPIGetNodeNameType error";
inline constexpr char kRuleError[] = "%s : qvAPINameParameterCheck error";
inline constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
}  // namespace msg

// Frame texts of the finders: no START line unless the function writes its own, FindNext
// without an END line either.
constexpr FrameTexts FinderFrame(const char* function, EndStyle style, bool endLine = true) {
    return FrameTexts{function, style, "", endLine ? nullptr : "", msg::kLogicalError};
}

// Free the find states of the three families when the session ends (registered once).
void RegisterFindRelease();
// Frees the client and master walks of the block without a request (the session is ending).
void EndMemberWalks(QVPAPI& block);

// Where the IDs of a node-group path lie: the folder holding the "I.<name>" folders and the
// group path text given to results.
struct IdPlace {
    std::string folder;
    std::string groupText;
};
// NULL, "" or "\": the top of NODEGROUP; "\networkid" in any case: NODEGROUP\I.<as written>.
// false with 0x20000057 otherwise.
bool ResolvePlace(CallContext& call, const char* path, IdPlace& place);
// "networkid" in any case (`anyCase`), or exactly "networkID".
bool IsNetworkId(std::string_view name, bool anyCase);
// "\<ID>" at the top, else "<group path>\<ID>".
std::string MemberPath(std::string_view groupText, std::string_view id);

// A member name of a known kind (else 0x20000057) that passes, when `check`, the host-ID rule
// for host IDs or `rule` otherwise (else the rule's code).
bool CheckNodeName(CallContext& call, const char* name, uint32_t rule, bool check = true);

// The caller's record is given, else 0x20000057.
bool NeedRecord(CallContext& call, const QVAPI_NODE* record);

// Copies the whole record to the caller at the size of the caller's API level.
void CopyOut(const QVPAPI& block, const IdNodeData& whole, QVAPI_NODE* out);

// Sends IDRLS for `letter`; on failure logs `text`, sets the mapped code on the call and
// returns false.
bool ReleaseLetter(CallContext& call, char letter, const char* text);

// An ID's record into `out` (name, type, path text and, with a record, its attribute,
// password and generation). 0, or 0x20100000 when the password cannot be decoded.
uint32_t FillGroup(CallContext& call, std::string_view name, std::string_view groupText,
                   const uint8_t* record, IdNodeData& out);

// Builds the record of an ID client or master from its entry. Returns false when the member
// names a host ID whose definition is missing (`code` then holds the reader's code); `soft`
// receives the code of a client named otherwise that has no definition (0 when it has one).
bool BuildMember(CallContext& call, const uint8_t* entry, bool client, bool walk,
                 std::string_view memberPath, IdNodeData& out, uint32_t& code, uint32_t& soft);

// Answers the ID lookups of job preparation with the finders above (done once at load).
void ConnectJobGenLookups();

// Dotted IPv4 text <-> four octets, 1 on success, 0 on failure. The text has at most 15
// characters and up to four decimal parts of 0 to 255; missing trailing parts are 0 ("10.1"
// gives 10.1.0.0). The output text needs 16 bytes.
int qvpAPIIPAddrStrToHex(const char* text, uint8_t* octets);
int qvpAPIIPAddrHexToStr(const uint8_t* octets, char* text);

}  // namespace qvp::ids
