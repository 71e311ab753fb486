// The package change-flag table, the names and paths that are refused before anything is
// touched, and the JobGen mutex between threads and processes.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

#include "jobgen_env.h"
#include "support/gate_keeper.h"
#include "support/kill_steps.h"
#include "support/planted_links.h"

namespace qvptest {
namespace {

struct FlagCase {
    uint32_t flag;
    size_t offset;
    size_t length;
    bool network;
};

TEST_F(JobGenTest, ChangeFlagsReplaceTheirRangesOfTheJobGensCopy) {
    static const FlagCase kCases[] = {
        {0x08000000, 73, 12, false},  {0x04000000, 336, 1, false}, {0x02000000, 344, 6, false},
        {0x01000000, 350, 1, false},  {0x00800000, 637, 64, false}, {0x00400000, 242, 64, false},
        {0x00200000, 154, 1, false},  {0x00080000, 238, 1, false},  {0x00040000, 239, 1, false},
        {0x00020000, 342, 2, true},   {0x00004000, 341, 1, false},  {0x00002000, 241, 1, false},
        {0x00001000, 400, 224, false}, {0x00000800, 736, 2, true},  {0x80000000, 0, 784, false},
    };
    fs::create_directories(Attribution());
    const std::vector<uint8_t> stored = Record(1);
    store_->WriteRawFile(Attribution() / "C.01.pkgA.1#2.0001", stored.data(), stored.size());
    const std::vector<uint8_t> given = Record(100);
    const fs::path copy = Work() / "PACKAGE/C.01.pkgA.1#2.0001/C.01.pkgA.1#2.0001";
    for (const FlagCase& c : kCases) {
        SCOPED_TRACE(Hex(c.flag));
        QVPAPI_HANDLE h = Open("", "CF");
        ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 1);
        ASSERT_EQ(qvAPIChangePackageJobGen(h, c.flag, reinterpret_cast<const QVAPI_PACKAGE*>(given.data()), nullptr, 1, 0), 1)
            << Hex(qvAPIGetLastError());
        std::vector<uint8_t> expected = stored;
        std::memcpy(expected.data() + c.offset, given.data() + c.offset, c.length);
        if (c.network) std::swap(expected[c.offset], expected[c.offset + 1]);
        EXPECT_TRUE(Bytes(copy) == expected);
        // The finder gives the JobGen's copy with the two u16 fields in host order.
        QVAPI_PACKAGE found;
        uint8_t cls = 0;
        ASSERT_EQ(qvAPIFindPackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", &found, &cls, 0, 0), 1);
        EXPECT_EQ(found.wAttribute736, static_cast<uint16_t>((expected[736] << 8) | expected[737]));
        EXPECT_EQ(cls, ' ');
        ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);
    }
    // The class byte alone leaves the record where it is: in the store only.
    QVPAPI_HANDLE h = Open("", "CF");
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 0, "01", "pkgA", "1/2", "0001", 0, 0), 1);
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 1);
    const uint8_t cls = 'W';
    ASSERT_EQ(qvAPIChangePackageJobGen(h, 0x8000, reinterpret_cast<const QVAPI_PACKAGE*>(given.data()), &cls, 0, 0), 1);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(qvAPIChangePackageJobGen(h, 0, reinterpret_cast<const QVAPI_PACKAGE*>(given.data()), &cls, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

// Callers' texts that would overrun a field or leave the folder they name.
TEST_F(JobGenTest, BadNamesAndPathsAreRefusedBeforeAnythingIsTouched) {
    const std::string longPart(45, 'p');
    struct KeyCase {
        const char* cabinet;
        const char* package;
        const char* version;
        const char* generation;
    };
    const KeyCase keys[] = {{nullptr, "p", "1", "1"}, {"01", "", "1", "1"}, {"01", longPart.c_str(), "1", "1"},
                            {"01", "p", "123456789", "1"}, {"01", "..", "1", "1"}, {"01", "a\\b", "1", "1"},
                            {"01", "a/b", "1", "1"}, {"0.", "p", "1", "1"}, {"01", "p", "1", "12345"}};
    QVPAPI_HANDLE h = Open("", "K");
    for (const KeyCase& k : keys) {
        EXPECT_EQ(qvAPICreatePackageJobGen(h, 'C', k.cabinet, k.package, k.version, k.generation, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER) << (k.package ? k.package : "");
    }
    EXPECT_EQ(qvAPICreatePackageJobGen(h, 'X', "01", "p", "1", "1", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_TRUE(fs::is_empty(Work() / "PACKAGE"));
    EXPECT_EQ(qvAPICreateClientJobGen(h, "a/../../x", QVAPI_JOBGEN_AS_GIVEN, 0), 0);
    // A second open on the thread is refused and leaves the first session whole.
    EXPECT_EQ(qvAPICreateJobGen("", "OTHER", 'D', 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_TRUE(fs::exists(Work() / "NODE"));
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);
    // Without an open JobGen the thread's own block is no JobGen handle.
    EXPECT_EQ(qvAPICreateClientJobGen(block_, "pc1", QVAPI_JOBGEN_BY_ID, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);

    fs::create_directories(Store() / "keep/J");
    std::ofstream(Store() / "keep/J/side") << "x";
    const auto before = Snapshot(Data());
    struct PathCase {
        const char* folder;
        const char* name;
        uint32_t code;
    };
    const PathCase paths[] = {{"\\..", "J", QVAPI_ERR_INVALID_PARAMETER},   {"keep", "J", QVAPI_ERR_INVALID_PARAMETER},
                              {"\\keep\\", "J", QVAPI_ERR_INVALID_PARAMETER}, {"\\a\\\\b", "J", QVAPI_ERR_INVALID_PARAMETER},
                              {"\\.", "J", QVAPI_ERR_INVALID_PARAMETER},     {"", "..", QVAPI_ERR_INVALID_NAME},
                              {"", "a\\b", QVAPI_ERR_INVALID_NAME},           {"", "a/b", QVAPI_ERR_INVALID_NAME},
                              {"\\keep", "J", QVAPI_ERR_ALREADY_EXISTS}};
    for (const PathCase& p : paths) {
        SCOPED_TRACE(std::string(p.folder) + " " + p.name);
        EXPECT_EQ(qvAPICreateJobGen(p.folder, p.name, 'D', 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), p.code);
        EXPECT_EQ(qvAPICreateJobGenEx(p.folder, p.name, 'D', 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), p.code);
    }
    for (const char* name : {"..", ".", "a\\b", "a/b", ""}) {
        EXPECT_EQ(qvAPIDeleteFolderJobGen("", name, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME) << name;
        EXPECT_EQ(qvAPICreateFolderJobGen("\\keep", name, 0, 0), 0);
    }
    EXPECT_EQ(qvAPIDeleteFolderJobGen("\\..\\..", "MNGFL", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    fs::remove_all(Work());
    EXPECT_EQ(Snapshot(Data()), before);

    // The look-up copies at most the 64 bytes of the name field.
    const std::string longName(70, 'n');
    fs::create_directories(Store() / longName);
    QVAPI_JOBGEN found;
    ASSERT_EQ(qvAPIFindJobGen("", longName.c_str(), &found, 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(std::string(found.szName, 64), longName.substr(0, 64));
    EXPECT_EQ(found.uiKind, QVAPI_JOBGEN_FOLDER);
}

// A folder name is at most 32 characters at creation as at a rename: the listing's 64-byte name
// field always ends it, and a JobGen can be made in it. A longer one another program left in the
// store is still listed, renamed and deleted.
TEST_F(JobGenTest, FolderNamesAreNoLongerThanTheListingEnds) {
    // A folder's path keeps 100 characters of MAX_PATH for what goes below it: below a long
    // TMPDIR the longest name that fits the store's path can be shorter than 32.
    const size_t fits = 260 - 100 - Store().string().size();
    const std::string longest(std::min<size_t>(32, fits), 'f'), renamed = "r" + longest.substr(1);
    ASSERT_EQ(qvAPICreateFolderJobGen("\\", longest.c_str(), 0, 0), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPIChangeFolderJobGen("\\", longest.c_str(), renamed.c_str(), 0, 0), 1) << Hex(qvAPIGetLastError());
    for (size_t length : {33, 64, 65, 100}) {
        SCOPED_TRACE(length);
        const std::string name(length, 'f');
        EXPECT_EQ(qvAPICreateFolderJobGen("\\", name.c_str(), 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
        EXPECT_EQ(qvAPIChangeFolderJobGen("\\", renamed.c_str(), name.c_str(), 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_NAME);
    }
    QVAPI_JOBGEN found;
    std::memset(&found, 'x', sizeof found);
    QVPAPI_HANDLE find = qvAPIFindFirstJobGen("\\", &found);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    EXPECT_EQ(strnlen(found.szName, sizeof found.szName), renamed.size());
    EXPECT_EQ(std::string(found.szName), renamed);
    EXPECT_EQ(qvAPIFindNextJobGen(find, &found), 0);
    EXPECT_EQ(qvAPIFindCloseJobGen(find), 1);
    QVPAPI_HANDLE h = qvAPICreateJobGen(("\\" + renamed).c_str(), "J", 'D', 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);

    const std::string held(65, 's');
    fs::create_directories(Store() / held);
    ASSERT_EQ(qvAPIFindJobGen("\\", held.c_str(), &found, 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPIChangeFolderJobGen("\\", held.c_str(), "short", 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPIDeleteFolderJobGen("\\", "short", 0, 0), 1) << Hex(qvAPIGetLastError());
}

// A store without its JobGen folder gets it with its first folder, as with its first JobGen:
// made level by level, never through a link. A parent folder the caller names must be there.
TEST_F(JobGenTest, TheFirstFolderMakesTheStoresJobGenFolder) {
    fs::remove_all(Store());
    EXPECT_EQ(qvAPICreateFolderJobGen("\\missing", "NEWC", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_FALSE(fs::exists(Store()));
    for (const char* top : {"\\", "", static_cast<const char*>(nullptr)}) {
        ASSERT_EQ(qvAPICreateFolderJobGen(top, "NEWC", 0, 0), 1) << Hex(qvAPIGetLastError());
        EXPECT_TRUE(fs::is_directory(Store() / "NEWC"));
        fs::remove_all(Store().parent_path() / "JOBGEN");
    }
    const fs::path outside = root_ / "outside", mngfl = Store().parent_path(), aside = root_ / "MNGFL.aside";
    fs::create_directories(outside);
    for (const fs::path& at : {Store(), mngfl}) {
        SCOPED_TRACE(at.string());
        if (at == mngfl) fs::rename(mngfl, aside);
        fs::create_directory_symlink(outside, at);
        EXPECT_EQ(qvAPICreateFolderJobGen("\\", "NEWC", 0, 0), 0);
        EXPECT_TRUE(fs::is_empty(outside));
        EXPECT_TRUE(fs::is_symlink(at));
        fs::remove(at);
    }
    fs::rename(aside, mngfl);
}

// Runs `body` in a thread of its own and waits for it.
template <class F>
void OnOtherThread(F body) {
    std::thread(body).join();
}

TEST_F(JobGenTest, AnOpenJobGenIsBusyForOtherThreadsAndProcesses) {
    MakeStored("", "BUSY");
    const auto before = Snapshot(Store());
    QVPAPI_HANDLE h = Open("", "BUSY");
    QVAPI_JOBGEN found;
    // The owner may look at its own JobGen.
    EXPECT_EQ(qvAPIFindJobGen("", "BUSY", &found, 0, 0), 1);
    OnOtherThread([&] {
        EXPECT_EQ(qvAPICreateJobGen("", "BUSY", 'D', 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
        EXPECT_EQ(qvAPIFindJobGen("", "BUSY", &found, 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    });
    // A rename holds the new name too.
    ASSERT_EQ(qvAPIChangeNameJobGen(h, "", "BUSY2"), 1);
    OnOtherThread([&] {
        EXPECT_EQ(qvAPICreateJobGen("", "BUSY2", 'D', 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    });
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);

    // A thread that ends with its JobGen open frees it.
    OnOtherThread([&] { EXPECT_NE(qvAPICreateJobGen("", "BUSY", 'D', 0, 0), QVPAPI_INVALID_HANDLE); });
    h = Open("", "BUSY");
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);
    EXPECT_EQ(Snapshot(Store()), before);

    // A process that holds it open, then dies.
    JobGenHolder holder("", "BUSY");
    ASSERT_TRUE(holder.held());
    EXPECT_EQ(qvAPICreateJobGen("", "BUSY", 'D', 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    EXPECT_EQ(qvAPIFindJobGen("", "BUSY", &found, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    holder.Kill();
    EXPECT_EQ(Snapshot(Store()), before);
    h = Open("", "BUSY");
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Snapshot(Store()), before);
}

// Another user of the store's group keeps the gate of the JobGen's mutex and of the socket
// semaphore: the open of the JobGen and a session's open fail as for objects that cannot be made
// (a child runs each and is killed if it stalls).
TEST_F(JobGenTest, AGateKeptByAnotherUserFailsTheCallInsteadOfHoldingItUp) {
    const qvptest::GateKeeper keeper(root_ / "run", {"mutex.KEPT", "semaphore.QVP_SOCKET_LOCK_SUB"}, [] {
        return win::CreateMutex(nullptr, win::FALSE, "KEPT") && win::CreateSemaphore(nullptr, 1, 1, "QVP_SOCKET_LOCK_SUB");
    });
    ASSERT_TRUE(keeper.held());
    const struct {
        std::function<bool()> call;  // failed
        uint32_t code;
    } cases[] = {
        {[] { return qvAPICreateJobGen("", "KEPT", 'D', 0, 0) == QVPAPI_INVALID_HANDLE; }, 0x20100000},
        {[] { return qvAPIOpen("127.0.0.1", "1") == 0; }, QVAPI_ERR_TCP_SOCKET},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EndsWithin(20, [&] { return c.call() && qvAPIGetLastError() == c.code ? 0 : 1; }), 0) << Hex(c.code);
}

// What another writer left at the Ex open's backup folder is neither written through nor kept.
TEST_F(JobGenTest, LinkPlantedAtTheExBackupFolderRedirectsNothing) {
    MakeStored("", "EXB");
    const PlantedLinks links(root_ / "outside", {"other"});
    links.At(ExBackup(), Plant::FolderLink);
    QVPAPI_HANDLE h = qvAPICreateJobGenEx("", "EXB", 'D', 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPIGetLastError(), 0u);
    EXPECT_TRUE(fs::exists(ExBackup() / "EXB" / "jobgenfile"));
    EXPECT_FALSE(fs::is_symlink(ExBackup()));
    EXPECT_EQ(qvAPICloseJobGenEx(h, 1, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(links.Outside(), links.Original());
}

// The store finds a JobGen ignoring case, so an open JobGen (and a rename's new name) is busy
// under every spelling.
TEST_F(JobGenTest, EverySpellingOfAnOpenJobGenIsBusy) {
    fs::create_directories(Store() / "F1");
    MakeStored("\\F1", "J1");
    QVPAPI_HANDLE h = Open("\\F1", "J1");
    const auto busy = [](const char* folder, const char* name, bool stored) {
        SCOPED_TRACE(std::string(folder) + "\\" + name);
        OnOtherThread([&] {
            QVAPI_JOBGEN found;
            EXPECT_EQ(qvAPICreateJobGen(folder, name, 'D', 0, 0), QVPAPI_INVALID_HANDLE);
            EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
            if (!stored) return;
            EXPECT_EQ(qvAPIFindJobGen(folder, name, &found, 0, 0), 0);
            EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
            EXPECT_EQ(qvAPIDeleteJobGen(folder, name, 0, 0), 0);
            EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
        });
    };
    for (const char* folder : {"\\F1", "\\f1"})
        for (const char* name : {"J1", "j1"}) busy(folder, name, true);
    ASSERT_EQ(qvAPIChangeNameJobGen(h, "\\F1", "J2"), 1);
    busy("\\f1", "j2", false);
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);
    OnOtherThread([&] { EXPECT_EQ(qvAPICloseJobGen(Open("\\f1", "j1"), 0), 1); });
    EXPECT_TRUE(fs::exists(Store() / "F1" / "J1" / "jobgenfile"));
}

}  // namespace
}  // namespace qvptest
