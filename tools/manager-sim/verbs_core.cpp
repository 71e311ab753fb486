// The verbs every session uses: the handshake, cursor release and termination.
#include "manager-sim/sim.h"

namespace qvpsim {

void ManagerSim::InstallCoreVerbs() {
    // "AINT 2 v5 V0300 h<len> <host>": answered with the configured handshake text.
    Handle(kHandshakeVerb, [](Call& call) {
        std::lock_guard lock(call.sim.mutex_);
        return call.sim.handshakeReply_;
    });
    // "FRLS 1 f1 <kind>": accepted; a record store that keeps cursors replaces this handler.
    Handle("FRLS", [](Call&) { return std::string(kReplyOk); });
    // "ATRM 0": the session ends; the client closes the connection next.
    Handle("ATRM", [](Call& call) {
        call.connection.terminated = true;
        return std::string(kReplyOk);
    });
}

}  // namespace qvpsim
