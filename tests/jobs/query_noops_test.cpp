// The constant operations of the query and total families: each answers its constant whatever
// handle it is given, and leaves the thread's last error to the call before it.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string_view>

#include "qvpapi.h"

namespace qvptest {
namespace {

struct ConstantCall {
    const char* name;
    int (*call)(QVPAPI_HANDLE);
};

#define NOOP(fn, ...) ConstantCall{#fn, [](QVPAPI_HANDLE h) { return fn(h, __VA_ARGS__); }}
// The Set and Delete of one condition take the same arguments.
#define PAIR(what, ...) NOOP(qvAPISet##what##Query, __VA_ARGS__), NOOP(qvAPIDelete##what##Query, __VA_ARGS__)

const ConstantCall kConstantCalls[] = {
    PAIR(SysInfCPUType, 0, 0, 0), PAIR(SysInfCOPRO, 0, 0, 0), PAIR(SysInfClientVer, 0, 0, 0, 0, 0, 0),
    PAIR(SysInfHDEmpty, 0, 0, 0, 0, 0, 0), PAIR(SysInfOSType, 0, 0, 0), PAIR(SysInfOSVer, 0, 0, 0, 0, 0, 0),
    PAIR(SysInfSystemMem, 0, 0, 0, 0, 0), PAIR(SysInfRealMem, 0, 0, 0, 0, 0), PAIR(SysInfUserMem, 0, 0, 0, 0, 0),
    PAIR(InsPackage, 0, 0, 0, 0, 0, 0, 0, 0), PAIR(SortNodeAttr, 0, 0, 0, 0), PAIR(SortInsPackage, 0, 0, 0, 0),
    PAIR(SortSys, 0, 0, 0, 0), PAIR(SysInfMachineType, 0, 0, 0), PAIR(SysInfOSLicense, 0, 0, 0),
    PAIR(SysInfOSPatch, 0, 0, 0, 0, 0), PAIR(Master, 0, 0, 0, 0), PAIR(NodeGroup, 0, 0, 0), PAIR(NodeAttr, 0, 0, 0),
    PAIR(ID, 0, 0, 0), PAIR(IDOption, 0, 0, 0), PAIR(SortID, 0, 0, 0, 0), PAIR(JobStatus, 0, 0, 0),
    PAIR(JobInf, 0, 0, 0), PAIR(JobExecDate, 0, 0, 0, 0, 0), PAIR(JobEventTime, 0, 0, 0, 0, 0),
    PAIR(JobTimeOut, 0, 0, 0, 0, 0), PAIR(JobType, 0, 0, 0), PAIR(SortJob, 0, 0, 0, 0), PAIR(JobRowCount, 0, 0, 0),
    PAIR(JobNextKey, 0, 0, 0),
    NOOP(qvAPIGetSQLStatementQuery, 0, 0, 0, 0, 0), NOOP(qvAPISetSQLStatementQuery, 0, 0, 0),
    NOOP(qvAPIDeleteSetSQLStatementQuery, 0, 0), NOOP(qvAPIAddSQLStatementQuery, 0, 0, 0),
    NOOP(qvAPIDeleteAddSQLStatementQuery, 0, 0),
    NOOP(qvAPIAbstractFirstClient, 0, 0, 0), NOOP(qvAPIAbstractNextClient, 0, 0, 0),
    NOOP(qvAPIAbstractCloseClient, 0, 0), NOOP(qvAPIAbstractFirstIDEntry, 0, 0, 0),
    NOOP(qvAPIAbstractNextIDEntry, 0, 0, 0), NOOP(qvAPIAbstractCloseIDEntry, 0, 0),
    NOOP(qvAPIGetFirstNodeAttrTotal, 0, 0, 0), NOOP(qvAPIGetNextNodeAttrTotal, 0, 0, 0),
    NOOP(qvAPICloseNodeAttrTotal, 0, 0),
    NOOP(qvAPIGetFirstInsPackageTotal, 0, 0, 0), NOOP(qvAPIGetNextInsPackageTotal, 0, 0, 0),
    NOOP(qvAPICloseInsPackageTotal, 0, 0),
    NOOP(qvAPIGetFirstSysInvTotal, 0, 0, 0, 0), NOOP(qvAPIGetNextSysInvTotal, 0, 0, 0),
    NOOP(qvAPICloseSysInvTotal, 0, 0),
    NOOP(qvAPIGetFirstIDTotal, 0, 0, 0), NOOP(qvAPIGetNextIDTotal, 0, 0, 0), NOOP(qvAPICloseIDTotal, 0, 0),
};

#undef PAIR
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
        }
    }
}

}  // namespace
}  // namespace qvptest
