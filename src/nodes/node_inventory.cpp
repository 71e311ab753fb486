// The inventory rename of a node whose key name changed: its installed-package records and its
// system information follow it. Both live in areas above this one, which connect their
// operations through the hooks below.
#include <atomic>

#include "core/frame.h"
#include "nodes/node_writer.h"
#include "qvpapi.h"

namespace qvp {

namespace {

// Nothing is stored under any name until the owning area is connected.
int NothingStored(const char*, const char*, uint32_t, uint32_t) {
    qvAPISetLastError(QVAPI_ERR_NOT_FOUND);
    return 0;
}

std::atomic<NodeRenameFn> g_insPackageRename{&NothingStored};
std::atomic<NodeRenameFn> g_sysInfoRename{&NothingStored};

}  // namespace

void SetInsPackageRename(NodeRenameFn fn) { g_insPackageRename = fn != nullptr ? fn : &NothingStored; }
void SetSysInfoRename(NodeRenameFn fn) { g_sysInfoRename = fn != nullptr ? fn : &NothingStored; }

}  // namespace qvp

namespace qvp::nodes {

namespace {
constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts kInventoryFrame{"qvAPIChangeNameInventoryNodeDefinition", EndStyle::RtnCode,
                                     nullptr, nullptr, kLogicalError};
constexpr char kRenameFailed[] = "%s : qvAPIChangeNameInventoryNodeDefinition Error : Change %s to %s";
}  // namespace

int qvAPIChangeNameInventoryNodeDefinition(const char* lpOldName, const char* lpNewName,
                                           uint32_t dwValue1, uint32_t dwValue2) {
    return RunApi(kInventoryFrame, 0, [&](CallContext& call) {
        for (NodeRenameFn rename : {g_insPackageRename.load(), g_sysInfoRename.load()}) {
            if (rename(lpOldName, lpNewName, dwValue1, dwValue2) != 0) continue;
            const uint32_t code = qvAPIGetLastError();
            if (code == QVAPI_ERR_NOT_FOUND) continue;  // nothing stored under the old name
            call.Fail(code);
            return 0;
        }
        return 1;
    });
}

bool RunDeferredRenames(CallContext& call, const CascadeLog& log) {
    for (const auto& [from, to] : log.renames) {
        if (qvAPIChangeNameInventoryNodeDefinition(from.c_str(), to.c_str(), 0, 0) == 1) continue;
        const uint32_t code = qvAPIGetLastError();
        return call.Failed(code, kRenameFailed, call.function(), from.c_str(), to.c_str());
    }
    return true;
}

}  // namespace qvp::nodes
