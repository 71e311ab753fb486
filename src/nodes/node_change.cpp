// Changes of a client or master definition, one field group per flag. A change of what the node
// is known or placed by (names, address, host ID, upper path) goes through the cascade (a
// master's subtree through the work-copy swap); other fields are rewritten in both copies.
// Every change stamps the new record's time, so that one-flag-per-call updates with the same
// report time never refuse each other.
#include <cstring>
#include <string>
#include <vector>

#include "core/fileutil.h"
#include "nodes/name_text.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kBadArgument[] = "%s : Parameter Error : lpNodeData or fdwChangeFlags = 0x%8.8x is INVALID";
constexpr char kBelowItself[] = "%s : Parameter Error : Upper Node %s is the node or below it";
constexpr char kHold[] = "%s : qvAPIChangeHoldDefinition Error : ErrorCode = 0x%8.8x";
constexpr char kOldFile[] = "%s : DeleteFile %s : ErrorCode = %d";
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

// The upper master must not be the node or a node below it.
bool UpperOutsideNode(CallContext& call, const QVAPI_NODE& node, const QVAPI_NODE& upper) {
    if (upper.ucNodeName[0] == '\0' && upper.ucNodeAddress[0] == 0 && upper.ucHostID[0] == '\0') return true;
    const std::string own = KeyDirIn("", node);
    const std::string above = KeyDirIn("", upper);
    if (above != own && above.compare(0, own.size() + 1, own + "\\") != 0) return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                       msg::kBelowItself, call.function(), FullPathOf(upper).c_str());
}

// A client change of key name killed once its new definition was made leaves the node under
// both names: `held`, the definition the same change again finds, is this very node only when it
// is, its keys and group flag aside, the very record this change makes. Its creation time and the changed fields
// alone are not enough: nodes made from one template share them, and taking another node for
// this one would finish a rename onto it and remove this node.
bool SameNode(const QVAPI_NODE& stored, const QVAPI_NODE& target, const QVAPI_NODE& held) {
    QVAPI_NODE keyAside = held;  // the key, the keys above and the group flag are the store's
    std::memcpy(keyAside.ucNodeKey, target.ucNodeKey, sizeof keyAside.ucNodeKey);
    std::memcpy(keyAside.ucNodeKeyPath, target.ucNodeKeyPath, sizeof keyAside.ucNodeKeyPath);
    keyAside.uiNodeGroupFlag = target.uiNodeGroupFlag;
    return held.uiNodeAttributes == stored.uiNodeAttributes && std::memcmp(&keyAside, &target, sizeof target) == 0;
}

// The definition that answers to the target's key name is this very node; the call's code stays.
bool HeldByThisNode(CallContext& call, const QVAPI_NODE& stored, const QVAPI_NODE& target, QVAPI_NODE& held) {
    const uint32_t code = call.code();
    const std::string newKeyName = KeyNameOf(target);
    const bool read = ReadDefinitionWhole(call.block(), call.function(), newKeyName.c_str(), false, &held) == 0;
    call.Fail(code);
    return read && SameNode(stored, target, held);
}

// The same for a key name that the placement gave (keying by host ID): the definition the killed
// change made is among the key's synonyms, where the change again laid out another key.
bool LaidOutForThisNode(const QVAPI_NODE& stored, const QVAPI_NODE& target, QVAPI_NODE& held) {
    const std::string live = NodeDefDir();
    std::vector<SynonymFile> files;
    win::DWORD walkError = 0;
    bool firstFailed = false;
    if (ListSynonyms(live, 'C', LastHashComponent(KeyNameOf(target)), files, walkError, firstFailed) != 0)
        return false;
    for (const SynonymFile& file : files) {
        win::DWORD error = 0;
        bool readFailed = false;
        if (ReadRecordFile(live + "\\" + file.fileName, held, error, readFailed) && StoredPathFieldsUsable(held) &&
            SameNode(stored, target, held))
            return true;
    }
    return false;
}

// Finishes what such a killed change left: the group entries renamed, the old files removed.
bool FinishKilledRename(CallContext& call, const QVAPI_NODE& stored, const QVAPI_NODE& held) {
    const std::string live = NodeDefDir();
    if (!ChangeLinkNodeIn(call, AttrPathIn(live, held).c_str(), &stored, &held)) return false;
    const std::string oldFlat = FlatPathIn(live, stored);
    if (!DeleteOnceFree(oldFlat) && win::GetLastError() != win::ERROR_FILE_NOT_FOUND) {
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kOldFile, call.function(), oldFlat.c_str(), LastErr());
    }
    const std::string oldDir = KeyDirIn(live, stored);
    if (oldDir != KeyDirIn(live, held) && IsDirectory(oldDir)) gaiCOMDirectoryDeleteAll(oldDir.c_str());
    call.Fail(0);
    return true;
}

bool ChangeDefinition(CallContext& call, const char* keyName, uint32_t flags, const QVAPI_NODE* given,
                      bool master) {
    if (!KeyNameGiven(call, keyName)) return false;
    if (given == nullptr || (flags & ~kKnownFlags) != 0) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadArgument, call.function(), flags);
    }
    NodeWriterGuard guard(call.block());
    QVAPI_NODE stored;
    if (!LockWriters(call, guard) || !ReadStoredNotLater(call, keyName, master, &given->stUpdateTime, stored))
        return false;
    QVAPI_NODE target = Apply(stored, *given, flags);
    if (!Structural(stored, target)) {
        if (!WriteBothCopiesIn(call, target)) return false;
    } else {
        const std::string newKeyName = KeyNameOf(target);
        if (!EqualIgnoringCase(newKeyName, KeyNameOf(stored)) &&
            !NameIsFree(call, newKeyName, master, Field(target.ucNodePath0), &stored)) {
            QVAPI_NODE held;
            return !master && HeldByThisNode(call, stored, target, held) && FinishKilledRename(call, stored, held);
        }
        QVAPI_NODE upper;
        if (!ReadUpperMaster(call, target, upper)) return false;
        if (master && !UpperOutsideNode(call, stored, upper)) return false;
        CascadeLog log;
        // A keying that follows the placement gives the new key name only now. Keyed by its plain
        // name there, the node finds that name taken when a killed change left it under it.
        QVAPI_NODE held;
        if (!DerivePathsIn(call, NodeDefDir(), target, upper, log)) {
            return !master && call.code() == QVAPI_ERR_ALREADY_EXISTS && HeldByThisNode(call, stored, target, held) &&
                   FinishKilledRename(call, stored, held) && RunDeferredRenames(call, log);
        }
        // Keyed by its host ID there, it finds its killed change's definition among the synonyms.
        if (!master && !EqualIgnoringCase(KeyNameOf(target), newKeyName) && LaidOutForThisNode(stored, target, held))
            return FinishKilledRename(call, stored, held) && RunDeferredRenames(call, log);
        // A new flat file is written beside the others (in the work copy for a master, which
        // becomes the live tree): what killed writers left of theirs goes first.
        SweepDefinitionTemporaries(NodeDefDir());
        if (master) {
            if (!SwapRewriteIn(call, stored, target, log)) return false;
        } else if (!RewriteNodeIn(call, CascadeTree{NodeDefDir(), NodeDefDir()}, stored, target, log)) {
            UndoLinkRenames(call, log);
            return false;
        }
        if (!RunDeferredRenames(call, log)) return false;
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
