// The script-package wrappers, the folder-tree removal and the archiver's shared failure
// records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/ar_test_util.h"
#include "client/ar/far.h"
#include "client/ar/swpkg.h"
#include "client/ar/unarchive.h"
#include "support/ecd_encoder.h"

namespace {

using artest::readBytes;
using artest::readFile;
using artest::writeBytes;
using artest::writeFile;
namespace fs = std::filesystem;

class Wrappers : public artest::ArTest {};

size_t CountEntries(const fs::path& folder) {
    size_t count = 0;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it)
        ++count;
    return count;
}

TEST_F(Wrappers, PackAndUnpackAFolderOfAThousandAndOneEntries) {
    const fs::path work = root() / "COLLECT" / "WORK";
    writeFile(work / "ZARN.SCI", "run it");
    for (int i = 0; i < 1000; ++i)
        writeFile(work / ("entry_with_a_rather_long_name_" + std::to_string(i) + ".dat"),
                  std::to_string(i));
    const fs::path q = root() / "COLLECT" / "Q0000000";
    writeFile(q, "the previous Q file");

    ASSERT_EQ(qvpSwpEndCangeQFile(work.c_str(), q.c_str()), 0);
    EXPECT_FALSE(fs::exists(work));
    EXPECT_NE(readFile(q), "the previous Q file");
    const auto entries = artest::listArchive(readBytes(q));
    EXPECT_EQ(entries.size(), 1001u);

    const fs::path out = root() / "unpacked";
    ASSERT_EQ(qvpSwpStartCangeQFile(q.c_str(), out.c_str()), 0);
    EXPECT_FALSE(fs::exists(q));
    EXPECT_EQ(readFile(out / "ZARN.SCI"), "run it");
    EXPECT_EQ(readFile(out / "entry_with_a_rather_long_name_999.dat"), "999");
    EXPECT_EQ(CountEntries(out), 1001u);
}

TEST_F(Wrappers, EmptyFolderPacksTheFolderItself) {
    const fs::path work = root() / "empty";
    fs::create_directories(work);
    const fs::path q = root() / "Q";
    ASSERT_EQ(qvpSwpEndCangeQFile(work.c_str(), q.c_str()), 0);
    EXPECT_FALSE(fs::exists(work));
    const auto entries = artest::listArchive(readBytes(q));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, ".");
}

TEST_F(Wrappers, FailuresLeaveTheQFile) {
    const fs::path q = root() / "Q";
    writeFile(q, "keep me");
    EXPECT_EQ(qvpSwpEndCangeQFile((root() / "missing").c_str(), q.c_str()), -1);
    EXPECT_EQ(readFile(q), "keep me");
    EXPECT_EQ(qvpSwpStartCangeQFile((root() / "none.arc").c_str(), (root() / "o").c_str()), -1);
}

TEST_F(Wrappers, ShortFileMarkedOldIsRefusedByTheOldReaderAndKept) {
    // 'N','N' at offset 8 makes it an old-format archive however short it is; that reader's
    // failure does not delete it, as a failed new-format extraction would.
    const fs::path q = root() / "Q";
    writeFile(q, std::string("12345678NN") + std::string(20, 'x'));
    EXPECT_EQ(qvpSwpStartCangeQFile(q.c_str(), (root() / "o").c_str()), -1);
    EXPECT_TRUE(fs::exists(q));
}

TEST_F(Wrappers, EncodedQFileIsDecodedInPlaceAndConsumed) {
    const fs::path work = root() / "w";
    writeFile(work / "ZARN.SCI", "s");
    const fs::path q = root() / "Q";
    ASSERT_EQ(qvpSwpEndCangeQFile(work.c_str(), q.c_str()), 0);
    writeBytes(q, qvptest::EcdEncode(readBytes(q), qvptest::EcdEncoding::Huffman));
    ASSERT_EQ(qvpSwpStartCangeQFile(q.c_str(), (root() / "o").c_str()), 0);
    EXPECT_EQ(readFile(root() / "o" / "ZARN.SCI"), "s");
    EXPECT_FALSE(fs::exists(q));
    EXPECT_FALSE(fs::exists(root() / "Q.dcd"));

    // Undecodable: the unpacking fails, and the caller's file stays as it was, with no
    // temporary beside it.
    const auto undecodable = qvptest::EcdEncode({}, qvptest::EcdEncoding::Huffman);
    writeBytes(q, undecodable);
    EXPECT_EQ(qvpSwpStartCangeQFile(q.c_str(), (root() / "o2").c_str()), -1);
    EXPECT_EQ(readBytes(q), undecodable);
    for (const auto& e : fs::directory_iterator(root()))
        EXPECT_EQ(e.path().string().find(".dcd"), std::string::npos) << e.path();
}

TEST_F(Wrappers, RemoveDirectryRemovesReadOnlyTreesButNotWhatLinksPointTo) {
    const fs::path tree = root() / "tree";
    writeFile(tree / "a" / "b" / "f.txt", "x");
    writeFile(tree / "g.txt", "y");
    const fs::path outside = root() / "outside";
    writeFile(outside / "precious", "z");
    fs::create_directory_symlink(outside, tree / "link");
    ASSERT_TRUE(win::SetFileAttributes((tree / "a" / "b" / "f.txt").c_str(),
                                       win::FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(win::SetFileAttributes((tree / "a").c_str(),
                                       win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_READONLY));

    // With a trailing separator only the contents go.
    ASSERT_EQ(qvpFarRemoveDirectry((tree.string() + "/").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(tree));
    EXPECT_TRUE(fs::is_empty(tree));
    EXPECT_EQ(readFile(outside / "precious"), "z");

    writeFile(tree / "again", "1");
    ASSERT_EQ(qvpFarRemoveDirectry(tree.c_str()), 0);
    EXPECT_FALSE(fs::exists(tree));

    EXPECT_EQ(qvpFarRemoveDirectry((root() / "nothing").c_str()), -1);
    EXPECT_NE(win::GetLastError(), 0u);
}

TEST(LastMessage, ModesKeepTheFirstFailureSaveAndRestore) {
    qvpLastMessageSet(0, 0, "", kLastMessageReplace);
    qvpLastMessageSet(0, 0, "", kLastMessageRestore);  // clears the saved slot
    qvpLastMessageSet(-1, 0, "Resource Error 1", kLastMessageFirst);
    qvpLastMessageSet(5, 1, "later", kLastMessageFirst);
    QvpLastMessage m = qvpLastMessageGet();
    EXPECT_EQ(m.code, 0xFFFFFFFFu);
    EXPECT_EQ(m.text, "Resource Error 1");
    qvpLastMessageSet(7, 2, ", more", kLastMessageAppend);
    m = qvpLastMessageGet();
    EXPECT_EQ(m.code, 0xFFFFFFFFu);
    EXPECT_EQ(m.text, "Resource Error 1, more");
    qvpLastMessageSet(0, 0, nullptr, kLastMessageSave);
    EXPECT_EQ(qvpLastMessageGet().text, "");
    EXPECT_EQ(qvpLastMessageGetSaved().text, "Resource Error 1, more");
    qvpLastMessageSet(3, 1, "ReadFile()", kLastMessageReplace);
    qvpLastMessageSet(0, 0, nullptr, kLastMessageRestore);
    EXPECT_EQ(qvpLastMessageGet().text, "Resource Error 1, more");
    EXPECT_EQ(qvpLastMessageGetSaved().code, 0u);
    // Restoring an empty saved slot leaves the current one.
    qvpLastMessageSet(0, 0, nullptr, kLastMessageRestore);
    EXPECT_EQ(qvpLastMessageGet().text, "Resource Error 1, more");
    // Texts are cut at 259 characters, also when appended.
    qvpLastMessageSet(1, 1, std::string(300, 'x').c_str(), kLastMessageReplace);
    EXPECT_EQ(qvpLastMessageGet().text.size(), 259u);
    qvpLastMessageSet(1, 1, "tail", kLastMessageAppend);
    EXPECT_EQ(qvpLastMessageGet().text, std::string(259, 'x'));
}

TEST(ErrorDetail, RecordLayout) {
    qvparSetErrorDetail(0x1301, 0xB7);
    const QvpErrorDetail d = qvparGetErrorDetail();
    EXPECT_EQ(std::string(d.begin(), d.begin() + 16), "FFFE1301000000b7");
    EXPECT_LT(d[16], 100);
    EXPECT_GE(d[17], 1);
    EXPECT_LE(d[17], 12);
    EXPECT_LE(d[19], 23);
}

}  // namespace
