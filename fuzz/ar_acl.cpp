// An archive's ACL block over arbitrary bytes: the 6-byte head, then the descriptor checked and,
// when it passes, applied to a scratch file as extraction would.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "client/ar/ar_format.h"
#include "client/ar/ar_acl.h"
#include "fuzz_root.h"
#include "platform/win.h"

namespace {

const std::string& scratch() {
    static const std::string path = [] {
        const std::filesystem::path target = fuzzroot::MakeRoot("qvp-fuzz-acl-") / "target";
        std::ofstream(target) << "x";
        return target.string();
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
