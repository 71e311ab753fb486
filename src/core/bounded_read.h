// Reads of stored files bounded by what their format declares. Store files are written by every
// user of the install root's group, so a file's size says nothing about what it may hold: each
// kind's head is read first, what it announces is checked against the file's size and the
// largest that kind can be, and only then are the announced bytes read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win.h"

namespace qvp {

// One kind of stored file.
struct DeclaredLayout {
    uint32_t headSize;  // read first; at most kMaxHeadSize
    uint64_t maxSize;   // the largest a file of this kind can be, head included
    // The bytes the head announces in all, head included, or kUnsound when its fields disagree.
    // nullptr: a kind without counts, whose content is the whole file.
    uint64_t (*declared)(const uint8_t* head);
    bool exact;  // the file is exactly as long as announced (else bytes may follow, unread)
};
constexpr uint32_t kMaxHeadSize = 512;
constexpr uint64_t kUnsound = UINT64_MAX;

enum class DeclaredRead {
    Read,       // the announced bytes (a file shorter than its head: the whole file)
    TooLarge,   // the file or its head passes the kind's limit; nothing past the head read
    Malformed,  // the head disagrees with the file's size; nothing past the head read
    Hollow,     // holes past kHoleAllowance within what the head announces; nothing past the head read
    Failed,     // a size, seek or read failed (a short read: 38)
};
// These stop a reader as an unreadable file does.
inline bool Unreadable(DeclaredRead r) {
    return r == DeclaredRead::TooLarge || r == DeclaredRead::Hollow || r == DeclaredRead::Failed;
}

// What `head` (the first `headBytes` bytes of a file of `fileSize` bytes) lets a reader take:
// Read with the bytes to read in all in `total`, or the outcome that stops it.
DeclaredRead CheckDeclared(const DeclaredLayout& layout, const uint8_t* head, size_t headBytes,
                           uint64_t fileSize, uint32_t* total);

// The holes (never-written bytes) a stored file may have within what its head announces. A hole
// reads as the zeros it stands for: copy and backup tools, and some file systems, turn a valid
// file's trailing partial block of zeros into one (no stored kind has a whole block of zeros in
// its middle). Blocks are at most 64 KiB, so one such hole always fits; a file with more only
// claims what nobody wrote, and is refused unread: what a read costs grows with the bytes another
// user really wrote, plus at most this.
constexpr uint64_t kHoleAllowance = 64 * 1024;

// The one check every reader of a stored kind passes before it reads past the head: CheckDeclared
// on the head (`headBytes` of it, from a file of `fileSize` bytes), then the holes within what it
// announces (Hollow past kHoleAllowance). Read with the bytes to read in all in `total`; any other
// outcome with the platform's last error set (13 when the content is refused).
DeclaredRead CheckAnnounced(win::HANDLE file, const DeclaredLayout& layout, const uint8_t* head, size_t headBytes,
                            uint64_t fileSize, uint32_t* total);

// The first steps of ReadDeclared, for a reader that keeps the content where it uses it: from the
// start of `file` the head into `head` (kMaxHeadSize bytes; `headBytes` read), checked against
// the file, with the bytes to read in all in `total`; the file's position is after the head.
DeclaredRead ReadDeclaredHead(win::HANDLE file, const DeclaredLayout& layout, uint8_t* head, uint32_t& headBytes,
                              uint32_t& total, uint64_t* fileSize = nullptr);

// From the start of `file`: the head, then what it announces, into `out` (on Malformed or
// Hollow the head alone). `fileSize` gets the file's size for the log lines. Every outcome but
// Read leaves the platform's last error set (13 when the content is refused).
DeclaredRead ReadDeclared(win::HANDLE file, const DeclaredLayout& layout, std::vector<uint8_t>& out,
                          uint64_t* fileSize = nullptr);

// Exactly `size` bytes at the current position; false on a failed read or a short one (38).
bool ReadExact(win::HANDLE file, void* buffer, uint32_t size);

// Copies what follows the current position of `from` to `to` through one small buffer, so a
// file of any size costs no more memory, and its holes stay holes in `to`. false with the
// Windows error; `readFailed` tells the side that failed.
bool CopyRemaining(win::HANDLE from, win::HANDLE to, bool& readFailed);

// Copies a stored file of `layout`'s kind from the start of `from` over `to` (CopyFileContents),
// no further than what its head announces (or, a head that announces nothing sound, than the
// kind can hold): bytes a writer put past that are left behind, and holes stay holes.
bool CopyDeclared(win::HANDLE from, win::HANDLE to, const DeclaredLayout& layout);
// CopyFile (`to` made new) of a stored file of `layout`'s kind, bounded as CopyDeclared; a
// failed copy leaves no file at `to`. False with the Windows error as last error.
bool CopyStoredFile(const char* from, const char* to, const DeclaredLayout& layout);

}  // namespace qvp
