// qvAPIClose: releases everything the session holds, in the order the manager and the other
// threads rely on.
#include <string>

#include "core/fileutil.h"
#include "core/frame.h"
#include "core/log.h"
#include "core/paths.h"
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

// The per-thread work areas, in the order they are removed.
using PathMaker = void (*)(char*);
constexpr PathMaker kWorkAreas[] = {qvpMakeWorkNodePath, qvpMakeWorkNodeGroupPath, qvpMakeWorkJobGenPath,
                                    qvpMakeWorkJobExecPath};

// Each tree goes whole, and one that resists does not keep the others behind.
void RemoveWorkDirectories(const QVPAPI& block) {
    for (PathMaker make : kWorkAreas) {
        char area[win::MAX_PATH + 1] = {};
        make(area);
        const std::string dir = std::string(area) + "\\" + std::to_string(block.openerThreadId);
        if (win::GetFileAttributes(dir.c_str()) == win::INVALID_FILE_ATTRIBUTES) continue;
        if (gaiCOMDirectoryDeleteAll(dir.c_str()) != 0)
            qvpLogPrintf(block.dllLogId, kTag, kLogWorkDeleteError, kCloseName, dir.c_str(), win::GetLastError());
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
