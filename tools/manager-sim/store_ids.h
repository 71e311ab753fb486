// The manager's ID store: each ID's 256-byte record keyed by its name, and its masters (list M)
// and clients (lists C and I), each entry keyed "<ID>.<node>". A connection holds one position
// per list letter from its first IDGET on that letter until IDRLS of the letter. As a
// simulator choice the local folder NODEGROUP/I.<name> is made when an ID is created and
// removed when the whole ID is deleted.
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

class IdStore {
public:
    explicit IdStore(ManagerSim& sim);

    // ---- control API
    // An ID with its record (length 256, generation, attributes, name, encoded password) and
    // its local folder.
    void AddId(std::string_view name, uint8_t generation, uint8_t attributes = 0,
               std::string_view encodedPassword = {});
    // An entry of list 'M', 'C' or 'I' (dwAttributes 0, 1, 2 by the list).
    void AddEntry(char list, std::string_view id, std::string_view node, std::string_view manageSite = {},
                  uint8_t attributes = 0);
    std::optional<std::string> IdRecord(const std::string& name) const;
    std::optional<std::string> Entry(char list, const std::string& key) const;
    std::vector<std::string> Keys(char list) const;  // ' ' gives the ID names
    // The letters that hold a position on the connection (0: any connection), in order.
    std::string OpenLetters(int connection = 0) const;

private:
    struct Position {
        std::string prefix;  // keys it walks
        bool exact = false;  // opened by key: nothing follows
        std::string last;
    };
    using List = std::map<std::string, std::string>;

    std::string Get(Call& call);
    std::string Update(Call& call);
    std::string Delete(Call& call);
    std::string Release(Call& call);
    std::string Execute(Call& call);
    std::string Change(Call& call);
    List* ListOf(char letter);
    void MakeFolder(const std::string& name) const;
    void RemoveFolder(const std::string& name) const;

    ManagerSim& sim_;
    mutable std::mutex mutex_;
    List ids_;                           // by ID name
    std::map<char, List> lists_;         // 'M', 'C', 'I'
    std::map<int, std::map<char, Position>> positions_;  // by connection
};

}  // namespace qvpsim
