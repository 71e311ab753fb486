// Verbs of packages (RPUT, RGET).
#include "manager-sim/sim.h"

namespace qvpsim {

void ManagerSim::InstallPackageVerbs() {}

}  // namespace qvpsim
