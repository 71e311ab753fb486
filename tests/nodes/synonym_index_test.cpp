// The per-call synonym index against the lookup it stands in for: for every name of a case, one
// index answers with the same code, record bytes and log lines as LookupDefinition asked afresh,
// over crowded hashes (sequential names), spread ones (random names), host IDs, common names,
// chains with gaps, stray files, a busy synonym and names that are not stored.
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "node_env.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/synonym_index.h"
#include "core/handles.h"

namespace {

namespace fs = std::filesystem;
using qvptest::NodeStoreBuilder;
using qvptest::NodeStoreTest;

struct Answer {
    uint32_t code;
    std::vector<uint8_t> record;
    std::vector<std::string> log;
    bool operator==(const Answer&) const = default;
};

class SynonymIndexTest : public NodeStoreTest {
public:
    Answer Ask(const std::function<uint32_t(QVAPI_NODE&)>& lookup) {
        const size_t before = LogMessages().size();
        QVAPI_NODE record;
        std::memset(&record, 0x5A, sizeof record);
        Answer a{lookup(record), {}, {}};
        const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
        a.record.assign(bytes, bytes + sizeof record);
        const std::vector<std::string> all = LogMessages();
        a.log.assign(all.begin() + static_cast<long>(before), all.end());
        return a;
    }
    QVAPI_NODE Client(const std::string& name, const std::string& hostId = {}, const std::string& common = {}) {
        QVAPI_NODE r = store_->AddNode({.name = name, .address = {10, 0, 0, 9}, .hostId = hostId, .commonName = common});
        if (!common.empty()) {
            r.uiConnectKind = 1;
            store_->WriteDefinitionFile("C." + std::string(r.ucNodeKey), r);
        }
        return r;
    }
};

struct Case {
    const char* name;
    std::function<void(SynonymIndexTest&, NodeStoreBuilder&, std::vector<std::string>&)> build;
};

std::vector<std::string> Sequential(int from, int count) {
    std::vector<std::string> out;
    for (int i = from; i < from + count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "pc%05d", i);
        out.push_back(text);
    }
    return out;
}

TEST_F(SynonymIndexTest, AnswersAsTheLookupOnEveryName) {
    const std::vector<Case> cases = {
        {"sequential names crowd onto few hashes",
         [](SynonymIndexTest& t, NodeStoreBuilder&, std::vector<std::string>& ask) {
             for (const std::string& n : Sequential(1, 700)) t.Client(n);
             std::set<uint32_t> hashes;
             for (const std::string& n : Sequential(1, 700)) hashes.insert(NodeStoreBuilder::ComponentHash(n));
             ASSERT_LT(hashes.size() * 4, 700u);  // several synonyms a hash
             ask = Sequential(1, 710);        // ten more on the same hashes, not stored
             ask.push_back("PC00042");
             ask.push_back("C.pc00001");
         }},
        {"random names, gaps and strays",
         [](SynonymIndexTest& t, NodeStoreBuilder& s, std::vector<std::string>& ask) {
             for (const char* n : {"abc", "cac", "bcb", "zeta", "omega", "delta9"}) t.Client(n);
             s.AddNode({.name = "acb", .kind = QVAPI_NODE_MASTER});
             // A gap at slot 1 of hash 604: the lookup walks for what lies beyond it.
             fs::remove(s.NodeDefDir() / "C.604S1");
             s.WriteRawFile(s.NodeDefDir() / "C.604S1x", "x", 1);
             s.WriteRawFile(s.NodeDefDir() / "C.6041", "x", 1);
             ask = {"abc", "ABC", "cac", "bcb", "aea", "acb", "zeta", "omega", "Delta9", "nothere", "x"};
         }},
        {"host IDs and common names",
         [](SynonymIndexTest& t, NodeStoreBuilder&, std::vector<std::string>& ask) {
             t.Client("h1", "#GHOST0001");
             t.Client("h2", "#GHOST0002");
             t.Client("named", {}, "commonpc");
             t.Client("other", {}, "named");
             ask = {"#GHOST0001", "#ghost0002", "#GHOST0003", "h1", "named", "commonpc", "COMMONPC", "other"};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        EnableLog();
        std::vector<std::string> ask;
        c.build(*this, *store_, ask);
        qvp::nodes::SynonymIndex index;
        for (uint32_t options : {qvp::nodes::kFindClients, qvp::nodes::kFindMasters}) {
            for (const std::string& name : ask) {
                SCOPED_TRACE(name + " options " + std::to_string(options));
                const Answer direct = Ask([&](QVAPI_NODE& r) { return qvp::nodes::LookupDefinition(name, options, r); });
                const Answer indexed = Ask([&](QVAPI_NODE& r) { return index.Lookup(name, options, r); });
                EXPECT_EQ(indexed.code, direct.code);
                EXPECT_EQ(indexed.log, direct.log);
                EXPECT_TRUE(indexed.record == direct.record);
            }
        }
    }
}

TEST_F(SynonymIndexTest, BusySynonymKeepsItsOwnAnswer) {
    // A file held elsewhere ahead of the match fails the lookup; one behind it does not.
    EnableLog();
    for (const char* n : {"abc", "cac", "bcb"}) Client(n);
    const std::string held = (store_->NodeDefDir() / "C.604S1").string();
    qvp::FileHandle busy(win::CreateFile(held.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                         win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy.valid());
    qvp::nodes::SynonymIndex index;
    for (const char* name : {"abc", "bcb", "cac", "aea"}) {
        SCOPED_TRACE(name);
        const Answer direct = Ask([&](QVAPI_NODE& r) { return qvp::nodes::LookupDefinition(name, 1, r); });
        const Answer indexed = Ask([&](QVAPI_NODE& r) { return index.Lookup(name, 1, r); });
        EXPECT_EQ(indexed, direct);
    }
    QVAPI_NODE r;
    EXPECT_EQ(index.Lookup("bcb", 1, r), QVAPI_ERR_NODE_FILE_BUSY);
}

}  // namespace
