// Internals of the node records and files: QVAPI_NODE field access with bounds, and the stored
// layouts of the nodeattributionfile and the nodegroupfile.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "qvpapi.h"

namespace qvp::nodes {

static_assert(std::endian::native == std::endian::little,
              "stored records keep the little-endian words of the Windows design");

constexpr size_t kNodeSize = QVAPI_NODE_SIZE;
constexpr size_t kNodeHeadSize = QVAPI_NODE_HEAD_SIZE;

// Caller record sizes by API level (slot 0 of the block's record sizes).
constexpr uint32_t kNodeLevelSizes[] = {960, 1268, 1396, 1524, 1524, 1652};

// Name kinds of qvAPIGetNodeNameType.
constexpr uint32_t kKindHostIdG = 0x11;
constexpr uint32_t kKindHostIdU = 0x21;
constexpr uint32_t kKindHostIdC = 0x41;
constexpr uint32_t kKindHostName = 0x04;
constexpr uint32_t kKindIpAddress = 0x08;
constexpr bool IsHostIdKind(uint32_t kind) { return (kind & 0x01u) != 0; }

// fdwOptions of the key lookup.
constexpr uint32_t kFindClients = 1;
constexpr uint32_t kFindMasters = 2;
constexpr uint32_t kFindEither = 3;

// Bounded views of the fixed text fields: a full field has no terminator.
template <size_t N>
std::string_view Field(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}
// Writes `text` NUL-padded into a field, cut to leave room for a terminator.
template <size_t N>
void SetField(char (&field)[N], std::string_view text) {
    size_t n = text.size() < N ? text.size() : N - 1;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), n);
}

// Copies `text` NUL-padded into a field of the record's own width: a text as long as the
// field fills it without a terminator, a longer one is cut to the width.
template <size_t N>
void CopyField(char (&field)[N], std::string_view text) {
    size_t n = text.size() < N ? text.size() : N;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), n);
}

// An upper-node path counts as empty when it is empty or just "\".
inline bool PathIsTop(std::string_view path) { return path.empty() || path == "\\"; }

// The dotted text of a stored address.
std::string DottedAddress(const uint8_t (&address)[4]);

// ---- nodeattributionfile -------------------------------------------------------------------
// The first 960 bytes of the definition, then one 260-byte back-link per node group that
// lists the node (a NUL-terminated group path, "\" for the root group).
constexpr const char* kAttributionFileName = "nodeattributionfile";
constexpr size_t kAttributionHeadSize = kNodeHeadSize;
constexpr size_t kBackLinkSize = 260;

// ---- nodegroupfile -------------------------------------------------------------------------
constexpr const char* kNodeGroupFileName = "nodegroupfile";

struct NodeGroupHeader {
    uint32_t uiEntryBytes;   // 0: total bytes of the entries
    uint8_t reserved4[20];
    uint32_t uiEntryCount;   // 24
    uint8_t reserved28[4];
};
static_assert(sizeof(NodeGroupHeader) == 32);
static_assert(offsetof(NodeGroupHeader, uiEntryBytes) == 0);
static_assert(offsetof(NodeGroupHeader, uiEntryCount) == 24);

struct NodeGroupEntry {
    char ucMemberName[64];   // 0: display name of a client or master, or a sub-group's name
    uint32_t uiMemberKind;   // 64: 0 sub-group, 1 client, 2 master
    uint8_t ucCarried[76];   // 68: kept unchanged when an entry is rewritten
};
static_assert(sizeof(NodeGroupEntry) == 144);
static_assert(offsetof(NodeGroupEntry, uiMemberKind) == 64);

constexpr uint32_t kMemberSubGroup = 0;
constexpr uint32_t kMemberClient = 1;
constexpr uint32_t kMemberMaster = 2;

}  // namespace qvp::nodes
