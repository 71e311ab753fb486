// The record of a node move under way: a change that moves a definition (new key name, new
// place, new keying) writes it whole beside NODEDEF before its first step and removes it when it
// ends. A writer killed part way leaves it, and the next node writer, under the node lock,
// finishes the move from it: the node's old record, the very record it becomes, and the
// inventory renames that follow. It lies in a store every user of the group writes, so it is
// read bounded and checked before anything is built from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "qvpapi.h"

namespace qvp::nodes {

struct MoveRecord {
    bool master = false;
    QVAPI_NODE from{};  // as the change read it
    QVAPI_NODE to{};    // as it writes it: paths derived, key laid out, stamped
    std::vector<std::pair<std::string, std::string>> renames;  // inventory: old name, new name
};

// The most inventory renames one move records (a master's whole subtree may change keying).
inline constexpr uint32_t kMaxMoveRenames = 100000;

// <PathName>\SERVER\ZARNQV\MNGFL\NODEMOVE
std::string MoveRecordPath();

// The stored bytes of a record, and back. Parsing refuses anything a writer of this kind could
// not have written: another head, a size that disagrees with it, a record of another kind,
// path fields or names that could lead outside the store, a node keyed by name without a key,
// an old and a new record that are not one node, a client's inventory renames of another node.
std::vector<uint8_t> MoveRecordBytes(const MoveRecord& record);
bool ParseMoveRecord(std::span<const uint8_t> bytes, MoveRecord& out);
// Whether an inventory rename is one a move of `node` makes: between its plain name (host name
// or address) and its host ID, either way.
bool RenameOfNode(const std::pair<std::string, std::string>& rename, const QVAPI_NODE& node);

// Written whole under a temporary name and renamed in; false with the Windows error.
bool WriteMoveRecord(const MoveRecord& record);
// Refused: bytes no writer of it wrote, or no record file at all (a folder, a link, a FIFO, a
// file with a second name); Failed: nothing sure (held, unreadable).
enum class MoveRecordRead { Absent, Read, Refused, Failed };
MoveRecordRead ReadMoveRecord(MoveRecord& out);
// Removes whatever stands at the record's name, as the name it is, never waiting.
void RemoveMoveRecord();

}  // namespace qvp::nodes
