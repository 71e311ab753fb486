// The settings file: sections, names ignoring case, limits, lazy load, atomic write-back.
#include <fcntl.h>
#include <sys/file.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform_fixture.h"
#include "support/kill_steps.h"

namespace {
using namespace win;
using qvp_test::PlatformTest;

class SettingsTest : public PlatformTest {
protected:
    void Write(const std::string& text) {
        std::ofstream(conf_, std::ios::binary | std::ios::trunc) << text;
        registry::LoadFrom(conf_);
    }
    std::string Text() const {
        std::ifstream in(conf_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(SettingsTest, SectionsAndMixedCaseNames) {
    Write("; settings\n[QVPAPI]\nPathName = /srv/qvp   ; install root\nlogGENcount=3\n"
          "[Platform]\nDriveC=/srv/c\n[Other]\nPathName=elsewhere\n");
    EXPECT_EQ(registry::Get("pathname"), "/srv/qvp");
    EXPECT_EQ(registry::Get("PATHNAME"), "/srv/qvp");
    EXPECT_EQ(registry::Get("LogGenCount"), "3");
    EXPECT_EQ(registry::Get("DriveC"), std::nullopt);  // the platform's, not the library's
    EXPECT_EQ(registry::GetPlatform("drivec"), "/srv/c");
    EXPECT_EQ(registry::Get("Missing"), std::nullopt);
    EXPECT_EQ(registry::ConfigPath(), conf_);
}

TEST_F(SettingsTest, OverLongValuesAreIgnored) {
    const std::string ok(127, 'v'), tooLong(128, 'v');
    Write("[QVPAPI]\nShort=" + ok + "\nLong=" + tooLong + "\n");
    EXPECT_EQ(registry::Get("Short"), ok);
    EXPECT_EQ(registry::Get("Long"), std::nullopt);
    EXPECT_FALSE(registry::Set("Long", tooLong));
    EXPECT_TRUE(registry::Set("Long", ok));
    EXPECT_EQ(registry::Get("long"), ok);
}

TEST_F(SettingsTest, SetRefusesWhatALineCannotHold) {
    Write("[QVPAPI]\nA=1\n");
    EXPECT_FALSE(registry::Set("B=C", "x"));
    EXPECT_FALSE(registry::Set("", "x"));
    EXPECT_FALSE(registry::Set("[B]", "x"));
    EXPECT_FALSE(registry::Set("B", "two\nlines"));
    EXPECT_FALSE(registry::Set("B", "value ; comment"));
    EXPECT_TRUE(registry::Set("B", "C:\\ZARNQVP;x"));
    EXPECT_TRUE(registry::Flush());
    registry::LoadFrom(conf_);
    EXPECT_EQ(registry::Get("b"), "C:\\ZARNQVP;x");
    EXPECT_EQ(registry::Get("A"), "1");
}

TEST_F(SettingsTest, AtMost512Values) {
    std::string text = "[QVPAPI]\n";
    for (int i = 0; i < 600; ++i) text += "Name" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    Write(text);
    EXPECT_EQ(registry::Get("Name0"), "0");
    EXPECT_EQ(registry::Get("Name511"), "511");
    EXPECT_EQ(registry::Get("Name512"), std::nullopt);
    EXPECT_FALSE(registry::Set("Brand", "new"));
    EXPECT_TRUE(registry::Set("name5", "changed"));  // existing names still change
    EXPECT_EQ(registry::Get("Name5"), "changed");
}

TEST_F(SettingsTest, WriteBackReplacesOnlyTheChangedValue) {
    const std::string original =
        "# QVPAPI settings\r\n[QVPAPI]\r\nPathName=/srv/qvp\r\nGuidUseStatus=NO ; keep this\r\n"
        "LogGenCount=3\r\n\r\n[Platform]\r\nDriveC=" + drive_ + "\r\n";
    Write(original);
    EXPECT_TRUE(registry::Flush());  // nothing changed: nothing written
    EXPECT_EQ(Text(), original);
    EXPECT_TRUE(registry::Set("guidusestatus", "YES"));
    // Someone else edits the file meanwhile: their value stays, ours goes in.
    std::string edited = Text();
    edited.replace(edited.find("LogGenCount=3"), 13, "LogGenCount=5");
    std::ofstream(conf_, std::ios::binary | std::ios::trunc) << edited;
    EXPECT_TRUE(registry::Flush());
    std::string expected = edited;
    expected.replace(expected.find("GuidUseStatus=NO"), 16, "GuidUseStatus=YES");
    EXPECT_EQ(Text(), expected);
    // A new name goes at the end of the library's section.
    EXPECT_TRUE(registry::Set("ConnectRetryCount", "7"));
    EXPECT_TRUE(registry::Flush());
    EXPECT_NE(Text().find("LogGenCount=5\r\nConnectRetryCount=7\r\n\r\n[Platform]"), std::string::npos) << Text();
    registry::LoadFrom(conf_);
    EXPECT_EQ(registry::Get("connectretrycount"), "7");
    EXPECT_EQ(registry::Get("GuidUseStatus"), "YES");
    EXPECT_EQ(registry::GetPlatform("DriveC"), drive_);
    // No temporary file is left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(root_)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

// Another process may hold the settings file's lock as long as it likes: a write-back waiting
// for it keeps no other thread from the settings meanwhile (nor a fork, whose prepare step takes
// the settings' lock).
TEST_F(SettingsTest, WriteBackWaitingForTheFileKeepsTheSettingsFree) {
    Write("[QVPAPI]\nA=1\n");
    const int ended = qvptest::EndsWithin(10, [&] {
        const int held = open(conf_.c_str(), O_RDONLY | O_CLOEXEC);
        if (held < 0 || flock(held, LOCK_EX) != 0 || !registry::Set("A", "2")) return 2;
        bool written = false;
        std::thread writer([&] { written = registry::Flush(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the writer waits for the file
        const bool read = registry::Get("A") == "2";
        flock(held, LOCK_UN);
        writer.join();
        return read && written ? 0 : 3;
    });
    EXPECT_EQ(ended, 0) << "a reader waited for the write-back";
    EXPECT_EQ(Text(), "[QVPAPI]\nA=2\n");
}

TEST_F(SettingsTest, WriteBackCreatesTheSection) {
    Write("[Platform]\nDriveC=" + drive_ + "\n");
    EXPECT_TRUE(registry::Set("PathName", "/srv/x"));
    EXPECT_TRUE(registry::Flush());
    EXPECT_EQ(Text(), "[Platform]\nDriveC=" + drive_ + "\n[QVPAPI]\nPathName=/srv/x\n");
}

TEST_F(SettingsTest, MissingFileIsAnEmptyCache) {
    registry::LoadFrom(root_ + "/none.conf");
    EXPECT_EQ(registry::Get("PathName"), std::nullopt);
    EXPECT_EQ(DriveRoot('C'), "/var/lib/qvpapi/c");
    EXPECT_EQ(RunDirectory(), DriveRoot('C') + "/ZARNQVP/RUN");
    EXPECT_TRUE(registry::Set("PathName", "/srv/y"));
    EXPECT_TRUE(registry::Flush());
    registry::LoadFrom(root_ + "/none.conf");
    EXPECT_EQ(registry::Get("PathName"), "/srv/y");
}

TEST_F(SettingsTest, SetPlatformStaysInMemory) {
    Write("[QVPAPI]\nA=1\n");
    registry::SetPlatform("RunDir", root_ + "/elsewhere");
    EXPECT_EQ(RunDirectory(), root_ + "/elsewhere");
    EXPECT_TRUE(registry::Set("A", "2"));
    EXPECT_TRUE(registry::Flush());
    EXPECT_EQ(Text(), "[QVPAPI]\nA=2\n");
}

// What the load cannot use is said, with its line number, to the event log at once and to the
// first taker (the library's DLL.LOG) once; the defaults stay in force.
TEST_F(SettingsTest, UnusableLinesAreReportedOnce) {
    const std::string events = root_ + "/events.log";
    Write("stray=1\n[QVPAPI]\nPathName=/srv/a\nno equals sign\npathname=/srv/b\nLong=" + std::string(128, 'v') +
          "\n; comment\n\n[Platfrom]\nDriveC=/x\n[Platform\n[Platform]\nEventLogFile=" + events +
          "\nDriveA=/a\nDriveZ=/z\nDrive[=/x\n");
    EXPECT_EQ(registry::Get("PathName"), "/srv/a");
    std::vector<std::string> expected = {"1: a value before any section", "4: not a Name=Value line",
                                         "5: pathname given a second time",
                                         "6: the value of Long is 128 bytes long (at most 127)",
                                         "9: unknown section [Platfrom]", "11: not a Name=Value line",
                                         "16: Drive[ is no setting of [Platform]"};
    for (std::string& e : expected) e = "settings file " + conf_ + ": line " + e + "; ignored";
    EXPECT_EQ(registry::TakeProblems(), expected);
    EXPECT_TRUE(registry::TakeProblems().empty()) << "taken once";
    std::ifstream in(events);
    std::vector<std::string> logged;
    for (std::string line; std::getline(in, line);) logged.push_back(line.substr(line.find(": settings file ") + 2));
    EXPECT_EQ(logged, expected);
}

TEST_F(SettingsTest, ANamedFileThatCannotBeReadIsReported) {
    registry::LoadFrom(root_ + "/absent.conf");
    EXPECT_EQ(registry::Get("PathName"), std::nullopt);
    const std::string said =
        "settings file " + root_ + "/absent.conf: cannot be read (" + strerror(ENOENT) + "); the defaults are used";
    EXPECT_EQ(registry::TakeProblems(), std::vector<std::string>{said});
}

TEST(SettingsLazy, GetBeforeLoadReadsTheFileOfTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: nothing loaded yet
    // The child runs this body afresh, making a folder of its own, and removes it before it ends.
    std::string dir = (std::filesystem::temp_directory_path() / "qvp-lazy-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::string conf = dir + "/lazy.conf";
    std::ofstream(conf) << "[QVPAPI]\nPathName=/lazy/root\n";
    EXPECT_EXIT(
        {
            setenv("QVPAPI_CONFIG", conf.c_str(), 1);
            const auto v = win::registry::Get("PATHNAME");
            const bool read = v == "/lazy/root" && win::registry::ConfigPath() == conf;
            std::filesystem::remove_all(dir);
            _exit(read ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::filesystem::remove_all(dir);
}

}  // namespace
