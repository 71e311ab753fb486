// The jobexecfile reader over arbitrary bytes, as the job readers take a file: the head, the
// entry area it states and every entry of it; then the head through the level adapter.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "jobs/job_records.h"
#include "jobs/jobexec_file.h"

namespace {

bool Within(std::string_view part, std::string_view whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvp::jobs;
    JobFile file;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const uint32_t code = ParseJobFile(bytes, file);
    if (code != 0 && code != 0x20100000u && code != 0x2000054Fu) std::abort();
    if (code == 0x20100000u) return 0;
    if (code == 0 && file.entries.size() != Load32(file.head + head::kEntryCount)) std::abort();
    for (const Entry& e : file.entries) {
        if (e.jobNumber.size() != QVAPI_JOB_NUMBER_SIZE || e.name.empty() || e.name.size() > kMaxEntryName ||
            e.secondName.size() > kMaxEntryName)
            std::abort();
        if (!Within(e.jobNumber, file.area) || !Within(e.name, file.area)) std::abort();
        if (!e.secondName.empty() && !Within(e.secondName, file.area)) std::abort();
    }
    for (uint32_t level = 0; level <= 5; level += 3) {
        QVAPI_JOB job;
        qvpAPICopyJobData(level, file.head, &job, static_cast<int>(size % 7));
    }
    return 0;
}
