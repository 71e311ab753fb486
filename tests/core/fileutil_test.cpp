// Directory and file utilities on real trees: read-only files, nested folders, and a symlink to a
// folder outside the tree, which must survive every delete.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/memory.h"
#include "core_fixture.h"
#include "support/child_memory.h"
#include "support/planted_modes.h"

using qvp::qvAPIDirectoryCopy;
using qvp::qvAPIReadFile;

namespace {

class FileUtilTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        tree_ = data() / "tree";
        outside_ = root() / "outside";
        WriteText(outside_ / "precious.txt", "keep me");
        WriteText(tree_ / "top.txt", "top");
        WriteText(tree_ / "ro.txt", "read only");
        fs::permissions(tree_ / "ro.txt", fs::perms::owner_read);
        WriteText(tree_ / "a" / "b" / "c" / "deep.txt", "deep");
        WriteText(tree_ / "a" / "mid.txt", "mid");
        fs::create_directory_symlink(outside_, tree_ / "a" / "link");
        // A read-only folder with a file in it.
        WriteText(tree_ / "a" / "sealed" / "inner.txt", "inner");
        fs::permissions(tree_ / "a" / "sealed", fs::perms::owner_read | fs::perms::owner_exec);
    }
    void ExpectOutsideIntact() {
        EXPECT_EQ(ReadText(outside_ / "precious.txt"), "keep me");
    }
    fs::path tree_;
    fs::path outside_;
};

TEST_F(FileUtilTest, CreateDirectoryMakesEveryLevel) {
    const fs::path target = data() / "x" / "y" / "z";
    EXPECT_EQ(qvpCreateDirectory(target.c_str()), 1);
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(qvpCreateDirectory((target.string() + "/").c_str()), 1) << "existing counts as made";
    // Windows separators below a POSIX root.
    EXPECT_EQ(qvpCreateDirectory((data().string() + "\\w1\\w2").c_str()), 1);
    EXPECT_TRUE(fs::is_directory(data() / "w1" / "w2"));
    // A level that exists as a file.
    EXPECT_EQ(qvpCreateDirectory((tree_ / "top.txt" / "under").c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 183u);
    EXPECT_EQ(qvpCreateDirectory((tree_ / "top.txt").c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 183u);
}

TEST_F(FileUtilTest, DirectoryCopyOverwritesAndSkipsLinks) {
    const fs::path dest = data() / "dest";
    ASSERT_EQ(qvAPIDirectoryCopy(tree_.c_str(), dest.c_str()), 1);
    EXPECT_EQ(ReadText(dest / "tree" / "a" / "b" / "c" / "deep.txt"), "deep");
    EXPECT_EQ(ReadText(dest / "tree" / "ro.txt"), "read only");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "tree" / "a" / "link")));
    EXPECT_EQ(ReadText(dest / "tree" / "a" / "sealed" / "inner.txt"), "inner");
    ExpectOutsideIntact();
    // Copying again overwrites, read-only copies included.
    WriteText(dest / "tree" / "top.txt", "stale");
    ASSERT_EQ(qvAPIDirectoryCopy((tree_.string() + "/").c_str(), dest.c_str()), 1);
    EXPECT_EQ(ReadText(dest / "tree" / "top.txt"), "top");
    qvAPISetLastError(0);
    EXPECT_EQ(qvAPIDirectoryCopy(nullptr, dest.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000057u);
    EXPECT_EQ(qvAPIDirectoryCopy(tree_.c_str(), nullptr), 0);
    // A file with the system attribute is a file like any other; a pipe is left out.
    const std::string system = (tree_ / "system.dat").string();
    WriteText(system, "system");
    ASSERT_TRUE(win::SetFileAttributes(system.c_str(), win::FILE_ATTRIBUTE_SYSTEM));
    ASSERT_EQ(mkfifo((tree_ / "pipe").c_str(), 0644), 0);
    ASSERT_EQ(qvAPIDirectoryCopy(tree_.c_str(), dest.c_str()), 1);
    EXPECT_EQ(ReadText(dest / "tree" / "system.dat"), "system");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "tree" / "pipe")));
    // A missing source fails with the walk's Windows error.
    EXPECT_EQ(qvAPIDirectoryCopy((data() / "none").c_str(), dest.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), 3u);
}

// Files planted with set-id or writable-by-all modes come out of a directory copy as files the
// caller made; a read-only one stays read-only.
TEST_F(FileUtilTest, DirectoryCopyCarriesNoSetIdOrWriteBits) {
    const fs::path from = tree_ / "modes";
    for (const mode_t mode : qvptest::kPlantedModes) qvptest::PlantWithMode(from / std::to_string(mode), mode);
    const fs::path dest = data() / "dest";
    ASSERT_EQ(qvAPIDirectoryCopy(from.c_str(), dest.c_str()), 1);
    const fs::path probe = dest / "modes" / "made";
    win::CloseHandle(win::CreateFile(probe.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW, 0, nullptr));
    const mode_t made = qvptest::ModeOf(probe);
    for (const mode_t mode : qvptest::kPlantedModes) {
        const fs::path copy = dest / "modes" / std::to_string(mode);
        EXPECT_EQ(qvptest::ModeOf(copy), qvptest::CopiedMode(mode, made)) << mode;
        EXPECT_EQ(ReadText(copy), "planted");
    }
}

TEST_F(FileUtilTest, DeleteAllRemovesTheTreeButNotWhatLinksPointTo) {
    EXPECT_EQ(gaiCOMDirectoryDeleteAll(tree_.c_str()), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree_)));
    ExpectOutsideIntact();
    EXPECT_NE(gaiCOMDirectoryDeleteAll(tree_.c_str()), 0) << "a missing directory";
    // A link named as the directory is removed as a link.
    const fs::path link = data() / "toplink";
    fs::create_directory_symlink(outside_, link);
    EXPECT_EQ(gaiCOMDirectoryDeleteAll(link.c_str()), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    ExpectOutsideIntact();
}

// Another writer of the store moves a folder away just after the remover listed it and plants a
// link to outside the root in its place (the platform's seam). Outside holds the listed names:
// removing them by path would reach them through the link, as would opening the folder when the
// swap comes just after the parent's listing.
TEST_F(FileUtilTest, FolderSwappedForALinkAfterTheListingRedirectsNothing) {
    WriteText(outside_ / "mid.txt", "keep");
    WriteText(outside_ / "b" / "c" / "deep.txt", "keep");
    for (int round = 0; round < 4; ++round) {
        const fs::path listed = round < 2 ? tree_ : tree_ / "a";
        int (*remove)(const char*) = round % 2 ? gaiCOMDirectoryClearAll : gaiCOMDirectoryDeleteAll;
        SCOPED_TRACE(listed);
        WriteText(tree_ / "a" / "mid.txt", "mid");
        WriteText(tree_ / "a" / "b" / "c" / "deep.txt", "deep");
        bool swapped = false;
        win::fault::OnListed([&](const std::string& folder) {
            if (swapped || folder != listed.string()) return;
            swapped = true;
            fs::rename(tree_ / "a", root() / "moved");
            fs::create_directory_symlink(outside_, tree_ / "a");
        });
        EXPECT_EQ(remove(tree_.c_str()), 0);
        win::fault::Reset();
        EXPECT_TRUE(swapped);
        EXPECT_FALSE(fs::exists(fs::symlink_status(tree_ / "a")));
        EXPECT_EQ(ReadText(outside_ / "mid.txt"), "keep");
        EXPECT_EQ(ReadText(outside_ / "b" / "c" / "deep.txt"), "keep");
        ExpectOutsideIntact();
        std::error_code ec;
        fs::permissions(root() / "moved" / "sealed", fs::perms::owner_all, ec);
        fs::remove_all(root() / "moved");
    }
}

TEST_F(FileUtilTest, ClearAllKeepsTheDirectory) {
    EXPECT_EQ(gaiCOMDirectoryClearAll(tree_.c_str()), 0);
    EXPECT_TRUE(fs::is_directory(tree_));
    EXPECT_TRUE(fs::is_empty(tree_));
    ExpectOutsideIntact();
}

TEST_F(FileUtilTest, DeleteRemovesFilesThenTheFolder) {
    const fs::path flat = data() / "flat";
    WriteText(flat / "one", "1");
    WriteText(flat / "two", "2");
    fs::create_directory_symlink(outside_, flat / "link");
    EXPECT_EQ(gaiCOMDirectoryDelete(flat.c_str()), 0);
    EXPECT_FALSE(fs::exists(flat));
    ExpectOutsideIntact();
    // Subfolders stay, so the folder cannot go.
    EXPECT_NE(gaiCOMDirectoryDelete((tree_ / "a").c_str()), 0);
    EXPECT_FALSE(fs::exists(tree_ / "a" / "mid.txt"));
    EXPECT_TRUE(fs::exists(tree_ / "a" / "b" / "c" / "deep.txt"));
    EXPECT_EQ(win::GetLastError(), 145u);
}

TEST_F(FileUtilTest, DeleteRetry) {
    EXPECT_NE(gaiCOMDirectoryDeleteRetry((data() / "absent").c_str(), 1, 3), 0);
    EXPECT_EQ(gaiCOMDirectoryDeleteRetry(tree_.c_str(), 1, 3), 0);
    EXPECT_FALSE(fs::exists(tree_));
    ExpectOutsideIntact();
    // What is no folder (a read-only file, a FIFO) goes at once as the name it is; one that
    // stays (held elsewhere) is never waited on.
    const fs::path name = data() / "planted";
    WriteText(name, "planted");
    fs::permissions(name, fs::perms::owner_read);
    win::fault::Reset();
    EXPECT_EQ(gaiCOMDirectoryDeleteRetry(name.c_str(), 1000, 3), 0);
    ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
    EXPECT_EQ(gaiCOMDirectoryDeleteRetry(name.c_str(), 1000, 3), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(name)));
    WriteText(name, "held");
    qvp::FileHandle held(win::CreateFile(name.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                         win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_NE(gaiCOMDirectoryDeleteRetry(name.c_str(), 1000, 3), 0);
    EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(win::fault::Pauses(), 0u);
}

TEST_F(FileUtilTest, FileCopyBothModes) {
    QVPAPI* block = qvpGetThreadBlock();
    const fs::path file = data() / "record.bin";
    WriteText(file, std::string("0123456789"));
    // Whole file into an arena buffer; a smaller given buffer is replaced.
    void* buffer = qvpAPIAlloc(4);
    uint32_t size = 4;
    EXPECT_EQ(qvpAPIFileCopy(block, file.c_str(), &buffer, &size, nullptr, 1), 10);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::memcmp(buffer, "0123456789", 10), 0);
    qvpAPIFree(buffer);
    // Up to the given count into the given buffer; a short file reports what it had.
    char head[6] = {};
    void* given = head;
    size = 5;
    EXPECT_EQ(qvpAPIFileCopy(block, file.c_str(), &given, &size, nullptr, 0), 5);
    EXPECT_STREQ(head, "01234");
    char big[32] = {};
    given = big;
    size = sizeof big;
    EXPECT_EQ(qvpAPIFileCopy(block, file.c_str(), &given, &size, nullptr, 0), 10);
    EXPECT_EQ(size, 10u);
    // Missing file, and a file another handle holds: no more items, with the open's error in
    // DLL.LOG.
    block->dllLogId = qvpLogOpen("DLL.LOG");
    EXPECT_LT(qvpAPIFileCopy(block, (data() / "none").c_str(), &given, &size, nullptr, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000103u);
    win::HANDLE held = win::CreateFile(file.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                       win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, win::INVALID_HANDLE_VALUE);
    EXPECT_LT(qvpAPIFileCopy(block, file.c_str(), &given, &size, nullptr, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000103u);
    win::CloseHandle(held);
    const std::string log = ReadText(data() / "LOG" / "DLL.LOG");
    EXPECT_NE(log.find("qvpAPIFileCopy : CreateFile Error : Handle = 0xffffffff, errno = 2 "),
              std::string::npos);
    EXPECT_NE(log.find("qvpAPIFileCopy : CreateFile Error : Handle = 0xffffffff, errno = 32 "),
              std::string::npos);
    // Read-only file: it is opened for writing too, so that fails as a resource failure.
    EXPECT_LT(qvpAPIFileCopy(block, (tree_ / "ro.txt").c_str(), &given, &size, nullptr, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
}

// The 4-byte head of a kind that counts the bytes after it, at most 32 MiB in all.
std::string Counted(uint32_t count, const std::string& rest) {
    return std::string(reinterpret_cast<const char*>(&count), sizeof count) + rest;
}

// Both whole-file readers take what the head announces and no more, holes read as zeros; a file
// announcing more than it holds, or than its kind can, or whose holes within what it announces
// pass the allowance (a claim nobody wrote), fails as an unreadable one, read no further.
TEST_F(FileUtilTest, WholeFileReadersTakeOnlyWhatTheHeadAnnounces) {
    QVPAPI* block = qvpGetThreadBlock();
    constexpr uint32_t kMost = 32 << 20;
    constexpr qvp::DeclaredLayout kCounted{4, kMost, [](const uint8_t* head) {
                                               uint32_t count;
                                               std::memcpy(&count, head, sizeof count);
                                               return uint64_t{4} + count;
                                           }, false};
    const fs::path file = data() / "counted.bin";
    const std::string block0(4092, 'a');  // the rest of the head's block
    const struct {
        const char* what;
        std::string bytes;
        uint32_t holes;  // bytes never written after `bytes`, to the file's end
        int size;        // -1: refused
    } cases[] = {
        {"announced bytes, then more", Counted(3, "abcXYZ"), 0, 7},
        {"more than the file holds", Counted(9, "abc"), 0, -1},
        {"more than the kind holds", Counted(kMost, "abc" + std::string(300, 'x')), 0, -1},
        {"shorter than its head", std::string("\x01\0", 2), 0, 2},
        {"holes within the allowance", Counted(4092 + 8192, block0), 8192, 4096 + 8192},
        {"holes past the allowance", Counted(4092 + 128 * 1024, block0), 128 * 1024, -1},
        {"16 MiB announced over one written block", Counted(4092 + (16 << 20), block0), 16 << 20, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(file, c.bytes);
        ASSERT_TRUE(qvptest::PlantSparseAt(file, 0, "", c.bytes.size() + c.holes));
        uint32_t size = 0, copiedSize = 0;
        void* read = qvpReadWholeFile(block, file.c_str(), &size, kCounted);
        void* copied = nullptr;
        EXPECT_EQ(qvpAPIFileCopy(block, file.c_str(), &copied, &copiedSize, nullptr, 1, &kCounted), c.size);
        ASSERT_EQ(read != nullptr, c.size >= 0);  // (never a 16 MiB string in a failure's text)
        if (c.size < 0) {
            EXPECT_EQ(qvAPIGetLastError(), 0x20100000u);
        } else {
            const std::string content = (c.bytes + std::string(c.holes, '\0')).substr(0, c.size);
            EXPECT_EQ(std::string(static_cast<char*>(read), size), content);
            EXPECT_EQ(std::string(static_cast<char*>(copied), copiedSize), content);
        }
        EXPECT_LT(qvptest::DiskBytes(file), uint64_t{1} << 20);  // nothing filled in
        qvpAPIFree(read);
        qvpAPIFree(copied);
    }
}

TEST_F(FileUtilTest, ReadFileGivesTheWholeFile) {
    QVPAPI* block = qvpGetThreadBlock();
    const fs::path file = data() / "text.txt";
    WriteText(file, "abc");
    uint32_t size = 99;
    constexpr qvp::DeclaredLayout kText{0, 16, nullptr, false};
    auto* text = static_cast<char*>(qvpReadWholeFile(block, file.c_str(), &size, kText));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(text, "abc");
    qvpAPIFree(text);
    WriteText(data() / "empty", "");
    void* empty = qvAPIReadFile(block, (data() / "empty").c_str(), nullptr, nullptr);
    EXPECT_NE(empty, nullptr);
    qvpAPIFree(empty);
    EXPECT_EQ(qvAPIReadFile(block, (data() / "none").c_str(), nullptr, nullptr), nullptr);
    EXPECT_EQ(qvAPIGetLastError(), 0x20000002u);
}

}  // namespace
