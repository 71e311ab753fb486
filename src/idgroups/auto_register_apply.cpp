// Carrying out an automatic registration on the node-definition store: creation, the change of
// each field group that differs, deletion with the node's inventory and installed packages, and
// the clean-up of a removed node's ID entries (in a per-call work folder).
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/fresh_folder.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "idgroups/auto_register.h"
#include "idgroups/id_operate.h"
#include "idgroups/id_finders.h"
#include "idgroups/id_forced.h"
#include "idgroups/sysgen_info.h"
#include "nodes/name_checks.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_store.h"
#include "platform/byte_order.h"
#include "qvpapi.h"
#include "share/wapi/wapi.h"

namespace qvp::ids {

namespace {

constexpr char kFunction[] = "ACNCallAPIFunction";
constexpr char kGroupFunction[] = "ACNDeleteNodeGroup";
constexpr char kWorkFileFunction[] = "ACNCreteIDGroupWorkFile";

constexpr char kClockUnmatch[] = "SYSGEN_INFO: Systemclock unmatch. Old data has newer time. line : %d";
constexpr char kMkdirError[] = "%s : qvpCreateDirectory Error";
constexpr char kRmdirError[] = "%s : RemoveDirectory Error";
constexpr char kInsertFailed[] = "INSERT : Host name (%s/%s:%s HostID:%s) can't be registred. Code is 0x%08x";
constexpr char kInsertDone[] = "INSERT : Host name (%s/%s:%s HostID:%s) registration process completed.";
constexpr char kNodeFailed[] = "%s : Host name (%s/%s:%s HostID:%s) Node can't be registred. Code is 0x%08x";
constexpr char kNodeDone[] = "%s : Host name (%s/%s:%s HostID:%s) Node registration process completed.";
constexpr char kOppositeDefFailed[] = "%s : Opposite NodeDefinition (%s) can't be deleted. Code is 0x%08x";
constexpr char kOppositeNodeFailed[] = "%s : Opposite Node (%s) can't be deleted. Code is 0x%08x";
constexpr char kGroupEntryFailed[] = "UPDATE : NodeGroup entry (%s) can't be deleted. Code is 0x%08x";
constexpr char kRootEntryFailed[] = "UPDATE : Node (%s) can't be deleted. Code is 0x%08x";
constexpr char kSystemNodeError[] = "%s : qvpAPIOperateSystemNode Error : errno = 0x%08x";
constexpr char kNameSyncDone[] = "UPDATE : (NODE_NAME)ID Syncronize process completed. Node:%s";
constexpr char kHostIdSyncDone[] = "UPDATE : (NODE_HOSTID)ID Syncronize process completed. Node:%s";
constexpr char kHostIdSyncError[] = "%s : qvAPIOperateIDEntry(IDSync) Error : errno = 0x%08x";
constexpr char kHostIdAutoError[] = "%s : qvAPIOperateIDEntry(Auto) Error : errno = 0x%08x";
constexpr char kHoldFailed[] = "UPDATE : Can't change Hold Flag: 0x%08x";
constexpr char kHoldDone[] = "UPDATE : Host name (%s/%s:%s HostID:%s) Hold Flag was changed.";
constexpr char kInventoryRename[] = "%s : Can't change name inventory(%s to %s) : %d : 0x%08x";
constexpr char kPackageRename[] = "%s : Can't change name installed package(%s to %s) : %d : 0x%08x";
constexpr char kDeleteFailed[] = "DELETE : Host name (%s/%s:%s HostID:%s) can't deleted. Code is 0x%08x";
constexpr char kInventoryDelete[] = "%s : Can't delete inventory(%s) : %d : 0x%08x";
constexpr char kPackageDelete[] = "%s : Can't delete installed package(%s) : %d : 0x%08x";
constexpr char kDeleteDone[] = "DELETE : Host name (%s/%s:%s) deletion process completed.";
constexpr char kDeleteSyncDone[] = "DELETE : ID Syncronize process completed. Node:%s";
constexpr char kGroupFileError[] = "%s : IDGroup File CreateFile Error : errno = 0x%08x";
constexpr char kEntryFileError[] = "%s : IDEntry FIle CreateFile Error : errno = 0x%08x";
constexpr char kGroupFileErrorLine[] = "%s : IDGroup File CreateFile Error : errno = 0x%08x LINE:%d";
constexpr char kEntryFileErrorLine[] = "%s : IDEntry FIle CreateFile Error : errno = 0x%08x LINE:%d";
constexpr char kJdelSwapped[] = "%s : qvpAPIDeleteIDCommandbyIDentry Error : LINE:%d";
constexpr char kJdelKey[] = "%s : qvpAPIDeleteIDCommandbyIDentry(C) Error : LINE:%d";
constexpr char kOperateError[] = "%s : qvAPIOperateIDEntry Error : errno = 0x%08x";
constexpr char kOperateErrorLine[] = "%s : qvAPIOperateIDEntry Error : errno = 0x%08x LINE:%d";
constexpr char kWorkOpenGroup[] = "%s : IDGroup File CreateFile Error : errno = %d";
constexpr char kWorkOpenEntry[] = "%s : IDEntry FIle CreateFile Error : errno = %d";
constexpr char kWorkWrite[] = "%s : WriteFile Error : errno = %d";
constexpr char kWorkShort[] = "%s : Write Size Error : WriteSize = %d";

constexpr char kGroupStart[] = "%s : START";
constexpr char kGroupEnd[] = "%s END : Code = %d";
constexpr char kGroupNullName[] = "%s : Parameter Error : Client Name Address is NULL";
constexpr char kGroupEmptyName[] = "%s : Parameter Error : Top of Client Name Value is NULL";
constexpr char kGroupNameType[] = "%s : qvAPIGetNodeNameType : Not found key type = %s";
constexpr char kGroupCreateMutex[] = "%s : CreateMutex  Err : Mutex = %s : errno = %d";
constexpr char kGroupWaitMutex[] = "%s : WaitForSingleObject Err : Mutex = %s : errno = %d";
constexpr char kGroupRead[] = "%s : qvAPIGetClientDefinitionByName %s : ErrorCode = 0x%8.8x";
constexpr char kGroupTime[] = "%s :Time Check Err : GREATER";
constexpr char kGroupOpen[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kGroupSize[] = "%s : GetFileSize %s : ErrorCode = %d";
constexpr char kGroupEntrySize[] = "%s : NodeGroup EntrySize Error : %d is Not %u * n";
constexpr char kGroupReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kGroupDelete[] = "%s : qvAPIDeleteNodeGroupEntry %s %s : ErrorCode = 0x%8.8x";

constexpr uint32_t kModeRename = 33;
constexpr uint32_t kModeRemove = 16;
constexpr size_t kAttrHead = 960;
constexpr size_t kAttrLink = 260;
constexpr size_t kWorkHeader = 128;

// The ID entries and system-operate jobs of a node, as the ID-change jobs carry them.
int OperateIdEntries(const char* node, const char* search, const char* newName, uint32_t, uint32_t mode) {
    return qvAPIOperateIDEntry(node, search, newName, 0, mode, 0, 0);
}
OperateIdEntryFn g_operate = &OperateIdEntries;
OperateSystemNodeFn g_systemNode = &qvpAPIOperateSystemNode;

template <size_t N>
std::string Get(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}
bool SameNoCase(std::string_view a, std::string_view b) { return win::CharUpper(a) == win::CharUpper(b); }
bool AtTop(std::string_view path) { return path.empty() || path == "\\"; }
bool Tolerated(uint32_t code) { return code == QVAPI_ERR_NO_MORE_ITEMS || code == QVAPI_ERR_NOT_FOUND; }

// Later by year, month, day, hour, minute, second and milliseconds; the weekday is not compared.
bool Later(const QVAPI_NODE_TIME& a, const QVAPI_NODE_TIME& b) {
    const uint16_t x[] = {a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond, a.wMilliseconds};
    const uint16_t y[] = {b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond, b.wMilliseconds};
    for (size_t i = 0; i < 7; ++i)
        if (x[i] != y[i]) return x[i] > y[i];
    return false;
}

std::vector<std::string> Levels(std::string_view path) {
    std::vector<std::string> out;
    while (!path.empty()) {
        const size_t cut = path.find('\\');
        if (cut != 0) out.emplace_back(path.substr(0, cut));
        if (cut == std::string_view::npos) break;
        path.remove_prefix(cut + 1);
    }
    return out;
}

// The per-call ID-sync work folder, made fresh: removed at the end of the call when it is still
// there.
class WorkFolder {
public:
    explicit WorkFolder(std::string path) : folder_(std::move(path), Named::ById) {}
    ~WorkFolder() {
        if (made_ && win::GetFileAttributes(path().c_str()) != win::INVALID_FILE_ATTRIBUTES) RemoveEmpty();
    }
    bool Make() { return made_ = folder_.Make() == 0; }
    // Only an emptied folder goes: what a failed step left stays with it.
    bool RemoveEmpty() { return folder_.RemoveEmpty(); }
    const std::string& path() const { return folder_.path(); }
    std::string PathOf(const char* name) const { return folder_.PathOf(name); }

    // A work file of the folder, made new through the folder's handle.
    FileHandle CreateFile(const char* name, int kind) const {
        FileHandle file(folder_.Open(name, win::GENERIC_READ | win::GENERIC_WRITE, 0, win::CREATE_NEW));
        if (!file.valid()) {
            qvpDllLog(kind == 0 ? kWorkOpenGroup : kWorkOpenEntry, kWorkFileFunction,
                      static_cast<int>(win::GetLastError()));
            return file;
        }
        uint8_t header[kWorkHeader] = {};
        putLe32(header, kWorkHeader);
        win::DWORD written = 0;
        if (!win::WriteFile(file.get(), header, sizeof header, &written, nullptr))
            qvpDllLog(kWorkWrite, kWorkFileFunction, static_cast<int>(win::GetLastError()));
        else if (written != sizeof header)
            qvpDllLog(kWorkShort, kWorkFileFunction, static_cast<int>(written));
        return file;
    }

private:
    FreshFolder folder_;
    bool made_ = false;
};

struct Applier {
    CallContext& call;
    QVPAPI& b;
    bool idSync;
    AcnDecision decision;
    QVAPI_NODE& oldR;
    QVAPI_NODE& newR;
    bool hold;
    std::string key, startKey, finalName;
    uint32_t syncError = 0;
    std::string pendingHostId;

    bool Client() const { return oldR.uiNodeAttributes == 1; }
    std::string KindText() const { return Client() ? "Client" : "SubManager"; }
    std::string Name(const QVAPI_NODE& r) const { return Get(r.ucNodeName); }

    // One change call under the current key with the new record; on failure `failText` is
    // logged (function, line and code; or, in the host form, the node's names and the code) and
    // the operation ends.
    bool Change(uint32_t flag, const char* failText, bool hostForm = false) {
        const int ok = oldR.uiNodeAttributes == 1   ? qvAPIChangeClientDefinition(key.c_str(), flag, &newR, 0)
                       : oldR.uiNodeAttributes == 2 ? qvAPIChangeMasterDefinition(key.c_str(), flag, &newR, 0)
                                                    : qvAPIChangeOtherDefinition(key.c_str(), flag, &newR, 0);
        if (ok == 1) return true;
        const uint32_t code = win::GetLastError();
        if (hostForm)
            NodeLog(b, failText, Name(newR).c_str(), IpText(newR).c_str(), KindText().c_str(), key.c_str(), code);
        else
            NodeLog(b, failText, kFunction, __LINE__, code);
        call.Fail(code);
        return false;
    }
    void Changed(const char* item, const std::string& now, const std::string& before) {
        NodeLog(b, "UPDATE : Host name (%s/%s:%s HostID:%s) %s was changed. New:%s ,Old:%s", Name(newR).c_str(),
                IpText(newR).c_str(), KindText().c_str(), key.c_str(), item, now.c_str(), before.c_str());
    }

    void ConnectKindChanged(const char* item) {
        NodeLog(b, "UPDATE : Host name (%s/%s:%s HostID:%s) %s was changed. New:%d ,Old:%d", Name(newR).c_str(),
                IpText(newR).c_str(), KindText().c_str(), key.c_str(), item, static_cast<int>(newR.uiConnectKind),
                static_cast<int>(oldR.uiConnectKind));
    }

    // Adds the client to the root group and deletes the definition it would have under the
    // other key kind, when that is another node.
    int AddToRoot(const char* step) {
        const int added = qvAPICreateClient("\\", key.c_str(), 0, 0);
        if (added == 1)
            NodeLog(b, kNodeDone, step, Name(newR).c_str(), IpText(newR).c_str(), KindText().c_str(), key.c_str());
        else
            NodeLog(b, kNodeFailed, step, Name(newR).c_str(), IpText(newR).c_str(), KindText().c_str(), key.c_str(),
                    win::GetLastError());
        const QVAPI_NODE& r = decision == AcnDecision::Insert ? oldR : newR;
        const std::string opposite = b.systemManagementKey == 0 ? IpText(r) : Name(r);
        QVAPI_NODE other{};
        // The readers find a node by its address under host-name keying too: only a definition
        // other than the one just made or changed is the opposite one.
        if (!opposite.empty() && !SameNoCase(opposite, key) &&
            nodes::ReadClientDefinition(b, kFunction, opposite, other) == 0 && !SameNoCase(AcnKeyName(b, other), key)) {
            if (qvAPIDeleteClientDefinition(opposite.c_str(), 0, nullptr) != 1 && !Tolerated(win::GetLastError()))
                NodeLog(b, kOppositeDefFailed, step, opposite.c_str(), win::GetLastError());
            if (qvAPIDeleteClient("\\", opposite.c_str(), 0, 0) != 1 && !Tolerated(win::GetLastError()))
                NodeLog(b, kOppositeNodeFailed, step, opposite.c_str(), win::GetLastError());
        }
        return added;
    }

    // ID synchronisation of a removed node. false when its work files or folder failed: the
    // definition then stays.
    bool SyncRemoved(WorkFolder& folder) {
        const bool only = decision == AcnDecision::IdSyncOnly;
        const std::string groupPath = folder.PathOf("idsyncIDgrp");
        const std::string entryPath = folder.PathOf("idsyncIDent");
        {
            FileHandle group = folder.CreateFile("idsyncIDgrp", 0);
            if (!group.valid()) {
                if (only) qvpDllLog(kGroupFileError, kFunction, win::GetLastError());
                else qvpDllLog(kGroupFileErrorLine, kFunction, win::GetLastError(), __LINE__);
                return false;
            }
            FileHandle entry = folder.CreateFile("idsyncIDent", 1);
            if (!entry.valid()) {
                if (only) qvpDllLog(kEntryFileError, kFunction, win::GetLastError());
                else qvpDllLog(kEntryFileErrorLine, kFunction, win::GetLastError(), __LINE__);
                win::DeleteFile(groupPath.c_str());
                return false;
            }
            const bool swap = oldR.ucHostIDFlag == 0 && (!only || b.systemManagementKey == 1);
            const std::string name = swap ? SwapDotsAndBangs(key) : key;
            if (ids::qvpAPIDeleteIDCommandbyIDentry(&b, name.c_str(), 'C') != 1) {
                qvpDllLog(swap ? kJdelSwapped : kJdelKey, kFunction, __LINE__);
                syncError = QVAPI_ERR_RESOURCE;
            }
            if (g_operate(key.c_str(), Get(oldR.ucHostID).c_str(), nullptr, 0, kModeRemove) != 1 &&
                !Tolerated(win::GetLastError())) {
                if (only) qvpDllLog(kOperateError, kFunction, win::GetLastError());
                else qvpDllLog(kOperateErrorLine, kFunction, win::GetLastError(), __LINE__);
                syncError = QVAPI_ERR_UNEXPECTED_DATA;
            }
        }
        win::DeleteFile(groupPath.c_str());
        win::DeleteFile(entryPath.c_str());
        if (!folder.RemoveEmpty()) {
            qvpDllLog(kRmdirError, kFunction);
            return false;
        }
        return true;
    }

    AcnOutcome Insert(const QVAPI_NODE* staleClient) {
        if (staleClient != nullptr) {
            // Promotion: the client definition (with its group entries) makes way for the master.
            const std::string staleKey = AcnKeyName(b, *staleClient);
            if (qvAPIDeleteClientDefinition(staleKey.c_str(), 0, nullptr) != 1) {
                const uint32_t code = win::GetLastError();
                NodeLog(b, kInsertFailed, Name(oldR).c_str(), IpText(oldR).c_str(), KindText().c_str(),
                        key.c_str(), code);
                return {0, code};
            }
        }
        const int made = Client() ? qvAPICreateClientDefinition(key.c_str(), &oldR, 0)
                                  : qvAPICreateMasterDefinition(key.c_str(), &oldR, 0);
        if (made != 1) {
            const uint32_t code = win::GetLastError();
            NodeLog(b, kInsertFailed, Name(oldR).c_str(), IpText(oldR).c_str(), KindText().c_str(), key.c_str(), code);
            return {0, code};
        }
        NodeLog(b, kInsertDone, Name(oldR).c_str(), IpText(oldR).c_str(), KindText().c_str(), key.c_str());
        if (!Client()) return {1, 0};
        int result = 1;
        uint32_t code = 0;
        if (AtTop(Get(oldR.ucHostIDPath)) && AtTop(Get(oldR.ucNodePath0))) {
            newR = oldR;
            result = AddToRoot("INSERT");
            if (result != 1) code = win::GetLastError();
        }
        return {result, code};
    }

    // A node-name or address key change: the ID entries follow first when they are kept in step.
    void RenameIdEntries(const std::string& now) {
        if (!idSync) return;
        if (g_operate(key.c_str(), nullptr, now.c_str(), 0, kModeRename) == 1)
            NodeLog(b, kNameSyncDone, now.c_str());
    }

    void HostIdAdded() {
        if (!(oldR.ucHostIDFlag == 0 && newR.ucHostIDFlag == 1 &&
              std::memcmp(oldR.ucHostID, newR.ucHostID, sizeof oldR.ucHostID) != 0))
            return;
        const std::string hostId = Get(newR.ucHostID);
        // The ID entries are renamed whether or not IdSyncOption is on: a node known by its host
        // ID from now on would otherwise be lost to its IDs.
        if (g_operate(key.c_str(), nullptr, hostId.c_str(), 0, kModeRename) == 1) {
            if (idSync) NodeLog(b, kHostIdSyncDone, hostId.c_str());
        } else if (!Tolerated(win::GetLastError())) {
            qvpDllLog(idSync ? kHostIdSyncError : kHostIdAutoError, kFunction, win::GetLastError());
        }
        pendingHostId = hostId;
    }

    bool PathStep() {
        const bool byHostId = Get(oldR.ucHostIDPath).size() > 0 || Get(newR.ucHostIDPath).size() > 1;
        const std::string before = byHostId ? Get(oldR.ucHostIDPath) : Get(oldR.ucNodePath0);
        const std::string now = byHostId ? Get(newR.ucHostIDPath) : Get(newR.ucNodePath0);
        if (SameNoCase(before, now)) return true;
        if (!Change(QVAPI_CHANGE_NODE_PATH, "%s : Can't change node path : %d : 0x%08x")) return false;
        Changed("Nodepath", Get(newR.ucNodePath0), Get(oldR.ucNodePath0));
        if (Client()) {
            if (AtTop(Get(newR.ucHostIDPath)) && AtTop(Get(newR.ucNodePath0))) {
                AddToRoot("UPDATE");
            } else if (AtTop(Get(oldR.ucHostIDPath)) && AtTop(Get(oldR.ucNodePath0))) {
                const uint32_t code = ACNDeleteNodeGroup(b, key.c_str(), 0, nullptr);
                if (code != 0 && code != QVAPI_ERR_NOT_FOUND) NodeLog(b, kGroupEntryFailed, key.c_str(), code);
            } else if (qvAPIDeleteClient("\\", key.c_str(), 0, 0) != 1 && win::GetLastError() != QVAPI_ERR_NOT_FOUND) {
                NodeLog(b, kRootEntryFailed, key.c_str(), win::GetLastError());
            }
        }
        if (idSync && Get(oldR.ucNodePath0) != "\\") {
            const std::vector<std::string> a = Levels(before), c = Levels(now);
            bool common = false;
            for (size_t i = 0; i < a.size() && i < c.size() && !common; ++i) common = SameNoCase(a[i], c[i]);
            const std::vector<std::string> old =
                Levels(Get(oldR.ucHostIDPath).empty() ? Get(oldR.ucNodePath0) : Get(oldR.ucHostIDPath));
            if (!common && !old.empty()) {
                const std::string& upper = old.back();
                if (g_systemNode(upper.c_str(), key.c_str(), 0, 0) != 1 && !Tolerated(win::GetLastError())) {
                    qvpDllLog(kSystemNodeError, kFunction, win::GetLastError());
                    syncError = QVAPI_ERR_RESOURCE;
                }
            }
        }
        return true;
    }

    bool UpdateCommonKeyed() {
        if (std::memcmp(oldR.ucNodeName, newR.ucNodeName, 64) != 0) {
            if (!Change(QVAPI_CHANGE_NODE_NAME,
                        "UPDATE : Host name (%s/%s:%s HostID:%s) can't be updated. Code is 0x%08x", true))
                return false;
            Changed("Node name", Name(newR), Name(oldR));
        }
        if (std::memcmp(oldR.ucNodeAddress, newR.ucNodeAddress, 4) != 0) {
            if (!Change(QVAPI_CHANGE_ADDRESS, "%s : Can't change IP address : %d : 0x%08x")) return false;
            Changed("IPAddress", IpText(newR), IpText(oldR));
        }
        if (std::memcmp(oldR.ucNodePath0, newR.ucNodePath0, 260) != 0) {
            if (!Change(QVAPI_CHANGE_NODE_PATH, "%s : Can't change node path : %d : 0x%08x")) return false;
            Changed("Nodepath", Get(newR.ucNodePath0), Get(oldR.ucNodePath0));
        }
        if (newR.ucCommonName[0] != '\0' && std::memcmp(oldR.ucCommonName, newR.ucCommonName, 32) != 0) {
            if (!Change(QVAPI_CHANGE_KEY_NAME, "%s : Can't change node name(key) : %d : 0x%08x")) return false;
            Changed("Commonname", Get(newR.ucCommonName), Get(oldR.ucCommonName));
            key = finalName = Get(newR.ucCommonName);
        }
        if (oldR.uiConnectKind != newR.uiConnectKind) {
            if (!Change(QVAPI_CHANGE_CONNECT_KIND, "%s : Can't change connect kind : %d : 0x%08x")) return false;
            ConnectKindChanged("Connectkind");
            key = finalName = b.systemManagementKey == 0 ? Name(newR) : IpText(newR);
        }
        return HostIdStep();
    }

    bool HostIdStep() {
        HostIdAdded();
        if (pendingHostId.empty()) return true;
        if (!Change(QVAPI_CHANGE_HOST_ID, "%s : Can't change node name(HOSTID) : %d : 0x%08x")) return false;
        if (KeyedByCommonName(b, oldR))
            NodeLog(b, "UPDATE : Host name (%s/%s:%s) HostID(%s)  was added. :%s ", Name(newR).c_str(),
                    IpText(newR).c_str(), KindText().c_str(), pendingHostId.c_str(), key.c_str());
        else
            NodeLog(b, "UPDATE : Host name (%s/%s:%s) HostID  was added. :%s ", Name(newR).c_str(),
                    IpText(newR).c_str(), KindText().c_str(), pendingHostId.c_str());
        key = finalName = pendingHostId;
        return true;
    }

    // Host-name keying (ipKeyed false) and address keying: the same steps with the roles of the
    // node name and the address exchanged.
    bool UpdateKeyed(bool ipKeyed) {
        finalName = newR.ucHostIDFlag == 1 ? Get(newR.ucHostID) : ipKeyed ? IpText(newR) : Name(newR);
        const bool addressDiffers = std::memcmp(oldR.ucNodeAddress, newR.ucNodeAddress, 4) != 0;
        const bool nameDiffers = ipKeyed ? std::memcmp(oldR.ucNodeName, newR.ucNodeName, 64) != 0
                                         : !SameNoCase(Name(oldR), Name(newR));
        const bool plainDiffers = ipKeyed ? nameDiffers : addressDiffers;
        const bool keyDiffers = ipKeyed ? addressDiffers : nameDiffers;
        if (plainDiffers) {
            if (!Change(ipKeyed ? QVAPI_CHANGE_NODE_NAME : QVAPI_CHANGE_ADDRESS,
                        ipKeyed ? "%s : Can't change node name : %d : 0x%08x" : "%s : Can't change IP address : %d : 0x%08x"))
                return false;
            if (ipKeyed) Changed("Nodename", Name(newR), Name(oldR));
            else Changed("IP address", IpText(newR), IpText(oldR));
        }
        if (std::memcmp(oldR.ucCommonName, newR.ucCommonName, 32) != 0) {
            if (!Change(QVAPI_CHANGE_COMMON_NAME, "%s : Can't change node name : %d : 0x%08x")) return false;
            Changed(ipKeyed ? "Commonname" : "Nodename", Get(newR.ucCommonName), Get(oldR.ucCommonName));
        }
        if (!PathStep()) return false;
        if (keyDiffers) {
            const std::string now = ipKeyed ? IpText(newR) : Name(newR);
            if (oldR.ucHostIDFlag == 0) {
                RenameIdEntries(now);
                if (!Change(QVAPI_CHANGE_KEY_NAME, ipKeyed ? "%s : Can't change IP address : %d : 0x%08x"
                                                           : "%s : Can't change node name : %d : 0x%08x"))
                    return false;
                key = finalName = now;
            } else if (!Change(ipKeyed ? QVAPI_CHANGE_ADDRESS : QVAPI_CHANGE_NODE_NAME,
                               ipKeyed ? "%s : Can't change IP address : %d : 0x%08x"
                                       : "%s : Can't change node name : %d : 0x%08x")) {
                return false;
            }
            Changed(ipKeyed ? "IP address" : "Nodename", now, ipKeyed ? IpText(oldR) : Name(oldR));
        }
        if (oldR.uiConnectKind != newR.uiConnectKind) {
            if (!Change(QVAPI_CHANGE_CONNECT_KIND, "%s : Can't change connect kind : %d : 0x%08x")) return false;
            ConnectKindChanged("connect kind");
            // Under address keying a host known by its common name keeps its address as its key.
            if (!ipKeyed) key = finalName = Get(newR.ucCommonName);
        }
        if (!HostIdStep()) return false;
        if (!Change(QVAPI_CHANGE_UPDATE_TIME,
                    "UPDATE : Host name(%s/%s:%s HostID:%s) updated time couldn't be changed. Code is 0x%08x.", true))
            return false;
        return true;
    }

    AcnOutcome Update() {
        const bool ok =
            KeyedByCommonName(b, oldR) ? UpdateCommonKeyed() : UpdateKeyed(b.systemManagementKey == 1);
        if (!ok) return {0, call.code()};
        if (std::memcmp(oldR.ucMACAddress, newR.ucMACAddress, 12) != 0 &&
            !Change(QVAPI_CHANGE_MAC_ADDRESS, "%s : Can't change MAC address : %d : 0x%08x"))
            return {0, call.code()};
        if (hold && oldR.ucHoldFlag != newR.ucHoldFlag && oldR.uiNodeAttributes == 2) {
            if (qvAPIChangeMasterDefinition(key.c_str(), QVAPI_CHANGE_HOLD, &newR, 0) != 1) {
                const uint32_t code = win::GetLastError();
                NodeLog(b, kHoldFailed, code);
                return {0, code};
            }
            NodeLog(b, kHoldDone, Name(newR).c_str(), IpText(newR).c_str(), KindText().c_str(), key.c_str());
        }
        if (!finalName.empty() && !SameNoCase(finalName, startKey)) {
            if (qvAPIChangeNameSysInfo(startKey.c_str(), finalName.c_str(), 0, 0) != 1 &&
                win::GetLastError() != QVAPI_ERR_NOT_FOUND)
                NodeLog(b, kInventoryRename, kFunction, startKey.c_str(), finalName.c_str(), __LINE__,
                        win::GetLastError());
            if (qvAPIChangeNameInsPackage(startKey.c_str(), finalName.c_str(), 0, 0) != 1 &&
                win::GetLastError() != QVAPI_ERR_NOT_FOUND)
                NodeLog(b, kPackageRename, kFunction, startKey.c_str(), finalName.c_str(), __LINE__,
                        win::GetLastError());
        }
        return {1, 0};
    }

    AcnOutcome Delete(WorkFolder& folder) {
        if (idSync) {
            if (!SyncRemoved(folder)) return {0, QVAPI_ERR_RESOURCE};
            if (syncError == 0) NodeLog(b, kDeleteSyncDone, key.c_str());
        }
        const int gone = Client() ? qvAPIDeleteClientDefinition(key.c_str(), 0, &newR.stUpdateTime)
                                  : qvAPIDeleteMasterDefinition(key.c_str(), 0, &newR.stUpdateTime);
        if (gone != 1) {
            const uint32_t code = win::GetLastError();
            NodeLog(b, kDeleteFailed, Name(oldR).c_str(), IpText(oldR).c_str(), KindText().c_str(), key.c_str(), code);
            return {0, code};
        }
        if (qvAPIDeleteSysInfo(key.c_str(), 0, 0) != 1 && win::GetLastError() != QVAPI_ERR_NOT_FOUND)
            NodeLog(b, kInventoryDelete, kFunction, key.c_str(), __LINE__, win::GetLastError());
        if (qvAPIDeleteInsPackage(key.c_str(), 0, nullptr, nullptr, nullptr, 0, 0) != 1 &&
            win::GetLastError() != QVAPI_ERR_NOT_FOUND)
            NodeLog(b, kPackageDelete, kFunction, key.c_str(), __LINE__, win::GetLastError());
        NodeLog(b, kDeleteDone, Name(oldR).c_str(), IpText(oldR).c_str(), KindText().c_str());
        return {1, 0};
    }
};

}  // namespace

void SetOperateIdEntry(OperateIdEntryFn fn) { g_operate = fn != nullptr ? fn : &OperateIdEntries; }
void SetOperateSystemNode(OperateSystemNodeFn fn) { g_systemNode = fn != nullptr ? fn : &qvpAPIOperateSystemNode; }

std::string IpText(const QVAPI_NODE& record) {
    char text[16] = {};
    qvpAPIIPAddrHexToStr(record.ucNodeAddress, text);
    return text;
}

bool KeyedByCommonName(const QVPAPI& block, const QVAPI_NODE& record) {
    return record.uiConnectKind == 1 && block.systemManagementKey == 0;
}

std::string AcnKeyName(const QVPAPI& block, const QVAPI_NODE& record) {
    if (KeyedByCommonName(block, record)) return Get(record.ucCommonName);
    if (record.ucHostIDFlag == 1) return Get(record.ucHostID);
    return block.systemManagementKey == 0 ? Get(record.ucNodeName) : IpText(record);
}

AcnOutcome ACNCallAPIFunction(CallContext& call, AcnDecision decision, QVAPI_NODE& first, QVAPI_NODE& second,
                              bool holdApplies, const QVAPI_NODE* staleClient) {
    QVPAPI& b = call.block();
    Applier a{call, b, qvpRegGetIdSyncOption() != 0, decision, first, second, holdApplies, {}, {}, {}, 0, {}};
    if ((decision == AcnDecision::Update || decision == AcnDecision::Delete) &&
        Later(first.stUpdateTime, second.stUpdateTime)) {
        NodeLog(b, kClockUnmatch, __LINE__);
        return {1, 0};
    }
    a.key = a.startKey = AcnKeyName(b, first);
    if (!KeyedByCommonName(b, first)) first.ucSystemKey = second.ucSystemKey = b.systemManagementKey;

    WorkFolder folder(PathOf(&qvpMakeWorkNodeDefPath) + "\\IDSYNC" + std::to_string(b.openerThreadId));
    if (a.idSync && !folder.Make()) {
        qvpDllLog(kMkdirError, kFunction);
        return {0, QVAPI_ERR_INVALID_PARAMETER};
    }
    AcnOutcome out;
    switch (decision) {
        case AcnDecision::Insert: out = a.Insert(staleClient); break;
        case AcnDecision::Update: out = a.Update(); break;
        case AcnDecision::Delete: out = a.Delete(folder); break;
        case AcnDecision::IdSyncOnly:
            // The clean-up is the whole operation here, so its failure is the call's.
            if (!a.SyncRemoved(folder)) out = {0, QVAPI_ERR_RESOURCE};
            else out = a.syncError == 0 ? AcnOutcome{1, 0} : AcnOutcome{0, a.syncError};
            break;
    }
    if (out.result == 0 && out.code == 0) out.code = a.syncError;
    return out;
}

uint32_t ACNDeleteNodeGroup(QVPAPI& b, const char* clientName, uint32_t, const QVAPI_NODE_TIME* const* updateTime) {
    NodeLog(b, kGroupStart, kGroupFunction);
    uint32_t code = 0;
    win::HANDLE mutex = nullptr;
    bool owned = false;
    auto body = [&]() -> uint32_t {
        if (clientName == nullptr) {
            NodeLog(b, kGroupNullName, kGroupFunction);
            return QVAPI_ERR_INVALID_NAME;
        }
        if (clientName[0] == '\0') {
            NodeLog(b, kGroupEmptyName, kGroupFunction);
            return QVAPI_ERR_INVALID_NAME;
        }
        if (nodes::qvAPIGetNodeNameType(clientName, 0, 0, 0) == 0) {
            NodeLog(b, kGroupNameType, kGroupFunction, clientName);
            return QVAPI_ERR_INVALID_PARAMETER;
        }
        mutex = qvpWapiCreateMutex(nullptr, win::FALSE, nodes::kNodeDefMutexName, b.dllLogId, 0);
        if (mutex == nullptr) {
            NodeLog(b, kGroupCreateMutex, kGroupFunction, nodes::kNodeDefMutexName, static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
        const win::DWORD wait = win::WaitForSingleObject(mutex, 0);
        if (wait != win::WAIT_OBJECT_0 && wait != win::WAIT_ABANDONED) {
            NodeLog(b, kGroupWaitMutex, kGroupFunction, nodes::kNodeDefMutexName, static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_BUSY;
        }
        owned = true;
        QVAPI_NODE rec{};
        if (const uint32_t err = nodes::ReadClientDefinition(b, kGroupFunction, clientName, rec)) {
            NodeLog(b, kGroupRead, kGroupFunction, clientName, err);
            return QVAPI_ERR_NOT_FOUND;
        }
        if (updateTime != nullptr && *updateTime != nullptr && rec.stUpdateTime.wYear != 0 &&
            Later(rec.stUpdateTime, **updateTime)) {
            NodeLog(b, kGroupTime, kGroupFunction);
            return QVAPI_ERR_NOT_FOUND;
        }
        const std::string path = nodes::AttributionFilePath(rec);
        std::vector<uint8_t> bytes;
        {
            FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                            win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid()) {
                NodeLog(b, kGroupOpen, kGroupFunction, path.c_str(), static_cast<int>(win::GetLastError()));
                return QVAPI_ERR_RESOURCE;
            }
            const win::DWORD size = win::GetFileSize(file.get(), nullptr);
            if (size == 0xFFFFFFFFu) {
                NodeLog(b, kGroupSize, kGroupFunction, path.c_str(), static_cast<int>(win::GetLastError()));
                return QVAPI_ERR_RESOURCE;
            }
            // A head shorter than its 960 bytes is as broken as a partial link.
            if (size < kAttrHead || (size - kAttrHead) % kAttrLink != 0) {
                NodeLog(b, kGroupEntrySize, kGroupFunction, static_cast<int>(size), static_cast<unsigned>(kAttrLink));
                return QVAPI_ERR_UNEXPECTED_DATA;
            }
            // The file says nothing of its length but by its size: no more than a node's groups fill.
            if (ReadDeclared(file.get(), nodes::kAttributionFileLayout, bytes) != DeclaredRead::Read ||
                bytes.size() != size) {
                NodeLog(b, kGroupReadFile, kGroupFunction, path.c_str(), static_cast<int>(win::GetLastError()));
                return QVAPI_ERR_RESOURCE;
            }
        }
        for (size_t at = kAttrHead; at < bytes.size(); at += kAttrLink) {
            const char* field = reinterpret_cast<const char*>(bytes.data() + at);
            const std::string link(field, strnlen(field, kAttrLink));
            if (qvAPIDeleteClient(link.c_str(), clientName, 0, 0) != 1) {
                const uint32_t err = win::GetLastError();
                NodeLog(b, kGroupDelete, kGroupFunction, link.c_str(), clientName, err);
                return err;
            }
        }
        return 0;
    };
    code = body();
    if (mutex != nullptr) {
        if (owned) win::ReleaseMutex(mutex);
        win::CloseHandle(mutex);
    }
    NodeLog(b, kGroupEnd, kGroupFunction, static_cast<int>(code));
    return code;
}

}  // namespace qvp::ids
