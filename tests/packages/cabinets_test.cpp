#include <cstring>
#include <functional>

#include "packages/package_fixture.h"

namespace qvptest {
namespace {

TEST_F(PackagesTest, CabinetCreatedIsFoundInHostOrderAndWalkedAsSent) {
    Open();
    ASSERT_EQ(qvAPICreateCabinet('C', "A1", "first", 0, 0), 1) << std::hex << Code();
    QVAPI_CABINET found;
    std::memset(&found, 0, sizeof found);
    ASSERT_EQ(qvAPIFindCabinet('C', "A1", &found, 0, 0), 1) << std::hex << Code();
    EXPECT_EQ(found.wLength, QVAPI_CABINET_SIZE);
    EXPECT_STREQ(found.szName, "first");

    QVAPI_CABINET walked;
    QVPAPI_HANDLE find = qvAPIFindFirstCabinet('C', &walked, 0, 0);
    ASSERT_EQ(find, static_cast<QVPAPI_HANDLE>(block()));
    EXPECT_EQ(walked.wLength, htobe16(QVAPI_CABINET_SIZE));
    EXPECT_EQ(qvAPIFindNextCabinet(find, &walked, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
    EXPECT_EQ(qvAPIFindCloseCabinet(find, 0, 0), 1);
    EXPECT_EQ(qvAPICreateCabinet('C', "A1", "again", 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_ALREADY_EXISTS);
    EXPECT_EQ(qvAPIDeleteCabinet('C', "A1", 0, 0), 1);
    EXPECT_EQ(qvAPIFindCabinet('C', "A1", &found, 0, 0), 0);
    EXPECT_EQ(Code(), QVAPI_ERR_NO_MORE_ITEMS);
}

TEST_F(PackagesTest, CabinetArgumentsAreRefusedBeforeAnyRequest) {
    Open();
    QVAPI_CABINET data;
    int other = 0;
    ExpectRefusedUnsent({
        {"QvCode E", [&] { return qvAPICreateCabinet('E', "A1", "n", 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"QvCode c", [&] { return qvAPIFindCabinet('c', "A1", &data, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"lower-case id", [&] { return qvAPICreateCabinet('C', "a1", "n", 0, 0); }, QVAPI_ERR_INVALID_NAME},
        {"one-character id", [&] { return qvAPIChangeCabinet('D', "A", "n", 0, 0); }, QVAPI_ERR_INVALID_NAME},
        {"NULL id", [&] { return qvAPICreateCabinet('C', nullptr, "n", 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"NULL name", [&] { return qvAPIChangeCabinet('C', "A1", nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"empty name", [&] { return qvAPICreateCabinet('C', "A1", "", 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"delete, short id", [&] { return qvAPIDeleteCabinet('C', "A", 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"find, short id", [&] { return qvAPIFindCabinet('C', "A", &data, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"find, long id", [&] { return qvAPIFindCabinet('C', "A12", &data, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"find, NULL data", [&] { return qvAPIFindCabinet('C', "A1", nullptr, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"next, other handle", [&] { return qvAPIFindNextCabinet(&other, &data, 0, 0); }, QVAPI_ERR_INVALID_HANDLE},
        {"close, other handle", [&] { return qvAPIFindCloseCabinet(&other, 0, 0); }, QVAPI_ERR_INVALID_HANDLE},
    });
}

}  // namespace
}  // namespace qvptest
