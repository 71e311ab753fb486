// The package-job walk: the manager's execution records of one node of a job, in the order of
// the node's entries, each handed out as a package-job record.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/frame.h"
#include "core/paths.h"
#include "core/text.h"
#include "jobs/job_walks.h"
#include "jobs/jobexec_file.h"
#include "jobs/package_job_record.h"
#include "platform/byte_order.h"
#include "platform/win.h"

namespace qvp::jobs {

namespace {

constexpr char kFirst[] = "qvAPIFindFirstPackageJob";
constexpr char kJobNoNull[] = "%s : Logical Error : JobNo Pointer is NULL";
constexpr char kNodeNull[] = "%s : Logical Error : NodeName Pointer is NULL";
constexpr char kRecordNull[] = "%s : Logical Error : FindPackageJobData Pointer is NULL";
constexpr char kJobNoEmpty[] = "%s : Logical Error : Top of JobNo is NULL";
constexpr char kNodeEmpty[] = "%s : Logical Error : Top of NodeName is NULL";
constexpr char kHandleNull[] = "%s : Logical Error : FindPackageJob Pointer is NULL";
constexpr char kHandleInvalid[] = "%s : Logical Error : FindPackageJob Invalid Handle";
constexpr char kNothing[] = "%s : NodeName is Nothing";
constexpr char kFindEnd[] = "%s : NodeName Find is End : NodeName = %s";
constexpr char kNameType[] = "%s : qvAPIGetNodeNameType error code=0x%8.8x";
constexpr char kCollectName[] = "%s : Collect File Name is INVALID";
constexpr char kCollectRead[] = "%s : CreateFile Error : File = %s, errno = %d";
constexpr char kAlloc[] = "%s : qvpAPIAlloc Error : errcode = %d";

constexpr size_t kCollectOffset = 144;
constexpr size_t kCollectSize = 260;
constexpr size_t kNameSize = 261;
constexpr size_t kHostOrderFields[] = {512, 516, 520, 532};

struct PackageJobWalk {
    JobFile file;
    std::string dotted;  // the node's name as its entries carry it
    size_t next = 0;     // the entry to look at next
    unsigned char work[QVAPI_PACKAGE_JOB_SIZE] = {};
};

void DropLongName(QVPAPI& block) {
    FreeLowBuffer(block.packageJobData);
    block.packageJobData = nullptr;
}

void EndPackageJobWalk(QVPAPI& block) {
    delete static_cast<PackageJobWalk*>(block.packageJobWalk);
    block.packageJobWalk = nullptr;
    DropLongName(block);
}

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&EndPackageJobWalk); });
}

// The 260 bytes at 144 of a "G" or "S" record's COLLECTPATH file into the caller's buffer.
uint32_t ReadCollectPath(CallContext& call, const unsigned char* record, char* out) {
    const std::string name = CollectFileName(record);
    char root[win::MAX_PATH + 1] = {};
    qvpMakeMngflCollectPath(root);
    const std::string path = std::string(root) + "\\" + name;
    if (name.empty() || path.size() >= win::MAX_PATH) {
        call.Log(kCollectName, call.function());
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    // Only what the caller receives is read, and never past the file's end.
    unsigned char bytes[kCollectOffset + kCollectSize] = {};
    void* buffer = bytes;
    uint32_t size = sizeof bytes;
    if (qvpAPIFileCopy(&call.block(), path.c_str(), &buffer, &size, nullptr, 0) < 0) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(kCollectRead, call.function(), path.c_str(), static_cast<int>(code));
        return code;
    }
    std::memcpy(out, bytes + kCollectOffset, kCollectSize);
    return 0;
}

// Looks at the node's entries from the walk's next one until a record is found and built. 0,
// 0x20000103 when the node has no further record, or the code of the failing step.
uint32_t NextRecord(CallContext& call, PackageJobWalk& walk, char** collect, bool first) {
    QVPAPI& block = call.block();
    const auto& entries = walk.file.entries;
    while (walk.next < entries.size()) {
        const Entry& entry = entries[walk.next++];
        if (entry.name != walk.dotted) continue;
        const QVAPI_EXECUTION* found = nullptr;
        const Lookup lookup = FindRecord(call, entry, found);
        if (lookup == Lookup::Failed) return call.code();
        if (lookup == Lookup::Skipped) continue;
        const auto* record = reinterpret_cast<const unsigned char*>(found);
        if ((record[8] == 'G' || record[8] == 'S') && collect != nullptr && *collect != nullptr) {
            if (const uint32_t code = ReadCollectPath(call, record, *collect)) return code;
        }
        DropLongName(block);
        std::string longName;
        if (BuildPackageJob(record, DeliveredLength(block), walk.work, longName) != 0) {
            call.Log(kNameType, call.function(), QVAPI_ERR_NO_MORE_ITEMS);
            return QVAPI_ERR_NO_MORE_ITEMS;
        }
        if (!longName.empty()) {
            char* buffer = AllocLowBuffer(longName);
            if (buffer == nullptr) {
                call.Log(kAlloc, call.function(), static_cast<int>(QVAPI_ERR_RESOURCE));
                return QVAPI_ERR_RESOURCE;
            }
            block.packageJobData = buffer;
            Store32(walk.work + offsetof(QVAPI_PACKAGE_JOB, dwLongNameLength), static_cast<uint32_t>(longName.size()));
            Store32(walk.work + offsetof(QVAPI_PACKAGE_JOB, dwLongNameAddress),
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)));
        }
        return 0;
    }
    if (first) call.Log(kNothing, call.function());
    else call.Log(kFindEnd, call.function(), walk.dotted.c_str());
    return QVAPI_ERR_NO_MORE_ITEMS;
}

void CopyOut(QVPAPI& block, const PackageJobWalk& walk, void* record) {
    size_t size = block.recordSizes[kSlotPackageJob];
    if (size == 0 || size > QVAPI_PACKAGE_JOB_SIZE) size = QVAPI_PACKAGE_JOB_BASE_SIZE;
    std::memcpy(record, walk.work, size);
    auto* out = static_cast<unsigned char*>(record);
    for (size_t offset : kHostOrderFields)
        if (offset + 4 <= size) Store32(out + offset, be32(out + offset));
}

PackageJobWalk* WalkOf(CallContext& call, const void* handle) {
    auto* walk = static_cast<PackageJobWalk*>(call.block().packageJobWalk);
    if (handle != nullptr && handle == walk) return walk;
    call.Log(handle == nullptr ? kHandleNull : kHandleInvalid, call.function());
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackageJob(const char* lpFolderPath, const char* lpJobNo,
                                                                const char* lpNodeName,
                                                                QVAPI_PACKAGE_JOB* lpFindPackageJobData, uint32_t,
                                                                char** lpCollectPath) {
    static const qvp::FrameTexts texts{kFirst, qvp::EndStyle::Hex};
    RegisterRelease();
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        const char* refusal = lpJobNo == nullptr                ? kJobNoNull
                              : lpNodeName == nullptr           ? kNodeNull
                              : lpFindPackageJobData == nullptr ? kRecordNull
                              : lpJobNo[0] == '\0'              ? kJobNoEmpty
                              : lpNodeName[0] == '\0'           ? kNodeEmpty
                                                                : nullptr;
        if (refusal != nullptr) {
            Refuse(call, refusal, QVAPI_ERR_INVALID_PARAMETER);
            return QVPAPI_INVALID_HANDLE;
        }
        QVPAPI& block = call.block();
        auto walk = std::make_unique<PackageJobWalk>();
        std::string jobPath;
        if (!JobPathOf(call, lpFolderPath, lpJobNo, jobPath)) return QVPAPI_INVALID_HANDLE;
        // A new walk replaces the thread's running one, with its long-name buffer.
        EndPackageJobWalk(block);
        if (const uint32_t code = ReadJobFile(block, call.function(), jobPath, OpenMode::Exclusive, EntryNeed::Always,
                                              walk->file)) {
            call.Fail(code);
            return QVPAPI_INVALID_HANDLE;
        }
        char dotted[kNameSize] = {};
        qvpPathToDottedName(lpNodeName, dotted);
        walk->dotted = dotted;
        if (const uint32_t code = NextRecord(call, *walk, lpCollectPath, true)) {
            DropLongName(block);
            call.Fail(code);
            return QVPAPI_INVALID_HANDLE;
        }
        CopyOut(block, *walk, lpFindPackageJobData);
        block.packageJobWalk = walk.release();
        return block.packageJobWalk;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextPackageJob(QVPAPI_HANDLE hFindPackageJob,
                                                     QVAPI_PACKAGE_JOB* lpFindPackageJobData, uint32_t,
                                                     char** lpCollectPath) {
    static const qvp::FrameTexts texts{"qvAPIFindNextPackageJob"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        PackageJobWalk* walk = WalkOf(call, hFindPackageJob);
        if (walk == nullptr) return 0;
        if (lpFindPackageJobData == nullptr) {
            Refuse(call, kRecordNull, QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        std::memset(walk->work, 0, sizeof walk->work);
        if (const uint32_t code = NextRecord(call, *walk, lpCollectPath, false)) {
            call.Fail(code);
            return 0;
        }
        CopyOut(call.block(), *walk, lpFindPackageJobData);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindClosePackageJob(QVPAPI_HANDLE hFindPackageJob, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIFindClosePackageJob"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (WalkOf(call, hFindPackageJob) == nullptr) return 0;
        EndPackageJobWalk(call.block());
        return 1;
    });
}
