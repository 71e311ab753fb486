// Files written beside their target are put in its place whole, or not at all.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <string>

#include "core/temp_file.h"
#include "core_fixture.h"

namespace {

TEST_F(CoreTest, AReplacementIsWholeOrNothing) {
    const std::string target = (root() / "record").string();
    const auto read = [&] { return std::string(std::istreambuf_iterator<char>(std::ifstream(target).rdbuf()), {}); };
    const std::string next(64 * 1024, 'n');
    ASSERT_TRUE(qvp::ReplaceFileContents(target, next.data(), next.size()));
    // A write that fails half-way (here: at the file size limit) leaves the record as it was.
    const auto replaceWithLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 1000;
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string big(4096, 'b');
        std::_Exit(qvp::ReplaceFileContents(target, big.data(), big.size()) ? 1 : 0);
    };
    EXPECT_EXIT(replaceWithLimit(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(read(), next);
    for (const auto& e : fs::directory_iterator(root()))
        EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

// Only the random part keeps a link away from the temporary's name: one planted at exactly the
// next name is passed over, its target untouched.
TEST_F(CoreTest, ALinkAtTheTemporarysExactNameIsPassedOver) {
    const fs::path target = root() / "record", victim = root() / "victim";
    WriteText(victim, "precious");
    fs::create_symlink(victim, target.string() + ".00000000000000aa.tmp");
    win::fault::GiveRandomNumbers({0xaa, 0xbb});
    const bool replaced = qvp::ReplaceFileContents(target.string(), "new", 3);
    win::fault::Reset();
    ASSERT_TRUE(replaced) << win::GetLastError();
    EXPECT_EQ(ReadText(victim), "precious");
    EXPECT_EQ(ReadText(target), "new");
}

}  // namespace
