// An archive's ACL block over arbitrary bytes: the 6-byte head, then the descriptor checked and,
// when it passes, applied to a scratch file as extraction would.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "client/ar/arformat.h"
#include "client/ar/argetacl.h"
#include "platform/win.h"

namespace {

const std::string& scratch() {
    static const std::string path = [] {
        namespace fs = std::filesystem;
        fs::path dir = fs::temp_directory_path() / ("qvp-fuzz-acl-" + std::to_string(::getpid()));
        fs::create_directories(dir / "run");
        std::ofstream(dir / "qvpapi.conf") << "[QVPAPI]\nPathName=" << dir.string()
                                           << "\n[Platform]\nRunDir=" << (dir / "run").string() << "\n";
        win::registry::LoadFrom((dir / "qvpapi.conf").string());
        std::ofstream(dir / "target") << "x";
        return (dir / "target").string();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& target = scratch();
    if (size < ar::kAclHeadSize) return 0;
    ar::ArAclHead head = ar::decodeAclHead(data);
    if (head.tag != ar::kAclTag || head.length != size - ar::kAclHeadSize) return 0;
    std::vector<uint8_t> descriptor(data + ar::kAclHeadSize, data + size);
    if (ar::qvparSetACLData(target.c_str(), descriptor.data(), descriptor.size())) {
        // What was applied reads back as a valid descriptor.
        std::vector<uint8_t> back;
        ar::qvparGetACLData(target.c_str(), back);
        if (back.empty() ||
            !win::IsValidSecurityDescriptor(back.data(), static_cast<win::DWORD>(back.size())))
            __builtin_trap();
        // Keep the scratch file usable for the next input.
        std::filesystem::permissions(target, std::filesystem::perms(0600));
    }
    return 0;
}
