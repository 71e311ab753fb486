// The old-format reader on archives from the test builder, sound and damaged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "client/ar_test_util.h"
#include "client/ar/old_reader.h"
#include "support/old_archive_builder.h"

namespace {

using artest::readFile;
using artest::writeBytes;
using qvptest::OldArchiveBuilder;
namespace fs = std::filesystem;

void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

class OldReader : public artest::ArTest {
protected:
    fs::path Archive() const { return root() / "old.arc"; }
    fs::path Out() const { return root() / "out"; }
    int Extract(const std::vector<uint8_t>& bytes, int keep = 1) {
        writeBytes(Archive(), bytes);
        fs::create_directories(Out());
        return arCreateUnarcFile(Archive().c_str(), Out().c_str(), keep);
    }
    // Everything below the test's folder that is not the archive or the restore folder.
    std::vector<std::string> Strays() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(root())) {
            const std::string name = e.path().filename();
            if (name != "old.arc" && name != "out" && name != "data" && name != "run" &&
                name != "qvpapi.conf")
                out.push_back(name);
        }
        return out;
    }
};

TEST(OldTime, NineHoursAheadWhateverTheZone) {
    EXPECT_EQ(qvpuarMakeTime(700101, 90000), 0);
    EXPECT_EQ(qvpuarMakeTime(700102, 90000), 86400);
    // 2000-03-01 00:00:00 (+9): the leap day of 2000 is counted.
    EXPECT_EQ(qvpuarMakeTime(301, 0), 951868800 - 32400);
    EXPECT_EQ(qvpuarMakeTime(991231, 235959), 946684799 - 32400);
    EXPECT_FALSE(qvpuarMakeTime(700001, 0).has_value());
    EXPECT_FALSE(qvpuarMakeTime(701301, 0).has_value());
}

TEST_F(OldReader, ExtractsFoldersFilesTimesAndKeepsOrDeletes) {
    OldArchiveBuilder b;
    b.AddFolder("\\dir");
    auto& file = b.AddFile("\\dir\\a.txt", "alpha");
    file.writeDate = 700101;
    file.writeTime = 90010;  // 10 s after the epoch
    file.accessDate = 700101;
    file.accessTime = 90020;
    b.AddFile("\\top.bin", std::string(70000, 'x'));
    b.AddFile("\\empty", "");
    ASSERT_EQ(Extract(b.Build(), 1), kOldOk);
    const struct stat st = artest::lstatOf(Out() / "dir" / "a.txt");  // before a read moves it
    EXPECT_EQ(st.st_mtime, 10);
    EXPECT_EQ(st.st_atime, 20);
    EXPECT_EQ(readFile(Out() / "dir" / "a.txt"), "alpha");
    EXPECT_EQ(readFile(Out() / "top.bin"), std::string(70000, 'x'));
    EXPECT_TRUE(fs::is_regular_file(Out() / "empty"));
    EXPECT_TRUE(fs::exists(Archive()));

    ASSERT_EQ(Extract(b.Build(), 0), kOldOk);
    EXPECT_FALSE(fs::exists(Archive()));
}

TEST_F(OldReader, ANameWithoutLeadingSeparatorIsANameInsideTheFolder) {
    OldArchiveBuilder b;
    b.AddFile("side", "s");
    ASSERT_EQ(Extract(b.Build()), kOldOk);
    EXPECT_EQ(readFile(Out() / "side"), "s");
    EXPECT_FALSE(fs::exists(root() / "outside"));
}

TEST_F(OldReader, ReadOnlyFilesAndFoldersAreRestoredAndReplaced) {
    OldArchiveBuilder b;
    b.AddFolder("\\ro").attributes = 0x10 | 0x01;
    b.AddFile("\\ro\\f", "new").attributes = 0x01;
    ASSERT_EQ(Extract(b.Build()), kOldOk);
    EXPECT_EQ(readFile(Out() / "ro" / "f"), "new");
    EXPECT_EQ(artest::lstatOf(Out() / "ro" / "f").st_mode & 0222, 0u);
    // Again over the read-only results.
    ASSERT_EQ(Extract(b.Build()), kOldOk);
    EXPECT_EQ(readFile(Out() / "ro" / "f"), "new");
}

TEST_F(OldReader, RestoreFolderFromTheArchive) {
    win::registry::SetPlatform("DriveC", (root() / "c").string());
    fs::create_directories(root() / "c");
    OldArchiveBuilder b;
    const int16_t drive = b.AddName("C");
    const int16_t base = b.AddName("\\work\\F");
    b.SetRestore(drive, base);
    b.AddFile("\\x", "1");
    writeBytes(Archive(), b.Build());
    ASSERT_EQ(arCreateUnarcFile(Archive().c_str(), nullptr, 1), kOldOk);
    EXPECT_EQ(readFile(root() / "c" / "work" / "F" / "x"), "1");
}

TEST_F(OldReader, MissingArchiveAndMissingDrive) {
    EXPECT_EQ(arCreateUnarcFile((root() / "none").c_str(), Out().c_str(), 1), kOldMissing);
    OldArchiveBuilder b;
    b.AddFile("\\x", "1");
    writeBytes(Archive(), b.Build());
    EXPECT_EQ(arCreateUnarcFile(Archive().c_str(), (root() / "nope" / "deeper").c_str(), 1),
              kOldOk);  // the first level exists (the test root's own parents), the rest is made
    EXPECT_EQ(arCreateUnarcFile(Archive().c_str(), "/no-such-top-level-folder/x", 1), kOldNoDrive);
}

TEST_F(OldReader, DamagedEntriesAreRefusedWithoutLooping) {
    {
        OldArchiveBuilder b;
        b.AddFile("\\x", "1").headerLength = 0;  // would never move the walk on
        EXPECT_EQ(Extract(b.Build()), kOldFileFailed);
    }
    {
        OldArchiveBuilder b;
        b.AddFile("\\x", "12345").dataSizeOverride = 0x7FFFFFF0;
        EXPECT_EQ(Extract(b.Build()), kOldFileFailed);
    }
    {
        OldArchiveBuilder b;
        OldArchiveBuilder::Entry e;
        e.nameIndex = 5;
        b.AddEntry(e);
        EXPECT_EQ(Extract(b.Build()), kOldFileFailed);
        OldArchiveBuilder n;
        e.nameIndex = -1;
        n.AddEntry(e);
        EXPECT_EQ(Extract(n.Build()), kOldFileFailed);
    }
    {
        OldArchiveBuilder b;
        b.AddFile("\\..\\escaped", "bad");
        b.AddFile("\\sub\\..\\..\\escaped2", "bad");
        EXPECT_EQ(Extract(b.Build()), kOldFileFailed);
        OldArchiveBuilder c;
        c.AddFile("/../escaped3", "bad");
        EXPECT_EQ(Extract(c.Build()), kOldFileFailed);
        EXPECT_TRUE(Strays().empty());
    }
    {
        OldArchiveBuilder b;
        b.AddFile("\\" + std::string(250, 'n'), "long");
        EXPECT_EQ(Extract(b.Build()), kOldFileFailed);
    }
    EXPECT_TRUE(fs::exists(Archive()));  // never deleted after a failure
}

TEST_F(OldReader, DamagedHeadersAndTables) {
    OldArchiveBuilder b;
    b.AddFile("\\x", "1");
    const std::vector<uint8_t> good = b.Build();
    std::vector<uint8_t> past = good;
    PutLe32(past, 0, static_cast<uint32_t>(good.size() + 10));
    EXPECT_EQ(Extract(past), kOldIoFailed);
    std::vector<uint8_t> crossed = good;
    PutLe32(crossed, 16, static_cast<uint32_t>(good.size()));
    PutLe32(crossed, 0, static_cast<uint32_t>(good.size() - 1));
    EXPECT_EQ(Extract(crossed), kOldIoFailed);
    std::vector<uint8_t> longName = good;
    longName.insert(longName.end() - 1, 300, 'n');
    PutLe32(longName, 0, static_cast<uint32_t>(longName.size()));
    EXPECT_EQ(Extract(longName), kOldIoFailed);
    // An entry header that runs past the end of the file.
    std::vector<uint8_t> entry = good;
    PutLe32(entry, 4, static_cast<uint32_t>(good.size() - 10));
    PutLe32(entry, 16, static_cast<uint32_t>(good.size() - 1));
    PutLe32(entry, 0, static_cast<uint32_t>(good.size()));
    EXPECT_EQ(Extract(entry), kOldEntryUnread);
    EXPECT_EQ(Extract(std::vector<uint8_t>(good.begin(), good.begin() + 30)), kOldIoFailed);
}

TEST_F(OldReader, NameTableRunsOfNulsSeparateNames) {
    OldArchiveBuilder b;
    b.AddFile("\\first", "1");
    b.AddFile("\\second", "2");
    std::vector<uint8_t> bytes = b.Build();
    // Doubling the NUL after the first name keeps the second name at index 1.
    const std::string table = "\\first";
    const auto at = std::search(bytes.begin() + 60, bytes.end(), table.begin(), table.end());
    ASSERT_NE(at, bytes.end());
    bytes.insert(at + static_cast<long>(table.size()), 0);
    PutLe32(bytes, 0, static_cast<uint32_t>(bytes.size()));
    ASSERT_EQ(Extract(bytes), kOldOk);
    EXPECT_EQ(readFile(Out() / "second"), "2");
}

}  // namespace
