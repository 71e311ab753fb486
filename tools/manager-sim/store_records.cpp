#include "manager-sim/store_records.h"

#include "manager-sim/store_inventory.h"
#include "manager-sim/store_jobs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/win.h"

namespace qvpsim {

namespace {

constexpr const char* kNoMore = "0 160";
constexpr const char* kNoRecord = "16 16";
constexpr const char* kMissing = "16 21";
constexpr const char* kExists = "16 199";
constexpr size_t kNodeWidth = 64;
constexpr size_t kJobNumberWidth = 16;

int KindIndex(char kind) {
    switch (kind) {
        case 'M': return 0;
        case 'A': return 1;
        case 'E': return 2;
        case 'S': return 3;
        default: return -1;
    }
}

void Put16(std::string& bytes, size_t offset, uint16_t value) { qvp::putBe16(&bytes[offset], value); }

bool MatchPattern(std::string_view pattern, std::string_view key) {
    if (pattern.size() != key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (pattern[i] != '?' && pattern[i] != key[i]) return false;
    return true;
}

std::string Padded(std::string_view text, size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

std::string Trimmed(const char* field, size_t width) {
    size_t n = 0;
    while (n < width && field[n] != '\0') ++n;
    while (n > 0 && field[n - 1] == ' ') --n;
    return std::string(field, n);
}

void MakeDirectories(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') win::CreateDirectory(path.substr(0, pos).c_str(), nullptr);
    }
}

}  // namespace

RecordStore::RecordStore(ManagerSim& sim) : sim_(sim) {
    sim.Handle("FGET", [this](Call& call) { return Fget(call); });
    sim.Handle("FUPD", [this](Call& call) { return Fupd(call); });
    sim.Handle("FDEL", [this](Call& call) { return Fdel(call); });
    sim.Handle("FRLS", [](Call& call) {
        std::string_view kind = call.request.Value(0);
        if (!kind.empty()) call.connection.State<std::map<char, Cursor>>("records.cursors").erase(kind[0]);
        return std::string(kReplyOk);
    });
    sim.Handle("GPUT", [this](Call& call) { return Cabinet(call, true); });
    sim.Handle("GUPD", [this](Call& call) { return Cabinet(call, false); });
    sim.Handle("GDEL", [this](Call& call) { return CabinetDelete(call); });
    sim.Handle("HDEL", [this](Call&) {
        std::lock_guard lock(mutex_);
        stores_[0].clear();
        stores_[1].clear();
        return std::string(kReplyOk);
    });
    sim.Handle("RDEL", [this](Call& call) { return Rdel(call); });
    sim.Handle("JPUT", [this](Call&) { return JobNumberReply(); });
    sim.Handle("JSCH", [this](Call&) { return JobNumberReply(); });
    sim.Handle("JEXC", [](Call&) { return std::string(kReplyOk); });
    sim.Handle("JDEL", [](Call&) { return std::string(kReplyOk); });
    InstallPackageStoreVerbs(sim, *this);
}

// Callers have checked the kind letter.
std::map<std::string, std::string>& RecordStore::Store(char kind) {
    const int index = KindIndex(kind);
    return stores_[index < 0 ? 0 : index];
}

std::string RecordStore::StatusKey(std::string_view node, std::string_view record) {
    std::string key = Padded(node, kNodeWidth);
    if (record.size() < QVAPI_INSPACKAGE_SIZE) return key;
    QVAPI_INSPACKAGE r;
    std::memcpy(&r, record.data(), sizeof r);
    key.append(&r.cQvCode, 1);
    key.append(r.szCabinetId, 2);
    key.append(r.szPackageId, 44);
    key.append(r.szVersion, 8);
    key.append(r.szGeneration, 4);
    return key;
}

std::string RecordStore::PackageKey(const QVAPI_PACKAGE& record) {
    return std::string(&record.cQvCode, QVAPI_PACKAGE_KEY_SIZE);
}

std::string RecordStore::MngflPath(std::string_view area) const {
    std::string path = sim_.root() + "/SERVER/ZARNQV/MNGFL/";
    path.append(area);
    return path;
}

void RecordStore::WriteFile(const std::string& directory, const std::string& name, std::string_view bytes) {
    MakeDirectories(directory);
    const std::string path = directory + "/" + name;
    win::HANDLE file = win::CreateFile(path.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                       win::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == win::INVALID_HANDLE_VALUE) return;
    win::DWORD written = 0;
    win::WriteFile(file, bytes.data(), static_cast<win::DWORD>(bytes.size()), &written, nullptr);
    win::CloseHandle(file);
}

void RecordStore::AddCabinet(char qvCode, std::string_view id, std::string_view name) {
    std::string record(QVAPI_CABINET_SIZE, '\0');
    Put16(record, 0, QVAPI_CABINET_SIZE);
    record[8] = qvCode;
    std::memcpy(record.data() + 9, Padded(id, 2).data(), 2);
    std::memcpy(record.data() + 28, name.data(), std::min<size_t>(name.size(), 32));
    std::string header(QVAPI_PACKAGE_SIZE, '\0');
    Put16(header, 0, QVAPI_PACKAGE_SIZE);
    const std::string headerKey = std::string(1, qvCode) + Padded(id, 2) + std::string(56, ' ');
    std::memcpy(header.data() + 8, headerKey.data(), headerKey.size());
    std::lock_guard lock(mutex_);
    stores_[0][std::string(1, qvCode) + "." + std::string(id)] = record;
    stores_[1][headerKey] = header;
}

void RecordStore::PutAttribution(const QVAPI_PACKAGE& record) {
    const std::string bytes(reinterpret_cast<const char*>(&record), sizeof record);
    {
        std::lock_guard lock(mutex_);
        stores_[1][PackageKey(record)] = bytes;
    }
    std::string version = Trimmed(record.szVersion, 8);
    for (char& c : version)
        if (c == '/') c = '#';
    const std::string fileName = std::string(1, record.cQvCode) + "." + Trimmed(record.szCabinetId, 2) + "." +
                                 Trimmed(record.szPackageId, 44) + "." + version + "." +
                                 Trimmed(record.szGeneration, 4);
    WriteFile(MngflPath("ATTRIBUTION"), fileName, bytes);
}

std::string RecordStore::ResourceFolder() const { return sim_.root() + "/SERVER/ZARNQV/RESOURCE"; }

bool RecordStore::CopyResource(const std::string& from, const std::string& name) {
    MakeDirectories(ResourceFolder());
    return win::CopyFile(from.c_str(), (ResourceFolder() + "/" + name).c_str(), win::FALSE) != 0;
}

void RecordStore::SetPackageList(std::string_view resourceName, std::vector<std::string> chunks) {
    std::lock_guard lock(mutex_);
    packageLists_[std::string(resourceName)] = std::move(chunks);
}

std::optional<std::vector<std::string>> RecordStore::PackageList(std::string_view resourceName) const {
    std::lock_guard lock(mutex_);
    auto it = packageLists_.find(resourceName);
    if (it == packageLists_.end()) return std::nullopt;
    return it->second;
}

void RecordStore::WriteUnderRoot(const std::string& folder, const std::string& name, std::string_view bytes) {
    WriteFile(sim_.root() + "/" + folder, name, bytes);
}

void RecordStore::AddPackage(const QVAPI_PACKAGE& record, std::string_view packageBytes,
                             std::optional<std::string_view> scriptBytes) {
    PutAttribution(record);
    const std::string resource(record.szResourceName, strnlen(record.szResourceName, 8));
    if (resource.empty()) return;
    WriteFile(ResourceFolder(), "R" + resource.substr(1), packageBytes);
    if (scriptBytes) WriteFile(ResourceFolder(), "Q" + resource.substr(1), *scriptBytes);
}

void RecordStore::AddStatus(std::string_view node, std::string_view record) {
    std::lock_guard lock(mutex_);
    stores_[3][StatusKey(node, record)] = std::string(record);
}

void RecordStore::AddExecution(std::string_view node, std::string_view jobNumber, std::string_view record) {
    std::lock_guard lock(mutex_);
    stores_[2][std::string(node) + std::string(jobNumber)] = std::string(record);
}

void RecordStore::RemoveExecutions(std::string_view jobNumber) {
    std::lock_guard lock(mutex_);
    std::erase_if(stores_[2], [&](const auto& entry) {
        const std::string& key = entry.first;
        return key.size() >= jobNumber.size() && key.compare(key.size() - jobNumber.size(), jobNumber.size(), jobNumber) == 0;
    });
}

void RecordStore::SetInventory(std::string_view node, std::string_view record) {
    sim_.Inventory().Set(node, record);
}

void RecordStore::SetNextJobNumber(std::string_view number) {
    std::lock_guard lock(mutex_);
    nextJobNumber_ = std::string(number);
}

std::vector<std::string> RecordStore::Keys(char kind) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> keys;
    const int index = KindIndex(kind);
    if (index < 0) return keys;
    for (const auto& [key, record] : stores_[index]) keys.push_back(key);
    return keys;
}

std::optional<std::string> RecordStore::Record(char kind, const std::string& key) const {
    std::lock_guard lock(mutex_);
    const int index = KindIndex(kind);
    if (index < 0) return std::nullopt;
    auto it = stores_[index].find(key);
    if (it == stores_[index].end()) return std::nullopt;
    return it->second;
}

bool RecordStore::Matches(const Cursor& cursor, const std::string& key) const {
    if (!cursor.below) return key.compare(0, cursor.prefix.size(), cursor.prefix) == 0;
    if (key.size() <= kJobNumberWidth) return false;
    const std::string name = key.substr(0, key.size() - kJobNumberWidth);
    if (key.compare(key.size() - kJobNumberWidth, kJobNumberWidth, cursor.number) != 0) return false;
    // "*" alone (an entry without a path) reaches every name of the number.
    if (cursor.path.empty()) return true;
    return name == cursor.path ||
           (name.size() > cursor.path.size() && name.compare(0, cursor.path.size(), cursor.path) == 0 &&
            name[cursor.path.size()] == '.');
}

std::string RecordStore::NextReply(std::map<std::string, std::string>& store, Cursor& cursor, bool positioning) {
    if (cursor.below) {
        // The entry, then the names below it, in name order (the job number is the same for all).
        std::string bestKey;
        for (const auto& [key, record] : store) {
            if (!Matches(cursor, key)) continue;
            const std::string name = key.substr(0, key.size() - kJobNumberWidth);
            if (cursor.started && name <= cursor.last) continue;
            if (bestKey.empty() || name < bestKey.substr(0, bestKey.size() - kJobNumberWidth)) bestKey = key;
        }
        if (bestKey.empty()) return positioning ? kNoRecord : kNoMore;
        cursor.last = bestKey.substr(0, bestKey.size() - kJobNumberWidth);
        cursor.started = true;
        return RecordReply(store[bestKey], bestKey);
    }
    auto it = cursor.started ? store.upper_bound(cursor.last) : store.lower_bound(cursor.prefix);
    if (it != store.end() && Matches(cursor, it->first)) {
        cursor.last = it->first;
        cursor.started = true;
        return RecordReply(it->second, it->first);
    }
    return positioning ? kNoRecord : kNoMore;  // keys of a prefix are contiguous
}

std::string RecordStore::Fget(Call& call) {
    const std::string_view f = call.request.Value(0);
    if (f.size() < 2 || KindIndex(f[0]) < 0) return kReplyUnknownVerb;
    auto& cursors = call.connection.State<std::map<char, Cursor>>("records.cursors");
    std::lock_guard lock(mutex_);
    auto& store = Store(f[0]);
    const std::string_view op = f.substr(1);
    if (op == "N") {
        auto it = cursors.find(f[0]);
        if (it == cursors.end()) return kNoMore;
        return NextReply(store, it->second, false);
    }
    Cursor cursor;
    if (op == "KP") {
        const std::string key = f[0] == 'E' ? ExecutionKey(call.request.Value(1)) : std::string(call.request.Value(1));
        cursor.prefix = key;
        if (f[0] == 'E' && key.size() > kJobNumberWidth) {
            const std::string name = key.substr(0, key.size() - kJobNumberWidth);
            if (name == "*" || (name.size() > 2 && name.compare(name.size() - 2, 2, ".*") == 0)) {
                cursor.below = true;
                cursor.path = name.substr(0, name.size() - std::min<size_t>(name.size(), 2));
                cursor.number = key.substr(key.size() - kJobNumberWidth);
            }
        }
    } else if (op != "T") {
        return kReplyUnknownVerb;
    }
    Cursor& placed = cursors[f[0]] = cursor;
    return NextReply(store, placed, true);
}

std::string RecordStore::Fupd(Call& call) {
    const std::string_view f = call.request.Value(0);
    if (f.empty() || KindIndex(f[0]) < 0 || call.request.fields.size() < 3) return kReplyUnknownVerb;
    std::lock_guard lock(mutex_);
    if (f[0] == 'E') {
        // Executions are only ever changed: the manager creates them itself.
        auto it = stores_[2].find(ExecutionKey(call.request.Value(1)));
        if (it == stores_[2].end()) return kNoRecord;
        it->second = std::string(call.request.Value(2));
        return kReplyOk;
    }
    Store(f[0])[std::string(call.request.Value(1))] = std::string(call.request.Value(2));
    return kReplyOk;
}

std::string RecordStore::Fdel(Call& call) {
    const std::string_view pattern = call.request.Value(1);
    std::lock_guard lock(mutex_);
    auto& store = stores_[3];
    size_t deleted = 0;
    for (auto it = store.begin(); it != store.end();) {
        if (MatchPattern(pattern, it->first)) {
            it = store.erase(it);
            ++deleted;
        } else {
            ++it;
        }
    }
    return deleted > 0 ? kReplyOk : kNoRecord;
}

std::string RecordStore::Cabinet(Call& call, bool create) {
    const std::string key(call.request.Value(0));
    const std::string_view name = call.request.Value(1);
    if (key.size() != 4 || key[1] != '.') return kMissing;
    {
        std::lock_guard lock(mutex_);
        auto it = stores_[0].find(key);
        if (create && it != stores_[0].end()) return kExists;
        if (!create) {
            if (it == stores_[0].end()) return kMissing;
            std::memset(it->second.data() + 28, 0, 32);
            std::memcpy(it->second.data() + 28, name.data(), std::min<size_t>(name.size(), 32));
            return kReplyOk;
        }
    }
    AddCabinet(key[0], key.substr(2), name);
    return kReplyOk;
}

std::string RecordStore::CabinetDelete(Call& call) {
    const std::string key(call.request.Value(0));
    std::lock_guard lock(mutex_);
    if (stores_[0].erase(key) == 0) return kMissing;
    const std::string prefix = key.size() == 4 ? key.substr(0, 1) + key.substr(2) : key;
    auto& attributes = stores_[1];
    for (auto it = attributes.lower_bound(prefix); it != attributes.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
        it = attributes.erase(it);
    return kReplyOk;
}

std::string RecordStore::Rdel(Call& call) {
    std::lock_guard lock(mutex_);
    return stores_[1].erase(std::string(call.request.Value(0))) > 0 ? kReplyOk : kMissing;
}

std::string RecordStore::JobNumberReply() {
    std::lock_guard lock(mutex_);
    std::string number = nextJobNumber_;
    if (number.empty()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "J%015u", ++jobCounter_);
        number = buffer;
    }
    return "0 0 1 n" + std::to_string(number.size()) + " " + number;
}

}  // namespace qvpsim
