// The definition files of the hashes one call looks names up in, each hash's synonyms read once.
// Names that crowd onto few hashes (sequential names such as "pc00001", "pc00002" ...) would
// otherwise cost a scan of their hash's synonym files per lookup. An index belongs to one call
// and is dropped at its end: it is a snapshot of the store taken while that call runs, under
// whatever locks the call holds; the store itself keeps its layout.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qvpapi.h"

namespace qvp::nodes {

class SynonymIndex {
public:
    SynonymIndex();
    ~SynonymIndex();
    SynonymIndex(const SynonymIndex&) = delete;
    SynonymIndex& operator=(const SynonymIndex&) = delete;

    // LookupDefinition's answer (record, code and log lines) for clients (1) or masters (2).
    // Other options, and any hash whose files could not all be read, go to LookupDefinition.
    uint32_t Lookup(std::string_view name, uint32_t fdwOptions, QVAPI_NODE& record);

private:
    struct Chain;
    Chain& ChainOf(char letter, const std::string& hash);
    std::unordered_map<std::string, std::unique_ptr<Chain>> chains_;  // by letter + hash
};

}  // namespace qvp::nodes
