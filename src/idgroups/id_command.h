// The one road to the manager's ID store: IDGET, IDUPD, IDDEL, IDRLS, IDEXC and IDCHG, each
// built, sent and classified here. The session keeps a position per file letter from the first
// IDGET on it until an IDRLS of that letter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/block.h"
#include "qvpapi.h"

namespace qvp::ids {

// Operation numbers.
enum IdOp : uint32_t {
    kIdGet = 1,
    kIdUpdate = 2,
    kIdDelete = 3,
    kIdRelease = 4,
    kIdExecute = 5,
    kIdExecuteS = 6,
    kIdChange = 7,
};

// Key kinds: the record of the key; as 'K' but a skip reply delivers it too; the first record
// whose key begins with the key; the next record after the position.
constexpr char kKeyExact = 'K';
constexpr char kKeyTake = 'T';
constexpr char kKeyPrefix = 'P';
constexpr char kKeyNext = 'N';

// File letters.
constexpr char kLetterWhole = ' ';
constexpr char kLetterIds = 'I';  // the ID's own record, and the clients of list I
constexpr char kLetterClients = 'C';
constexpr char kLetterMasters = 'M';

// The request text of one operation ("" when the arguments cannot make one). `record` is the
// 256 bytes of IDUPD, or the IDCHG record (list number at +4, new name at +48).
std::string IdRequestText(uint32_t op, char letter, char kind, const char* key1, const char* key2,
                          const uint8_t* record);

// Outcome of an IDGET reply.
enum class IdgetReply {
    Record,  // the 256 bytes are in the record
    Skip,    // "0 161" without delivery: ask for the next record
    Failed,  // any refusal; the reply's numbers tell why
    Broken,  // "0 0 0", or an item missing, short or past the received bytes
};
// Reads an IDGET reply of `received` bytes; `takeSkip` delivers the item of a skip reply.
IdgetReply ReadIdgetReply(const char* reply, size_t received, bool takeSkip,
                          uint8_t (&record)[QVAPI_IDRECORD_SIZE]);

// One request: 1 on success, 0 on failure with the reply or the transport failure recorded as
// the session's error information (no API code set). `record` is required for IDGET, IDUPD and
// IDCHG. A request that cannot be made (no key, over one frame) records a parameter failure.
int qvpAPIIDCommand(QVPAPI* block, uint32_t op, char letter, char kind, const char* key1,
                    const char* key2, void* record);

// The API code of the failure the last request recorded (0x2000054F when it maps to none).
uint32_t IdFailureCode(QVPAPI& block);

}  // namespace qvp::ids
