// The head checks of every stored kind read through the bounded reader, over arbitrary heads and
// file sizes: what a head lets a reader take never passes the file nor the kind's limit, and a
// file as long as its head is always read whole.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/bounded_read.h"
#include "jobgen/jobgen_file.h"
#include "jobs/jobexec_file.h"
#include "nodes/node_group_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first 8 bytes: the file's size; the rest: its head (as much of it as there is).
    if (size < sizeof(uint64_t)) return 0;
    uint64_t fileSize;
    std::memcpy(&fileSize, data, sizeof fileSize);
    uint8_t head[qvp::kMaxHeadSize] = {};
    const size_t headBytes = std::min(size - sizeof fileSize, sizeof head);
    std::memcpy(head, data + sizeof fileSize, headBytes);
    for (const qvp::DeclaredLayout* layout :
         {&qvp::nodes::kGroupFileLayout, &qvp::nodes::kAttributionFileLayout, &qvp::nodes::kFlatFileLayout,
          &qvp::jobgen::kJobGenFileLayout, &qvp::jobs::kJobExecFileLayout}) {
        uint32_t total = 0;
        const size_t given = std::min<size_t>(headBytes, layout->headSize);
        if (qvp::CheckDeclared(*layout, head, given, fileSize, &total) != qvp::DeclaredRead::Read) continue;
        if (total > fileSize || total > layout->maxSize) std::abort();
        if (fileSize >= layout->headSize && total < layout->headSize) std::abort();
        if (layout->exact && fileSize >= layout->headSize && total != fileSize) std::abort();
    }
    return 0;
}
