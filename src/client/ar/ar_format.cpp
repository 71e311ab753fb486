#include "client/ar/ar_format.h"

#include <cstring>

namespace ar {

void encodeHeader(const ArHeader& h, uint8_t out[kHeaderSize]) {
    std::memset(out, 0, kHeaderSize);
    putBe32(out + hdr::kArchiveLength, h.archiveLength);
    putBe32(out + hdr::kTableOffset, h.tableOffset);
    out[hdr::kResGen0] = h.resGen[0];
    out[hdr::kResGen1] = h.resGen[1];
    putBe16(out + hdr::kDriveIndex, h.driveIndex);
    putBe16(out + hdr::kBaseIndex, h.baseIndex);
    putBe16(out + hdr::kNameCount, h.nameCount);
    putBe16(out + hdr::kLongestName, h.longestName);
    out[hdr::kCompKind] = h.compKind;
    putBe32(out + hdr::kExtraLength, h.extraLength);
    putBe32(out + hdr::kTableLength, h.tableLength);
}

ArHeader decodeHeader(const uint8_t in[kHeaderSize]) {
    ArHeader h;
    h.archiveLength = be32(in + hdr::kArchiveLength);
    h.tableOffset = be32(in + hdr::kTableOffset);
    h.resGen[0] = in[hdr::kResGen0];
    h.resGen[1] = in[hdr::kResGen1];
    h.driveIndex = be16(in + hdr::kDriveIndex);
    h.baseIndex = be16(in + hdr::kBaseIndex);
    h.nameCount = be16(in + hdr::kNameCount);
    h.longestName = be16(in + hdr::kLongestName);
    h.compKind = in[hdr::kCompKind];
    h.extraLength = be32(in + hdr::kExtraLength);
    h.tableLength = be32(in + hdr::kTableLength);
    return h;
}

uint8_t compKindFromKind(int kind) {
    switch (kind) {
        case 0: return kCompNone;
        case 1: return kCompH;
        case 5: return kCompZ;
        default: return 0;
    }
}

bool isKnownCompKind(uint8_t compKind) {
    return compKind == kCompNone || compKind == kCompH || compKind == kCompZ;
}

void encodeEntry(const ArEntryInfo& e, uint8_t out[kEntrySize]) {
    std::memset(out, 0, kEntrySize);
    putBe32(out + ent::kBlockLength, e.blockLength);
    putBe32(out + ent::kDataSize, e.dataSize);
    putBe32(out + ent::kWriteDate, e.writeDate);
    putBe32(out + ent::kWriteTime, e.writeTime);
    putBe32(out + ent::kAccessDate, e.accessDate);
    putBe32(out + ent::kAccessTime, e.accessTime);
    putBe16(out + ent::kPathIndex, e.pathIndex);
    putBe16(out + ent::kShortIndex, e.shortIndex);
    putBe16(out + ent::kRootIndex, e.rootIndex);
    putBe16(out + ent::kSysIndex, e.sysIndex);
    out[ent::kKind] = e.kind;
    out[ent::kSeven] = e.seven;
    putBe32(out + ent::kDataSize2, e.dataSize2);
    putBe32(out + ent::kAclLength, e.aclLength);
    putBe32(out + ent::kTableLength, e.tableLength);
}

ArEntryInfo decodeEntry(const uint8_t in[kEntrySize]) {
    ArEntryInfo e;
    e.blockLength = be32(in + ent::kBlockLength);
    e.dataSize = be32(in + ent::kDataSize);
    e.writeDate = be32(in + ent::kWriteDate);
    e.writeTime = be32(in + ent::kWriteTime);
    e.accessDate = be32(in + ent::kAccessDate);
    e.accessTime = be32(in + ent::kAccessTime);
    e.pathIndex = be16(in + ent::kPathIndex);
    e.shortIndex = be16(in + ent::kShortIndex);
    e.rootIndex = be16(in + ent::kRootIndex);
    e.sysIndex = be16(in + ent::kSysIndex);
    e.kind = in[ent::kKind];
    e.seven = in[ent::kSeven];
    e.dataSize2 = be32(in + ent::kDataSize2);
    e.aclLength = be32(in + ent::kAclLength);
    e.tableLength = be32(in + ent::kTableLength);
    return e;
}

uint8_t entryKindFromAttributes(win::DWORD a) {
    uint8_t kind = 0;
    if (!(a & win::FILE_ATTRIBUTE_DIRECTORY)) kind |= kEntFile;
    if (a & win::FILE_ATTRIBUTE_SYSTEM) kind |= kEntSystem;
    if (a & win::FILE_ATTRIBUTE_HIDDEN) kind |= kEntHidden;
    if (a & win::FILE_ATTRIBUTE_READONLY) kind |= kEntReadOnly;
    if (a & win::FILE_ATTRIBUTE_ARCHIVE) kind |= kEntArchive;
    return kind;
}

win::DWORD attributesFromEntryKind(uint8_t kind) {
    win::DWORD a = 0;
    if (!(kind & kEntFile)) a |= win::FILE_ATTRIBUTE_DIRECTORY;
    if (kind & kEntSystem) a |= win::FILE_ATTRIBUTE_SYSTEM;
    if (kind & kEntHidden) a |= win::FILE_ATTRIBUTE_HIDDEN;
    if (kind & kEntReadOnly) a |= win::FILE_ATTRIBUTE_READONLY;
    if (kind & kEntArchive) a |= win::FILE_ATTRIBUTE_ARCHIVE;
    return a == 0 ? win::FILE_ATTRIBUTE_NORMAL : a;
}

void encodeAclHead(const ArAclHead& h, uint8_t out[kAclHeadSize]) {
    putBe16(out, h.tag);
    putBe32(out + 2, h.length);
}

ArAclHead decodeAclHead(const uint8_t in[kAclHeadSize]) {
    ArAclHead h;
    h.tag = be16(in);
    h.length = be32(in + 2);
    return h;
}

namespace {

// Decimal value -> one nibble per digit ("%0Nd" read back as "%0Nx").
uint32_t toBcd(uint32_t value, int digits) {
    uint32_t out = 0;
    for (int i = 0; i < digits; ++i) {
        out |= (value % 10) << (4 * i);
        value /= 10;
    }
    return out;
}

std::optional<uint32_t> fromBcdDigits(uint32_t bcd, int digits) {
    uint32_t value = 0;
    for (int i = digits - 1; i >= 0; --i) {
        uint32_t nibble = (bcd >> (4 * i)) & 0xF;
        if (nibble > 9) return std::nullopt;
        value = value * 10 + nibble;
    }
    return value;
}

}  // namespace

std::optional<uint32_t> bcdDate(const win::SYSTEMTIME& t) {
    if (t.wYear > 9999 || t.wMonth > 99 || t.wDay > 99) return std::nullopt;
    return (toBcd(t.wYear, 4) << 16) | (toBcd(t.wMonth, 2) << 8) | toBcd(t.wDay, 2);
}

uint32_t bcdTime(const win::SYSTEMTIME& t) {
    return (toBcd(t.wHour % 100, 2) << 16) | (toBcd(t.wMinute % 100, 2) << 8) |
           toBcd(t.wSecond % 100, 2);
}

std::optional<win::SYSTEMTIME> fromBcd(uint32_t date, uint32_t time) {
    auto year = fromBcdDigits(date >> 16, 4);
    auto month = fromBcdDigits((date >> 8) & 0xFF, 2);
    auto day = fromBcdDigits(date & 0xFF, 2);
    auto hour = fromBcdDigits((time >> 16) & 0xFF, 2);
    auto minute = fromBcdDigits((time >> 8) & 0xFF, 2);
    auto second = fromBcdDigits(time & 0xFF, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if ((time >> 24) != 0) return std::nullopt;
    if (*year < 1601 || *month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 ||
        *minute > 59 || *second > 59)
        return std::nullopt;
    win::SYSTEMTIME st{};
    st.wYear = static_cast<win::WORD>(*year);
    st.wMonth = static_cast<win::WORD>(*month);
    st.wDay = static_cast<win::WORD>(*day);
    st.wHour = static_cast<win::WORD>(*hour);
    st.wMinute = static_cast<win::WORD>(*minute);
    st.wSecond = static_cast<win::WORD>(*second);
    return st;
}

bool fileTimeToBcd(const win::FILETIME& utc, uint32_t* date, uint32_t* time) {
    // The calendar conversions count nanoseconds since 1970 in 64 bits; later times (after
    // April 2262) have no calendar form here.
    constexpr uint64_t kEpochTicks = 116444736000000000ull;
    constexpr uint64_t kLastTicks = kEpochTicks + 9223372036854775807ull / 100 - 864000000000ull;
    const uint64_t ticks = (uint64_t{utc.dwHighDateTime} << 32) | utc.dwLowDateTime;
    if (ticks > kLastTicks) return false;
    win::FILETIME local{};
    win::SYSTEMTIME st{};
    if (!win::FileTimeToLocalFileTime(&utc, &local)) return false;
    if (!win::FileTimeToSystemTime(&local, &st)) return false;
    auto d = bcdDate(st);
    if (!d) return false;
    *date = *d;
    *time = bcdTime(st);
    return true;
}

bool bcdToFileTime(uint32_t date, uint32_t time, win::FILETIME* utc) {
    auto st = fromBcd(date, time);
    if (!st) return false;
    win::FILETIME local{};
    if (!win::SystemTimeToFileTime(&*st, &local)) return false;
    return win::LocalFileTimeToFileTime(&local, utc) != 0;
}

ArOldHeader decodeOldHeader(const uint8_t in[kOldHeaderSize]) {
    ArOldHeader h;
    h.tableEnd = le32(in + oldhdr::kTableEnd);
    h.firstEntry = le32(in + oldhdr::kFirstEntry);
    h.magic[0] = in[oldhdr::kMagic];
    h.magic[1] = in[oldhdr::kMagic + 1];
    h.driveIndex = static_cast<int16_t>(le16(in + oldhdr::kDriveIndex));
    h.baseIndex = static_cast<int16_t>(le16(in + oldhdr::kBaseIndex));
    h.tableStart = le32(in + oldhdr::kTableStart);
    return h;
}

ArOldEntry decodeOldEntry(const uint8_t in[kOldEntrySize]) {
    ArOldEntry e;
    e.headerLength = le32(in + oldent::kHeaderLength);
    e.accessDate = le32(in + oldent::kAccessDate);
    e.accessTime = le32(in + oldent::kAccessTime);
    e.writeDate = le32(in + oldent::kWriteDate);
    e.writeTime = le32(in + oldent::kWriteTime);
    e.pathIndex = static_cast<int16_t>(le16(in + oldent::kPathIndex));
    e.attributes = le32(in + oldent::kAttributes);
    e.dataSize = le32(in + oldent::kDataSize);
    return e;
}

bool isOldFormatPrefix(const uint8_t* prefix, size_t length) {
    return length >= kOldHeaderSize && prefix[oldhdr::kMagic] == 'N' &&
           prefix[oldhdr::kMagic + 1] == 'N';
}

int64_t oldTimeToUnix(uint32_t yymmdd, uint32_t hhmmss) {
    static constexpr int kMonthStart[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    yymmdd %= 1000000;
    hhmmss %= 1000000;
    int yy = static_cast<int>(yymmdd / 10000);
    int mm = static_cast<int>(yymmdd / 100 % 100);
    int dd = static_cast<int>(yymmdd % 100);
    int hh = static_cast<int>(hhmmss / 10000);
    int mi = static_cast<int>(hhmmss / 100 % 100);
    int ss = static_cast<int>(hhmmss % 100);
    int year = yy >= 70 ? 1900 + yy : 2000 + yy;
    int64_t days = 365LL * (year - 1970);
    for (int y = 1970; y < year; ++y)
        if (y % 100 % 4 == 0) ++days;
    bool leap = yy % 4 == 0;
    // A month outside 1..12 only comes from a damaged entry: count no month days for it
    // rather than index past the table.
    if (mm >= 1 && mm <= 12) days += kMonthStart[mm - 1];
    if (leap && mm >= 3) ++days;
    days += dd - 1;
    return days * 86400 + hh * 3600 + mi * 60 + ss - 32400;
}

}  // namespace ar
