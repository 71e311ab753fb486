// Names and layout of a JobGen's collect files, shared by the collect operations and the rebuild.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvp::jobgen {

constexpr char kCollectRecordFile[] = "F0000000";
constexpr char kCollectPathFile[] = "P0000000";
constexpr char kCollectArchiveFile[] = "Q0000000";
constexpr char kScriptName[] = "ZARN.SCI";
constexpr size_t kCollectRecordSize = 784;
constexpr size_t kCollectCounter = 512;       // install counter byte of the F record
constexpr uint8_t kCollectHasArchive = 0x80;  // flag byte 10: a Q archive belongs to the record
// P0000000 of a made or rebuilt collect JobGen: "c:\" and NULs.
constexpr char kCollectPathText[10] = {'c', ':', '\\'};

}  // namespace qvp::jobgen
