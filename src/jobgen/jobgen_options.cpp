// Options of the open JobGen: the ID JobGen, the distribution bits of header byte 68, the
// execution time and schedule, divisional transfer and the registry-information option.
#include <cstring>

#include "core/log.h"
#include "jobgen/jobgen_file.h"

namespace qvp::jobgen {

namespace {

constexpr char kLogicalErr[] = "%s : Logical Err : Code = 0x%8.8x";
constexpr FrameTexts kCreateId = JobGenFrame("qvAPICreateIDJobGen", kLogicalErr);
constexpr FrameTexts kChangeId = JobGenFrame("qvAPIChangeIDJobGen", kLogicalErr);
constexpr FrameTexts kWolSet = JobGenFrame("qvAPIChangeWakeOnLanJobGen");
constexpr FrameTexts kWolGet = JobGenFrame("qvAPIGetWakeOnLanJobGen");
constexpr FrameTexts kMulticastSet = JobGenFrame("qvAPIChangeMulticastJobGen");
constexpr FrameTexts kMulticastGet = JobGenFrame("qvAPIGetMulticastJobGen");
constexpr FrameTexts kPressingSet = JobGenFrame("qvAPIChangePressingDistJobGen");
constexpr FrameTexts kPressingGet = JobGenFrame("qvAPIGetPressingDistJobGen");
// Its START line shows the change flag, written by the body.
constexpr FrameTexts kTimeSet{"qvAPIUpDateTimeJobGen", EndStyle::Decimal, "", nullptr, kLogicalError};
constexpr FrameTexts kTimeGet = JobGenFrame("qvAPIGetTimeJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kSchSet = JobGenFrame("qvAPIUpdateSchTimeJobGen", kLogicalError, EndStyle::RcDc);
constexpr FrameTexts kSchGet = JobGenFrame("qvAPIGetSchTimeJobGen", kLogicalError, EndStyle::RcDc);
constexpr FrameTexts kDivSet = JobGenFrame("qvAPIUpDateDivisionalTransOptionJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kDivGet = JobGenFrame("qvAPIGetDivisionalTransOptionJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kDivParam = JobGenFrame("qvAPIGetDivisionalTransParam", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kRegSet = JobGenFrame("qvAPIUpdateRegInfOptionJobGen", kLogicalError, EndStyle::Decimal);
constexpr FrameTexts kRegGet = JobGenFrame("qvAPIGetRegInfOptionJobGen", kLogicalError, EndStyle::Decimal);

constexpr char kSetterHandle[] = "Parameter Error : JobGen Handle Value is INVALID";
constexpr char kGetterHandle[] = "JobGen Handle Value is INVALID";

namespace msg {
constexpr char kKindInvalid[] = "%s : ucJobKind(%c) is INVALID";
constexpr char kOpenFailed[] = "%s : qvAPICreateJobGen Err : Code = 0x%8.8x";
constexpr char kUnmatch[] = "%s : IDKind UNMATCH";
constexpr char kTimeStart[] = "%s START :dwChangeFlag = 0x%8.8x";
constexpr char kFlag[] = "%s :dwChangeFlag = 0x%8.8x";
constexpr char kSetcls[] = "%s :ucSetcls = %c";
constexpr char kMonthDay[] = "%s :ZARN_CL_MONTH:ExecTime.wDay = 0:error";
constexpr char kMonthDayKept[] = "%s :ZARN_CL_MONTH:ZARN_TIME_EVENTDAY = ExecTime.wDay = 0:error";
constexpr char kWeek[] = "%s :ZARN_CL_WEEK:ucExecWeek = 0:error";
constexpr char kWeekKept[] = "%s :ZARN_CL_WEEK:ZARN_TIME_EVENTWEEK = ucExecWeek = 0:error";
constexpr char kYear[] = "%s :%c:WorkTime.wYear = %d";
constexpr char kMonth[] = "%s :%c:WorkTime.wMonth = %d";
constexpr char kDay[] = "%s :%c:WorkTime.wDay = %d";
constexpr char kFeb30[] = "%s :%c:WorkTime.wMonth.wDay = %d/%d >= 30";
constexpr char kFeb29[] = "%s :%c:WorkTime.wYear.wMonth.wDay = %d/%d/%d = 29";
constexpr char kDay31[] = "%s :%c:WorkTime.wMonth.wDay = %d/%d = 31";
constexpr char kNoTime[] = "%s :%c:WorkTime.wHour.wMinute.wSecond = 99";
constexpr char kHour[] = "%s :%c:WorkTime.wHour = %d";
constexpr char kMinute[] = "%s :%c:WorkTime.wMinute = %d";
constexpr char kSecond[] = "%s :%c:WorkTime.wSecond = %d";
constexpr char kExecDay[] = "%s :%c:ExecTime.wDay = %d";
constexpr char kExecWeek[] = "%s :%c:ucExecWeek = 0x%2.2x";
constexpr char kTiming[] = "%s :%c:ucExecTiming = %c";
constexpr char kTimeNull[] = "%s :lpTimeJobGenData Pointer is NULL";
constexpr char kSchNull[] = "%s : Parameter Error : lpSchDateInf is NULL";
constexpr char kSchOption[] = "%s : Schedule Option  is INVALID : 0x%8.8x";
constexpr char kDivNull[] = "%s :lpDivisionalTransData Pointer is NULL";
constexpr char kDivSize[] = "%s :Parameter Error.  DivisionalSize = %d";
constexpr char kDivInterval[] = "%s :Parameter Error.  TransInterval = %d";
constexpr char kDivOn[] = "%s : DivisionalOption = 1, DivisionalSize = %d, TransInterval = %d";
constexpr char kDivOption[] = "%s :uiDivisionalOption = %d";
constexpr char kRegNull[] = "%s : Parameter Error : lpRegInfData is NULL";
constexpr char kRegValue[] = "%s : Parameter Error : uiReginfRefOption is %d";
}  // namespace msg

constexpr uint32_t kDivisionalSizeMax = 0x7FFFFFFF;
constexpr uint32_t kTransIntervalMax = 1440;
constexpr uint8_t kWol = 0x03;
constexpr uint8_t kMulticast = 0x04;
constexpr uint8_t kPressing = 0x08;


// A setter or getter of one bit group of header byte 68.
int SetBits(const FrameTexts& frame, const void* handle, uint8_t mask, uint8_t bits) {
    return RunApi(frame, 0, [&](CallContext& call) {
        JobGenEdit* edit = EditOf(call, handle, kSetterHandle);
        if (edit == nullptr) return 0;
        edit->header.options = static_cast<uint8_t>((edit->header.options & ~mask) | (bits & mask));
        return 1;
    });
}

int GetBits(const FrameTexts& frame, const void* handle, uint8_t* out, uint8_t mask, const char* nullText) {
    return RunApi(frame, 0, [&](CallContext& call) {
        JobGenEdit* edit = EditOf(call, handle, kGetterHandle);
        if (edit == nullptr) return 0;
        if (out == nullptr) {
            call.Log(nullText, call.function());
            return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        }
        *out = static_cast<uint8_t>(edit->header.options & mask);
        return 1;
    });
}

// ---- execution time ------------------------------------------------------------------------

// Refusal of a value: the message logged, 0x20000057.
template <class... Args>
uint32_t Refuse(CallContext& call, const char* format, Args... args) {
    call.Log(format, call.function(), args...);
    return QVAPI_ERR_INVALID_PARAMETER;
}

bool NoTime(const QVAPI_NODE_TIME& t) { return t.wHour == 99 && t.wMinute == 99 && t.wSecond == 99; }

uint32_t CheckDate(CallContext& call, char cls, const QVAPI_NODE_TIME& d) {
    if (d.wYear == 0 && d.wMonth == 0 && d.wDay == 0) return 0;  // no date
    if (d.wYear > 99) return Refuse(call, msg::kYear, cls, d.wYear);
    if (d.wMonth < 1 || d.wMonth > 12) return Refuse(call, msg::kMonth, cls, d.wMonth);
    if (d.wDay < 1 || d.wDay > 31) return Refuse(call, msg::kDay, cls, d.wDay);
    if (d.wMonth == 2 && d.wDay >= 30) return Refuse(call, msg::kFeb30, cls, d.wMonth, d.wDay);
    if (d.wMonth == 2 && d.wDay == 29 && d.wYear % 4 != 0)
        return Refuse(call, msg::kFeb29, cls, d.wYear, d.wMonth, d.wDay);
    const bool shortMonth = d.wMonth == 4 || d.wMonth == 6 || d.wMonth == 9 || d.wMonth == 11;
    if (shortMonth && d.wDay == 31) return Refuse(call, msg::kDay31, cls, d.wMonth, d.wDay);
    return 0;
}

uint32_t CheckTime(CallContext& call, char cls, const QVAPI_NODE_TIME& t) {
    if (NoTime(t)) return cls == 'M' || cls == 'W' || cls == 'D' ? Refuse(call, msg::kNoTime, cls) : 0;
    if (t.wHour > 23) return Refuse(call, msg::kHour, cls, t.wHour);
    if (t.wMinute > 59) return Refuse(call, msg::kMinute, cls, t.wMinute);
    if (t.wSecond > 59) return Refuse(call, msg::kSecond, cls, t.wSecond);
    return 0;
}

void CopyDate(const QVAPI_NODE_TIME& from, QVAPI_NODE_TIME& to) {
    to.wYear = from.wYear;
    to.wMonth = from.wMonth;
    to.wDay = from.wDay;
}

void CopyTime(const QVAPI_NODE_TIME& from, QVAPI_NODE_TIME& to) {
    to.wHour = from.wHour;
    to.wMinute = from.wMinute;
    to.wSecond = from.wSecond;
}

// Builds the new execution time in a zeroed copy and stores it only when every check passes.
uint32_t UpdateTime(CallContext& call, JobGenEdit& edit, uint32_t flag, const QVAPI_TIME_JOBGEN_DATA& in) {
    if (flag == 0 || (flag & ~0x3Fu) != 0) return Refuse(call, msg::kFlag, flag);
    const TimeJobGenData& cur = edit.time;
    char cls = static_cast<char>(cur.ucSetcls);
    if ((flag & QVAPI_TIME_SETCLS) != 0) {
        cls = static_cast<char>(in.ucSetcls);
        if (cls != 0 && cls != ' ' && cls != 'D' && cls != 'M' && cls != 'W') return Refuse(call, msg::kSetcls, cls);
    }
    TimeJobGenData out;
    std::memset(static_cast<QVAPI_TIME_JOBGEN_DATA*>(&out), 0, sizeof(QVAPI_TIME_JOBGEN_DATA));
    out.ucSetcls = static_cast<uint8_t>(cls);
    uint32_t taken = flag & QVAPI_TIME_SETCLS;
    const bool withTime = cls == ' ' || cls == 'M' || cls == 'W' || cls == 'D' || cls == 'F';
    if (cls == ' ') {
        if ((flag & QVAPI_TIME_DATE) != 0) {
            if (uint32_t code = CheckDate(call, cls, in.WorkTime); code != 0) return code;
            CopyDate(in.WorkTime, out.WorkTime);
            taken |= QVAPI_TIME_DATE;
        } else {
            CopyDate(cur.WorkTime, out.WorkTime);
        }
    } else if (cls == 'M') {
        const bool given = (flag & QVAPI_TIME_DAY) != 0;
        const uint16_t day = given ? in.ExecTime.wDay : cur.ExecTime.wDay;
        if (day == 0) return Refuse(call, given ? msg::kMonthDay : msg::kMonthDayKept);
        if (given && day > 31) return Refuse(call, msg::kExecDay, cls, day);
        out.ExecTime.wDay = day;
        if (given) taken |= QVAPI_TIME_DAY;
    } else if (cls == 'W') {
        const bool given = (flag & QVAPI_TIME_WEEK) != 0;
        const uint8_t week = given ? in.ucExecWeek : cur.ucExecWeek;
        if (week == 0) return Refuse(call, given ? msg::kWeek : msg::kWeekKept);
        if (given && (week & 0x80) != 0) return Refuse(call, msg::kExecWeek, cls, week);
        out.ucExecWeek = week;
        if (given) taken |= QVAPI_TIME_WEEK;
    }
    if (!withTime) {
        out.WorkTime.wHour = out.WorkTime.wMinute = out.WorkTime.wSecond = 99;
    } else if ((flag & QVAPI_TIME_TIME) != 0) {
        if (uint32_t code = CheckTime(call, cls, in.WorkTime); code != 0) return code;
        CopyTime(in.WorkTime, out.WorkTime);
        taken |= QVAPI_TIME_TIME;
    } else {
        CopyTime(cur.WorkTime, out.WorkTime);
        // A class bound to a time of day has one: midnight when none was kept.
        if (NoTime(out.WorkTime) && (cls == 'M' || cls == 'W' || cls == 'D'))
            out.WorkTime.wHour = out.WorkTime.wMinute = out.WorkTime.wSecond = 0;
    }
    out.ucExecTiming = cur.ucExecTiming;
    if ((flag & QVAPI_TIME_TIMING) != 0) {
        const char timing = static_cast<char>(in.ucExecTiming);
        if (timing != 0 && timing != 'B' && timing != 'E' && timing != 'S')
            return Refuse(call, msg::kTiming, cls, timing);
        out.ucExecTiming = static_cast<uint8_t>(timing);
        taken |= QVAPI_TIME_TIMING;
    }
    edit.time = out;
    edit.timeOption = taken;
    return 0;
}

}  // namespace

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateIDJobGen(const char* lpFolder, const char* lpJobGenName, char ucJobKind,
                                                           uint32_t dwReserved1, uint32_t dwReserved2) {
    return qvp::RunApi(kCreateId, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        const char* fn = call.function();
        if (ucJobKind != 0 && !IsIdKindLetter(ucJobKind)) {
            call.Log(msg::kKindInvalid, fn, ucJobKind);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return QVPAPI_INVALID_HANDLE;
        }
        QVPAPI_HANDLE h = qvAPICreateJobGen(lpFolder, lpJobGenName, ucJobKind, dwReserved1, dwReserved2);
        uint32_t code = qvAPIGetLastError();
        QVPAPI& block = call.block();
        auto* edit = static_cast<JobGenEdit*>(block.openJobGen);
        if (h == QVPAPI_INVALID_HANDLE || code != 0) {
            call.Log(msg::kOpenFailed, fn, code);
        } else if (ucJobKind == 0 && edit->idKind == 0) {
            call.Log(msg::kUnmatch, fn);
            code = QVAPI_ERR_INVALID_PARAMETER;
        } else if (!IsIdKindLetter(edit->jobKind)) {
            // A stored JobGen keeps its kind: one the ID rules refuse cannot become an ID JobGen.
            call.Log(msg::kKindInvalid, fn, edit->jobKind);
            code = QVAPI_ERR_INVALID_PARAMETER;
        } else {
            edit->idKind = kIdJobGen;
            return h;
        }
        // Nothing stays open and locked after a failed ID open.
        if (h != QVPAPI_INVALID_HANDLE) EndSession(block, fn, true, false);
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeIDJobGen(QVPAPI_HANDLE hJobGen, uint8_t ucIDKind, uint32_t, uint32_t) {
    return qvp::RunApi(kChangeId, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, hJobGen, "Parameter Err : JobGen Handle Value is INVALID");
        if (edit == nullptr) return 0;
        edit->idKind = ucIDKind;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeAllNodeJobGen(void*, uint32_t, uint32_t, uint32_t) { return 1; }
extern "C" QVPAPI_EXPORT int qvAPICoexistClientInfo(void*, uint32_t, uint32_t) { return 0; }
extern "C" QVPAPI_EXPORT int qvAPICreateADPathJobGen(void*, uint32_t, uint32_t, uint32_t) { return 0; }

extern "C" QVPAPI_EXPORT int qvAPIChangeWakeOnLanJobGen(QVPAPI_HANDLE h, uint32_t dwOption, uint32_t) {
    return SetBits(kWolSet, h, kWol, static_cast<uint8_t>(dwOption & kWol));
}
extern "C" QVPAPI_EXPORT int qvAPIGetWakeOnLanJobGen(QVPAPI_HANDLE h, uint8_t* lpOption, uint32_t, uint32_t) {
    return GetBits(kWolGet, h, lpOption, kWol, "%s :ucWolOption Pointer is NULL");
}
extern "C" QVPAPI_EXPORT int qvAPIChangeMulticastJobGen(QVPAPI_HANDLE h, uint32_t dwOption, uint32_t) {
    return SetBits(kMulticastSet, h, kMulticast, dwOption == kMulticast ? kMulticast : 0);
}
extern "C" QVPAPI_EXPORT int qvAPIGetMulticastJobGen(QVPAPI_HANDLE h, uint8_t* lpOption, uint32_t, uint32_t) {
    return GetBits(kMulticastGet, h, lpOption, kMulticast, "%s :ucMulticastOption Pointer is NULL");
}
extern "C" QVPAPI_EXPORT int qvAPIChangePressingDistJobGen(QVPAPI_HANDLE h, uint32_t dwOption, uint32_t) {
    return SetBits(kPressingSet, h, kPressing, dwOption == kPressing ? kPressing : 0);
}
extern "C" QVPAPI_EXPORT int qvAPIGetPressingDistJobGen(QVPAPI_HANDLE h, uint8_t* lpOption, uint32_t, uint32_t) {
    return GetBits(kPressingGet, h, lpOption, kPressing, "%s :ucPRESDOption Pointer is NULL");
}

extern "C" QVPAPI_EXPORT int qvAPIUpDateTimeJobGen(QVPAPI_HANDLE h, uint32_t dwChangeFlag,
                                                   const QVAPI_TIME_JOBGEN_DATA* lpTimeJobGenData, uint32_t, uint32_t) {
    return qvp::RunApi(kTimeSet, 0, [&](qvp::CallContext& call) {
        call.Log(msg::kTimeStart, call.function(), dwChangeFlag);
        JobGenEdit* edit = EditOf(call, h, kGetterHandle);
        if (edit == nullptr) return 0;
        if (lpTimeJobGenData == nullptr) return Finish(call, Refuse(call, msg::kTimeNull));
        return Finish(call, UpdateTime(call, *edit, dwChangeFlag, *lpTimeJobGenData));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetTimeJobGen(QVPAPI_HANDLE h, QVAPI_TIME_JOBGEN_DATA* lpTimeJobGenData, uint32_t,
                                                uint32_t) {
    return qvp::RunApi(kTimeGet, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h, kGetterHandle);
        if (edit == nullptr) return 0;
        if (lpTimeJobGenData == nullptr) return Finish(call, Refuse(call, msg::kTimeNull));
        QVAPI_TIME_JOBGEN_DATA out = edit->time;
        if (out.ucSetcls == 0) out.ucSetcls = ' ';
        if (out.ucExecTiming == 0) out.ucExecTiming = std::strchr("GISV", edit->jobKind) != nullptr && edit->jobKind != 0 ? 'E' : ' ';
        *lpTimeJobGenData = out;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIUpdateSchTimeJobGen(QVPAPI_HANDLE h, const QVAPI_SCH_DATE_INF* lpSchDateInf, uint32_t,
                                                      uint32_t) {
    static_assert(offsetof(JobGenHeader, schedule) - offsetof(JobGenHeader, scheduleOption) == 4);
    static_assert(sizeof(QVAPI_SCH_DATE_INF) == 4 + sizeof(JobGenHeader::schedule));
    return qvp::RunApi(kSchSet, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h, kGetterHandle);
        if (edit == nullptr) return 0;
        if (lpSchDateInf == nullptr) return Finish(call, Refuse(call, msg::kSchNull));
        if ((lpSchDateInf->uiScheduleOption & ~0x7u) != 0)
            return Finish(call, Refuse(call, msg::kSchOption, lpSchDateInf->uiScheduleOption));
        edit->header.scheduleOption = lpSchDateInf->uiScheduleOption;
        std::memcpy(edit->header.schedule, lpSchDateInf->SchTime, sizeof edit->header.schedule);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetSchTimeJobGen(QVPAPI_HANDLE h, QVAPI_SCH_DATE_INF* lpSchDateInf, uint32_t, uint32_t) {
    return qvp::RunApi(kSchGet, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h, kGetterHandle);
        if (edit == nullptr) return 0;
        if (lpSchDateInf == nullptr) return Finish(call, Refuse(call, msg::kSchNull));
        lpSchDateInf->uiScheduleOption = edit->header.scheduleOption;
        std::memcpy(lpSchDateInf->SchTime, edit->header.schedule, sizeof edit->header.schedule);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIUpDateDivisionalTransOptionJobGen(QVPAPI_HANDLE h,
                                                                    const QVAPI_DIVISIONAL_TRANS_DATA* lpData, uint32_t,
                                                                    uint32_t) {
    return qvp::RunApi(kDivSet, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h, kGetterHandle);
        if (edit == nullptr) return 0;
        if (lpData == nullptr) return Finish(call, Refuse(call, msg::kDivNull));
        DivisionalTransData out;
        if (lpData->uiDivisionalOption == 1) {
            if (lpData->DivisionalSize == 0 || lpData->DivisionalSize > kDivisionalSizeMax)
                return Finish(call, Refuse(call, msg::kDivSize, static_cast<int>(lpData->DivisionalSize)));
            if (lpData->TransInterval == 0 || lpData->TransInterval > kTransIntervalMax)
                return Finish(call, Refuse(call, msg::kDivInterval, static_cast<int>(lpData->TransInterval)));
            call.Log(msg::kDivOn, call.function(), static_cast<int>(lpData->DivisionalSize),
                     static_cast<int>(lpData->TransInterval));
            out = {1, lpData->DivisionalSize, lpData->TransInterval};
        } else if (lpData->uiDivisionalOption != 0) {
            return Finish(call, Refuse(call, msg::kDivOption, static_cast<int>(lpData->uiDivisionalOption)));
        }
        edit->divisional = out;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetDivisionalTransOptionJobGen(QVPAPI_HANDLE h, QVAPI_DIVISIONAL_TRANS_DATA* lpData,
                                                                 uint32_t, uint32_t) {
    return qvp::RunApi(kDivGet, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h, kGetterHandle);
        if (edit == nullptr) return 0;
        if (lpData == nullptr) return Finish(call, Refuse(call, msg::kDivNull));
        std::memset(lpData, 0, sizeof *lpData);
        lpData->uiDivisionalOption = edit->divisional.option;
        lpData->DivisionalSize = edit->divisional.size;
        lpData->TransInterval = edit->divisional.interval;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetDivisionalTransParam(QVAPI_DIVISIONAL_TRANS_DATA* lpData, uint32_t, uint32_t) {
    return qvp::RunApi(kDivParam, 0, [&](qvp::CallContext& call) {
        if (lpData == nullptr) return Finish(call, Refuse(call, msg::kDivNull));
        const QVPAPI& block = call.block();
        const bool on = block.divisionalTransferSize != 0;
        // Only the three words: the caller's record may be no larger.
        lpData->uiDivisionalOption = on ? 1 : 0;
        lpData->DivisionalSize = on ? block.divisionalTransferSize : 0;
        lpData->TransInterval = on ? block.divisionalTransferInterval : 0;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIUpdateRegInfOptionJobGen(QVPAPI_HANDLE h, const uint32_t* lpRegInfData, uint32_t,
                                                           uint32_t) {
    return qvp::RunApi(kRegSet, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h, kSetterHandle);
        if (edit == nullptr) return 0;
        if (lpRegInfData == nullptr) {
            call.Log(msg::kRegNull, call.function());
            return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        }
        if (*lpRegInfData != 0 && *lpRegInfData != 4) {
            call.Log(msg::kRegValue, call.function(), static_cast<int>(*lpRegInfData));
            return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        }
        edit->reginfRefOption = *lpRegInfData | 0x2;  // 0x2: set during this edit
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetRegInfOptionJobGen(QVPAPI_HANDLE h, uint32_t* lpRegInfData, uint32_t, uint32_t) {
    return qvp::RunApi(kRegGet, 0, [&](qvp::CallContext& call) {
        JobGenEdit* edit = EditOf(call, h, kGetterHandle);
        if (edit == nullptr) return 0;
        if (lpRegInfData == nullptr) return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        const uint32_t stored = edit->reginfRefOption;
        *lpRegInfData = stored == 0 || stored == 2 ? 0 : 4;
        return 1;
    });
}
