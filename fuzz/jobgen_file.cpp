// The jobgenfile reader over arbitrary bytes, as the open of a stored JobGen runs it: the header
// and entry count checked against the size, the session fields taken from the header and first
// entry, the first node's run, and each entry's texts and package key turned into names.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/text.h"
#include "jobgen/jobgen_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvp::jobgen;
    StoredJobGen stored;
    if (!ParseJobGenFile(std::span<const uint8_t>(data, size), stored)) return 0;
    if (kHeaderSize + stored.entries.size() * kEntrySize > size) std::abort();
    JobGenEdit edit;
    LoadSessionFields(stored, edit);
    if (FirstRunLength(stored) > stored.entries.size()) std::abort();
    for (const JobGenEntry& entry : stored.entries) {
        if (FieldText(entry.node, kTextField).size() > kTextField) std::abort();
        if (FieldText(entry.host, kTextField).size() > kTextField) std::abort();
        const std::string key = FieldText(entry.packageKey, sizeof entry.packageKey);
        char fileName[512] = {};
        if (!key.empty() && qvpPackageNameToFileName(key.c_str(), fileName) == 1) CheckName(fileName);
    }
    return 0;
}
