// The shared store against another writer of it: the tree remover never passes a link (the
// race with a folder swapped for one after the listing is in tests/core/fileutil_test.cpp),
// walks below the install root never show or pass a link, and no CreateFile follows a link at
// its last component there. The install root is C:\ZARNQVP (the default); outside/ lies beside it.
#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include "platform_fixture.h"

namespace {
using namespace win;
namespace fs = std::filesystem;
using qvp_test::PlatformTest;

constexpr int kOutsideFiles = 20;

class StoreLinksTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        fs::create_directories(P("ZARNQVP/W/a/b"));
        Touch("ZARNQVP/W/top.txt", "top");
        Touch("ZARNQVP/W/a/b/deep.txt", "deep");
        fs::create_directories(P("outside/E1/E2"));
        for (int i = 0; i < kOutsideFiles; ++i) Touch("outside/f" + std::to_string(i), "keep");
    }
    void ExpectOutsideIntact() {
        for (int i = 0; i < kOutsideFiles; ++i) EXPECT_EQ(Slurp("outside/f" + std::to_string(i)), "keep") << i;
        EXPECT_TRUE(fs::is_directory(P("outside/E1/E2")));
    }
    // Names a walk of `pattern` lists, "." and ".." left out; empty with its error when none.
    static std::vector<std::string> Listing(const std::string& pattern, bool namesOnly, DWORD* error = nullptr) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data{};
        HANDLE h = namesOnly ? FindFirstFileNames(pattern.c_str(), &data) : FindFirstFile(pattern.c_str(), &data);
        if (error) *error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string n = data.cFileName;
            if (n != "." && n != "..") names.push_back(n);
        } while (FindNextFile(h, &data));
        FindClose(h);
        return names;
    }
    // Whether CreateFile opens `path` (closed again).
    static bool Opens(const std::string& path, DWORD access = GENERIC_READ, DWORD disposition = OPEN_EXISTING) {
        HANDLE h = CreateFile(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return h != INVALID_HANDLE_VALUE;
    }
};

TEST_F(StoreLinksTest, RemoveTreeErrorsAndLinks) {
    fs::create_directory_symlink(P("outside"), P("ZARNQVP/W/a/link"));
    fs::create_directory_symlink(P("outside"), P("ZARNQVP/toplink"));
    fs::create_directory_symlink(P("outside"), P("ZARNQVP/via"));
    const struct {
        const char* path;
        RemoveScope scope;
        DWORD error;  // 0: removed
    } cases[] = {
        {"ZARNQVP\\none", RemoveScope::Tree, ERROR_FILE_NOT_FOUND},
        {"ZARNQVP\\none\\deeper", RemoveScope::Tree, ERROR_PATH_NOT_FOUND},
        {"ZARNQVP\\none", RemoveScope::Contents, ERROR_PATH_NOT_FOUND},
        {"ZARNQVP\\W\\top.txt", RemoveScope::Tree, ERROR_PATH_NOT_FOUND},
        {"ZARNQVP\\W\\top.txt", RemoveScope::Name, 0},  // whatever is at the name goes
        // A link named below the root: never followed, removed as a link by Tree only.
        {"ZARNQVP\\toplink", RemoveScope::Contents, ERROR_PATH_NOT_FOUND},
        {"ZARNQVP\\toplink", RemoveScope::Files, ERROR_PATH_NOT_FOUND},
        {"ZARNQVP\\toplink", RemoveScope::Tree, 0},
        // Nor is a link passed on the way to the folder.
        {"ZARNQVP\\via\\E1", RemoveScope::Tree, ERROR_PATH_NOT_FOUND},
        // Files leave the sub-folders, so the folder cannot go.
        {"ZARNQVP\\W\\a", RemoveScope::Files, ERROR_DIR_NOT_EMPTY},
        {"ZARNQVP\\W", RemoveScope::Tree, 0},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(RemoveTree(C(c.path).c_str(), c.scope), c.error == 0 ? TRUE : FALSE) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
        ExpectOutsideIntact();
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(P("ZARNQVP/toplink"))));
    EXPECT_FALSE(fs::exists(P("ZARNQVP/W")));
}

// Folders nested without end are left at a bounded depth, with 206, instead of exhausting the
// stack and the descriptors; the rest of the tree still goes.
TEST_F(StoreLinksTest, RemovalOfANestingWithoutEndStopsAtItsBound) {
    fs::path deep = P("ZARNQVP/W/nest");
    fs::create_directories(deep);
    int dir = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 300 && dir >= 0; ++level) {
        ::mkdirat(dir, "n", 0755);
        const int next = ::openat(dir, "n", O_RDONLY | O_DIRECTORY);
        ::close(dir);
        dir = next;
    }
    ASSERT_GE(dir, 0);
    ::close(dir);
    EXPECT_FALSE(RemoveTree(C("ZARNQVP\\W").c_str(), RemoveScope::Tree));
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(fs::exists(P("ZARNQVP/W/top.txt")));
}

TEST_F(StoreLinksTest, HeldFileStaysWithItsErrorAndTheRestGoes) {
    HANDLE held = CreateFile(C("ZARNQVP\\W\\a\\b\\deep.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(RemoveTree(C("ZARNQVP\\W").c_str(), RemoveScope::Tree));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(held);
    EXPECT_TRUE(fs::exists(P("ZARNQVP/W/a/b/deep.txt")));
    EXPECT_FALSE(fs::exists(P("ZARNQVP/W/top.txt")));
    EXPECT_TRUE(RemoveTree(C("ZARNQVP\\W").c_str(), RemoveScope::Tree));
}

// Outside the store a link at the folder named is followed for its contents, as before; a
// folder beside the root whose name merely begins with the root's is outside too.
TEST_F(StoreLinksTest, OutsideTheStoreLinksAreFollowedAsBefore) {
    fs::create_directories(P("other/in"));
    Touch("other/in/x", "x");
    fs::create_directory_symlink(P("other"), P("alias"));
    EXPECT_EQ(Listing(C("alias\\*"), false), std::vector<std::string>{"in"});
    fs::create_directories(P("ZARNQVPOLD"));
    fs::create_directory_symlink(P("outside"), P("ZARNQVPOLD/lnk"));
    EXPECT_EQ(Listing(C("ZARNQVPOLD\\lnk\\E1\\*"), false), std::vector<std::string>{"E2"});
    fs::create_directory_symlink(P("outside"), P("other/lnk"));
    WIN32_FIND_DATAA data{};
    HANDLE h = FindFirstFile(C("other\\lnk").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    FindClose(h);
    EXPECT_TRUE(RemoveTree(C("alias").c_str(), RemoveScope::Contents));
    EXPECT_TRUE(fs::is_empty(P("other")));
    ExpectOutsideIntact();
}

TEST_F(StoreLinksTest, StoreWalksNeitherShowNorPassALink) {
    fs::create_directory_symlink(P("outside/E1"), P("ZARNQVP/W/dirlink"));
    fs::create_symlink(P("outside/f1"), P("ZARNQVP/W/filelink"));
    for (bool namesOnly : {false, true}) {
        EXPECT_EQ(Listing(C("ZARNQVP\\W\\*"), namesOnly), (std::vector<std::string>{"a", "top.txt"}));
        DWORD error = 0;
        EXPECT_TRUE(Listing(C("ZARNQVP\\W\\dirlink\\*"), namesOnly, &error).empty());
        EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
        EXPECT_TRUE(Listing(C("ZARNQVP\\W\\dirlink"), namesOnly, &error).empty());
        EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    }
    // A folder on the way swapped for a link: the walk below it finds nothing.
    fs::rename(P("ZARNQVP/W/a"), P("outside/a"));
    fs::create_directory_symlink(P("outside/a"), P("ZARNQVP/W/a"));
    DWORD error = 0;
    EXPECT_TRUE(Listing(C("ZARNQVP\\W\\a\\b\\*"), false, &error).empty());
    EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
}

// The install root itself may be a link: walks and files below it work as usual.
TEST_F(StoreLinksTest, TheInstallRootItselfMayBeALink) {
    fs::rename(P("ZARNQVP"), P("real"));
    fs::create_directory_symlink(P("real"), P("ZARNQVP"));
    EXPECT_EQ(Listing(C("ZARNQVP\\W\\*"), false), (std::vector<std::string>{"a", "top.txt"}));
    HANDLE h = CreateFile(C("ZARNQVP\\W\\top.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(RemoveTree(C("ZARNQVP\\W").c_str(), RemoveScope::Tree));
    EXPECT_FALSE(fs::exists(P("real/W")));
}

// The root's folder is held from one open to the next: a folder put in its place becomes the
// root at the first open below it that finds nothing in the old one.
TEST_F(StoreLinksTest, AFolderPutInTheRootsPlaceBecomesTheRoot) {
    EXPECT_TRUE(Opens(C("ZARNQVP\\W\\top.txt")));
    fs::rename(P("ZARNQVP"), P("old"));
    fs::create_directories(P("ZARNQVP/W"));
    Touch("ZARNQVP/W/new.txt", "new");
    EXPECT_TRUE(Opens(C("ZARNQVP\\W\\new.txt")));
    EXPECT_FALSE(Opens(C("ZARNQVP\\W\\top.txt")));
    EXPECT_EQ(Listing(C("ZARNQVP\\W\\*"), true), std::vector<std::string>{"new.txt"});
    fs::remove_all(P("ZARNQVP"));
    fs::create_directories(P("ZARNQVP/W"));
    EXPECT_TRUE(Opens(C("ZARNQVP\\W\\made"), GENERIC_WRITE, CREATE_NEW));
}

// Every disposition refuses a link at the last component below the root: the file behind it
// keeps its bytes, a dangling link's target is never made.
TEST_F(StoreLinksTest, NoCreateFileFollowsALinkInTheStore) {
    fs::create_symlink(P("outside/f0"), P("ZARNQVP/W/link"));
    fs::create_symlink(P("outside/made"), P("ZARNQVP/W/dangling"));
    HANDLE folder = CreateFile(C("ZARNQVP\\W").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    for (const char* name : {"link", "dangling"}) {
        for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING}) {
            const std::string path = C("ZARNQVP\\W\\") + name;
            for (bool relative : {false, true}) {
                HANDLE h = relative ? CreateFileIn(folder, path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, disposition, 0)
                                    : CreateFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                                                 0, nullptr);
                EXPECT_EQ(h, INVALID_HANDLE_VALUE) << name << " " << disposition << " " << relative;
                if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
                const DWORD expected = disposition == CREATE_NEW ? ERROR_FILE_EXISTS : 1921;
                EXPECT_EQ(GetLastError(), expected) << name << " " << disposition << " " << relative;
            }
        }
    }
    CloseHandle(folder);
    ExpectOutsideIntact();
    EXPECT_FALSE(fs::exists(P("outside/made")));
    // Outside the store a link is opened as before.
    fs::create_symlink(P("outside/f1"), P("plainlink"));
    HANDLE h = CreateFile(C("plainlink").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

// A folder swapped for a link between the listing and its hand-out is no folder to either walk.
TEST_F(StoreLinksTest, AFolderSwappedForALinkAfterTheListingIsNoFolder) {
    for (bool namesOnly : {false, true}) {
        fault::OnListed([&](const std::string& folder) {
            if (!folder.ends_with("/ZARNQVP/W")) return;
            fs::rename(P("ZARNQVP/W/a"), P("moved"));
            fs::create_directory_symlink(P("outside"), P("ZARNQVP/W/a"));
        });
        WIN32_FIND_DATAA data{};
        const std::string pattern = C("ZARNQVP\\W\\a*");
        HANDLE h = namesOnly ? FindFirstFileNames(pattern.c_str(), &data) : FindFirstFile(pattern.c_str(), &data);
        fault::Reset();
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        FindClose(h);
        EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
                  FILE_ATTRIBUTE_REPARSE_POINT) << data.cFileName << " " << namesOnly;
        fs::remove(P("ZARNQVP/W/a"));
        fs::rename(P("moved"), P("ZARNQVP/W/a"));
    }
}

// A file from outside linked in as a store file (LOG/DLL.LOG) is neither written, truncated nor
// changed through it (1921, as for a link there); reading stays, and outside the store as before.
TEST_F(StoreLinksTest, NoWriteThroughAHardLinkInTheStore) {
    fs::create_directories(P("ZARNQVP/LOG"));
    fs::create_hard_link(P("outside/f0"), P("ZARNQVP/LOG/DLL.LOG"));
    const fs::perms outsideMode = fs::status(P("outside/f0")).permissions();
    const std::string log = C("ZARNQVP\\LOG\\DLL.LOG");
    HANDLE folder = CreateFile(C("ZARNQVP\\LOG").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    // Read-write as a log appends; CREATE_ALWAYS truncates even without asking to write.
    const std::pair<DWORD, DWORD> opens[] = {
        {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS}, {GENERIC_WRITE, OPEN_EXISTING}, {GENERIC_WRITE, CREATE_ALWAYS},
        {GENERIC_READ, CREATE_ALWAYS}, {GENERIC_WRITE, TRUNCATE_EXISTING}};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    for (const auto& [access, disposition] : opens) {
        for (bool relative : {false, true}) {
            SetLastError(0);
            HANDLE h = relative ? CreateFileIn(folder, log.c_str(), access, share, disposition, 0)
                                : CreateFile(log.c_str(), access, share, nullptr, disposition, 0, nullptr);
            EXPECT_EQ(h == INVALID_HANDLE_VALUE ? GetLastError() : 0u, 1921u)
                << access << " " << disposition << " " << relative;
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
    CloseHandle(folder);
    fs::permissions(P("ZARNQVP/W/top.txt"), fs::perms::owner_read);
    std::vector<BYTE> descriptor(4096);
    DWORD needed = 0;
    ASSERT_TRUE(GetFileSecurity(C("ZARNQVP\\W\\top.txt").c_str(), DACL_SECURITY_INFORMATION, descriptor.data(),
                                DWORD(descriptor.size()), &needed));
    const std::pair<const char*, std::function<BOOL()>> changes[] = {
        {"CopyFile", [&] { return CopyFile(C("ZARNQVP\\W\\a\\b\\deep.txt").c_str(), log.c_str(), FALSE); }},
        {"SetFileAttributes", [&] { return SetFileAttributes(log.c_str(), FILE_ATTRIBUTE_READONLY); }},
        {"SetFileSecurity",
         [&] { return SetFileSecurity(log.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed); }},
    };
    for (const auto& [what, change] : changes) {
        SetLastError(0);
        EXPECT_EQ(change() ? 0u : GetLastError(), 1921u) << what;
    }
    ExpectOutsideIntact();
    EXPECT_EQ(fs::status(P("outside/f0")).permissions(), outsideMode);
    EXPECT_TRUE(Opens(log));
    fs::create_hard_link(P("outside/f1"), P("second"));
    EXPECT_TRUE(Opens(C("second"), GENERIC_WRITE));
}

// A folder on the way swapped for a link to one outside: whatever the disposition, plain or
// relative to a held folder above the link, nothing outside is read, written, truncated or made,
// and the call answers as for a missing path.
TEST_F(StoreLinksTest, NoCreateFilePassesALinkOnTheWay) {
    HANDLE above = CreateFile(C("ZARNQVP\\W").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(above, INVALID_HANDLE_VALUE);
    fs::rename(P("ZARNQVP/W/a"), P("moved"));
    fs::create_directory_symlink(P("outside"), P("ZARNQVP/W/a"));
    for (const char* name : {"f0", "E1\\f1", "made", "E1\\made"}) {
        const std::string path = C("ZARNQVP\\W\\a\\") + name;
        for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING}) {
            for (bool relative : {false, true}) {
                const DWORD flags = relative ? FILE_FLAG_POSIX_SEMANTICS : 0;
                SetLastError(0);
                HANDLE h = relative ? CreateFileIn(above, path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, disposition, flags)
                                    : CreateFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                                                 flags, nullptr);
                EXPECT_EQ(h, INVALID_HANDLE_VALUE) << name << " " << disposition << " " << relative;
                if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
                EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND) << name << " " << disposition << " " << relative;
            }
        }
    }
    CloseHandle(above);
    ExpectOutsideIntact();
    EXPECT_FALSE(fs::exists(P("outside/made")));
    EXPECT_FALSE(fs::exists(P("outside/E1/made")));
    EXPECT_FALSE(fs::exists(P("outside/E1/f1")));
}

// The other changes by path: a folder on the way swapped for a link to one outside leaves the
// outside as it was, and each answers as for a missing path.
TEST_F(StoreLinksTest, NoChangeByPathPassesALinkOnTheWay) {
    Touch("ZARNQVP/W/x", "x");
    fs::permissions(P("ZARNQVP/W/top.txt"), fs::perms::owner_read | fs::perms::owner_write);
    std::vector<BYTE> descriptor(4096);
    DWORD needed = 0;
    ASSERT_TRUE(GetFileSecurity(C("ZARNQVP\\W\\top.txt").c_str(), DACL_SECURITY_INFORMATION, descriptor.data(),
                                DWORD(descriptor.size()), &needed));
    const auto modeOf = [&](const char* name) { return fs::status(P(std::string("outside/") + name)).permissions(); };
    const fs::perms outsideMode = modeOf("f6");
    fs::rename(P("ZARNQVP/W/a"), P("moved"));
    fs::create_directory_symlink(P("outside"), P("ZARNQVP/W/a"));
    auto at = [&](const char* name) { return C(std::string("ZARNQVP\\W\\") + name); };
    const struct {
        const char* what;
        std::function<BOOL()> call;
    } cases[] = {
        {"CreateDirectory", [&] { return CreateDirectory(at("a\\made").c_str(), nullptr); }},
        {"CreateDirectory deeper", [&] { return CreateDirectory(at("a\\E1\\made").c_str(), nullptr); }},
        {"DeleteFile", [&] { return DeleteFile(at("a\\f0").c_str()); }},
        {"MoveFile from", [&] { return MoveFile(at("a\\f1").c_str(), at("took").c_str()); }},
        {"MoveFile to", [&] { return MoveFile(at("top.txt").c_str(), at("a\\made").c_str()); }},
        {"MoveFileEx from", [&] { return MoveFileEx(at("a\\f2").c_str(), at("x").c_str(), MOVEFILE_REPLACE_EXISTING); }},
        {"MoveFileEx to", [&] { return MoveFileEx(at("x").c_str(), at("a\\f3").c_str(), MOVEFILE_REPLACE_EXISTING); }},
        {"CopyFile from", [&] { return CopyFile(at("a\\f4").c_str(), at("copy").c_str(), FALSE); }},
        {"CopyFile to", [&] { return CopyFile(at("top.txt").c_str(), at("a\\f5").c_str(), FALSE); }},
        {"RemoveDirectory", [&] { return RemoveDirectory(at("a\\E1\\E2").c_str()); }},
        {"SetFileAttributes",
         [&] { return SetFileAttributes(at("a\\f6").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN); }},
        {"SetFileSecurity",
         [&] { return SetFileSecurity(at("a\\f6").c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed); }},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND) << c.what;
        ExpectOutsideIntact();
    }
    EXPECT_FALSE(fs::exists(P("outside/made")));
    EXPECT_FALSE(fs::exists(P("outside/E1/made")));
    EXPECT_FALSE(fs::exists(P("ZARNQVP/W/took")));
    EXPECT_FALSE(fs::exists(P("ZARNQVP/W/copy")));
    EXPECT_EQ(Slurp("ZARNQVP/W/x"), "x");
    EXPECT_EQ(Slurp("ZARNQVP/W/top.txt"), "top");
    EXPECT_EQ(modeOf("f6"), outsideMode);
    EXPECT_EQ(GetFileAttributes(C("outside\\f6").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

}  // namespace
