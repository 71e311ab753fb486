// qvAPIClose: releases everything the session holds, in the order the manager and the other
// threads rely on.
#include <string>

#include "core/fileutil.h"
#include "core/frame.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/work_owner.h"
#include "qvpapi.h"
#include "session/message.h"
#include "session/request.h"
#include "session/session.h"

namespace {

constexpr const char kTag[] = "dll";
constexpr const char kCloseName[] = "qvAPIClose";
constexpr const char kLogWorkDeleteError[] = "%s : DirectoryDelete Error : Dir = %s, errno = %u";
constexpr const char kLogClosed[] = "%s : Socket = %d";

const qvp::FrameTexts kCloseTexts{"qvAPIClose", qvp::EndStyle::Hex};

// The per-thread work areas, in the order they are removed. Those whose folders the library
// makes by the thread's id hold an owner file (core/work_owner.h): they go as every remover of
// such a folder takes them, aside first and the owner file last, so that whatever a kill leaves
// is swept by the next caller that makes one. The others hold none and go where they are.
using PathMaker = void (*)(char*);
struct WorkArea {
    PathMaker make;
    bool owned;
};
constexpr WorkArea kWorkAreas[] = {{qvpMakeWorkNodePath, false},
                                   {qvpMakeWorkNodeGroupPath, false},
                                   {qvpMakeWorkJobGenPath, true},
                                   {qvpMakeWorkJobExecPath, true}};

// Each tree goes whole, and one that resists does not keep the others behind.
void RemoveWorkDirectories(const QVPAPI& block) {
    for (const WorkArea& area : kWorkAreas) {
        const std::string dir = qvp::PathOf(area.make) + "\\" + std::to_string(block.openerThreadId);
        bool removed = true;
        if (win::GetFileAttributes(dir.c_str()) != win::INVALID_FILE_ATTRIBUTES)
            removed = area.owned ? qvp::RemoveWorkFolder(dir) : gaiCOMDirectoryDeleteAll(dir.c_str()) == 0;
        const win::DWORD error = win::GetLastError();
        // Held until the folder is gone: no sweeper takes it meanwhile.
        if (area.owned) qvp::LetGoWorkFolder(dir);
        if (!removed) qvpLogPrintf(block.dllLogId, kTag, kLogWorkDeleteError, kCloseName, dir.c_str(), error);
    }
}

// Releases the manager's cursors and ends the session there; the replies do not matter.
void EndManagerSession(QVPAPI& block) {
    for (char kind : qvp::kRecordKindLetters) qvpExchange(block, qvp::BuildFrlsRequest(kind));
    qvpExchange(block, qvp::BuildAtrmRequest());
}

}  // namespace

void qvpSessionClose(QVPAPI& block) {
    if (!qvpSessionHeld(block)) return;
    qvpRunSessionReleaseHooks(block);
    if (block.link != QvpLink::None) RemoveWorkDirectories(block);
    if (block.link == QvpLink::Connected) EndManagerSession(block);
    qvpLogPrintf(block.dllLogId, kTag, kLogClosed, kCloseName, block.socket);
    win::CloseSocket(block.socket);
    qvpCloseBlockLogs(block);
    // Every slot, the arena included: nothing of this session may be seen by the next one.
    qvpResetBlock(block);
}

extern "C" QVPAPI_EXPORT int qvAPIClose(void) {
    return qvp::RunApi(kCloseTexts, 0, [](qvp::CallContext& call) {
        qvpSessionClose(call.block());
        return 1;
    });
}
