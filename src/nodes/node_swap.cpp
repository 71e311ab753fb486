// A master's subtree is rewritten in a work copy of NODEDEF and swapped in whole: readers see
// the old tree or the new one, never a half-moved subtree, and NODEDEF is never missing. The
// copy is made as NODEDEF in the work root and becomes a work folder named by the thread (its
// owner file held), so a killed swap's copy goes with a later swap's sweep; the IDSYNC folders
// of a running automatic registration are there too. A tree staged beside NODEDEF is only ever a
// killed swap's leftover once the caller holds the node lock.
#include <string>
#include <string_view>
#include <vector>

#include "core/fileutil.h"
#include "core/fresh_folder.h"
#include "core/paths.h"
#include "nodes/node_checks.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kBadGuiName[] = "%s : Parameter Err : lpGuiName Value is INVALID = \"%s\"";
constexpr char kNotHostId[] = "%s : Parameter Err : lpNodeData Value is not HostID: ";
constexpr char kNameCheck[] = "%s : qvAPINameParameterNodeDefinitionCheck %s : ErrorCode = 0x%8.8x";
constexpr char kCopy[] = "%s : qvAPIDirectoryCopy Error";
// The moves log under the name of the plain rename, as they always have.
constexpr char kMoveName[] = "qvAPIChangeNameMasterDefinition";
constexpr char kWorkMove[] = "%s : MoveFile Error";
constexpr char kSwapMove[] = "%s : MoveFile Error errno = %d";
constexpr char kRestored[] = "%s : NODEDEF restored from %s";
constexpr char kChangeEx[] = "%s : qvAPIChangeNodeDefinitionEx Error : errno = 0x%x";
}  // namespace msg

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts kGuiNameFrame{"qvAPIChangeGuiNameMasterDefinition", EndStyle::RtnCode, nullptr,
                                   nullptr, kLogicalError};

std::string Built(void (*builder)(char*)) {
    char buffer[win::MAX_PATH] = {};
    builder(buffer);
    return std::string(Field(buffer));
}

void RemoveTree(const std::string& dir) {
    if (IsDirectory(dir)) gaiCOMDirectoryDeleteAll(dir.c_str());
}

bool Move(const char* step, const std::string& from, const std::string& to) {
    return !WriterFault(step) && win::MoveFile(from.c_str(), to.c_str());
}

// A swap stages its tree as MNGFL\<thread id>; after the exchange that name holds the old tree.
bool IsStagedName(std::string_view name) {
    return !name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos;
}

// Under the node lock no swap is under way: a staged tree is what a killed one left, the new
// tree that never went in or the old one not yet removed, and NODEDEF is whole either way.
void SweepKilledSwaps(const std::string& mngfl) {
    win::WIN32_FIND_DATAA data{};
    std::vector<std::string> left;
    for (FindWalk walk(mngfl + "\\*", data); walk.valid(); ) {
        const std::string_view name = FieldText(data.cFileName, sizeof data.cFileName);
        if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 && IsStagedName(name))
            left.emplace_back(mngfl + "\\" + std::string(name));
        if (!walk.Next(data)) break;
    }
    for (const std::string& tree : left) RemoveTree(tree);
}

}  // namespace

bool PutBackKilledSwap(CallContext& call) {
    const std::string live = NodeDefDir();
    if (IsDirectory(live)) return true;
    // Only an older swap, which moved the live tree aside before moving the new one in, can
    // have left NODEDEF missing: its backup is the whole tree.
    const std::string backup = Built(&qvpMakeWorkNodeDefPath) + "\\Nodebak";
    if (!IsDirectory(backup)) return true;
    if (!win::MoveFile(backup.c_str(), live.c_str())) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kSwapMove, msg::kMoveName, static_cast<int>(win::GetLastError()));
    }
    call.Log(msg::kRestored, call.function(), backup.c_str());
    return true;
}

bool SwapRewriteIn(CallContext& call, const QVAPI_NODE& oldRec, const QVAPI_NODE& newRec,
                   CascadeLog& log, const BeforeExchange& beforeExchange) {
    const std::string live = NodeDefDir();
    const std::string work = Built(&qvpMakeWorkNodeDefPath);
    const std::string mngfl = Built(&qvpMakeMngflPath);
    const std::string tid = std::to_string(win::GetCurrentThreadId());
    const std::string copied = work + "\\NODEDEF";
    const std::string staged = mngfl + "\\" + tid;
    FreshFolder tree(work + "\\" + tid, Named::ById);

    if (!PutBackKilledSwap(call)) return false;
    SweepKilledSwaps(mngfl);
    RemoveTree(copied);  // under the node lock only a killed swap's

    if (!qvpCreateDirectoryTree(work.c_str()) || WriterFault("swap.copy") ||
        qvAPIDirectoryCopy(live.c_str(), work.c_str()) != 1) {
        call.Log(msg::kCopy, call.function());
        call.Fail(QVAPI_ERR_RESOURCE);
        RemoveTree(copied);
        return false;
    }
    if (tree.Adopt(copied) != 0) {
        call.Log(msg::kWorkMove, msg::kMoveName);
        call.Fail(QVAPI_ERR_RESOURCE);
        RemoveTree(copied);
        tree.Remove();
        return false;
    }
    bool ok = RewriteNodeIn(call, CascadeTree{tree.path(), live}, oldRec, newRec, log);
    if (!ok) call.Log(msg::kChangeEx, call.function(), call.code());
    if (ok && beforeExchange) ok = beforeExchange(log);
    const auto moveFailed = [&] {
        call.Log(msg::kSwapMove, msg::kMoveName, static_cast<int>(win::GetLastError()));
        call.Fail(QVAPI_ERR_RESOURCE);
        ok = false;
    };
    // Staged beside NODEDEF, then the two trade names in one step: NODEDEF is the old tree or
    // the new one at every moment, and the old one is removed from the staged name after. The
    // copy's owner file goes once it is staged, before the exchange: it has no place in NODEDEF.
    if (ok && (!Move("swap.move1", tree.path(), staged) || !tree.MovedTo(staged))) moveFailed();
    if (ok && (WriterFault("swap.exchange") || !win::ExchangeFolders(staged.c_str(), live.c_str()))) moveFailed();
    if (!ok) UndoLinkRenames(call, log);
    if (tree.made()) tree.Remove();
    RemoveTree(staged);
    return ok;
}

int qvAPIChangeGuiNameMasterDefinition(QVAPI_NODE* lpNodeData, const char* lpGuiName) {
    return RunApi(kGuiNameFrame, 0, [&](CallContext& call) {
        if (lpGuiName == nullptr || *lpGuiName == '\0') {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                        msg::kBadGuiName, call.function(), lpGuiName == nullptr ? "" : lpGuiName);
            return 0;
        }
        if (lpNodeData == nullptr || lpNodeData->ucHostIDFlag != 1) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNotHostId, call.function());
            return 0;
        }
        if (qvAPINameParameterNodeDefinitionCheck(lpGuiName, lpGuiName, call.function(), 2) != 1) {
            const uint32_t code = qvAPIGetLastError();
            call.Failed(code, msg::kNameCheck, call.function(), lpGuiName, code);
            return 0;
        }
        QVAPI_NODE newRec = *lpNodeData;
        if (newRec.ucSystemKey == 1) {
            char dotted[16] = {};
            if (qvAPIChangeIPAddress(lpGuiName, dotted) != 1) {
                call.Fail(qvAPIGetLastError());
                return 0;
            }
            unsigned parts[4] = {};
            std::sscanf(dotted, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
            for (int i = 0; i < 4; ++i) newRec.ucNodeAddress[i] = static_cast<uint8_t>(parts[i]);
        } else {
            CopyField(newRec.ucNodeName, lpGuiName);
        }
        CascadeLog log;
        if (!SwapRewriteIn(call, *lpNodeData, newRec, log) || !RunDeferredRenames(call, log)) return 0;
        *lpNodeData = newRec;
        return 1;
    });
}

}  // namespace qvp::nodes
