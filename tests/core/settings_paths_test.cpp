// Settings getters and the path builders.
#include <gtest/gtest.h>

#include "core/paths.h"
#include "core/settings.h"
#include "core_fixture.h"

namespace {

using SettingsTest = CoreTest;

TEST_F(SettingsTest, DefaultsWhenUnset) {
    win::registry::LoadFrom((root() / "missing.conf").string());
    char buffer[260];
    qvpRegGetPathName(buffer);
    EXPECT_STREQ(buffer, "C:\\ZARNQVP");
    qvpRegGetResourcePathName(buffer);
    EXPECT_STREQ(buffer, "C:\\ZARNQVP\\SERVER\\ZARNQV\\RESOURCE");
    EXPECT_EQ(qvpRegGetIdSyncOption(), 0);
    EXPECT_EQ(qvpRegGetGuidUseStatus(), 0);
    EXPECT_EQ(qvpRegGetRdbOption(), 0);
    EXPECT_EQ(qvpRegGetSystemManagementKey(), 0);
    EXPECT_EQ(qvpRegGetConnectRetryCount(), 3);
    EXPECT_EQ(qvpRegGetLogGenCount(), 3);
}

TEST_F(SettingsTest, ValuesAndBounds) {
    WriteSettings(
        "IdSyncOption=yes\nRdbOption=1st\nSystemManagementKey=1\nConnectRetryCount=7\n"
        "LogGenCount=250\nResourcePathName=D:\\RES\n");
    char buffer[260];
    qvpRegGetResourcePathName(buffer);
    EXPECT_STREQ(buffer, "D:\\RES");
    EXPECT_EQ(qvpRegGetIdSyncOption(), 1);
    EXPECT_EQ(qvpRegGetRdbOption(), 1);
    EXPECT_EQ(qvpRegGetSystemManagementKey(), 1);
    EXPECT_EQ(qvpRegGetConnectRetryCount(), 7);
    EXPECT_EQ(qvpRegGetLogGenCount(), 3) << "out of bounds gives the default";
    EXPECT_EQ(qvpRegGetInt("ConnectRetryCount", 1, 0, 5), 1);
    WriteSettings("IdSyncOption=YESS\nRdbOption=0\nConnectRetryCount=4x\n");
    EXPECT_EQ(qvpRegGetIdSyncOption(), 0);
    EXPECT_EQ(qvpRegGetRdbOption(), 0);
    EXPECT_EQ(qvpRegGetConnectRetryCount(), 3);
}

// What the settings could not give reaches the first DLL.LOG opened afterwards, once.
TEST_F(SettingsTest, UnusableSettingsGoIntoTheNextDllLogOnce) {
    (void)qvpTakeSettingsProblems();  // what earlier tests of this process left
    WriteSettings("not a setting\nProbeRetries=12x\n");
    for (int i = 0; i < 2; ++i) EXPECT_EQ(qvpRegGetInt("ProbeRetries", 3, 0, 10), 3);
    for (int i = 0; i < 2; ++i) qvpLogClose(qvpLogOpen("DLL.LOG"));
    const std::string log = ReadText(data() / "LOG" / "DLL.LOG");
    const std::string conf = "settings file " + (root() / "qvpapi.conf").string();
    for (const std::string& said : {conf + ": line 3: not a Name=Value line; ignored",
                                    conf + ": ProbeRetries=12x is no number from 0 to 10; 3 is used"}) {
        EXPECT_NE(log.find(said), std::string::npos) << log;
        EXPECT_EQ(log.find(said), log.rfind(said)) << "written once";
    }
}

TEST_F(SettingsTest, GuidUseStatusIsWrittenBack) {
    EXPECT_EQ(qvpRegSetGuidUseStatus(5), 1);
    EXPECT_EQ(qvpRegGetGuidUseStatus(), 1);
    EXPECT_EQ(win::registry::Get("GuidUseStatus").value_or(""), "YES");
    ASSERT_TRUE(win::registry::Flush());
    win::registry::LoadFrom((root() / "qvpapi.conf").string());
    EXPECT_EQ(qvpRegGetGuidUseStatus(), 1);
    qvpRegSetGuidUseStatus(0);
    EXPECT_EQ(win::registry::Get("GuidUseStatus").value_or(""), "NO");
    EXPECT_EQ(qvpRegGetGuidUseStatus(), 0);
}

TEST_F(SettingsTest, PathBuildersAppendTheirTails) {
    WriteSettings("");
    win::registry::Set("PathName", "E:\\QV");
    struct Builder {
        void (*make)(char*);
        const char* expected;
    };
    const Builder builders[] = {
        {qvpMakeMngflPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL"},
        {qvpMakeMngflNodeDefPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\NODEDEF"},
        {qvpMakeMngflNodeGroupPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\NODEGROUP"},
        {qvpMakeMngflJobGenPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\JOBGEN"},
        {qvpMakeMngflJobExecPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\JOBEXEC"},
        {qvpMakeMngflSiteJobPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\SITEJOB"},
        {qvpMakeMngflCollectPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\COLLECTPATH"},
        {qvpMakeMngflSoftReferPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\SOFTREFER"},
        {qvpMakeMngflAttributionPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\ATTRIBUTION\\"},
        {qvpMakeMngflExecutionPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\EXECUTION"},
        {qvpMakeMngflManagingPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\MANAGING"},
        {qvpMakeMngflStatusPath, "E:\\QV\\SERVER\\ZARNQV\\MNGFL\\STATUS"},
        {qvpMakeWorkNodeDefPath, "E:\\QV\\SERVER\\WORK\\MNG\\NODEDEF"},
        {qvpMakeWorkNodePath, "E:\\QV\\SERVER\\WORK\\MNG\\NODE"},
        {qvpMakeWorkNodeGroupPath, "E:\\QV\\SERVER\\WORK\\MNG\\NODEGROUP"},
        {qvpMakeWorkJobGenPath, "E:\\QV\\SERVER\\WORK\\MNG\\JOBGEN"},
        {qvpMakeWorkJobExecPath, "E:\\QV\\SERVER\\WORK\\MNG\\JOBEXEC"},
        {qvpMakeWorkAtrPath, "E:\\QV\\SERVER\\WORK\\MNG\\ATR\\"},
        {qvpMakeRmtinsWorkPath, "E:\\QV\\RMTINS\\WORK"},
        {qvpMakeCmdCollectPath, "E:\\QV\\CMD\\COLLECT"},
        {qvpMakeAclSetFileInfPath, "E:\\QV\\PKG\\ACLSETFL.INF"},
        {qvpMakeAclDirInfPath, "E:\\QV\\PKG\\ACLDIR.INF"},
        {qvpMakeLogPath, "E:\\QV\\LOG"},
    };
    for (const Builder& b : builders) {
        char buffer[260];
        b.make(buffer);
        EXPECT_STREQ(buffer, b.expected);
    }
}

}  // namespace
