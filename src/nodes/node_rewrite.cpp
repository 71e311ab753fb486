// Stamping a definition's update time, setting a master's hold byte, and renaming a node in
// every node group that lists it. A definition is kept twice: whole in its flat file and as the
// 960-byte head of its nodeattributionfile; both are written, head first.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/frame.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_record.h"
#include "nodes/node_texts.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kStampBadName[] = "%s : Parameter Err : lpClientName Value is INVALID";
constexpr char kStampFind[] = "%s : qvAPIFindClientDefinition Err";
constexpr char kHoldBadName[] = "%s : Parameter Error : lpNodeName Value is INVALID";
constexpr char kHoldFind[] = "%s : qvAPIFindMasterDefinition Error code=0x%8.8x";
constexpr char kBadRecord[] = "%s : Parameter Error : QVAPI_NODE Struct Address is NULL";
constexpr char kHeadRestore[] = "%s : Restore Error : file = %s, errno = %d";

constexpr char kLinkNoFile[] = "%s : Parameter Error : lpNodeDefAttrFile is NULL";
constexpr char kLinkBadSize[] = "%s : FileSize is INVALID : file = %s size = %u(true:%u)";
constexpr char kLinkRead[] = "%s : ReadFile Error : errno = 0x%x size = %u";
constexpr char kLinkCreateFile[] = "%s : CreateFile Error : errno = 0x%x";
constexpr char kLinkSeek[] = "%s : SetFilePointer Error : errno = 0x%x";
constexpr char kLinkLock[] = "%s : LockFile Error : errno = 0x%x";
constexpr char kLinkGroupRead[] = "%s : ReadFile Error : errno = 0x%x";
constexpr char kLinkWrite[] = "%s : WriteFile Error : errno = 0x%x";
constexpr char kLinkBadGroup[] = "%s : NodeGroup Path is INVALID : file = %s";
}  // namespace msg

// The messages of the two-copy write differ between the stamp (file named) and the hold
// change (system error given).
struct CopyTexts {
    bool namesFile;
    const char* createFile;
    const char* lockFile;
    const char* writeFile;
    const char* unlockFile;
};
constexpr CopyTexts kStampTexts{true, "%s : CreateFile(%s) Err", "%s : LockFile(%s) Err",
                                "%s : WriteFile(%s) Err", "%s : LockFile(%s) Err"};
constexpr CopyTexts kHoldTexts{false, "%s : CreateFile Error code=%d", "%s : LockFile Error code=%d",
                               "%s : WriteFile Error code=%d", "%s : UnlockFile Error code=%d"};

constexpr FrameTexts kStampFrame{"qvAPIChangeTimeDefinition", EndStyle::Hex, nullptr, nullptr,
                                 text::kLogicalErr};
constexpr FrameTexts kHoldFrame{"qvAPIChangeHoldDefinition", EndStyle::Hex, nullptr, nullptr,
                                text::kLogicalError};
constexpr FrameTexts kLinkFrame{"qvAPIChangeLinkNode", EndStyle::RtnCode, nullptr, nullptr,
                                text::kLogicalError};

void LogStep(CallContext& call, const CopyTexts& texts, const char* format,
             const std::string& path) {
    if (texts.namesFile)
        call.Log(format, call.function(), path.c_str());
    else
        call.Log(format, call.function(), LastErr());
}

// Writes `data` at the start of an existing file under a lock over [0, lockSize).
bool WriteLocked(CallContext& call, const CopyTexts& texts, const std::string& path,
                 const void* data, uint32_t size, uint32_t lockSize, std::vector<uint8_t>* before) {
    FileHandle file = OpenExclusive(path);
    if (!file.valid()) {
        LogStep(call, texts, texts.createFile, path);
        return false;
    }
    RangeLock lock(file.get(), 0, lockSize);
    if (!lock.Lock()) {
        LogStep(call, texts, texts.lockFile, path);
        return false;
    }
    if (before != nullptr) {
        before->assign(size, 0);
        uint32_t got = 0;
        if (!Seek(file.get(), 0) || !ReadUpTo(file.get(), before->data(), size, &got)) {
            LogStep(call, texts, texts.writeFile, path);
            return false;
        }
        before->resize(got);
    }
    if (!WriteAt(file.get(), 0, data, size)) {
        LogStep(call, texts, texts.writeFile, path);
        return false;
    }
    if (!lock.Unlock()) {
        LogStep(call, texts, texts.unlockFile, path);
        return false;
    }
    return true;
}

}  // namespace

// Head of the nodeattributionfile, then the flat file. When the flat file cannot be written
// the head is put back as it was, so the two copies never disagree.
bool WriteDefinitionCopiesIn(CallContext& call, CopyMessages messages, const QVAPI_NODE& node,
                             uint32_t nameKind, const char* name, bool master) {
    const CopyTexts& texts = messages == CopyMessages::Stamp ? kStampTexts : kHoldTexts;
    if (!StoredPathFieldsUsable(node)) {
        call.Log(text::kStoredPathInvalid, call.function(), name);
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return false;
    }
    const std::string headPath = AttributionPathByName(node, nameKind, name);
    const std::string flatPath = FlatFilePath(node, nameKind, name, master);
    std::vector<uint8_t> oldHead;
    if (!WriteLocked(call, texts, headPath, &node, kAttributionHeadSize, kAttributionHeadSize,
                     &oldHead)) {
        call.Fail(QVAPI_ERR_RESOURCE);
        return false;
    }
    if (!WriteLocked(call, texts, flatPath, &node, sizeof node, sizeof node, nullptr)) {
        const int error = LastErr();
        if (!WriteLocked(call, texts, headPath, oldHead.data(),
                         static_cast<uint32_t>(oldHead.size()), kAttributionHeadSize, nullptr))
            call.Log(msg::kHeadRestore, call.function(), headPath.c_str(), LastErr());
        win::SetLastError(static_cast<win::DWORD>(error));
        call.Fail(QVAPI_ERR_RESOURCE);
        return false;
    }
    return true;
}

namespace {

bool NameTooLongOrNull(const char* name) {
    return name == nullptr || strnlen(name, QVAPI_NODE_NAME_LEN + 1) > QVAPI_NODE_NAME_LEN;
}

// The kind of the node name a definition change is given; 0 with the call failed.
uint32_t CheckedNameKind(CallContext& call, const char* name, const char* badNameText) {
    if (NameTooLongOrNull(name)) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, badNameText, call.function());
        return 0;
    }
    const uint32_t kind = NodeNameKind(name);
    if (kind == 0) {
        call.Log(text::kKindNotFound, call.function(), name);
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
    }
    return kind;
}

// A file of the link rewrite, opened without sharing and placed past its head, the head locked
// so that no other writer moves the entries meanwhile. The lock goes before the file closes.
struct HeadLockedFile {
    FileHandle file;
    std::optional<RangeLock> head;

    // false with the call failed.
    bool Open(CallContext& call, const std::string& path, uint32_t headSize) {
        file = OpenExclusive(path);
        if (!file.valid()) return Failed(call, msg::kLinkCreateFile);
        if (!Seek(file.get(), headSize)) return Failed(call, msg::kLinkSeek);
        head.emplace(file.get(), 0, headSize);
        if (!head->Lock()) return Failed(call, msg::kLinkLock);
        return true;
    }
    bool Unlock(CallContext& call) {
        if (head->Unlock()) return true;
        return Failed(call, msg::kLinkLock);
    }

private:
    static bool Failed(CallContext& call, const char* format) {
        return call.Failed(QVAPI_ERR_RESOURCE, format, call.function(), LastErr());
    }
};

}  // namespace

bool ChangeLinkNodeIn(CallContext& call, const char* attributionFile, const QVAPI_NODE* oldNode,
                      const QVAPI_NODE* newNode) {
    if (attributionFile == nullptr || *attributionFile == '\0') {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kLinkNoFile, call.function());
    }
    if (oldNode == nullptr || newNode == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadRecord, call.function());
    }
    const std::string oldName = GroupNameOf(*oldNode);
    const std::string newName = GroupNameOf(*newNode);
    const uint32_t oldKind = oldNode->uiNodeAttributes;
    const uint32_t newKind = newNode->uiNodeAttributes;
    if (oldName == newName && oldKind == newKind) return true;

    const std::string attrPath = attributionFile;
    HeadLockedFile attr;
    if (!attr.Open(call, attrPath, kAttributionHeadSize)) return false;
    for (;;) {
        char link[kBackLinkSize];
        uint32_t got = 0;
        if (!ReadUpTo(attr.file.get(), link, kBackLinkSize, &got)) {
            return call.Failed(QVAPI_ERR_RESOURCE, msg::kLinkRead, call.function(), LastErr(), got);
        }
        if (got == 0) break;
        if (got != kBackLinkSize) {
            return call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                               msg::kLinkBadSize, call.function(), attrPath.c_str(), got,
                               static_cast<unsigned>(kBackLinkSize));
        }
        // A back-link fills its 260 bytes only when it is damaged: never read past them.
        const std::string groupPath(FieldText(link, kBackLinkSize));
        // A stored path becomes a path only when a caller could have named it.
        if (CheckGroupPath(groupPath) != 0) {
            call.Log(msg::kLinkBadGroup, call.function(), attrPath.c_str());
            call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
            return false;
        }
        const std::string groupFile = GroupFilePath(groupPath);
        HeadLockedFile group;
        if (!group.Open(call, groupFile, kGroupHeaderSize)) return false;
        for (uint32_t at = kGroupHeaderSize;; at += kGroupEntrySize) {
            NodeGroupEntry entry;
            uint32_t read = 0;
            if (!ReadUpTo(group.file.get(), &entry, sizeof entry, &read)) {
                return call.Failed(QVAPI_ERR_RESOURCE,
                                   msg::kLinkGroupRead, call.function(), LastErr());
            }
            if (read < sizeof entry) break;  // end of the group: it does not list the node
            if (entry.uiMemberKind != oldKind ||
                !FieldEquals(entry.ucMemberName, kGroupMemberNameSize, oldName))
                continue;
            FieldSet(entry.ucMemberName, kGroupMemberNameSize, newName);
            entry.uiMemberKind = newKind;
            if (!WriteAt(group.file.get(), at, &entry, sizeof entry)) {
                return call.Failed(QVAPI_ERR_RESOURCE, msg::kLinkWrite, call.function(), LastErr());
            }
            break;
        }
        if (!group.Unlock(call)) return false;
    }
    return attr.Unlock(call);
}

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

int qvp::nodes::qvAPIChangeTimeDefinition(const char* lpNodeName, QVAPI_NODE_TIME stUpdateTime,
                              uint32_t fdwMaster, uint32_t) {
    return qvp::RunApi(kStampFrame, 0, [&](CallContext& call) {
        const uint32_t kind = CheckedNameKind(call, lpNodeName, msg::kStampBadName);
        if (kind == 0) return 0;
        const bool master = fdwMaster != 0;
        // The stored record is read whole: a record cut to the caller's level and written back
        // would lose its host ID, MAC address and creation time.
        QVAPI_NODE node;
        const uint32_t error =
            ReadDefinitionWhole(call.block(), call.function(), lpNodeName, master, &node);
        if (error != 0) {
            call.Failed(error, msg::kStampFind, call.function());
            return 0;
        }
        node.stUpdateTime = stUpdateTime;
        return WriteDefinitionCopiesIn(call, CopyMessages::Stamp, node, kind, lpNodeName, master)
                   ? 1
                   : 0;
    });
}

int qvp::nodes::qvAPIChangeHoldDefinition(const char* lpNodeName, uint32_t uiNodeAttributes,
                              const QVAPI_NODE* lpNodeData) {
    return qvp::RunApi(kHoldFrame, 0, [&](CallContext& call) {
        const uint32_t kind = CheckedNameKind(call, lpNodeName, msg::kHoldBadName);
        if (kind == 0) return 0;
        if (uiNodeAttributes != kMemberMaster) return 1;
        if (lpNodeData == nullptr) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadRecord, call.function());
            return 0;
        }
        QVAPI_NODE node;
        const uint32_t error =
            ReadDefinitionWhole(call.block(), call.function(), lpNodeName, true, &node);
        if (error != 0) {
            // The finder answers a missing master with the end of its list.
            call.Failed(error,
                        msg::kHoldFind, call.function(),
                        error == QVAPI_ERR_NOT_FOUND ? QVAPI_ERR_NO_MORE_ITEMS : error);
            return 0;
        }
        node.ucHoldFlag = lpNodeData->ucHoldFlag;
        return WriteDefinitionCopiesIn(call, CopyMessages::Hold, node, kind, lpNodeName, true) ? 1
                                                                                           : 0;
    });
}

int qvp::nodes::qvAPIChangeLinkNode(const char* lpNodeDefAttrFile, const QVAPI_NODE* lpOldNode,
                        const QVAPI_NODE* lpNewNode) {
    return qvp::RunApi(kLinkFrame, 0, [&](CallContext& call) {
        return ChangeLinkNodeIn(call, lpNodeDefAttrFile, lpOldNode, lpNewNode) ? 1 : 0;
    });
}
