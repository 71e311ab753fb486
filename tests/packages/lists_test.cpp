#include <cstring>

#include "platform/byte_order.h"
#include "packages/package_fixture.h"

namespace qvptest {
namespace {

// A .LIST chunk of `count` records named "<tag><n>", the u32 at 260 big-endian n, the next two
// words as stored.
std::string Chunk(const std::string& tag, int count) {
    std::string bytes;
    for (int n = 0; n < count; ++n) {
        std::string record(QVAPI_PACKAGE_LIST_RECORD_SIZE, '\0');
        const std::string text = tag + std::to_string(n);
        std::memcpy(record.data(), text.data(), text.size());
        qvp::putBe32(record.data() + 260, static_cast<uint32_t>(n));
        std::memcpy(record.data() + 264, "\x01\x02\x03\x04\x05\x06\x07\x08", 8);
        record[272] = 'z';
        bytes += record;
    }
    return bytes;
}

class ListsTest : public PackagesTest {
protected:
    void SetUp() override {
        PackagesTest::SetUp();
        package_ = Package('C', "A1", "pkg", "1", "0001", "P0000001");
        store().SetPackageList("P0000001", {Chunk("a", 3), Chunk("b", 2)});
        Open();
    }
    // The records of the current chunk, each checked as the caller receives it.
    std::vector<std::string> ReadChunk() {
        std::vector<std::string> texts;
        QVAPI_PACKAGE_LIST record;
        QVPAPI_HANDLE find = qvAPIFindFirstPackageList(&package_, &record, 0, 0);
        if (find == QVPAPI_INVALID_HANDLE) return texts;
        do {
            EXPECT_EQ(record.dwValue260, texts.size());
            EXPECT_EQ(std::memcmp(&record.dwValue264, "\x01\x02\x03\x04\x05\x06\x07\x08", 8), 0);
            texts.emplace_back(record.szText);
        } while (qvAPIFindNextPackageList(find, &record, 0, 0));
        EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
        EXPECT_EQ(qvAPIFindClosePackageList(find, 0, 0), 1);
        return texts;
    }
    QVAPI_PACKAGE package_;
};

TEST_F(ListsTest, TwoChunksAreReadWithContinueThenClosed) {
    uint32_t first = 0, second = 0;
    QVPAPI_HANDLE list = qvAPICreatePackageList(&package_, &first, &second, 0, 0);
    ASSERT_NE(list, QVPAPI_INVALID_HANDLE) << std::hex << Code();
    EXPECT_EQ(LastRequest(), "RGET 3 f1 T v8 P0000001");
    EXPECT_EQ(first, 5u);
    EXPECT_EQ(second, 3u);
    EXPECT_EQ(ReadChunk(), (std::vector<std::string>{"a0", "a1", "a2"}));

    const size_t before = sim().Received().size();
    EXPECT_EQ(qvAPICreatePackageList(&package_, &first, &second, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(Code(), QVAPI_ERR_UNEXPECTED_DATA);
    EXPECT_EQ(sim().Received().size(), before);

    ASSERT_EQ(qvAPIContinuePackageList(list, &second, 0, 0), 1) << std::hex << Code();
    EXPECT_EQ(LastRequest(), "RGET 1 f1 N");
    EXPECT_EQ(second, 2u);
    EXPECT_EQ(ReadChunk(), (std::vector<std::string>{"b0", "b1"}));
    EXPECT_EQ(qvAPIContinuePackageList(list, &second, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(LastRequest(), "RGET 1 f1 N");

    int other = 0;
    QVAPI_PACKAGE_LIST record;
    EXPECT_EQ(qvAPIFindNextPackageList(&other, &record, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_INVALID_HANDLE);
    ASSERT_EQ(qvAPIClosePackageList(list, 0, 0), 1) << std::hex << Code();
    EXPECT_EQ(LastRequest(), "RGET 1 f1 E");
    EXPECT_EQ(qvAPIFindFirstPackageList(&package_, &record, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(Code(), QVAPI_ERR_UNEXPECTED_DATA);
}

TEST_F(ListsTest, ABadReplyLeavesNoListBehind) {
    uint32_t first = 0, second = 0;
    const struct {
        const char* reply;
        uint32_t code;
    } cases[] = {{"0 7 3 n1 4 c1 5 c1 3", QVAPI_ERR_UNEXPECTED_DATA},  // neither last nor more
                 {"0 0 0", QVAPI_ERR_UNEXPECTED_DATA},                   // no list number
                 {"16 90", QVAPI_ERR_FILE_NOT_FOUND},
                 {"4 16", QVAPI_ERR_BUSY}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        sim().Script("RGET", qvpsim::Action::Reply(c.reply));
        EXPECT_EQ(qvAPICreatePackageList(&package_, &first, &second, 0, 0), QVPAPI_INVALID_HANDLE);
        EXPECT_EQ(Code(), c.code);
        EXPECT_EQ(block()->packageListNumber, 0u);
    }
    // The session is not stuck: the next create gets the list.
    QVPAPI_HANDLE list = qvAPICreatePackageList(&package_, &first, &second, 0, 0);
    ASSERT_NE(list, QVPAPI_INVALID_HANDLE) << std::hex << Code();
    // A refused close keeps the list open.
    sim().Script("RGET", qvpsim::Action::Reply("4 16"));
    EXPECT_EQ(qvAPIClosePackageList(list, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_BUSY);
    EXPECT_EQ(qvAPIClosePackageList(list, 0, 0), 1);
}

}  // namespace
}  // namespace qvptest
