// The manager's system information (inventory) of nodes: one record per node (u32 at 0, u32
// entry count at 72, entries from 80: type, subtype, u16 length, data; integers big-endian).
// Answers "IGET FIELD" with the whole record, the walk "IGET 2 K<len> <node> F|N|E" one entry per
// "N" (the position kept per connection), "IGET 3 ... S <type> P <subtype>" with the first entry
// of that type and subtype (subtype 0 means 0), "IDEL" and "IUPD".
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "manager-sim/sim.h"

namespace qvpsim {

class InventoryStore {
public:
    struct Entry {
        uint8_t type = 0;
        uint8_t subtype = 0;
        std::string data;  // as the manager keeps it: numbers big-endian
    };
    explicit InventoryStore(ManagerSim& sim);

    void Set(std::string_view node, std::string_view record);
    std::optional<std::string> Get(const std::string& node) const;
    // A record of the entries, in order.
    static std::string Record(const std::vector<Entry>& entries);

private:
    struct Position {
        std::string node;
        size_t next = 0;
    };
    std::string Iget(Call& call);
    std::string Idel(Call& call);
    std::string Iupd(Call& call);

    mutable std::mutex mutex_;
    std::map<std::string, std::string> records_;
    std::map<int, Position> positions_;  // by connection
};

}  // namespace qvpsim
