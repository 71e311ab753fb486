// The rebuild's reader of execution records over arbitrary bytes: records and their name
// extensions stay inside the file, names inside their fields, and every record read gives an
// entry and header fields.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "jobgen/jobgen_make.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvp::jobgen;
    std::vector<ExecRecord> records;
    ParseExecRecords(std::span<const uint8_t>(data, size), records);
    if (records.size() > size / kExecRecordSize) std::abort();
    JobGenHeader header{};
    for (const ExecRecord& r : records) {
        if (r.bytes < data || r.bytes + kExecRecordSize > data + size) std::abort();
        if (r.node.size() >= kTextField || r.host.size() >= kTextField) std::abort();
        JobGenEntry entry{};
        BuildEntry(r, entry, header.idKind);
        TakeHeaderFields(r.bytes, header);
        if (FieldText(entry.node, kTextField) != r.node) std::abort();
    }
    return 0;
}
