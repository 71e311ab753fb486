// The cursor core shared by every record kind: one cursor per kind and session, each request
// answered over the socket or, for the kinds with a file variant in a session without a socket,
// by the local file engine with the same reply text in the same buffer.
#pragma once

#include <string>
#include <string_view>

#include "core/block.h"
#include "session/request.h"

namespace qvp::records {

// One record request, independent of the road that answers it.
struct Op {
    enum class Verb { First, Next, Key, Update, Delete, Release };
    Verb verb = Verb::First;
    int kind = kKindM;
    std::string_view key;     // Key, Update: the key or prefix; Delete: the pattern
    std::string_view record;  // Update
};

// Per-kind state hung from the block's cursor (created on first use, freed at release or when
// the session ends).
struct CursorState {
    std::string pending;  // the record a positioning request left for the next GetNext
    bool hasPending = false;
    bool prefetched = false;  // the FGET reply buffer holds the next reply of a rename walk
    // Local file engine walk: the directory, the name filter and the last name returned.
    std::string directory;
    std::string match;      // exact file name, or with `below` the entry path
    bool below = false;     // ".*": the entry and every name below it
    std::string last;
    bool walking = false;
};

char KindLetter(int kind);
CursorState& State(QVPAPI& block, int kind);

// Performs one request; the reply (NUL-terminated) lands in `reply` of kQvpBufferSize bytes.
// The reply length, or -1 after recording the failure and setting its code.
int Perform(QVPAPI& block, const Op& op, char* reply);

// Positions the cursor (an empty key asks for the kind's first record) and returns its first
// record in the current-record area, left pending for the next Next; NULL with the error set.
void* Position(QVPAPI& block, int kind, std::string_view key);
// The next record of the cursor (the pending one first), skipping "0 161" replies.
void* Next(QVPAPI& block, int kind);
void Release(QVPAPI& block, int kind);

// Error information: a reply of a category, a bad parameter, a reply that breaks the protocol.
void FailReply(QVPAPI& block, int32_t category, const char* reply);
void FailParameter(QVPAPI& block);
void FailProtocol(QVPAPI& block);
// Sets an explicit API code (codes no reply table gives, such as 0x20610000).
void FailCode(QVPAPI& block, uint32_t code);
// A request that answers "0 0 ..." on success, its reply into the block's reply buffer: 1, or 0
// with the reply recorded under `category`.
int Simple(QVPAPI& block, const RequestBuilder& request, int32_t category);

}  // namespace qvp::records
