// Node entries of the open JobGen: one entry file per client, master, node group or ID group in
// the work tree's NODE area, their removal and their walk.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/text.h"
#include "jobgen/jobgen_file.h"
#include "nodes/node_store.h"

namespace qvp::jobgen {

namespace {

enum class Target { Client, Master, Group, IdGroup };

constexpr char kLogicalErr[] = "%s : Logical Err : ErrorCode = 0x%8.8x";
constexpr char kHandleErr[] = "Parameter Err : JobGen Handle Value is INVALID";

constexpr FrameTexts kCreateClient = JobGenFrame("qvAPICreateClientJobGen");
constexpr FrameTexts kDeleteClient = JobGenFrame("qvAPIDeleteClientJobGen");
constexpr FrameTexts kCreateMaster = JobGenFrame("qvAPICreateMasterJobGen");
constexpr FrameTexts kDeleteMaster = JobGenFrame("qvAPIDeleteMasterJobGen");
constexpr FrameTexts kCreateGroup = JobGenFrame("qvAPICreateNodeGroupJobGen");
constexpr FrameTexts kDeleteGroup = JobGenFrame("qvAPIDeleteNodeGroupJobGen");
constexpr FrameTexts kCreateId = JobGenFrame("qvAPICreateIDGroupJobGen", kLogicalErr);
constexpr FrameTexts kDeleteId = JobGenFrame("qvAPIDeleteIDGroupJobGen", kLogicalErr);
constexpr FrameTexts kFindFirst = JobGenFrame("qvAPIFindFirstNodeJobGen");
constexpr FrameTexts kFindNext = JobGenFrame("qvAPIFindNextNodeJobGen");
constexpr FrameTexts kFindClose = JobGenFrame("qvAPIFindCloseNodeJobGen");

namespace msg {
constexpr char kOptionInvalid[] = "%s : Parameter Error : Option Value is INVALID";
constexpr char kIdOptionInvalid[] = "%s : Parameter Err : Option Value is INVALID";
constexpr char kIdKindInvalid[] = "%s : Parameter Err : ucIDKind is INVALID";
constexpr char kIdNoPercent[] = "%s : Parameter Err : ID Name %% not found";
constexpr char kIdOverlap[] = "%s : Parameter Err : ID Name %% is overlap";
constexpr char kIdRoute[] = "%s : Parameter Err : route Top of ID Name not %%";
constexpr char kIdTop[] = "%s : Parameter Err : Top of ID Name not %% ";
constexpr char kSetFilePointer[] = "%s : SetFilePointer %s : ErrorCode = %d";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kDeleteFile[] = "%s : DeleteFile %s : ErrorCode = %d";
constexpr char kFindFirstFile[] = "%s : FindFirstFile %s : ErrorCode = %d";
constexpr char kFindNextFile[] = "%s : FindNextFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kRecordNull[] = "%s : Parameter Error : QVAPI_JOBGEN_NODE struct Adress is NULL";
constexpr char kFindHandle[] = "Parameter Error : JobGenFindNode Handle Value is INVALID";
constexpr char kFindClose[] = "%s : FindClose : ErrorCode = %d";
}  // namespace msg

struct TargetTexts {
    const char* nullText;   // name pointer NULL
    const char* emptyText;  // name empty
};
const TargetTexts& TextsOf(Target t) {
    static const TargetTexts kTexts[] = {
        {"%s : Parameter Error : Client Name Address is NULL", "%s : Parameter Error : Top of Client Name Value is NULL"},
        {"%s : Parameter Error : Master Name Address is NULL", "%s : Parameter Error : Top of Master Name Value is NULL"},
        {"%s : Parameter Error : NodeGroup Path Address is NULL", "%s : Parameter Error : Top of NodeGroup Path Value is NULL"},
        {"%s : Parameter Err : ID Name Address is NULL", "%s : Parameter Err : Top of ID Name Value is NULL"},
    };
    return kTexts[static_cast<int>(t)];
}

std::string LastName(const std::string& name) {
    const size_t sep = win::FindLastSeparator(name);
    return sep == std::string::npos ? name : name.substr(sep + 1);
}

std::string Dotted(const std::string& path) {
    char out[kTextField + 1] = {};
    return qvpPathToDottedName(path.c_str(), out);
}

// The name converted from its second character on; the first dropped only when it is "\".
std::string AsGiven(const std::string& name) {
    return (name[0] == '\\' ? std::string() : name.substr(0, 1)) + Dotted(name);
}

std::string Escaped(const std::string& name) {
    std::string out(name);
    for (char& c : out) {
        if (c == '.') c = '!';
    }
    return out;
}

bool LongWithoutPercent(const std::string& name) {
    return name.size() > 64 && name.find('%') == std::string::npos;
}

std::string NfName() {
    char stamp[18] = {};
    qvpGetTimeStamp(stamp);
    return std::string("NF") + stamp;
}

std::string AddressText(const uint8_t* a) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

// The definition's host name (at most 64) or its address, by how the node is keyed.
std::string HostOf(const QVAPI_NODE& node) {
    return node.ucSystemKey == 1 ? AddressText(node.ucNodeAddress) : FieldText(node.ucNodeName, 64);
}

bool Lookup(CallContext& call, bool master, const std::string& name, QVAPI_NODE& node) {
    return (master ? nodes::ReadMasterDefinition : nodes::ReadClientDefinition)(call.block(), call.function(), name, node) == 0;
}

// The checks of the table of codes, in the order create and delete take them. 0 or the code.
uint32_t CheckArguments(CallContext& call, const JobGenEdit& edit, Target t, const char* name, uint32_t option,
                        bool create) {
    const char* fn = call.function();
    const bool nameCodeIsParameter = t == Target::IdGroup || (create && t != Target::Group);
    const uint32_t nameCode = nameCodeIsParameter ? QVAPI_ERR_INVALID_PARAMETER : QVAPI_ERR_INVALID_NAME;
    // A "/" would reach past NODE: no node, group or ID name holds one.
    if (name == nullptr || name[0] == '\0' || std::strchr(name, '/') != nullptr) {
        call.Log(name == nullptr ? TextsOf(t).nullText : TextsOf(t).emptyText, fn);
        return nameCode;
    }
    const bool idJobGen = edit.idKind == kIdJobGen;
    if (create && ((t == Target::Client && idJobGen && option != QVAPI_JOBGEN_AS_GIVEN) ||
                   ((t == Target::Master || t == Target::Group) && idJobGen))) {
        call.Log(msg::kIdKindInvalid, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (t == Target::IdGroup) {
        const std::string text(name);
        const size_t percents = static_cast<size_t>(std::count(text.begin(), text.end(), '%'));
        const bool routed = win::FindLastSeparator(text) != std::string::npos;
        const char* refusal = percents == 0 ? msg::kIdNoPercent
                              : percents > 1 ? msg::kIdOverlap
                              : LastName(text)[0] != '%' ? (routed ? msg::kIdRoute : msg::kIdTop)
                                                         : nullptr;
        if (refusal != nullptr) {
            call.Log(refusal, fn);
            return QVAPI_ERR_INVALID_PARAMETER;
        }
        if (option != QVAPI_JOBGEN_IDGROUP && option != QVAPI_JOBGEN_AS_GIVEN) {
            call.Log(msg::kIdOptionInvalid, fn);
            return QVAPI_ERR_INVALID_PARAMETER;
        }
        return 0;
    }
    if (t != Target::Group && option != QVAPI_JOBGEN_BY_PATH && option != QVAPI_JOBGEN_BY_ID &&
        option != QVAPI_JOBGEN_AS_GIVEN) {
        call.Log(msg::kOptionInvalid, fn);
        // A master delete names no file for an unknown option, so nothing is found.
        return !create && t == Target::Master ? QVAPI_ERR_NOT_FOUND : QVAPI_ERR_INVALID_PARAMETER;
    }
    return 0;
}

// The entry and its file name for a target; `nf` when the file takes an "NF" time-stamp name.
void Plan(CallContext& call, Target t, const std::string& name, uint32_t option, bool create,
          JobGenEntry& entry, std::string& fileName, bool& nf) {
    nf = false;
    const bool master = t == Target::Master;
    PutField(entry.node, kTextField, name);
    switch (t) {
    case Target::Group:
        entry.type = kTypeGroup;
        fileName = Dotted(name);
        return;
    case Target::IdGroup:
        PutField(entry.host, kTextField, name);
        if (option == QVAPI_JOBGEN_IDGROUP) {
            entry.type = kTypeIdGroup;
            fileName = AsGiven(name) + "_20";
        } else {
            entry.type = kTypeClientAsGiven;
            nf = create && name[0] == '\\';
            fileName = nf ? NfName() : AsGiven(name);
        }
        return;
    default:
        break;
    }
    QVAPI_NODE node{};
    const std::string last = LastName(name);
    if (option == QVAPI_JOBGEN_AS_GIVEN) {
        entry.type = master ? kTypeMasterAsGiven : kTypeClientAsGiven;
        nf = LongWithoutPercent(name);
        fileName = nf ? NfName() : AsGiven(name);
        return;
    }
    if (option == QVAPI_JOBGEN_BY_ID) {
        entry.type = master ? kTypeMasterById : kTypeClientById;
        PutField(entry.node, kTextField, last);
        fileName = Escaped(last) + (master ? "_11" : "_10");
        if (create && Lookup(call, master, last, node)) PutField(entry.host, kTextField, HostOf(node));
    } else {
        entry.type = master ? kTypeMaster : kTypeClient;
        fileName = Dotted(name) + (master ? "_01" : "_00");
        if (create && Lookup(call, master, last, node)) {
            const size_t sep = win::FindLastSeparator(name);
            const std::string upper = sep == std::string::npos ? std::string() : name.substr(0, sep + 1);
            PutField(entry.host, kTextField, upper + HostOf(node));
        }
    }
    // Re-adding a stored JobGen: its host text stands in for a definition that is gone.
    if (create && entry.host[0] == '\0' && call.block().storedHost != nullptr)
        PutField(entry.host, kTextField, call.block().storedHost);
}

uint32_t AddNode(CallContext& call, JobGenEdit& edit, Target t, const std::string& name, uint32_t option) {
    JobGenEntry entry{};
    entry.jobKind = edit.jobKind;
    entry.setcls = ' ';
    std::string fileName;
    bool nf = false;
    Plan(call, t, name, option, true, entry, fileName, nf);
    const std::string dir = WorkArea(call.block(), "NODE");
    for (int tries = 0;; ++tries) {
        const std::string path = dir + "\\" + fileName;
        bool createFailed = false;
        const win::DWORD error = CheckName(fileName.c_str()) == 0 ? WriteNewEntry(path, entry, &createFailed)
                                                                   : (createFailed = true, win::ERROR_INVALID_NAME);
        if (error == 0) break;
        if (error == win::ERROR_FILE_EXISTS && nf && tries < 1000) {
            win::Sleep(5);
            fileName = NfName();
            continue;
        }
        call.Log(createFailed ? msg::kCreateFile : msg::kSetFilePointer, call.function(), path.c_str(), static_cast<int>(error));
        if (error == win::ERROR_FILE_EXISTS) return QVAPI_ERR_ALREADY_EXISTS;
        return createFailed && t != Target::Group ? QVAPI_ERR_INVALID_NAME : QVAPI_ERR_RESOURCE;
    }
    ++edit.nodeCount;
    return 0;
}

// The "NF" file whose entry holds exactly `name`.
bool FindNfFile(CallContext& call, const std::string& dir, const std::string& name, std::string& fileName) {
    win::WIN32_FIND_DATAA data{};
    FindWalk walk(dir + "\\NF*", data);
    if (!walk.valid()) return false;
    do {
        JobGenEntry entry{};
        if (ReadEntry(dir + "\\" + data.cFileName, entry) != 0) {
            call.Log(msg::kReadFile, call.function(), data.cFileName, static_cast<int>(win::GetLastError()));
            return false;
        }
        if (FieldText(entry.node, kTextField) == name) {
            fileName = data.cFileName;
            return true;
        }
    } while (walk.Next(data));
    return false;
}

uint32_t RemoveNode(CallContext& call, JobGenEdit& edit, Target t, const std::string& name, uint32_t option) {
    JobGenEntry entry{};
    std::string fileName;
    bool nf = false;
    Plan(call, t, name, option, false, entry, fileName, nf);
    const std::string dir = WorkArea(call.block(), "NODE");
    if (t != Target::IdGroup && option == QVAPI_JOBGEN_AS_GIVEN && nf && !FindNfFile(call, dir, name, fileName))
        return QVAPI_ERR_RESOURCE;
    const std::string path = dir + "\\" + fileName;
    if (CheckName(fileName.c_str()) != 0 || win::DeleteFile(path.c_str()) == 0) {
        call.Log(msg::kDeleteFile, call.function(), path.c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_NOT_FOUND;
    }
    --edit.nodeCount;
    return 0;
}

int NodeOperation(const FrameTexts& frame, Target t, bool create, const void* handle, const char* name,
                  uint32_t option) {
    return RunApi(frame, 0, [&](CallContext& call) {
        JobGenEdit* edit = t == Target::IdGroup ? EditOf(call, handle, kHandleErr) : EditOf(call, handle);
        if (edit == nullptr) return 0;
        uint32_t code = CheckArguments(call, *edit, t, name, option, create);
        if (code == 0) code = create ? AddNode(call, *edit, t, name, option) : RemoveNode(call, *edit, t, name, option);
        if (code != 0) call.Fail(code);
        return code == 0 ? 1 : 0;
    });
}

// ---- the walk --------------------------------------------------------------------------------

void Present(CallContext& call, const JobGenEntry& entry, QVAPI_JOBGEN_NODE& out) {
    const std::string node = FieldText(entry.node, kTextField);
    const std::string host = FieldText(entry.host, kTextField);
    std::string shownName = node;
    std::string shownHost = node;
    QVAPI_NODE def{};
    switch (entry.type) {
    case kTypeClient:
    case kTypeMaster:
    case kTypeClientPath8:
        if (Lookup(call, entry.type == kTypeMaster, LastName(node), def)) {
            if (def.ucHostIDFlag == 1) {
                const size_t sep = win::FindLastSeparator(node);
                shownHost = (sep == std::string::npos ? std::string() : node.substr(0, sep + 1)) + HostOf(def);
            }
        } else if (!host.empty()) {
            shownHost = host;
        }
        break;
    case kTypeClientById:
    case kTypeMasterById:
        if (!Lookup(call, entry.type == kTypeMasterById, node, def)) {
            shownName = node.substr(0, 64);
            shownHost = host.empty() ? node.substr(0, 64) : host;
            break;
        } else {
            const std::string id = entry.type == kTypeClientById && def.uiConnectKind == 1
                                       ? FieldText(def.ucCommonName, 32)
                                   : call.block().systemManagementKey == 1 ? AddressText(def.ucNodeAddress)
                                                                           : FieldText(def.ucNodeName, 64);
            const std::string hostId = def.ucHostIDFlag == 1 ? FieldText(def.ucHostID, 32) : std::string();
            const std::string upper = FieldText(def.ucNodePath0, sizeof def.ucNodePath0);
            shownHost = upper != "\\" ? upper + "\\" + id : id;
            const std::string idPath = FieldText(def.ucHostIDPath, sizeof def.ucHostIDPath);
            const std::string x = def.ucHostIDFlag == 1 ? hostId : id;
            shownName = idPath.empty() ? shownHost : idPath == "\\" ? x : idPath + "\\" + x;
        }
        break;
    default:
        break;
    }
    PutField(out.szNodeName, sizeof out.szNodeName, shownName);
    PutField(out.szHost, sizeof out.szHost, shownHost);
    out.ucJobKind = static_cast<uint8_t>(entry.jobKind);
    out.ucSetcls = static_cast<uint8_t>(entry.setcls);
    out.ucFlag = (entry.flags & 0x04) != 0 ? 1 : 0;
    out.uiEntryType = entry.type;
    const auto* edit = static_cast<const JobGenEdit*>(call.block().openJobGen);
    out.uiIDKind = edit != nullptr ? edit->idKind : 0;
}

size_t CallerSize(const QVPAPI& block) {
    const uint32_t size = block.recordSizes[kSlotJobGenNode];
    return size == 0 || size > sizeof(QVAPI_JOBGEN_NODE) ? QVAPI_JOBGEN_NODE_SIZE_L0 : size;
}

// The next entry file of the walk into the caller's record. 0, or 0x20000103 at the end.
uint32_t NextEntry(CallContext& call, FindWalk& walk, win::WIN32_FIND_DATAA& data, bool fresh,
                   QVAPI_JOBGEN_NODE* out) {
    const std::string dir = WorkArea(call.block(), "NODE");
    while (true) {
        if (!fresh && !walk.Next(data)) {
            const win::DWORD error = win::GetLastError();
            if (error == win::ERROR_NO_MORE_FILES) return QVAPI_ERR_NO_MORE_ITEMS;
            call.Log(msg::kFindNextFile, call.function(), dir.c_str(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        fresh = false;
        const std::string name = data.cFileName;
        if (name == "." || name == ".." || (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        JobGenEntry entry{};
        const win::DWORD error = ReadEntry(dir + "\\" + name, entry);
        if (error == win::ERROR_FILE_NOT_FOUND) return QVAPI_ERR_NO_MORE_ITEMS;
        if (error != 0) {
            call.Log(msg::kReadFile, call.function(), name.c_str(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        QVAPI_JOBGEN_NODE whole{};
        Present(call, entry, whole);
        std::memcpy(out, &whole, CallerSize(call.block()));
        return 0;
    }
}

FindWalk* WalkOf(CallContext& call, const void* handle) {
    auto* walk = static_cast<FindWalk*>(call.block().nodeEntryFind);
    if (qvpIsOwnBlock(handle) && walk != nullptr) return walk;
    call.Failed(QVAPI_ERR_INVALID_HANDLE, "%s : %s", call.function(), msg::kFindHandle);
    return nullptr;
}

}  // namespace

uint32_t ReAddNode(CallContext& call, JobGenEdit& edit, const JobGenEntry& entry) {
    struct Mapping {
        uint32_t type;
        Target target;
        uint32_t option;
    };
    static constexpr Mapping kMap[] = {
        {kTypeGroup, Target::Group, 0},
        {kTypeClient, Target::Client, QVAPI_JOBGEN_BY_PATH},
        {kTypeMaster, Target::Master, QVAPI_JOBGEN_BY_PATH},
        {kTypeIdGroup, Target::IdGroup, QVAPI_JOBGEN_IDGROUP},
        {kTypeClientById, Target::Client, QVAPI_JOBGEN_BY_ID},
        {kTypeMasterById, Target::Master, QVAPI_JOBGEN_BY_ID},
        {kTypeClientAsGiven, Target::Client, QVAPI_JOBGEN_AS_GIVEN},
        {kTypeMasterAsGiven, Target::Master, QVAPI_JOBGEN_AS_GIVEN},
    };
    const std::string name = FieldText(entry.node, kTextField);
    for (const Mapping& m : kMap) {
        if (m.type != entry.type) continue;
        uint32_t code = CheckArguments(call, edit, m.target, name.c_str(), m.option, true);
        return code != 0 ? code : AddNode(call, edit, m.target, name, m.option);
    }
    return QVAPI_ERR_UNEXPECTED_DATA;
}

}  // namespace qvp::jobgen

using namespace qvp::jobgen;
using qvp::jobgen::Target;

extern "C" QVPAPI_EXPORT int qvAPICreateClientJobGen(QVPAPI_HANDLE h, const char* lpClientName, uint32_t dwOption, uint32_t) {
    return NodeOperation(kCreateClient, Target::Client, true, h, lpClientName, dwOption);
}
extern "C" QVPAPI_EXPORT int qvAPIDeleteClientJobGen(QVPAPI_HANDLE h, const char* lpClientName, uint32_t dwOption, uint32_t) {
    return NodeOperation(kDeleteClient, Target::Client, false, h, lpClientName, dwOption);
}
extern "C" QVPAPI_EXPORT int qvAPICreateMasterJobGen(QVPAPI_HANDLE h, const char* lpMasterName, uint32_t dwOption, uint32_t) {
    return NodeOperation(kCreateMaster, Target::Master, true, h, lpMasterName, dwOption);
}
extern "C" QVPAPI_EXPORT int qvAPIDeleteMasterJobGen(QVPAPI_HANDLE h, const char* lpMasterName, uint32_t dwOption, uint32_t) {
    return NodeOperation(kDeleteMaster, Target::Master, false, h, lpMasterName, dwOption);
}
extern "C" QVPAPI_EXPORT int qvAPICreateNodeGroupJobGen(QVPAPI_HANDLE h, const char* lpNodeGroupPath, uint32_t, uint32_t) {
    return NodeOperation(kCreateGroup, Target::Group, true, h, lpNodeGroupPath, 0);
}
extern "C" QVPAPI_EXPORT int qvAPIDeleteNodeGroupJobGen(QVPAPI_HANDLE h, const char* lpNodeGroupPath, uint32_t, uint32_t) {
    return NodeOperation(kDeleteGroup, Target::Group, false, h, lpNodeGroupPath, 0);
}
extern "C" QVPAPI_EXPORT int qvAPICreateIDGroupJobGen(QVPAPI_HANDLE h, const char* lpIDName, uint32_t dwOption, uint32_t) {
    return NodeOperation(kCreateId, Target::IdGroup, true, h, lpIDName, dwOption);
}
extern "C" QVPAPI_EXPORT int qvAPIDeleteIDGroupJobGen(QVPAPI_HANDLE h, const char* lpIDName, uint32_t dwOption, uint32_t) {
    return NodeOperation(kDeleteId, Target::IdGroup, false, h, lpIDName, dwOption);
}

extern "C" QVPAPI_EXPORT int qvAPICreateManagerJobGen(QVPAPI_HANDLE, const char*, uint32_t, uint32_t) {
    // Kept for callers of the old interface; it leaves the last error alone.
    return 0;
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeJobGen(QVPAPI_HANDLE hJobGen, QVAPI_JOBGEN_NODE* lpNode,
                                                                uint32_t, uint32_t) {
    return qvp::RunApi(kFindFirst, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        if (EditOf(call, hJobGen) == nullptr) return QVPAPI_INVALID_HANDLE;
        QVPAPI& block = call.block();
        if (lpNode == nullptr) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kRecordNull, call.function());
            return QVPAPI_INVALID_HANDLE;
        }
        std::memset(lpNode, 0, CallerSize(block));
        EndWalkSlot(block.nodeEntryFind);  // one walk per thread: a new one replaces the old
        const std::string dir = WorkArea(block, "NODE");
        win::WIN32_FIND_DATAA data{};
        auto walk = std::make_unique<qvp::FindWalk>(dir + "\\*", data);
        uint32_t code = QVAPI_ERR_NO_MORE_ITEMS;
        if (!walk->valid()) {
            const win::DWORD error = win::GetLastError();
            if (error != win::ERROR_FILE_NOT_FOUND && error != win::ERROR_PATH_NOT_FOUND) {
                call.Log(msg::kFindFirstFile, call.function(), dir.c_str(), static_cast<int>(error));
                code = QVAPI_ERR_RESOURCE;
            }
        } else {
            code = NextEntry(call, *walk, data, true, lpNode);
        }
        if (code != 0) {
            call.Fail(code);
            return QVPAPI_INVALID_HANDLE;
        }
        block.nodeEntryFind = walk.release();
        return &block;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextNodeJobGen(QVPAPI_HANDLE hFind, QVAPI_JOBGEN_NODE* lpNode, uint32_t, uint32_t) {
    return qvp::RunApi(kFindNext, 0, [&](qvp::CallContext& call) {
        qvp::FindWalk* walk = WalkOf(call, hFind);
        if (walk == nullptr) return 0;
        if (lpNode == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        win::WIN32_FIND_DATAA data{};
        const uint32_t code = NextEntry(call, *walk, data, false, lpNode);
        if (code != 0) call.Fail(code);
        return code == 0 ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseNodeJobGen(QVPAPI_HANDLE hFind, uint32_t, uint32_t) {
    return qvp::RunApi(kFindClose, 0, [&](qvp::CallContext& call) {
        qvp::FindWalk* walk = WalkOf(call, hFind);
        if (walk == nullptr) return 0;
        const bool closed = walk->Close();
        EndWalkSlot(call.block().nodeEntryFind);
        if (!closed) {
            call.Failed(QVAPI_ERR_RESOURCE, msg::kFindClose, call.function(), static_cast<int>(win::GetLastError()));
            return 0;
        }
        return 1;
    });
}
