// The system-information record a client's report arrives in (QVAPI_SYSGEN_INFO), its typed
// entries, the checks applied to the names taken from it, and the small name and path helpers
// of automatic registration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/block.h"
#include "platform/win.h"
#include "qvpapi.h"

namespace qvp::ids {

// Entry types: base 32 for the values now reported, 16 for the values stored before.
constexpr uint8_t kSysgenNewBase = 32;
constexpr uint8_t kSysgenOldBase = 16;
constexpr uint8_t kSysgenHostName = 1;
constexpr uint8_t kSysgenIpText = 2;
constexpr uint8_t kSysgenCommonName = 3;
constexpr uint8_t kSysgenHostId = 6;
constexpr uint8_t kSysgenMac = 7;
constexpr uint8_t kSysgenPath = 160;

// The record as laid out in the caller's memory (everything read by offset; the entries follow
// from kSysgenEntriesOffset). `size` bounds every read: a record handed in by the manager
// through the export is walked only as far as its own entry count leads.
struct SysgenView {
    const uint8_t* data = nullptr;
    size_t size = 0;

    uint32_t EntryCount() const;
    uint8_t Byte(size_t offset) const { return offset < size ? data[offset] : 0; }
};
constexpr size_t kSysgenCountOffset = 8;
constexpr size_t kSysgenEditionOffset = 12;
constexpr size_t kSysgenAttributeOffset = 13;
constexpr size_t kSysgenHoldMarkerOffset = 78;
constexpr size_t kSysgenConnectKindOffset = 109;
constexpr size_t kSysgenTimeOffset = 112;
constexpr size_t kSysgenHoldFlagOffset = 128;
constexpr size_t kSysgenEntriesOffset = 192;

// The extent of a record whose entries the caller vouches for: the head and as many entries as
// its count names.
size_t SysgenExtent(const uint8_t* record);

// Reads the entry of `type` into `out`, at most `limit` bytes (a name that fills its buffer is
// still terminated by the caller's one byte more). Type 160 builds the node path from every
// path entry (host-ID levels for sub-type 38). true when found; a refused entry reads as none.
bool ACNGetEntry(QVPAPI& block, const SysgenView& record, uint8_t type, std::string& out, size_t limit,
                 uint8_t subType = 0);
// 1 when `text` is well-formed text of the system code page, else 0 (logged to NODE.LOG).
int ACNmbsbtype(QVPAPI& block, std::string_view text);
// Copies `source` into `target` with "." and "!" exchanged; both directions do the same.
char* qvpSwapDotsAndBangs(const char* source, char* target, int direction);
std::string SwapDotsAndBangs(std::string_view text);
// The report time "YYYYMMDDhhmmssCC" as fixed-width fields; false when a field is no number.
bool ParseReportTime(const uint8_t* text, win::SYSTEMTIME& out);

// Path kinds: 0 no host-ID level, 1 host-ID levels only (or none at all), 2 both.
int ACNGetPathType(std::string_view path);

// NODE.LOG line of the automatic registration.
void NodeLog(QVPAPI& block, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace qvp::ids
