// The constant operations of the query and total families: each answers its constant whatever
// handle it is given, and leaves the thread's last error to the call before it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <string_view>

#include "qvpapi.h"

namespace qvptest {
namespace {

struct ConstantCall {
    const char* name;
    std::function<int(QVPAPI_HANDLE)> call;
};

#define NOOP(fn, ...) ConstantCall{#fn, [](QVPAPI_HANDLE h) { return fn(h, __VA_ARGS__); }}

const ConstantCall kConstantCalls[] = {
        NOOP(qvAPISetSysInfCPUTypeQuery, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfCPUTypeQuery, 0, 0, 0),
        NOOP(qvAPISetSysInfCOPROQuery, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfCOPROQuery, 0, 0, 0),
        NOOP(qvAPISetSysInfClientVerQuery, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfClientVerQuery, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPISetSysInfHDEmptyQuery, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfHDEmptyQuery, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPISetSysInfOSTypeQuery, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfOSTypeQuery, 0, 0, 0),
        NOOP(qvAPISetSysInfOSVerQuery, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfOSVerQuery, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPISetSysInfSystemMemQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfSystemMemQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetSysInfRealMemQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfRealMemQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetSysInfUserMemQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfUserMemQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetInsPackageQuery, 0, 0, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteInsPackageQuery, 0, 0, 0, 0, 0, 0, 0, 0),
        NOOP(qvAPISetSortNodeAttrQuery, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSortNodeAttrQuery, 0, 0, 0, 0),
        NOOP(qvAPISetSortInsPackageQuery, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSortInsPackageQuery, 0, 0, 0, 0),
        NOOP(qvAPISetSortSysQuery, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSortSysQuery, 0, 0, 0, 0),
        NOOP(qvAPISetSysInfMachineTypeQuery, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfMachineTypeQuery, 0, 0, 0),
        NOOP(qvAPISetSysInfOSLicenseQuery, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfOSLicenseQuery, 0, 0, 0),
        NOOP(qvAPISetSysInfOSPatchQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSysInfOSPatchQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetMasterQuery, 0, 0, 0, 0),
        NOOP(qvAPIDeleteMasterQuery, 0, 0, 0, 0),
        NOOP(qvAPISetNodeGroupQuery, 0, 0, 0),
        NOOP(qvAPIDeleteNodeGroupQuery, 0, 0, 0),
        NOOP(qvAPISetNodeAttrQuery, 0, 0, 0),
        NOOP(qvAPIDeleteNodeAttrQuery, 0, 0, 0),
        NOOP(qvAPISetIDQuery, 0, 0, 0),
        NOOP(qvAPIDeleteIDQuery, 0, 0, 0),
        NOOP(qvAPISetIDOptionQuery, 0, 0, 0),
        NOOP(qvAPIDeleteIDOptionQuery, 0, 0, 0),
        NOOP(qvAPISetSortIDQuery, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSortIDQuery, 0, 0, 0, 0),
        NOOP(qvAPISetJobStatusQuery, 0, 0, 0),
        NOOP(qvAPIDeleteJobStatusQuery, 0, 0, 0),
        NOOP(qvAPISetJobInfQuery, 0, 0, 0),
        NOOP(qvAPIDeleteJobInfQuery, 0, 0, 0),
        NOOP(qvAPISetJobExecDateQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteJobExecDateQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetJobEventTimeQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteJobEventTimeQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetJobTimeOutQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPIDeleteJobTimeOutQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetJobTypeQuery, 0, 0, 0),
        NOOP(qvAPIDeleteJobTypeQuery, 0, 0, 0),
        NOOP(qvAPISetSortJobQuery, 0, 0, 0, 0),
        NOOP(qvAPIDeleteSortJobQuery, 0, 0, 0, 0),
        NOOP(qvAPISetJobRowCountQuery, 0, 0, 0),
        NOOP(qvAPIDeleteJobRowCountQuery, 0, 0, 0),
        NOOP(qvAPISetJobNextKeyQuery, 0, 0, 0),
        NOOP(qvAPIDeleteJobNextKeyQuery, 0, 0, 0),
        NOOP(qvAPIGetSQLStatementQuery, 0, 0, 0, 0, 0),
        NOOP(qvAPISetSQLStatementQuery, 0, 0, 0),
        NOOP(qvAPIDeleteSetSQLStatementQuery, 0, 0),
        NOOP(qvAPIAddSQLStatementQuery, 0, 0, 0),
        NOOP(qvAPIDeleteAddSQLStatementQuery, 0, 0),
        NOOP(qvAPIAbstractFirstClient, 0, 0, 0),
        NOOP(qvAPIAbstractNextClient, 0, 0, 0),
        NOOP(qvAPIAbstractCloseClient, 0, 0),
        NOOP(qvAPIAbstractFirstIDEntry, 0, 0, 0),
        NOOP(qvAPIAbstractNextIDEntry, 0, 0, 0),
        NOOP(qvAPIAbstractCloseIDEntry, 0, 0),
        NOOP(qvAPIGetFirstNodeAttrTotal, 0, 0, 0),
        NOOP(qvAPIGetNextNodeAttrTotal, 0, 0, 0),
        NOOP(qvAPICloseNodeAttrTotal, 0, 0),
        NOOP(qvAPIGetFirstInsPackageTotal, 0, 0, 0),
        NOOP(qvAPIGetNextInsPackageTotal, 0, 0, 0),
        NOOP(qvAPICloseInsPackageTotal, 0, 0),
        NOOP(qvAPIGetFirstSysInvTotal, 0, 0, 0, 0),
        NOOP(qvAPIGetNextSysInvTotal, 0, 0, 0),
        NOOP(qvAPICloseSysInvTotal, 0, 0),
        NOOP(qvAPIGetFirstIDTotal, 0, 0, 0),
        NOOP(qvAPIGetNextIDTotal, 0, 0, 0),
        NOOP(qvAPICloseIDTotal, 0, 0),
};

#undef NOOP

TEST(QueryConstants, AnswerTheirConstantAndLeaveTheLastError) {
    EXPECT_EQ(std::size(kConstantCalls), 85u);
    char notAQuery[64] = {};
    for (const ConstantCall& c : kConstantCalls) {
        SCOPED_TRACE(c.name);
        const bool unsupported = std::string_view(c.name) == "qvAPIAbstractFirstIDEntry";
        for (QVPAPI_HANDLE h : {QVPAPI_HANDLE(nullptr), QVPAPI_HANDLE(notAQuery), QVPAPI_INVALID_HANDLE}) {
            // The code a failing call left is still there to be read after the constant one.
            ASSERT_EQ(qvAPICloseQuery(nullptr, 0, 0), 0);
            ASSERT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_HANDLE);
            EXPECT_EQ(c.call(h), unsupported ? 0 : 1);
            EXPECT_EQ(qvAPIGetLastError(), unsupported ? QVAPI_ERR_NOT_SUPPORTED : QVAPI_ERR_INVALID_HANDLE);
            qvAPISetLastError(0);
            c.call(h);
            EXPECT_EQ(qvAPIGetLastError(), unsupported ? QVAPI_ERR_NOT_SUPPORTED : 0u);
        }
    }
}

}  // namespace
}  // namespace qvptest
