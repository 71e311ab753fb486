// The old-format reader over arbitrary bytes, extracting into a real folder. Whatever the
// archive says, nothing may appear outside the restore folder, and the archive is kept.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "client/ar/old_reader.h"
#include "fuzz_root.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Base() {
    static const fs::path base = [] {
        const fs::path dir = fuzzroot::MakeRoot("qvp-fuzz-old-");
        fs::create_directories(dir / "jail");
        return dir;
    }();
    return base;
}

using fuzzroot::Clear;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The restore folder sits two levels down in the jail, so that a name climbing out of it
    // by one level or more leaves something to see: jail/work/out.
    const fs::path jail = Base() / "jail";
    const fs::path archive = Base() / "old.arc";
    Clear(jail);
    fs::create_directories(jail / "work" / "out");
    std::ofstream(archive, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const int result = arCreateUnarcFile(archive.c_str(), (jail / "work" / "out").c_str(), 1);
    if (result < kOldOk || result > kOldNoMemory) std::abort();
    if (!fs::exists(archive)) std::abort();
    for (const auto& entry : fs::directory_iterator(Base())) {
        const std::string name = entry.path().filename();
        if (name != "jail" && name != "old.arc" && name != "data" && name != "run" &&
            name != "qvpapi.conf") {
            std::fprintf(stderr, "written outside: %s\n", name.c_str());
            std::abort();
        }
    }
    // Inside the root and nowhere else: the jail holds the work folder, which holds the
    // restore folder, and nothing beside either.
    for (const fs::path& folder : {jail, jail / "work"}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename();
            if (name != (folder == jail ? "work" : "out")) {
                std::fprintf(stderr, "written outside: %s\n", entry.path().c_str());
                std::abort();
            }
        }
    }
    return 0;
}
