// Job preparation against fixture stores: the re-created and the sorted jobgenfile compared byte
// for byte with a reference built here from the rules (groups expanded depth-first in place,
// buckets named by key and synonym slot, listed in upper-cased ordinal order, packages in key
// order), plus the bounded cases a store can force.
#include <algorithm>
#include <cstring>

#include "jobgen/jobgen_prepare.h"
#include "jobgen/prepare_files.h"
#include "jobgen_env.h"

namespace qvptest {
namespace {

namespace jg = qvp::jobgen;
using Image = std::vector<uint8_t>;

std::string Text(const char* field) { return std::string(field, strnlen(field, 260)); }
std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
std::string Dotted(const std::string& path) {
    std::string out;
    for (size_t i = 1; i < path.size() && out.size() < 260; ++i) out += path[i] == '\\' ? '.' : path[i] == '.' ? '!' : path[i];
    return out;
}

// ---- the reference ---------------------------------------------------------------------------

// A header with the entries' count and the entries laid over a file's bytes (never shortened).
Image Laid(Image file, JobGenHeader h, const std::vector<JobGenEntry>& entries) {
    h.entryCount = static_cast<uint32_t>(entries.size());
    h.entryAreaSize = h.entryCount * 1284;
    file.resize(std::max(file.size(), 256 + entries.size() * 1284));
    std::memcpy(file.data(), &h, 256);
    std::memcpy(file.data() + 256, entries.data(), entries.size() * 1284);
    return file;
}

struct RefRecreate {
    NodeStoreBuilder& store;
    uint8_t key;
    std::vector<JobGenEntry> out;
    uint32_t skipped = 0;

    void Resolved(JobGenEntry e, const QVAPI_NODE& d, uint32_t type) {
        auto base = [](std::string b) { return b.size() > 1 ? b + "\\" : b; };
        const std::string hostIdPath = Text(d.ucHostIDPath), nodePath = Text(d.ucNodePath0);
        std::string first = base(hostIdPath.empty() ? nodePath : hostIdPath), second = base(nodePath);
        const std::string address = NodeStoreBuilder::DottedAddress({d.ucNodeAddress[0], d.ucNodeAddress[1],
                                                                     d.ucNodeAddress[2], d.ucNodeAddress[3]});
        const std::string name = key == 1 ? address : Text(d.ucNodeName);
        first += d.ucHostIDFlag == 1 ? std::string(d.ucHostID, strnlen(d.ucHostID, 32)) : name;
        second += name;
        jg::PutField(e.node, 260, Dotted(first));
        jg::PutField(e.host, 260, Dotted(second));
        reinterpret_cast<uint8_t*>(&e)[351] = 1;
        e.type = type;
        out.push_back(e);
    }
    void Expand(const JobGenEntry& e) {
        const std::string path = Text(e.node);
        if (e.type == 0) {
            for (const auto& m : store.ReadGroupFile(path)) {
                if (m.kind == 0) {
                    JobGenEntry sub = e;
                    jg::PutField(sub.node, 260, path + "\\" + m.name);
                    jg::PutField(sub.host, 260, path + "\\" + m.name);
                    Expand(sub);
                } else {
                    Resolved(e, store.Record(m.name), 0x80000000u | m.kind);
                }
            }
        } else if (e.type == 1 || e.type == 2) {
            const std::string name = path.substr(path.rfind('\\') + 1);
            if (!store.Has(name)) {
                ++skipped;
                return;
            }
            Resolved(e, store.Record(name), 0x80000000u | e.type);
        } else if (e.type == 4) {
            const std::string id = path.substr(path.rfind('%') + 1);
            for (const auto& m : store.ReadGroupFile("\\I." + id))
                if (m.kind == 1) Resolved(e, store.Record(m.name), 0x80000001u);
        }
    }
};

// The bucket rules on a list: search by case-insensitive prefix, exact name, existence ignoring
// case, S<n> slots; buckets written in upper-cased ordinal order.
Image RefSort(const Image& in, uint8_t systemKey) {
    JobGenHeader h;
    std::memcpy(&h, in.data(), 256);
    std::vector<JobGenEntry> entries(h.entryCount);
    std::memcpy(entries.data(), in.data() + 256, h.entryCount * 1284);
    struct B {
        std::string name;
        JobGenEntry e;
    };
    std::vector<B> buckets;
    std::vector<JobGenEntry> packages;
    auto exists = [&](const std::string& n) {
        return std::any_of(buckets.begin(), buckets.end(), [&](const B& b) { return Upper(b.name) == Upper(n); });
    };
    for (const JobGenEntry& e : entries) {
        const std::string name = Text(e.node);
        std::string part = name.substr(name.rfind('.') == std::string::npos ? 0 : name.rfind('.') + 1), key;
        if (systemKey == 1) key = name;
        else if (part.find('%') == std::string::npos) key = std::to_string(NodeStoreBuilder::ComponentHash(part));
        else key = part.substr(1);
        std::string bucket = key;
        bool listed = false, found = false;
        for (const B& b : buckets) {
            if (Upper(b.name).rfind(Upper(key), 0) != 0) continue;
            listed = true;
            if (Text(b.e.node) == name) {
                bucket = b.name;
                found = true;
                break;
            }
        }
        if (listed && !found && exists(key))
            for (int n = 0; exists(bucket = key + "S" + std::to_string(n)); ++n) {}
        if (!exists(bucket)) buckets.push_back({bucket, e});
        if (e.jobKind == 'D' || e.jobKind == 'J' || e.jobKind == 'M') {
            JobGenEntry p = e;
            std::memset(p.node, 0, 260);
            auto at = packages.begin();
            while (at != packages.end() && std::memcmp(at->packageKey, p.packageKey, 63) < 0) ++at;
            if (at == packages.end() || std::memcmp(at->packageKey, p.packageKey, 63) != 0) packages.insert(at, p);
        }
    }
    std::sort(buckets.begin(), buckets.end(), [](const B& a, const B& b) { return Upper(a.name) < Upper(b.name); });
    std::vector<JobGenEntry> out;
    for (const B& b : buckets) {
        auto put = [&](JobGenEntry r) {
            jg::PutField(r.node, 260, b.name.find('%') != std::string::npos ? b.name : Text(b.e.node));
            jg::PutField(r.host, 260, b.name.find('%') != std::string::npos ? b.name : Text(b.e.host));
            out.push_back(r);
        };
        if (h.jobKind == 'D') {
            for (const JobGenEntry& p : packages) put(p);
        } else {
            JobGenEntry r{};
            r.jobKind = h.jobKind;
            r.setcls = entries[0].setcls;
            put(r);
        }
    }
    std::memcpy(h.version, "0500", 4);
    return Laid(in, h, out);
}

// ---- the fixture --------------------------------------------------------------------------------

class PrepareTest : public JobGenTest {
protected:
    std::string Path() const { return (Store() / "J.jobgenfile").string(); }
    void Write(const Image& bytes) { store_->WriteRawFile(Path(), bytes.data(), bytes.size()); }
    uint32_t ReCreate(jg::ReCreateControlTable& t) {
        return jg::qvAPIReCreateJobGen(&t, Path().c_str(), Path().c_str()) == 1 ? 0 : qvAPIGetLastError();
    }
    uint32_t Sort(jg::ReCreateControlTable& t) {
        return jg::qvAPISortEntryJobGen(&t, Path().c_str(), Path().c_str()) == 1 ? 0 : qvAPIGetLastError();
    }
};

TEST_F(PrepareTest, ReCreatedAndSortedFilesEqualTheReference) {
    // Two names of one hash: the second gets the synonym bucket.
    const std::string c1 = "pcad", c2 = "pcea";
    ASSERT_EQ(NodeStoreBuilder::ComponentHash(c1), NodeStoreBuilder::ComponentHash(c2));
    struct Case {
        uint8_t key;
        char kind;
    };
    for (const Case& c : {Case{0, 'D'}, Case{1, 'G'}}) {
        SCOPED_TRACE(c.key);
        TearDown();
        SetUp();
        block_->systemManagementKey = c.key;
        std::vector<JobGenEntry> entries;
        if (c.key == 0) {
            store_->AddNode({.name = c1, .address = {10, 0, 1, 1}, .master = "mst1"});
            store_->AddNode({.name = c2, .address = {10, 0, 1, 2}, .master = "mst1"});
            store_->AddNode({.name = "hid", .address = {10, 0, 1, 3}, .hostId = "#GHOST0001", .master = "mst1"});
            store_->AddGroup("\\A\\B");
            store_->AddMember("\\A", "pc1");
            store_->AddMember("\\A\\B", c1);
            store_->AddMember("\\A\\B", c2);
            store_->AddMember("\\A\\B", "#GHOST0001", "#GHOST0001");
            store_->AddMember("\\A\\B", "mst1");
            store_->AddGroup("\\I.ID1");
            store_->AddMember("\\I.ID1", c2);
            store_->AddMember("\\I.ID1", "mst1");
            for (const char* pkg : {"D.02.pkgB.v2.0002", "C.01.pkgA.1/2.0001"})
                for (auto [type, node] : std::vector<std::pair<uint32_t, std::string>>{
                         {0, "\\A"}, {0, "\\A\\B"}, {1, "\\mst1\\" + c2}, {4, "\\route\\%ID1"}, {1, "\\mst1\\gone"}})
                    entries.push_back(Entry('D', type, node, pkg));
        } else {
            store_->AddNode({.name = "10.1.0.1", .kind = QVAPI_NODE_MASTER, .address = {10, 1, 0, 1}, .ipKeyed = true});
            store_->AddNode({.name = "10.1.0.9", .address = {10, 1, 0, 9}, .ipKeyed = true, .master = "10.1.0.1"});
            store_->AddNode({.name = "10.1.0.2", .address = {10, 1, 0, 2}, .ipKeyed = true, .master = "10.1.0.1"});
            store_->AddGroup("\\ip\\sub");
            store_->AddMember("\\ip", "10.1.0.9");
            store_->AddMember("\\ip\\sub", "10.1.0.2");
            store_->AddMember("\\ip\\sub", "10.1.0.1");
            entries = {Entry('G', 0, "\\ip"), Entry('G', 2, "\\10.1.0.1"), Entry('G', 1, "\\10.1.0.1\\10.1.0.2")};
        }
        const Image original = File(c.kind, entries, static_cast<uint32_t>(entries.size()));
        Write(original);

        RefRecreate ref{*store_, c.key, {}, 0};
        for (const JobGenEntry& e : entries) ref.Expand(e);
        JobGenHeader h;
        std::memcpy(&h, original.data(), 256);
        const Image expected = Laid(original, h, ref.out);

        jg::ReCreateControlTable table;
        ASSERT_EQ(ReCreate(table), 0u) << Hex(qvAPIGetLastError());
        EXPECT_EQ(table.skippedEntries, ref.skipped);
        const Image recreated = NodeStoreBuilder::ReadBytes(Path());
        EXPECT_EQ(recreated, expected);
        ASSERT_EQ(Sort(table), 0u) << Hex(qvAPIGetLastError());
        EXPECT_EQ(NodeStoreBuilder::ReadBytes(Path()), RefSort(recreated, c.key));
    }
}

// Sequential names crowd few hashes (every seventh definition removed: a gap), random names
// spread, addresses are keys of their own; each store re-created and sorted as the reference.
TEST_F(PrepareTest, CrowdedHashesSpreadNamesAndAddressesEqualTheReference) {
    enum Names { kSequential, kRandom, kIp };
    for (const auto& [names, kind] : {std::pair{kSequential, 'D'}, {kSequential, 'G'}, {kRandom, 'D'}, {kIp, 'G'}}) {
        SCOPED_TRACE(std::string(1, kind) + std::to_string(names));
        TearDown();
        SetUp();
        block_->systemManagementKey = names == kIp ? 1 : 0;
        const std::string master = names == kIp ? "10.9.0.1" : "mst1";
        if (names == kIp) store_->AddNode({.name = master, .kind = QVAPI_NODE_MASTER, .address = {10, 9, 0, 1}, .ipKeyed = true});
        uint32_t seed = 12345;
        std::vector<std::string> added;
        for (int i = 0; i < 400; ++i) {
            const std::array<uint8_t, 4> address{10, 9, static_cast<uint8_t>(1 + i / 200), static_cast<uint8_t>(1 + i % 200)};
            char text[16];
            std::snprintf(text, sizeof text, "pc%05d", i + 1);
            if (names == kIp) std::snprintf(text, sizeof text, "10.9.%d.%d", address[2], address[3]);
            for (int k = 0; names == kRandom && k < 6; ++k) text[k + 1] = static_cast<char>('a' + (seed = seed * 1103515245u + 12345u) % 26);
            if (store_->Has(text)) continue;
            store_->AddNode({.name = text, .address = address, .ipKeyed = names == kIp, .master = master});
            added.push_back(text);
        }
        store_->AddGroup("\\S");
        for (size_t i = 0; i < added.size(); ++i) {
            if (i % 7 == 3) std::filesystem::remove(store_->DefinitionPath(store_->Record(added[i])));
            else store_->AddMember("\\S", added[i]);
        }
        std::vector<JobGenEntry> entries;
        for (const char* pkg : {"D.02.pkgB.v2.0002", "C.01.pkgA.1/2.0001"}) {
            entries.push_back(Entry(kind, 0, "\\S", pkg));
            for (size_t i = 0; i < added.size(); i += 37)
                if (i % 7 != 3) entries.push_back(Entry(kind, 1, "\\" + master + "\\" + added[i], pkg));
        }
        const Image original = File(kind, entries, static_cast<uint32_t>(entries.size()));
        Write(original);
        RefRecreate ref{*store_, block_->systemManagementKey, {}, 0};
        for (const JobGenEntry& e : entries) ref.Expand(e);
        JobGenHeader h;
        std::memcpy(&h, original.data(), 256);
        jg::ReCreateControlTable table;
        ASSERT_EQ(ReCreate(table), 0u) << Hex(qvAPIGetLastError());
        const Image recreated = NodeStoreBuilder::ReadBytes(Path());
        EXPECT_TRUE(recreated == Laid(original, h, ref.out));
        ASSERT_EQ(Sort(table), 0u) << Hex(qvAPIGetLastError());
        EXPECT_TRUE(NodeStoreBuilder::ReadBytes(Path()) == RefSort(recreated, block_->systemManagementKey));
    }
}

TEST_F(PrepareTest, LoopingGroupNamesEndAndAreCounted) {
    // \A lists itself as ".." below \A\B and a name that climbs out; both are dropped.
    store_->WriteGroupFile("\\A", {{"B", 0}, {"..", 0}, {"pc1", 1}});
    store_->WriteGroupFile("\\A\\B", {{"..", 0}, {"x\\..\\..", 0}, {"mst1", 2}});
    Write(File('L', {Entry('L', 0, "\\A"), Entry('L', 0, "\\A\\B")}, 2));
    jg::ReCreateControlTable table;
    ASSERT_EQ(ReCreate(table), 0u) << Hex(qvAPIGetLastError());
    EXPECT_EQ(table.skippedEntries, 5u);
    EXPECT_EQ(table.pass, 1u);
    jg::StoredJobGen out;
    ASSERT_TRUE(jg::ParseJobGenFile(NodeStoreBuilder::ReadBytes(Path()), out));
    ASSERT_EQ(out.entries.size(), 3u);  // mst1 of the second pass, then pc1 and mst1 of the first
    for (const auto& e : out.entries) EXPECT_EQ(reinterpret_cast<const uint8_t*>(&e)[351], 0) << "kind L";

}

TEST_F(PrepareTest, BrokenHeadersAreRefusedBeforeAnyEntryIsRead) {
    struct Case {
        uint32_t count;
        char kind;
        uint32_t recreate, sort;
    };
    for (const Case& c : {Case{3, 'G', QVAPI_ERR_RESOURCE, QVAPI_ERR_RESOURCE},
                          Case{0, 'G', QVAPI_ERR_JOB_NO_NODE, QVAPI_ERR_UNEXPECTED_DATA},
                          Case{1, 'B', QVAPI_ERR_UNEXPECTED_DATA, QVAPI_ERR_UNEXPECTED_DATA},
                          Case{1, 'S', 0, 0}}) {
        SCOPED_TRACE(c.kind + std::to_string(c.count));
        Write(File(c.kind, {Entry(c.kind == 'B' ? 'B' : 'G', 1, "\\mst1\\pc1")}, c.count));
        jg::ReCreateControlTable table;
        EXPECT_EQ(ReCreate(table), c.recreate);
        Write(File(c.kind, {Entry(c.kind == 'B' ? 'B' : 'G', 0x80000001u, "mst1.pc1")}, c.count));
        EXPECT_EQ(Sort(table), c.sort);
    }
    // A header kind that files the entries but writes none of them back.
    Write(File('D', {Entry('G', 0x80000001u, "mst1.pc1")}, 1));
    jg::ReCreateControlTable table;
    EXPECT_EQ(Sort(table), QVAPI_ERR_JOB_NO_NODE);
}

// Which targets each kind reaches: 'R' and 'E' are ID-operation request letters, never job kinds;
// the store kinds address masters only, so a client named by path or ID gives them no node, while
// a client named as given is sent as a master.
TEST_F(PrepareTest, KindsReachOnlyTheirOwnTargets) {
    store_->AddMember("\\grp", "pc1");
    struct Case {
        char kind;
        uint32_t type;
        const char* node;
        uint32_t code, written;
    };
    for (const Case& c : {Case{'R', 1, "\\mst1\\pc1", QVAPI_ERR_UNEXPECTED_DATA, 0},
                          Case{'E', 1, "\\mst1\\pc1", QVAPI_ERR_UNEXPECTED_DATA, 0},
                          Case{'A', 1, "\\mst1\\pc1", QVAPI_ERR_JOB_NO_NODE, 0},
                          Case{'C', 0x1000001u, "pc1", QVAPI_ERR_JOB_NO_NODE, 0},
                          Case{'C', 0, "\\grp", QVAPI_ERR_JOB_NO_NODE, 0},
                          Case{'A', 0x80000000u, "\\mst1\\pc1", 0, 0x80000002u},
                          Case{'C', 2, "\\mst1", 0, 0x80000002u},
                          Case{'S', 1, "\\mst1\\pc1", 0, 0x80000001u}}) {
        SCOPED_TRACE(std::string(1, c.kind) + " " + Hex(c.type));
        Write(File(c.kind, {Entry(c.kind, c.type, c.node)}, 1));
        jg::ReCreateControlTable table;
        EXPECT_EQ(ReCreate(table), c.code);
        jg::StoredJobGen out;
        ASSERT_TRUE(jg::ParseJobGenFile(NodeStoreBuilder::ReadBytes(Path()), out));
        ASSERT_EQ(out.entries.size(), c.written != 0 ? 1u : 0u);
        if (c.written != 0) {
            EXPECT_EQ(out.entries[0].type, c.written);
        }
    }
}

TEST_F(PrepareTest, IdJobGenKeepsItsIdAndAddsItsMastersUnderTheIdBucket) {
    store_->AddGroup("\\I.ID1");
    store_->AddMember("\\I.ID1", "pc1");
    store_->AddMember("\\I.ID1", "mst1");
    Write(File('V', {Entry('V', 4, "\\%ID1"), Entry('V', 0x80000000u, "pcX"), Entry('V', 4, "\\%gone")}, 3, 5));
    jg::ReCreateControlTable table;
    ASSERT_EQ(ReCreate(table), 0u) << Hex(qvAPIGetLastError());
    EXPECT_EQ(table.skippedEntries, 1u);
    ASSERT_EQ(Sort(table), 0u) << Hex(qvAPIGetLastError());
    jg::StoredJobGen out;
    ASSERT_TRUE(jg::ParseJobGenFile(NodeStoreBuilder::ReadBytes(Path()), out));
    std::vector<std::string> names;
    for (const auto& e : out.entries) names.push_back(Text(e.node) + "|" + Text(e.host));
    // Buckets: the hash of "pcX", then "ID1" (the ID) and "ID1S0" (its master, same key).
    EXPECT_EQ(names, (std::vector<std::string>{"pcX|pcX", "%ID1|%ID1", "mst1.%ID1|mst1.%ID1"}));
    EXPECT_EQ(out.entries[1].jobKind, 'V');
    EXPECT_EQ(out.entries[1].setcls, 'W');
    EXPECT_EQ(out.entries[1].reginfOption, 7);
}

TEST_F(PrepareTest, KindOClientNameKeepsItsBytes) {
    JobGenEntry e = Entry('O', 0x80000000u, "\\mst1\\pc1");
    std::memset(e.packageKey, 'n', 64);  // 64-character client name of a Delete_Host job at 296
    e.packageKey[0] = 'D';
    Write(File('O', {e}, 1));
    jg::ReCreateControlTable table;
    ASSERT_EQ(ReCreate(table), 0u) << Hex(qvAPIGetLastError());
    const Image out = NodeStoreBuilder::ReadBytes(Path());
    EXPECT_EQ(out[256 + 351], 'n');
    ASSERT_EQ(Sort(table), 0u);
    EXPECT_EQ(NodeStoreBuilder::ReadBytes(Path())[256 + 351], 'n');
}

}  // namespace
}  // namespace qvptest
