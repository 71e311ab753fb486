#include "support/temp_root.h"

#include <unistd.h>

#include <atomic>
#include <fstream>

#include "platform/win.h"

namespace qvptest {

namespace fs = std::filesystem;

fs::path MakeTempRoot(const std::string& prefix) {
    static std::atomic<int> counter{0};
    const fs::path root = fs::temp_directory_path() /
                          (prefix + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(root);
    fs::create_directories(root / "data");
    fs::create_directories(root / "run");
    return root;
}

void WriteRootSettings(const fs::path& root, const std::string& extra) {
    const fs::path conf = root / "qvpapi.conf";
    {
        std::ofstream out(conf);
        out << "[QVPAPI]\nPathName=" << (root / "data").string() << "\n"
            << extra << "[Platform]\nRunDir=" << (root / "run").string() << "\n";
    }
    win::registry::LoadFrom(conf.string());
}

}  // namespace qvptest
