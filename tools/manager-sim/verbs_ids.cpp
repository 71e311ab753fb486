// Verbs of the ID store (IDGET, IDUPD, IDDEL, IDRLS, IDEXC, IDCHG).
#include <cstring>
#include <filesystem>

#include "manager-sim/sim.h"
#include "manager-sim/store_ids.h"
#include "qvpapi.h"

namespace qvpsim {

namespace {

constexpr const char* kOk = "0 0";
constexpr const char* kNoMore = "0 160";
constexpr const char* kUnknown = "16 16";
constexpr size_t kNodeNameOffset = 48;
constexpr size_t kNodeNameSize = 64;

// A lower-case 'i' names list I as well.
char Letter(std::string_view field) {
    if (field.empty()) return '\0';
    return field[0] == 'i' ? 'I' : field[0];
}
char Kind(std::string_view field) { return field.size() > 1 ? field[1] : '\0'; }

// The ID part of an entry key: up to its first ".".
std::string_view IdOf(std::string_view key) { return key.substr(0, key.find('.')); }
bool IsEntryKey(std::string_view key) { return key.find('.') != std::string_view::npos; }

void PutText(std::string& record, size_t offset, size_t width, std::string_view text) {
    std::memset(record.data() + offset, 0, width);
    if (!text.empty()) std::memcpy(record.data() + offset, text.data(), std::min(width, text.size()));
}

}  // namespace

void ManagerSim::InstallIdVerbs() { ids_ = std::make_shared<IdStore>(*this); }

IdStore::IdStore(ManagerSim& sim) : sim_(sim) {
    sim.Handle("IDGET", [this](Call& call) { return Get(call); });
    sim.Handle("IDUPD", [this](Call& call) { return Update(call); });
    sim.Handle("IDDEL", [this](Call& call) { return Delete(call); });
    sim.Handle("IDRLS", [this](Call& call) { return Release(call); });
    sim.Handle("IDEXC", [this](Call& call) { return Execute(call); });
    sim.Handle("IDCHG", [this](Call& call) { return Change(call); });
}

void IdStore::AddId(std::string_view name, uint8_t generation, uint8_t attributes, std::string_view encodedPassword) {
    std::string record(QVAPI_IDRECORD_SIZE, '\0');
    record[0] = static_cast<char>(QVAPI_IDRECORD_SIZE & 0xFF);
    record[1] = static_cast<char>(QVAPI_IDRECORD_SIZE >> 8);
    record[offsetof(QVAPI_IDGROUP, ucGeneration)] = static_cast<char>(generation);
    record[offsetof(QVAPI_IDGROUP, ucAttributes)] = static_cast<char>(attributes);
    PutText(record, offsetof(QVAPI_IDGROUP, szID), 32, name);
    PutText(record, offsetof(QVAPI_IDGROUP, szPassword), 31, encodedPassword);
    std::lock_guard lock(mutex_);
    ids_[std::string(name)] = record;
    MakeFolder(std::string(name));
}

void IdStore::AddEntry(char list, std::string_view id, std::string_view node, std::string_view manageSite,
                       uint8_t attributes) {
    std::string record(QVAPI_IDRECORD_SIZE, '\0');
    record[0] = static_cast<char>(QVAPI_IDRECORD_SIZE & 0xFF);
    record[1] = static_cast<char>(QVAPI_IDRECORD_SIZE >> 8);
    record[offsetof(QVAPI_IDENTRY, ucAttributes)] = static_cast<char>(attributes);
    record[offsetof(QVAPI_IDENTRY, dwAttributes)] = static_cast<char>(list == 'C' ? 1 : list == 'I' ? 2 : 0);
    if (list == 'M') PutText(record, offsetof(QVAPI_IDENTRY, szID), 32, id);
    PutText(record, kNodeNameOffset, kNodeNameSize, node);
    PutText(record, offsetof(QVAPI_IDENTRY, szManageSite), 64, manageSite);
    std::lock_guard lock(mutex_);
    lists_[list][std::string(id) + "." + std::string(node)] = record;
}

std::optional<std::string> IdStore::IdRecord(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = ids_.find(name);
    if (it == ids_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> IdStore::Entry(char list, const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto l = lists_.find(list);
    if (l == lists_.end()) return std::nullopt;
    auto it = l->second.find(key);
    if (it == l->second.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> IdStore::Keys(char list) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> keys;
    const List* l = &ids_;
    if (list != ' ') {
        auto it = lists_.find(list);
        if (it == lists_.end()) return keys;
        l = &it->second;
    }
    for (const auto& [key, record] : *l) keys.push_back(key);
    return keys;
}

std::string IdStore::OpenLetters(int connection) const {
    std::lock_guard lock(mutex_);
    std::string letters;
    for (const auto& [id, held] : positions_) {
        if (connection != 0 && id != connection) continue;
        for (const auto& [letter, position] : held)
            if (letters.find(letter) == std::string::npos) letters += letter;
    }
    return letters;
}

IdStore::List* IdStore::ListOf(char letter) {
    if (letter != 'M' && letter != 'C' && letter != 'I') return nullptr;
    return &lists_[letter];
}

void IdStore::MakeFolder(const std::string& name) const {
    if (sim_.root().empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(sim_.root() + "/SERVER/ZARNQV/MNGFL/NODEGROUP/I." + name, ignored);
}

void IdStore::RemoveFolder(const std::string& name) const {
    if (sim_.root().empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(sim_.root() + "/SERVER/ZARNQV/MNGFL/NODEGROUP/I." + name, ignored);
}

std::string IdStore::Get(Call& call) {
    std::lock_guard lock(mutex_);
    const char letter = Letter(call.request.Value(0));
    const char kind = Kind(call.request.Value(0));
    const std::string key(call.request.Value(1));
    Position& position = positions_[call.connection.id()][letter];
    if (kind == 'K') {
        position = Position{key, true, key};
        const bool whole = letter == ' ' || (letter == 'I' && !IsEntryKey(key));
        const List* list = whole ? &ids_ : ListOf(letter);
        if (list == nullptr || list->count(key) == 0) return kUnknown;
        return RecordReply(list->at(key), key);
    }
    List* list = ListOf(letter);
    if (list == nullptr) return kUnknown;
    if (kind == 'P') {
        // By "key begins with": "<ID>." keeps the members of "sales2" out of the walk of "sales".
        position = Position{key + ".", false, {}};
    } else if (kind != 'N' || position.prefix.empty()) {
        return kUnknown;
    }
    if (position.exact) return kNoMore;
    auto it = position.last.empty() ? list->lower_bound(position.prefix) : list->upper_bound(position.last);
    if (it == list->end() || it->first.compare(0, position.prefix.size(), position.prefix) != 0) return kNoMore;
    position.last = it->first;
    return RecordReply(it->second, it->first);
}

std::string IdStore::Update(Call& call) {
    std::lock_guard lock(mutex_);
    const char letter = Letter(call.request.Value(0));
    const std::string key(call.request.Value(1));
    const std::string record(call.request.Value(2));
    if (key.empty() || record.size() != QVAPI_IDRECORD_SIZE) return kUnknown;
    if (letter == ' ' || (letter == 'I' && !IsEntryKey(key))) {
        const bool created = ids_.count(key) == 0;
        ids_[key] = record;
        if (created && letter == ' ') MakeFolder(key);
        return kOk;
    }
    List* list = ListOf(letter);
    if (list == nullptr || ids_.count(std::string(IdOf(key))) == 0) return kUnknown;
    (*list)[key] = record;
    return kOk;
}

std::string IdStore::Delete(Call& call) {
    std::lock_guard lock(mutex_);
    const char letter = Letter(call.request.Value(0));
    const std::string key(call.request.Value(1));
    if (letter == ' ' || (letter == 'I' && !IsEntryKey(key))) {
        if (ids_.erase(key) == 0) return kUnknown;
        const std::string prefix = key + ".";
        for (auto& [l, list] : lists_) {
            for (auto it = list.lower_bound(prefix); it != list.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
                it = list.erase(it);
        }
        RemoveFolder(key);
        return kOk;
    }
    List* list = ListOf(letter);
    if (list == nullptr || list->erase(key) == 0) return kUnknown;
    return kOk;
}

std::string IdStore::Release(Call& call) {
    std::lock_guard lock(mutex_);
    auto held = positions_.find(call.connection.id());
    if (held != positions_.end()) {
        held->second.erase(Letter(call.request.Value(0)));
        if (held->second.empty()) positions_.erase(held);
    }
    return kOk;
}

std::string IdStore::Execute(Call& call) {
    std::lock_guard lock(mutex_);
    const List* list = ListOf(Letter(call.request.Value(0)));
    const std::string key(call.request.Value(1));
    return list != nullptr && list->count(key) != 0 ? kOk : kUnknown;
}

std::string IdStore::Change(Call& call) {
    std::lock_guard lock(mutex_);
    const std::string_view number = call.request.Value(0);
    const char letter = number == "3" ? 'M' : number == "2" ? 'I' : 'C';
    const std::string old(call.request.Value(1));
    const std::string renamed(call.request.Value(2));
    List& list = lists_[letter];
    // Every ID's entry of that name; nothing matched is no failure.
    for (auto it = list.begin(); it != list.end();) {
        const std::string id(IdOf(it->first));
        if (it->first.size() == id.size() + 1 + old.size() && it->first.compare(id.size() + 1, old.size(), old) == 0) {
            std::string record = it->second;
            PutText(record, kNodeNameOffset, kNodeNameSize, renamed);
            it = list.erase(it);
            list[id + "." + renamed] = record;
        } else {
            ++it;
        }
    }
    return kOk;
}

}  // namespace qvpsim
