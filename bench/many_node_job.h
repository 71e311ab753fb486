// A job of many nodes, one entry each, in the four statuses a job's nodes pass through: what
// the job-reading benchmarks walk.
#pragma once

#include <cstdio>
#include <string>

#include "manager-sim/store_jobs.h"

namespace qvpbench {

inline qvpsim::JobSpec ManyNodeJob(const std::string& path, const std::string& number, int nodes) {
    qvpsim::JobSpec job;
    job.path = path;
    job.number = number;
    job.storedCounts[0] = static_cast<uint32_t>(nodes);
    static const qvpsim::ExecStatus kStatuses[] = {{0x10, 0, 0}, {0x20, 0, 0x20}, {0x30, 0, 0x90}, {0x60, 0, 0}};
    for (int i = 0; i < nodes; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "pc%05d", i);
        job.nodes.push_back(qvpsim::Node(name, kStatuses[i % 4]));
    }
    return job;
}

}  // namespace qvpbench
