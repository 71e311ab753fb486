// The folder a fuzz target works in: one per target and process below the temp directory,
// with the library's settings pointing into it so that its logs stay there and stay short.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/win.h"

namespace fuzzroot {

// Removes `dir` and everything in it, entries a run left without write access included.
inline void Clear(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto& p : fs::recursive_directory_iterator(dir, ec))
        fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
}

// The roots this process made, removed when it exits (a replay or a fuzzing run leaves nothing).
inline std::vector<std::filesystem::path>& Made() {
    static auto* made = new std::vector<std::filesystem::path>;  // still there for the exit handler
    return *made;
}

// <temp>/<prefix><pid> with data/ made and the settings loaded; `prefix` names the target.
inline std::filesystem::path MakeRoot(const std::string& prefix) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / (prefix + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    if (Made().empty()) std::atexit([] {
        for (const fs::path& made : Made()) Clear(made);
    });
    Made().push_back(dir);
    std::ofstream(dir / "qvpapi.conf") << "[QVPAPI]\nPathName=" << (dir / "data").string()
                                       << "\nCLIENTLogRecordCount=100\n[Platform]\nRunDir="
                                       << (dir / "run").string() << "\n";
    win::registry::LoadFrom((dir / "qvpapi.conf").string());
    return dir;
}

}  // namespace fuzzroot
