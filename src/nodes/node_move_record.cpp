// The node move record: a 16-byte head ("QVNMOVE1", the kind, the rename count), the old and
// the new record whole, then each inventory rename as two NUL-padded names.
#include "nodes/node_move_record.h"

#include <cstddef>
#include <cstring>

#include "core/bounded_read.h"
#include "core/fileutil.h"
#include "core/paths.h"
#include "nodes/name_text.h"
#include "nodes/node_group_file.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"

namespace qvp::nodes {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'N', 'M', 'O', 'V', 'E', '1'};
constexpr uint32_t kHeadSize = 16;
constexpr uint32_t kNameSize = QVAPI_NODE_NAME_LEN + 1;
constexpr uint64_t kRecordsEnd = kHeadSize + 2 * uint64_t{sizeof(QVAPI_NODE)};

struct Head {
    uint32_t master;
    uint32_t renames;
};

bool ReadHead(const uint8_t* bytes, Head& head) {
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return false;
    std::memcpy(&head.master, bytes + 8, 4);
    std::memcpy(&head.renames, bytes + 12, 4);
    return head.master <= 1 && head.renames <= kMaxMoveRenames;
}

uint64_t Declared(const uint8_t* bytes) {
    Head head;
    return ReadHead(bytes, head) ? kRecordsEnd + uint64_t{head.renames} * 2 * kNameSize : kUnsound;
}

const DeclaredLayout kMoveRecordLayout{kHeadSize, kRecordsEnd + uint64_t{kMaxMoveRenames} * 2 * kNameSize,
                                       &Declared, true};

// A name the inventory may make a path of: NUL-terminated in its field, not empty, one level.
bool TakeName(const uint8_t* field, std::string& name) {
    const void* end = std::memchr(field, '\0', kNameSize);
    if (end == nullptr || end == field) return false;
    name.assign(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(end) - field);
    return name.find_first_of("\\/") == std::string::npos && name != "." && name != "..";
}

void PutName(std::vector<uint8_t>& out, const std::string& name) {
    const size_t at = out.size();
    out.resize(at + kNameSize, 0);
    std::memcpy(out.data() + at, name.data(), std::min<size_t>(name.size(), kNameSize - 1));
}

// A node keyed by its name always has a key: an empty one would make its key folder the level
// above it.
bool UsableRecord(const QVAPI_NODE& r, bool master) {
    return r.uiNodeAttributes == (master ? kMemberMaster : kMemberClient) && StoredPathFieldsUsable(r) &&
           (IpKeyed(r) || r.ucNodeKey[0] != '\0');
}

struct Span {
    size_t at, size;
};
// A change starts from the stored record and sets only the field groups its flags name, with the
// paths, key and keying the move derives from them: everything else of the node (its kind, its
// creation time, its group and hold flags, its keying mode, every reserved byte) is the same in
// both records.
#define QVP_FIELD(f) Span{offsetof(QVAPI_NODE, f), sizeof(QVAPI_NODE::f)}
constexpr Span kChangeable[] = {
    QVP_FIELD(ucNodeName), QVP_FIELD(ucNodeAddress), QVP_FIELD(ucNodePath0),  QVP_FIELD(ucCommonName),
    QVP_FIELD(uiConnectKind), QVP_FIELD(uiIPAddrFlag), QVP_FIELD(stUpdateTime), QVP_FIELD(ucNodeKey),
    QVP_FIELD(ucNodeKeyPath), QVP_FIELD(ucHostID), QVP_FIELD(ucHostIDFlag), QVP_FIELD(ucHostIDPath),
    QVP_FIELD(ucMACAddress)};
#undef QVP_FIELD

// The two records are one node: equal outside the fields a change sets.
bool OneNode(const QVAPI_NODE& from, const QVAPI_NODE& to) {
    QVAPI_NODE a = to;
    for (const Span& field : kChangeable)
        std::memcpy(reinterpret_cast<uint8_t*>(&a) + field.at, reinterpret_cast<const uint8_t*>(&from) + field.at,
                    field.size);
    return std::memcmp(&a, &from, sizeof a) == 0;
}

}  // namespace

std::string MoveRecordPath() {
    char buffer[win::MAX_PATH] = {};
    qvpMakeMngflPath(buffer);
    return std::string(Field(buffer)) + "\\NODEMOVE";
}

std::vector<uint8_t> MoveRecordBytes(const MoveRecord& record) {
    std::vector<uint8_t> out(kRecordsEnd, 0);
    const uint32_t head[2] = {record.master ? 1u : 0u, static_cast<uint32_t>(record.renames.size())};
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    std::memcpy(out.data() + 8, head, sizeof head);
    std::memcpy(out.data() + kHeadSize, &record.from, sizeof record.from);
    std::memcpy(out.data() + kHeadSize + sizeof record.from, &record.to, sizeof record.to);
    out.reserve(out.size() + record.renames.size() * 2 * kNameSize);
    for (const auto& [from, to] : record.renames) {
        PutName(out, from);
        PutName(out, to);
    }
    return out;
}

bool ParseMoveRecord(std::span<const uint8_t> bytes, MoveRecord& out) {
    Head head;
    if (bytes.size() < kHeadSize || !ReadHead(bytes.data(), head) || bytes.size() != Declared(bytes.data()))
        return false;
    out.master = head.master == 1;
    std::memcpy(&out.from, bytes.data() + kHeadSize, sizeof out.from);
    std::memcpy(&out.to, bytes.data() + kHeadSize + sizeof out.from, sizeof out.to);
    if (!UsableRecord(out.from, out.master) || !UsableRecord(out.to, out.master) || !OneNode(out.from, out.to))
        return false;
    out.renames.assign(head.renames, {});
    const uint8_t* at = bytes.data() + kRecordsEnd;
    for (auto& rename : out.renames) {
        if (!TakeName(at, rename.first) || !TakeName(at + kNameSize, rename.second)) return false;
        // A client's move renames only its own inventory; a master's subtree is checked against
        // the store when the move is finished.
        if (!out.master && !RenameOfNode(rename, out.from) && !RenameOfNode(rename, out.to)) return false;
        at += 2 * kNameSize;
    }
    return true;
}

bool RenameOfNode(const std::pair<std::string, std::string>& rename, const QVAPI_NODE& node) {
    const std::string plain = PlainName(node);
    const std::string hostId(Field(node.ucHostID));
    return !hostId.empty() &&
           ((rename.first == plain && rename.second == hostId) || (rename.first == hostId && rename.second == plain));
}

bool WriteMoveRecord(const MoveRecord& record) {
    if (record.renames.size() > kMaxMoveRenames) {
        win::SetLastError(win::ERROR_INVALID_DATA);
        return false;
    }
    return ReplaceWhole(MoveRecordPath(), MoveRecordBytes(record));
}

MoveRecordRead ReadMoveRecord(MoveRecord& out) {
    const std::string path = MoveRecordPath();
    // Every node writer looks, and nearly always finds nothing: one look-up of the name tells
    // that (a failed open asks the folders above it again, to say why).
    if (win::GetFileAttributes(path.c_str()) == win::INVALID_FILE_ATTRIBUTES) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return MoveRecordRead::Absent;
    }
    FileHandle file = OpenExclusiveRead(path);
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return MoveRecordRead::Absent;
        // A folder, a link or a FIFO is no record: what another user planted there goes.
        constexpr win::DWORD kNoFile =
            win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_REPARSE_POINT | win::FILE_ATTRIBUTE_SYSTEM;
        const win::DWORD attributes = win::GetFileAttributes(path.c_str());
        return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & kNoFile) != 0 ? MoveRecordRead::Refused
                                                                                         : MoveRecordRead::Failed;
    }
    // A file with a second name was linked from elsewhere: the record is only ever written anew.
    win::BY_HANDLE_FILE_INFORMATION info{};
    if (!win::GetFileInformationByHandle(file.get(), &info)) return MoveRecordRead::Failed;
    if (info.nNumberOfLinks != 1) return MoveRecordRead::Refused;
    std::vector<uint8_t> bytes;
    switch (ReadDeclared(file.get(), kMoveRecordLayout, bytes)) {
        case DeclaredRead::Read: break;
        case DeclaredRead::Failed: return MoveRecordRead::Failed;
        default: return MoveRecordRead::Refused;
    }
    return ParseMoveRecord(bytes, out) ? MoveRecordRead::Read : MoveRecordRead::Refused;
}

// Whatever stands at the name goes as the name it is, a read-only file too; only writers under the
// node lock read the record, so nothing holds it for a moment.
void RemoveMoveRecord() { RemoveAtOnce(MoveRecordPath()); }

}  // namespace qvp::nodes
