// MatchTables: the runs of NUL-terminated names that an archive's fields refer to by index.
// The writer collects each entry's new names in a pending table and keeps one numbering over
// the whole archive; the reader fills its name slots from every table in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ar {

// Indices are u16 and 0 means "none": an archive holds at most this many names.
constexpr uint32_t kMaxNames = 0xFFFF;

class PendingTable {
public:
    // Appends a name; its index (1-based over the whole archive), or 0 when the archive already
    // holds kMaxNames names.
    uint16_t add(std::string_view name);
    // The bytes added since the last clear.
    const std::string& bytes() const { return bytes_; }
    void clear() { bytes_.clear(); }
    uint16_t count() const { return static_cast<uint16_t>(count_); }
    uint16_t longest() const { return static_cast<uint16_t>(longest_); }

private:
    std::string bytes_;
    uint32_t count_ = 0;
    uint32_t longest_ = 0;
};

// "root", "sys" and short names are stored once and referred to again by their first index.
class DupList {
public:
    // 0 when absent; names longer than 30 characters are never found.
    uint16_t find(std::string_view name) const;
    void add(std::string_view name, uint16_t index);

private:
    std::vector<std::pair<std::string, uint16_t>> slots_;
};

// The reader's name slots: sized by the header's announced count and longest name, and never
// filled past them.
class NameSlots {
public:
    NameSlots(uint16_t announcedCount, uint16_t announcedLongest)
        : maxCount_(announcedCount), maxLength_(announcedLongest) {}
    // Splits a table into names and appends them; false (nothing appended past the limits) when
    // the table brings more names than announced, a longer name, or an unterminated name.
    bool append(const uint8_t* table, size_t length);
    // Name n (1-based); nullptr for 0 or an index past the names read.
    const std::string* get(uint32_t index) const;
    size_t size() const { return names_.size(); }

private:
    uint32_t maxCount_;
    uint32_t maxLength_;
    std::vector<std::string> names_;
};

}  // namespace ar
