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
    char letter;
    std::string hash;
    bool chainRead = false;  // the chain read whole (else the lookup is asked each time)
    bool walked = false;     // the walk has been tried
    bool walkRead = false;   // ... and read whole
    bool walkEmpty = false;  // the walk found no file of the hash at all
    std::unordered_set<std::string> inChain;
    std::vector<QVAPI_NODE> records;  // the chain's, then the walk's
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
    // Appends the file's record to `read`; false when it could not be read for another reason
    // than being absent.
    static bool Read(const std::string& path, std::vector<QVAPI_NODE>& read, bool& absent) {
        QVAPI_NODE record;
        win::DWORD error = 0;
        bool readFailed = false;
        absent = false;
        if (ReadRecordFile(path, record, error, readFailed)) {
            read.push_back(record);
            return true;
        }
        absent = !readFailed && (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND);
        return absent;
    }
    // C.<hash>, C.<hash>S1 ... up to the first gap: where the writers put every name.
    void ReadChain() {
        const std::string dir = NodeDefDir();
        std::vector<QVAPI_NODE> read;
        for (int slot = 0; slot <= kMaxSynonymSlot; ++slot) {
            std::string fileName = std::string(1, letter) + "." + hash;
            if (slot != 0) fileName += "S" + std::to_string(slot);
            bool absent = false;
            if (!Read(dir + "\\" + fileName, read, absent)) return;
            if (absent) break;
            inChain.insert(std::move(fileName));
        }
        for (const QVAPI_NODE& record : read) Add(record);
        chainRead = true;
    }
    // Beyond a gap or under another spelling: what the directory walk lists and the chain did
    // not hold. A walk reads the whole directory, so it is made only for a name the chain lacks.
    void ReadWalk() {
        walked = true;
        const std::string dir = NodeDefDir();
        std::vector<SynonymFile> files;
        win::DWORD walkError = 0;
        bool firstFailed = false;
        const uint32_t code = ListSynonyms(dir, letter, hash, files, walkError, firstFailed);
        if (code == QVAPI_ERR_NOT_FOUND) walkEmpty = true;
        else if (code != 0) return;
        std::vector<QVAPI_NODE> read;
        for (const SynonymFile& file : files) {
            if (file.slot < 0 || inChain.count(file.fileName) != 0) continue;
            bool absent = false;
            if (!Read(dir + "\\" + file.fileName, read, absent)) return;
        }
        for (const QVAPI_NODE& record : read) Add(record);
        walkRead = true;
    }
    // The first record in examination order that answers `plain`, or nullptr.
    const QVAPI_NODE* Find(std::string_view plain, bool hostIdLookup) const {
        const auto& map = hostIdLookup ? byHostId : byName;
        const auto it = map.find(Folded(plain));
        if (it == map.end()) return nullptr;
        for (uint32_t position : it->second)
            if (Matches(records[position], plain, hostIdLookup)) return &records[position];
        return nullptr;
    }
};

SynonymIndex::SynonymIndex() = default;
SynonymIndex::~SynonymIndex() = default;

SynonymIndex::Chain& SynonymIndex::ChainOf(char letter, const std::string& hash) {
    std::unique_ptr<Chain>& chain = chains_[std::string(1, letter) + hash];
    if (!chain) {
        chain = std::make_unique<Chain>();
        chain->letter = letter;
        chain->hash = hash;
        chain->ReadChain();
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
    Chain& chain = ChainOf(fdwOptions == kFindClients ? 'C' : 'M', hash);
    if (!chain.chainRead) return LookupDefinition(name, fdwOptions, record);
    const bool byHostId = IsHostIdKind(kind);
    const QVAPI_NODE* found = chain.Find(plain, byHostId);
    if (found == nullptr && !chain.walked) {
        chain.ReadWalk();
        if (chain.walkRead) found = chain.Find(plain, byHostId);
    }
    if (found == nullptr && !chain.walkRead) return LookupDefinition(name, fdwOptions, record);
    if (found != nullptr) {
        record = *found;
        return 0;
    }
    if (!chain.walkEmpty) qvpDllLog(text::kFindNext, kLookupName, static_cast<int>(win::ERROR_NO_MORE_FILES));
    std::memset(&record, 0, sizeof record);
    return QVAPI_ERR_NOT_FOUND;
}

}  // namespace qvp::nodes
