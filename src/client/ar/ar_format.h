// Archive layouts: the new format (big-endian, written and read) and the old format
// (little-endian, read only). Blocks are kept as plain structs and turned into stored bytes by
// explicit readers and writers, so byte order never depends on the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/byte_order.h"
#include "platform/win.h"

namespace ar {

// Byte order of the archive fields.
using qvp::be16;
using qvp::be32;
using qvp::le16;
using qvp::le32;
using qvp::putBe16;
using qvp::putBe32;

// ---- new format: header QvConReIn ------------------------------------------------------------
constexpr size_t kHeaderSize = 42;
namespace hdr {
constexpr size_t kArchiveLength = 4;
constexpr size_t kTableOffset = 8;
constexpr size_t kResGen0 = 12;
constexpr size_t kResGen1 = 13;
constexpr size_t kDriveIndex = 14;
constexpr size_t kBaseIndex = 16;
constexpr size_t kNameCount = 18;
constexpr size_t kLongestName = 20;
constexpr size_t kCompKind = 22;
constexpr size_t kExtraLength = 34;
constexpr size_t kTableLength = 38;
static_assert(kTableLength + 4 == kHeaderSize);
static_assert(kCompKind + 1 + 11 == kExtraLength);
}  // namespace hdr

constexpr uint8_t kCompNone = 'N';
constexpr uint8_t kCompH = 'H';
constexpr uint8_t kCompZ = 'Z';

struct ArHeader {
    uint32_t archiveLength = 0;
    uint32_t tableOffset = 0;
    uint8_t resGen[2] = {0, 0};
    uint16_t driveIndex = 0;
    uint16_t baseIndex = 0;
    uint16_t nameCount = 0;
    uint16_t longestName = 0;
    uint8_t compKind = 0;
    uint32_t extraLength = 0;
    uint32_t tableLength = 0;
};
void encodeHeader(const ArHeader& h, uint8_t out[kHeaderSize]);
ArHeader decodeHeader(const uint8_t in[kHeaderSize]);
// compKind from the writer's kind argument (0, 1, 5); 0 for any other kind.
uint8_t compKindFromKind(int kind);
bool isKnownCompKind(uint8_t compKind);

// ---- new format: entry block arEntryInfo ----------------------------------------------------
constexpr size_t kEntrySize = 64;
namespace ent {
constexpr size_t kBlockLength = 0;
constexpr size_t kDataSize = 8;
constexpr size_t kWriteDate = 12;
constexpr size_t kWriteTime = 16;
constexpr size_t kAccessDate = 20;
constexpr size_t kAccessTime = 24;
constexpr size_t kPathIndex = 28;
constexpr size_t kShortIndex = 30;
constexpr size_t kRootIndex = 32;
constexpr size_t kSysIndex = 34;
constexpr size_t kKind = 36;
constexpr size_t kSeven = 37;
constexpr size_t kDataSize2 = 44;
constexpr size_t kAclLength = 56;
constexpr size_t kTableLength = 60;
static_assert(kTableLength + 4 == kEntrySize);
}  // namespace ent

// Kind and attribute bits of entry byte 36.
constexpr uint8_t kEntFile = 0x01;
constexpr uint8_t kEntSystem = 0x02;
constexpr uint8_t kEntHidden = 0x04;
constexpr uint8_t kEntReadOnly = 0x08;
constexpr uint8_t kEntArchive = 0x10;

struct ArEntryInfo {
    uint32_t blockLength = kEntrySize;
    uint32_t dataSize = 0;
    uint32_t writeDate = 0;
    uint32_t writeTime = 0;
    uint32_t accessDate = 0;
    uint32_t accessTime = 0;
    uint16_t pathIndex = 0;
    uint16_t shortIndex = 0;
    uint16_t rootIndex = 0;
    uint16_t sysIndex = 0;
    uint8_t kind = 0;
    uint8_t seven = 7;
    uint32_t dataSize2 = 0;
    uint32_t aclLength = 0;
    uint32_t tableLength = 0;
};
void encodeEntry(const ArEntryInfo& e, uint8_t out[kEntrySize]);
ArEntryInfo decodeEntry(const uint8_t in[kEntrySize]);

// Entry byte 36 <-> Windows file attributes.
uint8_t entryKindFromAttributes(win::DWORD attributes);
win::DWORD attributesFromEntryKind(uint8_t kind);

// ---- new format: ACL block arAclBlock -------------------------------------------------------
constexpr size_t kAclHeadSize = 6;
constexpr uint16_t kAclTag = 5;
struct ArAclHead {
    uint16_t tag = kAclTag;
    uint32_t length = 0;
};
void encodeAclHead(const ArAclHead& h, uint8_t out[kAclHeadSize]);
ArAclHead decodeAclHead(const uint8_t in[kAclHeadSize]);

// ---- BCD dates and times --------------------------------------------------------------------
// 0xYYYYMMDD and 0x00hhmmss from calendar values; nullopt when a value has too many digits.
std::optional<uint32_t> bcdDate(const win::SYSTEMTIME& t);
uint32_t bcdTime(const win::SYSTEMTIME& t);
// The reverse: nullopt when a nibble is not a decimal digit or a field is out of range.
std::optional<win::SYSTEMTIME> fromBcd(uint32_t date, uint32_t time);
// A file time (UTC) as the stored local BCD pair; false when it has no calendar form.
bool fileTimeToBcd(const win::FILETIME& utc, uint32_t* date, uint32_t* time);
// The stored local BCD pair back to a file time (UTC); false when the pair is not a time.
bool bcdToFileTime(uint32_t date, uint32_t time, win::FILETIME* utc);

// ---- old format (read only) -----------------------------------------------------------------
constexpr size_t kOldHeaderSize = 60;
constexpr size_t kOldEntrySize = 60;
constexpr size_t kOldNameSlot = 260;
namespace oldhdr {
constexpr size_t kTableEnd = 0;
constexpr size_t kFirstEntry = 4;
constexpr size_t kMagic = 8;
constexpr size_t kDriveIndex = 10;
constexpr size_t kBaseIndex = 12;
constexpr size_t kTableStart = 16;
static_assert(kTableStart + 4 <= kOldHeaderSize);
}  // namespace oldhdr
namespace oldent {
constexpr size_t kHeaderLength = 0;
constexpr size_t kAccessDate = 8;
constexpr size_t kAccessTime = 12;
constexpr size_t kWriteDate = 16;
constexpr size_t kWriteTime = 20;
constexpr size_t kPathIndex = 24;
constexpr size_t kAttributes = 28;
constexpr size_t kDataSize = 52;
static_assert(kDataSize + 4 <= kOldEntrySize);
}  // namespace oldent

struct ArOldHeader {
    uint32_t tableEnd = 0;
    uint32_t firstEntry = 0;
    uint8_t magic[2] = {0, 0};
    int16_t driveIndex = 0;
    int16_t baseIndex = 0;
    uint32_t tableStart = 0;
};
struct ArOldEntry {
    uint32_t headerLength = 0;
    uint32_t accessDate = 0;
    uint32_t accessTime = 0;
    uint32_t writeDate = 0;
    uint32_t writeTime = 0;
    int16_t pathIndex = 0;
    uint32_t attributes = 0;
    uint32_t dataSize = 0;
};
ArOldHeader decodeOldHeader(const uint8_t in[kOldHeaderSize]);
ArOldEntry decodeOldEntry(const uint8_t in[kOldEntrySize]);
// True when bytes 8 and 9 of a 60-byte prefix are 'N','N'.
bool isOldFormatPrefix(const uint8_t* prefix, size_t length);
// Decimal yymmdd / hhmmss to seconds since 1970 by the old format's own arithmetic (a fixed
// nine-hour offset whatever the local zone).
int64_t oldTimeToUnix(uint32_t yymmdd, uint32_t hhmmss);

}  // namespace ar
