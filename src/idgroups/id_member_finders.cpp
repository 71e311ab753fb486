// The ID client and ID master finders: members are found only in the ID store (lists C and I,
// list M) and completed from the node definitions. A walk keeps its list position open at the
// manager from call to call; a single lookup releases every position it opened.
#include <cstring>
#include <memory>
#include <string>

#include "core/errors.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"
#include "nodes/name_checks.h"
#include "nodes/node_group_record.h"
#include "nodes/node_record.h"
#include "qvpapi.h"

namespace qvp::ids {

namespace {

constexpr char kFirstClientError[] = "%s : qvAPIFindNextIDClient error";
constexpr char kFirstMasterError[] = "%s : qvAPIFindNextIDMaster error";
constexpr char kMasterFirstStart[] = "%s START :lpNodeGroupPath = %s:lpID = %s";
constexpr char kMasterFindStart[] = "%s START :lpNodeGroupPath = %s:lpID = %s:lpName = %s";
constexpr char kMasterCloseStart[] = "%s START :hFind = 0x%8.8x";

// Members skipped in one call (host IDs without a definition) before the walk is given up as
// a manager that never ends its list.
constexpr int kSkipLimit = 65536;

constexpr FrameTexts kFindClientFrame = FinderFrame("qvAPIFindIDClient", EndStyle::Decimal);
constexpr FrameTexts kFirstClientFrame = FinderFrame("qvAPIFindFirstIDClient", EndStyle::Hex);
constexpr FrameTexts kNextClientFrame = FinderFrame("qvAPIFindNextIDClient", EndStyle::Decimal, false);
constexpr FrameTexts kCloseClientFrame = FinderFrame("qvAPIFindCloseIDClient", EndStyle::Decimal);
constexpr FrameTexts kFindMasterFrame = FinderFrame("qvAPIFindIDMaster", EndStyle::Decimal);
constexpr FrameTexts kFirstMasterFrame = FinderFrame("qvAPIFindFirstIDMaster", EndStyle::Hex);
constexpr FrameTexts kNextMasterFrame = FinderFrame("qvAPIFindNextIDMaster", EndStyle::Decimal, false);
constexpr FrameTexts kCloseMasterFrame = FinderFrame("qvAPIFindCloseIDMaster", EndStyle::Decimal);

enum WalkState { kBegin = 1, kInside = 2, kEnded = 3 };

struct MemberWalk {
    int state = kBegin;
    char letter = 0;  // clients: none, then 'C', then 'I'; masters: 'M'
    std::string id;
    std::string memberPath;
};

void*& Slot(QVPAPI& block, bool client) { return client ? block.idClientFind : block.idMasterFind; }
MemberWalk* WalkOf(QVPAPI& block, bool client) { return static_cast<MemberWalk*>(Slot(block, client)); }

void Free(QVPAPI& block, bool client) {
    delete WalkOf(block, client);
    Slot(block, client) = nullptr;
}

// Whether the walk still holds a position at the manager.
bool HoldsPosition(const MemberWalk& walk) {
    return walk.state == kInside || (walk.letter == kLetterMasters && walk.state == kEnded);
}

// Releases the walk's position and frees it; a failed release keeps the walk and its code.
bool CloseWalk(CallContext& call, bool client) {
    MemberWalk* walk = WalkOf(call.block(), client);
    if (walk == nullptr) return true;
    if (HoldsPosition(*walk) && !ReleaseLetter(call, walk->letter, msg::kCommandError)) return false;
    Free(call.block(), client);
    return true;
}

// Ends the walk as its FindClose would, leaving the call's code alone: the call reports its own.
void DropWalk(QVPAPI& block, bool client) {
    MemberWalk* walk = WalkOf(block, client);
    if (walk != nullptr && HoldsPosition(*walk))
        qvpAPIIDCommand(&block, kIdRelease, walk->letter, kKeyExact, nullptr, nullptr, nullptr);
    Free(block, client);
}

const char* Shown(const char* text) { return text != nullptr ? text : "(null)"; }

bool OwnWalk(CallContext& call, const void* handle, bool client) {
    if (qvpIsOwnBlock(handle) && WalkOf(call.block(), client) != nullptr) return true;
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return false;
}

// The ID's record through qvAPIFindIDGroup; its path text gives the member path.
bool FindGroup(CallContext& call, const char* path, const char* id, QVAPI_NODE* out, std::string& memberPath) {
    if (!qvAPIFindIDGroup(path, id, out, 0, 0)) {
        return call.Failed(qvAPIGetLastError(), msg::kFindGroupError, call.function());
    }
    memberPath = MemberPath(nodes::Field(out->ucNodePath0), id);
    return true;
}

// A member name the lookups accept: given, of a known kind and, unless skipped, by its rule.
bool CheckName(CallContext& call, const char* name, bool check) {
    if (name == nullptr || name[0] == '\0') {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNoName, call.function());
    }
    return CheckNodeName(call, name, kNameClient, check);
}

// The next member of the walk into `out`; false with the code set at the end or on failure.
bool NextMember(CallContext& call, MemberWalk& walk, bool client, QVAPI_NODE* out) {
    for (int skipped = 0; skipped < kSkipLimit; ++skipped) {
        if (walk.state == kEnded) {
            call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
            return false;
        }
        char kind = kKeyNext;
        if (walk.state == kBegin) {
            if (client) {
                if (walk.letter == kLetterIds) {
                    call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
                    return false;
                }
                walk.letter = walk.letter == 0 ? kLetterClients : kLetterIds;
            }
            kind = kKeyPrefix;
            walk.state = kInside;
        }
        uint8_t entry[QVAPI_IDRECORD_SIZE];
        if (!qvpAPIIDCommand(&call.block(), kIdGet, walk.letter, kind, walk.id.c_str(), nullptr, entry)) {
            const uint32_t code = IdFailureCode(call.block());
            if (client && code == QVAPI_ERR_NO_MORE_ITEMS) {
                // This list is done: the next one begins.
                if (!ReleaseLetter(call, walk.letter, msg::kReleaseError)) return false;
                walk.state = kBegin;
                continue;
            }
            call.Log(msg::kCommandError, call.function());
            if (code == QVAPI_ERR_NO_MORE_ITEMS) walk.state = kEnded;
            call.Fail(code);
            return false;
        }
        IdNodeData whole;
        uint32_t code = 0, soft = 0;
        if (!BuildMember(call, entry, client, true, walk.memberPath, whole, code, soft)) continue;
        CopyOut(call.block(), whole, out);
        if (soft != 0) call.Fail(soft);  // returned all the same, its definition missing
        return true;
    }
    call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
    return false;
}

QVPAPI_HANDLE FindFirst(CallContext& call, bool client, const char* path, const char* id, QVAPI_NODE* out) {
    QVPAPI& block = call.block();
    RegisterFindRelease();
    // The earlier walk of the family ends here, its position released.
    DropWalk(block, client);
    std::string memberPath;
    if (!FindGroup(call, path, id, out, memberPath)) return QVPAPI_INVALID_HANDLE;
    auto walk = std::make_unique<MemberWalk>();
    walk->letter = client ? 0 : kLetterMasters;
    walk->id = id;
    walk->memberPath = memberPath;
    Slot(block, client) = walk.get();
    if (NextMember(call, *walk.release(), client, out)) return &block;
    call.Log(client ? kFirstClientError : kFirstMasterError, call.function());
    DropWalk(block, client);
    return QVPAPI_INVALID_HANDLE;
}

int FindNext(CallContext& call, bool client, QVPAPI_HANDLE handle, QVAPI_NODE* out) {
    if (!OwnWalk(call, handle, client) || !NeedRecord(call, out)) return 0;
    return NextMember(call, *WalkOf(call.block(), client), client, out) ? 1 : 0;
}

int FindClose(CallContext& call, bool client, QVPAPI_HANDLE handle) {
    if (!OwnWalk(call, handle, client)) return 0;
    return CloseWalk(call, client) ? 1 : 0;
}

// One member by name: list C then list I for clients, list M for masters. Every letter the
// lookup opened is released on the way out.
int FindOne(CallContext& call, bool client, const char* path, const char* id, const char* name, QVAPI_NODE* out,
            bool check) {
    std::string memberPath;
    if (!FindGroup(call, path, id, out, memberPath)) return 0;
    if (!CheckName(call, name, check)) return 0;
    const char letters[2] = {client ? kLetterClients : kLetterMasters, kLetterIds};
    const int tries = client ? 2 : 1;
    int opened = 0;
    uint8_t entry[QVAPI_IDRECORD_SIZE];
    uint32_t code = QVAPI_ERR_NO_MORE_ITEMS;
    while (opened < tries && code == QVAPI_ERR_NO_MORE_ITEMS) {
        code = qvpAPIIDCommand(&call.block(), kIdGet, letters[opened], kKeyExact, id, name, entry)
                   ? 0
                   : IdFailureCode(call.block());
        ++opened;
    }
    if (code != 0 && code != QVAPI_ERR_NO_MORE_ITEMS) call.Log(msg::kCommandError, call.function());
    IdNodeData whole;
    uint32_t soft = 0;
    if (code == 0 && BuildMember(call, entry, client, false, memberPath, whole, code, soft))
        CopyOut(call.block(), whole, out);
    bool released = true;
    for (int i = 0; i < opened; ++i) released = ReleaseLetter(call, letters[i], msg::kReleaseError) && released;
    if (code != 0) {
        if (released) call.Fail(code);
        return 0;
    }
    if (soft != 0 && released) call.Fail(soft);
    return 1;
}

}  // namespace

void EndMemberWalks(QVPAPI& block) {
    Free(block, true);
    Free(block, false);
}

}  // namespace qvp::ids

using namespace qvp;
using namespace qvp::ids;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDClient(const char* lpNodeGroupPath, const char* lpID,
                                                              QVAPI_NODE* lpFindNodeData, uint32_t, uint32_t) {
    return RunApi(kFirstClientFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirst(call, true, lpNodeGroupPath, lpID, lpFindNodeData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextIDClient(QVPAPI_HANDLE hFind, QVAPI_NODE* lpFindNodeData, uint32_t,
                                                   uint32_t) {
    return RunApi(kNextClientFrame, 0, [&](CallContext& call) { return FindNext(call, true, hFind, lpFindNodeData); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseIDClient(QVPAPI_HANDLE hFind, uint32_t, uint32_t) {
    return RunApi(kCloseClientFrame, 0, [&](CallContext& call) { return FindClose(call, true, hFind); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindIDClient(const char* lpNodeGroupPath, const char* lpID, const char* lpName,
                                               QVAPI_NODE* lpFindNodeData, uint32_t dwCheckFlag, uint32_t) {
    return RunApi(kFindClientFrame, 0, [&](CallContext& call) {
        return FindOne(call, true, lpNodeGroupPath, lpID, lpName, lpFindNodeData, dwCheckFlag != 1);
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstIDMaster(const char* lpNodeGroupPath, const char* lpID,
                                                              QVAPI_NODE* lpFindNodeData, uint32_t, uint32_t) {
    return RunApi(kFirstMasterFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        call.Log(kMasterFirstStart, call.function(), Shown(lpNodeGroupPath), Shown(lpID));
        return FindFirst(call, false, lpNodeGroupPath, lpID, lpFindNodeData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextIDMaster(QVPAPI_HANDLE hFind, QVAPI_NODE* lpFindNodeData, uint32_t,
                                                   uint32_t) {
    return RunApi(kNextMasterFrame, 0, [&](CallContext& call) { return FindNext(call, false, hFind, lpFindNodeData); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseIDMaster(QVPAPI_HANDLE hFind, uint32_t, uint32_t) {
    return RunApi(kCloseMasterFrame, 0, [&](CallContext& call) {
        call.Log(kMasterCloseStart, call.function(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hFind)));
        return FindClose(call, false, hFind);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindIDMaster(const char* lpNodeGroupPath, const char* lpID, const char* lpName,
                                               QVAPI_NODE* lpFindNodeData, uint32_t, uint32_t) {
    return RunApi(kFindMasterFrame, 0, [&](CallContext& call) {
        call.Log(kMasterFindStart, call.function(), Shown(lpNodeGroupPath), Shown(lpID), Shown(lpName));
        return FindOne(call, false, lpNodeGroupPath, lpID, lpName, lpFindNodeData, true);
    });
}
