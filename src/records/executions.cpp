// Executions: the manager's E records of one node command each, keyed by the dotted node name and
// the 16-character job number.
#include <cstring>
#include <string>

#include "records/access.h"
#include "records/records.h"

using namespace qvp::records;

QVAPI_EXECUTION* qvpAPIFindCommand(QVPAPI* block, const char* jobNumber, const char* dottedNode) {
    if (block == nullptr) return nullptr;
    if (jobNumber == nullptr || strnlen(jobNumber, QVAPI_JOB_NUMBER_SIZE) != QVAPI_JOB_NUMBER_SIZE ||
        dottedNode == nullptr || *dottedNode == '\0') {
        FailParameter(*block);
        return nullptr;
    }
    std::string key(dottedNode);
    key.append(jobNumber, QVAPI_JOB_NUMBER_SIZE);
    return static_cast<QVAPI_EXECUTION*>(Position(*block, kKindE, key));
}

QVAPI_EXECUTION* qvpAPIGetNextCommand(QVPAPI* block) {
    if (block == nullptr) return nullptr;
    return static_cast<QVAPI_EXECUTION*>(Next(*block, kKindE));
}

int qvpAPIFrlsCommandLocal(QVPAPI* block) {
    if (block == nullptr) return 0;
    if (block->link == QvpLink::Socketless && block->cursors[kKindE].local != nullptr &&
        State(*block, kKindE).walking)
        Release(*block, kKindE);
    return 1;
}
