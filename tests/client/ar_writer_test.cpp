// The archive writer: stored bytes, items and walks, refusals, and the target left intact when
// a pack fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "ar_test_util.h"
#include "client/ar/archiver.h"
#include "client/ar/ar_context.h"
#include "core/paths.h"
#include "share/wapi/wapi.h"

using namespace artest;

namespace {

class ArWriter : public ArTest {
protected:
    // The folder F of the format's own example: an empty folder a and a three-byte file.
    fs::path makeExampleTree() {
        fs::path f = root() / "work" / "F";
        fs::create_directories(f / "a");
        writeFile(f / "b.txt", "hi\n");
        fs::permissions(f / "a", fs::perms(0755));
        fs::permissions(f / "b.txt", fs::perms(0644));
        setTimes(f / "a", utc(2022, 1, 2, 3, 4, 5), utc(2021, 3, 4, 5, 6, 7));
        setTimes(f / "b.txt", utc(2022, 1, 2, 3, 4, 5), utc(2021, 3, 4, 5, 6, 7));
        return f;
    }
};

std::string names(std::initializer_list<const char*> list) {
    std::string out;
    for (const char* n : list) {
        out += n;
        out.push_back('\0');
    }
    return out;
}

std::vector<std::string> entryNames(const fs::path& archive) {
    std::vector<std::string> out;
    for (const auto& e : listArchive(readBytes(archive))) out.push_back(e.name);
    return out;
}

}  // namespace

TEST_F(ArWriter, GoldenArchiveMatchesTheFormatByteForByte) {
    fs::path f = makeExampleTree();
    fs::path out = root() / "golden.qvz";
    std::string list = names({"a", "b.txt"});
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, "C:\\work\\F", out.c_str(), 0), 0);

    // clang-format off
    const std::vector<uint8_t> expected = {
        // header QvConReIn (42 bytes)
        0x00, 0x00, 0x00, 0x00,             //  0 reserved
        0x00, 0x00, 0x00, 0xC7,             //  4 archive length: 199
        0x00, 0x00, 0x00, 0x2A,             //  8 header table at 42
        0x01, 0x00,                         // 12 ResGen_No {1, 0}
        0x00, 0x01,                         // 14 drive name: index 1
        0x00, 0x02,                         // 16 base path: index 2
        0x00, 0x06,                         // 18 names: C work/F a root sys b.txt
        0x00, 0x06,                         // 20 longest: "work/F"
        0x4E,                               // 22 compKind 'N'
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    // 23 reserved
        0x00, 0x00, 0x00, 0x00,             // 34 no extra area
        0x00, 0x00, 0x00, 0x09,             // 38 header table: 9 bytes
        // header MatchTable: "C" (1), "work/F" (2)
        'C', 0, 'w', 'o', 'r', 'k', '/', 'F', 0,
        // entry a: folder
        0x00, 0x00, 0x00, 0x40,             //  0 block length
        0x00, 0x00, 0x00, 0x00,             //  4 reserved
        0x00, 0x00, 0x00, 0x00,             //  8 data size
        0x20, 0x21, 0x03, 0x04,             // 12 written 2021-03-04
        0x00, 0x05, 0x06, 0x07,             // 16          05:06:07
        0x20, 0x22, 0x01, 0x02,             // 20 accessed 2022-01-02
        0x00, 0x03, 0x04, 0x05,             // 24          03:04:05
        0x00, 0x03,                         // 28 path "a"
        0x00, 0x00,                         // 30 no short name
        0x00, 0x04,                         // 32 "root"
        0x00, 0x05,                         // 34 "sys"
        0x00,                               // 36 folder, no attribute bits
        0x07,                               // 37
        0, 0, 0, 0, 0, 0,                   // 38 reserved
        0x00, 0x00, 0x00, 0x00,             // 44 data size again
        0, 0, 0, 0, 0, 0, 0, 0,             // 48 reserved
        0x00, 0x00, 0x00, 0x00,             // 56 no ACL block
        0x00, 0x00, 0x00, 0x0B,             // 60 entry table: 11 bytes
        'a', 0, 'r', 'o', 'o', 't', 0, 's', 'y', 's', 0,
        // entry b.txt: file with the archive bit
        0x00, 0x00, 0x00, 0x40,
        0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x03,             //  8 three bytes
        0x20, 0x21, 0x03, 0x04,
        0x00, 0x05, 0x06, 0x07,
        0x20, 0x22, 0x01, 0x02,
        0x00, 0x03, 0x04, 0x05,
        0x00, 0x06,                         // 28 path "b.txt"
        0x00, 0x00,
        0x00, 0x04,                         // 32 "root" again
        0x00, 0x05,                         // 34 "sys" again
        0x11,                               // 36 file | archive
        0x07,
        0, 0, 0, 0, 0, 0,
        0x00, 0x00, 0x00, 0x03,             // 44
        0, 0, 0, 0, 0, 0, 0, 0,
        0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x06,             // 60 entry table: "b.txt"
        'b', '.', 't', 'x', 't', 0,
        'h', 'i', '\n',
    };
    // clang-format on
    ASSERT_EQ(expected.size(), 199u);
    EXPECT_EQ(readBytes(out), expected);
}

TEST_F(ArWriter, GoldenArchiveWithAnAclBlock) {
    fs::path f = makeExampleTree();
    writeFile(root() / "data" / "PKG" / "ACLSETFL.INF", "0123456789");
    fs::path out = root() / "acl.qvz";
    std::string list = names({"b.txt"});
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 1, 0, "C:\\work\\F", out.c_str(), 1), 0);

    // clang-format off
    const std::vector<uint8_t> expected = {
        // header
        0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x95,             //  4 archive length: 149
        0x00, 0x00, 0x00, 0x2A,
        0x01, 0x00,
        0x00, 0x01,
        0x00, 0x02,
        0x00, 0x05,                         // 18 names: C work/F b.txt root sys
        0x00, 0x06,
        0x4E,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x09,
        'C', 0, 'w', 'o', 'r', 'k', '/', 'F', 0,
        // entry b.txt
        0x00, 0x00, 0x00, 0x40,
        0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x03,
        0x20, 0x21, 0x03, 0x04,
        0x00, 0x05, 0x06, 0x07,
        0x20, 0x22, 0x01, 0x02,
        0x00, 0x03, 0x04, 0x05,
        0x00, 0x03,                         // 28 path "b.txt"
        0x00, 0x00,
        0x00, 0x04,                         // 32 "root"
        0x00, 0x05,                         // 34 "sys"
        0x11,
        0x07,
        0, 0, 0, 0, 0, 0,
        0x00, 0x00, 0x00, 0x03,
        0, 0, 0, 0, 0, 0, 0, 0,
        0x00, 0x00, 0x00, 0x10,             // 56 ACL block: 10 descriptor bytes + 6
        0x00, 0x00, 0x00, 0x0F,             // 60 entry table: 15 bytes
        // arAclBlock: tag 5, length 10, the bytes of ACLSETFL.INF
        0x00, 0x05, 0x00, 0x00, 0x00, 0x0A,
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
        'b', '.', 't', 'x', 't', 0, 'r', 'o', 'o', 't', 0, 's', 'y', 's', 0,
        'h', 'i', '\n',
    };
    // clang-format on
    ASSERT_EQ(expected.size(), 149u);
    EXPECT_EQ(readBytes(out), expected);
}

TEST_F(ArWriter, KindsLabelTheHeader) {
    fs::path f = makeExampleTree();
    std::string list = names({"a"});
    for (auto [kind, label] : {std::pair{0, 'N'}, std::pair{1, 'H'}, std::pair{5, 'Z'}}) {
        fs::path out = root() / ("k" + std::to_string(kind));
        ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 1, kind, nullptr, out.c_str(), 0), 0);
        EXPECT_EQ(readBytes(out)[22], label);
    }
    fs::path bad = root() / "k2";
    EXPECT_NE(qvpcarCreateArcFile(f.c_str(), list.data(), 1, 2, nullptr, bad.c_str(), 0), 0);
    EXPECT_FALSE(fs::exists(bad));
}

TEST_F(ArWriter, ItemsBaseFolderAndWalkOrder) {
    fs::path src = root() / "src";
    writeFile(src / "B" / "z.txt", "z");
    writeFile(src / "B" / "a.txt", "a");
    writeFile(src / "a" / "b" / "c" / "deep.txt", "deep");
    writeFile(src / "a" / "b" / "other.txt", "no");
    writeFile(src / "top.txt", "t");

    // Without a list the source itself is the one item, below its parent.
    fs::path out1 = root() / "one.qvz";
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), nullptr, 0, 0, nullptr, out1.c_str(), 0), 0);
    EXPECT_EQ(entryNames(out1),
              (std::vector<std::string>{"src", "src/a", "src/a/b", "src/a/b/c", "src/a/b/c/deep.txt",
                                        "src/a/b/other.txt", "src/B", "src/B/a.txt", "src/B/z.txt",
                                        "src/top.txt"}));
    std::vector<std::string> stored;
    listArchive(readBytes(out1), &stored);
    ASSERT_GE(stored.size(), 2u);
    EXPECT_EQ(stored[0], "/");
    EXPECT_EQ(stored[1], fs::path(root()).relative_path().string());

    // A nested item brings the folders on its way, not their other contents.
    fs::path out2 = root() / "nested.qvz";
    std::string list = names({"a/b/c", "top.txt"});
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), list.data(), 2, 0, nullptr, out2.c_str(), 0), 0);
    EXPECT_EQ(entryNames(out2), (std::vector<std::string>{"a", "a/b", "a/b/c", "a/b/c/deep.txt",
                                                          "top.txt"}));
    // "root" and "sys" are stored once.
    auto entries = listArchive(readBytes(out2));
    for (const auto& e : entries) {
        EXPECT_EQ(e.rootIndex, entries[0].rootIndex);
        EXPECT_EQ(e.sysIndex, entries[0].sysIndex);
    }
}

TEST_F(ArWriter, CountZeroPacksTheFolderItselfAsDot) {
    fs::path empty = root() / "empty";
    fs::create_directories(empty);
    fs::path out = root() / "dot.qvz";
    char list[1] = {0};
    ASSERT_EQ(qvpcarCreateArcFile(empty.c_str(), list, 0, 0, nullptr, out.c_str(), 0), 0);
    auto entries = listArchive(readBytes(out));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, ".");
    EXPECT_EQ(entries[0].kind & 0x01, 0);
}

TEST_F(ArWriter, LinksPipesAndSocketsAreNeitherStoredNorEntered) {
    fs::path src = root() / "src";
    writeFile(src / "real.txt", "r");
    fs::create_directories(root() / "elsewhere");
    writeFile(root() / "elsewhere" / "secret", "s");
    fs::create_symlink(root() / "elsewhere", src / "dirlink");
    fs::create_symlink(src / "real.txt", src / "filelink");
    ASSERT_EQ(mkfifo((src / "pipe").c_str(), 0644), 0);
    fs::path out = root() / "links.qvz";
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), nullptr, 0, 0, nullptr, out.c_str(), 0), 0);
    EXPECT_EQ(entryNames(out), (std::vector<std::string>{"src", "src/real.txt"}));
}

TEST_F(ArWriter, DescriptorsOnlyWithAclModes) {
    fs::path f = makeExampleTree();
    std::string list = names({"a", "b.txt"});
    fs::path none = root() / "none.qvz";
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, none.c_str(), 0), 0);
    for (const auto& e : listArchive(readBytes(none))) EXPECT_EQ(e.aclLength, 0u);

    fs::path own = root() / "own.qvz";
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, own.c_str(), 2), 0);
    for (const auto& e : listArchive(readBytes(own))) EXPECT_GT(e.aclLength, 6u);

    // Mode 1: the ACL information files of the install root; a missing one gives none.
    writeFile(root() / "data" / "PKG" / "ACLSETFL.INF", "0123456789");
    fs::path files = root() / "files.qvz";
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, files.c_str(), 1), 0);
    auto entries = listArchive(readBytes(files));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].aclLength, 0u);   // folder: no ACLDIR.INF
    EXPECT_EQ(entries[1].aclLength, 16u);  // file: 10 bytes + 6
}

TEST_F(ArWriter, MissingSourceIsResultOne) {
    fs::path out = root() / "x.qvz";
    EXPECT_EQ(qvpcarCreateArcFile((root() / "nothing").c_str(), nullptr, 0, 0, nullptr,
                                  out.c_str(), 0),
              1);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ArWriter, FileShorterThanItsSizeFailsAndKeepsThePreviousArchive) {
    // sysfs files announce a page but hold less: the copy finds fewer bytes than recorded.
    const fs::path sys = "/sys/kernel/mm/transparent_hugepage";
    if (!fs::exists(sys / "enabled") || fs::file_size(sys / "enabled") <= readFile(sys / "enabled").size())
        GTEST_SKIP() << "no file that reads shorter than its size";
    fs::path out = root() / "keep.qvz";
    writeFile(out, "previous archive");
    std::string list = names({"enabled"});
    EXPECT_EQ(qvpcarCreateArcFile(sys.c_str(), list.data(), 1, 0, nullptr, out.c_str(), 0), 6);
    EXPECT_EQ(readFile(out), "previous archive");
    for (const auto& p : fs::directory_iterator(root()))
        EXPECT_EQ(p.path().string().find(".tmp"), std::string::npos) << p.path();
}

TEST_F(ArWriter, ReplacesAnExistingArchiveOnSuccess) {
    fs::path f = makeExampleTree();
    fs::path out = root() / "re.qvz";
    writeFile(out, "old");
    std::string list = names({"b.txt"});
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 1, 0, nullptr, out.c_str(), 0), 0);
    EXPECT_EQ(entryNames(out), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(std::distance(fs::directory_iterator(root()), fs::directory_iterator()), 5);
}

TEST_F(ArWriter, TwoThreadsArchiveAtOnce) {
    fs::path f = makeExampleTree();
    std::string list = names({"a", "b.txt"});
    fs::path reference = root() / "ref.qvz";
    // The first pack reads the files, which moves their access times once.
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, reference.c_str(), 0), 0);
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, reference.c_str(), 0), 0);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                fs::path out = root() / ("t" + std::to_string(t) + ".qvz");
                if (qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, out.c_str(), 0) != 0 ||
                    readBytes(out) != readBytes(reference))
                    ++failures;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures, 0);
}

TEST_F(ArWriter, ResourceArchivesShowPackagingProgress) {
    fs::path f = makeExampleTree();
    std::vector<std::pair<int, uint64_t>> seen;
    qvpGaugeSetObserver([&](int kind, uint64_t value) { seen.emplace_back(kind, value); });
    qvpGaugeSetTotal(kGaugePackaging, 100);
    std::string list = names({"a", "b.txt"});
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, (root() / "R0000001").c_str(), 0), 0);
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, (root() / "Q0000001").c_str(), 0), 0);
    qvpGaugeSetObserver(nullptr);
    EXPECT_EQ(seen, (std::vector<std::pair<int, uint64_t>>{{4, 10}, {4, 20}, {4, 35}, {4, 50}, {4, 50}}));
}

TEST_F(ArWriter, RefusedEntriesKeepThePreviousArchive) {
    fs::path f = makeExampleTree();
    fs::path out = root() / "keep.qvz";
    std::string list = names({"b.txt", "x"});

    // 4 GiB does not fit the entry's size field (a sparse file: nothing is read before).
    writeFile(out, "previous archive");
    {
        std::ofstream(f / "x");
        fs::resize_file(f / "x", 4ull << 30);
    }
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, out.c_str(), 0), 6);
    EXPECT_EQ(readFile(out), "previous archive");

    // A time without a calendar form (year 3000) is result 25, for either time.
    fs::resize_file(f / "x", 1);
    setTimes(f / "x", utc(2022, 1, 2, 3, 4, 5), utc(3000, 1, 1, 0, 0, 0));
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, out.c_str(), 0), 25);
    EXPECT_EQ(readFile(out), "previous archive");
    setTimes(f / "x", utc(3000, 1, 1, 0, 0, 0), utc(2022, 1, 2, 3, 4, 5));
    EXPECT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 2, 0, nullptr, out.c_str(), 0), 25);
    EXPECT_EQ(readFile(out), "previous archive");

    const std::string x = (f / "x").string();
    auto log = arLog(root());
    for (const std::string& line :
         {x + " is invalid file.(last update time)", x + " is invalid file.(last access time)",
          "arArcFiles_ERROR:ON_qvpcarCreateArcFile " + x})
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const std::string& l) {
                  return l.rfind("qvpcArGetFileAttributes_ERROR:ON_arCreateArcFile:" + x + " ", 0) == 0;
              }),
              3);
    for (const auto& p : fs::directory_iterator(root()))
        EXPECT_EQ(p.path().string().find(".tmp"), std::string::npos) << p.path();
}

TEST_F(ArWriter, AFileThatGrewAfterItsSizeWasTakenIsCutToThatSize) {
    // /proc files announce no size but hold text: what was recorded (0) is what is copied.
    const fs::path proc = "/proc";
    if (!fs::exists(proc / "version") || readFile(proc / "version").empty())
        GTEST_SKIP() << "no /proc/version";
    fs::path out = root() / "proc.qvz";
    std::string list = names({"version"});
    ASSERT_EQ(qvpcarCreateArcFile(proc.c_str(), list.data(), 1, 0, nullptr, out.c_str(), 0), 0);
    auto bytes = readBytes(out);
    auto entries = listArchive(bytes);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, 0u);
    EXPECT_EQ(be32(&bytes[4]), bytes.size());
}

TEST_F(ArWriter, LogLinesOfTheWriter) {
    fs::path missing = root() / "nothing";
    EXPECT_EQ(qvpcarCreateArcFile(missing.c_str(), nullptr, 0, 0, nullptr,
                                  (root() / "x.qvz").c_str(), 0),
              1);
    // Mode 1 without ACLDIR.INF: said for every folder entry.
    fs::path f = makeExampleTree();
    fs::create_directories(f / "a" / "b");
    std::string list = names({"a"});
    ASSERT_EQ(qvpcarCreateArcFile(f.c_str(), list.data(), 1, 0, nullptr, (root() / "y.qvz").c_str(), 1), 0);
    char dirInf[win::MAX_PATH + 1] = {};
    qvpMakeAclDirInfPath(dirInf);
    auto log = arLog(root());
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "GetFileAttributes:WDPATH_ERROR:ON_ArcFile " + missing.string() + " 2");
    EXPECT_EQ(log[1], std::string("ACL information file does not exist:") + dirInf);
    EXPECT_EQ(log[2], log[1]);
}
