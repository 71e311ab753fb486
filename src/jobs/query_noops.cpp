// Conditions, walks and totals of other areas that callers may still call: each checks the
// query handle in the call frame and does nothing else.
#include "jobs/query.h"

namespace {

// Silent frame: no log lines, the last error 0 after success like every other call.
int Constant(const char* name, QVPAPI_HANDLE hQuery, int result, uint32_t code) {
    const qvp::FrameTexts texts{name, qvp::EndStyle::Decimal, "", ""};
    return qvp::RunApi(texts, -1, [&](qvp::CallContext& call) {
        if (qvp::jobs::LiveQuery(call, hQuery) == nullptr) return -1;
        if (code != 0) call.Fail(code);
        return result;
    });
}

int NoOp(const char* name, QVPAPI_HANDLE hQuery) { return Constant(name, hQuery, 1, 0) == 1 ? 1 : 0; }

// The one First of these families: a walk that can give nothing says so.
int Unsupported(const char* name, QVPAPI_HANDLE hQuery) {
    Constant(name, hQuery, 0, QVAPI_ERR_NOT_SUPPORTED);
    return 0;
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPISetSysInfCPUTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfCPUTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfCPUTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfCPUTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfCOPROQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfCOPROQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfCOPROQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfCOPROQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfClientVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfClientVerQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfClientVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                             QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfClientVerQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfHDEmptyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfHDEmptyQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfHDEmptyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfHDEmptyQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfOSTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfOSTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                      QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfOSVerQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSVerQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                         QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfOSVerQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfSystemMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfSystemMemQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfSystemMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                             QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfSystemMemQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfRealMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfRealMemQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfRealMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfRealMemQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfUserMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfUserMemQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfUserMemQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfUserMemQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                     QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetInsPackageQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteInsPackageQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSortNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                       QVAPI_ARG) {
    return NoOp("qvAPISetSortNodeAttrQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG) {
    return NoOp("qvAPIDeleteSortNodeAttrQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSortInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                         QVAPI_ARG) {
    return NoOp("qvAPISetSortInsPackageQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortInsPackageQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                            QVAPI_ARG) {
    return NoOp("qvAPIDeleteSortInsPackageQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSortSysQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSortSysQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortSysQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSortSysQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfMachineTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfMachineTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfMachineTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfMachineTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSLicenseQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfOSLicenseQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSLicenseQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfOSLicenseQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSysInfOSPatchQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSysInfOSPatchQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSysInfOSPatchQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                           QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSysInfOSPatchQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetMasterQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetMasterQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteMasterQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteMasterQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetNodeGroupQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetNodeGroupQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteNodeGroupQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteNodeGroupQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetNodeAttrQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteNodeAttrQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteNodeAttrQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetIDQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteIDQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetIDOptionQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetIDOptionQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteIDOptionQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteIDOptionQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSortIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSortIDQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortIDQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSortIDQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobStatusQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobStatusQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobStatusQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobStatusQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobInfQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobInfQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobInfQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobInfQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobExecDateQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                      QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobExecDateQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobExecDateQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                         QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobExecDateQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobEventTimeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                       QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobEventTimeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobEventTimeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                          QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobEventTimeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobTimeOutQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                     QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobTimeOutQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobTimeOutQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                        QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobTimeOutQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobTypeQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobTypeQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSortJobQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSortJobQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSortJobQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSortJobQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobRowCountQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobRowCountQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobRowCountQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobRowCountQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobNextKeyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetJobNextKeyQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobNextKeyQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteJobNextKeyQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                       QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetSQLStatementQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPISetSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPISetSQLStatementQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteSetSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteSetSQLStatementQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIAddSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIAddSQLStatementQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteAddSQLStatementQuery(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIDeleteAddSQLStatementQuery", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractFirstClient(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIAbstractFirstClient", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextClient(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIAbstractNextClient", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseClient(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIAbstractCloseClient", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractFirstIDEntry(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return Unsupported("qvAPIAbstractFirstIDEntry", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextIDEntry(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIAbstractNextIDEntry", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseIDEntry(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIAbstractCloseIDEntry", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstNodeAttrTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetFirstNodeAttrTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextNodeAttrTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetNextNodeAttrTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPICloseNodeAttrTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPICloseNodeAttrTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstInsPackageTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetFirstInsPackageTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextInsPackageTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetNextInsPackageTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPICloseInsPackageTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPICloseInsPackageTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstSysInvTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG,
                                                      QVAPI_ARG) {
    return NoOp("qvAPIGetFirstSysInvTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextSysInvTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetNextSysInvTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPICloseSysInvTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPICloseSysInvTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetFirstIDTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetFirstIDTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPIGetNextIDTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPIGetNextIDTotal", hQuery);
}

extern "C" QVPAPI_EXPORT int qvAPICloseIDTotal(QVPAPI_HANDLE hQuery, QVAPI_ARG, QVAPI_ARG) {
    return NoOp("qvAPICloseIDTotal", hQuery);
}
