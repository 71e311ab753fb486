// Node-name kinds and the name rules that keep separators, wild cards and the manager's own
// markers out of every name that becomes a file or directory name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Kinds of qvAPINameParameterCheck.
constexpr uint32_t kNameNodeGroup = 0;
constexpr uint32_t kNameClient = 1;
constexpr uint32_t kNameMaster = 2;
constexpr uint32_t kNameJobGenFolder = 3;
constexpr uint32_t kNameJobGen = 4;
constexpr uint32_t kNameIdNode = 5;
constexpr uint32_t kNameHostId = 16;
// The longest name of a kind, in bytes: node names (kinds 1, 2, 5) and every other kind.
constexpr size_t kLongestNodeName = 64;
constexpr size_t kLongestShortName = 32;

// Options of qvAPINameParameterCheckEx.
constexpr uint32_t kNameOptGeneral = 1;
constexpr uint32_t kNameOptPassword = 2;
constexpr uint32_t kNameOptId = 3;
constexpr uint32_t kNameOptIpText = 4;

namespace qvp::nodes {
// dwRtnOption 0: 0x11/0x21/0x41 host ID of class G/U/C, 0x04 host name, 0x08 IP address.
// dwRtnOption 1: 1 for a host-ID name, 2 for any other. 0 on failure (0x20000057).
uint32_t qvAPIGetNodeNameType(const char* lpNodeName, uint32_t dwRtnOption, uint32_t dwReserved1,
                              uint32_t dwReserved2);
// 1 when the name is valid for the kind, else 0 (0x2000007B, or 0x20000057 for a bad kind).
int qvAPINameParameterCheck(const char* lpName, uint32_t dwKind, uint32_t dwReserved = 0);
// 1 when the name obeys the option's rule; the label names the parameter in the log lines.
int qvAPINameParameterCheckEx(const char* lpName, uint32_t fdwNameOptions, const char* lpLabel,
                              uint32_t dwReserved1, uint32_t dwReserved2);
// '#', the class letter G, U or C, then digits and 'A'-'V'; at most 28 bytes.
int qvAPINameParameterCheckExForHostID(const char* lpHostIDName, uint32_t dwReserved0,
                                       const char* lpLabel, uint32_t dwReserved1,
                                       uint32_t dwReserved2);

// The character rules of qvAPINameParameterCheck for a kind, without its logs: what keeps
// separators, wild cards and "." / ".." out of every name that becomes a file name.
enum class NameCharacters { Valid, NotNodeCharacter, Refused };
NameCharacters NameCharactersCheck(std::string_view name, uint32_t kind);
// A name read from a stored file (a key, one level of a key or upper-node path) that is to
// become a path component: it must be what a caller's node name may be.
bool StoredNameUsable(std::string_view name);

}  // namespace qvp::nodes
