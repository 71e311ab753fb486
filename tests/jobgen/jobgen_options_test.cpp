// Options of the open JobGen through commit and re-open (header bytes 68-155), the boundary
// values of each setter, and the ID open.
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/log.h"

#include "jobgen_env.h"

namespace qvptest {
namespace {

JobGenHeader HeaderOf(const fs::path& file) {
    JobGenHeader h{};
    const auto bytes = NodeStoreBuilder::ReadBytes(file);
    if (bytes.size() >= sizeof h) std::memcpy(&h, bytes.data(), sizeof h);
    return h;
}

QVAPI_TIME_JOBGEN_DATA Time(uint8_t cls, QVAPI_NODE_TIME work, uint16_t day = 0, uint8_t week = 0, uint8_t timing = 0) {
    QVAPI_TIME_JOBGEN_DATA t{};
    t.ucSetcls = cls;
    t.ucExecTiming = timing;
    t.WorkTime = work;
    t.ExecTime.wDay = day;
    t.ucExecWeek = week;
    return t;
}
QVAPI_NODE_TIME Date(uint16_t y, uint16_t m, uint16_t d, uint16_t hh = 99, uint16_t mm = 99, uint16_t ss = 99) {
    return QVAPI_NODE_TIME{y, m, 0, d, hh, mm, ss, 0};
}

TEST_F(JobGenTest, OptionsTravelThroughCommitAndReopen) {
    const fs::path file = Store() / "OPT/jobgenfile";
    QVPAPI_HANDLE h = Open("", "OPT", 'V');
    ASSERT_EQ(qvAPICreateClientJobGen(h, "pc1", QVAPI_JOBGEN_BY_ID, 0), 1);
    QVAPI_TIME_JOBGEN_DATA t = Time('W', Date(0, 0, 0, 10, 20, 30), 0, 0x15, 'S');
    ASSERT_EQ(qvAPIUpDateTimeJobGen(h, 0x01 | 0x04 | 0x10 | 0x20, &t, 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPIChangeWakeOnLanJobGen(h, 3, 0), 1);
    EXPECT_EQ(qvAPIChangeMulticastJobGen(h, 4, 0), 1);
    EXPECT_EQ(qvAPIChangePressingDistJobGen(h, 8, 0), 1);
    QVAPI_SCH_DATE_INF sch{5, {{2024, 1, 1, 2, 3, 4, 5, 6}, {2025, 7, 0, 8, 9, 10, 11, 12}, {1, 2, 3, 4, 5, 6, 7, 8}}};
    EXPECT_EQ(qvAPIUpdateSchTimeJobGen(h, &sch, 0, 0), 1);
    const uint32_t reg = 4;
    EXPECT_EQ(qvAPIUpdateRegInfOptionJobGen(h, &reg, 0, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());

    auto bytes = Bytes(file);
    ASSERT_EQ(bytes.size(), 256u + 1284u);
    std::vector<uint8_t> expected(88, 0);
    expected[68] = 0x0F;
    expected[71] = 0x15;
    expected[72] = 'V';
    std::memcpy(&expected[81], "102030", 6);
    expected[87] = 'S';
    EXPECT_TRUE(std::equal(expected.begin() + 68, expected.end(), bytes.begin() + 68));
    EXPECT_EQ(std::memcmp(bytes.data() + 104, &sch, sizeof sch), 0);
    EXPECT_EQ(bytes[256 + 1], 'W');
    EXPECT_EQ(bytes[256 + 3], 6);  // the registry option, marked as set during an edit

    // A re-open and commit loses nothing: weekday, time, options, schedule, registry option.
    const auto committed = bytes;
    h = Open("", "OPT");
    QVAPI_TIME_JOBGEN_DATA got{};
    ASSERT_EQ(qvAPIGetTimeJobGen(h, &got, 0, 0), 1);
    EXPECT_EQ(got.ucSetcls, 'W');
    EXPECT_EQ(got.ucExecWeek, 0x15);
    EXPECT_EQ(got.WorkTime.wMinute, 20);
    uint8_t bits = 0;
    ASSERT_EQ(qvAPIGetWakeOnLanJobGen(h, &bits, 0, 0), 1);
    EXPECT_EQ(bits, 3);
    uint32_t regGot = 0;
    ASSERT_EQ(qvAPIGetRegInfOptionJobGen(h, &regGot, 0, 0), 1);
    EXPECT_EQ(regGot, 4u);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    bytes = Bytes(file);
    EXPECT_TRUE(std::equal(committed.begin() + 68, committed.begin() + 156, bytes.begin() + 68));
    EXPECT_EQ(bytes[256 + 3], 6);

    // A class change clears what the new class does not use, in the stored header too.
    h = Open("", "OPT");
    t = Time('M', Date(0, 0, 0), 15);
    ASSERT_EQ(qvAPIUpDateTimeJobGen(h, 0x01 | 0x08, &t, 0, 0), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1);
    JobGenHeader header = HeaderOf(file);
    EXPECT_EQ(std::string(header.execDay, 2), "15");
    EXPECT_EQ(header.execWeek, 0);
    EXPECT_EQ(std::string(header.workTime, 6), "102030");
    h = Open("", "OPT");
    t = Time(' ', Date(24, 2, 29));
    ASSERT_EQ(qvAPIUpDateTimeJobGen(h, 0x01 | 0x02 | 0x04, &t, 0, 0), 1) << Hex(qvAPIGetLastError());
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1);
    header = HeaderOf(file);
    EXPECT_EQ(std::string(header.workDate, 6), "240229");
    EXPECT_EQ(std::string(header.workTime, 6), std::string(6, '\0'));
    EXPECT_EQ(std::string(header.execDay, 2), std::string(2, '\0'));

    // Divisional transfer of a kind-D JobGen.
    h = Open("", "DIV");
    ASSERT_EQ(qvAPICreateClientJobGen(h, "pc1", QVAPI_JOBGEN_BY_ID, 0), 1);
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1", "0001", 0, 0), 1);
    QVAPI_DIVISIONAL_TRANS_DATA div{1, 1, 1440, {}};
    ASSERT_EQ(qvAPIUpDateDivisionalTransOptionJobGen(h, &div, 0, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1);
    header = HeaderOf(Store() / "DIV/jobgenfile");
    EXPECT_EQ(header.divisionalSize, 1u);
    EXPECT_EQ(header.transInterval, 1440u);
    h = Open("", "DIV");
    std::memset(&div, 0xEE, sizeof div);
    ASSERT_EQ(qvAPIGetDivisionalTransOptionJobGen(h, &div, 0, 0), 1);
    EXPECT_EQ(div.uiDivisionalOption, 1u);
    EXPECT_EQ(div.TransInterval, 1440u);
    EXPECT_EQ(div.ucReserved[243], 0);
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);
}

TEST_F(JobGenTest, SettersTakeTheirBoundaryValuesAndRefuseTheRest) {
    QVPAPI_HANDLE h = Open("", "B", 'S');
    QVAPI_TIME_JOBGEN_DATA got{};
    ASSERT_EQ(qvAPIGetTimeJobGen(h, &got, 0, 0), 1);
    EXPECT_EQ(got.ucSetcls, ' ');
    EXPECT_EQ(got.ucExecTiming, 'E');
    struct TimeCase {
        uint32_t flag;
        QVAPI_TIME_JOBGEN_DATA data;
        bool ok;
    };
    const TimeCase cases[] = {
        {0, Time(' ', Date(0, 0, 0)), false},
        {0x40, Time(' ', Date(0, 0, 0)), false},
        {0x01, Time('X', Date(0, 0, 0)), false},
        {0x01, Time('M', Date(0, 0, 0)), false},  // no day of the month stored
        {0x01 | 0x08, Time('M', Date(0, 0, 0), 32), false},
        {0x01 | 0x08, Time('M', Date(0, 0, 0), 15), true},
        {0x01 | 0x10, Time('W', Date(0, 0, 0), 0, 0x80), false},
        {0x01 | 0x10, Time('W', Date(0, 0, 0), 0, 0x7F), true},
        {0x01 | 0x04, Time('D', Date(0, 0, 0)), false},  // a time class needs a time
        {0x01 | 0x04, Time('D', Date(0, 0, 0, 23, 59, 59)), true},
        {0x04, Time('D', Date(0, 0, 0, 24, 0, 0)), false},
        {0x04, Time('D', Date(0, 0, 0, 0, 60, 0)), false},
        {0x04, Time('D', Date(0, 0, 0, 0, 0, 60)), false},
        {0x01 | 0x02 | 0x04, Time(' ', Date(0, 0, 0)), true},  // no date, no time
        {0x01 | 0x02, Time(' ', Date(0, 2, 29)), true},
        {0x01 | 0x02, Time(' ', Date(1, 2, 29)), false},
        {0x01 | 0x02, Time(' ', Date(0, 2, 30)), false},
        {0x01 | 0x02, Time(' ', Date(0, 4, 31)), false},
        {0x01 | 0x02, Time(' ', Date(0, 5, 31)), true},
        {0x01 | 0x02, Time(' ', Date(0, 13, 1)), false},
        {0x01 | 0x02, Time(' ', Date(100, 1, 1)), false},
        {0x20, Time(' ', Date(0, 0, 0), 0, 0, 'X'), false},
        {0x20, Time(' ', Date(0, 0, 0), 0, 0, 'B'), true},
    };
    for (const TimeCase& c : cases) {
        ASSERT_EQ(qvAPIGetTimeJobGen(h, &got, 0, 0), 1);
        const int result = qvAPIUpDateTimeJobGen(h, c.flag, &c.data, 0, 0);
        const uint32_t code = qvAPIGetLastError();
        EXPECT_EQ(result, c.ok ? 1 : 0) << Hex(c.flag) << " class " << static_cast<char>(c.data.ucSetcls);
        QVAPI_TIME_JOBGEN_DATA after{};
        ASSERT_EQ(qvAPIGetTimeJobGen(h, &after, 0, 0), 1);
        if (!c.ok) {
            EXPECT_EQ(code, QVAPI_ERR_INVALID_PARAMETER);
            EXPECT_EQ(std::memcmp(&after, &got, sizeof got), 0) << "a refusal changed the time";
        }
    }
    // A kept "no time" becomes midnight for a class bound to a time of day.
    QVAPI_TIME_JOBGEN_DATA t = Time(' ', Date(0, 0, 0));
    ASSERT_EQ(qvAPIUpDateTimeJobGen(h, 0x01 | 0x04, &t, 0, 0), 1);
    t = Time('D', Date(0, 0, 0));
    ASSERT_EQ(qvAPIUpDateTimeJobGen(h, 0x01, &t, 0, 0), 1);
    ASSERT_EQ(qvAPIGetTimeJobGen(h, &got, 0, 0), 1);
    EXPECT_EQ(got.WorkTime.wHour, 0);

    QVAPI_SCH_DATE_INF sch{};
    sch.uiScheduleOption = 8;
    EXPECT_EQ(qvAPIUpdateSchTimeJobGen(h, &sch, 0, 0), 0);
    sch.uiScheduleOption = 7;
    EXPECT_EQ(qvAPIUpdateSchTimeJobGen(h, &sch, 0, 0), 1);

    struct DivCase {
        QVAPI_DIVISIONAL_TRANS_DATA data;
        bool ok;
        uint32_t size;  // stored
    };
    const DivCase divs[] = {{{1, 1, 1440, {}}, true, 1},       {{1, 1, 1441, {}}, false, 1},
                            {{1, 0x80000000u, 1, {}}, false, 1}, {{1, 5, 0, {}}, false, 1},
                            {{0, 5, 5, {}}, true, 0},          {{2, 5, 5, {}}, false, 0}};
    for (const DivCase& d : divs) {
        EXPECT_EQ(qvAPIUpDateDivisionalTransOptionJobGen(h, &d.data, 0, 0), d.ok ? 1 : 0);
        QVAPI_DIVISIONAL_TRANS_DATA got2{};
        ASSERT_EQ(qvAPIGetDivisionalTransOptionJobGen(h, &got2, 0, 0), 1);
        EXPECT_EQ(got2.DivisionalSize, d.size);
    }

    uint32_t reg = 7;
    ASSERT_EQ(qvAPIGetRegInfOptionJobGen(h, &reg, 0, 0), 1);
    EXPECT_EQ(reg, 0u);
    reg = 1;
    EXPECT_EQ(qvAPIUpdateRegInfOptionJobGen(h, &reg, 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);

    struct BitCase {
        int (*set)(QVPAPI_HANDLE, uint32_t, uint32_t);
        int (*get)(QVPAPI_HANDLE, uint8_t*, uint32_t, uint32_t);
        uint32_t option;
        uint8_t read;
    };
    const BitCase bitsCases[] = {
        {qvAPIChangeWakeOnLanJobGen, qvAPIGetWakeOnLanJobGen, 2, 2},
        {qvAPIChangeWakeOnLanJobGen, qvAPIGetWakeOnLanJobGen, 3, 3},
        {qvAPIChangeMulticastJobGen, qvAPIGetMulticastJobGen, 1, 0},
        {qvAPIChangeMulticastJobGen, qvAPIGetMulticastJobGen, 0x0C, 0},
        {qvAPIChangeMulticastJobGen, qvAPIGetMulticastJobGen, 4, 4},
        {qvAPIChangePressingDistJobGen, qvAPIGetPressingDistJobGen, 0x0C, 0},
        {qvAPIChangePressingDistJobGen, qvAPIGetPressingDistJobGen, 8, 8},
    };
    for (const BitCase& b : bitsCases) {
        uint8_t read = 0xFF;
        ASSERT_EQ(b.set(h, b.option, 0), 1);
        ASSERT_EQ(b.get(h, &read, 0, 0), 1);
        EXPECT_EQ(read, b.read) << b.option;
    }
    uint8_t wol = 0;
    ASSERT_EQ(qvAPIGetWakeOnLanJobGen(h, &wol, 0, 0), 1);
    EXPECT_EQ(wol, 3);  // the other setters left the wake-on-LAN bits alone
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);

    // Without a session the manager gave no defaults.
    QVAPI_DIVISIONAL_TRANS_DATA param{7, 7, 7, {}};
    ASSERT_EQ(qvAPIGetDivisionalTransParam(&param, 0, 0), 1);
    EXPECT_EQ(param.uiDivisionalOption, 0u);
}

TEST_F(JobGenTest, IdOpenLeavesNothingOpenWhenItFails) {
    EXPECT_EQ(qvAPICreateIDJobGen("", "ID", 'M', 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPICreateIDJobGen("", "ID", 0, 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(block_->openJobGen, nullptr);

    QVPAPI_HANDLE h = qvAPICreateIDJobGen("", "ID", 'V', 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPICreateMasterJobGen(h, "\\mst1", 0, 0), 0);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(qvAPIChangeJobKindJobGen(h, 'M'), 0);
    ASSERT_EQ(qvAPIChangeJobKindJobGen(h, 0), 1);  // 'D'
    ASSERT_EQ(qvAPIChangeJobKindJobGen(h, 'V'), 1);
    ASSERT_EQ(qvAPICreateClientJobGen(h, "pc1", QVAPI_JOBGEN_AS_GIVEN, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(HeaderOf(Store() / "ID/jobgenfile").idKind, 5);
    QVAPI_JOBGEN found{};
    ASSERT_EQ(qvAPIFindJobGen("", "ID", &found, 0, 0), 1);
    EXPECT_EQ(found.uiKind, QVAPI_JOBGEN_IDJOBGEN);
    h = qvAPICreateIDJobGen("", "ID", 0, 0, 0);
    ASSERT_NE(h, QVPAPI_INVALID_HANDLE);
    ASSERT_EQ(qvAPICloseJobGen(h, 1), 1);

    // A stored kind M keeps its kind on re-open: it cannot become an ID JobGen.
    h = Open("", "MK", 'M');
    ASSERT_EQ(qvAPICreateMasterJobGen(h, "\\mst1", 0, 0), 1);
    ASSERT_EQ(qvAPICreatePackageJobGen(h, 'C', "01", "pkgA", "1", "0001", 0, 0), 1);
    ASSERT_EQ(qvAPICloseJobGen(h, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPICreateIDJobGen("", "MK", 'D', 0, 0), QVPAPI_INVALID_HANDLE);
    EXPECT_EQ(qvAPIGetLastError(), QVAPI_ERR_INVALID_PARAMETER);
    EXPECT_EQ(block_->openJobGen, nullptr);
    EXPECT_EQ(HeaderOf(Store() / "MK/jobgenfile").jobKind, 'M');
}

// The time setter's START line shows the change flag it was given, even for a refused flag.
TEST_F(JobGenTest, TimeSetterLogsItsChangeFlag) {
    block_->dllLogId = qvpLogOpen("DLL.LOG");
    QVPAPI_HANDLE h = Open("", "LOGGED");
    QVAPI_TIME_JOBGEN_DATA t = Time('D', Date(0, 0, 0, 1, 2, 3));
    EXPECT_EQ(qvAPIUpDateTimeJobGen(h, 0x05, &t, 0, 0), 1) << Hex(qvAPIGetLastError());
    EXPECT_EQ(qvAPIUpDateTimeJobGen(h, 0x40, &t, 0, 0), 0);
    qvpLogClose(block_->dllLogId);
    block_->dllLogId = 0;
    std::ifstream in(Data() / "LOG" / "DLL.LOG", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("qvAPIUpDateTimeJobGen START :dwChangeFlag = 0x00000005 "), std::string::npos) << log;
    EXPECT_NE(log.find("qvAPIUpDateTimeJobGen START :dwChangeFlag = 0x00000040 "), std::string::npos);
}

}  // namespace
}  // namespace qvptest
