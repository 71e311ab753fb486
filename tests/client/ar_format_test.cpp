// Stored layouts, time conversions and name tables of the archive format.
#include <gtest/gtest.h>

#include <cstring>

#include "ar_test_util.h"
#include "client/ar/ar_format.h"
#include "client/ar/ar_match.h"
#include "client/ar/ar_path.h"

using namespace ar;

TEST(ArFormat, HeaderAndEntryBlocksAreBigEndianAtTheirOffsets) {
    ArHeader h;
    h.archiveLength = 0x01020304;
    h.tableOffset = 42;
    h.resGen[0] = 1;
    h.driveIndex = 1;
    h.baseIndex = 2;
    h.nameCount = 0x0506;
    h.longestName = 0x0708;
    h.compKind = 'Z';
    h.extraLength = 0x11;
    h.tableLength = 0x22;
    uint8_t raw[kHeaderSize];
    encodeHeader(h, raw);
    const uint8_t expected[kHeaderSize] = {
        0, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 42, 1, 0, 0, 1, 0, 2, 5, 6, 7, 8, 'Z',
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // reserved
        0, 0, 0, 0x11, 0, 0, 0, 0x22};
    EXPECT_EQ(0, std::memcmp(raw, expected, kHeaderSize));
    ArHeader back = decodeHeader(raw);
    EXPECT_EQ(back.archiveLength, h.archiveLength);
    EXPECT_EQ(back.nameCount, h.nameCount);
    EXPECT_EQ(back.compKind, 'Z');
    EXPECT_EQ(back.tableLength, 0x22u);

    ArEntryInfo e;
    e.dataSize = e.dataSize2 = 0xA0B0C0D0;
    e.writeDate = 0x20210304;
    e.pathIndex = 0x1234;
    e.kind = kEntFile | kEntReadOnly;
    e.aclLength = 0x40;
    e.tableLength = 9;
    uint8_t block[kEntrySize];
    encodeEntry(e, block);
    EXPECT_EQ(be32(block + 0), 64u);
    EXPECT_EQ(be32(block + 8), 0xA0B0C0D0u);
    EXPECT_EQ(be32(block + 44), 0xA0B0C0D0u);
    EXPECT_EQ(be32(block + 12), 0x20210304u);
    EXPECT_EQ(be16(block + 28), 0x1234);
    EXPECT_EQ(block[36], 0x09);
    EXPECT_EQ(block[37], 7);
    EXPECT_EQ(be32(block + 56), 0x40u);
    EXPECT_EQ(be32(block + 60), 9u);
    ArEntryInfo eb = decodeEntry(block);
    EXPECT_EQ(eb.pathIndex, 0x1234);
    EXPECT_EQ(eb.aclLength, 0x40u);
}

TEST(ArFormat, CompKindsAndAttributeBits) {
    EXPECT_EQ(compKindFromKind(0), 'N');
    EXPECT_EQ(compKindFromKind(1), 'H');
    EXPECT_EQ(compKindFromKind(5), 'Z');
    EXPECT_EQ(compKindFromKind(2), 0);
    EXPECT_FALSE(isKnownCompKind(0));

    EXPECT_EQ(entryKindFromAttributes(win::FILE_ATTRIBUTE_DIRECTORY), 0);
    EXPECT_EQ(entryKindFromAttributes(win::FILE_ATTRIBUTE_ARCHIVE | win::FILE_ATTRIBUTE_READONLY |
                                      win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM),
              kEntFile | kEntArchive | kEntReadOnly | kEntHidden | kEntSystem);
    EXPECT_EQ(attributesFromEntryKind(kEntFile), win::FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(attributesFromEntryKind(0), win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(attributesFromEntryKind(kEntFile | kEntReadOnly | kEntArchive),
              win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_ARCHIVE);
}

TEST(ArFormat, BcdDigitsAreNibbles) {
    win::SYSTEMTIME t{};
    t.wYear = 2021;
    t.wMonth = 3;
    t.wDay = 4;
    t.wHour = 15;
    t.wMinute = 6;
    t.wSecond = 59;
    EXPECT_EQ(bcdDate(t).value(), 0x20210304u);
    EXPECT_EQ(bcdTime(t), 0x00150659u);
    auto back = fromBcd(0x20210304, 0x00150659);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->wYear, 2021);
    EXPECT_EQ(back->wHour, 15);
    EXPECT_EQ(back->wSecond, 59);

    t.wYear = 10000;
    EXPECT_FALSE(bcdDate(t));
    EXPECT_FALSE(fromBcd(0x2021030A, 0));   // a nibble that is no digit
    EXPECT_FALSE(fromBcd(0x20211304, 0));   // month 13
    EXPECT_FALSE(fromBcd(0x20210304, 0x00246000));
    EXPECT_FALSE(fromBcd(0x20210304, 0x01000000));
}

TEST(ArFormat, BcdTimesAreLocalCalendarValues) {
    artest::pinTimeZone("Asia/Tokyo");
    // 2021-03-04 05:06:07 UTC is 14:06:07 in Tokyo.
    win::FILETIME ft = win::UnixNanosToFileTime(int64_t(artest::utc(2021, 3, 4, 5, 6, 7)) * 1000000000);
    uint32_t date = 0, time = 0;
    ASSERT_TRUE(fileTimeToBcd(ft, &date, &time));
    EXPECT_EQ(date, 0x20210304u);
    EXPECT_EQ(time, 0x00140607u);
    win::FILETIME back{};
    ASSERT_TRUE(bcdToFileTime(date, time, &back));
    EXPECT_EQ(win::FileTimeToUnixNanos(back), win::FileTimeToUnixNanos(ft));
    EXPECT_FALSE(bcdToFileTime(0x20210231, 0, &back));  // 31 February
    // Times the calendar conversions can't count (the writer's result 25).
    win::FILETIME far{0xFFFFFFFFu, 0x7FFFFFFFu};
    EXPECT_FALSE(fileTimeToBcd(far, &date, &time));
    win::FILETIME y2300 = win::UnixNanosToFileTime(0);
    uint64_t ticks = 116444736000000000ull + uint64_t(10413792000) * 10000000ull;  // 2300-01-01
    y2300.dwLowDateTime = uint32_t(ticks);
    y2300.dwHighDateTime = uint32_t(ticks >> 32);
    EXPECT_FALSE(fileTimeToBcd(y2300, &date, &time));
    artest::pinTimeZone("UTC");
}

TEST(ArFormat, OldFormatTimesUseFixedNineHours) {
    EXPECT_EQ(oldTimeToUnix(700101, 0), -32400);
    EXPECT_EQ(oldTimeToUnix(700101, 90000), 0);
    // 2000 is a leap year: 1 March follows 29 February.
    EXPECT_EQ(oldTimeToUnix(101, 0), artest::utc(2000, 1, 1, 0, 0, 0) - 32400);
    EXPECT_EQ(oldTimeToUnix(301, 0), artest::utc(2000, 3, 1, 0, 0, 0) - 32400);
    EXPECT_EQ(oldTimeToUnix(991231, 235959), artest::utc(1999, 12, 31, 23, 59, 59) - 32400);
    EXPECT_EQ(oldTimeToUnix(240229, 123456), artest::utc(2024, 2, 29, 12, 34, 56) - 32400);
    // A damaged month counts no month days instead of reading past the table.
    EXPECT_EQ(oldTimeToUnix(211301, 0), artest::utc(2021, 1, 1, 0, 0, 0) - 32400);
}

TEST(ArFormat, OldLayoutFieldsAreLittleEndian) {
    uint8_t h[kOldHeaderSize] = {};
    h[0] = 0x10; h[1] = 0x01;      // table end 0x110
    h[4] = 60;                     // first entry
    h[8] = 'N'; h[9] = 'N';
    h[10] = 2;                     // drive index
    h[12] = 3;
    h[16] = 0x00; h[17] = 0x01;    // table start 0x100
    EXPECT_TRUE(isOldFormatPrefix(h, sizeof h));
    EXPECT_FALSE(isOldFormatPrefix(h, 59));
    ArOldHeader oh = decodeOldHeader(h);
    EXPECT_EQ(oh.tableEnd, 0x110u);
    EXPECT_EQ(oh.firstEntry, 60u);
    EXPECT_EQ(oh.driveIndex, 2);
    EXPECT_EQ(oh.baseIndex, 3);
    EXPECT_EQ(oh.tableStart, 0x100u);

    uint8_t e[kOldEntrySize] = {};
    e[0] = 60;
    e[24] = 0xFF; e[25] = 0xFF;    // index -1
    e[28] = 0x10;
    e[52] = 0x34; e[53] = 0x12;
    ArOldEntry oe = decodeOldEntry(e);
    EXPECT_EQ(oe.headerLength, 60u);
    EXPECT_EQ(oe.pathIndex, -1);
    EXPECT_EQ(oe.attributes, 0x10u);
    EXPECT_EQ(oe.dataSize, 0x1234u);
}

TEST(ArMatchTable, PendingTableCountsOverTheWholeArchive) {
    PendingTable t;
    EXPECT_EQ(t.add("C"), 1);
    EXPECT_EQ(t.add("work/F"), 2);
    EXPECT_EQ(t.bytes(), std::string("C\0work/F\0", 9));
    t.clear();
    EXPECT_EQ(t.add("a"), 3);
    EXPECT_EQ(t.bytes(), std::string("a\0", 2));
    EXPECT_EQ(t.count(), 3);
    EXPECT_EQ(t.longest(), 6);
    // A long name simply grows the table.
    std::string longName(5000, 'x');
    EXPECT_EQ(t.add(longName), 4);
    EXPECT_EQ(t.longest(), 5000);
}

TEST(ArMatchTable, NoMoreThan65535Names) {
    PendingTable t;
    for (uint32_t i = 1; i <= 0xFFFF; ++i) ASSERT_EQ(t.add("n"), i);
    EXPECT_EQ(t.add("n"), 0);
    EXPECT_EQ(t.count(), 0xFFFF);
}

TEST(ArMatchTable, DuplicateListFindsWholeShortNamesOnly) {
    DupList d;
    d.add("root", 4);
    d.add("PROGRA~1", 9);
    std::string long31(31, 'a');
    d.add(long31, 12);
    EXPECT_EQ(d.find("root"), 4);
    EXPECT_EQ(d.find("PROGRA~1"), 9);
    EXPECT_EQ(d.find("PROGRA"), 0);
    EXPECT_EQ(d.find("sys"), 0);
    EXPECT_EQ(d.find(long31), 0);
}

TEST(ArMatchTable, NameSlotsStayWithinWhatWasAnnounced) {
    NameSlots s(3, 4);
    const uint8_t t1[] = {'C', 0, 'a', 'b', 'c', 'd', 0};
    EXPECT_TRUE(s.append(t1, sizeof t1));
    EXPECT_EQ(*s.get(2), "abcd");
    EXPECT_EQ(s.get(0), nullptr);
    EXPECT_EQ(s.get(3), nullptr);
    const uint8_t tooLong[] = {'a', 'b', 'c', 'd', 'e', 0};
    EXPECT_FALSE(s.append(tooLong, sizeof tooLong));
    const uint8_t unterminated[] = {'a', 'b'};
    EXPECT_FALSE(s.append(unterminated, sizeof unterminated));
    const uint8_t two[] = {'x', 0, 'y', 0};
    EXPECT_FALSE(s.append(two, sizeof two));  // the fourth name was never announced
    EXPECT_EQ(s.size(), 3u);
    EXPECT_EQ(*s.get(3), "x");
}

TEST(ArPath, EntryNamesMustStayBelowTheRestoreFolder) {
    win::SetACPForTesting(932);
    EXPECT_TRUE(isSafeEntryName("."));
    EXPECT_TRUE(isSafeEntryName("a/b/c.txt"));
    EXPECT_TRUE(isSafeEntryName("a/..b"));
    EXPECT_TRUE(isSafeEntryName("\x95\x5C/x"));  // a trail byte 0x5C is no separator
    EXPECT_FALSE(isSafeEntryName(""));
    EXPECT_FALSE(isSafeEntryName(".."));
    EXPECT_FALSE(isSafeEntryName("a/../../b"));
    EXPECT_FALSE(isSafeEntryName("a\\..\\b"));
    EXPECT_FALSE(isSafeEntryName("/etc/passwd"));
    EXPECT_FALSE(isSafeEntryName("\\x"));
    EXPECT_FALSE(isSafeEntryName("C:x"));
}

TEST(ArPath, ResourceFileNames) {
    EXPECT_TRUE(isResourceFileName("/x/R0000001"));
    EXPECT_TRUE(isResourceFileName("C:\\x\\R1234567.qvz"));
    EXPECT_FALSE(isResourceFileName("/x/Q0000001"));
    EXPECT_FALSE(isResourceFileName("/x/R000001"));
}
