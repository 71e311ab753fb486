// Verbs of jobs (job hand-over and control, the execution store).
#include "manager-sim/sim.h"

namespace qvpsim {

void ManagerSim::InstallJobVerbs() {}

}  // namespace qvpsim
