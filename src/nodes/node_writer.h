// What the definition writers (create, change, delete of clients and masters) share: the names
// a record is known by, where its files lie in a NODEDEF tree (the live one or a work copy),
// the key and upper-path cascade, and the work-copy swap of a master's subtree.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/frame.h"
#include "nodes/node_group_guard.h"
#include "qvpapi.h"

namespace qvp {

// A node's installed-package records and its system information are renamed by areas above
// this one, which connect their operations here when they load. Until then each answers
// "nothing stored" (0 with 0x20610000), which the inventory rename counts as done.
using NodeRenameFn = int (*)(const char* lpOldName, const char* lpNewName, uint32_t dwValue1,
                             uint32_t dwValue2);
void SetInsPackageRename(NodeRenameFn fn);  // nullptr restores the default
void SetSysInfoRename(NodeRenameFn fn);

}  // namespace qvp

namespace qvp::nodes {

// Test seam in the manner of a replaceable OS layer: a writer step named here fails as if the
// platform had refused it with access denied.
using WriterFaultFn = bool (*)(const char* step);
void SetWriterFault(WriterFaultFn fn);
bool WriterFault(const char* step);

// ---- names ------------------------------------------------------------------------------------
// Keyed by the dotted address: no host ID in use and IP keying.
bool IpKeyed(const QVAPI_NODE& r);
// The host name under host-name keying, else the dotted address.
std::string PlainName(const QVAPI_NODE& r);
// The name the lookups find the node by: its host ID, its common name when it is shown by it
// (connect kind 1, host-name keying), its host name, or its dotted address.
std::string KeyNameOf(const QVAPI_NODE& r);
// The upper-node path: the host-ID form when in use.
std::string UpperPathOf(const QVAPI_NODE& r);
// The upper-node path of a master's children.
std::string FullPathOf(const QVAPI_NODE& r);

// ---- places in a tree -------------------------------------------------------------------------
// tree + ucNodeKeyPath + "\" + key (the dotted address for an IP-keyed node).
std::string KeyDirIn(const std::string& tree, const QVAPI_NODE& r);
std::string AttrPathIn(const std::string& tree, const QVAPI_NODE& r);
// tree\C.<key> or tree\M.<key>.
std::string FlatPathIn(const std::string& tree, const QVAPI_NODE& r);
// The parent directory of a path.
std::string ParentOf(const std::string& path);

// ---- small steps ------------------------------------------------------------------------------
// A caller's key name: not empty, at most 64 bytes. false with the call failed (0x20000057).
bool KeyNameGiven(CallContext& call, const char* keyName);
// Puts NODEDEF back from a backup that a swap killed between its moves left; false with the
// call failed. Run by every writer once it holds the locks.
bool PutBackKilledSwap(CallContext& call);
// The key names of a move a killed writer began and the writer taking the locks finished.
struct FinishedMove {
    bool master = false;
    std::string from, to;
    bool Moved(std::string_view keyName, bool asMaster) const;
};
// Takes the writer locks for the rest of the call (NODEDEF put back first when a killed swap
// left it missing, and the move a killed writer recorded finished: see node_move_record.h);
// false with the call failed. `finished`, when given, tells the move finished.
bool LockWriters(CallContext& call, NodeWriterGuard& guard, FinishedMove* finished = nullptr);
// The stored definition of the key name, whole, and not stamped later than `time` when that
// is given. false with the call failed (0x20610000 for either).
bool ReadStoredNotLater(CallContext& call, const char* keyName, bool master, const QVAPI_NODE_TIME* time,
                        QVAPI_NODE& stored);
// The stored time is later than the given one (both years set, the weekday not compared).
bool StoredIsLater(const QVAPI_NODE_TIME& stored, const QVAPI_NODE_TIME& given);
// The time as given, or the local time when its year is 0.
QVAPI_NODE_TIME StampOrNow(const QVAPI_NODE_TIME& given);
// The upper master of a record (last level of ucHostIDPath, else of ucNodePath0), whole; an
// empty record for a node at the top. false with the call failed (0x20000002 when missing).
bool ReadUpperMaster(CallContext& call, const QVAPI_NODE& r, QVAPI_NODE& upper);
// The upper master of a master's new place is not the master itself nor a node below it. false
// with the call failed (0x20000057).
bool UpperOutsideNode(CallContext& call, const QVAPI_NODE& node, const QVAPI_NODE& upper);
// Another definition already answers to `keyName`: of the same kind anywhere, or of the other
// kind at the same ucNodePath0. `self` (when given) is not counted. false with the call failed
// (0x200000B7 when taken).
bool NameIsFree(CallContext& call, std::string_view keyName, bool master,
                std::string_view nodePath0, const QVAPI_NODE* self);
// Writes both copies of a stored record in place (the head of its nodeattributionfile, then
// its flat file).
bool WriteBothCopiesIn(CallContext& call, const QVAPI_NODE& r);
// What killed writers left, swept only under the writer locks, where no other writer is part
// way: a key directory of `tree` that no definition owns (an attribution folder without its
// definition, or the one a moved node had at its other place, is no node), before a writer
// makes it again; and the hidden temporaries of definition files in `tree`, which no count or
// walk takes for definitions.
void SweepOrphanKeyDir(const std::string& tree, const std::string& keyDir);
// `dir` is a path of one key folder in `tree`: below it, its last level a name.
bool KeyFolderIn(const std::string& tree, const std::string& dir);
void SweepDefinitionTemporaries(const std::string& tree);
// The key directory `keyDir` (a path in `tree`) is the one the definition file of its key
// (M.<key> or C.<key>) places there.
bool KeyDirOwned(const std::string& tree, const std::string& keyDir);
// One walk below a master (a cascade, a delete, a look at a subtree): the definitions it has
// listed, so that each is listed once however the folders lead to it again (a folder named as
// its key in other case, two masters that claim one key folder: nothing the library writes).
class SubtreeWalk {
public:
    explicit SubtreeWalk(const QVAPI_NODE& top) { FirstVisit(top); }
    // True the first time the walk comes to `node`'s definition.
    bool FirstVisit(const QVAPI_NODE& node);
    // The folders led to a definition a second time: the tree is not what a writer made.
    bool repeated() const { return repeated_; }

private:
    std::unordered_set<std::string> listed_;
    bool repeated_ = false;
};
// Whole records of the nodes listed directly below a master in the live tree: each definition
// whose key folder is the folder it was found through, and that the walk has not listed before.
bool ListChildrenIn(CallContext& call, const QVAPI_NODE& master, SubtreeWalk& walk, std::vector<QVAPI_NODE>& out);

// ---- the cascade ------------------------------------------------------------------------------
// What a cascade did that an abandoned change takes back, and what waits for its success.
struct CascadeLog {
    struct LinkRename {
        std::string attrPath;  // where the back-links lie once the change is taken back
        QVAPI_NODE from;
        QVAPI_NODE to;
    };
    std::vector<LinkRename> links;                             // group renames, in order
    std::vector<std::pair<std::string, std::string>> renames;  // inventory: old, new
};

// The tree written and the live tree the children are listed from (the same outside a swap).
struct CascadeTree {
    std::string root;
    std::string live;
};

// Derives the path fields (and keying) of `r` from its upper master; keys are laid out among
// the files of `layoutDir`.
bool DerivePathsIn(CallContext& call, const std::string& layoutDir, QVAPI_NODE& r,
                   const QVAPI_NODE& upper, CascadeLog& log);
// The key `r` is stored under in `tree`: kept while it is a slot of its key name's hash, else
// laid out anew (none for an IP-keyed node). false with the call failed.
bool SettleKeyIn(CallContext& call, const std::string& tree, QVAPI_NODE& r);
// Rewrites `oldRec` as `newRec` in the tree, and every node below it. A failing step of the
// node itself takes that node's earlier steps back; children already done stay rewritten.
bool RewriteNodeIn(CallContext& call, const CascadeTree& tree, const QVAPI_NODE& oldRec,
                   QVAPI_NODE newRec, CascadeLog& log);
// Takes back the group renames of an abandoned cascade, last first.
void UndoLinkRenames(CallContext& call, CascadeLog& log);
// The inventory renames of a change that succeeded; false with the call failed by the first
// that fails (the definition stays changed).
bool RunDeferredRenames(CallContext& call, const CascadeLog& log);
// Rewrites a master and its subtree in a work copy of NODEDEF, stages it beside NODEDEF and
// exchanges the two; NODEDEF is never without a whole tree, and the next swap sweeps what a
// killed one left. `beforeExchange`, when given, runs with the whole cascade's log just before
// the new tree goes in; false from it abandons the change.
using BeforeExchange = std::function<bool(const CascadeLog&)>;
bool SwapRewriteIn(CallContext& call, const QVAPI_NODE& oldRec, const QVAPI_NODE& newRec,
                   CascadeLog& log, const BeforeExchange& beforeExchange = {});

// ---- moves under way ----------------------------------------------------------------------------
// A change that moves a node (`from` becomes `to`, its paths derived and key settled) keeps its
// record in the store while it lives: written before the first step (false with the call failed
// when it cannot be), removed when the change ends, whatever its outcome. A kill leaves it.
class RecordedMove {
public:
    RecordedMove(bool master, const QVAPI_NODE& from, const QVAPI_NODE& to, const CascadeLog& log);
    ~RecordedMove();
    RecordedMove(const RecordedMove&) = delete;
    RecordedMove& operator=(const RecordedMove&) = delete;
    bool Write(CallContext& call);
    // Records the inventory renames a master's subtree added, before its tree goes in.
    BeforeExchange RenamesHook(CallContext& call);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
// The steps of a move (paths derived, key settled): a master's subtree through the swap, a
// client through the cascade, its group renames taken back when it fails; false with the call
// failed. The inventory renames are left to the caller, in `log`.
bool MoveSteps(CallContext& call, bool master, const QVAPI_NODE& from, const QVAPI_NODE& to, CascadeLog& log,
               const BeforeExchange& beforeExchange);
// Under the writer locks: finishes the move a killed writer recorded, as the change would have
// (its tree in, the group entries and inventory renamed, the old files gone), or drops a record
// that no longer matches the store. The call's code is kept.
void FinishRecordedMove(CallContext& call, FinishedMove* finished);

// The system's internal operations of the cascade, each in its own call frame.
int qvAPICreateNodeDataDefinition(QVAPI_NODE* lpNodeData, const QVAPI_NODE* lpUpperNode);
int qvAPIChangeNodeDefinitionEx(const char* lpNodeDefRoot, QVAPI_NODE* lpNodeA,
                                QVAPI_NODE* lpNodeB, uint32_t dwMode, uint32_t dwReserved1,
                                uint32_t dwReserved2);
int qvAPIChangeGuiNameMasterDefinition(QVAPI_NODE* lpNodeData, const char* lpGuiName);
int qvAPIChangeNameInventoryNodeDefinition(const char* lpOldName, const char* lpNewName,
                                           uint32_t dwValue1, uint32_t dwValue2);
// Rewrites the upper paths of every definition in the tree `lpNodeDefRoot` that lies below the
// master `lpOldUpper` to those below `lpNewUpper` (files are not moved). 0 with 0x20530000 and
// nothing written when a rewritten path would not fit its field.
int qvAPIChangeUpperNodePathDefinition(const char* lpNodeDefRoot, const QVAPI_NODE* lpOldUpper,
                                       const QVAPI_NODE* lpNewUpper);

}  // namespace qvp::nodes
