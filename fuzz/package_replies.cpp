// What the package side reads of the manager's bytes: a package-list reply's words and the node
// name of a status record, over arbitrary bytes held exactly (no terminator).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "packages/package_files.h"
#include "packages/package_requests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<char> exact(data, data + size);
    const auto reply = qvp::packages::request::ParseListReply(exact.data(), exact.size());
    for (int i = 0; i < 10; ++i)
        if (!reply.present[i] && reply.word[i] != 0) std::abort();
    std::string name;
    if (qvp::packages::StatusRecordNodeName(exact.data(), exact.size(), name) &&
        (name.size() > size || name.find(' ') != std::string::npos || name.find('.') != std::string::npos))
        std::abort();
    return 0;
}
