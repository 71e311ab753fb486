// New-format extraction: round trips of generated trees, what is found at the target, and
// hand-made defective archives that must be refused without writing outside the folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "ar_test_util.h"
#include "client/ar/ar_extract.h"
#include "client/ar/archiver.h"
#include "client/ar/ar_context.h"
#include "client/ar/ar_acl.h"
#include "support/child_process.h"

using namespace artest;

namespace {

constexpr time_t kWritten = 1614834367;  // 2021-03-04 05:06:07 UTC
constexpr time_t kAccessed = 1641092645; // 2022-01-02 03:04:05 UTC

class ArExtract : public ArTest {
protected:
    // Nested folders, an empty folder, files of 0, 4096 and 4097 bytes, Shift-JIS names whose
    // trail byte is 0x5C, several modes, fixed times.
    fs::path makeTree() {
        fs::path src = root() / "src";
        writeFile(src / "d1" / "d2" / "f4097", std::string(4097, 'x'));
        writeFile(src / "d1" / "f4096", std::string(4096, 'y'));
        fs::create_directories(src / "empty");
        writeFile(src / "f0", "");
        writeFile(src / "ro", "read only");
        writeFile(src / "\x95\x5C.txt", "sjis");
        writeFile(src / "\x83\x5C" / "x", "in a Shift-JIS folder");
        writeFile(src / "rodir" / "inside", "made before its folder became read-only");
        fs::permissions(src / "f0", fs::perms(0600));
        fs::permissions(src / "d1" / "f4096", fs::perms(0640));
        fs::permissions(src / "d1" / "d2" / "f4097", fs::perms(0755));
        fs::permissions(src / "ro", fs::perms(0444));
        fs::permissions(src / "d1", fs::perms(0750));
        fs::permissions(src / "rodir", fs::perms(0555));
        if (geteuid() == 0) {
            chown((src / "d1" / "f4096").c_str(), 1234, 5678);
            chown((src / "d1" / "d2").c_str(), 4321, 8765);
        }
        std::vector<fs::path> all{src};
        for (auto& p : fs::recursive_directory_iterator(src)) all.push_back(p.path());
        // Deepest first, so that setting a child's times leaves its folder's alone.
        std::sort(all.begin(), all.end(), [](const fs::path& a, const fs::path& b) {
            return a.string().size() > b.string().size();
        });
        for (const auto& p : all) setTimes(p, kAccessed, kWritten);
        // Listing a folder moves its access time: from here on the tree is only looked at.
        paths_ = all;
        return src;
    }
    std::vector<fs::path> paths_;

    static std::set<std::string> listTree(const fs::path& dir, const fs::path& except) {
        std::set<std::string> out;
        for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
             ++it) {
            // The data root and the lock files of the named objects are the library's own.
            if (it->path() == except || it->path() == dir / "data" || it->path() == dir / "run") {
                it.disable_recursion_pending();
                continue;
            }
            out.insert(it->path().string());
        }
        return out;
    }
};

void expectSameTree(const fs::path& a, const fs::path& b) {
    qvptest::ChildProgram diff({"diff", "-r", a.string(), b.string()});
    const std::string said = diff.ReadToEnd();
    EXPECT_EQ(qvptest::ExitCode(diff.Wait()), 0) << "diff -r " << a << ' ' << b << '\n' << said;
}

// ---- hand-made archives ----

struct EntryLayout {
    uint16_t path = 0;
    uint8_t kind = 0x11;
    std::string names;  // this entry's table, NULs included
    std::string data;
    int64_t size = -1;   // offset 8 (default: data size)
    int64_t size2 = -1;  // offset 44
    std::string acl;     // descriptor bytes
    int64_t aclField = -1;   // offset 56 (default: acl + 6, or 0)
    int64_t aclHeadLen = -1; // length in the ACL head (default: acl size)
    uint16_t aclTag = 5;
    int64_t tableField = -1;  // offset 60 (default: names size)
};

struct ArchiveLayout {
    std::string headerNames = std::string("/\0x\0", 4);
    uint16_t count = 0;    // 0: the real count
    uint16_t longest = 0;  // 0: the real longest
    uint8_t res0 = 1;
    uint8_t comp = 'N';
    int64_t lengthDelta = 0;
    int64_t extra = -1;       // offset 34 (default 0)
    int64_t tableField = -1;  // offset 38 (default: the header names' size)
    std::vector<EntryLayout> entries;
};

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x >> 24); v[at + 1] = uint8_t(x >> 16); v[at + 2] = uint8_t(x >> 8); v[at + 3] = uint8_t(x);
}
void put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = uint8_t(x >> 8); v[at + 1] = uint8_t(x);
}

std::vector<uint8_t> build(const ArchiveLayout& s) {
    std::vector<uint8_t> v(42, 0);
    size_t names = 0, longest = 0;
    auto count = [&](const std::string& table) {
        size_t start = 0;
        for (size_t i = 0; i < table.size(); ++i)
            if (table[i] == '\0') {
                ++names;
                longest = std::max(longest, i - start);
                start = i + 1;
            }
    };
    count(s.headerNames);
    v.insert(v.end(), s.headerNames.begin(), s.headerNames.end());
    for (const auto& e : s.entries) {
        count(e.names);
        std::vector<uint8_t> b(64, 0);
        put32(b, 0, 64);
        put32(b, 8, uint32_t(e.size >= 0 ? e.size : int64_t(e.data.size())));
        put32(b, 12, 0x20210304);
        put32(b, 16, 0x00050607);
        put32(b, 20, 0x20220102);
        put32(b, 24, 0x00030405);
        put16(b, 28, e.path);
        b[36] = e.kind;
        b[37] = 7;
        put32(b, 44, uint32_t(e.size2 >= 0 ? e.size2 : int64_t(e.data.size())));
        put32(b, 56, uint32_t(e.aclField >= 0 ? e.aclField : (e.acl.empty() ? 0 : int64_t(e.acl.size() + 6))));
        put32(b, 60, uint32_t(e.tableField >= 0 ? e.tableField : int64_t(e.names.size())));
        v.insert(v.end(), b.begin(), b.end());
        if (!e.acl.empty() || e.aclField > 0) {
            std::vector<uint8_t> h(6, 0);
            put16(h, 0, e.aclTag);
            put32(h, 2, uint32_t(e.aclHeadLen >= 0 ? e.aclHeadLen : int64_t(e.acl.size())));
            v.insert(v.end(), h.begin(), h.end());
            v.insert(v.end(), e.acl.begin(), e.acl.end());
        }
        v.insert(v.end(), e.names.begin(), e.names.end());
        v.insert(v.end(), e.data.begin(), e.data.end());
    }
    put32(v, 4, uint32_t(int64_t(v.size()) + s.lengthDelta));
    put32(v, 8, 42);
    v[12] = s.res0;
    put16(v, 14, 1);
    put16(v, 16, 2);
    put16(v, 18, s.count ? s.count : uint16_t(names));
    put16(v, 20, s.longest ? s.longest : uint16_t(longest));
    v[22] = s.comp;
    put32(v, 34, uint32_t(s.extra >= 0 ? s.extra : 0));
    put32(v, 38, uint32_t(s.tableField >= 0 ? s.tableField : int64_t(s.headerNames.size())));
    return v;
}

std::string n(const char* a) { return std::string(a) + '\0'; }

EntryLayout entry(uint16_t path, uint8_t kind, std::string names, std::string data = "") {
    EntryLayout e;
    e.path = path;
    e.kind = kind;
    e.names = std::move(names);
    e.data = std::move(data);
    return e;
}

}  // namespace

TEST_F(ArExtract, RoundTripWithOwnDescriptorsKeepsOwnersModesAndTimes) {
    fs::path src = makeTree();
    std::vector<std::pair<fs::path, struct stat>> before;
    for (const auto& p : paths_) before.emplace_back(p, lstatOf(p));

    fs::path archive = root() / "tree.qvz";
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), nullptr, 0, 0, nullptr, archive.c_str(), 2), 0);
    fs::path out = root() / "out";
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    EXPECT_TRUE(fs::exists(archive));

    for (const auto& [path, st] : before) {
        fs::path copy = out / fs::relative(path, root());
        SCOPED_TRACE(copy.string());
        struct stat got = lstatOf(copy);
        EXPECT_EQ(got.st_mode, st.st_mode);
        EXPECT_EQ(got.st_uid, st.st_uid);
        EXPECT_EQ(got.st_gid, st.st_gid);
        EXPECT_EQ(got.st_mtime, kWritten);
        EXPECT_EQ(got.st_atime, kAccessed);
    }
    expectSameTree(src, out / "src");
}

TEST_F(ArExtract, RoundTripWithoutDescriptorsKeepsTimesAndReadOnly) {
    fs::path src = makeTree();
    fs::path archive = root() / "tree.qvz";
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), nullptr, 0, 0, nullptr, archive.c_str(), 0), 0);
    fs::path out = root() / "out";
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 0), 0);
    EXPECT_FALSE(fs::exists(archive));

    for (const auto& p : paths_) {
        fs::path copy = out / fs::relative(p, root());
        SCOPED_TRACE(copy.string());
        struct stat want = lstatOf(p), got = lstatOf(copy);
        EXPECT_EQ(got.st_mode & S_IWUSR, want.st_mode & S_IWUSR);
        EXPECT_EQ(S_ISDIR(got.st_mode), S_ISDIR(want.st_mode));
        EXPECT_EQ(got.st_mtime, kWritten);
        EXPECT_EQ(got.st_atime, kAccessed);
    }
    expectSameTree(src, out / "src");
}

TEST_F(ArExtract, WithoutRestoreFolderTheStoredFolderIsUsed) {
    fs::path src = root() / "src";
    writeFile(src / "a.txt", "A");
    fs::path archive = root() / "s.qvz";
    fs::path target = root() / "stored" / "place";
    std::string list = n("a.txt");
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), list.data(), 1, 0, target.c_str(), archive.c_str(), 0), 0);
    ASSERT_EQ(qvparMain(archive.c_str(), nullptr, 1), 0);
    EXPECT_EQ(readFile(target / "a.txt"), "A");
}

TEST_F(ArExtract, RestoreFolderWithCommaIsOneFolder) {
    fs::path src = root() / "src";
    writeFile(src / "a.txt", "A");
    fs::path archive = root() / "c.qvz";
    std::string list = n("a.txt");
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), list.data(), 1, 0, nullptr, archive.c_str(), 0), 0);
    fs::path out = root() / "one,two" / "three";
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    EXPECT_EQ(readFile(root() / "one,two" / "three" / "a.txt"), "A");
}

TEST_F(ArExtract, WhatIsFoundAtTheTarget) {
    fs::path src = root() / "src";
    writeFile(src / "dir" / "f.txt", "new");
    writeFile(src / "ro.txt", "new ro");
    fs::path archive = root() / "t.qvz";
    std::string list = n("dir") + n("ro.txt");
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), list.data(), 2, 0, nullptr, archive.c_str(), 0), 0);

    // An existing read-only file is replaced; an existing folder is reused.
    fs::path out = root() / "out";
    writeFile(out / "ro.txt", "old");
    fs::permissions(out / "ro.txt", fs::perms(0444));
    writeFile(out / "dir" / "keep.txt", "kept");
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    EXPECT_EQ(readFile(out / "ro.txt"), "new ro");
    EXPECT_EQ(readFile(out / "dir" / "f.txt"), "new");
    EXPECT_EQ(readFile(out / "dir" / "keep.txt"), "kept");

    // A file where the archive has a folder fails the extraction.
    fs::path out2 = root() / "out2";
    writeFile(out2 / "dir", "a file");
    EXPECT_EQ(qvparMain(archive.c_str(), out2.c_str(), 1), -1);
}

TEST_F(ArExtract, AFileThatCannotBeDeletedIsRetriedWithoutRealWaiting) {
    fs::path src = root() / "src";
    writeFile(src / "busy.txt", "new");
    fs::path archive = root() / "b.qvz";
    std::string list = n("busy.txt");
    ASSERT_EQ(qvpcarCreateArcFile(src.c_str(), list.data(), 1, 0, nullptr, archive.c_str(), 0), 0);
    fs::path out = root() / "out";
    writeFile(out / "busy.txt", "held");
    win::HANDLE held = win::CreateFile((out / "busy.txt").c_str(), win::GENERIC_READ, 0, nullptr,
                                       win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), -1);
    win::CloseHandle(held);
    EXPECT_EQ(sleeps(), 10);
    EXPECT_EQ(readFile(out / "busy.txt"), "held");
}

TEST_F(ArExtract, MissingArchive) {
    EXPECT_EQ(qvparMain((root() / "none.qvz").c_str(), (root() / "out").c_str(), 0), -1);
    EXPECT_FALSE(fs::exists(root() / "out"));
}

TEST_F(ArExtract, HandMadeArchiveIsReadAsBuilt) {
    ArchiveLayout s;
    s.entries.push_back(entry(3, 0x00, n(".") + n("root") + n("sys")));
    s.entries.push_back(entry(6, 0x00, n("d")));
    s.entries.push_back(entry(7, 0x11, n("d/f.txt"), "content"));
    fs::path archive = root() / "hand.qvz";
    writeBytes(archive, build(s));
    fs::path out = root() / "out";
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 0), 0);
    EXPECT_EQ(readFile(out / "d" / "f.txt"), "content");
    EXPECT_EQ(lstatOf(out / "d" / "f.txt").st_mtime, kWritten);
    EXPECT_FALSE(fs::exists(archive));
}

// A lone entry below a folder that has no entry of its own, where the restore tree holds a
// link of that name: nothing goes through the link.
TEST_F(ArExtract, ALoneEntryNeverGoesThroughALinkInsideTheRestoreTree) {
    ArchiveLayout s;
    s.entries.push_back(entry(3, 0x00, n(".") + n("root") + n("sys")));
    s.entries.push_back(entry(6, 0x11, n("sub/a.txt"), "x"));
    fs::path archive = root() / "lone.qvz";
    writeBytes(archive, build(s));
    fs::create_directories(root() / "elsewhere");
    fs::create_directories(root() / "out");
    fs::create_directory_symlink(root() / "elsewhere", root() / "out" / "sub");
    EXPECT_EQ(qvparMain(archive.c_str(), (root() / "out").c_str(), 1), -1);
    EXPECT_TRUE(fs::is_empty(root() / "elsewhere"));
}

struct BadCase {
    const char* what;
    ArchiveLayout layout;
    int expected;
    size_t cut = 0;  // bytes removed from the end of the file
};

std::vector<BadCase> badCases() {
    std::vector<BadCase> cases;
    auto base = [] {
        ArchiveLayout s;
        s.entries.push_back(entry(3, 0x00, n("dir") + n("root") + n("sys")));
        s.entries.push_back(entry(6, 0x11, n("dir/f.txt"), "data"));
        return s;
    };
    auto with = [&](const char* what, auto change, int expected = -1, size_t cut = 0) {
        ArchiveLayout s = base();
        change(s);
        cases.push_back({what, s, expected, cut});
    };
    with("understated name count", [](ArchiveLayout& s) { s.count = 4; });
    with("understated longest name", [](ArchiveLayout& s) { s.longest = 4; });
    with("path index zero", [](ArchiveLayout& s) { s.entries[1].path = 0; });
    with("path index past the names read", [](ArchiveLayout& s) { s.entries[1].path = 7; });
    with("parent component", [](ArchiveLayout& s) { s.entries[1].names = n("../evil.txt"); });
    with("parent deeper down", [](ArchiveLayout& s) { s.entries[1].names = n("dir/../../evil.txt"); });
    with("backslash parent", [](ArchiveLayout& s) { s.entries[1].names = n("dir\\..\\..\\evil.txt"); });
    with("absolute name", [](ArchiveLayout& s) { s.entries[1].names = n("/tmp/evil.txt"); });
    with("drive name", [](ArchiveLayout& s) { s.entries[1].names = n("C:evil.txt"); });
    with("ACL length disagrees", [](ArchiveLayout& s) {
        s.entries[1].acl = "0123456789";
        s.entries[1].aclHeadLen = 4;
    });
    with("ACL length below its head", [](ArchiveLayout& s) { s.entries[1].aclField = 3; });
    with("ACL length past the end", [](ArchiveLayout& s) { s.entries[1].aclField = 0x7FFFFFFF; });
    with("data sizes disagree", [](ArchiveLayout& s) { s.entries[1].size2 = 3; });
    with("data past the end", [](ArchiveLayout& s) {
        s.entries[1].size = s.entries[1].size2 = 0x10000;
    });
    with("archive length past the file", [](ArchiveLayout& s) { s.lengthDelta = 1; });
    with("truncated file", [](ArchiveLayout&) {}, -1, 2);
    with("entry cut in its block", [](ArchiveLayout& s) { s.lengthDelta = -(4 + 10 + 60); });
    with("unterminated name", [](ArchiveLayout& s) { s.entries[1].names = "dir/f.txt"; });
    with("extra area past the end", [](ArchiveLayout& s) { s.extra = 0x7FFFFFFF; });
    with("header table past the end", [](ArchiveLayout& s) { s.tableField = 0x7FFFFFFF; });
    with("entry table past the end", [](ArchiveLayout& s) { s.entries[1].tableField = 0x10000; });
    with("name index into the next entry's names", [](ArchiveLayout& s) {
        s.entries.push_back(entry(6, 0x11, n("later.txt"), "x"));
        s.entries[1].path = 7;
    });
    with("ResGen_No not ours", [](ArchiveLayout& s) { s.res0 = 2; }, 3);
    with("compKind not ours", [](ArchiveLayout& s) { s.comp = 'X'; }, 3);
    return cases;
}

TEST_F(ArExtract, DefectiveArchivesAreRefusedWithNothingWrittenOutside) {
    int i = 0;
    for (const auto& c : badCases()) {
        SCOPED_TRACE(c.what);
        fs::path archive = root() / ("bad" + std::to_string(i) + ".qvz");
        fs::path out = root() / ("out" + std::to_string(i++)) / "restore";
        auto bytes = build(c.layout);
        bytes.resize(bytes.size() - c.cut);
        writeBytes(archive, bytes);
        auto before = listTree(root(), out.parent_path());
        EXPECT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), c.expected);
        EXPECT_EQ(listTree(root(), out.parent_path()), before);
        EXPECT_FALSE(fs::exists(root() / "evil.txt"));
        EXPECT_FALSE(fs::exists("/tmp/evil.txt"));
    }
}

TEST_F(ArExtract, ShortFilesAreNotArchives) {
    for (size_t size : {0, 1, 16, 41}) {
        fs::path archive = root() / ("short" + std::to_string(size));
        writeBytes(archive, std::vector<uint8_t>(size, 0));
        EXPECT_EQ(qvparMain(archive.c_str(), (root() / "out").c_str(), 1), -1) << size;
    }
}

TEST_F(ArExtract, FailedExtractionDeletesTheArchiveUnlessKept) {
    ArchiveLayout s;
    s.entries.push_back(entry(3, 0x11, n("../x"), ""));
    fs::path archive = root() / "bad.qvz";
    writeBytes(archive, build(s));
    EXPECT_EQ(qvparMain(archive.c_str(), (root() / "out").c_str(), 1), -1);
    EXPECT_TRUE(fs::exists(archive));
    EXPECT_EQ(qvparMain(archive.c_str(), (root() / "out").c_str(), 0), -1);
    EXPECT_FALSE(fs::exists(archive));
}

TEST_F(ArExtract, DescriptorOffsetsOutsideTheirBytesAreNotApplied) {
    // A descriptor head whose DACL offset points 4 GiB away.
    std::string head("\x01\x00\x04\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
                     "\xFF\xFF\xFF\xFF\x00\x00\x00\x00", 24);
    ArchiveLayout s;
    s.entries.push_back(entry(3, 0x11, n("f.txt") + n("root") + n("sys"), "x"));
    s.entries.back().acl = head;
    fs::path archive = root() / "acl.qvz";
    writeBytes(archive, build(s));
    fs::path out = root() / "out";
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    EXPECT_EQ(readFile(out / "f.txt"), "x");
}

TEST_F(ArExtract, ExtraAreaAndForeignAclBlocksAreSkipped) {
    ArchiveLayout s;
    s.entries.push_back(entry(3, 0x11, n("f.txt") + n("root") + n("sys"), "data"));
    s.entries.back().acl = "not a descriptor";
    s.entries.back().aclTag = 9;
    auto bytes = build(s);
    // Four bytes of extra area after the header.
    bytes.insert(bytes.begin() + 42, {0xEE, 0xEE, 0xEE, 0xEE});
    put32(bytes, 4, uint32_t(bytes.size()));
    put32(bytes, 34, 4);
    fs::path archive = root() / "skip.qvz";
    writeBytes(archive, bytes);
    fs::path out = root() / "out";
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    EXPECT_EQ(readFile(out / "f.txt"), "data");
}

TEST_F(ArExtract, AnEntryWithoutAclAfterOneWithAclGetsNoDescriptor) {
    fs::path model = root() / "model";
    writeFile(model, "m");
    fs::permissions(model, fs::perms(0600));
    if (geteuid() == 0) {
        ASSERT_EQ(chown(model.c_str(), 1234, 5678), 0);
    }
    std::vector<uint8_t> descriptor;
    ar::qvparGetACLData(model.c_str(), descriptor);
    ASSERT_FALSE(descriptor.empty());

    ArchiveLayout s;
    s.entries.push_back(entry(3, 0x11, n("with.txt") + n("root") + n("sys"), "a"));
    s.entries.back().acl.assign(descriptor.begin(), descriptor.end());
    s.entries.push_back(entry(6, 0x11, n("without.txt"), "b"));
    fs::path archive = root() / "acl2.qvz";
    writeBytes(archive, build(s));
    fs::path out = root() / "out";
    mode_t old = umask(022);
    ASSERT_EQ(qvparMain(archive.c_str(), out.c_str(), 1), 0);
    umask(old);
    struct stat with = lstatOf(out / "with.txt"), without = lstatOf(out / "without.txt");
    EXPECT_EQ(with.st_mode & 07777, 0600u);
    EXPECT_EQ(without.st_mode & 07777, 0644u);
    if (geteuid() == 0) {
        EXPECT_EQ(with.st_uid, 1234u);
        EXPECT_EQ(without.st_uid, 0u);
    }
}

TEST_F(ArExtract, LogLinesOfTheReader) {
    fs::path none = root() / "none.qvz";
    EXPECT_EQ(qvparMain(none.c_str(), (root() / "o1").c_str(), 1), -1);

    ArchiveLayout bad;
    bad.res0 = 2;
    bad.entries.push_back(entry(3, 0x00, n("d") + n("root") + n("sys")));
    fs::path header = root() / "header.qvz";
    writeBytes(header, build(bad));
    fs::path o2 = root() / "o2";
    EXPECT_EQ(qvparMain(header.c_str(), o2.c_str(), 1), 3);

    ArchiveLayout folder;
    folder.entries.push_back(entry(3, 0x00, n("d") + n("root") + n("sys")));
    fs::path notDir = root() / "notdir.qvz";
    writeBytes(notDir, build(folder));
    fs::path o3 = root() / "o3";
    writeFile(o3 / "d", "a file");
    EXPECT_EQ(qvparMain(notDir.c_str(), o3.c_str(), 1), -1);

    auto log = arLog(root());
    const std::vector<std::string> expected = {
        "qvparMain Error, " + none.string() + " is Nothing",
        "Resource Error 1",
        "arGetInfmation_ERROR:File = " + header.string() + ", " + o2.string(),
        "qvparCreateUnarcNewFile Error " + header.string() + " 3",
        "Not Directory(" + (o3 / "d").string() + ") in FarRemoveDirectry",
        "qvpcuarLoopProsec_ERROR:ON arCreateUnarcFile",
        "qvparCreateUnarcNewFile Error " + notDir.string() + " -1",
    };
    EXPECT_EQ(log, expected);
}
