// Writes old-format archives (little-endian, 'N','N' at offset 8) byte for byte from their
// layout: the 60-byte header, 60-byte entry headers each followed by its data, and the
// NUL-separated name table at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvptest {

class OldArchiveBuilder {
public:
    struct Entry {
        int16_t nameIndex = 0;
        uint32_t attributes = 0x20;      // Windows bits; 0x10 a folder
        std::string data;
        uint32_t accessDate = 240102;    // yymmdd
        uint32_t accessTime = 102030;    // hhmmss
        uint32_t writeDate = 240101;
        uint32_t writeTime = 90000;
        uint32_t headerLength = 60;      // as stored at offset 0
        int64_t dataSizeOverride = -1;   // stored at offset 52 instead of data.size()
    };

    // Adds a name to the table; its 0-based index.
    int16_t AddName(const std::string& name);
    Entry& AddFolder(const std::string& name);
    Entry& AddFile(const std::string& name, const std::string& data);
    Entry& AddEntry(const Entry& entry);
    // The names that make the restore folder when the caller gives none (drive ":" base).
    void SetRestore(int16_t driveIndex, int16_t baseIndex);

    std::vector<uint8_t> Build() const;

    // Offsets in the built file, for tests that damage it.
    static constexpr size_t kHeaderSize = 60;
    static constexpr size_t kEntrySize = 60;

private:
    std::vector<std::string> names_;
    std::vector<Entry> entries_;
    int16_t drive_ = 0;
    int16_t base_ = 0;
};

}  // namespace qvptest
