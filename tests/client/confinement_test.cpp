// Extraction stays inside its folder and keeps every name it is given; the writer's and the
// decoder's temporaries can't be taken over.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "ar_test_util.h"
#include "client/ar/archiver.h"
#include "client/ecd/ecd.h"
#include "qvpapi.h"
#include "support/ecd_encoder.h"
#include "support/old_archive_builder.h"

using namespace artest;

namespace {

class Confinement : public ArTest {
protected:
    fs::path Outside() const { return root() / "elsewhere"; }
    // The names of a folder, sorted.
    static std::vector<std::string> Names(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Through qvAPIUnArchive: "<root>/a/PKG1/abc.qvz" unpacks into "<root>/out/abc_PKG1".
TEST_F(Confinement, OldFormatNamesAreJoinedBelowTheRestoreFolder) {
    struct Case {
        const char* name;
        int result;
        const char* lands;  // below "out", or null
    };
    const Case cases[] = {
        // A lead byte before '/': one part to a lax reader, "..": the folder's parent.
        {"\x81/../x", 0, nullptr},
        {"\\\x81/../x", 0, nullptr},
        // Glued to the folder's name, "side" would become "abc_PKG1side".
        {"side", 1, "abc_PKG1/side"},
        {"\\\x81\\..", 1, "abc_PKG1/\x81\\.."},  // a real double-byte character, then ".."
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "out");
        fs::create_directories(root() / "out");
        qvptest::OldArchiveBuilder b;
        b.AddFile(c.name, "payload");
        const fs::path archive = root() / "a" / "PKG1" / "abc.qvz";
        fs::create_directories(archive.parent_path());
        writeBytes(archive, b.Build());
        EXPECT_EQ(qvAPIUnArchive(archive.c_str(), (root() / "out").c_str()), c.result);
        if (c.lands) {
            EXPECT_EQ(readFile(root() / "out" / c.lands), "payload");
            EXPECT_EQ(Names(root() / "out"), std::vector<std::string>{"abc_PKG1"});
        } else {
            EXPECT_EQ(Names(root() / "out"), std::vector<std::string>{"abc_PKG1"});
            EXPECT_TRUE(Names(root() / "out" / "abc_PKG1").empty());
        }
    }
}

// "sub" below the restore folder is a link to a folder elsewhere: nothing goes through it,
// even with a folder entry for "sub" first (the new format's lone entries: ar_extract_test).
TEST_F(Confinement, OldFormatNeverWritesThroughALinkInsideTheRestoreTree) {
    fs::create_directories(Outside());
    fs::create_directories(root() / "out");
    fs::create_directory_symlink(Outside(), root() / "out" / "sub");
    qvptest::OldArchiveBuilder b;
    b.AddFolder("\\sub");
    b.AddFile("\\sub\\a.txt", "x");
    writeBytes(root() / "in.arc", b.Build());
    EXPECT_NE(qvparMain((root() / "in.arc").c_str(), (root() / "out").c_str(), 1), 0);
    EXPECT_TRUE(Names(Outside()).empty());
    EXPECT_TRUE(fs::is_symlink(root() / "out" / "sub"));
}

// Distinct Linux names that the Windows rules would take for one.
TEST_F(Confinement, NamesTheWindowsRulesWouldMergeArePackedAndUnpackedByteForByte) {
    const fs::path src = root() / "src";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"dup", "plain"},   {"dup ", "blank"},  {"x", "x"},          {"x.", "x dot"},
        {"Case", "upper"},  {"CASE", "caps"},   {"e/in", "in e"},    {"e./in2", "in e dot"},
        {"Dir/a", "a"},     {"DIR/a", "A"},
    };
    for (const auto& [name, text] : files) writeFile(src / name, text);
    const fs::path archive = root() / "t.arc";
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), "", 0, 0, nullptr, archive.c_str(), 0), 0);
    const fs::path out = root() / "out";
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    for (const auto& [name, text] : files) EXPECT_EQ(readFile(out / name), text) << name;
    EXPECT_EQ(Names(out), Names(src));
    // Again over the first result: each file replaces its own name only.
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    for (const auto& [name, text] : files) EXPECT_EQ(readFile(out / name), text) << name;
    EXPECT_EQ(Names(out), Names(src));
}

TEST_F(Confinement, OldFormatCaseVariantsBothLand) {
    qvptest::OldArchiveBuilder b;
    b.AddFile("\\Case", "1");
    b.AddFile("\\CASE", "2");
    b.AddFolder("\\Dir");
    b.AddFile("\\Dir\\f", "3");
    b.AddFolder("\\DIR");
    b.AddFile("\\DIR\\f", "4");
    writeBytes(root() / "old.arc", b.Build());
    ASSERT_EQ(qvparMain((root() / "old.arc").c_str(), (root() / "out").c_str(), 1), 0);
    EXPECT_EQ(readFile(root() / "out" / "Case"), "1");
    EXPECT_EQ(readFile(root() / "out" / "CASE"), "2");
    EXPECT_EQ(readFile(root() / "out" / "Dir" / "f"), "3");
    EXPECT_EQ(readFile(root() / "out" / "DIR" / "f"), "4");
}

TEST_F(Confinement, TimesBefore1601AreReportedAsInvalid) {
    // Where the test folder's file system can't hold such a time, a memory file system may.
    for (const fs::path& base : {root(), fs::path("/dev/shm")}) {
        const fs::path src = base / ("qvp-1601-" + std::to_string(getpid()));
        writeFile(src / "old", "o");
        struct timespec ts[2] = {{0, UTIME_OMIT}, {-11700000000, 0}};  // 1599
        const bool held = utimensat(AT_FDCWD, (src / "old").c_str(), ts, 0) == 0 &&
                          lstatOf(src / "old").st_mtime == -11700000000;
        if (held) {
            EXPECT_EQ(qvpcarCreateArcFile(src.c_str(), "", 0, 0, nullptr, (root() / "t.arc").c_str(), 0),
                      25);
            EXPECT_FALSE(fs::exists(root() / "t.arc"));
        }
        fs::remove_all(src);
        if (held) return;
    }
    GTEST_SKIP() << "no file system here holds a time before 1601";
}

TEST_F(Confinement, APlantedLinkAtTheWritersOldTemporaryNameIsLeftAlone) {
    writeFile(root() / "src" / "f", "data");
    writeFile(root() / "victim", "precious");
    const fs::path archive = root() / "t.arc";
    const std::string old = archive.string() + "." + std::to_string(getpid()) + "_" +
                            std::to_string(gettid()) + ".tmp";
    fs::create_symlink(root() / "victim", old);
    ASSERT_EQ(qvpcarCreateArcFile((root() / "src").c_str(), "", 0, 0, nullptr, archive.c_str(), 0), 0);
    EXPECT_EQ(readFile(root() / "victim"), "precious");
    EXPECT_TRUE(S_ISREG(lstatOf(archive).st_mode));
    EXPECT_TRUE(fs::is_symlink(old));
}

// A decode that fills the disk (here: the file size limit) fails cleanly: no partial file, the
// encoded file as it was.
TEST_F(Confinement, ADecodeThatFillsTheDiskLeavesNothingBehind) {
    const fs::path encoded = root() / "w" / "big.ecd";
    fs::create_directories(encoded.parent_path());
    const std::vector<uint8_t> plain(1 << 20, 'z');
    const std::vector<uint8_t> bytes = qvptest::EcdEncode(plain, qvptest::EcdEncoding::Huffman);
    writeBytes(encoded, bytes);
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "beside");
        const fs::path target = inPlace ? encoded : root() / "w" / "out.arc";
        const auto decodeWithLimit = [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit{};
            limit.rlim_cur = limit.rlim_max = bytes.size() + 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
            std::_Exit(EcdCtrlDecodeFile(encoded.c_str(), target.c_str()) == kEcdIoError ? 0 : 1);
        };
        EXPECT_EXIT(decodeWithLimit(), ::testing::ExitedWithCode(0), "");
        EXPECT_TRUE(readBytes(encoded) == bytes);
        EXPECT_EQ(Names(root() / "w"), std::vector<std::string>{"big.ecd"});
    }
}

}  // namespace
