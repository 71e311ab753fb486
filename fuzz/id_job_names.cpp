// What the ID-job workers take from bytes they do not control: the IDs of a jobexecfile (the
// ID finder's list), the name pieces of each entry, and the node names of an execution record
// (its 64-byte field or its first item, whatever length the item states). Input: a u16 (the
// file's length, low byte first), the file, then the record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/id_job_common.h"
#include "jobs/package_job_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qvp::jobs;
    if (size < 2) return 0;
    const size_t split = std::min<size_t>(data[0] | data[1] << 8, size - 2);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), split);
    JobFile file;
    if (ParseJobFile(bytes, file) == 0) {
        std::set<std::string> seen;
        for (const std::string& id : idjob::IdsOfJob(file))
            if (!idjob::IsIdComponent(id) || !seen.insert(id).second) std::abort();
        for (const Entry& e : file.entries) {
            std::string_view path;
            if (idjob::PathPart(e.name, path) && path.size() >= e.name.size()) std::abort();
            if (idjob::LastComponent(e.name).size() > e.name.size()) std::abort();
            if (idjob::ToPathForm(e.name).size() > kMaxPath) std::abort();
        }
    }
    // The record lies in exactly the bytes its reply delivered: a read past them is caught.
    const size_t rest = std::min<size_t>(size - 2 - split, 2048);
    const std::vector<unsigned char> record(data + 2 + split, data + 2 + split + rest);
    const std::string name = idjob::RecordNodeName(record.data(), rest);
    if (name.find(' ') != std::string::npos || name.size() > rest) std::abort();
    char plain[261], marked[261];
    gaiGetNodeName(record.data(), rest, sizeof plain, plain, sizeof marked, marked);
    return 0;
}
