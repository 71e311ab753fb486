// Runs a call in a forked child and tells how far the child's peak resident memory grew, so a
// test can show that a planted file was not read into memory (no timing involved).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace qvptest {

struct ChildRun {
    bool ran = false;       // the child reported back
    int result = 0;         // what `call` returned
    uint32_t code = 0;      // the last error after it
    long grownKiB = 0;      // growth of the child's peak resident size during the call
};
ChildRun RunInChild(const std::function<int()>& call);

// Makes `path` a sparse file of `size` bytes (no blocks on disk).
void PlantSparseFile(const char* path, uint64_t size);
// Makes `path` (its bytes kept, made when missing) `size` bytes long, sparse, with `text` at `at`.
bool PlantSparseAt(const std::filesystem::path& path, uint64_t at, std::string_view text, uint64_t size);

constexpr uint64_t kOneGiB = uint64_t{1} << 30;
// What a call may grow by while refusing a 1 GiB file it never reads.
constexpr long kRefusalGrowthKiB = 64 * 1024;

}  // namespace qvptest
