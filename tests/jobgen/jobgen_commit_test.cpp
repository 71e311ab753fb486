// A JobGen built through the entry operations, walked, committed and compared with a file built
// by hand; re-open, discard, rename and the Ex backup.
#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "jobgen_env.h"

namespace qvptest {
namespace {

constexpr char kLongName[] =
    "client-with-a-name-that-is-longer-than-sixty-four-characters-given-as-is";

JobGenEntry Expected(const std::string& node, uint32_t type, const std::string& host) {
    JobGenEntry e{};
    e.jobKind = 'D';
    e.setcls = ' ';
    qvp::jobgen::PutField(e.node, sizeof e.node, node);
    e.type = type;
    qvp::jobgen::PutField(e.host, sizeof e.host, host);
    return e;
}

TEST_F(JobGenTest, KindDJobGenIsCommittedEntryByEntryInListingOrder) {
    QVPAPI_HANDLE h = Open("\\A\\B", "N");
    ASSERT_EQ(h, static_cast<QVPAPI_HANDLE>(block_));
    ASSERT_EQ(qvAPICreateClientJobGen(h, "\\mst1\\pc1", QVAPI_JOBGEN_BY_PATH, 0), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICreateClientJobGen(h, "pc1", QVAPI_JOBGEN_BY_ID, 0), 1);
    ASSERT_EQ(qvAPICreateClientJobGen(h, "asis1", QVAPI_JOBGEN_AS_GIVEN, 0), 1);
    ASSERT_EQ(qvAPICreateClientJobGen(h, kLongName, QVAPI_JOBGEN_AS_GIVEN, 0), 1);
    ASSERT_EQ(qvAPICreateNodeGroupJobGen(h, "\\grp", 0, 0), 1);
    ASSERT_EQ(qvAPICreateIDGroupJobGen(h, "\\route\\%id1", QVAPI_JOBGEN_IDGROUP, 0), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'D', "02", "pkgB", "v2", "0002", 0, 0), 1);
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 1);
    // The same client twice by path is one entry; the same package twice too.
    EXPECT_EQ(qvAPICreateClientJobGen(h, "\\mst1\\pc1", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    EXPECT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_RESOURCE);

    // Walk at level 5 (host shown) and at level 0 (416 bytes, the host field untouched).
    QVAPI_JOBGEN_NODE node;
    std::vector<std::string> names, hosts;
    QVPAPI_HANDLE f = qvAPIFindFirstNodeJobGen(h, &node, 0, 0);
    ASSERT_EQ(f, h) << Hex(qvAPIGetLastError());
    do {
        names.push_back(node.szNodeName);
        hosts.push_back(std::string(node.szHost, strnlen(node.szHost, sizeof node.szHost)));
    } while (qvAPIFindNextNodeJobGen(f, &node, 0, 0) == 1);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseNodeJobGen(f, 0, 0), 1);
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(names[0], "asis1");
    EXPECT_EQ(names[2], "\\mst1\\pc1");
    EXPECT_EQ(hosts[2], "\\mst1\\pc1");
    EXPECT_EQ(names[4], "\\mst1\\pc1");  // by ID: the definition's upper path and its name
    ASSERT_EQ(qvAPIExpandLevel(0), 1);
    std::memset(&node, 0xEE, sizeof node);
    ASSERT_EQ(qvAPIFindFirstNodeJobGen(h, &node, 0, 0), h);
    EXPECT_STREQ(node.szNodeName, "asis1");
    EXPECT_EQ(static_cast<uint8_t>(node.szHost[0]), 0xEE);
    qvAPIFindCloseNodeJobGen(h, 0, 0);
    ASSERT_EQ(qvAPIExpandLevel(5), 1);

    QVAPI_JOBGEN_PACKAGE package;
    ASSERT_EQ(qvAPIFindFirstPackageJobGen(h, 0, &package, 0, 0), h);
    EXPECT_EQ(package.cQvCode, 'C');
    EXPECT_STREQ(package.szVersion, "1/2");
    EXPECT_STREQ(package.szGeneration, "0001");
    ASSERT_EQ(qvAPIFindNextPackageJobGen(h, &package, 0, 0), 1);
    EXPECT_STREQ(package.szPackageId, "pkgB");
    EXPECT_EQ(qvAPIFindNextPackageJobGen(h, &package, 0, 0), 0);
    qvAPIFindClosePackageJobGen(h, 0, 0);

    std::string nf;
    for (const auto& e : fs::directory_iterator(Work() / "NODE")) {
        if (e.path().filename().string().rfind("NF", 0) == 0) nf = e.path().filename().string();
    }
    EXPECT_EQ(nf.size(), 19u);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_FALSE(fs::exists(Work()));

    // NODE in listing order: asis1, grp, mst1.pc1_00, NF..., pc1_10, route.%id1_20; each node
    // with the packages in theirs: C.01.pkgA.1#2.0001, D.02.pkgB.v2.0002.
    const std::vector<JobGenEntry> nodes = {
        Expected("asis1", qvp::jobgen::kTypeClientAsGiven, ""),
        Expected("\\grp", qvp::jobgen::kTypeGroup, ""),
        Expected("\\mst1\\pc1", qvp::jobgen::kTypeClient, "\\mst1\\pc1"),
        Expected(kLongName, qvp::jobgen::kTypeClientAsGiven, ""),
        Expected("pc1", qvp::jobgen::kTypeClientById, "pc1"),
        Expected("\\route\\%id1", qvp::jobgen::kTypeIdGroup, "\\route\\%id1"),
    };
    std::vector<uint8_t> expected(qvp::jobgen::kHeaderSize);
    for (JobGenEntry e : nodes) {
        for (const char* key : {"C.01.pkgA.1/2.0001", "D.02.pkgB.v2.0002"}) {
            qvp::jobgen::PutField(e.packageKey, sizeof e.packageKey, key);
            const auto* raw = reinterpret_cast<const uint8_t*>(&e);
            expected.insert(expected.end(), raw, raw + sizeof e);
        }
    }
    JobGenHeader header{};
    header.entryAreaSize = 12 * 1284;
    qvp::jobgen::PutField(header.name, sizeof header.name, "N");
    header.jobKind = 'D';
    header.execTiming = ' ';
    header.entryCount = 12;
    std::memcpy(header.version, "0500", 4);
    std::memcpy(expected.data(), &header, sizeof header);
    const auto file = Bytes(Store() / "A/B/N/jobgenfile");
    ASSERT_EQ(file.size(), 256u + 12 * 1284u);
    EXPECT_TRUE(file == expected);
    for (size_t i = 0; i < file.size() && i < expected.size(); ++i) {
        if (file[i] != expected[i]) {
            ADD_FAILURE() << "first difference at byte " << i;
            break;
        }
    }

    QVAPI_JOBGEN found;
    ASSERT_EQ(qvAPIFindJobGen("\\A\\B", "N", &found, 0, 0), 1);
    EXPECT_EQ(found.uiKind, QVAPI_JOBGEN_JOBGEN);
    EXPECT_STREQ(found.szName, "N");
    EXPECT_EQ(std::strlen(found.szCreated), 17u);
}

// The names of a work-tree folder's files or folders in the listing order the commit follows.
std::vector<std::string> Listed(const fs::path& dir, bool directories) {
    std::vector<std::string> names;
    win::WIN32_FIND_DATAA data{};
    win::HANDLE find = win::FindFirstFile((dir.string() + "/*").c_str(), &data);
    for (bool more = find != win::INVALID_HANDLE_VALUE; more; more = win::FindNextFile(find, &data)) {
        const std::string name = data.cFileName;
        const bool directory = (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name != "." && name != ".." && directory == directories) names.push_back(name);
    }
    if (find != win::INVALID_HANDLE_VALUE) win::FindClose(find);
    return names;
}

JobGenEntry EntryFile(const fs::path& path) {
    JobGenEntry e{};
    const std::vector<uint8_t> bytes = NodeStoreBuilder::ReadBytes(path);
    std::memcpy(&e, bytes.data(), std::min(bytes.size(), sizeof e));
    return e;
}

// Commits of many nodes (written in runs) hold what the plain algorithm makes of the work tree:
// each node file in listing order, with each package folder in its order, or alone.
TEST_F(JobGenTest, CommitOfManyNodesIsTheWorkTreeNodeByNode) {
    const struct {
        char kind;
        int nodes;
        std::vector<const char*> packages;
    } cases[] = {{'D', 150, {"pkgA", "pkgB"}}, {'V', 131, {}}, {'D', 1, {"pkgA"}}};
    for (const auto& c : cases) {
        const std::string name = std::string("M") + c.kind + std::to_string(c.nodes);
        SCOPED_TRACE(name);
        QVPAPI_HANDLE h = Open("\\A", name.c_str(), c.kind);
        for (int i = 0; i < c.nodes; ++i)
            ASSERT_EQ(qvAPICreateClientJobGen(h, ("asis" + std::to_string(i)).c_str(), QVAPI_JOBGEN_AS_GIVEN, 0), 1);
        for (const char* id : c.packages) ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", id, "1", "0001", 0, 0), 1);

        std::vector<uint8_t> expected;
        const auto append = [&expected](const JobGenEntry& entry) {
            const auto* raw = reinterpret_cast<const uint8_t*>(&entry);
            expected.insert(expected.end(), raw, raw + sizeof entry);
        };
        for (const std::string& file : Listed(Work() / "NODE", false)) {
            JobGenEntry e = EntryFile(Work() / "NODE" / file);
            e.jobKind = c.kind;
            e.setcls = ' ';
            if (c.packages.empty()) append(e);
            for (const std::string& dir : Listed(Work() / "PACKAGE", true)) {
                const JobGenEntry package = EntryFile(Work() / "PACKAGE" / dir / qvp::jobgen::kEntryFile);
                char key[512] = {};
                ASSERT_NE(qvpFileNameToPackageName(dir.c_str(), key), 0) << dir;
                qvp::jobgen::PutField(e.packageKey, sizeof e.packageKey, key);
                e.setcls = package.setcls;
                std::memcpy(e.fileId, package.fileId, sizeof e.fileId);
                e.packageCopy = package.packageCopy;
                e.fileIdCopy = package.fileIdCopy;
                append(e);
            }
        }
        ASSERT_EQ(expected.size() / sizeof(JobGenEntry), c.nodes * std::max<size_t>(1, c.packages.size()));
        ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
        const std::vector<uint8_t> file = Bytes(Store() / "A" / name / "jobgenfile");
        ASSERT_EQ(file.size(), qvp::jobgen::kHeaderSize + expected.size());
        JobGenHeader header{};
        std::memcpy(&header, file.data(), sizeof header);
        EXPECT_EQ(header.entryCount * sizeof(JobGenEntry), expected.size());
        EXPECT_EQ(header.entryAreaSize, expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + qvp::jobgen::kHeaderSize));
    }
}

TEST_F(JobGenTest, ReopenDiscardLeavesTheStoreAsItWasAndRenameMovesIt) {
    MakeStored("\\F", "J1");
    fs::create_directories(Attribution());
    // A side file travels with the package once the JobGen holds its own attribution copy.
    const std::vector<uint8_t> record = Record(0x5A);
    store_->WriteRawFile(Attribution() / "C.01.pkgA.1#2.0001", record.data(), record.size());
    QVPAPI_HANDLE h = Open("\\F", "J1");
    const uint8_t cls = 'X';
    ASSERT_EQ(qvAPIChangePackageJobGen(h, 0x8000 | 0x00001000, reinterpret_cast<const QVAPI_PACKAGE*>(record.data()), &cls, 0, 0), 1)
        << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1);
    ASSERT_TRUE(fs::exists(Store() / "F/J1/C.01.pkgA.1#2.0001"));
    const auto before = Snapshot(Store());

    h = Open("\\F", "J1");
    EXPECT_EQ(block_->openJobGen != nullptr, true);
    ASSERT_EQ(qvAPICreateClientJobGen(h, "pc1", QVAPI_JOBGEN_BY_ID, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);
    EXPECT_EQ(Snapshot(Store()), before);

    // A re-open and commit without change rewrites the same bytes.
    h = Open("\\F", "J1");
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(Snapshot(Store()), before);

    h = Open("\\F", "J1");
    ASSERT_EQ(qvAPIChangeNameJobGen(h, "\\G", "J2"), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPIChangeNameJobGen(h, "\\F", "J1"), 0);  // exists
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    fs::create_directories(Store() / "G");
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_FALSE(fs::exists(Store() / "F/J1"));
    const auto moved = Bytes(Store() / "G/J2/jobgenfile");
    ASSERT_GE(moved.size(), 256u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved.data()) + 4), "J2");
    EXPECT_TRUE(fs::exists(Store() / "G/J2/C.01.pkgA.1#2.0001"));

    // Ex option 2 keeps the backup of the JobGen as it was opened.
    h = qvAPICreateJobGenEx("\\G", "J2", 0, 0, 0);
    ASSERT_EQ(h, static_cast<QVPAPI_HANDLE>(block_)) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICloseJobGenEx(h, 2, 0), 1) << Hex(qvAPIGetLastError());
    const fs::path backup = Data() / "RMTINS/WORK" /
                            ("JB" + std::to_string(getpid()) + "_" + std::to_string(win::GetCurrentThreadId())) / "G/J2";
    EXPECT_EQ(Bytes(backup / "jobgenfile"), Bytes(Store() / "G/J2/jobgenfile"));
    h = qvAPICreateJobGenEx("\\G", "J2", 0, 0, 0);
    ASSERT_EQ(qvAPICloseJobGenEx(h, 0, 0), 1);
    EXPECT_FALSE(fs::exists(backup));
}

TEST_F(JobGenTest, CommitRefusalsRestoreTheStore) {
    MakeStored("", "J");
    const auto before = Snapshot(Store());
    QVPAPI_HANDLE h = Open("", "J");
    ASSERT_EQ(qvAPIDeletePackageJobGen(h, 'C', "01", "pkgA", "1/2", "0001", 0, 0), 1);
    EXPECT_EQ(qvAPICloseJobGen(h, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_JOB_NO_PACKAGE_ENTRY);
    EXPECT_EQ(Snapshot(Store()), before);
    EXPECT_EQ(block_->openJobGen, nullptr);

    h = Open("", "NEW");
    EXPECT_EQ(qvAPICloseJobGen(h, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_JOB_NO_NODE_ENTRY);
    EXPECT_EQ(Snapshot(Store()), before);
}

}  // namespace
}  // namespace qvptest
