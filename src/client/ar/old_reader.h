// Reader of old-format archives: little-endian, recognised by 'N','N' at offset 8, extracted
// below a restore folder but never written.
#pragma once

#include <cstdint>
#include <optional>

// Results of the old-format reader.
enum OldUnarcResult : int {
    kOldOk = 0,
    kOldMissing = 1,       // the archive does not exist
    kOldNoDrive = 2,       // the restore folder's drive or first level is missing
    kOldIoFailed = 3,      // name table, file creation, a write or the archive's close
    kOldEntryUnread = 4,   // an entry header can't be read
    kOldNoFolder = 5,      // a folder can't be created
    kOldFileFailed = 6,    // a file not replaced, read, written, closed or given attributes;
                           // defective entries; the archive not deleted
    kOldNoMemory = 7,
};

// Extracts the old-format archive below `restoreFolder` (none: the folder stored in the
// archive); with keep 0 the archive is deleted after a successful extraction.
int arCreateUnarcFile(const char* archivePath, const char* restoreFolder, int keep);

// An old-format date (decimal yymmdd) and time (hhmmss) as seconds since 1970: local clock
// readings taken to be nine hours ahead of universal time whatever the zone. None for a month
// outside 1..12.
std::optional<int64_t> qvpuarMakeTime(uint32_t date, uint32_t time);
