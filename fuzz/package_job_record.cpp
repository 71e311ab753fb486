// An execution record of the manager as the package-job walk takes it: the record built from its
// first 944 bytes and its items, the node names its items carry, its collect file name.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/block.h"
#include "jobs/package_job_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvp::jobs;
    // The record lies in the session's current-record area, zero beyond what was received.
    unsigned char record[kQvpBufferSize] = {};
    std::memcpy(record, data, size < sizeof record ? size : sizeof record);
    unsigned char out[QVAPI_PACKAGE_JOB_SIZE];
    std::string longName;
    if (BuildPackageJob(record, sizeof record, out, longName) == 0) {
        if (longName.size() > 260) std::abort();
        if (out[944 + 259] != 0) std::abort();  // the display name stays terminated
    }
    char plain[8];
    char marked[261];
    const int found = gaiGetNodeName(record, sizeof record, sizeof plain, plain, sizeof marked, marked);
    if (found < -1 || found > 1) std::abort();
    const std::string name = CollectFileName(record);
    if (name.find_first_of("\\/:") != std::string::npos || (!name.empty() && name[0] != 'P')) std::abort();
    return 0;
}
