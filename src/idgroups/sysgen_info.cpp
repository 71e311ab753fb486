// Reading the typed entries of a client's report and checking the names taken from them.
#include "idgroups/sysgen_info.h"

#include <cstdarg>
#include <cstring>

#include "core/log.h"
#include "platform/byte_order.h"

namespace qvp::ids {

namespace {
constexpr char kGetEntry[] = "ACNGetEntry";
constexpr char kDataOverflow[] = "%s : Internal error occurred.: Data overflow readsize=%d size=%d: LINE=%d ";
constexpr char kPathOverflow[] = "%s : Internal error occurred.: Path overflow size=%d: LINE=%d ";
constexpr char kIllegal[] = "ACNmbsbtype illegal code 0x%02X exists. count=%d";
constexpr char kIllegalTrail[] = "ACNmbsbtype illegal trail code 0x%02X exists. count=%d";
constexpr char kIllegalLead[] = "ACNmbsbtype illegal lead code 0x%02X exists. count=%d";
constexpr size_t kPathEntryMax = 260;
constexpr size_t kEntryHead = 4;

// One typed entry; `length` is what the record holds of it.
struct Entry {
    uint8_t type;
    std::string_view data;
};

// Walks the entries with a 32-bit count, never past the record's end.
template <class Fn>
void ForEachEntry(const SysgenView& record, Fn&& fn) {
    const uint32_t count = record.EntryCount();
    size_t at = kSysgenEntriesOffset;
    for (uint32_t i = 0; i < count; ++i) {
        if (at > record.size || record.size - at < kEntryHead) return;
        const size_t length = be16(record.data + at + 2);
        if (record.size - at - kEntryHead < length) return;
        const Entry entry{record.data[at],
                          {reinterpret_cast<const char*>(record.data + at + kEntryHead), length}};
        if (!fn(entry)) return;
        at += kEntryHead + length;
    }
}

// Splits at `sep` into at most `most` fields, the last taking the rest.
size_t Split(std::string_view text, char sep, std::string_view* fields, size_t most) {
    size_t n = 0;
    while (n + 1 < most) {
        const size_t cut = text.find(sep);
        if (cut == std::string_view::npos) break;
        fields[n++] = text.substr(0, cut);
        text.remove_prefix(cut + 1);
    }
    fields[n++] = text;
    return n;
}

bool Overflow(QVPAPI& block, size_t sum, size_t limit) {
    if (sum <= limit) return false;
    NodeLog(block, kDataOverflow, kGetEntry, static_cast<int>(sum), static_cast<int>(limit), __LINE__);
    return true;
}

bool ReadPath(QVPAPI& block, const SysgenView& record, std::string& out, size_t limit, uint8_t subType) {
    bool ok = true;
    ForEachEntry(record, [&](const Entry& e) {
        if (e.type != kSysgenPath) return true;
        if (e.data.size() > kPathEntryMax) {
            NodeLog(block, kPathOverflow, kGetEntry, static_cast<int>(e.data.size()), __LINE__);
            ok = false;
            return false;
        }
        std::string_view fields[6];
        const size_t n = Split(e.data, '!', fields, subType == kSysgenNewBase + kSysgenHostId ? 6 : 2);
        std::string_view name;
        if (subType == kSysgenNewBase + kSysgenHostId) {
            for (size_t i = 0; i < n && name.empty(); ++i)
                if (!fields[i].empty() && fields[i][0] == '#') name = fields[i];
        }
        if (name.empty()) name = block.systemManagementKey == 0 ? fields[0] : (n > 1 ? fields[1] : std::string_view{});
        // The level's "\" counts with its name: the path must still fit with its terminator.
        if (Overflow(block, out.size() + 1 + name.size(), limit)) {
            ok = false;
            return false;
        }
        out = "\\" + std::string(name) + out;
        return true;
    });
    if (!ok) out.clear();
    return ok && !out.empty();
}
}  // namespace

uint32_t SysgenView::EntryCount() const { return size >= kSysgenCountOffset + 4 ? be32(data + kSysgenCountOffset) : 0; }

size_t SysgenExtent(const uint8_t* record) {
    const uint32_t count = be32(record + kSysgenCountOffset);
    size_t at = kSysgenEntriesOffset;
    for (uint32_t i = 0; i < count; ++i) at += kEntryHead + be16(record + at + 2);
    return at;
}

void NodeLog(QVPAPI& block, const char* format, ...) {
    if (block.nodeLogId == 0) return;
    va_list args;
    va_start(args, format);
    qvpLogVPrintf(block.nodeLogId, "node", format, args);
    va_end(args);
}

bool ACNGetEntry(QVPAPI& block, const SysgenView& record, uint8_t type, std::string& out, size_t limit,
                 uint8_t subType) {
    out.clear();
    if (type == kSysgenPath) return ReadPath(block, record, out, limit, subType);
    bool found = false;
    ForEachEntry(record, [&](const Entry& e) {
        if (e.type != type) return true;
        if (Overflow(block, e.data.size(), limit)) return false;
        if (type == kSysgenNewBase + kSysgenMac || type == kSysgenOldBase + kSysgenMac) {
            for (char c : e.data)
                if (c != ' ') out.push_back(c);
        } else {
            out.assign(e.data);
        }
        found = true;
        return false;
    });
    return found;
}

int ACNmbsbtype(QVPAPI& block, std::string_view text) {
    bool afterLead = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const win::ByteClass cls = win::ClassifyByte(text, i);
        if (cls == win::ByteClass::Illegal) {
            NodeLog(block, kIllegal, c, static_cast<int>(i));
            return 0;
        }
        if (cls == win::ByteClass::Trail && !afterLead) {
            NodeLog(block, kIllegalTrail, c, static_cast<int>(i));
            return 0;
        }
        afterLead = cls == win::ByteClass::Lead;
    }
    if (afterLead) {
        NodeLog(block, kIllegalLead, static_cast<unsigned char>(text.back()), static_cast<int>(text.size() - 1));
        return 0;
    }
    return 1;
}

std::string SwapDotsAndBangs(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = c == '.' ? '!' : c == '!' ? '.' : c;
    return out;
}

char* qvpSwapDotsAndBangs(const char* source, char* target, int /*direction*/) {
    const std::string swapped = SwapDotsAndBangs(source);
    std::memcpy(target, swapped.c_str(), swapped.size() + 1);
    return target;
}

bool ParseReportTime(const uint8_t* text, win::SYSTEMTIME& out) {
    auto field = [&](size_t at, size_t width, win::WORD& value) {
        unsigned v = 0;
        for (size_t i = at; i < at + width; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            v = v * 10 + (text[i] - '0');
        }
        value = static_cast<win::WORD>(v);
        return true;
    };
    out = {};
    win::WORD hundredths = 0;
    const bool ok = field(0, 4, out.wYear) && field(4, 2, out.wMonth) && field(6, 2, out.wDay) &&
                    field(8, 2, out.wHour) && field(10, 2, out.wMinute) && field(12, 2, out.wSecond) &&
                    field(14, 2, hundredths);
    out.wMilliseconds = static_cast<win::WORD>(hundredths * 10);
    return ok;
}

int ACNGetPathType(std::string_view path) {
    bool hostId = false;
    bool other = false;
    while (!path.empty()) {
        const size_t cut = path.find('\\');
        const std::string_view level = path.substr(0, cut);
        if (!level.empty()) (level[0] == '#' ? hostId : other) = true;
        if (cut == std::string_view::npos) break;
        path.remove_prefix(cut + 1);
    }
    if (!other) return 1;
    return hostId ? 2 : 0;
}

}  // namespace qvp::ids
