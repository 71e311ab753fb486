// Record-request replies: "class detail [count field...]", a record travelling as the first
// field "i<len> <bytes>" and its key as "k<len> <key>" after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Classes of a record-request reply.
enum FgetReplyClass : int {
    kFgetRecord = 0,     // "0 0 <count> ..." a record follows
    kFgetNoMore = 1,     // "0 160"
    kFgetSkip = 2,       // "0 161": ask for the next record
    kFgetOtherZero = 3,  // any other reply of class 0
    kFgetClass16 = 4,    // class 16 (no such record, "16 16")
    kFgetNoRecord = 5,   // "0 0 0": success without a record
    kFgetOther = 255,
};

// The most "0 161" replies one walk asks past: a manager that skips for ever must not hold the
// caller; beyond them the walk fails as unexpected data (0x2000054F).
constexpr int kQvpMaxSkipsPerWalk = 100000;

// Classifies the first `length` bytes of a reply (stops at a NUL).
int qvpAPICheckFgetReply(const char* reply, size_t length);

// The item data of a reply: after "class detail count", the first field must be "i<len> "; its
// length must be non-zero and lie within the `received` bytes. NULL otherwise (a length running
// past the received bytes is a protocol error, never followed). `itemLength` gets the length.
const char* qvpAPIGetFgetItem(const char* reply, size_t received, uint32_t* itemLength);

// The "k<len> <key>" field right after the item, empty when there is none.
std::string_view qvpGetFgetKey(const char* reply, size_t received);

// The first two words as numbers (0 when missing), for error information.
void qvpReplyWords(const char* reply, size_t length, int32_t* first, int32_t* second);
// Whether the reply begins "0 0": the request succeeded. A missing word reads as 0 above, so the
// first byte must be the digit itself.
bool qvpReplySucceeded(const char* reply, size_t length);
