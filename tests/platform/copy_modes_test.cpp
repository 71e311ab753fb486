// What a copy carries of its source's mode: the read-only attribute and the attribute record,
// nothing else. A file planted with set-id or extra write bits comes out as a file made by the
// caller, by every way the layer copies, into the install root (C:\ZARNQVP) and outside it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "platform_fixture.h"
#include "support/planted_modes.h"

namespace {
using namespace win;
namespace fs = std::filesystem;
using qvp_test::PlatformTest;
using qvptest::CopiedMode;
using qvptest::ModeOf;

class CopyModesTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        char tmpl[] = "/dev/shm/qvp-copy-XXXXXX";  // another file system than /tmp, where it exists
        if (mkdtemp(tmpl)) shm_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        if (!shm_.empty()) fs::remove_all(shm_, ec);
        PlatformTest::TearDown();
    }
    // The mode the layer makes a new file in the folder C:\<folder> with.
    mode_t Made(const std::string& folder) {
        const std::string probe = C(folder + "\\made.probe");
        CloseHandle(Open(probe, GENERIC_WRITE, 0, CREATE_NEW));
        const mode_t mode = ModeOf(P(folder + "/made.probe"));
        DeleteFile(probe.c_str());
        return mode;
    }
    bool CrossDevice() const {
        struct stat a{}, b{};
        return !shm_.empty() && stat(shm_.c_str(), &a) == 0 && stat(drive_.c_str(), &b) == 0 && a.st_dev != b.st_dev;
    }
    std::string shm_;
};

struct Way {
    const char* what;
    // Copies `from` (its POSIX path) to the Windows path `to`.
    std::function<BOOL(const std::string& from, const std::string& to)> copy;
    bool acrossDevices = false;  // the source is planted on another file system
};

BOOL ByHandles(const std::string& from, const std::string& to) {
    HANDLE in = CreateFile(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFile(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    const BOOL done = CopyFileContents(in, out);
    CloseHandle(in);
    CloseHandle(out);
    return done;
}

TEST_F(CopyModesTest, ACopyNeverCarriesSetIdOrWriteBits) {
    const Way ways[] = {
        {"CopyFile", [](const std::string& f, const std::string& t) { return CopyFile(f.c_str(), t.c_str(), TRUE); }},
        {"CopyFile over a file",
         [](const std::string& f, const std::string& t) {
             CloseHandle(CreateFile(t.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
             return CopyFile(f.c_str(), t.c_str(), FALSE);
         }},
        {"CopyFileContents", [](const std::string& f, const std::string& t) { return ByHandles(f, t); }},
        {"MoveFile across file systems",
         [](const std::string& f, const std::string& t) { return MoveFile(f.c_str(), t.c_str()); }, true},
    };
    int n = 0;
    for (const std::string folder : {"ZARNQVP", "out"}) {
        fs::create_directories(P(folder));
        const mode_t made = Made(folder);
        for (const Way& way : ways) {
            if (way.acrossDevices && !CrossDevice()) continue;  // no second file system here
            for (const mode_t planted : qvptest::kPlantedModes) {
                const std::string name = "f" + std::to_string(n++);
                const std::string from = (way.acrossDevices ? shm_ : P("planted")) + "/" + name;
                qvptest::PlantWithMode(from, planted);
                char octal[8];
                snprintf(octal, sizeof octal, "%04o", unsigned(planted));
                SCOPED_TRACE(std::string(way.what) + " into " + folder + ", planted " + octal);
                ASSERT_TRUE(way.copy(from, C(folder + "\\" + name))) << GetLastError();
                EXPECT_EQ(ModeOf(P(folder + "/" + name)), CopiedMode(planted, made));
            }
        }
    }
}

// The attributes kept beside the file go with it as ever; the mark that a file holds them too.
TEST_F(CopyModesTest, HiddenAndSystemAreCopied) {
    qvptest::PlantWithMode(P("out/src"), 04755);
    ASSERT_TRUE(SetFileAttributes(C("out\\src").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (!(GetFileAttributes(C("out\\src").c_str()) & FILE_ATTRIBUTE_HIDDEN)) GTEST_SKIP() << "no user attributes here";
    const mode_t made = Made("out");
    ASSERT_TRUE(CopyFile(C("out\\src").c_str(), C("out\\dst").c_str(), TRUE));
    EXPECT_EQ(GetFileAttributes(C("out\\dst").c_str()), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(ModeOf(P("out/dst")), made | S_ISVTX);
}

}  // namespace
