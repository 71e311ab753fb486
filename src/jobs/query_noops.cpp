// Conditions, walks and totals of other areas that callers may still call. They do no work, so
// they stay out of the call frame: no handle check, no log line, and the thread's last error stays
// what the caller's previous call left (a caller may read that call's code after one of these).
#include "qvpapi.h"

namespace {

constexpr int kNoEffect = 1;

// The one First of these families says why it gives nothing: 0 with 0x20340000.
int NothingToWalk() {
    qvAPISetLastError(QVAPI_ERR_NOT_SUPPORTED);
    return 0;
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPISetSysInfCPUTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfCPUTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfCOPROQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfCOPROQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfClientVerQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfClientVerQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                             QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfHDEmptyQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfHDEmptyQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSVerQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                      QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSVerQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                         QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfSystemMemQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfSystemMemQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                             QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfRealMemQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfRealMemQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfUserMemQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfUserMemQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetInsPackageQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                     QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteInsPackageQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSortNodeAttrQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                       QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortNodeAttrQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSortInsPackageQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                         QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortInsPackageQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                            QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSortSysQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortSysQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfMachineTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfMachineTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSLicenseQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSLicenseQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSPatchQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSPatchQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetMasterQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteMasterQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetNodeGroupQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteNodeGroupQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetNodeAttrQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteNodeAttrQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetIDQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteIDQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetIDOptionQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteIDOptionQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSortIDQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortIDQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobStatusQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobStatusQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobInfQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobInfQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobExecDateQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                      QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobExecDateQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                         QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobEventTimeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                       QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobEventTimeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobTimeOutQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                     QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobTimeOutQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobTypeQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSortJobQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortJobQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobRowCountQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobRowCountQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetJobNextKeyQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobNextKeyQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetSQLStatementQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                       QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPISetSQLStatementQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSetSQLStatementQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIAddSQLStatementQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteAddSQLStatementQuery(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractFirstClient(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextClient(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseClient(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractFirstIDEntry(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NothingToWalk();
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextIDEntry(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseIDEntry(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstNodeAttrTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextNodeAttrTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPICloseNodeAttrTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstInsPackageTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextInsPackageTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPICloseInsPackageTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstSysInvTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                      QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextSysInvTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPICloseSysInvTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstIDTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextIDTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}

extern "C" QVPAPI_EXPORT int qvAPICloseIDTotal(QVPAPI_HANDLE /*hQuery*/, QVAPI_ARG, QVAPI_ARG) {
    return kNoEffect;
}
