// Work folders with names anybody can foresee, in a store other writers share.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <utility>

#include "core/fresh_folder.h"
#include "core/work_owner.h"
#include "core_fixture.h"
#include "support/kill_steps.h"
#include "qvpapi.h"

namespace {

// Whatever was left at the name goes; files are then made in the folder itself, and one a link
// took afterwards is never opened.
TEST_F(CoreTest, AFreshFolderIsMadeAnewAndNeverOpensItsFilesThroughALink) {
    const fs::path tree = root() / "outside", at = root() / "work" / "1234";
    WriteText(tree / "f", "precious");
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"nothing", [] {}},
        {"a folder with files", [&] { WriteText(at / "sub" / "old", "old"); }},
        {"a file", [&] { WriteText(at, "file"); }},
        {"a read-only file", [&] {
             WriteText(at, "file");
             fs::permissions(at, fs::perms::owner_read);
         }},
        {"a FIFO", [&] { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
        {"a dangling link", [&] { fs::create_symlink(root() / "nowhere", at); }},
        {"a link to a folder", [&] { fs::create_directory_symlink(tree, at); }},
        {"a link to a file", [&] { fs::create_symlink(tree / "f", at); }},
        {"a folder of links", [&] {
             fs::create_directories(at);
             fs::create_directory_symlink(tree, at / "sub");
             fs::create_symlink(tree / "f", at / "data");
         }},
    };
    for (const auto& [what, plant] : cases) {
        for (const qvp::Named named : {qvp::Named::ByCaller, qvp::Named::ById}) {
            SCOPED_TRACE(std::string(what) + (named == qvp::Named::ById ? ", named by an id" : ""));
            fs::create_directories(at.parent_path());
            plant();
            qvp::FreshFolder folder(at.string(), named);
            ASSERT_EQ(folder.Make(), 0u) << win::GetLastError();
            EXPECT_TRUE(fs::is_directory(fs::symlink_status(at)));
            EXPECT_EQ(fs::exists(at / qvp::kOwnerFile), named == qvp::Named::ById);
            qvp::FileHandle file(folder.Open("data", win::GENERIC_WRITE, 0, win::CREATE_NEW));
            ASSERT_TRUE(file.valid()) << win::GetLastError();
            EXPECT_TRUE(win::WriteFile(file.get(), "new", 3, nullptr, nullptr));
            file.Reset();
            EXPECT_TRUE(folder.CopyOut("data", (root() / "copy").string()));
            EXPECT_EQ(ReadText(root() / "copy"), "new");
            fs::create_symlink(tree / "f", at / "late");  // planted once made, as another writer could
            for (const win::DWORD how : {win::CREATE_NEW, win::CREATE_ALWAYS, win::OPEN_ALWAYS, win::OPEN_EXISTING,
                                         win::TRUNCATE_EXISTING})
                EXPECT_FALSE(qvp::FileHandle(folder.Open("late", win::GENERIC_READ | win::GENERIC_WRITE, 0, how)).valid())
                    << how;
            EXPECT_FALSE(folder.CopyIn((root() / "copy").string(), "late"));
            EXPECT_EQ(folder.Remove(), 0);
            EXPECT_FALSE(fs::exists(fs::symlink_status(at)));
            EXPECT_EQ(ReadText(tree / "f"), "precious");
            EXPECT_EQ(std::distance(fs::directory_iterator(tree), fs::directory_iterator()), 1);
        }
    }
}

TEST_F(CoreTest, AFreshFolderMadeMeanwhileByAnotherCallerIsBusy) {
    win::fault::Watch("1234");
    win::fault::FailNth(win::fault::Call::CreateDirectory, 1, win::ERROR_ALREADY_EXISTS);
    qvp::FreshFolder folder((root() / "work" / "1234").string());
    const uint32_t code = folder.Make();
    win::fault::Reset();
    EXPECT_EQ(code, QVAPI_ERR_BUSY);
    EXPECT_FALSE(folder.made());
    EXPECT_EQ(folder.Make(), 0u);
    EXPECT_EQ(folder.Remove(), 0);
}

// A folder named by an id holds an owner lock while its maker lives: making one removes those of
// its kind beside it whose owner is gone, and only those.
TEST_F(CoreTest, AFolderNamedByAnIdGoesWithALaterOneOnceItsOwnerIsGone) {
    const fs::path area = root() / "work";
    // A live owner in another thread of this process.
    std::promise<bool> made;
    std::promise<void> done;
    std::thread owner([&] {
        qvp::FreshFolder folder((area / "555").string(), qvp::Named::ById);
        made.set_value(folder.Make() == 0);
        done.get_future().wait_for(std::chrono::seconds(60));
    });
    auto ownerMade = made.get_future();
    EXPECT_TRUE(ownerMade.wait_for(std::chrono::seconds(60)) == std::future_status::ready && ownerMade.get());
    WriteText(area / "111" / qvp::kOwnerFile, "");  // its owner gone
    WriteText(area / "111" / "sub" / "f", "left");
    fs::create_directory_symlink(root() / "outside", area / "111" / "sub" / "link");
    WriteText(area / "222" / "f", "no owner file: nothing tells whose");
    WriteText(area / "333.SCH" / qvp::kOwnerFile, "");  // another kind
    WriteText(root() / "outside" / qvp::kOwnerFile, "");
    fs::create_directory_symlink(root() / "outside", area / "444");
    // An owner file that is no file: never opened as a pipe (which would wait for a writer), nor
    // through a link.
    fs::create_directories(area / "666");
    ASSERT_EQ(mkfifo((area / "666" / qvp::kOwnerFile).c_str(), 0600), 0);
    fs::create_directories(area / "777");
    fs::create_symlink(root() / "outside" / qvp::kOwnerFile, area / "777" / qvp::kOwnerFile);
    fs::create_directories(area / "888" / qvp::kOwnerFile);
    // At an aside name: one whose owner is gone, and one its maker has just made.
    WriteText(area / "~121" / qvp::kOwnerFile, "");
    fs::create_directories(area / "~131");

    qvp::ForgetSweepsForTesting();  // the owner's thread has just swept
    qvp::FreshFolder folder((area / "999").string(), qvp::Named::ById);
    EXPECT_EQ(folder.Make(), 0u) << win::GetLastError();
    done.set_value();
    owner.join();
    EXPECT_FALSE(fs::exists(area / "111"));
    EXPECT_FALSE(fs::exists(area / "~121"));
    for (const char* stays : {"222/f", "333.SCH", "444", "555/.owner", "666/.owner", "777/.owner", "888/.owner",
                              "999/.owner", "~131"})
        EXPECT_TRUE(fs::exists(fs::symlink_status(area / stays))) << stays;
    EXPECT_TRUE(fs::exists(root() / "outside" / qvp::kOwnerFile));
    EXPECT_EQ(folder.Remove(), 0);
}

// Killed at any step of making, filling or removing its folder, a caller leaves nothing that a
// later maker of the kind, a sweep interval on, does not remove.
TEST_F(CoreTest, AFolderNamedByAnIdGoesWhateverStepItsCallerDiedAt) {
    const fs::path area = root() / "work";
    const auto use = [&] {
        qvp::FreshFolder folder((area / std::to_string(win::GetCurrentThreadId())).string(), qvp::Named::ById);
        if (folder.Make() != 0) return;
        qvp::FileHandle(folder.Open("data", win::GENERIC_WRITE, 0, win::CREATE_NEW));
        if (win::CreateDirectory(folder.PathOf("sub").c_str(), nullptr))
            qvp::FileHandle(win::CreateFile(folder.PathOf("sub\\f").c_str(), win::GENERIC_WRITE, 0, nullptr,
                                            win::CREATE_NEW, win::FILE_ATTRIBUTE_NORMAL, nullptr));
        folder.Remove();
    };
    const unsigned steps = qvptest::WalkKillSteps(
        [&] {
            fs::remove_all(area);
            fs::create_directories(area);
        },
        use,
        [&](unsigned step, bool) {
            SCOPED_TRACE("killed at call " + std::to_string(step));
            qvp::ForgetSweepsForTesting(true);  // a sweep interval on
            qvp::FreshFolder later((area / "1").string(), qvp::Named::ById);
            EXPECT_EQ(later.Make(), 0u) << win::GetLastError();
            qvp::ForgetSweepsForTesting();
            EXPECT_EQ(later.Remove(), 0);
            for (const auto& e : fs::directory_iterator(area)) ADD_FAILURE() << e.path() << " left";
        },
        "work");
    EXPECT_GT(steps, 10u);
}

// Every kind keeps its own sweep clock: whatever kinds a process makes, and in whatever order,
// making one never keeps another from being swept. More kinds than any fixed set of clocks.
TEST_F(CoreTest, EachKindIsSweptWhateverOtherKindsWereSweptJustBefore) {
    constexpr int kKinds = 100;
    const auto area = [&](int kind) { return root() / ("work" + std::to_string(kind)); };
    for (int kind = 1; kind <= kKinds; ++kind)
        WriteText(area(kind) / "111" / qvp::kOwnerFile, "");  // its owner gone
    qvp::ForgetSweepsForTesting();
    for (int kind = 1; kind <= kKinds; ++kind) {
        qvp::FreshFolder folder((area(kind) / "999").string(), qvp::Named::ById);
        EXPECT_EQ(folder.Make(), 0u) << win::GetLastError();
        EXPECT_EQ(folder.Remove(), 0);
        EXPECT_FALSE(fs::exists(area(kind) / "111")) << area(kind) << " not swept";
    }
}

// A kind is swept once in a while by the process, not by each of its threads: a caller that runs
// each call in a new thread lists the folders another user planted no more often.
TEST_F(CoreTest, NewThreadsDoNotEachSweepAKindAgain) {
    const fs::path area = root() / "work";
    for (int i = 0; i < 100; ++i) fs::create_directories(area / std::to_string(1000 + i));
    qvp::ForgetSweepsForTesting();
    unsigned listings = 0;
    for (int t = 0; t < 4; ++t) {
        std::thread([&] {
            win::fault::Watch("work\\*");
            qvp::FreshFolder folder((area / std::to_string(t)).string(), qvp::Named::ById);
            EXPECT_EQ(folder.Make(), 0u) << win::GetLastError();
            listings += win::fault::Calls(win::fault::Call::FindFirstFile);
            EXPECT_EQ(folder.Remove(), 0);
            win::fault::Reset();
        }).join();
    }
    EXPECT_GE(listings, 1u);
    EXPECT_LE(listings, 2u);  // a second only when ten seconds passed meanwhile
}

}  // namespace
