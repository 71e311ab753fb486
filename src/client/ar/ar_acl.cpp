// Security descriptors of the archiver: read from and applied to paths, and those the ACL
// information files hold for the writer's entries. (Module argetacl.)
#include "client/ar/ar_acl.h"

#include "client/ar/ar_context.h"
#include "client/ar/ar_format.h"
#include "client/ar/ar_log.h"
#include "core/handles.h"
#include "core/paths.h"
#include "platform/win.h"

namespace ar {

namespace {
constexpr win::DWORD kSecurityInfo = win::OWNER_SECURITY_INFORMATION |
                                     win::GROUP_SECURITY_INFORMATION |
                                     win::DACL_SECURITY_INFORMATION;
}

int qvparGetACLData(const char* path, std::vector<uint8_t>& descriptor) {
    descriptor.clear();
    win::DWORD needed = 0;
    win::GetFileSecurity(path, kSecurityInfo, nullptr, 0, &needed);
    if (needed == 0) return 1;
    descriptor.resize(needed);
    if (!win::GetFileSecurity(path, kSecurityInfo, descriptor.data(), needed, &needed))
        descriptor.clear();
    else
        descriptor.resize(needed);
    return 1;
}

bool isPlausibleDescriptor(const uint8_t* descriptor, size_t length) {
    constexpr size_t kHead = 20;
    // Far below any offset arithmetic's overflow: a descriptor is a few hundred bytes.
    constexpr size_t kMaxDescriptor = 0x10000;
    if (!descriptor || length < kHead || length > kMaxDescriptor) return false;
    for (size_t field : {size_t{4}, size_t{8}, size_t{12}, size_t{16}}) {
        uint32_t offset = le32(descriptor + field);
        if (offset != 0 && (offset < kHead || offset >= length)) return false;
    }
    return true;
}

int qvparSetACLData(const char* path, const uint8_t* descriptor, size_t length) {
    if (!isPlausibleDescriptor(descriptor, length)) return 0;
    const auto size = static_cast<win::DWORD>(length);
    if (!win::IsValidSecurityDescriptor(descriptor, size)) return 0;
    return win::SetFileSecurity(path, kSecurityInfo, descriptor, size) ? 1 : 0;
}

const std::vector<uint8_t>& AclInfoFiles::forEntry(ArContext& ctx, bool folder) {
    Slot& slot = folder ? dir_ : file_;
    if (!slot.loaded) load(slot, folder);
    if (slot.state == Slot::kMissing) ctx.log(msg::kNoAclFile, slot.path.c_str());
    if (slot.state == Slot::kUnreadable) ctx.log(msg::kAclFileRead, slot.path.c_str());
    return slot.bytes;
}

void AclInfoFiles::load(Slot& slot, bool folder) {
    slot.loaded = true;
    char path[win::MAX_PATH + 1] = {};
    if (folder)
        qvpMakeAclDirInfPath(path);
    else
        qvpMakeAclSetFileInfPath(path);
    slot.path = path;
    qvp::FileHandle file(win::CreateFile(path, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                         win::OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) {
        slot.state = Slot::kMissing;
        return;
    }
    win::DWORD high = 0;
    win::DWORD size = win::GetFileSize(file.get(), &high);
    if (size == win::INVALID_FILE_SIZE || high != 0) {
        slot.state = Slot::kUnreadable;
        return;
    }
    slot.bytes.resize(size);
    win::DWORD got = 0;
    if (size != 0 && (!win::ReadFile(file.get(), slot.bytes.data(), size, &got, nullptr) ||
                      got != size)) {
        slot.state = Slot::kUnreadable;
        slot.bytes.clear();
    }
}

}  // namespace ar
