// The Forced ID updates round trip through the simulator's ID store; what they send, byte for
// byte, where the text matters; the JDEL of a node's ID entry.
#include <gtest/gtest.h>

#include <functional>

#include "id_fixture.h"
#include "idgroups/id_command.h"
#include "idgroups/id_forced.h"

namespace qvptest {
namespace {

using namespace qvp::ids;

class IdForcedTest : public IdTest {};

TEST_F(IdForcedTest, CreateFindAddRenameDeleteRoundTrip) {
    ASSERT_EQ(qvAPICreateIDGroupForced("sales", "pass1", 4, 0, 0), 1) << std::hex << qvAPIGetLastError();
    const auto stored = ids().IdRecord("sales");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ((*stored)[2], 1);                       // set-system 4: generation 1 ...
    EXPECT_EQ(static_cast<uint8_t>((*stored)[3]), 0x80);  // ... with the hidden attribute
    EXPECT_EQ(sim().Received().back(), "IDRLS 1 f1  ");
    QVAPI_NODE node{};
    ASSERT_EQ(qvAPIFindIDGroup("\\", "sales", &node, 0, 0), 1);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&node);
    EXPECT_EQ(bytes[424], 0);  // the hidden attribute never shows
    EXPECT_EQ(Text(reinterpret_cast<const char*>(bytes + 428), 14), "pass1");
    EXPECT_EQ(bytes[442], 1);

    // A known ID is refused before any request that changes the store.
    const size_t before = RequestCount();
    EXPECT_EQ(qvAPICreateIDGroupForced("sales", "", 1, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_ALREADY_EXISTS);
    const std::vector<std::string> refused = sim().Received();
    for (size_t i = before; i < refused.size(); ++i) EXPECT_NE(refused[i].rfind("IDUPD", 0), 0u);

    ASSERT_EQ(qvAPICreateMasterIDGroupForced("sales", "boss", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClientIDGroupForced("sales", "host1", 1, "boss", 0, 0), 1);
    ASSERT_EQ(qvAPICreateClientIDGroupForced("sales", "pc2", 2, nullptr, 0, 0), 1);
    const std::vector<std::string> received = sim().Received();
    EXPECT_EQ(received[received.size() - 2].substr(0, 32), "IDUPD 3 f2 IK k9 sales.pc2 i256 ");
    EXPECT_EQ(received.back(), "IDRLS 1 f1 I");
    EXPECT_EQ(ids().Entry('C', "sales.host1")->substr(144, 4), std::string("boss"));
    ASSERT_EQ(qvAPIFindIDMaster("\\", "sales", "boss", &node, 0, 0), 1);
    ASSERT_EQ(qvAPIFindIDClient("\\", "sales", "pc2", &node, 0, 0), 1);

    ASSERT_EQ(qvAPIUpdateClientIDGroupForced("host1", "host9", 1, 0, 0), 1);
    EXPECT_EQ(sim().Received()[RequestCount() - 2], "IDCHG 3 f1 1 b5 host1 a5 host9 ");
    EXPECT_EQ(ids().Keys('C'), std::vector<std::string>{"sales.host9"});

    ASSERT_EQ(qvAPIDeleteIDEntryForced("sales", "pc2", 2, 0, 0), 1);
    EXPECT_EQ(LastRequest(), "IDDEL 2 f2 iK k9 sales.pc2");
    EXPECT_EQ(qvAPIDeleteIDEntryForced("sales", "pc2", 2, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);

    ASSERT_EQ(qvAPIDeleteIDGroupForced("sales", 0, 0), 1);
    EXPECT_FALSE(fs::exists(nodes_->NodeGroupDir() / "I.sales"));
    EXPECT_TRUE(ids().Keys('M').empty());
    EXPECT_EQ(qvAPIDeleteIDGroupForced("sales", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_NOT_FOUND);
    EXPECT_EQ(ids().OpenLetters(), "");
}

TEST_F(IdForcedTest, Refusals) {
    ASSERT_EQ(qvAPICreateIDGroupForced("sales", nullptr, 1, 0, 0), 1);
    struct Case {
        const char* what;
        std::function<int()> call;
        uint32_t code;
    } cases[] = {
        {"set-system 3", [] { return qvAPICreateIDGroupForced("east", nullptr, 3, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"NULL ID", [] { return qvAPICreateMasterIDGroupForced(nullptr, "boss", 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"NULL master", [] { return qvAPICreateMasterIDGroupForced("sales", nullptr, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"unknown ID", [] { return qvAPICreateMasterIDGroupForced("east", "boss", 0, 0); }, QVAPI_ERR_NOT_FOUND},
        {"list 3", [] { return qvAPICreateClientIDGroupForced("sales", "pc", 3, nullptr, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"list C without site", [] { return qvAPICreateClientIDGroupForced("sales", "pc", 1, nullptr, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"rename list 5", [] { return qvAPIUpdateClientIDGroupForced("pc", "pc2", 5, 0, 0); },
         QVAPI_ERR_INVALID_PARAMETER},
        {"entry list 4", [] { return qvAPIDeleteIDEntryForced("sales", "pc", 4, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"entry NULL ID", [] { return qvAPIDeleteIDEntryForced(nullptr, "pc", 1, 0, 0); }, QVAPI_ERR_INVALID_PARAMETER},
        {"busy store",
         [this] {
             sim().Script("IDUPD", qvpsim::Action::Refuse());
             return qvAPICreateMasterIDGroupForced("sales", "boss", 0, 0);
         },
         QVAPI_ERR_BUSY},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), 0) << c.what;
        EXPECT_EQ(qvAPIGetLastError(), c.code) << c.what;
    }
    EXPECT_EQ(ids().OpenLetters(), "");
}

TEST_F(IdForcedTest, JdelOfAnIdEntry) {
    sim().Script("JDEL", qvpsim::Action::Reply("0 0 0"));
    EXPECT_EQ(qvpAPIDeleteIDCommandbyIDentry(block(), "host1", 'C'), 1);
    EXPECT_EQ(LastRequest(), "JDEL 2 f1 C a5 host1");
    sim().Script("JDEL", qvpsim::Action::Reply("0 1"));
    EXPECT_EQ(qvpAPIDeleteIDCommandbyIDentry(block(), std::string(64, 'n').c_str(), 'C'), 0);
    EXPECT_EQ(LastRequest(), "JDEL 2 f1 C a64 " + std::string(64, 'n'));
    const size_t before = RequestCount();
    EXPECT_EQ(qvpAPIDeleteIDCommandbyIDentry(block(), std::string(65, 'n').c_str(), 'C'), 0);
    EXPECT_EQ(RequestCount(), before);
}

}  // namespace
}  // namespace qvptest
