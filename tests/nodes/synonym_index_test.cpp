// The per-call synonym index answers every name with the code, record bytes and log lines of
// LookupDefinition asked afresh.
#include <functional>
#include <optional>
#include <set>

#include "node_env.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/synonym_index.h"
#include "core/handles.h"

namespace {

namespace fs = std::filesystem;
using qvptest::NodeStoreBuilder;

class SynonymIndexTest : public qvptest::NodeStoreTest {
public:
    // Code, record bytes and log lines of one lookup.
    std::tuple<uint32_t, std::vector<uint8_t>, std::vector<std::string>> Ask(const std::function<uint32_t(QVAPI_NODE&)>& lookup) {
        const size_t before = LogMessages().size();
        QVAPI_NODE r;
        std::memset(&r, 0x5A, sizeof r);
        const uint32_t code = lookup(r);
        const std::vector<std::string> log = LogMessages();
        return {code, {reinterpret_cast<const uint8_t*>(&r), reinterpret_cast<const uint8_t*>(&r + 1)}, {log.begin() + static_cast<long>(before), log.end()}};
    }
    void Client(const std::string& name, const std::string& hostId = {}, const std::string& common = {}) {
        QVAPI_NODE r = store_->AddNode({.name = name, .address = {10, 0, 0, 9}, .hostId = hostId, .commonName = common});
        if (common.empty()) return;
        r.uiConnectKind = 1;
        store_->WriteDefinitionFile("C." + std::string(r.ucNodeKey), r);
    }
    // Another process holds the file open without sharing.
    void Hold(const fs::path& file) {
        held_.emplace(win::CreateFile(file.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                      win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(held_->valid());
    }
    std::optional<qvp::FileHandle> held_;
};

TEST_F(SynonymIndexTest, AnswersAsTheLookupOnEveryName) {
    using Build = std::function<std::vector<std::string>(SynonymIndexTest&, NodeStoreBuilder&)>;
    const std::vector<std::pair<const char*, Build>> cases = {
        {"sequential names crowd onto few hashes",
         [](SynonymIndexTest& t, NodeStoreBuilder&) {
             std::vector<std::string> ask = {"PC00042", "C.pc00001"};
             std::set<uint32_t> hashes;
             for (int i = 1; i <= 710; ++i) {  // the last ten on the same hashes, not stored
                 ask.push_back("pc" + std::to_string(100000 + i).substr(1));
                 if (i <= 700) t.Client(ask.back()), hashes.insert(NodeStoreBuilder::ComponentHash(ask.back()));
             }
             EXPECT_LT(hashes.size() * 4, 700u);  // several synonyms a hash
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
         [](SynonymIndexTest& t, NodeStoreBuilder& s) {
             t.Client("h1", "#GHOST0001");
             t.Client("h2", "#GHOST0002");
             t.Client("named", {}, "commonpc");
             t.Client("other", {}, "named");
             // Keyed by its common name, as automatic registration keys a host of connect kind 1.
             QVAPI_NODE keyed = s.AddNode({.name = "byname", .commonName = "cnkeyed",
                                           .key = std::to_string(NodeStoreBuilder::ComponentHash("cnkeyed"))});
             keyed.uiConnectKind = 1;
             s.WriteDefinitionFile("C." + std::string(keyed.ucNodeKey), keyed);
             return std::vector<std::string>{"#GHOST0001", "#ghost0002", "#GHOST0003", "h1", "named", "commonpc",
                                             "COMMONPC", "other", "cnkeyed", "byname"};
         }},
        {"a name stored twice beyond a gap",
         [](SynonymIndexTest& t, NodeStoreBuilder& s) {
             for (const char* n : {"abc", "cac"}) t.Client(n);  // C.604, C.604S1
             QVAPI_NODE twice = s.Record("cac");
             fs::remove(s.NodeDefDir() / "C.604S1");
             for (const char* slot : {"S2", "S10"}) {  // walked in name order: S10 first
                 ++twice.ucNodeAddress[3];
                 s.WriteDefinitionFile(std::string("C.604") + slot, twice);
             }
             return std::vector<std::string>{"cac", "abc", "aea"};
         }},
        {"a synonym held elsewhere fails a lookup behind it only",
         [](SynonymIndexTest& t, NodeStoreBuilder& s) {
             for (const char* n : {"abc", "cac", "bcb"}) t.Client(n);
             t.Hold(s.NodeDefDir() / "C.604S1");
             return std::vector<std::string>{"abc", "bcb", "cac", "aea"};
         }},
        {"a synonym held elsewhere beyond a gap",
         [](SynonymIndexTest& t, NodeStoreBuilder& s) {
             for (const char* n : {"abc", "cac", "bcb"}) t.Client(n);
             fs::remove(s.NodeDefDir() / "C.604S1");
             t.Hold(s.NodeDefDir() / "C.604S2");
             return std::vector<std::string>{"abc", "bcb", "aea"};
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
                const auto direct = Ask([&](QVAPI_NODE& r) { return qvp::nodes::LookupDefinition(n, options, r); });
                EXPECT_EQ(Ask([&](QVAPI_NODE& r) { return index.Lookup(n, options, r); }), direct);
            }
        }
    }
    // The last case's busy file answers busy, not "not found", though the chain before it was whole.
    QVAPI_NODE r;
    EXPECT_EQ(qvp::nodes::SynonymIndex().Lookup("bcb", qvp::nodes::kFindClients, r), QVAPI_ERR_NODE_FILE_BUSY);
    held_.reset();
}

}  // namespace
