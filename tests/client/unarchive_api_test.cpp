// qvAPIUnArchive: argument and name rules, the target folder, and the archive left untouched
// whatever kind it is and however the extraction ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "client/ar_test_util.h"
#include "client/ar/archiver.h"
#include "core/block.h"
#include "core/log.h"
#include "support/ecd_encoder.h"
#include "support/old_archive_builder.h"
#include "qvpapi.h"

namespace {

using artest::readBytes;
using artest::readFile;
using artest::writeBytes;
using artest::writeFile;
using qvptest::EcdEncode;
using qvptest::EcdEncoding;
namespace fs = std::filesystem;

class UnArchive : public artest::ArTest {
protected:
    void SetUp() override {
        artest::ArTest::SetUp();
        // A new-format archive of a small tree, the input of most cases.
        const fs::path tree = root() / "tree";
        writeFile(tree / "ZARN.SCI", "script");
        writeFile(tree / "sub" / "data.bin", std::string(5000, 'd'));
        fs::create_directories(root() / "a" / "PKG1");
        ASSERT_EQ(qvpcarCreateArcFile(tree.c_str(), "", 0, 0, nullptr, Plain().c_str(), 0), 0);
        plain_ = readBytes(Plain());
    }
    fs::path Plain() const { return root() / "plain.arc"; }
    fs::path Archive(const std::string& name = "abc.qvz") const {
        return root() / "a" / "PKG1" / name;
    }
    fs::path Target() const { return root() / "out" / "abc_PKG1"; }
    int Run(const fs::path& archive) {
        return qvAPIUnArchive(archive.c_str(), (root() / "out").c_str());
    }
    void ExpectTree(const fs::path& at) {
        EXPECT_EQ(readFile(at / "ZARN.SCI"), "script");
        EXPECT_EQ(readFile(at / "sub" / "data.bin"), std::string(5000, 'd'));
    }
    // Nothing but the archive itself in its folder: no temporary file stays behind.
    void ExpectOnlyArchive() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root() / "a" / "PKG1"))
            names.push_back(e.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"abc.qvz"});
    }
    std::vector<uint8_t> plain_;
};

// With the thread's DLL.LOG open, as in a session.
class UnArchiveLog : public UnArchive {
protected:
    void SetUp() override {
        UnArchive::SetUp();
        qvpGetThreadBlock()->dllLogId = qvpLogOpen("DLL.LOG");
    }
    void TearDown() override {
        qvpLogClose(qvpGetThreadBlock()->dllLogId);
        qvpGetThreadBlock()->dllLogId = 0;
        UnArchive::TearDown();
    }
    // DLL.LOG records written since the last call.
    std::string NewLines() {
        const std::string all = readFile(root() / "data" / "LOG" / "DLL.LOG");
        std::string fresh = all.substr(std::min(seen_, all.size()));
        seen_ = all.size();
        return fresh;
    }
    size_t seen_ = 0;
};

TEST_F(UnArchive, NewFormatArchiveGoesToNameUnderscoreFolder) {
    writeBytes(Archive(), plain_);
    ASSERT_EQ(Run(Archive()), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    ExpectTree(Target());
    EXPECT_TRUE(readBytes(Archive()) == plain_);
}

TEST_F(UnArchive, EncodedArchivesAreDecodedBesideAndLeftAsTheyWere) {
    for (EcdEncoding encoding : {EcdEncoding::Stored, EcdEncoding::Huffman, EcdEncoding::Zlib}) {
        SCOPED_TRACE(static_cast<int>(encoding));
        fs::remove_all(root() / "out");
        qvptest::EcdFileOptions options;
        options.w2 = 0x4E4E1234;  // 'N','N' at offset 8: still an encoded file first
        const std::vector<uint8_t> encoded = EcdEncode(plain_, encoding, options);
        writeBytes(Archive(), encoded);
        ASSERT_EQ(Run(Archive()), 1);
        ExpectTree(Target());
        EXPECT_TRUE(readBytes(Archive()) == encoded);
        ExpectOnlyArchive();
    }
}

TEST_F(UnArchive, FailedDecodeLeavesTheArchiveAndNoTemporaryFile) {
    std::vector<uint8_t> encoded = EcdEncode(plain_, EcdEncoding::Zlib);
    encoded[30] ^= 0xFF;
    encoded[31] ^= 0xFF;
    writeBytes(Archive(), encoded);
    EXPECT_EQ(Run(Archive()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
    EXPECT_TRUE(readBytes(Archive()) == encoded);
    ExpectOnlyArchive();
}

TEST_F(UnArchive, EncodedArchiveWhoseContentFailsIsLeftAsItWas) {
    std::vector<uint8_t> broken = plain_;
    broken[12] = 9;  // ResGen_No
    const std::vector<uint8_t> encoded = EcdEncode(broken, EcdEncoding::Huffman);
    writeBytes(Archive(), encoded);
    EXPECT_EQ(Run(Archive()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
    EXPECT_TRUE(readBytes(Archive()) == encoded);
    ExpectOnlyArchive();
}

TEST_F(UnArchive, FailedNewFormatExtractionLeavesTheArchive) {
    std::vector<uint8_t> broken = plain_;
    broken[12] = 9;  // ResGen_No
    writeBytes(Archive(), broken);
    EXPECT_EQ(Run(Archive()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
    EXPECT_TRUE(readBytes(Archive()) == broken);
}

TEST_F(UnArchive, OldFormatArchiveAndCapitalExtension) {
    qvptest::OldArchiveBuilder b;
    b.AddFolder("\\f");
    b.AddFile("\\f\\old.txt", "old");
    const std::vector<uint8_t> old = b.Build();
    writeBytes(Archive("abc.QVZ"), old);
    ASSERT_EQ(Run(Archive("abc.QVZ")), 1);
    EXPECT_EQ(readFile(Target() / "f" / "old.txt"), "old");
    EXPECT_TRUE(readBytes(Archive("abc.QVZ")) == old);
}

TEST_F(UnArchive, ArgumentAndNameRules) {
    writeBytes(Archive(), plain_);
    const std::string out = (root() / "out").string();
    auto refused = [](int result) {
        return result == 0 && qvAPIGetLastError() == 0x20000057u;
    };
    EXPECT_TRUE(refused(qvAPIUnArchive(nullptr, out.c_str())));
    EXPECT_TRUE(refused(qvAPIUnArchive(Archive().c_str(), nullptr)));
    EXPECT_TRUE(refused(qvAPIUnArchive("", out.c_str())));
    EXPECT_TRUE(refused(qvAPIUnArchive(Archive().c_str(), "")));
    EXPECT_TRUE(refused(qvAPIUnArchive(("/" + std::string(260, 'x') + ".qvz").c_str(), out.c_str())));
    EXPECT_TRUE(refused(qvAPIUnArchive((root() / "a" / "missing.qvz").c_str(), out.c_str())));

    writeFile(root() / "a" / "PKG1" / "noext", "x");
    EXPECT_TRUE(refused(Run(root() / "a" / "PKG1" / "noext")));
    writeFile(root() / "a" / "PKG1" / "abc.zip", "x");
    EXPECT_TRUE(refused(Run(root() / "a" / "PKG1" / "abc.zip")));
    // "abc." names the file abc, whose extension is empty.
    writeFile(root() / "a" / "PKG1" / "abc", "x");
    EXPECT_TRUE(refused(Run(root() / "a" / "PKG1" / "abc.")));

    // No separator at all, and an archive directly in a drive root.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir((root() / "a" / "PKG1").c_str()), 0);
    const int bare = qvAPIUnArchive("abc.qvz", out.c_str());
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_TRUE(refused(bare));
    win::registry::SetPlatform("DriveC", (root() / "c").string());
    fs::create_directories(root() / "c");
    writeBytes(root() / "c" / "abc.qvz", plain_);
    EXPECT_TRUE(refused(qvAPIUnArchive("C:\\abc.qvz", out.c_str())));

    EXPECT_TRUE(refused(qvAPIUnArchive(Archive().c_str(), "D:")));
    EXPECT_TRUE(refused(qvAPIUnArchive(Archive().c_str(), "out")));
    EXPECT_TRUE(refused(qvAPIUnArchive(Archive().c_str(), (out + "/" + std::string(250, 'o')).c_str())));
    EXPECT_FALSE(fs::exists(Target()));
}

TEST_F(UnArchiveLog, EachRuleLogsItsLine) {
    writeBytes(Archive(), plain_);
    const std::string out = (root() / "out").string();
    auto logs = [&](int result, const std::string& line) {
        const std::string lines = NewLines();
        EXPECT_EQ(result, 0) << line;
        EXPECT_NE(lines.find(line), std::string::npos) << "missing: " << line << "\n" << lines;
        EXPECT_NE(lines.find(" dll "), std::string::npos);
        EXPECT_NE(lines.find("qvAPIUnArchive START"), std::string::npos);
    };
    logs(qvAPIUnArchive(nullptr, out.c_str()), "qvAPIUnArchive : lpArPath is NULL");
    logs(qvAPIUnArchive(Archive().c_str(), nullptr), "qvAPIUnArchive : lpRestorePath is NULL");
    logs(qvAPIUnArchive("", ""), "qvAPIUnArchive : Top of lpArPath is NULL");
    logs(qvAPIUnArchive(Archive().c_str(), ""), "qvAPIUnArchive : Top of lpRestorePath is NULL");
    logs(qvAPIUnArchive(("/" + std::string(260, 'x')).c_str(), out.c_str()),
         "qvAPIUnArchive : lpArPath MAX_PATH over");
    const std::string missing = (root() / "a" / "missing.qvz").string();
    logs(qvAPIUnArchive(missing.c_str(), out.c_str()),
         "qvAPIUnArchive : stat Error : File = " + missing + ", errno = 2");
    writeFile(root() / "a" / "PKG1" / "noext", "x");
    logs(Run(root() / "a" / "PKG1" / "noext"), "qvAPIUnArchive : file name NG");
    // "abc." names the file abc, whose extension is empty.
    writeFile(root() / "a" / "PKG1" / "abc", "x");
    logs(Run(root() / "a" / "PKG1" / "abc."), "qvAPIUnArchive : .qvz No");
    writeFile(root() / "a" / "PKG1" / "abc.zip", "x");
    logs(Run(root() / "a" / "PKG1" / "abc.zip"), "qvAPIUnArchive : .qvz NG");
    win::registry::SetPlatform("DriveC", (root() / "c").string());
    fs::create_directories(root() / "c");
    writeBytes(root() / "c" / "abc.qvz", plain_);
    logs(qvAPIUnArchive("C:\\abc.qvz", out.c_str()), "qvAPIUnArchive : NO Directry");
    logs(qvAPIUnArchive(Archive().c_str(), "D:"), "qvAPIUnArchive : no drive");
    logs(qvAPIUnArchive(Archive().c_str(), (out + "/" + std::string(250, 'o')).c_str()),
         "qvAPIUnArchive : wRestorePath MAX_PATH over");
    writeFile(root() / "out", "a file where the folder should be");
    logs(Run(Archive()), "qvpCreateDirectory Error : Path = " + Target().string());
    fs::remove(root() / "out");
    std::vector<uint8_t> broken = plain_;
    broken[12] = 9;
    writeBytes(Archive(), broken);
    logs(Run(Archive()), "qvAPIUnArchive : qvparMain Error");
}

TEST_F(UnArchive, DriveRootsAreAccepted) {
    win::registry::SetPlatform("DriveD", (root() / "d").string());
    fs::create_directories(root() / "d");
    writeBytes(Archive(), plain_);
    ASSERT_EQ(qvAPIUnArchive(Archive().c_str(), "D:\\out"), 1);
    ExpectTree(root() / "d" / "out" / "abc_PKG1");
}

TEST_F(UnArchive, TargetThatCantBeMadeIsAResourceFailure) {
    writeBytes(Archive(), plain_);
    writeFile(root() / "out", "a file where the folder should be");
    EXPECT_EQ(Run(Archive()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
    EXPECT_TRUE(readBytes(Archive()) == plain_);
}

}  // namespace
