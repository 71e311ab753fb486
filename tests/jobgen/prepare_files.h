// JobGen files for the job-preparation suites: entries and a jobgenfile made from them.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "jobgen/jobgen_file.h"

namespace qvptest {

using Image = std::vector<uint8_t>;
using qvp::jobgen::JobGenEntry;
using qvp::jobgen::JobGenHeader;

inline JobGenEntry Entry(char kind, uint32_t type, const std::string& node, const std::string& package = {}) {
    JobGenEntry e{};
    e.jobKind = kind;
    e.setcls = 'W';
    e.reginfOption = 7;
    qvp::jobgen::PutField(e.node, 260, node);
    qvp::jobgen::PutField(e.host, 260, node);
    e.type = type;
    qvp::jobgen::PutField(e.packageKey, 64, package);
    return e;
}

inline Image File(char kind, const std::vector<JobGenEntry>& entries, uint32_t count, uint8_t idKind = 0) {
    JobGenHeader h{};
    qvp::jobgen::PutField(h.name, 64, "J");
    h.jobKind = kind;
    h.idKind = idKind;
    std::memcpy(h.version, "0200", 4);
    h.entryCount = count;
    h.entryAreaSize = count * 1284;
    Image out(256 + entries.size() * 1284 + 40, 0xA5);  // trailing bytes a rewrite must keep
    std::memcpy(out.data(), &h, 256);
    std::memcpy(out.data() + 256, entries.data(), entries.size() * 1284);
    return out;
}

}  // namespace qvptest
