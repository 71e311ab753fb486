// Job control: execute, retry, run to completion, divisional transfer, delete a job or one node
// command of it, copy a job's execution file out, and the caller-built deletion request. Each
// checks its arguments and the job's file, sends one request and maps the reply.
#include "jobs/job_control.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/fresh_folder.h"
#include "core/paths.h"
#include "core/text.h"
#include "jobs/id_jobs.h"
#include "jobs/job_texts.h"
#include "jobs/jobexec_file.h"
#include "jobs/site_id_jobs.h"
#include "platform/win.h"
#include "records/records.h"
#include "records/requests.h"
#include "session/checkers.h"
#include "session/message.h"
#include "share/tcp/tcpsock.h"

namespace qvp::jobs {

namespace {

constexpr uint32_t kInvalidParameter = 0x20000057u;
constexpr uint32_t kNotFound = 0x20610000u;
constexpr uint32_t kUnexpectedData = 0x2000054Fu;
constexpr uint32_t kResource = 0x20100000u;
constexpr uint32_t kDeleteForced = 0xFFFF;
constexpr char kCompleteLetter = 'F';
constexpr char kRetryLetters[] = "REACOPQ";  // fdwRetryKind 1 to 7
constexpr size_t kPathMax = 260;

// A text argument: NULL and empty are refused with their own lines.
bool CheckText(CallContext& call, const char* value, const char* label) {
    if (value != nullptr && *value != '\0') return true;
    call.Log(value == nullptr ? text::kArgNull : text::kArgEmpty, call.function(), label);
    call.Fail(kInvalidParameter);
    return false;
}

// The job's path and its jobexecfile on disk. A path that cannot name a job (a "." level, too
// long) is refused as a missing file is: nothing is sent for it.
bool CheckJob(CallContext& call, const char* folder, const char* number, uint32_t missingCode, std::string& jobPath,
              const char* statName = nullptr, std::string* filePath = nullptr,
              JobTree tree = JobTree::JobExec) {
    jobPath = JobPathOf(folder, number);
    std::string file;
    const bool usable = JobExecFilePath(jobPath, file, JobTreeRoot(tree));
    if (!usable || win::GetFileAttributes(file.c_str()) == win::INVALID_FILE_ATTRIBUTES) {
        const char* shown = usable ? file.c_str() : jobPath.c_str();
        call.Log(text::kStatError, statName != nullptr ? statName : call.function(), shown, win::CRT_ENOENT);
        call.Fail(missingCode);
        return false;
    }
    if (filePath != nullptr) *filePath = file;
    return true;
}

// A request over one frame is the caller's error and is never sent.
bool Fits(CallContext& call, const RequestBuilder& request) {
    if (request.Fits()) return true;
    call.Log(text::kRequestTooLong, call.function());
    call.Fail(kInvalidParameter);
    return false;
}

// Sends a request and classifies the reply with `check` (0 = accepted). 1, or 0 with the
// transport code or the reply's code. The failures log under `sendName` and `refusedName`.
int Send(CallContext& call, const RequestBuilder* request, std::string_view rawText, const char* sendName,
         int (*check)(const char*), const char* refusedText, const char* refusedName) {
    QVPAPI& block = call.block();
    const int got = request != nullptr
        ? qvpExchange(block, *request, block.fgetReplyBuffer, sizeof block.fgetReplyBuffer)
        : qvpExchangeText(block, rawText, block.fgetReplyBuffer, sizeof block.fgetReplyBuffer);
    if (got < 0) {
        call.Log(got == kQvpExchangeSendFailed ? text::kSendError : text::kRecvError, sendName);
        call.FailFromRecordedError();
        return 0;
    }
    qvp::qvAPISetErrorInfo(&block, kErrCategoryJobAccess, block.fgetReplyBuffer, 0, 0);
    if (check(block.fgetReplyBuffer) == 0) return 1;
    call.Log(refusedText, refusedName, block.fgetReplyBuffer);
    FailFromReply(call);
    return 0;
}

// Retry and completion: one JRTY with the kind letter, for all nodes or one.
int Retry(CallContext& call, const char* folder, const char* number, const char* nodePath, uint32_t kind,
          bool complete) {
    if (!CheckText(call, number, "JobNo")) return 0;
    std::string jobPath;
    if (!CheckJob(call, folder, number, kNotFound, jobPath)) return 0;
    std::string dotted;
    char letter = kCompleteLetter;
    if (!complete) {
        if (nodePath != nullptr) {
            // The dotted name is built in a 260-character buffer: a longer path is refused, not cut.
            const size_t length = strnlen(nodePath, kPathMax + 1);
            if (length == 0 || length + (nodePath[0] == '\\' ? 0 : 1) > kPathMax) {
                call.Log(text::kNodePathError, call.function(), nodePath[0] == '\0' ? "" : "(too long)");
                call.Fail(kInvalidParameter);
                return 0;
            }
            const std::string path = nodePath[0] == '\\' ? std::string(nodePath) : "\\" + std::string(nodePath);
            char buffer[kPathMax + 1];
            dotted = qvpPathToDottedName(path.c_str(), buffer);
        }
        if (kind < 1 || kind > 7) {
            call.Log(text::kRetryKindError, call.function(), static_cast<int>(kind));
            call.Fail(kInvalidParameter);
            return 0;
        }
        letter = kRetryLetters[kind - 1];
    }
    const RequestBuilder request = records::request::Jrty(jobPath, dotted, letter);
    if (!Fits(call, request)) return 0;
    return Send(call, &request, {}, complete ? call.function() : text::kRetrySendName, qvpAPICheckJrtyReply,
                text::kJrtyError, call.function());
}

// The requests the record layer sends (and logs): a refusal it leaves unmapped is 0x2000054F.
int ByRecordLayer(CallContext& call, int sent) {
    if (sent == 1) return 1;
    if (call.block().errorCategory == kErrCategoryJobAccess) FailFromReply(call);
    else call.FailFromRecordedError();
    return 0;
}

// Deletes one job of the job tree or of the site tree through the manager.
// A caller that gave up on a pending creation deletes the job: the JobGen is put back and
// unlocked whatever the deletion gives.
int DeleteJobOf(CallContext& call, JobTree tree, const char* folder, const char* number, uint32_t option) {
    const int siteFlag = tree == JobTree::SiteJob ? 1 : 0;
    struct Release {
        QVPAPI& block;
        const char* function;
        ~Release() { ReleasePendingCreation(block, function); }
    } release{call.block(), call.function()};
    std::string jobPath;
    if (!CheckText(call, number, "JobNo") ||
        !CheckJob(call, folder, number, kInvalidParameter, jobPath, nullptr, nullptr, tree))
        return 0;
    const auto shape = records::request::Jdel(jobPath, siteFlag == 1, option == kDeleteForced);
    if (!Fits(call, shape)) return 0;
    return ByRecordLayer(call, qvpAPIDeleteJob(&call.block(), jobPath.c_str(), siteFlag, option));
}

// The work folder of the copies: <PathName>\SERVER\WORK\MNG\JOBEXEC\<opener thread id>.
std::string CopyFolder(const QVPAPI& block) {
    const win::DWORD tid = block.openerThreadId != 0 ? block.openerThreadId : win::GetCurrentThreadId();
    return PathOf(qvpMakeWorkJobExecPath) + "\\" + std::to_string(tid);
}

}  // namespace

std::string JobPathOf(const char* folder, std::string_view number) {
    const bool isFolder = folder != nullptr && folder[0] == '\\' && folder[1] != '\0';
    return (isFolder ? std::string(folder) : std::string()) + "\\" + std::string(number);
}

int qvAPIDeleteSiteJob(const char* lpFolderPath, const char* lpJobNo, uint32_t dwOption, uint32_t) {
    static constexpr FrameTexts texts{"qvAPIDeleteSiteJob", EndStyle::Decimal, nullptr, nullptr, text::kLogicalError};
    return RunApi(texts, 0, [&](CallContext& call) {
        return DeleteJobOf(call, JobTree::SiteJob, lpFolderPath, lpJobNo, dwOption);
    });
}

void FailFromReply(CallContext& call) {
    call.FailFromRecordedError();
    if (call.code() == 0) call.Fail(kUnexpectedData);
}

}  // namespace qvp::jobs

using namespace qvp::jobs;
namespace request = qvp::records::request;

namespace {

constexpr qvp::FrameTexts ControlFrame(const char* name, const char* endName = nullptr,
                                       const char* exceptionName = nullptr) {
    return qvp::FrameTexts{name, qvp::EndStyle::Decimal, nullptr, nullptr, text::kLogicalError, nullptr, endName,
                           exceptionName};
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIExecJob(const char* lpFolderPath, const char* lpJobNo, uint32_t, uint32_t) {
    static constexpr qvp::FrameTexts texts = ControlFrame("qvAPIExecJob");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        std::string jobPath;
        if (!CheckText(call, lpJobNo, "JobNo") || !CheckJob(call, lpFolderPath, lpJobNo, kInvalidParameter, jobPath))
            return 0;
        const auto shape = request::Jexc(jobPath);
        if (!Fits(call, shape)) return 0;
        return ByRecordLayer(call, qvpAPIExecJob(&call.block(), jobPath.c_str()));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIExecRetryJob(const char* lpFolderPath, const char* lpJobNo, const char* lpNodePath,
                                               uint32_t fdwRetryKind, uint32_t, uint32_t) {
    static constexpr qvp::FrameTexts texts = ControlFrame("qvAPIExecRetryJob", nullptr, text::kRetryExceptionName);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return Retry(call, lpFolderPath, lpJobNo, lpNodePath, fdwRetryKind, false);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIExecToCompleteJob(const char* lpFolderPath, const char* lpJobNo, uint32_t,
                                                    uint32_t) {
    static constexpr qvp::FrameTexts texts = ControlFrame("qvAPIExecToCompleteJob");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return Retry(call, lpFolderPath, lpJobNo, nullptr, 0, true);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIExecDivisionalTransJob(const char* lpJobNo, const char* lpFirst,
                                                         const char* lpSecond, uint32_t, uint32_t) {
    static constexpr qvp::FrameTexts texts = ControlFrame("qvAPIExecDivisionalTransJob");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (!CheckText(call, lpJobNo, "JobNo")) return 0;
        if (lpFirst == nullptr || lpSecond == nullptr) {
            call.Log(text::kArgNull, call.function(), lpFirst == nullptr ? "First Text" : "Second Text");
            call.Fail(kInvalidParameter);
            return 0;
        }
        // No existence check: the manager's reply decides.
        const qvp::RequestBuilder r = request::JrtyDivisional(lpJobNo, lpFirst, lpSecond);
        if (!Fits(call, r)) return 0;
        return Send(call, &r, {}, call.function(), qvpAPICheckJrtyReply, text::kJrtyError, call.function());
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJob(const char* lpFolderPath, const char* lpJobNo, uint32_t dwOption,
                                            uint32_t) {
    static constexpr qvp::FrameTexts texts = ControlFrame("qvAPIDeleteJob");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return DeleteJobOf(call, JobTree::JobExec, lpFolderPath, lpJobNo, dwOption);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteCommand(const char* lpFolderPath, const char* lpJobNo,
                                                const char* lpNodeName, const char* lpNodeCmdNo) {
    static constexpr qvp::FrameTexts texts = ControlFrame("qvAPIDeleteCommand");
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (!CheckText(call, lpJobNo, "JobNo") || !CheckText(call, lpNodeName, "NodeName") ||
            !CheckText(call, lpNodeCmdNo, "NodeCmdNo"))
            return 0;
        std::string jobPath;
        if (!CheckJob(call, lpFolderPath, lpJobNo, kInvalidParameter, jobPath)) return 0;
        const auto shape = request::JdelCommand(jobPath, lpNodeName, lpNodeCmdNo);
        if (!Fits(call, shape)) return 0;
        return ByRecordLayer(call, qvpAPIDeleteCommand(&call.block(), jobPath.c_str(), lpNodeName, lpNodeCmdNo));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetJobEx(const char* lpFolderPath, const char* lpJobNo, char* lpWriteFileName) {
    static constexpr qvp::FrameTexts texts = ControlFrame("qvAPIGetJobEx", text::kGetJobExEndName);
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (lpJobNo == nullptr || lpWriteFileName == nullptr) {
            call.Log(text::kArgNull, call.function(), lpJobNo == nullptr ? "JobNo" : "WriteFileName");
            call.Fail(kInvalidParameter);
            return 0;
        }
        if (!CheckText(call, lpJobNo, "JobNo")) return 0;
        std::string jobPath, source;
        if (!CheckJob(call, lpFolderPath, lpJobNo, kInvalidParameter, jobPath, text::kGetJobExName, &source)) return 0;
        const std::string folder = CopyFolder(call.block());
        char stamp[18];
        qvpGetTimeStamp(stamp);
        const std::string copy = folder + "\\JOBEXEC" + stamp;
        // The caller's buffer holds 260 characters: a longer path is never written into it.
        if (copy.size() >= kPathMax) {
            call.Log(text::kCreateDirectoryError, text::kGetJobExName, copy.c_str(), 0);
            call.Fail(kInvalidParameter);
            return 0;
        }
        // The folder keeps the session's earlier copies, but nothing another writer of the
        // store left at the copy's name is written through.
        if (!qvp::KeepWorkFolder(folder)) {
            call.Log(text::kCreateDirectoryError, text::kGetJobExName, folder.c_str(), static_cast<int>(win::GetLastError()));
            call.Fail(kResource);
            return 0;
        }
        win::DeleteFile(copy.c_str());
        // No further than the file's head announces: the copies stay for the session.
        if (!qvp::CopyStoredFile(source.c_str(), copy.c_str(), kJobExecFileLayout)) {
            call.Log(text::kCopyError, text::kGetJobExName, source.c_str(), copy.c_str(), static_cast<int>(win::GetLastError()));
            call.Fail(kResource);
            return 0;
        }
        std::memcpy(lpWriteFileName, copy.c_str(), copy.size() + 1);
        return 1;
    });
}

namespace {

// A request text the caller composed, sent as it is, and the texts and reply rule of its operation.
struct CallerRequest {
    qvp::FrameTexts frame;
    const char* refusedName;  // the request's own name, under which a refusal is logged
    int (*check)(const char*);
};

int SendCallerRequest(const CallerRequest& kind, const char* lpRequest) {
    return qvp::RunApi(kind.frame, 0, [&](qvp::CallContext& call) {
        if (lpRequest == nullptr) {
            call.Log(text::kRequestNull, call.function());
            call.Fail(kInvalidParameter);
            return 0;
        }
        // The caller's text goes out as it is, but only within one frame.
        const size_t length = strnlen(lpRequest, kQvpFramePayloadMax + 1);
        if (length > kQvpFramePayloadMax) {
            call.Log(text::kRequestTooLong, call.function());
            call.Fail(kInvalidParameter);
            return 0;
        }
        return Send(call, nullptr, std::string_view(lpRequest, length), call.function(), kind.check,
                    text::kScheduleRefused, kind.refusedName);
    });
}

constexpr CallerRequest kScheduleDel{{"qvAPIScheduleJobDel"}, "qvpAPIScheduleJobDel", qvpAPICheckJdelReply};
constexpr CallerRequest kScheduleExec{{"qvAPIScheduleJobExec"}, "qvpAPIScheduleJobExec", qvpAPICheckJexcReply};

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIScheduleJobDel(const char* lpRequest, uint32_t) {
    return SendCallerRequest(kScheduleDel, lpRequest);
}

namespace qvp::jobs {

int qvAPIScheduleJobExec(const char* lpRequest, uint32_t) { return SendCallerRequest(kScheduleExec, lpRequest); }

}  // namespace qvp::jobs
