// Job preparation over an arbitrary jobgenfile: the re-creation and then the sort, in place,
// against a store without nodes or groups. Whatever the bytes, each step either refuses them
// or leaves a file whose header counts only whole entries that the file holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "fuzz_root.h"
#include "jobgen/jobgen_prepare.h"

namespace {

void CheckCounts(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    qvp::jobgen::StoredJobGen stored;
    if (!qvp::jobgen::ParseJobGenFile(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), stored))
        std::abort();
    if (stored.header.entryAreaSize != stored.header.entryCount * qvp::jobgen::kEntrySize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    using namespace qvp::jobgen;
    static const fs::path base = fuzzroot::MakeRoot("qvp-fuzz-prepare-");
    if (qvpGetThreadBlock() == nullptr) return 0;
    const std::string path = (base / "jobgenfile").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    ReCreateControlTable table;
    const bool expanded = qvAPIReCreateJobGen(&table, path.c_str(), path.c_str()) == 1;
    if (expanded && size >= kHeaderSize && data[72] != 0) CheckCounts(path);
    // The sort runs on what the re-creation left, as job creation never does after a failure,
    // so that its reader meets every kind of input too.
    ReCreateControlTable again;
    if (qvAPISortEntryJobGen(&again, path.c_str(), path.c_str()) == 1 && size >= kHeaderSize && data[72] != 0)
        CheckCounts(path);
    return 0;
}
