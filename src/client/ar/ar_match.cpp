#include "client/ar/ar_match.h"

#include <algorithm>
#include <cstring>

namespace ar {

uint16_t PendingTable::add(std::string_view name) {
    if (count_ >= kMaxNames) return 0;
    bytes_.append(name);
    bytes_.push_back('\0');
    ++count_;
    longest_ = std::max<uint32_t>(longest_, static_cast<uint32_t>(name.size()));
    return static_cast<uint16_t>(count_);
}

namespace {
constexpr size_t kDupNameMax = 30;
}

uint16_t DupList::find(std::string_view name) const {
    if (name.size() > kDupNameMax) return 0;
    for (const auto& [stored, index] : slots_)
        if (stored == name) return index;
    return 0;
}

void DupList::add(std::string_view name, uint16_t index) { slots_.emplace_back(name, index); }

bool NameSlots::append(const uint8_t* table, size_t length) {
    size_t pos = 0;
    while (pos < length) {
        const void* nul = std::memchr(table + pos, 0, length - pos);
        if (!nul) return false;
        size_t len = static_cast<const uint8_t*>(nul) - (table + pos);
        if (names_.size() >= maxCount_ || len > maxLength_) return false;
        names_.emplace_back(reinterpret_cast<const char*>(table + pos), len);
        pos += len + 1;
    }
    return true;
}

const std::string* NameSlots::get(uint32_t index) const {
    if (index == 0 || index > names_.size()) return nullptr;
    return &names_[index - 1];
}

}  // namespace ar
