// The kind test and whichever reader it picks, with the keep flag set as qvAPIUnArchive sets
// it: whatever the input holds, the caller's file must be byte-identical afterwards and no
// temporary file may stay beside it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "client/ar/archiver.h"
#include "platform/win.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Base() {
    static const fs::path base = [] {
        const fs::path dir =
            fs::temp_directory_path() / ("qvp-fuzz-dispatch-" + std::to_string(getpid()));
        fs::create_directories(dir / "data");
        fs::create_directories(dir / "in");
        std::ofstream(dir / "qvpapi.conf") << "[QVPAPI]\nPathName=" << (dir / "data").string()
                                           << "\nCLIENTLogRecordCount=100\n[Platform]\nRunDir="
                                           << (dir / "run").string() << "\n";
        win::registry::LoadFrom((dir / "qvpapi.conf").string());
        return dir;
    }();
    return base;
}

void Clear(const fs::path& dir) {
    std::error_code ec;
    for (auto& p : fs::recursive_directory_iterator(dir, ec))
        fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
}

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
    for (const auto& entry : fs::directory_iterator(Base() / "in")) {
        if (entry.path().filename() != "abc.qvz") {
            std::fprintf(stderr, "left behind: %s\n", entry.path().c_str());
            std::abort();
        }
    }
    return 0;
}
