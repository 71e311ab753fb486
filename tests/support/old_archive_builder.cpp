#include "old_archive_builder.h"

namespace qvptest {

namespace {

void PutLe16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int16_t OldArchiveBuilder::AddName(const std::string& name) {
    names_.push_back(name);
    return static_cast<int16_t>(names_.size() - 1);
}

OldArchiveBuilder::Entry& OldArchiveBuilder::AddEntry(const Entry& entry) {
    entries_.push_back(entry);
    return entries_.back();
}

OldArchiveBuilder::Entry& OldArchiveBuilder::AddFolder(const std::string& name) {
    Entry entry;
    entry.nameIndex = AddName(name);
    entry.attributes = 0x10;
    return AddEntry(entry);
}

OldArchiveBuilder::Entry& OldArchiveBuilder::AddFile(const std::string& name,
                                                     const std::string& data) {
    Entry entry;
    entry.nameIndex = AddName(name);
    entry.data = data;
    return AddEntry(entry);
}

void OldArchiveBuilder::SetRestore(int16_t driveIndex, int16_t baseIndex) {
    drive_ = driveIndex;
    base_ = baseIndex;
}

std::vector<uint8_t> OldArchiveBuilder::Build() const {
    std::vector<uint8_t> out(kHeaderSize, 0);
    for (const Entry& entry : entries_) {
        const size_t at = out.size();
        out.resize(at + kEntrySize, 0);
        PutLe32(out, at + 0, entry.headerLength);
        PutLe32(out, at + 8, entry.accessDate);
        PutLe32(out, at + 12, entry.accessTime);
        PutLe32(out, at + 16, entry.writeDate);
        PutLe32(out, at + 20, entry.writeTime);
        PutLe16(out, at + 24, static_cast<uint16_t>(entry.nameIndex));
        PutLe32(out, at + 28, entry.attributes);
        const uint32_t size = entry.dataSizeOverride >= 0
                                  ? static_cast<uint32_t>(entry.dataSizeOverride)
                                  : static_cast<uint32_t>(entry.data.size());
        PutLe32(out, at + 52, size);
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    const size_t tableStart = out.size();
    for (const std::string& name : names_) {
        out.insert(out.end(), name.begin(), name.end());
        out.push_back(0);
    }
    PutLe32(out, 0, static_cast<uint32_t>(out.size()));
    PutLe32(out, 4, static_cast<uint32_t>(kHeaderSize));
    out[8] = 'N';
    out[9] = 'N';
    PutLe16(out, 10, static_cast<uint16_t>(drive_));
    PutLe16(out, 12, static_cast<uint16_t>(base_));
    PutLe32(out, 16, static_cast<uint32_t>(tableStart));
    return out;
}

}  // namespace qvptest
