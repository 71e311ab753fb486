// The ID-job entry walker: one record per step, made from the manager's records of a job's
// entries. Three kinds of walk: package records, one per entry lookup (modes 8 to 10); member
// clients, one per client below an ID entry, or one per entry name when nothing is expanded
// (11 to 13); entry names, one per name with the records of all its entries added (14 to 16).
// Entries are taken in groups of one name, each group once, so that an ID named by several
// entries is reported once with every member reached through any of them.
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/errors.h"
#include "jobs/id_job_common.h"
#include "jobs/id_jobs.h"
#include "jobs/job_texts.h"
#include "jobs/package_job_record.h"
#include "nodes/name_checks.h"
#include "platform/byte_order.h"
#include "platform/win.h"

namespace qvp::jobs {

using namespace idjob;

namespace {

constexpr char kStart[] = "%s START :dwFlg = 0x%8.8x";
constexpr char kFirstArgs[] = "%s :pClientName = %s:pIDName = %s";
constexpr char kHandleNull[] = "%s : hHandle Pointer is NULL";
constexpr char kRecordsNull[] = "%s : pxxxJobData Pointer is NULL";
constexpr char kSlotEmpty[] = "%s : hHandle(1) Pointer is NULL";
constexpr char kNextRecordsNull[] = "%s : pPackageJobData Pointer is NULL";
constexpr char kDrainFailed[] = "%s : qvpAPIGetNextCommand(2) Error";
constexpr char kSecondName[] = "%s : gaiGetNodeName Error";
constexpr char kTallyFailed[] = "%s : qvAPIGetJobCountNode Error : wdSetError = 0x%8.8x";
constexpr char kStatusFailed[] = "%s : qvpAPIGetIDJobCountStatus Error";
constexpr char kNameType[] = "%s : qvAPIGetNodeNameType error code=0x%8.8x";
constexpr char kAllocError[] = "%s : qvpAPIAlloc Error Code = %x";

constexpr FrameTexts kWalkTexts{"qvpAPIGetIDJobPackage", EndStyle::Decimal, "", nullptr, text::kLogicalError};
constexpr FrameTexts kWalkExTexts{"qvpAPIGetIDJobPackageEx", EndStyle::Decimal, "", nullptr, text::kLogicalError};

constexpr size_t kNameSize = kMaxPath + 1;
constexpr size_t kRecordCopy = QVAPI_EXECUTION_MAX_SIZE;
constexpr size_t kPackageName = offsetof(QVAPI_PACKAGE_JOB, szNodeName);
constexpr size_t kPackageNameSize = sizeof(QVAPI_PACKAGE_JOB::szNodeName);
constexpr size_t kPackageDisplay = 944;
constexpr size_t kPackageDisplaySize = 260;
constexpr size_t kHostOrderFields[] = {512, 516, 520, 532};
// What one pass over an entry's member records holds at most; the rest is read by further
// passes, each taking the cursor up after the records the earlier ones went through.
constexpr size_t kMemberListBound = size_t{64} << 20;
std::atomic<size_t> g_memberListBound{kMemberListBound};

enum class Walk { Package, Member, EntryName };

Walk WalkOfMode(uint32_t mode) {
    if (mode <= kWalkPackageClose) return Walk::Package;
    return mode <= kWalkMemberClose ? Walk::Member : Walk::EntryName;
}
bool IsFirst(uint32_t mode) {
    return mode == kWalkPackageFirst || mode == kWalkMemberFirst || mode == kWalkEntryFirst;
}
bool IsClose(uint32_t mode) {
    return mode == kWalkPackageClose || mode == kWalkMemberClose || mode == kWalkEntryClose;
}

// A record of a member client as the cursor gave it, with its full node name.
struct MemberRecord {
    std::string name;
    std::vector<unsigned char> bytes;
};

// The state of one walk, kept in the caller's slot between steps; one layout for the plain and
// the Ex walker, with names of any length.
struct IdJobWalk {
    Walk walk = Walk::Package;
    bool loaded = false;
    JobFile file;
    std::string filePath;  // <job directory>\jobexecfile
    std::string idText, node, client, clientGiven, execNo;
    bool plainNode = false;  // the node's last component is an ordinary name
    size_t next = 0;         // the next entry to scan
    // The group being walked: the entries of one name.
    std::vector<size_t> group;
    size_t groupAt = 0;
    bool expanded = false;  // member clients are walked, one record each
    std::string groupName;
    std::unordered_set<std::string> doneNames;
    // Member clients of the current group: those reported, and the records of the group's
    // current entry, read from the manager's cursor in one pass when the entry is taken up
    // (in several when they pass the bound).
    std::unordered_set<std::string> reported;
    bool positioned = false;
    std::vector<MemberRecord> members;
    size_t memberAt = 0;
    uint32_t passFailure = 0;  // the code of a cursor step that failed before the records ended
    bool more = false;         // the pass stopped at the bound: records are left after `passed`
    size_t passed = 0;         // cursor steps that the passes so far went through
};

// What one step writes into.
struct Out {
    const Layout& layout;
    unsigned char* nodeJob;
    unsigned char* packageJob;
    bool ex;
};

enum class Step { Produced, End, Failed };

class Walker {
public:
    Walker(CallContext& call, IdJobWalk& walk, const Out& out) : call_(call), walk_(walk), out_(out) {}

    Step Next() {
        if (!walk_.loaded && !Load()) return Step::Failed;
        switch (walk_.walk) {
            case Walk::Package: return NextPackage();
            case Walk::Member:
            case Walk::EntryName: return NextGrouped();
        }
        return Step::End;
    }

private:
    bool Load();
    // Whether an entry is walked, and the name it is looked up under.
    bool Select(const Entry& entry, std::string& lookup) const;
    bool RecordPasses(std::string_view name) const {
        if (walk_.plainNode && name != walk_.node) return false;
        return walk_.client.empty() || LastComponent(name) == walk_.client;
    }
    // Makes the next group current; false when no entry is left.
    bool ChooseGroup();
    bool Expanded(const Entry& entry) const;
    Step NextPackage();
    Step NextGrouped();
    Step NextMember();
    Step SumGroup();
    // Reads the member records of an entry, in the cursor's order, in one pass up to the bound
    // (after those an earlier pass held, when it stopped there); false when the entry has none
    // (the call failed when the cause was more than that).
    bool ReadMembers(const Entry& entry, const std::string& lookup);
    void NextGroupEntry();
    void ClearMembers();
    Step ProduceMember(const unsigned char* record, size_t length, const std::string& name);
    bool Add(const unsigned char* record, const std::string& name, bool first);
    bool PutPackage(const unsigned char* record, const std::string& name);
    Step Finish(const unsigned char* record, size_t length, const std::string& name);
    Step Fail(uint32_t code, const char* text) {
        call_.Failed(code, text, call_.function());
        return Step::Failed;
    }
    // A lookup's failure: "no record" passes the entry over, anything else ends the step.
    bool LookupFailed(uint32_t code, const char* text) {
        if (code == QVAPI_ERR_NO_MORE_ITEMS) return false;
        call_.Failed(code, text, call_.function());
        return true;
    }

    CallContext& call_;
    IdJobWalk& walk_;
    const Out& out_;
};

bool Walker::Load() {
    if (walk_.filePath.size() >= win::MAX_PATH) {
        call_.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kPathTooLong, call_.function(), walk_.filePath.c_str());
        return false;
    }
    if (const uint32_t code = LoadJobFile(call_, walk_.filePath, walk_.file)) {
        call_.Fail(code);
        return false;
    }
    walk_.loaded = true;
    walk_.next = 0;
    return true;
}

bool Walker::Select(const Entry& entry, std::string& lookup) const {
    const std::string_view last = LastComponent(entry.name);
    if (!walk_.idText.empty() && last != walk_.idText) return false;
    if (!walk_.execNo.empty() && entry.jobNumber != std::string_view(walk_.execNo).substr(0, QVAPI_JOB_NUMBER_SIZE))
        return false;
    if (walk_.walk == Walk::EntryName) {
        if (!walk_.node.empty() && entry.name != walk_.node) return false;
        lookup = entry.name;
        return true;
    }
    if (walk_.node.empty()) {
        lookup = entry.name;
        if (IsIdComponent(last)) lookup.replace(lookup.size() - last.size(), last.size(), "*");
        return true;
    }
    std::string_view entryPath, nodePath;
    if (PathPart(entry.name, entryPath) && PathPart(walk_.node, nodePath) && entryPath != nodePath) return false;
    if (walk_.plainNode && !IsIdComponent(last) && last != LastComponent(walk_.node)) return false;
    lookup = walk_.node;
    return true;
}

bool Walker::ChooseGroup() {
    const auto& entries = walk_.file.entries;
    std::string lookup;
    while (walk_.next < entries.size()) {
        const size_t at = walk_.next++;
        const Entry& entry = entries[at];
        if (walk_.doneNames.count(std::string(entry.name)) != 0 || !Select(entry, lookup)) continue;
        walk_.groupName = entry.name;
        walk_.doneNames.insert(walk_.groupName);
        walk_.group.clear();
        for (size_t i = at; i < entries.size(); ++i)
            if (entries[i].name == entry.name && Select(entries[i], lookup)) walk_.group.push_back(i);
        walk_.groupAt = 0;
        walk_.expanded = Expanded(entry);
        walk_.reported.clear();
        ClearMembers();
        return true;
    }
    return false;
}

bool Walker::Expanded(const Entry& entry) const {
    std::string lookup;
    if (walk_.walk != Walk::Member || !Select(entry, lookup)) return false;
    const std::string_view last = LastComponent(lookup);
    return !last.empty() && last.front() == '*';
}

Step Walker::NextPackage() {
    const auto& entries = walk_.file.entries;
    QVPAPI& block = call_.block();
    std::string lookup;
    while (walk_.next < entries.size()) {
        const Entry& entry = entries[walk_.next++];
        if (!Select(entry, lookup)) continue;
        uint32_t code = 0;
        const unsigned char* found = FindFirst(block, entry.jobNumber, lookup, code);
        if (found == nullptr) {
            if (LookupFailed(code, text::kFindCommand)) return Step::Failed;
            continue;
        }
        unsigned char record[kRecordCopy] = {};
        const size_t length = DeliveredLength(block);
        std::memcpy(record, found, length);
        const std::string name = RecordNodeName(record, length);
        if (!RecordPasses(name)) continue;
        if (!Add(record, name, true) || !PutPackage(record, name)) return Step::Failed;
        return Finish(record, length, name);
    }
    call_.Fail(QVAPI_ERR_NO_MORE_ITEMS);
    return Step::End;
}

Step Walker::NextGrouped() {
    for (;;) {
        if (walk_.group.empty() || walk_.groupAt >= walk_.group.size()) {
            if (!ChooseGroup()) {
                call_.Fail(QVAPI_ERR_NO_MORE_ITEMS);
                return Step::End;
            }
        }
        // A name none of whose entries gives a record is passed over, not the end of the walk.
        const Step step = walk_.expanded ? NextMember() : SumGroup();
        if (step != Step::End) return step;
    }
}

Step Walker::NextMember() {
    const auto& entries = walk_.file.entries;
    while (walk_.groupAt < walk_.group.size()) {
        if (!walk_.positioned) {
            const Entry& entry = entries[walk_.group[walk_.groupAt]];
            std::string lookup;
            Select(entry, lookup);
            if (!ReadMembers(entry, lookup)) {
                if (call_.codeSet()) return Step::Failed;
                NextGroupEntry();
                continue;
            }
        }
        while (walk_.memberAt < walk_.members.size()) {
            const MemberRecord& member = walk_.members[walk_.memberAt++];
            if (walk_.reported.count(member.name) != 0) continue;
            const Step step = ProduceMember(member.bytes.data(), member.bytes.size(), member.name);
            // End: nothing of the client could be counted (its record went meanwhile).
            if (step != Step::End) return step;
        }
        if (walk_.passFailure != 0 && LookupFailed(walk_.passFailure, text::kIdNextCommand)) return Step::Failed;
        if (walk_.more) {
            walk_.positioned = false;  // the next pass takes up where this one stopped
            continue;
        }
        NextGroupEntry();
    }
    return Step::End;
}

bool Walker::ReadMembers(const Entry& entry, const std::string& lookup) {
    QVPAPI& block = call_.block();
    uint32_t code = 0;
    const size_t skip = walk_.more ? walk_.passed : 0;
    ClearMembers();
    if (FindFirst(block, entry.jobNumber, lookup, code) == nullptr) {
        LookupFailed(code, text::kFindCommand);
        return false;
    }
    walk_.positioned = true;
    // The cursor's next step gives the first record again; the ID entry's own record and those
    // the filters refuse are no members. The pass leaves the cursor drained for the tallies,
    // also when the list is full: the records after it are stepped over.
    walk_.passFailure = QVAPI_ERR_UNEXPECTED_DATA;
    size_t held = 0;
    for (size_t taken = 0; taken < kMaxRecordsPerLookup; ++taken) {
        const unsigned char* found = FindNext(block, code);
        if (found == nullptr) {
            walk_.passFailure = code == QVAPI_ERR_NO_MORE_ITEMS ? 0 : code;
            break;
        }
        if (taken < skip || walk_.more) continue;
        const size_t length = DeliveredLength(block);
        std::string name = RecordNodeName(found, length);
        if (IsIdComponent(LastComponent(name)) || !RecordPasses(name)) continue;
        const size_t size = sizeof(MemberRecord) + name.size() + length;
        if (held + size > g_memberListBound && !walk_.members.empty()) {
            walk_.more = true;
            walk_.passed = taken;
            continue;
        }
        held += size;
        walk_.members.push_back({std::move(name), std::vector<unsigned char>(found, found + length)});
    }
    return true;
}

void Walker::NextGroupEntry() {
    ++walk_.groupAt;
    ClearMembers();
}

void Walker::ClearMembers() {
    walk_.positioned = false;
    walk_.members.clear();
    walk_.memberAt = 0;
    walk_.passFailure = 0;
    walk_.more = false;
    walk_.passed = 0;
}

Step Walker::ProduceMember(const unsigned char* record, size_t length, const std::string& name) {
    QVPAPI& block = call_.block();
    char plain[kNameSize] = {};
    char marked[kNameSize] = {};
    if (gaiGetNodeName(record, length, sizeof plain, plain, sizeof marked, marked) < 0)
        return Fail(QVAPI_ERR_NO_MORE_ITEMS, kSecondName);
    // The tally asks the manager itself, on the cursor the pass left drained; a pass that
    // failed left it in the middle.
    if (walk_.passFailure != 0) return Fail(walk_.passFailure, kDrainFailed);
    const std::string_view id = LastComponent(walk_.groupName);
    const std::string id0(id);
    const std::string pathName = ToPathForm(name);
    const char* client = walk_.clientGiven.empty() ? nullptr : walk_.clientGiven.c_str();
    const int counted =
        out_.ex ? qvpAPIGetIDJobCountNodeEx(&block, kTallyMember, walk_.filePath.c_str(),
                                            IsIdComponent(id) ? id0.c_str() : nullptr, pathName.c_str(), client,
                                            nullptr, nullptr, reinterpret_cast<QVAPI_NODE_JOB_EX*>(out_.nodeJob))
                : qvpAPIGetIDJobCountNode(&block, kTallyMember, walk_.filePath.c_str(),
                                          IsIdComponent(id) ? id0.c_str() : nullptr, pathName.c_str(), client,
                                          nullptr, nullptr, reinterpret_cast<QVAPI_NODE_JOB*>(out_.nodeJob));
    if (counted == 0) {
        const uint32_t failure = qvAPIGetLastError();
        if (failure == QVAPI_ERR_NO_MORE_ITEMS) return Step::End;
        call_.Log(kTallyFailed, call_.function(), failure);
        call_.Fail(failure);
        return Step::Failed;
    }
    std::memcpy(out_.nodeJob + out_.layout.dateTime, walk_.file.head + head::kDateTime, head::kDateTimeSize);
    PutText(out_.nodeJob, out_.layout.nameField, pathName);
    walk_.reported.insert(name);
    return Finish(record, length, name);
}

Step Walker::SumGroup() {
    QVPAPI& block = call_.block();
    const auto& entries = walk_.file.entries;
    unsigned char last[kRecordCopy] = {};
    size_t lastLength = 0;
    std::string firstName;
    bool any = false;
    for (; walk_.groupAt < walk_.group.size(); ++walk_.groupAt) {
        const Entry& entry = entries[walk_.group[walk_.groupAt]];
        std::string lookup;
        Select(entry, lookup);
        uint32_t code = 0;
        const unsigned char* found = FindFirst(block, entry.jobNumber, lookup, code);
        if (found == nullptr) {
            if (LookupFailed(code, text::kFindCommand)) return Step::Failed;
            continue;
        }
        const size_t length = DeliveredLength(block);
        const std::string name = RecordNodeName(found, length);
        if (walk_.walk == Walk::Member && (IsIdComponent(LastComponent(name)) || !RecordPasses(name))) continue;
        lastLength = length;
        std::memset(last, 0, sizeof last);
        std::memcpy(last, found, lastLength);
        if (!Add(last, name, !any)) return Step::Failed;
        if (!any) firstName = name;
        any = true;
    }
    if (!any) return Step::End;
    if (!PutPackage(last, firstName)) return Step::Failed;
    return Finish(last, lastLength, firstName);
}

bool Walker::Add(const unsigned char* record, const std::string& name, bool first) {
    if (out_.nodeJob == nullptr) return true;
    if (first) {
        std::memset(out_.nodeJob, 0, out_.layout.size);
        PutText(out_.nodeJob, out_.layout.nameField, ToPathForm(name));
        std::memcpy(out_.nodeJob + out_.layout.dateTime, walk_.file.head + head::kDateTime, head::kDateTimeSize);
    }
    const auto* execution = reinterpret_cast<const QVAPI_EXECUTION*>(record);
    const uint32_t code =
        out_.ex ? qvpAPIGetIDJobCountStatusEx(&call_.block(), 0, execution,
                                              reinterpret_cast<QVAPI_NODE_JOB_EX*>(out_.nodeJob), nullptr)
                : qvpAPIGetIDJobCountStatus(&call_.block(), 0, execution,
                                            reinterpret_cast<QVAPI_NODE_JOB*>(out_.nodeJob), nullptr);
    if (code == 0) return true;
    call_.Failed(code, kStatusFailed, call_.function());
    return false;
}

bool Walker::PutPackage(const unsigned char* record, const std::string& name) {
    if (out_.packageJob == nullptr) return true;
    QVPAPI& block = call_.block();
    unsigned char* out = out_.packageJob;
    std::memcpy(out, record, QVAPI_EXECUTION_FIXED_SIZE);
    for (size_t offset : kHostOrderFields) Store32(out + offset, be32(out + offset));
    const std::string pathName = ToPathForm(name);
    std::memset(out + kPackageName, 0, kPackageNameSize);
    // The long-name buffer of the previous record goes in every case: one per session.
    FreeLowBuffer(block.packageJobData);
    block.packageJobData = nullptr;
    if (pathName.size() < kPackageNameSize) {
        std::memcpy(out + kPackageName, pathName.data(), pathName.size());
        Store32(out + offsetof(QVAPI_PACKAGE_JOB, dwLongNameLength), 0);
        Store32(out + offsetof(QVAPI_PACKAGE_JOB, dwLongNameAddress), 0);
        return true;
    }
    char* buffer = AllocLowBuffer(pathName);
    if (buffer == nullptr) {
        call_.Failed(QVAPI_ERR_RESOURCE, kAllocError, call_.function(), static_cast<unsigned>(win::ERROR_OUTOFMEMORY));
        return false;
    }
    block.packageJobData = buffer;
    Store32(out + offsetof(QVAPI_PACKAGE_JOB, dwLongNameLength), static_cast<uint32_t>(pathName.size()));
    Store32(out + offsetof(QVAPI_PACKAGE_JOB, dwLongNameAddress),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)));
    return true;
}

Step Walker::Finish(const unsigned char* record, size_t length, const std::string& name) {
    // The full name is classified: the 64-character field is empty for longer names.
    const uint32_t type = nodes::qvAPIGetNodeNameType(name.c_str(), 1, 0, 0);
    if (type == 0) {
        call_.Log(kNameType, call_.function(), qvAPIGetLastError());
        call_.Fail(QVAPI_ERR_NO_MORE_ITEMS);
        return Step::Failed;
    }
    std::string shown = ToPathForm(name);
    if (type == 1) {
        char plain[kNameSize] = {};
        char marked[kNameSize] = {};
        if (gaiGetNodeName(record, length, sizeof plain, plain, sizeof marked, marked) < 1 || plain[0] == '\0')
            return Fail(QVAPI_ERR_NO_MORE_ITEMS, kSecondName);
        shown = ToPathForm(plain);
    }
    if (out_.nodeJob != nullptr) {
        if (type == 1) {
            PutText(out_.nodeJob + out_.layout.displayName, out_.layout.nameField, shown);
        } else {
            std::memcpy(out_.nodeJob + out_.layout.displayName, out_.nodeJob, out_.layout.nameField);
        }
    }
    if (out_.packageJob != nullptr) PutText(out_.packageJob + kPackageDisplay, kPackageDisplaySize, shown);
    return Step::Produced;
}

void DropLongName(QVPAPI& block) {
    FreeLowBuffer(block.packageJobData);
    block.packageJobData = nullptr;
}

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&DropLongName); });
}

struct WalkArgs {
    void** slot;
    uint32_t mode;
    const char* filePath;
    const char* idName;
    const char* nodeName;
    const char* clientName;
    const char* execNo;
    unsigned char* nodeJob;
    unsigned char* packageJob;
};

int RunWalker(CallContext& call, const Layout& layout, const WalkArgs& a) {
    call.Log(kStart, call.function(), a.mode);
    if (a.slot == nullptr) return call.Failed(QVAPI_ERR_INVALID_HANDLE, kHandleNull, call.function());
    const bool known = a.mode >= kWalkPackageFirst && a.mode <= kWalkEntryClose;
    if (!known) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kIdMode, call.function(), a.mode);
    if (IsClose(a.mode)) {
        FreeIdJobWalk(a.slot);
        return 1;
    }
    const Walk kind = WalkOfMode(a.mode);
    if (IsFirst(a.mode)) {
        call.Log(kFirstArgs, call.function(), Text(a.clientName), Text(a.idName));
        call.Log(text::kIdFirstArgs2, call.function(), Text(a.nodeName), Text(a.execNo));
        if (a.filePath == nullptr || a.filePath[0] == '\0')
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kIdPathNull, call.function());
        if ((a.nodeJob == nullptr && a.packageJob == nullptr) || (kind == Walk::Member && a.nodeJob == nullptr))
            return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kRecordsNull, call.function());
        // A walk the caller left open goes with its file.
        FreeIdJobWalk(a.slot);
        auto walk = std::make_unique<IdJobWalk>();
        walk->walk = kind;
        walk->filePath = std::string(a.filePath) + "\\" + kJobExecFileName;
        if (a.idName != nullptr) walk->idText = a.idName;
        walk->node = ToDotted(a.nodeName);
        walk->client = ToDotted(a.clientName);
        if (a.clientName != nullptr) walk->clientGiven = a.clientName;
        if (a.execNo != nullptr) walk->execNo = a.execNo;
        const std::string_view nodeLast = LastComponent(walk->node);
        walk->plainNode = !walk->node.empty() && !IsIdComponent(nodeLast) && nodeLast.substr(0, 1) != "*";
        if (kind == Walk::EntryName) walk->plainNode = false;
        *a.slot = walk.release();
    }
    auto* walk = static_cast<IdJobWalk*>(*a.slot);
    if (walk == nullptr) return call.Failed(QVAPI_ERR_INVALID_HANDLE, kSlotEmpty, call.function());
    if ((a.nodeJob == nullptr && a.packageJob == nullptr) || (kind == Walk::Member && a.nodeJob == nullptr))
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kNextRecordsNull, call.function());
    // A step of another kind of walk than the one started cannot go on from its position.
    if (walk->walk != kind) return call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kIdMode, call.function(), a.mode);
    const Out out{layout, a.nodeJob, a.packageJob, &layout == &kEx};
    const Step step = Walker(call, *walk, out).Next();
    if (step == Step::Produced) return 1;
    // A failed first step leaves nothing behind; a failed next step leaves the walk to its close.
    if (IsFirst(a.mode)) FreeIdJobWalk(a.slot);
    return 0;
}

}  // namespace

void SetMemberListBoundForTesting(size_t bytes) { g_memberListBound = bytes == 0 ? kMemberListBound : bytes; }

void FreeIdJobWalk(void** phHandle) {
    if (phHandle == nullptr) return;
    delete static_cast<IdJobWalk*>(*phHandle);
    *phHandle = nullptr;
}

int qvpAPIGetIDJobPackage(QVPAPI* block, void** phHandle, uint32_t dwFlg, const char* pFilePath,
                          const char* pIDName, const char* pNodeName, const char* pClientName, const char* pExecNo,
                          QVAPI_NODE_JOB* pNodeJobData, QVAPI_PACKAGE_JOB* pPackageJobData, uint32_t, uint32_t) {
    RegisterRelease();
    const WalkArgs args{phHandle, dwFlg, pFilePath, pIDName, pNodeName, pClientName, pExecNo,
                        reinterpret_cast<unsigned char*>(pNodeJobData),
                        reinterpret_cast<unsigned char*>(pPackageJobData)};
    return RunApi(kWalkTexts, 0, [&](CallContext& call) {
        if (block == nullptr) return static_cast<int>(call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kIdDataNull, call.function()));
        return RunWalker(call, kPlain, args);
    });
}

int qvpAPIGetIDJobPackageEx(QVPAPI* block, void** phHandle, uint32_t dwFlg, const char* pFilePath,
                            const char* pIDName, const char* pNodeName, const char* pClientName, const char* pExecNo,
                            QVAPI_NODE_JOB_EX* pNodeJobData, QVAPI_PACKAGE_JOB* pPackageJobData, uint32_t,
                            uint32_t) {
    RegisterRelease();
    const WalkArgs args{phHandle, dwFlg, pFilePath, pIDName, pNodeName, pClientName, pExecNo,
                        reinterpret_cast<unsigned char*>(pNodeJobData),
                        reinterpret_cast<unsigned char*>(pPackageJobData)};
    return RunApi(kWalkExTexts, 0, [&](CallContext& call) {
        if (block == nullptr) return static_cast<int>(call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kIdDataNull, call.function()));
        return RunWalker(call, kEx, args);
    });
}

}  // namespace qvp::jobs
