// The ID-job workers: the tally, the status adder and the entry walker.
#include "core/errors.h"
#include "jobs/id_jobs.h"

namespace qvp::jobs {

int qvpAPIGetIDJobCountNode(QVPAPI*, uint32_t, const char*, const char*, const char*, const char*, const char*,
                            QVAPI_JOB*, QVAPI_NODE_JOB*) {
    qvAPISetLastError(QVAPI_ERR_NO_MORE_ITEMS);
    return 0;
}
int qvpAPIGetIDJobCountNodeEx(QVPAPI*, uint32_t, const char*, const char*, const char*, const char*, const char*,
                              QVAPI_JOB*, QVAPI_NODE_JOB_EX*) {
    qvAPISetLastError(QVAPI_ERR_NO_MORE_ITEMS);
    return 0;
}
uint32_t qvpAPIGetIDJobCountStatus(QVPAPI*, uint32_t, const QVAPI_EXECUTION*, QVAPI_NODE_JOB*, char*) { return 0; }
uint32_t qvpAPIGetIDJobCountStatusEx(QVPAPI*, uint32_t, const QVAPI_EXECUTION*, QVAPI_NODE_JOB_EX*, char*) {
    return 0;
}
int qvpAPIGetIDJobPackage(QVPAPI*, void**, uint32_t, const char*, const char*, const char*, const char*, const char*,
                          QVAPI_NODE_JOB*, QVAPI_PACKAGE_JOB*, uint32_t, uint32_t) {
    qvAPISetLastError(QVAPI_ERR_NO_MORE_ITEMS);
    return 0;
}
int qvpAPIGetIDJobPackageEx(QVPAPI*, void**, uint32_t, const char*, const char*, const char*, const char*,
                            const char*, QVAPI_NODE_JOB_EX*, QVAPI_PACKAGE_JOB*, uint32_t, uint32_t) {
    qvAPISetLastError(QVAPI_ERR_NO_MORE_ITEMS);
    return 0;
}

}  // namespace qvp::jobs
