#include "idgroups/id_command.h"

#include <cstring>
#include <string_view>

#include "client/ar/ar_format.h"
#include "core/errors.h"
#include "core/log.h"
#include "records/reply.h"
#include "session/message.h"
#include "session/request.h"
#include "share/tcp/tcpsock.h"

namespace qvp::ids {

namespace {

constexpr char kFunction[] = "qvpAPIIDCommand";
constexpr char kSendError[] = "%s : qvAPISendMsg Err : Handle = 0x%8.8x, Message = 0x%8.8x, Size = 0x%8.8x";
constexpr char kRecvError[] = "%s : qvAPIRecvMsg Err : Handle = 0x%8.8x, Message = 0x%8.8x, Size = 0x%8.8x";
constexpr char kNoRecord[] = "%s : Parameter Err : lpRecord is NULL";

// A manager that keeps answering "skip" must not hold the caller forever.
constexpr int kSkipLimit = 1024;
// Class 0 with a detail no table knows: maps to unexpected data.
constexpr int32_t kUnknownDetail = 1;
constexpr size_t kNewNameOffset = 48;
constexpr size_t kNewNameMax = 64;
constexpr size_t kListOffset = 4;

std::string Join(const char* key1, const char* key2) {
    std::string key(key1);
    if (key2 != nullptr) {
        key += '.';
        key += key2;
    }
    return key;
}

std::string Letters(char letter, char kind) { return std::string{letter, kind == kKeyTake ? kKeyExact : kind}; }

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

std::string IdRequestText(uint32_t op, char letter, char kind, const char* key1, const char* key2,
                          const uint8_t* record) {
    switch (op) {
        case kIdGet:
            if (kind == kKeyNext) return RequestBuilder(verb::kIdget).Field('f', Letters(letter, kind)).Text();
            if (key1 == nullptr) return {};
            return RequestBuilder(verb::kIdget).Field('f', Letters(letter, kind)).Field('k', Join(key1, key2)).Text();
        case kIdUpdate:
            if (key1 == nullptr || record == nullptr) return {};
            return RequestBuilder(verb::kIdupd)
                .Field('f', Letters(letter, kind))
                .Field('k', Join(key1, key2))
                .Field('i', record, QVAPI_IDRECORD_SIZE)
                .Text();
        case kIdDelete:
            if (key1 == nullptr) return {};
            return RequestBuilder(verb::kIddel).Field('f', Letters(letter, kind)).Field('k', Join(key1, key2)).Text();
        case kIdRelease:
            return RequestBuilder(verb::kIdrls).Field('f', &letter, 1).Text();
        case kIdExecute:
        case kIdExecuteS: {
            if (key1 == nullptr || key2 == nullptr) return {};
            std::string letters = Letters(letter, kind);
            if (op == kIdExecuteS) letters += 'S';
            return RequestBuilder(verb::kIdexc).Field('f', letters).Field('k', Join(key1, key2)).Text();
        }
        case kIdChange: {
            if (key2 == nullptr || record == nullptr) return {};
            const char* name = reinterpret_cast<const char*>(record + kNewNameOffset);
            // The manager reads the fields by their lengths; the trailing blank is its own.
            return RequestBuilder(verb::kIdchg)
                       .Field('f', std::to_string(ar::le32(record + kListOffset)))
                       .Field('b', key2)
                       .Field('a', name, strnlen(name, kNewNameMax))
                       .Text() +
                   ' ';
        }
        default:
            return {};
    }
}

IdgetReply ReadIdgetReply(const char* reply, size_t received, bool takeSkip,
                          uint8_t (&record)[QVAPI_IDRECORD_SIZE]) {
    switch (qvpAPICheckFgetReply(reply, received)) {
        case kFgetRecord: break;
        case kFgetSkip:
            if (!takeSkip) return IdgetReply::Skip;
            break;
        case kFgetNoRecord: return IdgetReply::Broken;
        default: return IdgetReply::Failed;
    }
    uint32_t length = 0;
    const char* item = qvpAPIGetFgetItem(reply, received, &length);
    if (item == nullptr || length < QVAPI_IDRECORD_SIZE) return IdgetReply::Broken;
    std::memcpy(record, item, QVAPI_IDRECORD_SIZE);
    return IdgetReply::Record;
}

int qvpAPIIDCommand(QVPAPI* block, uint32_t op, char letter, char kind, const char* key1,
                    const char* key2, void* record) {
    if (block == nullptr) return 0;
    auto* bytes = static_cast<uint8_t*>(record);
    if ((op == kIdGet || op == kIdUpdate || op == kIdChange) && bytes == nullptr) {
        qvpDllLog(kNoRecord, kFunction);
        return 0;
    }
    char sentKind = kind;
    for (int skips = 0;; ++skips) {
        const std::string text = IdRequestText(op, letter, sentKind, key1, key2, bytes);
        if (text.empty() || text.size() > kQvpFramePayloadMax) {
            qvAPISetErrorInfo(block, kErrCategoryInternal, nullptr, kInternalParameter, 0);
            return 0;
        }
        std::memset(block->replyBuffer, 0, sizeof block->replyBuffer);
        const int got = qvpExchangeText(*block, text, block->replyBuffer);
        if (got < 0) {
            qvpDllLog(got == kQvpExchangeSendFailed ? kSendError : kRecvError, kFunction,
                      static_cast<uint32_t>(block->socket), Address(block->requestBuffer),
                      static_cast<uint32_t>(kQvpBufferSize));
            return 0;
        }
        if (op == kIdRelease) return 1;  // the answer is not examined
        const size_t received = static_cast<size_t>(got);
        qvAPISetErrorInfo(block, kErrCategoryRecord, block->replyBuffer, 0, 0);
        if (op != kIdGet) return qvpReplySucceeded(block->replyBuffer, received) ? 1 : 0;

        uint8_t item[QVAPI_IDRECORD_SIZE];
        switch (ReadIdgetReply(block->replyBuffer, received, sentKind == kKeyTake, item)) {
            case IdgetReply::Record:
                std::memcpy(bytes, item, sizeof item);
                return 1;
            case IdgetReply::Skip:
                if (skips < kSkipLimit) {
                    sentKind = kKeyNext;
                    continue;
                }
                [[fallthrough]];
            case IdgetReply::Broken:
                qvAPISetErrorInfo(block, kErrCategoryRecord, nullptr, 0, kUnknownDetail);
                return 0;
            case IdgetReply::Failed:
                return 0;
        }
    }
}

uint32_t IdFailureCode(QVPAPI& block) {
    uint32_t code = qvAPISetErrorCode(&block);
    if (code == 0) {
        code = QVAPI_ERR_UNEXPECTED_DATA;
        qvAPISetLastError(code);
    }
    return code;
}

}  // namespace qvp::ids
