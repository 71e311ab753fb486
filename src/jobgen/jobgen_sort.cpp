// JobGen entry sorting: the re-created entries grouped by node (one bucket per node, named by
// the node's key with a synonym suffix where keys collide, taken in the order a directory walk
// of the bucket names gives), and for package kinds one entry per node and package, packages in
// key order. The buckets are kept in memory under the names and in the order the directory
// layout would give them (ASCII case ignored, upper-cased ordinal order), so no scratch folder
// of the thread's work tree is touched.
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>

#include "jobgen/jobgen_prepare.h"
#include "core/log.h"
#include "nodes/node_keys.h"

namespace qvp::jobgen {

namespace {

constexpr char kDriver[] = "qvAPISortEntryJobGen";
constexpr size_t kPackageKeyCompared = 63;

namespace msg {
constexpr char kNoEntry[] = "%s : Logical Error : Entry Count is 0 : File = %s";
constexpr char kJobType[] = "%s : JOB TYPE Error : JobType = %s";
// The soft-list step logs under its own name.
constexpr char kSoftName[] = "qvAPISortSoftEntryJobGen";
constexpr char kKey[] = "%s : strchr Error : code = %x";
constexpr char kStep[] = "%s : %s Error : File = %s, Node = %s, ErrorCode = 0x%8.8x";
constexpr char kNoSoft[] = "%s : CreateFile Error : File = jobgenentryfile";
}  // namespace msg

constexpr FrameTexts kFrame{kDriver, EndStyle::Result, nullptr, nullptr, nullptr};

// The last non-empty '.'-part of a node name (the whole name when there is none).
std::string_view LastPart(std::string_view name) {
    const size_t last = name.find_last_not_of('.');
    if (last == std::string_view::npos) return name;
    const size_t dot = name.rfind('.', last);
    const size_t start = dot == std::string_view::npos ? 0 : dot + 1;
    return name.substr(start, last + 1 - start);
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

struct Bucket {
    std::string name;
    JobGenEntry entry;
};

struct Sorter {
    ReCreateControlTable& table;
    bool byAddress;
    std::map<std::string, Bucket> buckets;            // by upper-cased name: the walk's order
    std::map<std::string, JobGenEntry> packages;      // by the first 63 key bytes
    std::optional<JobGenEntry> soft;
    std::unordered_map<std::string, std::string> bucketOfNode;  // node name -> its keyed bucket
    std::unordered_map<std::string, unsigned> takenSlots;       // key -> synonyms 0..n-1 taken

    bool Exists(std::string_view name) const {
        return name.empty() || name == "." || name == ".." || buckets.count(Upper(name)) != 0;
    }

    // The bucket of a node name, as the search over "<key>*" and the existence tests choose it.
    // A node's own bucket always begins with its key, so it is kept by node instead of being
    // searched for among every bucket the key begins; and since buckets are never taken away,
    // the synonym numbers found taken stay taken. `keyed`: the name came from a key.
    uint32_t BucketName(const std::string& node, std::string& name, bool& keyed) {
        std::string key;
        if (const uint32_t code = BucketKey(node, byAddress, key); code != 0) return code;
        keyed = !key.empty();
        if (!keyed) {
            name = std::string(byAddress ? std::string_view(node) : LastPart(node));
            return 0;
        }
        if (const auto own = bucketOfNode.find(node); own != bucketOfNode.end()) {
            name = own->second;
            return 0;
        }
        const std::string prefix = Upper(key);
        const auto first = buckets.lower_bound(prefix);
        const bool listed = first != buckets.end() && first->first.compare(0, prefix.size(), prefix) == 0;
        name = key;
        if (!listed || !Exists(key)) return 0;
        for (unsigned& n = takenSlots[key];; ++n) {
            name = key + "S" + std::to_string(n);
            if (!Exists(name)) return 0;
        }
    }

    uint32_t File(const JobGenEntry& entry) {
        const std::string node = FieldText(entry.node, kTextField);
        std::string name;
        bool keyed = false;
        if (const uint32_t code = BucketName(node, name, keyed); code != 0) return code;
        if (Exists(name)) return 0;
        buckets.emplace(Upper(name), Bucket{name, entry});
        if (keyed) bucketOfNode.emplace(node, name);
        ++table.buckets;
        return 0;
    }

    void FilePackage(const JobGenEntry& entry) {
        JobGenEntry copy = entry;
        std::memset(copy.node, 0, kTextField);
        if (packages.emplace(std::string(copy.packageKey, kPackageKeyCompared), copy).second) ++table.packages;
    }

    void FileSoft(const JobGenEntry& entry) {
        if (soft) return;
        soft = entry;
        std::memset(soft->node, 0, kTextField);
        ++table.packages;
    }
};

// A kind-I entry of a "0100" file brought to the current layout.
void UpgradeSoft(JobGenEntry& e) {
    std::memset(e.soft.listName, 0, sizeof e.soft.listName);
    e.soft.listType = 0;
    std::memset(e.softReferId, ' ', sizeof e.softReferId);
    auto* bytes = reinterpret_cast<uint8_t*>(&e);
    std::memset(bytes + 509, 0, 1024 - 509);
}

enum class Filing { Node, Package, Soft, None };
Filing FilingOf(char kind) {
    switch (kind) {
        case 'A': case 'C': case 'F': case 'G': case 'H': case 'K': case 'P': case 'S': case 'T': case 'V':
            return Filing::Node;
        case 'D': case 'J': case 'M':
            return Filing::Package;
        case 'I': case 'L': case 'O':
            return Filing::Soft;
        default:
            return Filing::None;
    }
}

// The records of the write-back, chosen by the header's kind.
uint32_t WriteBack(CallContext& call, Sorter& s, char kind, std::vector<JobGenEntry>& out) {
    const Filing filing = FilingOf(kind);
    if (filing == Filing::None) {
        const char letter[2] = {kind, 0};
        call.Log(msg::kJobType, call.function(), letter);
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    for (const auto& [upper, bucket] : s.buckets) {
        std::string node, host;
        if (bucket.name.find('%') != std::string::npos) {
            node = host = bucket.name;
        } else {
            node = FieldText(bucket.entry.node, kTextField);
            host = FieldText(bucket.entry.host, kTextField);
        }
        auto put = [&](JobGenEntry e) {
            PutField(e.node, kTextField, node);
            PutField(e.host, kTextField, host);
            out.push_back(e);
            ++s.table.sortWritten;
        };
        if (kind == 'D' || kind == 'J' || kind == 'M') {
            for (const auto& [key, entry] : s.packages) put(entry);
        } else if (filing == Filing::Soft) {
            if (!s.soft) {
                call.Log(msg::kNoSoft, msg::kSoftName);
                return QVAPI_ERR_RESOURCE;
            }
            put(*s.soft);
        } else {
            JobGenEntry e{};
            e.jobKind = kind;
            e.setcls = static_cast<char>(s.table.setcls);
            if (kind == 'V') e.reginfOption = s.table.reginf;
            put(e);
        }
    }
    return 0;
}

uint32_t Sort(CallContext& call, ReCreateControlTable* table, const char* from, const char* to) {
    std::vector<uint8_t> bytes;
    JobGenHeader header{};
    if (const uint32_t code = ReadStepInput(call, kDriver, table, from, to, bytes, header); code != 0) return code;
    if (header.jobKind == 0) return 0;
    if (header.entryCount == 0) {
        call.Log(msg::kNoEntry, call.function(), from);
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    StoredJobGen stored;
    ParseJobGenFile(bytes, stored);
    table->setcls = static_cast<uint8_t>(stored.entries[0].setcls);
    table->reginf = stored.entries[0].reginfOption;

    Sorter s{*table, call.block().systemManagementKey != 0, {}, {}, {}, {}, {}};
    const bool oldLayout = std::memcmp(header.version, "0100", 4) == 0;
    for (JobGenEntry& e : stored.entries) {
        const Filing filing = FilingOf(e.jobKind);
        if (filing == Filing::None) {
            const char letter[2] = {e.jobKind, 0};
            call.Log(msg::kJobType, call.function(), letter);
            return QVAPI_ERR_UNEXPECTED_DATA;
        }
        if (e.jobKind == 'I' && oldLayout) UpgradeSoft(e);
        if (const uint32_t code = s.File(e); code != 0) {
            call.Log(msg::kStep, call.function(), "qvAPISortNodeNameJobGen", from, FieldText(e.node, kTextField).c_str(), code);
            return code;
        }
        if (filing == Filing::Package) s.FilePackage(e);
        if (filing == Filing::Soft) s.FileSoft(e);
    }

    stored.entries = {};  // filed: only the buckets and the package list are needed now
    std::vector<uint8_t> image = TargetImage(call, from, to, std::move(bytes));
    std::vector<JobGenEntry> out;
    const uint32_t code = WriteBack(call, s, header.jobKind, out);
    JobGenHeader written = header;
    written.entryCount = code == 0 ? table->sortWritten : 0;
    written.entryAreaSize = written.entryCount * static_cast<uint32_t>(kEntrySize);
    if (code == 0) std::memcpy(written.version, kVersion, sizeof written.version);
    Overlay(image, written, out);
    if (const uint32_t w = WritePrepared(call, to, image); w != 0 || code != 0) return code != 0 ? code : w;
    if (table->sortWritten == 0) {
        call.Log(kNodeNotFoundText, kDriver);
        return QVAPI_ERR_JOB_NO_NODE;
    }
    return 0;
}

}  // namespace

uint32_t BucketKey(std::string_view nodeName, bool byAddress, std::string& key) {
    key.clear();
    if (byAddress) {
        key = std::string(nodeName);
        return 0;
    }
    const std::string_view part = LastPart(nodeName);
    const size_t mark = part.find('%');
    if (mark == std::string_view::npos) {
        key = nodes::NodeHashPath(part);
        return 0;
    }
    if (part[0] == '%') {
        key = std::string(part.substr(1));
        return 0;
    }
    for (size_t i = 1; i < part.size(); ++i) {
        if (part[i] == '%' && (i == 1 || part[i - 1] == '\\')) {
            key = std::string(part.substr(i));
            return 0;
        }
    }
    qvpDllLog(msg::kKey, msg::kSoftName, 0);
    return QVAPI_ERR_RESOURCE;
}

int qvAPISortEntryJobGen(ReCreateControlTable* table, const char* from, const char* to) {
    return RunApi(kFrame, 0, [&](CallContext& call) { return Finish(call, Sort(call, table, from, to)); });
}

}  // namespace qvp::jobgen
