// A removed or renamed node's member entries follow it: mode 16 collects every entry of the node
// in all IDs into the idoperatefile pair of a work folder and removes them from the ID store;
// mode 33 renames the node in the store directly.
#include <cstring>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/frame.h"
#include "core/fresh_folder.h"
#include "core/handles.h"
#include "core/paths.h"
#include "idgroups/id_finders.h"
#include "idgroups/id_forced.h"
#include "idgroups/id_operate.h"
#include "nodes/name_checks.h"
#include "platform/byte_order.h"

namespace qvp::ids {

namespace {

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts kEntryFrame{"qvAPIOperateIDEntry", EndStyle::Decimal, nullptr, nullptr, kLogicalError};

constexpr char kNodeNull[] = "%s : lpNodeName Pointer NULL";
constexpr char kNodeNg[] = "%s : lpNodeName is NG";
constexpr char kNewNg[] = "%s : lpNewName is NG. (fdProcMode : 0x%x)";
constexpr char kModeBad[] = "%s : fdProcMode is invalid parameter";
constexpr char kDirError[] = "%s : qvpCreateDirectory Error";
constexpr char kGroupCreate[] = "%s : IDGroup File CreateFile Error : errno = %d";
constexpr char kEntryCreate[] = "%s : IDEntry FIle CreateFile Error : errno = %d";
constexpr char kWriteError[] = "%s : WriteFile(IDGroup) Error : errno = %d";
constexpr char kEntryWriteError[] = "%s : IDEntry file WriteFile Error : errno = %d";
constexpr char kKindError[] = "%s : qvAPIGetNodeNameType : ErrorCode = 0x%8.8x";
constexpr char kKeyKind[] = "%s wdNodeKey:%d";
constexpr char kGroupNotFound[] = "%s : IDGroup not found";
constexpr char kEntryNotFound[] = "%s : ID_Entry not found";
constexpr char kFirstGroupErr[] = "%s : qvAPIFindFirstIDGroup : ErrorCode = 0x%8.8x";
constexpr char kNextGroupErr[] = "%s : qvAPIFindNextIDGroup : ErrorCode = 0x%8.8x";
constexpr char kFirstClientErr[] = "%s : qvAPIFindFIrstIDClient : ErrorCode = 0x%8.8x";
constexpr char kNextClientErr[] = "%s : qvAPIFindNextIDClient : wErrorCode = 0x%8.8x";
constexpr char kReadError[] = "%s : IDClient file ReadFile Error : errno = %d";
constexpr char kNoData[] = "%s : IDGroup file no data";
constexpr char kBroken[] = "%s : IDGroup file Break!? Read size : %d";
constexpr char kDebug[] = "%s DEBUG : qvpAPIIDNodeOperate Old:%s New:%s";
constexpr char kFindGroupSkip[] = "%s : qvAPIFindIDGroup(%c) : ErrorCode = 0x%8.8x";
constexpr char kDeleteErr[] = "%s : qvAPIDeleteIDEntryForced(%c) : ErrorCode = 0x%8.8x";
constexpr char kRenameErr[] = "%s : qvAPICreateClientIDGroupForced : ErrorCode = 0x%8.8x";
constexpr char kOperateErr[] = "%s : qvpAPIIDNodeOperate : ErrorCode = 0x%8.8x";

constexpr uint32_t kHeaderSize = 128;
constexpr uint32_t kRecordSize = 516;

// An idoperatefile_C record.
struct EntryRecord {
    char id[64];
    char oldKey[65];
    char oldMaster[67];
    uint32_t nodeType;
    uint32_t attributes;
    char newKey[65];
    char master[247];
};
static_assert(sizeof(EntryRecord) == kRecordSize);
static_assert(offsetof(EntryRecord, oldKey) == 64);
static_assert(offsetof(EntryRecord, oldMaster) == 129);
static_assert(offsetof(EntryRecord, nodeType) == 196);
static_assert(offsetof(EntryRecord, attributes) == 200);
static_assert(offsetof(EntryRecord, newKey) == 204);
static_assert(offsetof(EntryRecord, master) == 269);

std::string Bounded(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }
void Put(char* field, size_t width, const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

// One work file: its header counts what was appended.
class WorkFile {
public:
    bool Open(CallContext& call, const FreshFolder& folder, const char* name, const char* createText) {
        file_ = FileHandle(folder.Open(name, win::GENERIC_READ | win::GENERIC_WRITE, 0, win::CREATE_NEW));
        if (!file_.valid()) return call.Failed(QVAPI_ERR_RESOURCE, createText, call.function(), Errno());
        if (!WriteHeader(call, kHeaderSize, 0)) return false;
        // A file left by an earlier call that never finished must not lend its records.
        win::SetFilePointer(file_.get(), kHeaderSize, nullptr, win::FILE_BEGIN);
        if (!win::SetEndOfFile(file_.get())) return call.Failed(QVAPI_ERR_RESOURCE, createText, call.function(), Errno());
        return true;
    }
    bool Append(CallContext& call, const void* record, const char* text) {
        win::DWORD written = 0;
        if (!win::WriteFile(file_.get(), record, kRecordSize, &written, nullptr) || written != kRecordSize) {
            return call.Failed(QVAPI_ERR_RESOURCE, text, call.function(), Errno());
        }
        ++count_;
        return true;
    }
    bool Finish(CallContext& call) { return WriteHeader(call, count_ * kRecordSize, count_); }
    uint32_t count() const { return count_; }
    win::HANDLE get() const { return file_.get(); }

private:
    static int Errno() { return static_cast<int>(win::GetLastError()); }
    bool WriteHeader(CallContext& call, uint32_t bytes, uint32_t records) {
        uint8_t header[kHeaderSize] = {};
        putLe32(header, bytes);
        putLe32(header + 12, records);
        win::DWORD written = 0;
        if (win::SetFilePointer(file_.get(), 0, nullptr, win::FILE_BEGIN) == win::INVALID_SET_FILE_POINTER ||
            !win::WriteFile(file_.get(), header, kHeaderSize, &written, nullptr) || written != kHeaderSize) {
            return call.Failed(QVAPI_ERR_RESOURCE, kWriteError, call.function(), Errno());
        }
        win::SetFilePointer(file_.get(), 0, nullptr, win::FILE_END);
        return true;
    }
    FileHandle file_;
    uint32_t count_ = 0;
};

// The member's field that names the node, by node-key kind (4 name, 8 address, 17 host ID).
std::string MemberKey(const IdNodeData& member, int keyKind) {
    if (keyKind == 17) return Bounded(member.hostId, sizeof member.hostId);
    if (keyKind == 8) {
        char text[16] = {};
        return qvpAPIIPAddrHexToStr(member.address, text) ? std::string(text) : std::string();
    }
    return Bounded(member.name, sizeof member.name);
}

// Every ID into the group file, then every matching member of each into the entry file.
uint32_t SearchEntries(CallContext& call, const std::string& name, WorkFile& groups, WorkFile& entries) {
    const char* fn = call.function();
    const uint32_t type = nodes::qvAPIGetNodeNameType(name.c_str(), 0, 0, 0);
    if (type == 0) {
        call.Log(kKindError, fn, qvAPIGetLastError());
        return qvAPIGetLastError();
    }
    const int keyKind = type == 0x11 ? 17 : call.block().systemManagementKey == 1 ? 8 : 4;
    call.Log(kKeyKind, fn, keyKind);
    std::vector<std::string> ids;
    IdNodeData record{};
    auto* node = reinterpret_cast<QVAPI_NODE*>(&record);
    QVPAPI_HANDLE walk = qvAPIFindFirstIDGroup(nullptr, node, 0, 0);
    if (walk == QVPAPI_INVALID_HANDLE) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(kFirstGroupErr, fn, code);
        return code == QVAPI_ERR_NO_MORE_ITEMS ? QVAPI_ERR_NOT_FOUND : code;
    }
    uint32_t code = 0;
    do {
        char line[kRecordSize] = {};
        Put(line, sizeof line, Bounded(record.name, sizeof record.name));
        if (!groups.Append(call, line, kWriteError)) code = call.code();
        else ids.push_back(line);
        record = IdNodeData{};
    } while (code == 0 && qvAPIFindNextIDGroup(walk, node, 0, 0));
    if (code == 0 && qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS) {
        code = qvAPIGetLastError();
        call.Log(kNextGroupErr, fn, code);
    }
    qvAPIFindCloseIDGroup(walk, 0, 0);
    if (code != 0) return code;
    if (ids.empty()) {
        call.Log(kGroupNotFound, fn);
        return QVAPI_ERR_NOT_FOUND;
    }
    if (!groups.Finish(call)) return call.code();
    for (const std::string& id : ids) {
        walk = qvAPIFindFirstIDClient(nullptr, id.c_str(), node, 0, 0);
        if (walk == QVPAPI_INVALID_HANDLE) {
            if (qvAPIGetLastError() == QVAPI_ERR_NO_MORE_ITEMS) continue;
            call.Log(kFirstClientErr, fn, qvAPIGetLastError());
            return qvAPIGetLastError();
        }
        do {
            if (MemberKey(record, keyKind) == name) {
                EntryRecord entry{};
                Put(entry.id, sizeof entry.id, id);
                Put(entry.oldKey, sizeof entry.oldKey, name);
                const std::string master = keyKind == 17 ? Bounded(record.siteHostId, sizeof record.siteHostId)
                                                         : Bounded(record.site, sizeof record.site);
                Put(entry.oldMaster, sizeof entry.oldMaster, master);
                Put(entry.master, sizeof entry.master, master);
                putLe32(reinterpret_cast<uint8_t*>(&entry.nodeType), record.type);
                putLe32(reinterpret_cast<uint8_t*>(&entry.attributes), record.entryAttributes);
                if (!entries.Append(call, &entry, kEntryWriteError)) code = call.code();
            }
            record = IdNodeData{};
        } while (code == 0 && qvAPIFindNextIDClient(walk, node, 0, 0));
        if (code == 0 && qvAPIGetLastError() != QVAPI_ERR_NO_MORE_ITEMS) {
            code = qvAPIGetLastError();
            call.Log(kNextClientErr, fn, code);
        }
        qvAPIFindCloseIDClient(walk, 0, 0);
        if (code != 0) return code;
    }
    if (entries.count() == 0) {
        call.Log(kEntryNotFound, fn);
        return QVAPI_ERR_NOT_FOUND;
    }
    return entries.Finish(call) ? 0 : call.code();
}

// Mode 16 over the entry file, from its first record: every entry of an ID still known is
// removed. 0 or the code.
uint32_t RemoveEntries(CallContext& call, win::HANDLE file) {
    const char* fn = call.function();
    win::SetFilePointer(file, kHeaderSize, nullptr, win::FILE_BEGIN);
    for (bool first = true;; first = false) {
        EntryRecord entry{};
        win::DWORD read = 0;
        if (!win::ReadFile(file, &entry, kRecordSize, &read, nullptr)) {
            call.Log(kReadError, fn, static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
        if (read == 0) {
            if (!first) return 0;
            call.Log(kNoData, fn);
            return QVAPI_ERR_NOT_FOUND;
        }
        if (read != kRecordSize) {
            call.Log(kBroken, fn, static_cast<int>(read));
            return QVAPI_ERR_UNEXPECTED_DATA;
        }
        const std::string id = Bounded(entry.id, sizeof entry.id);
        const std::string oldKey = Bounded(entry.oldKey, sizeof entry.oldKey);
        const uint32_t attributes = le32(reinterpret_cast<const uint8_t*>(&entry.attributes));
        QVAPI_NODE group{};
        if (!qvAPIFindIDGroup(nullptr, id.c_str(), &group, 0, 0)) {
            call.Log(kFindGroupSkip, fn, 'D', qvAPIGetLastError());
            continue;
        }
        if (!qvAPIDeleteIDEntryForced(id.c_str(), oldKey.c_str(), attributes, 0, 0) &&
            qvAPIGetLastError() != QVAPI_ERR_NOT_FOUND) {
            call.Log(kDeleteErr, fn, 'D', qvAPIGetLastError());
            return qvAPIGetLastError();
        }
    }
}

// Mode 33: the node's name in every list it stands in; a list without it is no failure.
uint32_t RenameEverywhere(CallContext& call, const std::string& old, const char* renamed) {
    for (uint32_t list : {2u, 1u}) {
        if (qvAPIUpdateClientIDGroupForced(old.c_str(), renamed, list, 0, 0)) continue;
        const uint32_t code = qvAPIGetLastError();
        if (code == QVAPI_ERR_NOT_FOUND || code == QVAPI_ERR_NO_MORE_ITEMS) continue;
        call.Log(kRenameErr, call.function(), code);
        return code;
    }
    return 0;
}

}  // namespace

int qvAPIOperateIDEntry(const char* lpNodeName, const char* lpSearchName, const char* lpNewName, uint32_t,
                        uint32_t fdProcMode, uint32_t, uint32_t) {
    return RunApi(kEntryFrame, 0, [&](CallContext& call) -> int {
        const char* fn = call.function();
        QVPAPI& block = call.block();
        if (lpNodeName == nullptr) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNodeNull, fn);
        if (lpNodeName[0] == '\0') return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNodeNg, fn);
        // Mode 32 would read a list only mode 16 makes; nobody asks for it.
        if (fdProcMode != 16 && fdProcMode != 33) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kModeBad, fn);
        if (fdProcMode == 33 && (lpNewName == nullptr || lpNewName[0] == '\0')) {
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNewNg, fn, fdProcMode);
        }
        const std::string name = lpSearchName != nullptr && lpSearchName[0] != '\0' ? lpSearchName : lpNodeName;
        const char* newName = fdProcMode == 16 ? "" : lpNewName;
        call.Log(kDebug, fn, name.c_str(), newName);
        if (fdProcMode == 33) {
            const uint32_t code = RenameEverywhere(call, name, newName);
            if (code != 0) return call.Failed(code, kOperateErr, fn, code);
            return 1;
        }
        char root[win::MAX_PATH] = {};
        qvpMakeMngflNodeGroupPath(root);
        const win::DWORD tid = block.openerThreadId != 0 ? block.openerThreadId : win::GetCurrentThreadId();
        FreshFolder folder(std::string(root) + "\\IDOPR_" + std::to_string(tid), Named::ById);
        if (const uint32_t made = folder.Make(); made != 0) {
            return call.Failed(made == QVAPI_ERR_BUSY ? made : QVAPI_ERR_INVALID_PARAMETER, kDirError, fn);
        }
        const uint32_t code = [&]() -> uint32_t {
            WorkFile groups;
            WorkFile entries;
            if (!groups.Open(call, folder, "idoperatefile_G", kGroupCreate) ||
                !entries.Open(call, folder, "idoperatefile_C", kEntryCreate)) {
                return call.code();
            }
            const uint32_t found = SearchEntries(call, name, groups, entries);
            if (found != 0 && found != QVAPI_ERR_NOT_FOUND && found != QVAPI_ERR_NO_MORE_ITEMS) return found;
            const uint32_t done = RemoveEntries(call, entries.get());
            if (done != 0 && done != QVAPI_ERR_NOT_FOUND) call.Log(kOperateErr, fn, done);
            return done;
        }();
        folder.Remove();
        if (code != 0) {
            call.Fail(code);
            return 0;
        }
        return 1;
    });
}

}  // namespace qvp::ids
