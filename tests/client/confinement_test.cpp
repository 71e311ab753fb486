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

using Names = std::vector<std::string>;
Names NamesIn(const fs::path& dir) {
    Names names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Through qvAPIUnArchive: "<root>/a/PKG1/abc.qvz" unpacks into "<root>/out/abc_PKG1".
TEST_F(ArTest, OldFormatNamesAreJoinedBelowTheRestoreFolder) {
    const struct {
        const char* name;
        const char* lands;  // below "out/abc_PKG1"; null: refused
    } cases[] = {
        {"\x81/../x", nullptr},  // a lead byte before '/' is no character: "..", the parent
        {"\\\x81/../x", nullptr},
        {"side", "side"},                // glued to the folder it would be "abc_PKG1side"
        {"\\\x81\\..", "\x81\\.."},  // a real double-byte character, then ".."
    };
    const fs::path archive = root() / "a" / "PKG1" / "abc.qvz";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "out");
        fs::create_directories(root() / "out");
        fs::create_directories(archive.parent_path());
        qvptest::OldArchiveBuilder b;
        b.AddFile(c.name, "payload");
        writeBytes(archive, b.Build());
        EXPECT_EQ(qvAPIUnArchive(archive.c_str(), (root() / "out").c_str()), c.lands ? 1 : 0);
        EXPECT_EQ(NamesIn(root() / "out"), Names{"abc_PKG1"});
        if (c.lands) {
            EXPECT_EQ(readFile(root() / "out" / "abc_PKG1" / c.lands), "payload");
        } else {
            EXPECT_TRUE(NamesIn(root() / "out" / "abc_PKG1").empty());
        }
    }
}

// "sub" in the restore folder links elsewhere: nothing goes through it, a folder entry for it
// or not (lone new-format entries: ar_extract_test).
TEST_F(ArTest, OldFormatNeverWritesThroughALinkInsideTheRestoreTree) {
    for (const bool folderEntry : {true, false}) {
        SCOPED_TRACE(folderEntry ? "folder entry first" : "lone file entry");
        fs::remove_all(root() / "out");
        fs::create_directories(root() / "elsewhere");
        fs::create_directories(root() / "out");
        fs::create_directory_symlink(root() / "elsewhere", root() / "out" / "sub");
        qvptest::OldArchiveBuilder b;
        if (folderEntry) b.AddFolder("\\sub");
        b.AddFile("\\sub\\a.txt", "x");
        writeBytes(root() / "in.arc", b.Build());
        EXPECT_NE(qvparMain((root() / "in.arc").c_str(), (root() / "out").c_str(), 1), 0);
        EXPECT_TRUE(fs::is_empty(root() / "elsewhere"));
    }
}

// Distinct Linux names the Windows rules would take for one, in both formats; a second
// extraction over the first replaces each file by its own name only.
TEST_F(ArTest, NamesTheWindowsRulesWouldMergeStayApart) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"dup", "plain"}, {"dup ", "blank"}, {"x", "x"},       {"x.", "x dot"}, {"Case", "upper"},
        {"CASE", "caps"}, {"e/in", "in e"},  {"e./in", "e."},  {"Dir/a", "a"},  {"DIR/a", "A"}};
    qvptest::OldArchiveBuilder old;
    for (const auto& [name, text] : files) {
        writeFile(root() / "src" / name, text);
        if (const size_t slash = name.find('/'); slash != std::string::npos)
            old.AddFolder("\\" + name.substr(0, slash));
        old.AddFile("\\" + name, text);
    }
    writeBytes(root() / "old.arc", old.Build());
    ASSERT_EQ(qvpcarCreateArcFile((root() / "src").c_str(), "", 0, 0, nullptr, (root() / "new.arc").c_str(), 0), 0);
    for (const char* stem : {"new", "old"}) {
        SCOPED_TRACE(stem);
        const fs::path out = root() / stem;
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(qvparMain((root() / (std::string(stem) + ".arc")).c_str(), out.c_str(), 1), 0);
            for (const auto& [name, text] : files) EXPECT_EQ(readFile(out / name), text) << name;
        }
        EXPECT_EQ(NamesIn(out), NamesIn(root() / "src"));
    }
}

TEST_F(ArTest, TimesBefore1601AreReportedAsInvalid) {
    // Where the test folder's file system can't hold such a time, a memory one may.
    for (const fs::path& base : {root(), fs::path("/dev/shm")}) {
        const fs::path src = base / ("qvp-1601-" + std::to_string(getpid()));
        writeFile(src / "old", "o");
        const struct timespec ts[2] = {{0, UTIME_OMIT}, {-11700000000, 0}};  // 1599
        const bool held = utimensat(AT_FDCWD, (src / "old").c_str(), ts, 0) == 0 &&
                          lstatOf(src / "old").st_mtime == -11700000000;
        if (held) {
            EXPECT_EQ(qvpcarCreateArcFile(src.c_str(), "", 0, 0, nullptr, (root() / "t.arc").c_str(), 0), 25);
        }
        fs::remove_all(src);
        if (held) return;
    }
    GTEST_SKIP() << "no file system here holds a time before 1601";
}

TEST_F(ArTest, ALinkPlantedAtTheWritersOldTemporaryNameIsLeftAlone) {
    writeFile(root() / "src" / "f", "data");
    writeFile(root() / "victim", "precious");
    const fs::path archive = root() / "t.arc";
    fs::create_symlink(root() / "victim", archive.string() + "." + std::to_string(getpid()) + "_" +
                                              std::to_string(gettid()) + ".tmp");
    ASSERT_EQ(qvpcarCreateArcFile((root() / "src").c_str(), "", 0, 0, nullptr, archive.c_str(), 0), 0);
    EXPECT_EQ(readFile(root() / "victim"), "precious");
    EXPECT_TRUE(S_ISREG(lstatOf(archive).st_mode));
}

// A decode that fills the disk (here: reaches the file size limit) leaves no partial file, and
// the encoded file as it was, also where the decoded file is to take its name.
TEST_F(ArTest, ADecodeThatFillsTheDiskLeavesNothingBehind) {
    const fs::path encoded = root() / "w" / "big.ecd";
    fs::create_directories(encoded.parent_path());
    const std::vector<uint8_t> bytes = qvptest::EcdEncode(std::vector<uint8_t>(1 << 20, 'z'), qvptest::EcdEncoding::Huffman);
    writeBytes(encoded, bytes);
    for (const fs::path& target : {root() / "w" / "out.arc", encoded}) {
        const auto decodeWithLimit = [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit{};
            limit.rlim_cur = limit.rlim_max = bytes.size() + 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
            std::_Exit(EcdCtrlDecodeFile(encoded.c_str(), target.c_str()) == kEcdIoError ? 0 : 1);
        };
        EXPECT_EXIT(decodeWithLimit(), ::testing::ExitedWithCode(0), "");
        EXPECT_TRUE(readBytes(encoded) == bytes);
        EXPECT_EQ(NamesIn(root() / "w"), Names{"big.ecd"});
    }
}

}  // namespace
