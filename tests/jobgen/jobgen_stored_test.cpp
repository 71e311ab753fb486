// Stored JobGens: rename, delete, listing, copy out and back, and their refusals.
#include <cstring>
#include <fstream>
#include <thread>

#include "jobgen_env.h"
#include "support/child_memory.h"
#include "support/planted_links.h"

namespace qvptest {
namespace {

// The JobGens and folders a walk of `folder` lists, with their kinds.
std::map<std::string, uint32_t> ListStored(const char* folder, QVPAPI* block) {
    QVAPI_JOBGEN rec{};
    std::map<std::string, uint32_t> listed;
    QVPAPI_HANDLE f = qvAPIFindFirstJobGen(folder, &rec);
    EXPECT_EQ(f, static_cast<QVPAPI_HANDLE>(block)) << Hex(qvAPIGetLastError());
    if (f == QVPAPI_INVALID_HANDLE) return listed;
    do listed[rec.szName] = rec.uiKind;
    while (qvAPIFindNextJobGen(f, &rec) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseJobGen(f), 1);
    return listed;
}

// A stored jobgenfile planted at 1 GiB (sparse): with a sound header only the entries it counts
// are read, and the re-open's backup, its restore and a copy out keep the holes as holes; a
// header that counts entries over the holes, or a zero one, fails the re-open unread, unfilled.
TEST_F(JobGenTest, PlantedHugeJobGenFileIsNeverReadWhole) {
    MakeStored("", "J");
    const fs::path file = Store() / "J" / "jobgenfile";
    const auto stored = Bytes(file);
    std::string head(stored.begin(), stored.begin() + 256);
    const auto reopen = [] {
        const bool opened = qvAPICreateJobGen("", "J", 0, 0, 0) != QVPAPI_INVALID_HANDLE;
        const uint32_t code = qvAPIGetLastError();
        if (opened) qvAPICloseJobGen(qvpGetThreadBlock(), 1);
        qvAPISetLastError(code);
        return opened && code == 0 ? 1 : 0;
    };
    fs::resize_file(file, kOneGiB);
    ASSERT_NE(qvAPICreateJobGen("", "J", 0, 0, 0), QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    EXPECT_LT(DiskBytes(Data()), kSparseCopyBytes);
    EXPECT_EQ(qvAPICloseJobGen(qvpGetThreadBlock(), 1), 1) << Hex(qvAPIGetLastError());
    EXPECT_LT(DiskBytes(Data()), kSparseCopyBytes);
    fs::create_directories(root_ / "out");
    ASSERT_EQ(qvAPIGetJobGen("\\J", (root_ / "out").c_str()), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(fs::file_size(root_ / "out/J/jobgenfile"), kOneGiB);
    EXPECT_LT(DiskBytes(root_ / "out"), kSparseCopyBytes);
    const qvptest::ChildRun run = qvptest::RunInChild(reopen);
    EXPECT_EQ(run.result, 1) << Hex(run.code);
    EXPECT_LT(run.grownKiB, qvptest::kRefusalGrowthKiB);
    const uint32_t counted = static_cast<uint32_t>((kOneGiB - 256) / 1284);
    head.replace(88, 4, reinterpret_cast<const char*>(&counted), 4);
    qvptest::ExpectPlantedRefusedUnread(file, 256 + uint64_t{1284} * counted, reopen, head);
    qvptest::ExpectPlantedRefusedUnread(file, kOneGiB, reopen);
}

TEST_F(JobGenTest, RenameDeleteAndListStoredJobGens) {
    MakeStored("\\F", "J1");
    MakeStored("\\F", "J2");
    fs::create_directories(Store() / "F/SUB");
    const auto before = Snapshot(Data());
    struct Refusal {
        const char* folder;
        const char* from;
        const char* to;
        uint32_t code;
    };
    const Refusal refusals[] = {
        {"\\F", "J1", "J2", QVAPI_ERR_ALREADY_EXISTS}, {"\\F", "NONE", "J3", QVAPI_ERR_NOT_FOUND},
        {"\\F", "SUB", "J3", QVAPI_ERR_NOT_FOUND},     {"\\F", "J1", "a\\b", QVAPI_ERR_INVALID_NAME},
        {"\\F", "..", "J3", QVAPI_ERR_INVALID_NAME},    {"\\..", "JOBGEN", "J3", QVAPI_ERR_INVALID_PARAMETER},
        {"F", "J1", "J3", QVAPI_ERR_INVALID_PARAMETER},
    };
    // J1's header held by another opener: no refusal opens it.
    const win::HANDLE held = win::CreateFile((Store() / "F/J1/jobgenfile").c_str(), win::GENERIC_READ, 0, nullptr,
                                             win::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, win::INVALID_HANDLE_VALUE);
    for (const Refusal& r : refusals) {
        EXPECT_EQ(qvAPIChangeJobGen(r.folder, r.from, r.to), 0) << r.from;
        EXPECT_EQ(qvAPIGetLastError(), r.code) << r.from << " -> " << r.to;
    }
    win::CloseHandle(held);
    for (const char* name : {"SUB", "NONE", "..", "a\\b"}) {
        EXPECT_EQ(qvAPIDeleteJobGen("\\F", name, 0, 0), 0);
        EXPECT_NE(qvAPIGetLastError(), 0u);
    }
    EXPECT_EQ(Snapshot(Data()), before);

    // A header that cannot be rewritten sends the directory back to its old name.
    fs::create_directories(Store() / "F/BAD/jobgenfile");
    EXPECT_EQ(qvAPIChangeJobGen("\\F", "BAD", "BAD2"), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);
    EXPECT_TRUE(fs::exists(Store() / "F/BAD"));
    EXPECT_FALSE(fs::exists(Store() / "F/BAD2"));
    fs::remove_all(Store() / "F/BAD");

    ASSERT_EQ(qvAPIChangeJobGen("\\F", "J1", "J3"), 1) << Hex(qvAPIGetLastError());
    const auto bytes = Bytes(Store() / "F/J3/jobgenfile");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data()) + 4, "J3");
    ASSERT_EQ(qvAPIDeleteJobGen("\\F", "J2", 0, 0), 1);
    EXPECT_FALSE(fs::exists(Store() / "F/J2"));

    QVAPI_JOBGEN rec{};
    EXPECT_EQ(ListStored("\\F", block_), (std::map<std::string, uint32_t>{{"J3", 4}, {"SUB", 3}}));
    EXPECT_EQ(qvAPIFindFirstJobGen("\\F\\J3", &rec), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIFindFirstJobGen("\\F\\SUB", &rec), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
}

// Links planted in the store by another writer, to a JobGen and a folder outside the root, are
// neither JobGens nor folders: the listing leaves them out and no listing starts through them.
TEST_F(JobGenTest, LinksInTheStoreAreNeitherJobGensNorFolders) {
    MakeStored("\\F", "J1");
    MakeStored("\\OUT", "J9");
    const fs::path outside = root_ / "outside";
    fs::create_directories(outside / "SUB");
    fs::rename(Store() / "OUT", outside / "OUT");
    fs::create_directory_symlink(outside / "OUT" / "J9", Store() / "F" / "J9");
    fs::create_directory_symlink(outside, Store() / "F" / "LINKED");
    EXPECT_EQ(ListStored("\\F", block_), (std::map<std::string, uint32_t>{{"J1", 4}}));
    QVAPI_JOBGEN rec{};
    EXPECT_EQ(qvAPIFindFirstJobGen("\\F\\LINKED", &rec), QVPAPI_INVALID_HANDLE);
    EXPECT_NE(qvAPIGetLastError(), 0u);
    // Deleting the folder removes the links as links, never what they point to.
    ASSERT_EQ(qvAPIDeleteFolderJobGen("\\", "F", 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_FALSE(fs::exists(Store() / "F"));
    EXPECT_TRUE(fs::exists(outside / "OUT" / "J9" / "jobgenfile"));
    EXPECT_TRUE(fs::is_directory(outside / "SUB"));
}

TEST_F(JobGenTest, CopyOutAndBackNeverLosesTheStoredJobGen) {
    MakeStored("\\F", "J");
    const fs::path out = root_ / "out";
    fs::create_directories(out);
    ASSERT_EQ(qvAPIGetJobGen("\\F\\J", out.c_str()), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Bytes(out / "J/jobgenfile"), Bytes(Store() / "F/J/jobgenfile"));
    const auto stored = Snapshot(Store());

    // Bad sources and paths: the store stays as it was.
    const fs::path bad = root_ / "bad";
    fs::create_directories(bad / "J");
    std::ofstream(bad / "J/jobgenfile") << "short";
    struct Case {
        std::string source;
        const char* path;
        uint32_t code;
    };
    const Case cases[] = {{bad.string(), "\\F\\J", QVAPI_ERR_INVALID_PARAMETER},
                          {(root_ / "missing").string(), "\\F\\J", QVAPI_ERR_INVALID_PARAMETER},
                          {out.string(), "\\..\\NODEDEF", QVAPI_ERR_INVALID_PARAMETER},
                          {out.string(), "F\\J", QVAPI_ERR_INVALID_PARAMETER},
                          {out.string(), "\\F", QVAPI_ERR_NOT_FOUND},
                          {out.string(), "\\F\\", QVAPI_ERR_INVALID_PARAMETER}};
    for (const Case& c : cases) {
        EXPECT_EQ(qvAPIUpdateJobGen(c.source.c_str(), c.path), 0) << c.path;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.source << " " << c.path;
        EXPECT_EQ(Snapshot(Store()), stored);
    }
    EXPECT_EQ(qvAPIGetJobGen("\\..\\..", out.c_str()), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIGetJobGen("\\F", out.c_str()), 0);  // a folder is no JobGen
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    std::ofstream(out / "J/extra") << "changed by the caller";
    ASSERT_EQ(qvAPIUpdateJobGen(out.c_str(), "\\F\\J"), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Snapshot(Store() / "F/J"), Snapshot(out / "J"));
    EXPECT_FALSE(fs::exists(Work() / "UPDATE"));
}

// The update builds the copy beside the stored JobGen under a name any writer of the store can
// guess: what another writer left there is neither written through nor kept.
TEST_F(JobGenTest, LinksPlantedAtTheUpdateBuildingNameRedirectNothing) {
    MakeStored("\\F", "J");
    const fs::path out = root_ / "out";
    fs::create_directories(out);
    ASSERT_EQ(qvAPIGetJobGen("\\F\\J", out.c_str()), 1) << Hex(qvAPIGetLastError());
    int n = 0;
    for (const char* name : {"J .new", "J .old"}) {
        SCOPED_TRACE(name);
        const PlantedLinks links(root_ / "outside" / std::to_string(++n), {"J", "jobgenfile"});
        links.At(Store() / "F" / name, Plant::FolderLink);
        std::ofstream(out / "J/extra") << "change " << n;
        ASSERT_EQ(qvAPIUpdateJobGen(out.c_str(), "\\F\\J"), 1) << Hex(qvAPIGetLastError());
        EXPECT_EQ(links.Outside(), links.Original());
        EXPECT_EQ(Snapshot(Store() / "F/J"), Snapshot(out / "J"));
        EXPECT_FALSE(fs::exists(fs::symlink_status(Store() / "F" / name)));
    }
}

TEST_F(JobGenTest, StoredOperationsFindAnOpenJobGenBusy) {
    MakeStored("", "OPEN");
    const fs::path out = root_ / "out";
    fs::create_directories(out);
    auto expectBusy = [&] {
        EXPECT_EQ(qvAPIDeleteJobGen("", "OPEN", 0, 0), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
        EXPECT_EQ(qvAPIChangeJobGen("", "OPEN", "OTHER"), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
        EXPECT_EQ(qvAPIGetJobGen("\\OPEN", out.c_str()), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
        EXPECT_EQ(qvAPIUpdateJobGen(out.c_str(), "\\OPEN"), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    };
    QVPAPI_HANDLE h = Open("", "OPEN");
    // A rename onto a name being edited elsewhere is busy too.
    std::thread([&] {
        expectBusy();
        MakeStored("", "SECOND");
        EXPECT_EQ(qvAPIChangeJobGen("", "SECOND", "OPEN2"), 1);
    }).join();
    ASSERT_EQ(qvAPIChangeNameJobGen(h, "", "NEWNAME"), 1);
    std::thread([&] {
        EXPECT_EQ(qvAPIChangeJobGen("", "OPEN2", "NEWNAME"), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_BUSY);
    }).join();
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);

    JobGenHolder holder("", "OPEN");
    ASSERT_TRUE(holder.held());
    expectBusy();
    holder.Kill();
    EXPECT_EQ(qvAPIDeleteJobGen("", "OPEN", 0, 0), 1) << Hex(qvAPIGetLastError());
}

}  // namespace
}  // namespace qvptest
