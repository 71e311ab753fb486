// The ID-job tally: the records of a job's entries counted into one node-job record (and a job
// record), per ID, per entry or per member client; and the status adder it counts with.
#include <cstdio>
#include <cstring>

#include "core/errors.h"
#include "core/log.h"
#include "jobs/id_job_common.h"
#include "jobs/id_jobs.h"
#include "jobs/job_texts.h"
#include "jobs/job_records.h"
#include "jobs/package_job_record.h"

namespace qvp::jobs {

using namespace idjob;

namespace {

constexpr char kStart[] = "%s START :dwFlg = 0x%8.8x:pClientName = %s:pIDName = %s";
constexpr char kRecordNull[] = "%s : pNodeJobData Pointer is NULL";
constexpr char kCountClient[] = "%s : qvpAPIGetIDJobCountStatus(1) Error";
constexpr char kCountNoClient[] = "%s : qvpAPIGetIDJobCountStatus(2) Error";
constexpr char kCountFollowing[] = "%s : qvpAPIGetIDJobCountStatus(3) Error";
constexpr char kStatusInvalid[] = "%s : CheckStaCodeJob Injustice";
constexpr char kStatusEnd[] = "%s END :wdSetError = 0x%8.8x:rtnsta = %d";
constexpr size_t kMessageSize = 1024;
constexpr size_t kCountersEnd = 148;  // job record counters 112 to 147 are cleared before a recount

constexpr FrameTexts kTallyTexts{"qvpAPIGetIDJobCountNode", EndStyle::Decimal, "", nullptr, text::kLogicalError};
constexpr FrameTexts kTallyExTexts{"qvpAPIGetIDJobCountNodeEx", EndStyle::Decimal, "", nullptr, text::kLogicalError};

uint32_t AddStatus(QVPAPI* block, const char* function, const Layout& layout, const unsigned char* record,
                   unsigned char* nodeJob, char* message) {
    char local[kMessageSize];
    if (message == nullptr) message = local;
    if (record == nullptr || nodeJob == nullptr) {
        std::snprintf(message, kMessageSize, kStatusEnd, function, QVAPI_ERR_INVALID_PARAMETER, -1);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    nodeJob[layout.kind] = record[8];
    nodeJob[layout.kind + 1] = record[9];
    const int status = qvpJobStatusCode(reinterpret_cast<const QVAPI_EXECUTION*>(record));
    const int index = CounterIndex(status);
    uint32_t code = 0;
    if (index < 0) {
        if (block != nullptr && block->dllLogId != 0) qvpLogPrintf(block->dllLogId, "dll", kStatusInvalid, function);
        code = QVAPI_ERR_RESOURCE;
    } else {
        unsigned char* counter = nodeJob + layout.counters[index];
        Store32(counter, Load32(counter) + 1);
    }
    std::snprintf(message, kMessageSize, kStatusEnd, function, code, status);
    if (block != nullptr && block->dllLogId != 0) qvpLogPrintf(block->dllLogId, "dll", "%s", message);
    return code;
}

// What one call of the tally was asked.
struct TallyArgs {
    uint32_t mode;
    const char* filePath;
    const char* idName;
    const char* nodeName;
    const char* clientName;
    const char* execNo;
    QVAPI_JOB* job;
    unsigned char* nodeJob;
};

class Tally {
public:
    Tally(CallContext& call, const Layout& layout, const TallyArgs& args)
        : call_(call), layout_(layout), args_(args) {}

    int Run();

private:
    // Adds one record; false after logging `failText` and failing the call.
    bool Count(const unsigned char* record, const char* failText) {
        char message[kMessageSize];
        const char* adder = &layout_ == &kEx ? "qvpAPIGetIDJobCountStatusEx" : "qvpAPIGetIDJobCountStatus";
        const uint32_t code = AddStatus(&call_.block(), adder, layout_, record, nodeJob_, message);
        if (code == 0) {
            ++counted_;
            return true;
        }
        call_.Log(failText, call_.function());
        call_.Fail(code);
        return false;
    }
    bool ClientMatches(std::string_view recordName) const {
        return client_.empty() || LastComponent(recordName) == client_;
    }
    // The name an entry is looked up under, or false when the entry is passed over.
    bool Select(const Entry& entry, std::string& lookup) const;
    bool CountEntry(const Entry& entry);

    CallContext& call_;
    const Layout& layout_;
    const TallyArgs& args_;
    std::string node_, client_;
    std::string_view execNo_;
    unsigned char* nodeJob_ = nullptr;
    size_t counted_ = 0;
};

bool Tally::Select(const Entry& entry, std::string& lookup) const {
    const std::string_view last = LastComponent(entry.name);
    // An ID's tally takes that ID's entries only: an ordinary entry is no entry of the ID.
    if (args_.idName != nullptr && last != args_.idName) return false;
    if (!execNo_.empty() && entry.jobNumber != execNo_.substr(0, QVAPI_JOB_NUMBER_SIZE)) return false;
    if (args_.mode == kTallyEntries || args_.mode == kTallyEntriesAlike) {
        if (!node_.empty() && entry.name != node_) return false;
        lookup = entry.name;
        return true;
    }
    if (node_.empty()) {
        lookup = entry.name;
        if (IsIdComponent(last)) lookup.replace(lookup.size() - last.size(), last.size(), "*");
        return true;
    }
    std::string_view entryPath, nodePath;
    if (PathPart(entry.name, entryPath) && PathPart(node_, nodePath) && entryPath != nodePath) return false;
    if (IsIdComponent(last)) {
        lookup = node_;
        return true;
    }
    // An ordinary entry counts for the node it names, under its own name.
    if (entry.name != node_) return false;
    lookup = entry.name;
    return true;
}

bool Tally::CountEntry(const Entry& entry) {
    std::string lookup;
    if (!Select(entry, lookup)) return true;
    QVPAPI& block = call_.block();
    uint32_t code = 0;
    const unsigned char* record = FindFirst(block, entry.jobNumber, lookup, code);
    if (record == nullptr) {
        if (code == QVAPI_ERR_NO_MORE_ITEMS) return true;
        call_.Log(text::kFindCommand, call_.function());
        call_.Fail(code);
        return false;
    }
    nodeJob_[layout_.kind] = record[8];
    nodeJob_[layout_.kind + 1] = record[9];
    if ((record[6] & 0x04) != 0) nodeJob_[layout_.kind + 2] = 1;
    // Each entry is expanded on its own: a "*" lookup reaches the member clients' records.
    const bool expanded = !LastComponent(lookup).empty() && LastComponent(lookup).front() == '*';
    const std::string name = RecordNodeName(record, DeliveredLength(block));
    const bool members = args_.mode == kTallyMembers;
    if (!(members && (IsIdComponent(LastComponent(name)) || expanded)) && ClientMatches(name)) {
        if (!Count(record, client_.empty() ? kCountNoClient : kCountClient)) return false;
    }
    if (!members || !expanded) return true;
    // The cursor hands the first record again, then the records below the entry's path.
    for (size_t taken = 0; taken < kMaxRecordsPerLookup; ++taken) {
        record = FindNext(block, code);
        if (record == nullptr) {
            if (code == QVAPI_ERR_NO_MORE_ITEMS) return true;
            call_.Log(text::kIdNextCommand, call_.function());
            call_.Fail(code);
            return false;
        }
        const std::string member = RecordNodeName(record, DeliveredLength(block));
        if (IsIdComponent(LastComponent(member)) || !ClientMatches(member)) continue;
        if (!Count(record, kCountFollowing)) return false;
    }
    call_.Log(text::kIdNextCommand, call_.function());
    call_.Fail(QVAPI_ERR_UNEXPECTED_DATA);
    return false;
}

int Tally::Run() {
    QVPAPI& block = call_.block();
    call_.Log(kStart, call_.function(), args_.mode, Text(args_.clientName), Text(args_.idName));
    call_.Log(text::kIdFirstArgs2, call_.function(), Text(args_.nodeName), Text(args_.execNo));
    const char* refusal = args_.filePath == nullptr || args_.filePath[0] == '\0' ? text::kIdPathNull
                          : args_.job == nullptr && args_.nodeJob == nullptr     ? kRecordNull
                                                                                 : nullptr;
    if (refusal != nullptr) return call_.Failed(QVAPI_ERR_INVALID_PARAMETER, refusal, call_.function());
    if (args_.mode < kTallyEntries || args_.mode > kTallyMember)
        return call_.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kIdMode, call_.function(), args_.mode);
    JobFile file;
    if (const uint32_t code = LoadJobFile(call_, args_.filePath, file)) {
        call_.Fail(code);
        return 0;
    }
    // The counts are made at full level and fitted to the caller's level last, so that the
    // level's folding of statuses 7 and 8 holds for what was counted.
    unsigned char head[kHeadSize];
    std::memcpy(head, file.head, kHeadSize);
    if (args_.job != nullptr) {
        if (StoredCountSum(head) == 0) {
            qvpAPICopyJobData(block.apiLevel, head, args_.job, 0);
            return 1;
        }
        std::memset(head + kHeadCounter[0], 0, kCountersEnd - kHeadCounter[0]);
    }
    node_ = ToDotted(args_.nodeName);
    client_ = ToDotted(args_.clientName);
    if (args_.execNo != nullptr) execNo_ = args_.execNo;
    unsigned char local[kWorkSize];
    nodeJob_ = args_.nodeJob != nullptr ? args_.nodeJob : local;
    std::memset(nodeJob_, 0, layout_.size);
    std::memcpy(nodeJob_ + layout_.dateTime, head + head::kDateTime, head::kDateTimeSize);
    for (const Entry& entry : file.entries)
        if (!CountEntry(entry)) return 0;
    if (args_.job != nullptr) {
        uint32_t total = 0;
        for (size_t i = 0; i < kStatusCount; ++i) {
            const uint32_t count = Load32(nodeJob_ + layout_.counters[i]);
            Store32(head + kHeadCounter[i], count);
            total += count;
        }
        if (args_.mode == kTallyMembers || args_.mode == kTallyMember) Store32(head + head::kTotal, total);
        qvpAPICopyJobData(block.apiLevel, head, args_.job, 0);
        return 1;
    }
    if (counted_ == 0) {
        call_.Fail(QVAPI_ERR_NO_MORE_ITEMS);
        return 0;
    }
    return 1;
}

int RunTally(const FrameTexts& texts, const Layout& layout, QVPAPI* block, const TallyArgs& args) {
    return RunApi(texts, 0, [&](CallContext& call) {
        if (block == nullptr) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kIdDataNull, call.function());
            return 0;
        }
        return Tally(call, layout, args).Run();
    });
}

}  // namespace

int qvpAPIGetIDJobCountNode(QVPAPI* block, uint32_t dwFlg, const char* pFilePath, const char* pIDName,
                            const char* pNodeName, const char* pClientName, const char* pExecNo, QVAPI_JOB* pJobData,
                            QVAPI_NODE_JOB* pNodeJobData) {
    const TallyArgs args{dwFlg,     pFilePath, pIDName, pNodeName, pClientName, pExecNo, pJobData,
                         reinterpret_cast<unsigned char*>(pNodeJobData)};
    return RunTally(kTallyTexts, kPlain, block, args);
}

int qvpAPIGetIDJobCountNodeEx(QVPAPI* block, uint32_t dwFlg, const char* pFilePath, const char* pIDName,
                              const char* pNodeName, const char* pClientName, const char* pExecNo, QVAPI_JOB* pJobData,
                              QVAPI_NODE_JOB_EX* pNodeJobData) {
    const TallyArgs args{dwFlg,     pFilePath, pIDName, pNodeName, pClientName, pExecNo, pJobData,
                         reinterpret_cast<unsigned char*>(pNodeJobData)};
    return RunTally(kTallyExTexts, kEx, block, args);
}

uint32_t qvpAPIGetIDJobCountStatus(QVPAPI* block, uint32_t, const QVAPI_EXECUTION* record,
                                   QVAPI_NODE_JOB* pNodeJobData, char* message) {
    return AddStatus(block, "qvpAPIGetIDJobCountStatus", kPlain, reinterpret_cast<const unsigned char*>(record),
                     reinterpret_cast<unsigned char*>(pNodeJobData), message);
}

uint32_t qvpAPIGetIDJobCountStatusEx(QVPAPI* block, uint32_t, const QVAPI_EXECUTION* record,
                                     QVAPI_NODE_JOB_EX* pNodeJobData, char* message) {
    return AddStatus(block, "qvpAPIGetIDJobCountStatusEx", kEx, reinterpret_cast<const unsigned char*>(record),
                     reinterpret_cast<unsigned char*>(pNodeJobData), message);
}

}  // namespace qvp::jobs
