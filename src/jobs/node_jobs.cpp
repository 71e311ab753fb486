// The node-job walk: each distinct node of a job once, in the order of its first entry, counted
// afresh from the manager's execution records at every step (the job's file is read again only
// when it changed since the last step). The plain and the Ex family share
// the thread's node-job slot.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/errors.h"
#include "core/frame.h"
#include "core/text.h"
#include "jobs/job_records.h"
#include "jobs/job_walks.h"
#include "jobs/jobexec_file.h"
#include "nodes/name_checks.h"

namespace qvp::jobs {

namespace {

constexpr size_t kPlainNameField = 64;
constexpr size_t kPathFormSize = kMaxPath + 1;

constexpr char kJobNoNull[] = "%s : Logical Error : JobNo Pointer is NULL";
constexpr char kJobNoEmpty[] = "%s : Logical Error : Top of JobNo is NULL";
constexpr char kRecordNull[] = "%s : Logical Error : FindNodeJobData Pointer is NULL";
constexpr char kHandleNull[] = "%s : Logical Error : FindNodeJob Pointer is NULL";
constexpr char kHandleInvalid[] = "%s : Logical Error : FindNodeJob Invalid Handle";
constexpr char kCountFailed[] = "%s : qvAPIGetJobCountNode Error : errno = %d";
constexpr char kCountExFailed[] = "%s : qvAPIGetJobCountNodeEx Error : errno = %d";
constexpr char kHostnameOver[] = "%s : Hostname Over 64 Bytes.";
constexpr char kNodenameOver[] = "%s : Nodename Over 64 Bytes.";
constexpr char kNameType[] = "%s : qvAPIGetNodeNameType error code=0x%8.8x";

// Where a family puts the names and which counter and adapter it uses.
struct Family {
    size_t recordSize;
    size_t nameField;      // 64 plain, 260 Ex
    size_t dateTime;
    size_t displayName;
    QvpRecordSizeSlot slot;
    const char* countFailed;
    bool ex;  // counted with qvAPIGetJobCountNodeEx
    void (*copyOut)(uint32_t level, void* destination, const void* source, size_t size);
};

constexpr Family kPlain{QVAPI_NODE_JOB_SIZE,  kPlainNameField, offsetof(QVAPI_NODE_JOB, szDateTime),
                        offsetof(QVAPI_NODE_JOB, szDisplayName), kSlotNodeJob, kCountFailed, false,
                        &qvpAPICopyNodeJobData};
constexpr Family kEx{QVAPI_NODE_JOB_EX_SIZE, kMaxPath, offsetof(QVAPI_NODE_JOB_EX, szDateTime),
                     offsetof(QVAPI_NODE_JOB_EX, szDisplayName), kSlotNodeJobEx, kCountExFailed, true,
                     &qvpAPICopyNodeJobDataEx};

// A node of the walk's list: the names of its first entry.
struct ListedNode {
    std::string name;
    std::string secondName;
};

// The walk: the head and distinct nodes of the job's file as read at FindFirst, the next node to
// count, and the file as the counts last read it.
struct NodeJobWalk {
    const Family* family = nullptr;
    unsigned char head[kHeadSize] = {};
    std::vector<ListedNode> nodes;
    KeptJobFile kept;
    size_t next = 0;
    std::string jobPath;
    std::vector<unsigned char> work;
};

void EndNodeJobWalk(QVPAPI& block) {
    delete static_cast<NodeJobWalk*>(block.nodeJobWalk);
    block.nodeJobWalk = nullptr;
}

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&EndNodeJobWalk); });
}

// Puts a dotted name in path form into a field; false when the form is longer than the field.
bool PutPathForm(std::string_view dotted, unsigned char* field, size_t fieldSize) {
    const std::string terminated(dotted);
    char path[kPathFormSize] = {};
    qvpDottedNameToPath(terminated.c_str(), path);
    const size_t length = std::strlen(path);
    if (length > fieldSize) return false;
    std::memcpy(field, path, length);
    return true;
}

enum class Step { Counted, Skipped, Failed };

// Counts the next node of the list into the work record and names it. `always` keeps naming a
// skipped node (the first step does, and its failures end the call).
Step NodeStep(CallContext& call, NodeJobWalk& walk, bool always) {
    const Family& family = *walk.family;
    const ListedNode& node = walk.nodes[walk.next++];
    unsigned char* work = walk.work.data();
    std::memset(work, 0, walk.work.size());
    const std::string& name = node.name;
    bool skipped = false;
    if (CountNodeOfKeptFile(call.block(), family.ex, walk.kept, walk.jobPath.c_str(), name.c_str(), work) == 0) {
        const uint32_t code = qvAPIGetLastError();
        if (code != 0x20610000u) {
            call.Log(family.countFailed, call.function(), static_cast<int>(code));
            call.Fail(code);
            return Step::Failed;
        }
        skipped = true;
    }
    if (skipped && !always) return Step::Skipped;
    if (!PutPathForm(node.name, work, family.nameField)) {
        Refuse(call, kHostnameOver, QVAPI_ERR_NO_MORE_ITEMS);
        return Step::Failed;
    }
    std::memcpy(work + family.dateTime, walk.head + head::kDateTime, head::kDateTimeSize);
    const uint32_t type = nodes::qvAPIGetNodeNameType(name.c_str(), 1, 0, 0);
    if (type == 0) {
        call.Log(kNameType, call.function(), qvAPIGetLastError());
        call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
        return Step::Failed;
    }
    // The display name is the host name of a host-ID node, else the node name again (the
    // 452-byte Ex record of level 0 leaves it out when copied).
    const std::string_view shown = type == 1 ? node.secondName : node.name;
    if (!PutPathForm(shown, work + family.displayName, family.nameField)) {
        Refuse(call, kNodenameOver, QVAPI_ERR_NO_MORE_ITEMS);
        return Step::Failed;
    }
    return skipped ? Step::Skipped : Step::Counted;
}

// Node steps until one counts a node; 0, or the code (0x20000103 once the list is used up).
uint32_t NextCounted(CallContext& call, NodeJobWalk& walk) {
    while (walk.next < walk.nodes.size()) {
        const Step step = NodeStep(call, walk, false);
        if (step == Step::Counted) return 0;
        if (step == Step::Failed) return call.code();
    }
    return QVAPI_ERR_NO_MORE_ITEMS;
}

void CopyOut(QVPAPI& block, const NodeJobWalk& walk, void* record) {
    const Family& family = *walk.family;
    size_t size = block.recordSizes[family.slot];
    if (size == 0 || size > family.recordSize) size = family.recordSize;
    family.copyOut(block.apiLevel, record, walk.work.data(), size);
}

QVPAPI_HANDLE FindFirst(CallContext& call, const Family& family, const char* folder, const char* jobNo, void* record) {
    const char* refusal = jobNo == nullptr ? kJobNoNull : record == nullptr ? kRecordNull
                          : jobNo[0] == '\0'                                ? kJobNoEmpty
                                                                            : nullptr;
    if (refusal != nullptr) {
        Refuse(call, refusal, QVAPI_ERR_INVALID_PARAMETER);
        return QVPAPI_INVALID_HANDLE;
    }
    QVPAPI& block = call.block();
    auto walk = std::make_unique<NodeJobWalk>();
    walk->family = &family;
    if (!JobPathOf(call, folder, jobNo, walk->jobPath)) return QVPAPI_INVALID_HANDLE;
    // A new walk replaces the thread's running one (of either family).
    EndNodeJobWalk(block);
    // This read serves the first node's count as well.
    if (const uint32_t code = walk->kept.Refresh(block, call.function(), walk->jobPath)) {
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    const JobFile& file = walk->kept.file();
    std::memcpy(walk->head, file.head, kHeadSize);
    std::unordered_set<std::string_view> seen;
    for (const Entry& entry : file.entries)
        if (seen.insert(entry.name).second)
            walk->nodes.push_back({std::string(entry.name), std::string(entry.secondName)});
    if (walk->nodes.empty()) {
        call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
        return QVPAPI_INVALID_HANDLE;
    }
    walk->work.assign(family.recordSize, 0);
    Step step = NodeStep(call, *walk, true);
    uint32_t code = step == Step::Failed ? call.code() : 0;
    // A first node without records leads on to the next one, inside this call.
    if (step == Step::Skipped) code = NextCounted(call, *walk);
    if (code != 0) {
        call.Fail(code);
        return QVPAPI_INVALID_HANDLE;
    }
    CopyOut(block, *walk, record);
    block.nodeJobWalk = walk.release();
    return block.nodeJobWalk;
}

NodeJobWalk* WalkOf(CallContext& call, const Family& family, const void* handle) {
    auto* walk = static_cast<NodeJobWalk*>(call.block().nodeJobWalk);
    const bool valid = handle != nullptr && walk != nullptr && handle == walk && walk->family == &family;
    if (valid) return walk;
    call.Log(handle == nullptr ? kHandleNull : kHandleInvalid, call.function());
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return nullptr;
}

int FindNext(CallContext& call, const Family& family, const void* handle, void* record) {
    NodeJobWalk* walk = WalkOf(call, family, handle);
    if (walk == nullptr) return 0;
    if (record == nullptr) {
        Refuse(call, kRecordNull, QVAPI_ERR_INVALID_PARAMETER);
        return 0;
    }
    if (const uint32_t code = NextCounted(call, *walk)) {
        call.Fail(code);
        return 0;
    }
    CopyOut(call.block(), *walk, record);
    return 1;
}

int FindClose(CallContext& call, const Family& family, const void* handle) {
    if (WalkOf(call, family, handle) == nullptr) return 0;
    EndNodeJobWalk(call.block());
    return 1;
}

const FrameTexts kFirstTexts{"qvAPIFindFirstNodeJob", EndStyle::Hex};
const FrameTexts kFirstExTexts{"qvAPIFindFirstNodeJobEx", EndStyle::Hex};

}  // namespace

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeJob(const char* lpFolderPath, const char* lpJobNo,
                                                             QVAPI_NODE_JOB* lpFindNodeJobData, uint32_t, uint32_t) {
    RegisterRelease();
    return qvp::RunApi(kFirstTexts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirst(call, kPlain, lpFolderPath, lpJobNo, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextNodeJob(QVPAPI_HANDLE hFindNodeJob, QVAPI_NODE_JOB* lpFindNodeJobData,
                                                  uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindNextNodeJob"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNext(call, kPlain, hFindNodeJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseNodeJob(QVPAPI_HANDLE hFindNodeJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindCloseNodeJob"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindClose(call, kPlain, hFindNodeJob); });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeJobEx(const char* lpFolderPath, const char* lpJobNo,
                                                               QVAPI_NODE_JOB_EX* lpFindNodeJobData, uint32_t,
                                                               uint32_t) {
    RegisterRelease();
    return qvp::RunApi(kFirstExTexts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) {
        return FindFirst(call, kEx, lpFolderPath, lpJobNo, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextNodeJobEx(QVPAPI_HANDLE hFindNodeJob, QVAPI_NODE_JOB_EX* lpFindNodeJobData,
                                                    uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindNextNodeJobEx"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        return FindNext(call, kEx, hFindNodeJob, lpFindNodeJobData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseNodeJobEx(QVPAPI_HANDLE hFindNodeJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindCloseNodeJobEx"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return FindClose(call, kEx, hFindNodeJob); });
}
