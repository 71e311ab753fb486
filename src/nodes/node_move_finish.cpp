// A move under way keeps its record in the store, and the next writer finishes what a killed one
// began. The new definition file is the move's commit point: once it holds the very record the
// move makes, what is left is the tail (group entries renamed, the old files removed, the
// inventory renamed); before, the node still stands whole at its old place and the move is made
// again from the record. A stamp the caller did not give plays no part: the record carries it.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "nodes/name_text.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_move_record.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kRecordWrite[] = "%s : WriteFile Error : file = %s, errno = %d";
constexpr char kRecordInvalid[] = "%s : Move Record is INVALID : file = %s";
constexpr char kFinished[] = "%s : Killed Move Finished : %s to %s";
constexpr char kDropped[] = "%s : Killed Move Dropped : %s to %s";
constexpr char kRefused[] = "%s : Killed Move Refused : %s to %s";
}  // namespace msg

// This thread is part way through a move: a writer nested in it never takes its record for a
// killed writer's.
thread_local bool t_moveUnderWay = false;

// Two copies of one definition: the readers set the system key and the group flag of what they
// hand on, the file holds what the writer had.
bool SameRecord(const QVAPI_NODE& onDisk, const QVAPI_NODE& r) {
    QVAPI_NODE a = onDisk;
    a.ucSystemKey = r.ucSystemKey;
    a.uiNodeGroupFlag = r.uiNodeGroupFlag;
    return std::memcmp(&a, &r, sizeof a) == 0;
}

// What a definition file holds: `r`, nothing, another record, or nothing sure (held by a reader
// for a moment, or unreadable): the record waits for the next writer then.
enum class Held { This, Absent, Other, Unknown };
Held HeldAt(const std::string& path, const QVAPI_NODE& r) {
    QVAPI_NODE onDisk;
    win::DWORD error = 0;
    bool readFailed = false;
    if (ReadRecordFile(path, onDisk, error, readFailed)) return SameRecord(onDisk, r) ? Held::This : Held::Other;
    if (readFailed) return Held::Other;  // a short file is no record this move wrote
    return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ? Held::Absent : Held::Unknown;
}

// Adds the renames `into` lacks, in order; whether any was added.
bool MergeRenames(std::vector<std::pair<std::string, std::string>>& into,
                  const std::vector<std::pair<std::string, std::string>>& more) {
    bool grew = false;
    for (const auto& rename : more) {
        if (std::find(into.begin(), into.end(), rename) != into.end()) continue;
        into.push_back(rename);
        grew = true;
    }
    return grew;
}

bool WriteRecord(CallContext& call, const MoveRecord& record) {
    if (WriteMoveRecord(record)) return true;
    return call.Failed(QVAPI_ERR_RESOURCE, msg::kRecordWrite, call.function(), MoveRecordPath().c_str(), LastErr());
}

// The renames a master's subtree added are recorded before its tree goes in: after it, they are
// all that is left to do.
BeforeExchange RecordRenames(CallContext& call, MoveRecord& record) {
    return [&call, &record](const CascadeLog& log) {
        return !MergeRenames(record.renames, log.renames) || WriteRecord(call, record);
    };
}

// Finished; dropped, the store having gone on without it; refused, no change could have made it;
// kept for the next writer, nothing sure.
enum class Outcome { Finished, Dropped, Refused, Kept };

// The nodes below a master in the live tree, at any depth, each once.
bool ListSubtree(CallContext& call, const QVAPI_NODE& master, SubtreeWalk& walk, std::vector<QVAPI_NODE>& out) {
    std::vector<QVAPI_NODE> children;
    if (!ListChildrenIn(call, master, walk, children)) return false;
    for (const QVAPI_NODE& child : children) {
        out.push_back(child);
        if (child.uiNodeAttributes == kMemberMaster && !ListSubtree(call, child, walk, out)) return false;
    }
    return true;
}

// Every inventory rename is of the moved node or, for a master, of a node of its subtree (below
// `placed`, where the move has it now): another node's inventory is no part of the move. A
// subtree whose folders lead to one definition twice is none a change left: refused.
Outcome RenamesOfMovedNodes(CallContext& call, const MoveRecord& record, const QVAPI_NODE& placed) {
    const auto own = [&record](const auto& rename) {
        return RenameOfNode(rename, record.from) || RenameOfNode(rename, record.to);
    };
    if (std::all_of(record.renames.begin(), record.renames.end(), own)) return Outcome::Finished;
    std::vector<QVAPI_NODE> subtree;
    if (!record.master) return Outcome::Refused;
    SubtreeWalk walk(placed);
    if (!ListSubtree(call, placed, walk, subtree)) return Outcome::Kept;
    if (walk.repeated()) return Outcome::Refused;
    for (const auto& rename : record.renames) {
        if (own(rename)) continue;
        if (std::none_of(subtree.begin(), subtree.end(),
                         [&rename](const QVAPI_NODE& node) { return RenameOfNode(rename, node); }))
            return Outcome::Refused;
    }
    return Outcome::Finished;
}

// The place fields the move derives from the upper master (paths and keying; the key is laid out
// among the files as they are).
bool SamePlace(const QVAPI_NODE& a, const QVAPI_NODE& b) {
    return Field(a.ucNodePath0) == Field(b.ucNodePath0) && Field(a.ucNodeKeyPath) == Field(b.ucNodeKeyPath) &&
           Field(a.ucHostIDPath) == Field(b.ucHostIDPath) && a.ucHostIDFlag == b.ucHostIDFlag;
}

// The checks the change ran before it wrote the record, run again on the store as it is now: the
// new name free (or the node's own), the upper master there, a master never placed at or below
// itself, and the new place the one the move derives below that master.
bool MoveAllowed(CallContext& call, const MoveRecord& record) {
    const QVAPI_NODE& from = record.from;
    const QVAPI_NODE& to = record.to;
    const std::string newKeyName = KeyNameOf(to);
    if (!EqualIgnoringCase(newKeyName, KeyNameOf(from)) &&
        !NameIsFree(call, newKeyName, record.master, Field(to.ucNodePath0), &from))
        return false;
    QVAPI_NODE upper;
    if (!ReadUpperMaster(call, to, upper)) return false;
    if (record.master && !UpperOutsideNode(call, from, upper)) return false;
    QVAPI_NODE derived = to;
    derived.ucHostIDFlag = from.ucHostIDFlag;
    std::memcpy(derived.ucNodeKey, from.ucNodeKey, sizeof derived.ucNodeKey);
    CascadeLog unused;
    return DerivePathsIn(call, NodeDefDir(), derived, upper, unused) && SamePlace(derived, to);
}

// The back-links of an attribution file (none when there is no file); false when it cannot be read.
bool BackLinksOf(const std::string& attrPath, std::vector<uint8_t>& links) {
    links.clear();
    FileHandle attr = OpenExclusiveRead(attrPath);
    if (!attr.valid()) {
        const win::DWORD error = win::GetLastError();
        return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND;
    }
    if (ReadDeclared(attr.get(), kAttributionFileLayout, links) != DeclaredRead::Read) return false;
    links.erase(links.begin(), links.begin() + static_cast<std::ptrdiff_t>(std::min(links.size(), kAttributionHeadSize)));
    return true;
}

// What the groups show of a client's killed move: its new attribution file holds the back-links
// its old one holds (copied before the new definition was made), and each of its groups lists it
// under its old name or its new one, never both. Anything else is two nodes: a group listing both
// lists another node under the old name, whose entry is no part of the move (Refused). Kept when
// a file cannot be read.
Outcome GroupsShowOneNode(const std::string& live, const MoveRecord& record, Held fromHeld) {
    const std::string oldName = GroupNameOf(record.from);
    const std::string newName = GroupNameOf(record.to);
    std::vector<uint8_t> links;
    if (!BackLinksOf(AttrPathIn(live, record.to), links)) return Outcome::Kept;
    const std::string oldAttr = AttrPathIn(live, record.from);
    if (fromHeld == Held::This && oldAttr != AttrPathIn(live, record.to)) {
        std::vector<uint8_t> oldLinks;
        if (!BackLinksOf(oldAttr, oldLinks)) return Outcome::Kept;
        if (oldLinks != links) return Outcome::Refused;
    }
    if (oldName == newName) return Outcome::Finished;
    for (size_t at = 0; at + kBackLinkSize <= links.size(); at += kBackLinkSize) {
        const std::string groupPath(FieldText(reinterpret_cast<const char*>(links.data() + at), kBackLinkSize));
        if (CheckGroupPath(groupPath) != 0) continue;  // the rename refuses it
        FileHandle group = OpenExclusiveRead(GroupFilePath(groupPath));
        std::vector<uint8_t> image;
        if (!group.valid() || ReadDeclared(group.get(), kGroupFileLayout, image) != DeclaredRead::Read ||
            !GroupImageWellFormed(image))
            return Outcome::Kept;
        if (FindGroupEntry(image, oldName, record.from.uiNodeAttributes) >= 0 &&
            FindGroupEntry(image, newName, record.to.uiNodeAttributes) >= 0)
            return Outcome::Refused;
    }
    return Outcome::Finished;
}

// Where the old definition is not where the record says, the old name answers to no node of its
// kind but the moved one: one it still finds elsewhere is another node, whose group entries and
// inventory are no part of the move (Refused). Kept when a file is held or cannot be read.
Outcome OldNameIsTheMovedNodes(CallContext& call, const std::string& live, const MoveRecord& record) {
    QVAPI_NODE found;
    const std::string oldName = KeyNameOf(record.from);
    const uint32_t code = record.master ? ReadMasterDefinition(call.block(), call.function(), oldName, found)
                                        : ReadClientDefinition(call.block(), call.function(), oldName, found);
    switch (code) {
        case 0: return FlatPathIn(live, found) == FlatPathIn(live, record.to) ? Outcome::Finished : Outcome::Refused;
        case QVAPI_ERR_NOT_FOUND:
        case QVAPI_ERR_FILE_NOT_FOUND: return Outcome::Finished;
        case QVAPI_ERR_NODE_FILE_BUSY:
        case QVAPI_ERR_RESOURCE: return Outcome::Kept;
        default: return Outcome::Refused;
    }
}

Outcome FinishTail(CallContext& call, const MoveRecord& record, const std::string& live, Held fromHeld) {
    const QVAPI_NODE& from = record.from;
    const QVAPI_NODE& to = record.to;
    if (fromHeld != Held::This)
        if (const Outcome old = OldNameIsTheMovedNodes(call, live, record); old != Outcome::Finished) return old;
    // A master's group entries were renamed in the work copy's cascade, before its tree went in.
    if (!record.master) {
        if (const Outcome groups = GroupsShowOneNode(live, record, fromHeld); groups != Outcome::Finished)
            return groups;
        const std::string attr = AttrPathIn(live, to);
        if (Exists(attr) && !ChangeLinkNodeIn(call, attr.c_str(), &from, &to)) return Outcome::Kept;
        const std::string oldFlat = FlatPathIn(live, from);
        if (fromHeld == Held::This && !DeleteOnceFree(oldFlat) && win::GetLastError() != win::ERROR_FILE_NOT_FOUND)
            return Outcome::Kept;
        const std::string oldDir = KeyDirIn(live, from);
        if (oldDir != KeyDirIn(live, to)) SweepOrphanKeyDir(live, oldDir);
    }
    CascadeLog log;
    log.renames = record.renames;
    RunDeferredRenames(call, log);  // one that fails is logged; the definition has moved
    return Outcome::Finished;
}

Outcome MoveAgain(CallContext& call, MoveRecord& record) {
    CascadeLog log;
    log.renames = record.renames;
    if (!MoveSteps(call, record.master, record.from, record.to, log, RecordRenames(call, record)))
        return Outcome::Dropped;
    MergeRenames(record.renames, log.renames);
    log.renames = record.renames;
    RunDeferredRenames(call, log);
    return Outcome::Finished;
}

Outcome Finish(CallContext& call, MoveRecord& record) {
    const std::string live = NodeDefDir();
    const std::string fromFlat = FlatPathIn(live, record.from);
    const std::string toFlat = FlatPathIn(live, record.to);
    const Held to = HeldAt(toFlat, record.to);
    const Held from = fromFlat == toFlat && to == Held::This ? Held::Absent : HeldAt(fromFlat, record.from);
    if (to == Held::Unknown || from == Held::Unknown) return Outcome::Kept;
    const bool tail = to == Held::This && from != Held::Other;
    // Made again only where nothing stands at the new name: another node there is not overwritten.
    if (!tail && !(from == Held::This && (to == Held::Absent || fromFlat == toFlat)))
        return Outcome::Dropped;  // the store went on without the move
    if (const Outcome renames = RenamesOfMovedNodes(call, record, tail ? record.to : record.from);
        renames != Outcome::Finished)
        return renames;
    if (tail) return FinishTail(call, record, live, from);
    return MoveAllowed(call, record) ? MoveAgain(call, record) : Outcome::Refused;
}

}  // namespace

bool MoveSteps(CallContext& call, bool master, const QVAPI_NODE& from, const QVAPI_NODE& to, CascadeLog& log,
               const BeforeExchange& beforeExchange) {
    // A new flat file is written beside the others (in the work copy for a master, which
    // becomes the live tree): what killed writers left of theirs goes first.
    const std::string live = NodeDefDir();
    SweepDefinitionTemporaries(live);
    if (master) return SwapRewriteIn(call, from, to, log, beforeExchange);
    if (RewriteNodeIn(call, CascadeTree{live, live}, from, to, log)) return true;
    UndoLinkRenames(call, log);
    return false;
}

bool FinishedMove::Moved(std::string_view keyName, bool asMaster) const {
    return master == asMaster && !from.empty() && EqualIgnoringCase(from, keyName);
}

struct RecordedMove::Impl {
    MoveRecord record;
    bool written = false;
};

RecordedMove::RecordedMove(bool master, const QVAPI_NODE& from, const QVAPI_NODE& to, const CascadeLog& log)
    : impl_(std::make_unique<Impl>()) {
    impl_->record = MoveRecord{master, from, to, log.renames};
}

RecordedMove::~RecordedMove() {
    if (!impl_->written) return;
    RemoveMoveRecord();
    t_moveUnderWay = false;
}

bool RecordedMove::Write(CallContext& call) {
    if (!WriteRecord(call, impl_->record)) return false;
    impl_->written = true;
    t_moveUnderWay = true;
    return true;
}

BeforeExchange RecordedMove::RenamesHook(CallContext& call) { return RecordRenames(call, impl_->record); }

void FinishRecordedMove(CallContext& call, FinishedMove* finished) {
    if (t_moveUnderWay) return;
    MoveRecord record;
    switch (ReadMoveRecord(record)) {
        case MoveRecordRead::Read: break;
        case MoveRecordRead::Refused:
            // Nothing this library wrote: no move is under way by it.
            call.Log(msg::kRecordInvalid, call.function(), MoveRecordPath().c_str());
            RemoveMoveRecord();
            return;
        default: return;  // none, or held for a moment: the next writer looks again
    }
    const uint32_t code = call.code();
    t_moveUnderWay = true;
    const Outcome outcome = Finish(call, record);
    t_moveUnderWay = false;
    call.Fail(code);
    if (outcome == Outcome::Kept) return;
    RemoveMoveRecord();
    const std::string from = KeyNameOf(record.from);
    const std::string to = KeyNameOf(record.to);
    call.Log(outcome == Outcome::Finished  ? msg::kFinished
             : outcome == Outcome::Refused ? msg::kRefused
                                           : msg::kDropped,
             call.function(), from.c_str(), to.c_str());
    if (outcome == Outcome::Finished && finished != nullptr) *finished = FinishedMove{record.master, from, to};
}

}  // namespace qvp::nodes
