// Changes of a client or master definition, one field group per flag. A change of what the node
// is known or placed by (names, address, host ID, upper path) goes through the cascade (a
// master's subtree through the work-copy swap); other fields are rewritten in both copies.
// Every change stamps the new record's time, so that one-flag-per-call updates with the same
// report time never refuse each other.
#include <cstring>
#include <string>

#include "nodes/name_text.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kBadArgument[] = "%s : Parameter Error : lpNodeData or fdwChangeFlags = 0x%8.8x is INVALID";
constexpr char kHold[] = "%s : qvAPIChangeHoldDefinition Error : ErrorCode = 0x%8.8x";
}  // namespace msg

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts kClientFrame{"qvAPIChangeClientDefinition", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kMasterFrame{"qvAPIChangeMasterDefinition", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kOtherFrame{"qvAPIChangeOtherDefinition", EndStyle::Hex, nullptr, nullptr, kLogicalError};

constexpr uint32_t kNodeName = 0x800000;
constexpr uint32_t kKeyName = 0x80000000;
constexpr uint32_t kAddress = 0x400000;
constexpr uint32_t kCommonName = 0x200000;
constexpr uint32_t kPaths = 0x4000000;
constexpr uint32_t kConnectKind = 0x100000;
constexpr uint32_t kHostId = 0x20000;
constexpr uint32_t kUpdateTime = 0x10000;
constexpr uint32_t kMac = 0x4000;
constexpr uint32_t kHold = 0x40000;
constexpr uint32_t kKnownFlags =
    kNodeName | kKeyName | kAddress | kCommonName | kPaths | kConnectKind | kHostId | kUpdateTime | kMac | kHold;

void TakeAddress(QVAPI_NODE& to, const QVAPI_NODE& from) {
    std::memcpy(to.ucNodeAddress, from.ucNodeAddress, sizeof to.ucNodeAddress);
    to.uiIPAddrFlag = from.uiIPAddrFlag;
}

// The stored record with the field groups of the flags taken from the caller's record.
QVAPI_NODE Apply(const QVAPI_NODE& stored, const QVAPI_NODE& given, uint32_t flags) {
    QVAPI_NODE r = stored;
    if (flags & kNodeName) std::memcpy(r.ucNodeName, given.ucNodeName, sizeof r.ucNodeName);
    if (flags & kKeyName) {
        // The name the definition is keyed by: its common name when it is shown by it, its
        // host name under host-name keying, else its address.
        if (KeyNameOf(stored) == std::string(Field(stored.ucCommonName)) && stored.ucHostIDFlag != 1)
            std::memcpy(r.ucCommonName, given.ucCommonName, sizeof r.ucCommonName);
        else if (stored.ucSystemKey == 0)
            std::memcpy(r.ucNodeName, given.ucNodeName, sizeof r.ucNodeName);
        else
            TakeAddress(r, given);
    }
    if (flags & kAddress) TakeAddress(r, given);
    if (flags & kCommonName) std::memcpy(r.ucCommonName, given.ucCommonName, sizeof r.ucCommonName);
    if (flags & kPaths) {
        std::memcpy(r.ucNodePath0, given.ucNodePath0, sizeof r.ucNodePath0);
        std::memcpy(r.ucHostIDPath, given.ucHostIDPath, sizeof r.ucHostIDPath);
    }
    if (flags & kConnectKind) r.uiConnectKind = given.uiConnectKind;
    // The placement decides the keying: a node with a host ID is keyed by it at the top and
    // below masters keyed by theirs, and its inventory follows it there.
    if (flags & kHostId) std::memcpy(r.ucHostID, given.ucHostID, sizeof r.ucHostID);
    if (flags & kMac) std::memcpy(r.ucMACAddress, given.ucMACAddress, sizeof r.ucMACAddress);
    r.stUpdateTime = StampOrNow(given.stUpdateTime);
    return r;
}

// Whether the change touches what the node is known or placed by.
bool Structural(const QVAPI_NODE& a, const QVAPI_NODE& b) {
    return KeyNameOf(a) != KeyNameOf(b) || GroupNameOf(a) != GroupNameOf(b) || PlainName(a) != PlainName(b) ||
           a.ucHostIDFlag != b.ucHostIDFlag || Field(a.ucHostID) != Field(b.ucHostID) ||
           UpperPathOf(a) != UpperPathOf(b) ||
           Field(a.ucNodePath0) != Field(b.ucNodePath0);
}

// A retried change whose move a killed call began and the locks' taker finished: the node is
// found under its new name with its move done, and the rest of the change leaves its place
// (the paths and key the move derived) as it is.
void KeepPlace(QVAPI_NODE& target, const QVAPI_NODE& moved) {
    std::memcpy(target.ucNodePath0, moved.ucNodePath0, sizeof target.ucNodePath0);
    std::memcpy(target.ucHostIDPath, moved.ucHostIDPath, sizeof target.ucHostIDPath);
    std::memcpy(target.ucNodeKeyPath, moved.ucNodeKeyPath, sizeof target.ucNodeKeyPath);
    std::memcpy(target.ucNodeKey, moved.ucNodeKey, sizeof target.ucNodeKey);
    target.ucHostIDFlag = moved.ucHostIDFlag;
}

// Moves the node: its new paths and key derived first, then its record kept in the store for
// the change's lifetime, so that a kill at any later step leaves what the next writer needs to
// finish it.
bool MoveNode(CallContext& call, const QVAPI_NODE& stored, QVAPI_NODE& target, bool master) {
    const std::string newKeyName = KeyNameOf(target);
    if (!EqualIgnoringCase(newKeyName, KeyNameOf(stored)) &&
        !NameIsFree(call, newKeyName, master, Field(target.ucNodePath0), &stored))
        return false;
    QVAPI_NODE upper;
    if (!ReadUpperMaster(call, target, upper)) return false;
    if (master && !UpperOutsideNode(call, stored, upper)) return false;
    CascadeLog log;
    const std::string live = NodeDefDir();
    if (!DerivePathsIn(call, live, target, upper, log) || !SettleKeyIn(call, live, target)) return false;
    RecordedMove move(master, stored, target, log);
    return move.Write(call) && MoveSteps(call, master, stored, target, log, move.RenamesHook(call)) &&
           RunDeferredRenames(call, log);
}

bool ChangeDefinition(CallContext& call, const char* keyName, uint32_t flags, const QVAPI_NODE* given,
                      bool master) {
    if (!KeyNameGiven(call, keyName)) return false;
    if (given == nullptr || (flags & ~kKnownFlags) != 0) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadArgument, call.function(), flags);
    }
    NodeWriterGuard guard(call.block());
    FinishedMove finished;
    if (!LockWriters(call, guard, &finished)) return false;
    // The same change again after a kill finds its move finished: it goes on under the new name.
    const bool moved = finished.Moved(keyName, master);
    QVAPI_NODE stored;
    if (!ReadStoredNotLater(call, moved ? finished.to.c_str() : keyName, master, &given->stUpdateTime, stored))
        return false;
    QVAPI_NODE target = Apply(stored, *given, flags);
    if (moved && Structural(stored, target) && !EqualIgnoringCase(finished.to, keyName)) {
        // Another move than the one finished, asked of the name that went: answered as for any
        // name that is gone.
        if (ReadStoredNotLater(call, keyName, master, nullptr, stored)) call.Fail(QVAPI_ERR_NOT_FOUND);
        return false;
    }
    if (moved && !Structural(stored, target)) KeepPlace(target, stored);
    if (!Structural(stored, target)) {
        if (!WriteBothCopiesIn(call, target)) return false;
    } else if (!MoveNode(call, stored, target, master)) {
        return false;
    }
    if ((flags & kHold) != 0 && master) {
        const std::string name = KeyNameOf(target);
        if (qvAPIChangeHoldDefinition(name.c_str(), kMemberMaster, given) != 1) {
            const uint32_t code = qvAPIGetLastError();
            return call.Failed(code, msg::kHold, call.function(), code);
        }
    }
    return true;
}

}  // namespace

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT int qvAPIChangeClientDefinition(const char* lpNodeName, uint32_t fdwChangeFlags,
                                                         QVAPI_NODE* lpNodeData, uint32_t) {
    return qvp::RunApi(kClientFrame, 0, [&](CallContext& call) {
        return ChangeDefinition(call, lpNodeName, fdwChangeFlags, lpNodeData, false) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeMasterDefinition(const char* lpNodeName, uint32_t fdwChangeFlags,
                                                         QVAPI_NODE* lpNodeData, uint32_t) {
    return qvp::RunApi(kMasterFrame, 0, [&](CallContext& call) {
        return ChangeDefinition(call, lpNodeName, fdwChangeFlags, lpNodeData, true) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeOtherDefinition(const char*, uint32_t, QVAPI_NODE*, uint32_t) {
    return qvp::RunApi(kOtherFrame, 0, [&](CallContext&) { return 1; });
}
