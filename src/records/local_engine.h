// The local file engine: in a session without a socket the status and execution records are
// files, one record per file with the bytes as on the wire, and the engine answers each record
// request with the reply text the manager would send.
//   status:     MNGFL\STATUS\<escaped node>\<package file name>
//   executions: MNGFL\EXECUTION\<job number>\<dotted node>
#pragma once

#include <cstddef>

#include "core/block.h"
#include "records/access.h"

namespace qvp::records::local {

// Writes the reply of `op` into `reply` (`size` bytes, NUL-terminated); returns its length.
int Answer(QVPAPI& block, const Op& op, char* reply, size_t size);

}  // namespace qvp::records::local
