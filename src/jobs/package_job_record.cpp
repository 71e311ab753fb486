#include "jobs/package_job_record.h"

#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "nodes/name_checks.h"
#include "platform/byte_order.h"
#include "platform/win.h"

namespace qvp::jobs {

namespace {

constexpr size_t kNameField = 16;
constexpr size_t kNameFieldSize = 64;
constexpr size_t kFixedSize = QVAPI_EXECUTION_FIXED_SIZE;  // 944
constexpr size_t kItemCount = 948;
constexpr size_t kItems = 952;
constexpr size_t kItemHead = 4;
constexpr uint8_t kHostItem = 17;
constexpr uint8_t kPlainItem = 19;
constexpr size_t kDisplayName = 944;
constexpr size_t kDisplaySize = 260;
constexpr size_t kPathFormSize = 261;
constexpr size_t kCollectText = 544;
constexpr size_t kCollectTextMax = 732 - kCollectText;  // up to the next field the reshape moves
constexpr uint32_t kNotNamed = QVAPI_ERR_NO_MORE_ITEMS;

bool IsMarked(std::string_view name) {
    if (!name.empty() && name.front() == '#') return true;
    return name.find("\\#") != std::string_view::npos || name.find("!#") != std::string_view::npos ||
           name.find(".#") != std::string_view::npos;
}

// The name in the 64-byte field at 16: up to a NUL, trailing blanks dropped.
std::string_view FieldName(const unsigned char* record) {
    const char* field = reinterpret_cast<const char*>(record + kNameField);
    std::string_view name(field, strnlen(field, kNameFieldSize));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return name;
}

// Calls `visit(type, data)` for each item inside the record's length, in order.
template <class Visit>
void ForEachItem(const unsigned char* record, size_t length, Visit&& visit) {
    if (length < kItems) return;
    const uint16_t count = be16(record + kItemCount);
    size_t pos = kItems;
    for (uint16_t i = 0; i < count && length - pos >= kItemHead; ++i) {
        const size_t size = be16(record + pos + 2);
        if (size > length - pos - kItemHead) return;
        const char* data = reinterpret_cast<const char*>(record + pos + kItemHead);
        visit(record[pos], std::string_view(data, strnlen(data, size)));
        pos += kItemHead + size;
    }
}

// The long node name: the data of the first item.
std::string_view FirstItem(const unsigned char* record, size_t length) {
    std::string_view first;
    bool found = false;
    ForEachItem(record, length, [&](uint8_t, std::string_view data) {
        if (!found) first = data;
        found = true;
    });
    return first;
}

std::string PathForm(std::string_view dotted) {
    const std::string terminated(dotted);
    char path[kPathFormSize] = {};
    qvpDottedNameToPath(terminated.c_str(), path);
    return path;
}

// Copies a name terminated into a buffer; false when it does not fit.
bool CopyName(std::string_view name, size_t size, char* buffer) {
    if (buffer == nullptr || name.size() >= size) return false;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    return true;
}

// Kind "G" and "S" records keep their collect data where the package fields stood.
void Reshape(const unsigned char* record, unsigned char* out) {
    std::memset(out + 168, ' ', QVAPI_PACKAGE_KEY_SIZE);
    std::memcpy(out + 233, record + 328, 6);
    std::memcpy(out + 239, record + 315, 6);
    out[314] = 0;
    std::memset(out + 337, ' ', 50);
    out[391] = 0;
    std::memcpy(out + 504, record + 732, 6);
}

}  // namespace

size_t DeliveredLength(const QVPAPI& block) {
    return std::min<size_t>({block.currentRecordLength, sizeof block.currentRecord, QVAPI_EXECUTION_MAX_SIZE});
}

int gaiGetNodeName(const unsigned char* record, size_t recordSize, size_t plainSize, char* plain, size_t markedSize,
                   char* marked) {
    const size_t length = std::min<size_t>(recordSize, QVAPI_EXECUTION_MAX_SIZE);
    if (length < kFixedSize) return -1;
    bool found = false;
    const std::string_view field = FieldName(record);
    if (!field.empty()) {
        if (!IsMarked(field)) return CopyName(field, plainSize, plain) ? 0 : -1;
        if (!CopyName(field, markedSize, marked)) return -1;
        found = true;
    }
    bool fits = true;
    ForEachItem(record, length, [&](uint8_t type, std::string_view data) {
        if (type != kHostItem && type != kPlainItem) return;
        const bool isMarked = IsMarked(data);
        fits = fits && (isMarked ? CopyName(data, markedSize, marked) : CopyName(data, plainSize, plain));
        found = found || isMarked;
    });
    if (!fits) return -1;
    return found ? 1 : 0;
}

uint32_t BuildPackageJob(const unsigned char* record, size_t recordSize, unsigned char* out, std::string& longName) {
    const size_t length = std::min<size_t>(recordSize, QVAPI_EXECUTION_MAX_SIZE);
    if (length < kFixedSize) return kNotNamed;
    std::memset(out, 0, QVAPI_PACKAGE_JOB_SIZE);
    std::memcpy(out, record, kFixedSize);
    longName.clear();
    const std::string_view field = FieldName(record);
    const std::string_view dotted = field.empty() ? FirstItem(record, length) : field;
    const std::string path = PathForm(dotted);
    // A path form that would fill the field leaves no terminator: such names go to the long
    // buffer, as names that came as an item do.
    if (field.empty() || path.size() >= kNameFieldSize) {
        longName = path;
        std::memset(out + kNameField, 0, kNameFieldSize);
    } else {
        std::memset(out + kNameField, 0, kNameFieldSize);
        std::memcpy(out + kNameField, path.data(), path.size());
    }
    const std::string name(dotted);
    const uint32_t type = nodes::qvAPIGetNodeNameType(name.c_str(), 1, 0, 0);
    if (type == 0) return kNotNamed;
    std::string shown = path;
    if (type == 1) {
        char plainName[kPathFormSize] = {};
        char markedName[kPathFormSize] = {};
        if (gaiGetNodeName(record, length, sizeof plainName, plainName, sizeof markedName, markedName) < 1)
            return kNotNamed;
        shown = PathForm(plainName);
    }
    // Kept terminated inside its 260 bytes.
    std::memcpy(out + kDisplayName, shown.data(), std::min(shown.size(), kDisplaySize - 1));
    if (record[8] == 'G' || record[8] == 'S') Reshape(record, out);
    return 0;
}

std::string CollectFileName(const unsigned char* record) {
    const char* text = reinterpret_cast<const char*>(record + kCollectText);
    std::string name(text, strnlen(text, kCollectTextMax));
    if (name.empty()) return {};
    name[0] = 'P';
    // One level under COLLECTPATH, nothing that could lead out of it.
    if (name.find_first_of("\\/:") != std::string::npos) return {};
    return name;
}

char* AllocLowBuffer(std::string_view text) {
    auto* buffer = static_cast<char*>(win::AllocLow32(text.size() + 1));
    if (buffer == nullptr) return nullptr;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return buffer;
}

void FreeLowBuffer(void* buffer) { win::FreeLow32(buffer); }

}  // namespace qvp::jobs
