// The per-call synonym index against the lookup it stands in for: for every name of a case, one
// index answers with the same code, record bytes and log lines as LookupDefinition asked afresh,
// over crowded hashes (sequential names), spread ones, host IDs, common names, chains with gaps,
// stray files, a busy synonym and names that are not stored.
#include <filesystem>
#include <functional>
#include <optional>
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

struct Answer {
    uint32_t code;
    std::vector<uint8_t> record;
    std::vector<std::string> log;
    bool operator==(const Answer&) const = default;
};

class SynonymIndexTest : public qvptest::NodeStoreTest {
public:
    Answer Ask(const std::function<uint32_t(QVAPI_NODE&)>& lookup) {
        const size_t before = LogMessages().size();
        QVAPI_NODE record;
        std::memset(&record, 0x5A, sizeof record);
        Answer a{lookup(record), {}, LogMessages()};
        a.log.erase(a.log.begin(), a.log.begin() + static_cast<long>(before));
        a.record.assign(reinterpret_cast<const uint8_t*>(&record), reinterpret_cast<const uint8_t*>(&record + 1));
        return a;
    }
    void Client(const std::string& name, const std::string& hostId = {}, const std::string& common = {}) {
        QVAPI_NODE r = store_->AddNode({.name = name, .address = {10, 0, 0, 9}, .hostId = hostId, .commonName = common});
        if (common.empty()) return;
        r.uiConnectKind = 1;
        store_->WriteDefinitionFile("C." + std::string(r.ucNodeKey), r);
    }
    std::optional<qvp::FileHandle> held_;
};

std::vector<std::string> Sequential(int count) {
    std::vector<std::string> out;
    for (int i = 1; i <= count; ++i) out.push_back("pc" + std::to_string(100000 + i).substr(1));
    return out;
}

TEST_F(SynonymIndexTest, AnswersAsTheLookupOnEveryName) {
    using Build = std::function<std::vector<std::string>(SynonymIndexTest&, NodeStoreBuilder&)>;
    const std::vector<std::pair<const char*, Build>> cases = {
        {"sequential names crowd onto few hashes",
         [](SynonymIndexTest& t, NodeStoreBuilder&) {
             std::set<uint32_t> hashes;
             for (const std::string& n : Sequential(700)) t.Client(n), hashes.insert(NodeStoreBuilder::ComponentHash(n));
             EXPECT_LT(hashes.size() * 4, 700u);  // several synonyms a hash
             std::vector<std::string> ask = Sequential(710);  // ten more on the same hashes, not stored
             ask.insert(ask.end(), {"PC00042", "C.pc00001"});
             return ask;
         }},
        {"random names, gaps and strays",
         [](SynonymIndexTest& t, NodeStoreBuilder& s) {
             for (const char* n : {"abc", "cac", "bcb", "zeta", "omega", "delta9"}) t.Client(n);
             s.AddNode({.name = "acb", .kind = QVAPI_NODE_MASTER});
             // A gap at slot 1 of hash 604: the lookup walks for what lies beyond it.
             fs::remove(s.NodeDefDir() / "C.604S1");
             s.WriteRawFile(s.NodeDefDir() / "C.604S1x", "x", 1);
             s.WriteRawFile(s.NodeDefDir() / "C.6041", "x", 1);
             return std::vector<std::string>{"abc", "ABC", "cac", "bcb", "aea", "acb", "zeta", "omega", "Delta9", "nothere", "x"};
         }},
        {"host IDs and common names",
         [](SynonymIndexTest& t, NodeStoreBuilder&) {
             t.Client("h1", "#GHOST0001");
             t.Client("h2", "#GHOST0002");
             t.Client("named", {}, "commonpc");
             t.Client("other", {}, "named");
             return std::vector<std::string>{"#GHOST0001", "#ghost0002", "#GHOST0003", "h1", "named", "commonpc", "COMMONPC", "other"};
         }},
        {"a synonym held elsewhere fails a lookup behind it only",
         [](SynonymIndexTest& t, NodeStoreBuilder& s) {
             for (const char* n : {"abc", "cac", "bcb"}) t.Client(n);
             const std::string held = (s.NodeDefDir() / "C.604S1").string();
             t.held_.emplace(win::CreateFile(held.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                             win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
             EXPECT_TRUE(t.held_->valid());
             return std::vector<std::string>{"abc", "bcb", "cac", "aea"};
         }},
    };
    for (const auto& [name, build] : cases) {
        SCOPED_TRACE(name);
        held_.reset();
        TearDown();
        SetUp();
        EnableLog();
        const std::vector<std::string> ask = build(*this, *store_);
        qvp::nodes::SynonymIndex index;
        for (uint32_t options : {qvp::nodes::kFindClients, qvp::nodes::kFindMasters}) {
            for (const std::string& n : ask) {
                SCOPED_TRACE(n + " options " + std::to_string(options));
                const Answer direct = Ask([&](QVAPI_NODE& r) { return qvp::nodes::LookupDefinition(n, options, r); });
                EXPECT_EQ(Ask([&](QVAPI_NODE& r) { return index.Lookup(n, options, r); }), direct);
            }
        }
    }
    QVAPI_NODE r;
    EXPECT_EQ(qvp::nodes::SynonymIndex().Lookup("bcb", qvp::nodes::kFindClients, r), QVAPI_ERR_NODE_FILE_BUSY);
    held_.reset();
}

}  // namespace
