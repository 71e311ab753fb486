// Settings the library cannot use are said once in DLL.LOG and the event log whenever they are
// first read: at load, when the session opens, during the connect, or when a value is written
// back. The first DLL.LOG record of a program says which settings are in use.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "session/fixture.h"

namespace qvptest {
namespace {

class SettingsReportTest : public SessionTest {
protected:
    void TearDown() override { fs::current_path(cwd_); SessionTest::TearDown(); }  // a case moves it

    // Loads `library` as the library section, with drive C (the default root's) in this test's
    // folder (made, unless another is named) and the event log's file there too.
    std::string Load(const std::string& library, fs::path driveC = {}) {
        if (driveC.empty()) fs::create_directories(driveC = root_ / "c");
        const std::string conf = (root_ / "qvpapi.conf").string();
        std::ofstream(conf) << "[QVPAPI]\n" << library << "[Platform]\nDriveC=" << driveC.string()
                            << "\nRunDir=" << (root_ / "run").string() << "\nEventLogFile=" << Events().string() << "\n";
        win::registry::LoadFrom(conf);
        return conf;
    }
    fs::path DefaultRoot() const { return root_ / "c" / "ZARNQVP"; }
    static std::string Made(const fs::path& root) {
        return "install root " + root.string() + " did not exist; made it: a new, empty store";
    }
    fs::path Events() const { return root_ / "events.log"; }

    static size_t Count(const fs::path& root, const std::string& text) { return CountIn(root / "LOG" / "DLL.LOG", text); }
    static size_t CountIn(const fs::path& file, const std::string& text) {
        std::ifstream in(file, std::ios::binary);
        const std::string log(std::istreambuf_iterator<char>(in), {});
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    const fs::path cwd_ = fs::current_path();
};

TEST_F(SettingsReportTest, UnusableValuesAreSaidOnceWhereverTheyAreRead) {
    const std::string data = this->data().string(), at = "PathName=" + data + "\n", spaced = (root_ / "a b").string();
    const std::string relative = " is no absolute path (/... or C:\\...); C:\\ZARNQVP is used";
    // The library section, the root whose DLL.LOG tells, and what it says after "settings file <conf>: ".
    const struct { std::string library; fs::path logRoot; std::string said; } cases[] = {
        // A name the library does not read, in either of its sections, is said (the first loaded
        // before the library has read a setting); every name it reads passes (before anything
        // is said in this root).
        {"PathNmae=/srv/qvp\n", DefaultRoot(), "line 2: PathNmae is no setting of [QVPAPI]; ignored"},
        {at + "resourcepathname=/srv/res\nIdSyncOption=NO\nGuidUseStatus=NO\nRdbOption=0\nLogGenCount=3\n"
              "ReceiveTimeout=600\nSystemManagementKey=0\nConnectRetryCount=3\nNODEOPRLogRecordSize=1152\n"
              "user_cltLogRecordCount=5000\n[Platform]\nCodePage=932\nDrivez=/srv/z\n",
         data, ""},
        {at + "[Platform]\nRunDri=" + spaced + "\n", data, "line 4: RunDri is no setting of [Platform]; ignored"},
        // Read during the connect, after DLL.LOG has opened; once for each value.
        {at + "ConnectRetryCount=-5\n", data, "ConnectRetryCount=-5 is no number from 0 to 1000; 3 is used"},
        {at + "ConnectRetryCount=5000\n", data, "ConnectRetryCount=5000 is no number from 0 to 1000; 3 is used"},
        // Read when NODE.LOG opens, after DLL.LOG.
        {at + "NODELogRecordSize=5\n", data, "NODELogRecordSize=5 is no number from 128 to 8192; 1152 is used"},
        {at + "SystemManagementKey=7\n", data,
         "SystemManagementKey=7 is neither 0 (host names) nor 1 (IPv4 addresses); node calls are refused"},
        {"PathName=relroot\n", DefaultRoot(), "PathName=relroot" + relative},
        {"PathName=C:relroot\n", DefaultRoot(), "PathName=C:relroot" + relative},  // a drive, no root folder
        {at + "SystemManagementKey=2\n", data,
         "SystemManagementKey=2 is neither 0 (host names) nor 1 (IPv4 addresses); node calls are refused"},
        {"PathName=\"" + spaced + "\"\n", DefaultRoot(), "PathName=\"" + spaced + "\"" + relative},
        {"PathName=" + spaced + "\n", spaced, ""},
    };
    fs::create_directories(root_ / "cwd");  // where a root taken relative would appear
    fs::current_path(root_ / "cwd");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        fs::remove(Events());
        const std::string said = "settings file " + Load(c.library) + ": " + c.said;
        for (int open = 0; open < 2; ++open) {  // the second open says nothing again
            ASSERT_EQ(Open(), 1);
            EXPECT_EQ(Count(c.logRoot, said), c.said.empty() ? 0u : 1u) << said;
            EXPECT_EQ(qvAPIClose(), 1);
        }
        EXPECT_EQ(CountIn(Events(), said), c.said.empty() ? 0u : 1u) << said;
        EXPECT_TRUE(fs::exists(c.logRoot / "LOG" / "DLL.LOG"));
        EXPECT_TRUE(fs::is_empty(root_ / "cwd"));
        fs::remove_all(DefaultRoot());
    }
}

// The first DLL.LOG record a program writes says which settings file it read, or why none, and
// the install root that gives: where the store lies on this machine.
TEST_F(SettingsReportTest, TheFirstRecordOfAProgramNamesTheSettingsInUse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // each case in a fresh process: nothing said yet
    const std::string conf = Load("PathName=" + data().string() + "\n"), missing = (root_ / "missing.conf").string();
    // A root that was not there is made, and that is said first (the default root here).
    const struct { std::string loadFrom; fs::path logRoot; std::string said; bool made; } cases[] = {
        {conf, data(), "settings file " + conf + " read; install root " + data().string(), false},
        {missing, DefaultRoot(),
         "no settings file read (" + missing + ": " + std::strerror(ENOENT) + "); install root " + DefaultRoot().string(),
         true},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                win::registry::LoadFrom(c.loadFrom);
                win::registry::SetPlatform("DriveC", (root_ / "c").string());
                const bool opened = Open() == 1 && qvAPIClose() == 1;
                std::ifstream in(c.logRoot / "LOG" / "DLL.LOG", std::ios::binary);
                std::string first;
                std::getline(in, first);
                if (c.made) {
                    const bool madeFirst = first.find(Made(c.logRoot)) != std::string::npos;
                    std::getline(in, first);
                    if (!madeFirst) first.clear();
                }
                const bool said = opened && first.find(c.said) != std::string::npos && Count(c.logRoot, c.said) == 1;
                std::fprintf(stderr, "first record: %s\n", first.c_str());
                TearDown();  // the fresh process's own root
                _exit(said ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << c.said;
    }
}

// A mistyped root gives a new, empty store: the first record of its DLL.LOG and the event log
// say once that it was made, whatever was missing above it (a drive path's drive folder too, as
// for the default root on a fresh machine); the folders above are made as the root is, and may
// be reached through a link.
TEST_F(SettingsReportTest, ARootThatWasNotThereIsSaidToBeMade) {
    fs::create_directories(root_ / "real");
    fs::create_directory_symlink(root_ / "real", root_ / "link");
    const mode_t mask = umask(0);
    umask(mask);
    const auto made = fs::perms(0777 & ~mask);
    // The library section, drive C, the first folder missing and the root below it.
    const struct { std::string library; fs::path driveC, first; fs::path below; } cases[] = {
        {"PathName=" + (root_ / "typo" / "qvp").string() + "\n", {}, root_ / "typo", "qvp"},
        {"PathName=C:\\QVPX\n", root_ / "drive-c", root_ / "drive-c", "QVPX"},
        {"PathName=C:\\TOP\\QVPX\n", root_ / "new" / "drive-c", root_ / "new", "drive-c/TOP/QVPX"},
        {"PathName=C:\\QVPX\n", root_ / "link" / "drive-c", root_ / "link" / "drive-c", "QVPX"},
        {"", root_ / "fresh" / "c", root_ / "fresh", "c/ZARNQVP"},  // no PathName: C:\ZARNQVP
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library + " DriveC=" + c.driveC.string());
        const fs::path root = c.first / c.below;
        fs::remove(Events());
        Load(c.library, c.driveC);
        for (int open = 0; open < 2; ++open) {
            ASSERT_EQ(Open(), 1) << std::hex << qvAPIGetLastError();
            EXPECT_EQ(qvAPIClose(), 1);
            std::ifstream in(root / "LOG" / "DLL.LOG", std::ios::binary);
            std::string first;
            std::getline(in, first);
            EXPECT_NE(first.find(Made(root)), std::string::npos) << first;
            EXPECT_EQ(Count(root, Made(root)), 1u);
            EXPECT_EQ(CountIn(Events(), Made(root)), 1u);
        }
        for (fs::path level = root; level != c.first.parent_path(); level = level.parent_path())
            EXPECT_EQ(fs::status(level).permissions(), made) << level;
        fs::remove_all(c.first);
    }
    EXPECT_EQ(Count(data(), "did not exist"), 0u);  // the tests' own root is there
}

// A root the caller cannot write has no DLL.LOG: the session fails to open, and the event log
// says which folder and why, in the system's words.
class UnwritableRootTest : public SettingsReportTest {
protected:
    void ExpectSaid(const fs::path& root, const std::string& why) {
        // The run-time folder is the root's own (no RunDir).
        const std::string conf = (root_ / "qvpapi.conf").string();
        std::ofstream(conf) << "[QVPAPI]\nPathName=" << root.string() << "\n[Platform]\nEventLogFile=" << Events().string()
                            << "\n";
        win::registry::LoadFrom(conf);
        EXPECT_EQ(Open(), 0);
        EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_TCP_SOCKET);
        EXPECT_FALSE(fs::exists(root / "LOG"));
        const std::string said = "DLL.LOG: the lock QVPAPI.LOG.DLL.LOG in " + (root / "RUN").string() + " cannot be had (" +
                                 why + "), nor can the log be opened (";
        std::ifstream in(Events(), std::ios::binary);
        EXPECT_EQ(CountIn(Events(), said), 1u) << said << "\n" << std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(UnwritableRootTest, ARootThatIsAFile) {
    const fs::path file = root_ / "qvp-file";
    std::ofstream(file) << "not a folder";
    ExpectSaid(file, "error 3: " + std::string(std::strerror(ENOTDIR)));
}

TEST_F(UnwritableRootTest, ARootTheCallerMayNotWrite) {
    if (geteuid() == 0) GTEST_SKIP() << "run as root, every folder can be written (make test-user runs this)";
    const fs::path root = root_ / "others";
    fs::create_directories(root);
    fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
    ExpectSaid(root, "error 5: " + std::string(std::strerror(EACCES)));
    fs::permissions(root, fs::perms::owner_all);
}

// The key stays refused by the node calls: the report only names it.
TEST_F(SettingsReportTest, AnUnknownSystemManagementKeyIsStillRefused) {
    Load("PathName=" + data().string() + "\nSystemManagementKey=7\n");
    ASSERT_EQ(Open(), 1);
    QVAPI_NODE node{};
    std::strcpy(node.ucNodeName, "pc001");
    node.uiNodeAttributes = QVAPI_NODE_CLIENT;
    std::strcpy(node.ucNodePath0, "\\");
    EXPECT_EQ(qvAPICreateClientDefinition("pc001", &node, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
}

// A settings file that was not there is made by the write-back: said once, when the value that
// makes it is set, so that a mistyped QVPAPI_CONFIG is found before it stops being reported.
TEST_F(SettingsReportTest, TheMakingOfTheSettingsFileIsSaidOnce) {
    const std::string conf = (root_ / "mistyped.conf").string();
    fs::create_directories(root_ / "c");
    win::registry::LoadFrom(conf);
    win::registry::SetPlatform("DriveC", (root_ / "c").string());
    ASSERT_EQ(Open(), 1);
    const std::string said = "settings file " + conf + ": not there when loaded; made at unload to hold GuidUseStatus";
    EXPECT_EQ(Count(DefaultRoot(), said), 0u);
    for (uint32_t use : {1u, 0u}) EXPECT_EQ(qvpAPISetGuidUseStatus(use, 0, 0), 1);
    EXPECT_EQ(Count(DefaultRoot(), said), 1u);
    EXPECT_TRUE(win::registry::Flush());  // made now, not by a later test's unload
}

}  // namespace
}  // namespace qvptest
