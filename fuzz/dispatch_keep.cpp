// The kind test and whichever reader it picks, with the keep flag set as qvAPIUnArchive sets
// it: whatever the input holds, the caller's file must be byte-identical afterwards, no
// temporary file may stay beside it, and nothing may appear outside the restore folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "client/ar/archiver.h"
#include "fuzz_root.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Base() {
    static const fs::path base = [] {
        const fs::path dir = fuzzroot::MakeRoot("qvp-fuzz-dispatch-");
        fs::create_directories(dir / "in");
        return dir;
    }();
    return base;
}

using fuzzroot::Clear;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path archive = Base() / "in" / "abc.qvz";
    const fs::path out = Base() / "out";
    Clear(out);
    fs::create_directories(out / "work" / "restore");
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(archive, std::ios::binary) << bytes;
    qvparMain(archive.c_str(), (out / "work" / "restore").c_str(), 1);
    std::ifstream in(archive, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(in), {}) != bytes) {
        std::fprintf(stderr, "the kept archive changed\n");
        std::abort();
    }
    for (const fs::path& folder : {out, out / "work"}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename() != (folder == out ? "work" : "restore")) {
                std::fprintf(stderr, "written outside: %s\n", entry.path().c_str());
                std::abort();
            }
        }
    }
    for (const auto& entry : fs::directory_iterator(Base() / "in")) {
        if (entry.path().filename() != "abc.qvz") {
            std::fprintf(stderr, "left behind: %s\n", entry.path().c_str());
            std::abort();
        }
    }
    return 0;
}
