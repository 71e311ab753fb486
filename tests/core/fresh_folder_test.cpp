// Work folders with names anybody can foresee: made anew whatever was left at the name, busy
// when another caller made one meanwhile, and their files never opened through a link.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/fresh_folder.h"
#include "core_fixture.h"
#include "qvpapi.h"

namespace {

std::string Read(const fs::path& p) {
    return std::string(std::istreambuf_iterator<char>(std::ifstream(p, std::ios::binary).rdbuf()), {});
}

TEST_F(CoreTest, AFreshFolderIsMadeAnewWhateverWasLeftAtItsName) {
    const fs::path outside = root() / "outside";
    fs::create_directories(outside / "tree");
    std::ofstream(outside / "tree" / "f") << "precious";
    struct Case {
        const char* what;
        void (*plant)(const fs::path& at, const fs::path& outside);
    };
    const Case cases[] = {
        {"nothing", [](const fs::path&, const fs::path&) {}},
        {"a folder with files", [](const fs::path& at, const fs::path&) {
             fs::create_directories(at / "sub");
             std::ofstream(at / "sub" / "old") << "old";
         }},
        {"a file", [](const fs::path& at, const fs::path&) { std::ofstream(at) << "file"; }},
        {"a link to a folder", [](const fs::path& at, const fs::path& out) { fs::create_directory_symlink(out / "tree", at); }},
        {"a link to a file", [](const fs::path& at, const fs::path& out) { fs::create_symlink(out / "tree" / "f", at); }},
        {"a folder of links", [](const fs::path& at, const fs::path& out) {
             fs::create_directories(at);
             fs::create_directory_symlink(out / "tree", at / "sub");
             fs::create_symlink(out / "tree" / "f", at / "data");
         }},
    };
    const fs::path at = root() / "work" / "1234";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(at.parent_path());
        c.plant(at, outside);
        qvp::FreshFolder folder(at.string());
        ASSERT_EQ(folder.Make(), 0u) << win::GetLastError();
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(at)));
        EXPECT_TRUE(fs::is_empty(at));
        qvp::FileHandle file(folder.Open("data", win::GENERIC_WRITE, 0, win::CREATE_NEW));
        ASSERT_TRUE(file.valid()) << win::GetLastError();
        EXPECT_TRUE(win::WriteFile(file.get(), "new", 3, nullptr, nullptr));
        file.Reset();
        ASSERT_TRUE(folder.CopyOut("data", (root() / "copy").string()));
        EXPECT_EQ(Read(root() / "copy"), "new");
        EXPECT_EQ(folder.Remove(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(at)));
        EXPECT_EQ(Read(outside / "tree" / "f"), "precious");
    }
}

TEST_F(CoreTest, AFreshFolderNeverOpensItsFilesThroughALink) {
    const fs::path at = root() / "work" / "1234";
    std::ofstream(root() / "victim") << "precious";
    qvp::FreshFolder folder(at.string());
    ASSERT_EQ(folder.Make(), 0u);
    // Planted after the folder was made, as another writer of the store could.
    fs::create_symlink(root() / "victim", at / "data");
    for (const win::DWORD disposition : {win::CREATE_NEW, win::CREATE_ALWAYS, win::OPEN_ALWAYS, win::OPEN_EXISTING,
                                         win::TRUNCATE_EXISTING}) {
        SCOPED_TRACE(disposition);
        qvp::FileHandle file(folder.Open("data", win::GENERIC_READ | win::GENERIC_WRITE, 0, disposition));
        EXPECT_FALSE(file.valid());
    }
    EXPECT_FALSE(folder.CopyIn((root() / "victim").string(), "data"));
    EXPECT_EQ(Read(root() / "victim"), "precious");
    EXPECT_EQ(folder.Remove(), 0);
    EXPECT_EQ(Read(root() / "victim"), "precious");
}

TEST_F(CoreTest, AFreshFolderMadeMeanwhileByAnotherCallerIsBusy) {
    const fs::path at = root() / "work" / "1234";
    win::fault::Watch("1234");
    win::fault::FailNth(win::fault::Call::CreateDirectory, 1, win::ERROR_ALREADY_EXISTS);
    qvp::FreshFolder folder(at.string());
    const uint32_t code = folder.Make();
    win::fault::Reset();
    EXPECT_EQ(code, QVAPI_ERR_BUSY);
    EXPECT_FALSE(folder.made());
    EXPECT_EQ(folder.Make(), 0u);
    EXPECT_EQ(folder.Remove(), 0);
}

}  // namespace
