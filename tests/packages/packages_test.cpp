#include <sys/stat.h>

#include <cstring>
#include <functional>

#include "core/paths.h"
#include "packages/package_fixture.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;

std::string Field(const std::string& text) { return "t" + std::to_string(text.size()) + " " + text; }

class RegisterTest : public PackagesTest {
protected:
    void SetUp() override {
        PackagesTest::SetUp();
        packageFile_ = root_ / "caller" / "package.bin";
        scriptFile_ = root_ / "caller" / "script.txt";
        store().AddCabinet('C', "A1", "cab");
        Write(packageFile_, std::string(70000, 'p') + "end");
        Write(scriptFile_, "echo script\n");
        Open();
    }
    // Adds C.A1.pkg.1/0.0001 from a caller's attribute file.
    int Add(uint32_t option, bool script = true) {
        const fs::path attr = AttributeFile(Package('C', "A1", "pkg", "1/0", "0001", ""), script);
        return qvAPIAddPackage(scriptFile_.c_str(), packageFile_.c_str(), attr.c_str(), option, 0, 0);
    }
    std::string ReadAll(QVPAPI_HANDLE handle, int (*read)(QVPAPI_HANDLE, void*, uint32_t, uint32_t*)) {
        std::string all;
        std::string buffer(QVAPI_PACKAGE_READ_MAX, '\0');
        uint32_t got = 0;
        while (read(handle, buffer.data(), QVAPI_PACKAGE_READ_MAX, &got) == 1 && got > 0) all.append(buffer, 0, got);
        return all;
    }
    fs::path AtrFolder() const { return data() / "SERVER/WORK/MNG/ATR"; }

    fs::path packageFile_;
    fs::path scriptFile_;
};

TEST_F(RegisterTest, AddedPackageIsFoundAndItsFilesReadBack) {
    ASSERT_EQ(Add(QVAPI_PACKAGE_FAIL_EXISTS), 1) << std::hex << Code();
    const std::string work = qvp::PathOf(qvpMakeWorkAtrPath) + std::to_string(win::GetCurrentThreadId()) +
                             ".C.A1.pkg.1#0.0001";
    EXPECT_EQ(LastRequest(), "RPUT 4 " + Field(work) + " " + Field(packageFile_) + " " + Field(scriptFile_) +
                                 " f1   ");
    EXPECT_TRUE(fs::is_empty(AtrFolder()));

    // The version keeps its '/' in the key: the package is found, so it can be replaced.
    EXPECT_EQ(Add(QVAPI_PACKAGE_FAIL_EXISTS), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_ALREADY_EXISTS);
    ASSERT_EQ(Add(QVAPI_PACKAGE_REPLACE), 1) << std::hex << Code();
    EXPECT_EQ(LastRequest().substr(LastRequest().size() - 5), "f1 F ");
    EXPECT_TRUE(fs::is_empty(AtrFolder()));

    QVAPI_PACKAGE found;
    ASSERT_EQ(qvAPIFindPackage('C', "A1", "pkg", "1/0", "0001", &found, 0, 0), 1) << std::hex << Code();
    EXPECT_EQ(found.wLength, QVAPI_PACKAGE_SIZE);
    EXPECT_EQ(found.dwAttribute4, 0x01020304u);
    QVAPI_PACKAGE walked;
    QVPAPI_HANDLE find = qvAPIFindFirstPackage('C', "A1", &walked, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(std::memcmp(&walked, &found, sizeof found), 0);
    EXPECT_EQ(qvAPIFindNextPackage(find, &walked, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindClosePackage(find, 0, 0), 1);

    char version[] = "1/0";
    QVPAPI_HANDLE package = qvAPIOpenPackage('C', "A1", "pkg", version, "0001", 0, 0);
    ASSERT_NE(package, QVPAPI_INVALID_HANDLE) << std::hex << Code();
    EXPECT_STREQ(version, "1#0");
    EXPECT_EQ(ReadAll(package, qvAPIReadPackageFile), Read(packageFile_));
    EXPECT_EQ(ReadAll(package, qvAPIReadScriptFile), Read(scriptFile_));
    EXPECT_EQ(qvAPIClosePackage(package), 1);
    EXPECT_EQ(qvAPIClosePackage(package), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
}

// A link left at the work copy's name (the thread id's) is removed, never written through.
TEST_F(RegisterTest, ALinkAtTheWorkCopysNameIsNotWrittenThrough) {
    const fs::path victim = root_ / "victim";
    Write(victim, "precious");
    fs::create_directories(AtrFolder());
    fs::create_symlink(victim, AtrFolder() / (std::to_string(win::GetCurrentThreadId()) + ".C.A1.pkg.1#0.0001"));
    ASSERT_EQ(Add(QVAPI_PACKAGE_FAIL_EXISTS), 1) << std::hex << Code();
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_TRUE(fs::is_empty(AtrFolder()));
}

TEST_F(RegisterTest, EachReplyClassHasItsCode) {
    const struct {
        const char* reply;
        uint32_t code;
    } cases[] = {{"16 22", QVAPI_ERR_CABINET_FULL}, {"16 162", QVAPI_ERR_DISK_FULL},
                 {"16 199", QVAPI_ERR_ALREADY_EXISTS}, {"4 16", QVAPI_ERR_BUSY}, {"12 1", QVAPI_ERR_RESOURCE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        sim().Script("RPUT", qvpsim::Action::Reply(c.reply));
        EXPECT_EQ(qvpAPIAddPackage("af", "rf", nullptr, ' '), 0);
        EXPECT_EQ(Code(), c.code);
        EXPECT_EQ(LastRequest(), "RPUT 3 t2 af t2 rf f1  ");
        sim().Script("RPUT", qvpsim::Action::Reply(c.reply));
        EXPECT_EQ(Add(QVAPI_PACKAGE_FAIL_EXISTS, false), 0);
        EXPECT_EQ(Code(), c.code);
        EXPECT_TRUE(fs::is_empty(AtrFolder()));
    }
}

TEST_F(RegisterTest, BadArgumentsAreRefusedBeforeAnyRequest) {
    const std::string path260(260, 'r'), path261(261, 'r');
    const fs::path shortAttr = root_ / "caller" / "short.atr";
    Write(shortAttr, std::string(100, '\0'));
    QVAPI_PACKAGE bigEndian = Package('C', "A1", "pkg", "1", "0001");
    const fs::path swapped = root_ / "caller" / "swapped.atr";
    Write(swapped, std::string(reinterpret_cast<const char*>(&bigEndian), sizeof bigEndian));
    const struct {
        const char* what;
        std::function<long()> call;
        uint32_t code;
    } cases[] = {
        {"RF of 261", [&] { return qvpAPIAddPackage("af", path261.c_str(), nullptr, ' '); }, QVAPI_ERR_INVALID_PARAMETER},
        {"bad replace", [&] { return qvpAPIAddPackage("af", "rf", nullptr, 'X'); }, QVAPI_ERR_INVALID_PARAMETER},
        {"empty script", [&] { return qvAPICreatePackage(0, 0, 0, "rf", "", "af", 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"option 3", [&] { return qvAPIAddPackage("q", "r", "a", 3, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"no attribute file", [&] { return qvAPIAddPackage("q", "r", "/nonexistent", 1, 0, 0); }, QVAPI_ERR_NO_MORE_ITEMS},
        {"short attribute file", [&] { return qvAPIAddPackage("q", "r", shortAttr.c_str(), 1, 0, 0); }, QVAPI_ERR_RESOURCE},
        {"network order", [&] { return qvAPIAddPackage("q", "r", swapped.c_str(), 1, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"script missing", [&] { return qvAPIAddPackage(nullptr, "r", AttributeFile(bigEndian, true).c_str(), 1, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"no cabinet", [&] { return qvAPIAddPackage("q", "r", AttributeFile(Package('C', "B2", "p", "1", "1"), false).c_str(), 1, 0, 0); }, QVAPI_ERR_NO_MORE_ITEMS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), 0);
        EXPECT_EQ(Code(), c.code);
    }
    for (const std::string& request : sim().Received()) EXPECT_NE(request.substr(0, 4), "RPUT");
    // A package path of exactly 260 characters still goes out.
    sim().Script("RPUT", qvpsim::Action::Reply("0 0"));
    EXPECT_EQ(qvpAPIAddPackage("af", path260.c_str(), nullptr, ' '), 1);
}

TEST_F(RegisterTest, HeaderAndOneLookupEndTheWalk) {
    store().AddPackage(Package('C', "A1", "one", "1", "0001"));
    store().AddPackage(Package('C', "A1", "two", "1", "0001"));
    QVAPI_PACKAGE record;
    QVPAPI_HANDLE find = qvAPIFindFirstPackage('C', "A1", &record, 0, 0);
    ASSERT_NE(find, QVPAPI_INVALID_HANDLE) << std::hex << Code();
    EXPECT_EQ(std::string(record.szPackageId, 3), "one");
    ASSERT_EQ(qvAPIFindPackageHeader('C', "A1", &record, 0, 0), 1) << std::hex << Code();
    EXPECT_EQ(record.wLength, QVAPI_PACKAGE_SIZE);
    EXPECT_EQ(std::string(record.szPackageId, 44), std::string(44, ' '));
    // The lookup released the cursor the walk was using.
    EXPECT_EQ(qvAPIFindNextPackage(find, &record, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindPackageHeader('C', "Z9", &record, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindFirstPackage('C', "", &record, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
}

TEST_F(RegisterTest, DeleteSendsKeysUpTo63Characters) {
    const std::string id(44, 'p');  // with version 12345678 a dotted name of 63 characters
    store().AddPackage(Package('C', "A1", id.c_str(), "12345678", "0001"));
    ASSERT_EQ(qvAPIDeletePackage('C', "A1", id.c_str(), "12345678", "0001", 0, 0), 1) << std::hex << Code();
    EXPECT_EQ(LastRequest(), "RDEL 1 k59 CA1" + id + "123456780001");
    const size_t before = sim().Received().size();
    QVAPI_PACKAGE out;
    EXPECT_EQ(qvAPIDeletePackage('C', "A1", id.c_str(), "123456789", "0001", 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIFindPackage('C', "A1", id.c_str(), "123456789", "0001", &out, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIDeletePackage('X', "A1", nullptr, "1", "0001", 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(sim().Received().size(), before);
}

TEST_F(RegisterTest, OpenRefusesWhatWouldLeaveItsFolders) {
    QVAPI_PACKAGE plain = Package('C', "A1", "plain", "1", "0001", "P0000009");
    store().AddPackage(plain, "bytes");
    QVAPI_PACKAGE escaping = Package('C', "A1", "escape", "1", "0001", "P/../x");
    store().AddPackage(escaping, "bytes");
    QVAPI_PACKAGE scriptless = Package('C', "A1", "noscript", "1", "0001", "P0000010");
    scriptless.ucFlags = QVAPI_PACKAGE_FLAG_SCRIPT;
    store().AddPackage(scriptless, "bytes");
    static const char kReadOnly[] = "1";  // never written: it holds no '/'
    const struct {
        const char* what;
        const char* package;
        const char* version;
        uint32_t code;
    } cases[] = {
        {"separator in a part", "a\\b", "1", QVAPI_ERR_INVALID_PARAMETER},
        {"parent part", "..", "1", QVAPI_ERR_INVALID_PARAMETER},
        {"version past 8 keeps '/'", "plain", "12345678/", QVAPI_ERR_INVALID_PARAMETER},
        {"resource name with separator", "escape", "1", QVAPI_ERR_UNEXPECTED_DATA},
        {"flag without script file", "noscript", "1", QVAPI_ERR_NO_MORE_ITEMS},
        {"no attribution file", "none", "1", QVAPI_ERR_NO_MORE_ITEMS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string version(c.version);
        EXPECT_EQ(qvAPIOpenPackage('C', "A1", c.package, version.data(), "0001", 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(Code(), c.code);
    }

    QVPAPI_HANDLE handle = qvAPIOpenPackage('C', "A1", "plain", const_cast<char*>(kReadOnly), "0001", 0, 0);
    ASSERT_NE(handle, QVPAPI_INVALID_HANDLE) << std::hex << Code();
    std::string buffer(QVAPI_PACKAGE_READ_MAX + 1, '\0');
    uint32_t got = 7;
    EXPECT_EQ(qvAPIReadScriptFile(handle, buffer.data(), 1, &got), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(qvAPIReadPackageFile(handle, buffer.data(), QVAPI_PACKAGE_READ_MAX + 1, &got), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
    ASSERT_EQ(qvAPIReadPackageFile(handle, buffer.data(), QVAPI_PACKAGE_READ_MAX, &got), 1);
    EXPECT_EQ(got, 5u);
    ASSERT_EQ(qvAPIReadPackageFile(handle, buffer.data(), QVAPI_PACKAGE_READ_MAX, &got), 1);
    EXPECT_EQ(got, 0u);
    int other = 0;
    EXPECT_EQ(qvAPIReadPackageFile(&other, buffer.data(), 1, &got), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
    // Left open by the caller: the session's close closes it, so the manager may remove it.
    ASSERT_EQ(qvAPIClose(), 1);
    const std::string resource = (data() / "SERVER/ZARNQV/RESOURCE/R0000009").string();
    EXPECT_EQ(win::DeleteFile(resource.c_str()), win::TRUE);
}

}  // namespace
}  // namespace qvptest

namespace qvptest {
namespace {

TEST_F(RegisterTest, ScriptFileIsPlacedForAJobBelowTheJobGenRoot) {
    store().AddPackage(Package('C', "A1", "pkg", "1", "0001", "P0000003"), "bytes");
    const fs::path job = data() / "SERVER/ZARNQV/MNGFL/JOBGEN/F/J1";
    fs::create_directories(job);
    const char qv = 'C';
    ASSERT_EQ(qvAPICreateScriptFile("\\F\\J1", &qv, "A1", "pkg", "1", "0001", scriptFile_.c_str()), 1)
        << std::hex << Code();
    EXPECT_EQ(Read(job / "Q0000003"), Read(scriptFile_));
    EXPECT_EQ(qvAPICreateScriptFile("\\F\\..\\..\\x", &qv, "A1", "pkg", "1", "0001", scriptFile_.c_str()), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPICreateScriptFile(nullptr, &qv, "A1", nullptr, "1", "0001", scriptFile_.c_str()), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace qvptest
