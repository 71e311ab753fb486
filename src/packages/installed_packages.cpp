// Installed packages of a node: the status walk under the node filter, deletion, and the move
// of every record of a node to a new node name. Node names travel escaped ('.' as '!').
#include <cstring>
#include <set>
#include <string>

#include "core/errors.h"
#include "core/frame.h"
#include "core/text.h"
#include "nodes/node_writer.h"
#include "packages/package_args.h"
#include "records/keys.h"
#include "records/records.h"

namespace {

using qvp::CallContext;
using qvp::FrameTexts;
using namespace qvp::packages;

namespace msg {
constexpr char kFirstNode[] = "%s : Logical Error : NodeName Pointer is NULL";
constexpr char kFirstData[] = "%s : Logical Error : FindInsPackageData Pointer is NULL";
constexpr char kFirstEmpty[] = "%s : Logical Error : Top of NodeName is NULL";
constexpr char kNextData[] = "%s : Logical Error : FindInsPackageData Pointer is NULL";
constexpr char kNodeLength[] = "%s : Logical Error : NodeName Length is Over";
constexpr char kQvCode[] = "%s : Logical Error : ucQVCode is Invalid";
constexpr char kPackageEmpty[] = "%s : Logical Error : Top of PackageId is NULL";
constexpr char kVersionEmpty[] = "%s : Logical Error : Top Of Version is NULL";
constexpr char kGenerationEmpty[] = "%s : Logical Error : Top of Generation is NULL";
constexpr char kRenameNull[] = "%s : Logical Error : NodeName Pointer is NULL";
constexpr char kRenameEmpty[] = "%s : Logical Error : Top of NodeName is NULL";
constexpr char kFirstSts[] = "%s : qvpAPIGetFileFirstSts Error  : ErrorCode = %d";
constexpr char kUpdateSts[] = "%s : qvpAPIUpdateSts Error : ErrorCode = %d";
constexpr char kBadRecord[] = "%s : Status Record is INVALID : Length = %u";
constexpr char kTooMany[] = "%s : Status Walk does not advance : %u";
}  // namespace msg

constexpr FrameTexts kFirstFrame{"qvAPIFindFirstInsPackage"};
constexpr FrameTexts kNextFrame{"qvAPIFindNextInsPackage"};
constexpr FrameTexts kCloseFrame{"qvAPIFindCloseInsPackage"};
constexpr FrameTexts kDeleteFrame{"qvAPIDeleteInsPackage"};
constexpr FrameTexts kRenameFrame{"qvAPIChangeNameInsPackage"};

constexpr size_t kNodeNameMax = 64;
constexpr size_t kNodeNameOffset = 55;
// A manager that keeps answering with records never keeps a rename going for ever: a node has
// each package once, and no more packages than this.
constexpr size_t kRenameWalkMax = 65536;

// The escaped form of a node name of 1 to 64 characters; "" after refusing a longer one.
std::string Escaped(CallContext& call, const char* node) {
    if (strnlen(node, kNodeNameMax + 1) > kNodeNameMax) {
        Refuse(call, msg::kNodeLength);
        return {};
    }
    char escaped[kNodeNameMax + 1] = {};
    qvpEscapeDots(node, escaped);
    return escaped;
}

int CopyOut(const QVAPI_INSPACKAGE* record, QVAPI_INSPACKAGE* out) {
    if (record == nullptr) return 0;
    std::memcpy(out, record, sizeof *out);
    return 1;
}

enum class Step { Stored, Ended, Failed };

// One record of the rename walk, lying as the item of the reply in the reply buffer.
Step RenameRecord(CallContext& call, const std::string& oldName, const std::string& newName,
                  std::set<std::string>& seen) {
    QVPAPI& block = call.block();
    uint32_t length = 0;
    char* record = const_cast<char*>(qvpAPIGetFgetItem(block.replyBuffer, block.replyLength, &length));
    std::string name;
    if (record == nullptr || length < QVAPI_INSPACKAGE_SIZE || !StatusRecordNodeName(record, length, name)) {
        call.Log(msg::kBadRecord, call.function(), length);
        call.Fail(QVAPI_ERR_RESOURCE);
        return Step::Failed;
    }
    if (name != oldName) return Step::Ended;
    // Each package of the node comes once; one coming again means the walk no longer advances.
    QVAPI_INSPACKAGE fixed;
    std::memcpy(&fixed, record, sizeof fixed);  // it may lie unaligned
    if (!seen.insert(qvp::records::StatusPackageKey(fixed)).second || seen.size() > kRenameWalkMax) {
        call.Log(msg::kTooMany, call.function(), static_cast<unsigned>(seen.size()));
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return Step::Failed;
    }
    std::memset(record + kNodeNameOffset, ' ', kNodeNameMax);
    std::memcpy(record + kNodeNameOffset, newName.data(), newName.size());
    if (!qvpAPIUpdateSts(&block, oldName.c_str(), newName.c_str(),
                         reinterpret_cast<const QVAPI_INSPACKAGE*>(record))) {
        call.Log(msg::kUpdateSts, call.function(), static_cast<int>(qvAPIGetLastError()));
        call.Fail(QVAPI_ERR_RESOURCE);
        return Step::Failed;
    }
    return Step::Stored;
}

int Rename(CallContext& call, const std::string& oldName, const std::string& newName) {
    QVPAPI& block = call.block();
    if (!qvpAPIGetFileFirstSts(&block, oldName.c_str())) {
        const uint32_t code = qvAPIGetLastError();
        if (code == QVAPI_ERR_NOT_FOUND || block.errorDetail1 == 16) {
            call.Fail(QVAPI_ERR_NOT_FOUND);
            return 0;
        }
        call.Failed(QVAPI_ERR_RESOURCE, msg::kFirstSts, call.function(), static_cast<int>(code));
        return 0;
    }
    std::set<std::string> seen;
    for (;;) {
        const Step step = RenameRecord(call, oldName, newName, seen);
        if (step == Step::Failed) return 0;
        if (step == Step::Ended) return 1;
        if (!qvpAPIGetFileNextSts(&block, oldName.c_str(), newName.c_str())) {
            call.Fail(QVAPI_ERR_RESOURCE);
            return 0;
        }
        switch (qvpAPICheckFgetReply(block.replyBuffer, block.replyLength)) {
            case kFgetRecord: continue;
            case kFgetNoMore:
            case kFgetOtherZero:
            case kFgetClass16: return 1;  // every record of the node moved
            default: call.Fail(QVAPI_ERR_RESOURCE); return 0;
        }
    }
}

}  // namespace

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstInsPackage(const char* NodeName,
                                                                QVAPI_INSPACKAGE* FindInsPackageData, uint32_t,
                                                                uint32_t) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) -> QVPAPI_HANDLE {
        if ((NodeName == nullptr && !Refuse(call, msg::kFirstNode)) ||
            (FindInsPackageData == nullptr && !Refuse(call, msg::kFirstData)) ||
            (NodeName[0] == '\0' && !Refuse(call, msg::kFirstEmpty)))
            return QVPAPI_INVALID_HANDLE;
        const std::string node = Escaped(call, NodeName);
        if (node.empty()) return QVPAPI_INVALID_HANDLE;
        QVPAPI& block = call.block();
        // The filter, holding the escaped name, stays for the FindNext calls.
        if (!qvpAPISetStsNodeQuery(&block, node.c_str()) || !qvpAPIGetHeadStsPos(&block, node.c_str()) ||
            !CopyOut(qvpAPIGetNextSts(&block), FindInsPackageData)) {
            qvp::KeepLastError keep;
            qvpAPIDeleteStsNodeQuery(&block);
            return QVPAPI_INVALID_HANDLE;
        }
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextInsPackage(QVPAPI_HANDLE hFindInsPackage,
                                                     QVAPI_INSPACKAGE* FindInsPackageData, uint32_t, uint32_t) {
    return qvp::RunApi(kNextFrame, 0, [&](CallContext& call) {
        if (!FindHandleValid(call, hFindInsPackage)) return 0;
        if (FindInsPackageData == nullptr) return static_cast<int>(Refuse(call, msg::kNextData));
        return CopyOut(qvpAPIGetNextSts(&call.block()), FindInsPackageData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseInsPackage(QVPAPI_HANDLE hFindInsPackage, uint32_t, uint32_t) {
    return qvp::RunApi(kCloseFrame, 0, [&](CallContext& call) { return CloseFind(call, hFindInsPackage, 'S'); });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteInsPackage(const char* NodeName, char ucQvCode, const char* PackageId,
                                                   const char* Version, const char* Generation, uint32_t,
                                                   uint32_t) {
    return qvp::RunApi(kDeleteFrame, 0, [&](CallContext& call) {
        if (ucQvCode != 0 && !qvpIsValidQvCode(static_cast<unsigned char>(ucQvCode)))
            return static_cast<int>(Refuse(call, msg::kQvCode));
        if ((PackageId != nullptr && PackageId[0] == '\0' && !Refuse(call, msg::kPackageEmpty)) ||
            (Version != nullptr && Version[0] == '\0' && !Refuse(call, msg::kVersionEmpty)) ||
            (Generation != nullptr && Generation[0] == '\0' && !Refuse(call, msg::kGenerationEmpty)))
            return 0;
        std::string node;
        if (NodeName != nullptr) {
            node = Escaped(call, NodeName);
            if (node.empty() && NodeName[0] != '\0') return 0;
        }
        if (qvpAPIDeleteSts(&call.block(), NodeName == nullptr ? nullptr : node.c_str(), ucQvCode, PackageId,
                            Version, Generation))
            return 1;
        call.Fail(qvAPIGetLastError());  // 0x20610000 when nothing matched
        return 0;
    });
}

namespace {
// A node whose key name changes takes its installed packages along: the node writers rename
// them through this export once this area is loaded.
const bool kRenameConnected = [] {
    qvp::SetInsPackageRename(&qvAPIChangeNameInsPackage);
    return true;
}();
}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIChangeNameInsPackage(const char* lpOldNodeName, const char* lpNewNodeName, uint32_t,
                                                       uint32_t) {
    return qvp::RunApi(kRenameFrame, 0, [&](CallContext& call) {
        for (const char* name : {lpOldNodeName, lpNewNodeName}) {
            if (name == nullptr) return static_cast<int>(Refuse(call, msg::kRenameNull));
            if (name[0] == '\0') return static_cast<int>(Refuse(call, msg::kRenameEmpty));
        }
        const std::string oldName = Escaped(call, lpOldNodeName);
        const std::string newName = oldName.empty() ? std::string() : Escaped(call, lpNewNodeName);
        if (newName.empty()) return 0;
        QVPAPI& block = call.block();
        int result = 0;
        if (qvpAPISetStsNodeQuery(&block, oldName.c_str())) result = Rename(call, oldName, newName);
        qvp::KeepLastError keep;
        qvpAPIDeleteStsNodeQuery(&block);
        return result;
    });
}
