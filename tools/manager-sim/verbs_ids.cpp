// Verbs of the ID store (IDGET, IDUPD, IDDEL, IDRLS, IDEXC, IDCHG).
#include "manager-sim/sim.h"

namespace qvpsim {

void ManagerSim::InstallIdVerbs() {}

}  // namespace qvpsim
