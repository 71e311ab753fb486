// Job requests: hand a JobGen to the manager as a job (JPUT, or JSCH with a schedule), run it
// (JEXC), delete it or one node command of it (JDEL).
#include <cstring>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "core/log.h"
#include "records/access.h"
#include "records/log_texts.h"
#include "records/records.h"
#include "records/requests.h"
#include "session/checkers.h"
#include "session/message.h"

using namespace qvp::records;
namespace text = qvp::records::logtext;
using qvp::RequestBuilder;

namespace {

constexpr size_t kJobGenPathMax = 230;
constexpr uint32_t kDeleteForced = 0xFFFF;
constexpr size_t kJobNumberWordIndex = 4;  // the fifth word of the reply

void FailParameterLogged(QVPAPI& block, const char* line, const char* function) {
    qvpDllLog(line, function);
    FailParameter(block);
}

// The fifth blank-separated word of a reply.
std::string_view Word(std::string_view reply, size_t index) {
    size_t pos = 0;
    for (size_t i = 0; i < index; ++i) {
        pos = reply.find(' ', pos);
        if (pos == std::string_view::npos) return {};
        ++pos;
    }
    return reply.substr(pos, reply.find(' ', pos) - pos);
}

// Sends a job request with its reply into the second reply buffer, recorded as job-access error
// information. The reply length, or -1 after logging the failed send or receive.
int JobExchange(QVPAPI& block, const RequestBuilder& request, const char* function,
                const char* sendText, const char* recvText) {
    const int length = qvpExchange(block, request, block.fgetReplyBuffer, sizeof block.fgetReplyBuffer);
    if (length < 0) {
        qvpDllLog(length == kQvpExchangeSendFailed ? sendText : recvText, function);
        qvp::qvAPISetErrorCode(&block);
        return -1;
    }
    qvp::qvAPISetErrorInfo(&block, kErrCategoryJobAccess, block.fgetReplyBuffer, 0, 0);
    return length;
}

}  // namespace

int qvpAPIPutJob(QVPAPI* block, const char* jobGenPath, char* jobNumber, const void* schedule) {
    if (block == nullptr) return -1;
    if (jobGenPath == nullptr) {
        FailParameterLogged(*block, text::kPutJobPathNull, text::kPutJob);
        return -1;
    }
    if (jobNumber == nullptr) {
        FailParameterLogged(*block, text::kPutJobNumberNull, text::kPutJob);
        return -1;
    }
    const size_t pathLength = strnlen(jobGenPath, kJobGenPathMax + 1);
    if (pathLength == 0 || pathLength > kJobGenPathMax) {
        FailParameterLogged(*block, text::kPutJobPathLength, text::kPutJob);
        return -1;
    }
    const std::string_view path(jobGenPath, pathLength);
    const std::string_view number(jobNumber, QVAPI_JOB_NUMBER_SIZE);
    qvpDllLog(text::kPutJobPathSize, text::kPutJob, static_cast<int>(pathLength));
    qvpDllLog(text::kPutJobNumberSize, text::kPutJob, static_cast<int>(QVAPI_JOB_NUMBER_SIZE));
    RequestBuilder request = schedule == nullptr
        ? request::Jput(path, number)
        : request::Jsch(path, number,
                        std::string_view(static_cast<const char*>(schedule), QVAPI_SCHEDULE_SIZE));
    if (schedule != nullptr) qvpDllLog(text::kPutJobScheduleSize, text::kPutJob, QVAPI_SCHEDULE_SIZE);
    qvpDllLog(text::kPutJobSendSize, text::kPutJob, static_cast<int>(request.Text().size()));

    const int length = JobExchange(*block, request, text::kPutJob, text::kPutJobSend, text::kPutJobRecv);
    if (length < 0) return -1;
    const std::string_view reply(block->fgetReplyBuffer, strnlen(block->fgetReplyBuffer, static_cast<size_t>(length)));
    // Only a full job number is taken; a shorter word would leave the caller's buffer half old.
    const std::string_view word = Word(reply, kJobNumberWordIndex);
    if (word.size() >= QVAPI_JOB_NUMBER_SIZE) std::memcpy(jobNumber, word.data(), QVAPI_JOB_NUMBER_SIZE);

    switch (qvpAPICheckJputReply(block->fgetReplyBuffer)) {
        case 0:
            if (word.size() < QVAPI_JOB_NUMBER_SIZE) {
                // Accepted without a job number the caller could use: the reply is not one of ours.
                qvp::qvAPISetErrorInfo(block, kErrCategoryJobAccess, nullptr, 0, 8);
                qvp::qvAPISetErrorCode(block);
                qvpDllLog(text::kPutJobError, text::kPutJob, block->fgetReplyBuffer);
                return -1;
            }
            return 1;
        case 2:
            qvpDllLog(text::kPutJobClass2, text::kPutJob);
            qvp::qvAPISetErrorCode(block);
            return 0;
        case 4: qvpDllLog(text::kPutJobClass4, text::kPutJob); break;
        case 6: qvpDllLog(text::kPutJobClass6, text::kPutJob); break;
        case 8: qvpDllLog(text::kPutJobClass8, text::kPutJob); break;
        default: qvpDllLog(text::kPutJobError, text::kPutJob, block->fgetReplyBuffer); break;
    }
    qvp::qvAPISetErrorCode(block);
    return -1;
}

int qvpAPIExecJob(QVPAPI* block, const char* jobPath) {
    if (block == nullptr) return 0;
    if (jobPath == nullptr) {
        FailParameterLogged(*block, text::kExecJobPathNull, text::kExecJob);
        return 0;
    }
    const auto request = request::Jexc(jobPath);
    if (JobExchange(*block, request, text::kExecJob, text::kExecJobSend, text::kExecJobRecv) < 0) return 0;
    if (qvpAPICheckJexcReply(block->fgetReplyBuffer) == 0) return 1;
    qvpDllLog(text::kExecJobError, text::kExecJob, block->fgetReplyBuffer);
    qvp::qvAPISetErrorCode(block);
    return 0;
}

int qvpAPIDeleteJob(QVPAPI* block, const char* jobPath, int siteFlag, uint32_t option) {
    if (block == nullptr) return 0;
    if (jobPath == nullptr) {
        FailParameterLogged(*block, text::kDeleteJobPathNull, text::kDeleteJob);
        return 0;
    }
    const auto request = request::Jdel(jobPath, siteFlag == 1, option == kDeleteForced);
    if (JobExchange(*block, request, text::kDeleteJob, text::kDeleteJobSend, text::kDeleteJobRecv) < 0) return 0;
    if (qvpAPICheckJdelReply(block->fgetReplyBuffer) == 0) return 1;
    qvpDllLog(text::kDeleteJobError, text::kDeleteJob, block->fgetReplyBuffer);
    qvp::qvAPISetErrorCode(block);
    return 0;
}

int qvpAPIDeleteCommand(QVPAPI* block, const char* jobPath, const char* nodeName,
                        const char* commandNumber) {
    if (block == nullptr) return 0;
    if (jobPath == nullptr || nodeName == nullptr || commandNumber == nullptr) {
        FailParameter(*block);
        return 0;
    }
    const auto request = request::JdelCommand(jobPath, nodeName, commandNumber);
    if (JobExchange(*block, request, text::kDeleteCommand, text::kDeleteCommandSend,
                    text::kDeleteCommandRecv) < 0)
        return 0;
    if (qvpAPICheckJdelReply(block->fgetReplyBuffer) == 0) return 1;
    qvpDllLog(text::kDeleteCommandError, text::kDeleteCommand, block->fgetReplyBuffer);
    qvp::qvAPISetErrorCode(block);
    return 0;
}
