// Security descriptors of files: a Windows self-relative descriptor made from owner, group and
// mode, with Unix SIDs (S-1-22-1-uid, S-1-22-2-gid) and one allowed ACE each for owner, group
// and Everyone. Applied back when it is ours; any other descriptor is accepted and ignored.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/internal.h"

namespace win {
namespace {

constexpr BYTE kRevision = 1;
constexpr WORD kSelfRelative = 0x8000;
constexpr WORD kDaclPresent = 0x0004;
constexpr BYTE kAclRevision = 2;
constexpr BYTE kAccessAllowed = 0;
constexpr DWORD kFileRead = 0x00120089;     // FILE_GENERIC_READ
constexpr DWORD kFileWrite = 0x00120116;    // FILE_GENERIC_WRITE
constexpr DWORD kFileExecute = 0x001200A0;  // FILE_GENERIC_EXECUTE
constexpr DWORD kReadData = 0x1, kWriteData = 0x2, kExecute = 0x20;
constexpr size_t kHeader = 20;
constexpr size_t kUnixSid = 16;  // revision, count 2, authority 22, two sub-authorities
constexpr size_t kWorldSid = 12;

void Put16(std::vector<BYTE>& b, size_t at, WORD v) { qvp::putLe16(&b[at], v); }
void Put32(std::vector<BYTE>& b, size_t at, DWORD v) { qvp::putLe32(&b[at], v); }
using qvp::le16;
using qvp::le32;

void PutUnixSid(std::vector<BYTE>& b, size_t at, DWORD kind, DWORD id) {
    b[at] = 1;
    b[at + 1] = 2;
    memset(&b[at + 2], 0, 5);
    b[at + 7] = 22;
    Put32(b, at + 8, kind);
    Put32(b, at + 12, id);
}
void PutWorldSid(std::vector<BYTE>& b, size_t at) {
    b[at] = 1;
    b[at + 1] = 1;
    memset(&b[at + 2], 0, 5);
    b[at + 7] = 1;
    Put32(b, at + 8, 0);
}

DWORD MaskOf(mode_t bits /* rwx in the low three */) {
    DWORD m = 0;
    if (bits & 4) m |= kFileRead;
    if (bits & 2) m |= kFileWrite;
    if (bits & 1) m |= kFileExecute;
    return m;
}
mode_t BitsOf(DWORD mask) {
    mode_t b = 0;
    if (mask & kReadData) b |= 4;
    if (mask & kWriteData) b |= 2;
    if (mask & kExecute) b |= 1;
    return b;
}

std::vector<BYTE> Build(const struct stat& st, DWORD info) {
    const bool owner = info & OWNER_SECURITY_INFORMATION;
    const bool group = info & GROUP_SECURITY_INFORMATION;
    const bool dacl = info & DACL_SECURITY_INFORMATION;
    const size_t aceUnix = 8 + kUnixSid, aceWorld = 8 + kWorldSid;
    const size_t aclSize = 8 + 2 * aceUnix + aceWorld;
    size_t size = kHeader + (owner ? kUnixSid : 0) + (group ? kUnixSid : 0) + (dacl ? aclSize : 0);
    std::vector<BYTE> b(size, 0);
    b[0] = kRevision;
    WORD control = kSelfRelative;
    size_t at = kHeader;
    if (owner) {
        Put32(b, 4, DWORD(at));
        PutUnixSid(b, at, 1, st.st_uid);
        at += kUnixSid;
    }
    if (group) {
        Put32(b, 8, DWORD(at));
        PutUnixSid(b, at, 2, st.st_gid);
        at += kUnixSid;
    }
    if (dacl) {
        control |= kDaclPresent;
        Put32(b, 16, DWORD(at));
        b[at] = kAclRevision;
        Put16(b, at + 2, WORD(aclSize));
        Put16(b, at + 4, 3);
        size_t ace = at + 8;
        const mode_t m = st.st_mode;
        for (int who = 0; who < 3; ++who) {
            const size_t len = who < 2 ? aceUnix : aceWorld;
            b[ace] = kAccessAllowed;
            Put16(b, ace + 2, WORD(len));
            Put32(b, ace + 4, MaskOf((m >> (6 - 3 * who)) & 7));
            if (who == 0) PutUnixSid(b, ace + 8, 1, st.st_uid);
            else if (who == 1) PutUnixSid(b, ace + 8, 2, st.st_gid);
            else PutWorldSid(b, ace + 8);
            ace += len;
        }
    }
    Put16(b, 2, control);
    return b;
}

// Length of a well-formed SID at p within n bytes, 0 when malformed.
size_t SidLength(const BYTE* p, size_t n) {
    if (n < 8 || p[0] != 1 || p[1] > 15) return 0;
    const size_t len = 8 + 4 * size_t(p[1]);
    return len <= n ? len : 0;
}

// A Unix SID of the kind (1 user, 2 group): its id.
bool UnixId(const BYTE* sid, size_t n, DWORD kind, DWORD& id) {
    if (SidLength(sid, n) != kUnixSid || sid[1] != 2) return false;
    static const BYTE auth[6] = {0, 0, 0, 0, 0, 22};
    if (memcmp(sid + 2, auth, 6) != 0 || le32(sid + 8) != kind) return false;
    id = le32(sid + 12);
    return true;
}
bool IsWorld(const BYTE* sid, size_t n) {
    static const BYTE world[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    return SidLength(sid, n) == kWorldSid && memcmp(sid, world, 12) == 0;
}

// Every check below is in 64 bits or in subtract form, so that no offset or size taken from
// the descriptor can wrap around and point outside the `length` bytes given.
bool Within(size_t length, size_t offset, size_t size) { return offset <= length && size <= length - offset; }

bool ValidAcl(const BYTE* base, size_t length, DWORD offset) {
    if (offset == 0) return true;
    if (offset < kHeader || !Within(length, offset, 8)) return false;
    const BYTE* acl = base + offset;
    if (acl[0] != 2 && acl[0] != 4) return false;
    const size_t size = le16(acl + 2);
    if (size < 8 || !Within(length, offset, size)) return false;
    size_t at = 8;
    for (WORD i = 0, n = le16(acl + 4); i < n; ++i) {
        if (!Within(size, at, 4)) return false;
        const size_t aceSize = le16(acl + at + 2);
        if (aceSize < 4 || !Within(size, at, aceSize)) return false;
        at += aceSize;
    }
    return true;
}

bool ValidDescriptor(const BYTE* b, size_t length) {
    if (b == nullptr || length < kHeader) return false;
    if (b[0] != kRevision || !(le16(b + 2) & kSelfRelative)) return false;
    for (size_t field : {size_t(4), size_t(8)}) {
        const DWORD off = le32(b + field);
        if (off != 0 && (off < kHeader || off >= length || SidLength(b + off, length - off) == 0)) return false;
    }
    return ValidAcl(b, length, le32(b + 12)) && ValidAcl(b, length, le32(b + 16));
}

// The largest well-formed self-relative descriptor: header, two SIDs of 15 sub-authorities and
// two ACLs of the largest size. An offset beyond it is malformed whatever the caller holds.
constexpr size_t kLargestDescriptor = kHeader + 2 * (8 + 4 * 15) + 2 * 0xFFFF;
// Ours are small: the size-less form follows no offset beyond this (such descriptors are not
// ours and are left alone).
constexpr size_t kLargestFollowed = 4096;

// The size-less form: the extent the header's offsets describe, each structure's own header
// read only once its offset is known to lie within kLargestFollowed. 0 when the descriptor is
// malformed; kLargestFollowed + 1 when it reaches further than we follow.
size_t DescriptorExtent(const BYTE* b) {
    size_t length = kHeader;
    for (size_t field : {size_t(4), size_t(8), size_t(12), size_t(16)}) {
        const size_t off = le32(b + field);
        if (off == 0) continue;
        if (off < kHeader || off > kLargestDescriptor) return 0;
        if (!Within(kLargestFollowed, off, 8)) return kLargestFollowed + 1;
        if (field < 12 && b[off + 1] > 15) return 0;  // no SID has more sub-authorities
        const size_t size = field < 12 ? 8 + 4 * size_t(b[off + 1]) : size_t(le16(b + off + 2));
        if (!Within(kLargestFollowed, off, size)) return kLargestFollowed + 1;
        length = std::max(length, off + std::max<size_t>(size, 8));
    }
    return length;
}

// Applies a well-formed descriptor of `length` bytes when it is ours.
BOOL Apply(const char* path, DWORD info, const BYTE* b, size_t length) {
    DWORD uid = DWORD(-1), gid = DWORD(-1);
    bool ours = true;
    if (info & OWNER_SECURITY_INFORMATION) {
        const DWORD off = le32(b + 4);
        ours = ours && off && UnixId(b + off, length - off, 1, uid);
    }
    if (info & GROUP_SECURITY_INFORMATION) {
        const DWORD off = le32(b + 8);
        ours = ours && off && UnixId(b + off, length - off, 2, gid);
    }
    mode_t bits[3] = {0, 0, 0};
    bool haveDacl = false;
    if (info & DACL_SECURITY_INFORMATION) {
        const DWORD off = le32(b + 16);
        if (!(le16(b + 2) & kDaclPresent) || off == 0) {
            ours = false;
        } else {
            // Checked by ValidAcl: the ACL and every ACE lie within the bytes.
            const BYTE* acl = b + off;
            const size_t size = le16(acl + 2);
            size_t at = 8;
            for (WORD i = 0, n = le16(acl + 4); i < n && ours; ++i) {
                const BYTE* ace = acl + at;
                const size_t aceSize = le16(ace + 2);
                DWORD id;
                if (ace[0] != kAccessAllowed || aceSize < 8 + 8 || !Within(size, at, aceSize)) {
                    ours = false;
                    break;
                }
                const BYTE* sid = ace + 8;
                const size_t sidRoom = aceSize - 8;
                const mode_t m = BitsOf(le32(ace + 4));
                if (UnixId(sid, sidRoom, 1, id)) bits[0] |= m;
                else if (UnixId(sid, sidRoom, 2, id)) bits[1] |= m;
                else if (IsWorld(sid, sidRoom)) bits[2] |= m;
                else ours = false;
                at += aceSize;
            }
            haveDacl = true;
        }
    }
    if (!ours) return TRUE;

    detail::ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return FALSE;
    detail::PathAt at;
    if (!at.Open(p.posix)) return detail::Fail(ERROR_PATH_NOT_FOUND);
    if (!p.exists) return detail::Fail(detail::MissingError(p));
    // Through a handle that never followed a link: a link put in the file's place meanwhile
    // never hands its target our owner and mode (links carry none of their own here).
    detail::UniqueFd fd(openat(at.dirFd, at.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return detail::FailErrno(errno);
    struct stat st{};
    if (fstat(fd.get(), &st) != 0) return detail::FailErrno(errno);
    if (S_ISLNK(st.st_mode)) return TRUE;
    // Below the root a second name may reach a file from anywhere: its owner and mode stay.
    if (at.dirFd != AT_FDCWD && S_ISREG(st.st_mode) && st.st_nlink > 1) return detail::Fail(detail::kErrorCantResolve);
    if ((uid != DWORD(-1) || gid != DWORD(-1)) && fchownat(fd.get(), "", uid, gid, AT_EMPTY_PATH) != 0)
        return detail::FailErrno(errno);
    if (haveDacl) {
        const mode_t mode = (st.st_mode & 07000) | (bits[0] << 6) | (bits[1] << 3) | bits[2];
        // A path handle takes no fchmod; its /proc name reaches the very file it holds.
        const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
        if (chmod(self.c_str(), mode) != 0) return detail::FailErrno(errno);
    }
    return TRUE;
}

}  // namespace

BOOL IsValidSecurityDescriptor(const void* descriptor, DWORD length) {
    return ValidDescriptor(static_cast<const BYTE*>(descriptor), length) ? TRUE : FALSE;
}

BOOL GetFileSecurity(const char* path, DWORD info, void* descriptor, DWORD length, DWORD* needed) {
    if (!path || !needed) return detail::Fail(ERROR_INVALID_PARAMETER);
    detail::ResolvedPath p;
    if (!detail::ResolvePath(path, p)) return FALSE;
    if (!p.exists) return detail::Fail(detail::MissingError(p));
    struct stat st{};
    if (stat(p.posix.c_str(), &st) != 0) return detail::FailErrno(errno);
    const std::vector<BYTE> sd = Build(st, info);
    *needed = DWORD(sd.size());
    if (!descriptor || length < sd.size()) return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
    memcpy(descriptor, sd.data(), sd.size());
    return TRUE;
}

BOOL SetFileSecurity(const char* path, DWORD info, const void* descriptor) {
    if (!path || !descriptor) return detail::Fail(ERROR_INVALID_PARAMETER);
    const auto* b = static_cast<const BYTE*>(descriptor);
    if (!(le16(b + 2) & kSelfRelative)) return TRUE;  // absolute form: not ours, ignored
    if (b[0] != kRevision) return detail::Fail(ERROR_INVALID_SECURITY_DESCR);
    const size_t length = DescriptorExtent(b);
    if (length == 0) return detail::Fail(ERROR_INVALID_SECURITY_DESCR);
    if (length > kLargestFollowed) return TRUE;  // not ours: never followed there
    if (!ValidDescriptor(b, length)) return detail::Fail(ERROR_INVALID_SECURITY_DESCR);
    return Apply(path, info, b, length);
}

BOOL SetFileSecurity(const char* path, DWORD info, const void* descriptor, DWORD length) {
    if (!path || !descriptor) return detail::Fail(ERROR_INVALID_PARAMETER);
    const auto* b = static_cast<const BYTE*>(descriptor);
    if (length >= kHeader && !(le16(b + 2) & kSelfRelative)) return TRUE;  // absolute form: ignored
    if (!ValidDescriptor(b, length)) return detail::Fail(ERROR_INVALID_SECURITY_DESCR);
    return Apply(path, info, b, length);
}

}  // namespace win
