// Scheduled job creation: the caller's JSCH request is sent while the named JobGen's stored
// jobgenfile is in its re-created and sorted form, and the file is put back byte for byte (with
// its last-write time) whatever the outcome. The backup lies in a folder of its own, so an edit
// session the thread has open keeps its work tree.
#include <cstring>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/fresh_folder.h"
#include "core/log.h"
#include "jobgen/jobgen_prepare.h"
#include "records/records.h"
#include "session/checkers.h"
#include "session/message.h"

namespace qvp::jobgen {

namespace {

constexpr char kFunction[] = "qvAPIScheduleJobex";
constexpr size_t kRequestMax = 1023;
constexpr size_t kJobNumberSize = 16;
constexpr size_t kJobNumberWord = 4;  // the fifth word of the reply

namespace msg {
constexpr char kRequestNull[] = "%s : Logical Error : JobGen Name Pointer is NULL";
constexpr char kNumberNull[] = "%s : Logical Error : JobNo Pointer is NULL";
constexpr char kRequestBad[] = "%s : Logical Error : Request Error : %s";
constexpr char kCreateDir[] = "%s : qvpCreateDirectory Error : File = %s";
constexpr char kCopyFrom[] = "%s : CopyFile Error : From = %s";
constexpr char kCopyTo[] = "%s : CopyFile Error : To = %s";
constexpr char kCopyErrno[] = "%s : CopyFile Error : errno = %d";
constexpr char kStepFrom[] = "%s : %s Error : From = %s";
constexpr char kStepTo[] = "%s : %s Error : To = %s";
constexpr char kStepErrno[] = "%s : %s Error : errno = %d";
constexpr char kSend[] = "%s : TcpSendMsg Error";
constexpr char kRecv[] = "%s : TcpRecvMsg Error";
constexpr char kRefused[] = "%s : JSCH Error code = %s";
constexpr char kDeleteAll[] = "%s : gaiCOMDirectoryDeleteAll Error";
constexpr char kDeletePath[] = "%s : Directory Path = %s";
}  // namespace msg

constexpr FrameTexts kFrame{kFunction, EndStyle::Result, nullptr, nullptr, nullptr};

// The JobGen path of a request: the value of its first field whose type-and-length token begins
// with 'j' (taken by its length when the token gives one). Empty when there is none.
std::string JobGenPathOf(std::string_view request) {
    size_t at = 0;
    while (at < request.size()) {
        while (at < request.size() && request[at] == ' ') ++at;
        size_t end = request.find(' ', at);
        if (end == std::string_view::npos) end = request.size();
        const std::string_view token = request.substr(at, end - at);
        if (!token.empty() && token[0] == 'j') {
            const size_t valueAt = end + 1;
            if (valueAt > request.size()) return {};
            const std::string_view digits = token.substr(1);
            if (!digits.empty() && digits.size() <= 4 && digits.find_first_not_of("0123456789") == std::string_view::npos) {
                const size_t length = std::stoul(std::string(digits));
                return std::string(request.substr(valueAt, length));
            }
            const size_t valueEnd = request.find(' ', valueAt);
            return std::string(request.substr(valueAt, valueEnd == std::string_view::npos ? valueEnd : valueEnd - valueAt));
        }
        at = end;
    }
    return {};
}

// A JobGen path below the JobGen root: "\" and levels joined by "\", none of them empty, "." or
// ".." (which would leave the root), at most 260 characters.
bool ValidJobGenPath(std::string_view path) {
    if (path.size() < 2 || path.size() > kMaxPath || path[0] != '\\') return false;
    size_t at = 1;
    while (at <= path.size()) {
        size_t end = path.find('\\', at);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string_view::npos) return false;
        at = end + 1;
    }
    return true;
}

// The fifth word of the reply into the job number: as much of it as there is, blanks after.
bool TakeJobNumber(std::string_view reply, char* jobNumber) {
    size_t at = 0;
    for (size_t word = 0; word < kJobNumberWord; ++word) {
        at = reply.find(' ', at);
        if (at == std::string_view::npos) return false;
        ++at;
    }
    if (at >= reply.size()) return false;
    const std::string_view word = reply.substr(at, reply.find(' ', at) - at);
    const size_t n = std::min(word.size(), kJobNumberSize);
    std::memcpy(jobNumber, word.data(), n);
    std::memset(jobNumber + n, ' ', kJobNumberSize - n);
    return true;
}

// The stored file as it was, kept in a folder of its own and beside the JobGen in the store (from
// where a killed call's is put back by the next caller of the JobGen), and put back on every way
// out.
class Backup {
public:
    Backup(CallContext& call, std::string stored)
        : call_(call), stored_(std::move(stored)), dir_(WorkDir(call.block()) + ".SCH", Named::ById) {}
    ~Backup() { Restore(); }

    PreparedJobGen& prepared() { return prepared_; }
    uint32_t Make() {
        if (const uint32_t code = dir_.Make(); code != 0) {
            call_.Log(msg::kCreateDir, call_.function(), dir_.path().c_str());
            return code;
        }
        madeDir_ = true;
        if (!dir_.CopyIn(stored_, kJobGenFile) || !prepared_.Keep(stored_.substr(0, win::FindLastSeparator(stored_)))) {
            const win::DWORD error = win::GetLastError();
            return error == win::ERROR_PATH_NOT_FOUND || error == win::ERROR_FILE_NOT_FOUND ? QVAPI_ERR_NOT_FOUND
                                                                                            : QVAPI_ERR_RESOURCE;
        }
        madeFile_ = true;
        return 0;
    }
    // 0, or 0x20100000 when the stored file or the folder could not be put back or removed.
    uint32_t Restore() {
        uint32_t code = 0;
        if (madeFile_ && !prepared_.PutBack() && !dir_.CopyOut(kJobGenFile, stored_)) {
            const int error = static_cast<int>(win::GetLastError());
            call_.Log(msg::kCopyFrom, call_.function(), dir_.PathOf(kJobGenFile).c_str());
            call_.Log(msg::kCopyTo, call_.function(), stored_.c_str());
            call_.Log(msg::kCopyErrno, call_.function(), error);
            code = QVAPI_ERR_RESOURCE;
        }
        madeFile_ = false;
        if (madeDir_ && dir_.Remove() != 0) {
            call_.Log(msg::kDeleteAll, call_.function());
            call_.Log(msg::kDeletePath, call_.function(), dir_.path().c_str());
            code = QVAPI_ERR_RESOURCE;
        }
        madeDir_ = false;
        return code;
    }

private:
    CallContext& call_;
    std::string stored_;
    FreshFolder dir_;
    PreparedJobGen prepared_;
    bool madeDir_ = false;
    bool madeFile_ = false;
};

// Re-creation then sort of the stored file, on a copy that replaces it whole; 0 or the failing
// step's code.
uint32_t Prepare(CallContext& call, const std::string& stored, PreparedJobGen& prepared) {
    ReCreateControlTable table;
    struct Step {
        const char* name;
        int (*run)(ReCreateControlTable*, const char*, const char*);
    };
    return prepared.Prepare([&](const std::string& copy) {
        for (const Step& step : {Step{"qvAPIReCreateJobGen", &qvAPIReCreateJobGen}, Step{"qvAPISortEntryJobGen", &qvAPISortEntryJobGen}}) {
            if (step.run(&table, copy.c_str(), copy.c_str()) == 1) continue;
            const uint32_t code = qvAPIGetLastError();
            call.Log(msg::kStepFrom, call.function(), step.name, stored.c_str());
            call.Log(msg::kStepTo, call.function(), step.name, stored.c_str());
            call.Log(msg::kStepErrno, call.function(), step.name, static_cast<int>(code));
            return code != 0 ? code : QVAPI_ERR_RESOURCE;
        }
        return 0u;
    });
}

int Schedule(CallContext& call, const char* request, char* jobNumber) {
    if (request == nullptr || jobNumber == nullptr) {
        call.Log(request == nullptr ? msg::kRequestNull : msg::kNumberNull, call.function());
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    // Everything the request names is checked before the JobGen is touched.
    const size_t length = strnlen(request, kRequestMax + 1);
    const std::string path = length > kRequestMax ? std::string() : JobGenPathOf(std::string_view(request, length));
    if (!ValidJobGenPath(path)) {
        call.Log(msg::kRequestBad, call.function(),
                 length > kRequestMax ? "over 1023 bytes" : path.empty() ? "no JobGen" : path.c_str());
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    const std::string stored = StoreRoot() + path + "\\" + kJobGenFile;
    const size_t cut = path.rfind('\\');
    JobGenMutex mutex;
    if (const uint32_t code = mutex.Take(kFunction, MutexName(path.substr(0, cut), path.substr(cut + 1))); code != 0) {
        call.Fail(code);
        return 0;
    }
    // What a killed writer left of the JobGen is put right before its file is kept again.
    if (!PutRightKilledWriters(call, StoreRoot() + path, path.substr(cut + 1))) {
        call.Fail(QVAPI_ERR_RESOURCE);
        return 0;
    }
    Backup backup(call, stored);
    uint32_t code = backup.Make();
    if (code == 0) code = Prepare(call, stored, backup.prepared());
    int result = 0;
    QVPAPI& block = call.block();
    if (code == 0) {
        const int received = qvpExchangeText(block, std::string_view(request, length), block.fgetReplyBuffer,
                                             sizeof block.fgetReplyBuffer);
        if (received < 0) {
            call.Log(received == kQvpExchangeSendFailed ? msg::kSend : msg::kRecv, call.function());
            code = qvAPISetErrorCode(&block);
            if (code == 0) code = received == kQvpExchangeSendFailed ? QVAPI_ERR_TCP_SEND : QVAPI_ERR_TCP_RECV;
        } else {
            const std::string_view reply(block.fgetReplyBuffer, strnlen(block.fgetReplyBuffer, static_cast<size_t>(received)));
            qvAPISetErrorInfo(&block, kErrCategoryJobAccess, block.fgetReplyBuffer, 0, 0);
            code = qvAPISetErrorCode(&block);
            if (qvpAPICheckJputReply(block.fgetReplyBuffer) == 0) {
                qvpAPIFrlsCommandLocal(&block);
                // An accepted reply without a job number is not one the caller can use.
                if (TakeJobNumber(reply, jobNumber)) {
                    result = 1;
                } else {
                    call.Log(msg::kRefused, call.function(), block.fgetReplyBuffer);
                    code = QVAPI_ERR_UNEXPECTED_DATA;
                }
            } else {
                call.Log(msg::kRefused, call.function(), block.fgetReplyBuffer);
                if (code == 0) code = QVAPI_ERR_UNEXPECTED_DATA;
            }
        }
    }
    const uint32_t restored = backup.Restore();
    mutex.Release();
    if (restored != 0) code = restored;
    if (code != 0) call.Fail(code);
    return result;
}

}  // namespace

}  // namespace qvp::jobgen

extern "C" QVPAPI_EXPORT int qvAPIScheduleJobex(const char* lpRequest, char* lpJobNo) {
    return qvp::RunApi(qvp::jobgen::kFrame, 0,
                       [&](qvp::CallContext& call) { return qvp::jobgen::Schedule(call, lpRequest, lpJobNo); });
}
