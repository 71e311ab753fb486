#include "manager-sim/store_inventory.h"

#include "platform/byte_order.h"

namespace qvpsim {

namespace {

constexpr const char* kOk = "0 0";
constexpr const char* kNone = "16 0";
constexpr size_t kCountOffset = 72;
constexpr size_t kEntriesOffset = 80;
constexpr size_t kEntryHead = 4;

// The record's entries as they stand, each head and data; stops at one that runs past the end.
std::vector<std::string_view> Entries(const std::string& record) {
    std::vector<std::string_view> entries;
    if (record.size() < kEntriesOffset) return entries;
    const uint32_t count = qvp::be32(record.data() + kCountOffset);
    size_t pos = kEntriesOffset;
    for (uint32_t i = 0; i < count && record.size() - pos >= kEntryHead; ++i) {
        const size_t length = qvp::be16(record.data() + pos + 2);
        if (record.size() - pos - kEntryHead < length) break;
        entries.push_back(std::string_view(record).substr(pos, kEntryHead + length));
        pos += kEntryHead + length;
    }
    return entries;
}

std::string ItemReply(std::string_view item) {
    std::string reply("0 0 1 i");
    reply += std::to_string(item.size());
    reply += ' ';
    reply.append(item);
    return reply;
}

// "IGET <word> K<len> <node><rest>": the word, the node and what follows it.
bool ParseIget(const std::string& payload, std::string& word, std::string& node, std::string& rest) {
    const size_t wordEnd = payload.find(' ', 5);
    if (payload.compare(0, 5, "IGET ") != 0 || wordEnd == std::string::npos) return false;
    word = payload.substr(5, wordEnd - 5);
    size_t pos = wordEnd + 1;
    if (pos >= payload.size() || payload[pos] != 'K') return false;
    size_t length = 0;
    for (++pos; pos < payload.size() && payload[pos] >= '0' && payload[pos] <= '9'; ++pos)
        length = length * 10 + static_cast<size_t>(payload[pos] - '0');
    if (pos >= payload.size() || payload[pos] != ' ' || payload.size() - pos - 1 < length) return false;
    node = payload.substr(pos + 1, length);
    rest = payload.substr(pos + 1 + length);
    return true;
}

}  // namespace

InventoryStore::InventoryStore(ManagerSim& sim) {
    sim.Handle("IGET", [this](Call& call) { return Iget(call); });
    sim.Handle("IDEL", [this](Call& call) { return Idel(call); });
    sim.Handle("IUPD", [this](Call& call) { return Iupd(call); });
}

void InventoryStore::Set(std::string_view node, std::string_view record) {
    std::lock_guard lock(mutex_);
    records_[std::string(node)] = std::string(record);
}

std::optional<std::string> InventoryStore::Get(const std::string& node) const {
    std::lock_guard lock(mutex_);
    auto it = records_.find(node);
    if (it == records_.end()) return std::nullopt;
    return it->second;
}

std::string InventoryStore::Record(const std::vector<Entry>& entries) {
    std::string record(kEntriesOffset, '\0');
    qvp::putBe32(record.data() + kCountOffset, static_cast<uint32_t>(entries.size()));
    for (const Entry& e : entries) {
        char head[kEntryHead] = {static_cast<char>(e.type), static_cast<char>(e.subtype)};
        qvp::putBe16(head + 2, static_cast<uint16_t>(e.data.size()));
        record.append(head, sizeof head);
        record += e.data;
    }
    return record;
}

std::string InventoryStore::Iget(Call& call) {
    std::string word, node, rest;
    if (!ParseIget(call.request.payload, word, node, rest)) return kReplyUnknownVerb;
    std::lock_guard lock(mutex_);
    auto record = records_.find(node);
    if (word == "FIELD") return record == records_.end() ? kNone : ItemReply(record->second);
    if (record == records_.end()) return kNone;
    const std::vector<std::string_view> entries = Entries(record->second);
    if (rest.size() == 8 && rest.compare(0, 3, " S ") == 0 && rest.compare(4, 3, " P ") == 0) {
        for (std::string_view e : entries)
            if (e[0] == rest[3] && e[1] == rest[7]) return ItemReply(e);
        return kNone;
    }
    const int connection = call.connection.id();
    if (rest == " F") {
        positions_[connection] = Position{node, 0};
        return kOk;
    }
    auto position = positions_.find(connection);
    if (position == positions_.end() || position->second.node != node) return kNone;
    if (rest == " E") {
        positions_.erase(position);
        return kOk;
    }
    if (rest != " N") return kReplyUnknownVerb;
    if (position->second.next >= entries.size()) return kNone;
    return ItemReply(entries[position->second.next++]);
}

std::string InventoryStore::Idel(Call& call) {
    std::lock_guard lock(mutex_);
    return records_.erase(std::string(call.request.Value(0))) > 0 ? kOk : kNone;
}

std::string InventoryStore::Iupd(Call& call) {
    std::lock_guard lock(mutex_);
    auto it = records_.find(std::string(call.request.Value(0)));
    if (it == records_.end()) return kNone;
    std::string record = std::move(it->second);
    records_.erase(it);
    records_[std::string(call.request.Value(1))] = std::move(record);
    return kOk;
}

}  // namespace qvpsim
