// The node move record over arbitrary bytes: parsed as such (a record it takes is one it writes
// back the same), then left in a store as a killed move's, where the next node writer either
// finishes it or drops it, without a crash and without leaving the store.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

#include "fuzz_root.h"
#include "nodes/node_move_record.h"
#include "qvpapi.h"

namespace {

std::filesystem::path Setup() {
    static const std::filesystem::path mngfl = [] {
        const auto root = fuzzroot::MakeRoot("qvp-fuzz-node-move-");
        const auto dir = root / "data" / "SERVER" / "ZARNQV" / "MNGFL";
        std::filesystem::create_directories(dir / "NODEDEF");
        std::filesystem::create_directories(dir / "NODEGROUP");
        return dir;
    }();
    return mngfl;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path mngfl = Setup();
    const std::vector<uint8_t> exact(data, data + size);
    qvp::nodes::MoveRecord record;
    if (qvp::nodes::ParseMoveRecord(std::span<const uint8_t>(exact), record)) {
        qvp::nodes::MoveRecord again;
        if (!qvp::nodes::ParseMoveRecord(qvp::nodes::MoveRecordBytes(record), again)) std::abort();
    }
    std::ofstream(mngfl / "NODEMOVE", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(exact.data()), static_cast<std::streamsize>(exact.size()));
    QVAPI_NODE node{};
    qvAPIChangeClientDefinition("nobody", 0x4000, &node, 0);  // takes the writer locks first
    std::error_code ec;
    std::filesystem::remove(mngfl / "NODEMOVE", ec);
    return 0;
}
