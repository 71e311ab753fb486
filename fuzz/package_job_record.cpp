// An execution record of the manager as the package-job walk takes it: the record built from its
// first 944 bytes and its items, the node names its items carry, its collect file name. The
// record lies in exactly the bytes received, so that a read past them is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/block.h"
#include "jobs/package_job_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvp::jobs;
    const size_t received = size < kQvpBufferSize ? size : kQvpBufferSize;
    const std::vector<unsigned char> record(data, data + received);
    unsigned char out[QVAPI_PACKAGE_JOB_SIZE];
    std::string longName;
    if (BuildPackageJob(record.data(), received, out, longName) == 0) {
        if (received < QVAPI_EXECUTION_FIXED_SIZE) std::abort();  // a short record is never built
        if (longName.size() > 260) std::abort();
        if (out[944 + 259] != 0) std::abort();  // the display name stays terminated
    }
    char plain[8];
    char marked[261];
    const int found = gaiGetNodeName(record.data(), received, sizeof plain, plain, sizeof marked, marked);
    if (found < -1 || found > 1) std::abort();
    // Only records of at least the fixed part are delivered.
    if (received < QVAPI_EXECUTION_FIXED_SIZE) return 0;
    const std::string name = CollectFileName(record.data());
    if (name.find_first_of("\\/:") != std::string::npos || (!name.empty() && name[0] != 'P')) std::abort();
    return 0;
}
