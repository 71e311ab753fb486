// Files written beside their target: put in place whole, or not at all.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "core/temp_file.h"
#include "core_fixture.h"

namespace {

class TempFileTest : public CoreTest {
protected:
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root() / "w")) names.push_back(e.path().filename());
        return names;
    }
    std::string Read() const {
        std::ifstream in(root() / "w" / "record", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Target() const { return (root() / "w" / "record").string(); }
};

TEST_F(TempFileTest, AReplacementIsWholeOrNothing) {
    fs::create_directories(root() / "w");
    std::ofstream(Target()) << "old record";
    const std::string next(64 * 1024, 'n');
    ASSERT_TRUE(qvp::ReplaceFileContents(Target(), next.data(), next.size()));
    EXPECT_EQ(Read(), next);
    EXPECT_EQ(Names(), std::vector<std::string>{"record"});
    // A write that fails half-way (here: at the file size limit) leaves the record as it was.
    const auto replaceWithLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 1000;
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string big(4096, 'b');
        std::_Exit(qvp::ReplaceFileContents(Target(), big.data(), big.size()) ? 1 : 0);
    };
    EXPECT_EXIT(replaceWithLimit(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(Read(), next);
    EXPECT_EQ(Names(), std::vector<std::string>{"record"});
}

}  // namespace
