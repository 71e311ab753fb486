// Security descriptors of archive entries: read from a path, from the ACL information files,
// and applied to an extracted path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ar {

class ArContext;

// Owner, group and DACL of a path as a self-relative descriptor; empty when the system gives
// none. Always 1.
int qvparGetACLData(const char* path, std::vector<uint8_t>& descriptor);
// The self-relative descriptor head (20 bytes: revision, control, then the little-endian
// offsets of owner, group, SACL and DACL) with every offset inside the bytes given. Checked
// before the descriptor is handed on, so that no offset can point past the archive's bytes.
bool isPlausibleDescriptor(const uint8_t* descriptor, size_t length);
// Applies owner, group and DACL; 1 when set, 0 when the bytes are not a valid descriptor or
// the system refuses it.
int qvparSetACLData(const char* path, const uint8_t* descriptor, size_t length);

// Mode 1: the descriptors of the ACL information files (one for files, one for folders), read
// once per archive. A missing or unreadable file gives no descriptor and is logged for each
// entry that wanted one.
class AclInfoFiles {
public:
    const std::vector<uint8_t>& forEntry(ArContext& ctx, bool folder);

private:
    struct Slot {
        bool loaded = false;
        std::vector<uint8_t> bytes;
        // Logged again for every entry that finds the file missing or unreadable.
        enum { kRead, kMissing, kUnreadable } state = kRead;
        std::string path;
    };
    static void load(Slot& slot, bool folder);
    Slot file_, dir_;
};

}  // namespace ar
