// The report's entry reader and the name helpers of automatic registration.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/block.h"
#include "idgroups/sysgen_info.h"
#include "platform/win.h"

namespace qvptest {
namespace {

using qvp::ids::ACNGetEntry;
using Entries = std::vector<std::pair<uint8_t, std::string>>;

std::vector<uint8_t> Record(const Entries& entries, uint32_t count) {
    std::vector<uint8_t> r(192, 0);
    r[8] = static_cast<uint8_t>(count >> 24);
    r[9] = static_cast<uint8_t>(count >> 16);
    r[10] = static_cast<uint8_t>(count >> 8);
    r[11] = static_cast<uint8_t>(count);
    for (const auto& [type, data] : entries) {
        r.insert(r.end(), {type, 0, static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())});
        r.insert(r.end(), data.begin(), data.end());
    }
    return r;
}

TEST(SysgenInfo, EntriesAndNodePaths) {
    struct Case {
        const char* what;
        Entries entries;
        uint8_t type;
        uint8_t subType;
        uint8_t key;
        size_t limit;
        bool found;
        const char* out;
    };
    const std::string long261(261, 'x');
    const Case cases[] = {
        {"no entries", {}, 33, 0, 0, 64, false, ""},
        {"empty path", {}, 160, 0, 0, 255, false, ""},
        {"first of two", {{33, "a"}, {33, "b"}}, 33, 0, 0, 64, true, "a"},
        {"MAC without blanks", {{39, "00 11 22 33 44 55"}}, 39, 0, 0, 17, true, "001122334455"},
        {"path read backwards", {{160, "A!1.1.1.1"}, {160, "B!2.2.2.2"}, {160, "C!3.3.3.3"}}, 160, 0, 0, 255, true,
         "\\C\\B\\A"},
        {"path by address", {{160, "A!1.1.1.1"}, {160, "B!2.2.2.2"}}, 160, 0, 1, 255, true, "\\2.2.2.2\\1.1.1.1"},
        {"host-ID levels, one without", {{160, "A!1.1.1.1!x!#GA"}, {160, "B!2.2.2.2"}}, 160, 38, 0, 255, true,
         "\\B\\#GA"},
        {"one path entry too long", {{160, "A!1"}, {160, long261}}, 160, 0, 0, 255, false, ""},
        {"a name that fills its buffer", {{33, std::string(64, 'n')}}, 33, 0, 0, 64, true, nullptr},
        {"a name longer than its buffer", {{33, std::string(65, 'n')}}, 33, 0, 0, 64, false, ""},
        // "\" and the name must both fit: 3 levels of 1 make 6 characters.
        {"path that just fits", {{160, "a"}, {160, "b"}, {160, "c"}}, 160, 0, 0, 6, true, "\\c\\b\\a"},
        {"path one over", {{160, "a"}, {160, "b"}, {160, "c"}}, 160, 0, 0, 5, false, ""},
    };
    QVPAPI& block = *qvpGetThreadBlock();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        block.systemManagementKey = c.key;
        const auto bytes = Record(c.entries, static_cast<uint32_t>(c.entries.size()));
        std::string out = "stale";
        EXPECT_EQ(ACNGetEntry(block, {bytes.data(), bytes.size()}, c.type, out, c.limit, c.subType), c.found);
        if (c.out != nullptr) EXPECT_EQ(out, c.out);
        else EXPECT_EQ(out.size(), c.limit);
    }
    block.systemManagementKey = 0;
}

TEST(SysgenInfo, TheEntryWalkCountsPastSixteenBits) {
    Entries many(65536, {1, ""});
    many.emplace_back(33, "last");
    const auto bytes = Record(many, static_cast<uint32_t>(many.size()));
    std::string out;
    EXPECT_TRUE(ACNGetEntry(*qvpGetThreadBlock(), {bytes.data(), bytes.size()}, 33, out, 64));
    EXPECT_EQ(out, "last");
    EXPECT_EQ(qvp::ids::SysgenExtent(bytes.data()), bytes.size());
}

TEST(SysgenInfo, NamesTimesAndPaths) {
    QVPAPI& block = *qvpGetThreadBlock();
    win::SetACPForTesting(932);
    EXPECT_EQ(qvp::ids::ACNmbsbtype(block, "pc\x82\xA0"), 1);
    EXPECT_EQ(qvp::ids::ACNmbsbtype(block, "pc\x82"), 0) << "a lone lead byte at the end";
    win::SetACPForTesting(0);
    char swapped[16];
    for (int direction : {0, 1}) EXPECT_STREQ(qvp::ids::qvpSwapDotsAndBangs("a.b!c", swapped, direction), "a!b.c");
    win::SYSTEMTIME t{};
    ASSERT_TRUE(qvp::ids::ParseReportTime(reinterpret_cast<const uint8_t*>("2024010203040512"), t));
    EXPECT_EQ(std::vector<int>({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                                t.wDayOfWeek}),
              std::vector<int>({2024, 1, 2, 3, 4, 5, 120, 0}));
    EXPECT_FALSE(qvp::ids::ParseReportTime(reinterpret_cast<const uint8_t*>("2024 1020304051x"), t))
        << "fields are fixed-width numbers";
    EXPECT_EQ(qvp::ids::ACNGetPathType("\\#GA\\#GB"), 1);
    EXPECT_EQ(qvp::ids::ACNGetPathType("\\a\\b"), 0);
    EXPECT_EQ(qvp::ids::ACNGetPathType(""), 1);
    // Host IDs run up to 32 characters: a mixed path is known as such past its first 32.
    EXPECT_EQ(qvp::ids::ACNGetPathType("\\#G" + std::string(31, '1') + "\\plainhost"), 2);
}

}  // namespace
}  // namespace qvptest
