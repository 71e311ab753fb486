// Each hash's synonym files read in the order a lookup examines them: first the chain C.<hash>,
// C.<hash>S1 ... up to the first gap, then what the directory walk lists beyond it. A name's
// answer is then the first file in that order whose record matches, as a lookup would find it.
#include "nodes/synonym_index.h"

#include <cstring>
#include <unordered_set>

#include "core/log.h"
#include "nodes/name_checks.h"
#include "nodes/name_text.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"

namespace qvp::nodes {

namespace {

// EqualIgnoringCase(a, b) implies equal folded forms, so the folded form can pick the
// candidates that the exact comparison then decides.
std::string Folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

// Whether a record answers a lookup of `plain`, as the lookup compares.
bool Matches(const QVAPI_NODE& record, std::string_view plain, bool byHostId) {
    if (EqualIgnoringCase(byHostId ? Field(record.ucHostID) : Field(record.ucNodeName), plain)) return true;
    return !byHostId && record.uiConnectKind == 1 && EqualIgnoringCase(Field(record.ucCommonName), plain);
}

}  // namespace

struct SynonymIndex::Chain {
    bool usable = false;     // every file read (else the lookup is asked each time)
    bool walkEmpty = false;  // the walk found no file of the hash at all
    std::vector<QVAPI_NODE> records;
    std::unordered_map<std::string, std::vector<uint32_t>> byName, byHostId;  // folded -> records

    static void Note(std::vector<uint32_t>& at, uint32_t position) {
        if (at.empty() || at.back() != position) at.push_back(position);
    }
    void Add(const QVAPI_NODE& record) {
        const auto position = static_cast<uint32_t>(records.size());
        records.push_back(record);
        Note(byName[Folded(Field(record.ucNodeName))], position);
        if (record.uiConnectKind == 1) Note(byName[Folded(Field(record.ucCommonName))], position);
        Note(byHostId[Folded(Field(record.ucHostID))], position);
    }
    // false when the file could not be read for another reason than being absent.
    bool Read(const std::string& path, bool& absent) {
        QVAPI_NODE record;
        win::DWORD error = 0;
        bool readFailed = false;
        absent = false;
        if (ReadRecordFile(path, record, error, readFailed)) {
            Add(record);
            return true;
        }
        absent = !readFailed && (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND);
        return absent;
    }
    void Build(char letter, const std::string& hash) {
        const std::string dir = NodeDefDir();
        std::unordered_set<std::string> examined;
        for (int slot = 0; slot <= kMaxSynonymSlot; ++slot) {
            std::string fileName = std::string(1, letter) + "." + hash;
            if (slot != 0) fileName += "S" + std::to_string(slot);
            bool absent = false;
            if (!Read(dir + "\\" + fileName, absent)) return;
            if (absent) break;
            examined.insert(std::move(fileName));
        }
        std::vector<SynonymFile> files;
        win::DWORD walkError = 0;
        bool firstFailed = false;
        const uint32_t code = ListSynonyms(dir, letter, hash, files, walkError, firstFailed);
        if (code == QVAPI_ERR_NOT_FOUND) walkEmpty = true;
        else if (code != 0) return;
        for (const SynonymFile& file : files) {
            if (file.slot < 0 || examined.count(file.fileName) != 0) continue;
            bool absent = false;
            if (!Read(dir + "\\" + file.fileName, absent)) return;
        }
        usable = true;
    }
};

SynonymIndex::SynonymIndex() = default;
SynonymIndex::~SynonymIndex() = default;

const SynonymIndex::Chain& SynonymIndex::ChainOf(char letter, const std::string& hash) {
    std::unique_ptr<Chain>& chain = chains_[std::string(1, letter) + hash];
    if (!chain) {
        chain = std::make_unique<Chain>();
        chain->Build(letter, hash);
    }
    return *chain;
}

uint32_t SynonymIndex::Lookup(std::string_view name, uint32_t fdwOptions, QVAPI_NODE& record) {
    const std::string hash = LastHashComponent(name);
    if (fdwOptions != kFindClients && fdwOptions != kFindMasters) return LookupDefinition(name, fdwOptions, record);
    if (name.empty() || name == "\\" || hash.empty()) return LookupDefinition(name, fdwOptions, record);
    const std::string plain(LastNameComponent(name));
    const uint32_t kind = qvAPIGetNodeNameType(plain.c_str(), 0, 0, 0);
    if (kind == 0) {  // refused as the lookup refuses it, without asking the kind again
        std::memset(&record, 0, sizeof record);
        qvpDllLog(text::kKindNotFound, kLookupName, plain.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const Chain& chain = ChainOf(fdwOptions == kFindClients ? 'C' : 'M', hash);
    if (!chain.usable) return LookupDefinition(name, fdwOptions, record);
    const bool byHostId = IsHostIdKind(kind);
    const auto& map = byHostId ? chain.byHostId : chain.byName;
    if (const auto it = map.find(Folded(plain)); it != map.end()) {
        for (uint32_t position : it->second) {
            if (!Matches(chain.records[position], plain, byHostId)) continue;
            record = chain.records[position];
            return 0;
        }
    }
    if (!chain.walkEmpty) qvpDllLog(text::kFindNext, kLookupName, static_cast<int>(win::ERROR_NO_MORE_FILES));
    std::memset(&record, 0, sizeof record);
    return QVAPI_ERR_NOT_FOUND;
}

}  // namespace qvp::nodes
