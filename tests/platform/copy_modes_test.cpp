// What a copy carries of its source's mode: the read-only attribute and the attribute record,
// nothing else. A file planted with set-id or extra write bits comes out as a file made by the
// caller, by every way the layer copies, into the install root (C:\ZARNQVP) and outside it.
#include <sys/stat.h>

#include "platform_fixture.h"
#include "support/planted_modes.h"

namespace {
using namespace win;
namespace fs = std::filesystem;
using qvptest::ModeOf;

class CopyModesTest : public qvp_test::PlatformTest {
protected:
    // The mode the layer makes a new file in C:\<folder> with.
    mode_t Made(const std::string& folder) {
        fs::create_directories(P(folder));
        CloseHandle(Open(C(folder + "\\made.probe"), GENERIC_WRITE, 0, CREATE_NEW));
        return ModeOf(P(folder + "/made.probe"));
    }
};

TEST_F(CopyModesTest, ACopyNeverCarriesSetIdOrWriteBits) {
    // MoveFile copies a source planted on another file system (/dev/shm, where it is one).
    struct stat shm{}, drive{};
    const bool across = stat("/dev/shm", &shm) == 0 && stat(drive_.c_str(), &drive) == 0 && shm.st_dev != drive.st_dev;
    const struct {
        const char* what;
        std::function<BOOL(const char* from, const char* to)> copy;
        bool acrossDevices = false;
    } ways[] = {
        {"CopyFile", [](const char* f, const char* t) { return CopyFile(f, t, TRUE); }},
        {"CopyFile over a file",
         [](const char* f, const char* t) { return CloseHandle(Open(t, GENERIC_WRITE, 0, CREATE_NEW)) && CopyFile(f, t, FALSE); }},
        {"CopyFileContents", [](const char* f, const char* t) {
             HANDLE in = Open(f, GENERIC_READ, FILE_SHARE_READ), out = Open(t, GENERIC_WRITE, 0, CREATE_NEW);
             const BOOL done = CopyFileContents(in, out);
             return CloseHandle(in), CloseHandle(out), done;
         }},
        {"MoveFile across file systems", [](const char* f, const char* t) { return MoveFile(f, t); }, true},
    };
    int n = 0;
    for (const std::string folder : {"ZARNQVP", "out"}) {
        const mode_t made = Made(folder);
        for (const auto& way : ways) {
            if (way.acrossDevices && !across) continue;
            for (const mode_t planted : qvptest::kPlantedModes) {
                SCOPED_TRACE(testing::Message() << way.what << " into " << folder << ", mode " << std::oct << planted);
                const std::string name = "f" + std::to_string(n++);
                const std::string from = way.acrossDevices ? "/dev/shm/qvp-copy-" + std::to_string(getpid()) : P(name);
                qvptest::PlantWithMode(from, planted);
                EXPECT_TRUE(way.copy(from.c_str(), C(folder + "\\" + name).c_str())) << GetLastError();
                EXPECT_EQ(ModeOf(P(folder + "/" + name)), qvptest::CopiedMode(planted, made));
                fs::remove(from);
            }
        }
    }
}

// The attributes kept beside the file go with it as ever, and so does the mark that it has them.
TEST_F(CopyModesTest, HiddenAndSystemAreCopied) {
    qvptest::PlantWithMode(P("out/src"), 04755);
    ASSERT_TRUE(SetFileAttributes(C("out\\src").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (!(GetFileAttributes(C("out\\src").c_str()) & FILE_ATTRIBUTE_HIDDEN)) GTEST_SKIP() << "no user attributes here";
    ASSERT_TRUE(CopyFile(C("out\\src").c_str(), C("out\\dst").c_str(), TRUE));
    EXPECT_EQ(GetFileAttributes(C("out\\dst").c_str()), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(ModeOf(P("out/dst")), Made("out") | S_ISVTX);
}

}  // namespace
