// Inventory: a node's system-information record, fetched with "IGET FIELD" and converted to host
// order inside the reply buffer.
#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/log.h"
#include "platform/byte_order.h"
#include "records/access.h"
#include "records/log_texts.h"
#include "records/records.h"
#include "records/requests.h"
#include "session/message.h"
#include "share/tcp/tcpsock.h"

using namespace qvp::records;

namespace {

constexpr size_t kCountOffset = 72;
constexpr size_t kEntriesOffset = 80;
constexpr size_t kEntryHead = 4;

void Store16(unsigned char* p, uint16_t v) { std::memcpy(p, &v, sizeof v); }
void Store32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

bool qvpInventoryToHost(unsigned char* record, size_t length) {
    if (length < kEntriesOffset) return false;
    const uint32_t count = qvp::be32(record + kCountOffset);
    Store32(record, qvp::be32(record));
    Store32(record + kCountOffset, count);
    size_t pos = kEntriesOffset;
    for (uint32_t i = 0; i < count; ++i) {
        if (length - pos < kEntryHead) return false;
        unsigned char* entry = record + pos;
        const uint8_t type = entry[0];
        const uint16_t dataLength = qvp::be16(entry + 2);
        if (length - pos - kEntryHead < dataLength) return false;
        Store16(entry + 2, dataLength);
        unsigned char* data = entry + kEntryHead;
        if (type == 1 || type == 3) {
            for (size_t k = 0; k + 2 <= dataLength; k += 2) Store16(data + k, qvp::be16(data + k));
        } else if (type == 49 || type == 50 || type == 51) {
            for (size_t k = 0; k + 4 <= dataLength; k += 4) Store32(data + k, qvp::be32(data + k));
        }
        pos += kEntryHead + dataLength;
    }
    return true;
}

void* qvpAPIGetInv(QVPAPI* block, const char* nodeName) {
    if (block == nullptr) return nullptr;
    if (nodeName == nullptr || *nodeName == '\0') {
        FailParameter(*block);
        return nullptr;
    }
    const std::string text = request::IgetField(nodeName);
    if (text.size() > kQvpFramePayloadMax) {
        FailParameter(*block);
        return nullptr;
    }
    const int length = qvpExchangeText(*block, text, block->replyBuffer);
    if (length < 0) {
        qvp::qvAPISetErrorCode(block);
        return nullptr;
    }
    if (!qvpReplySucceeded(block->replyBuffer, static_cast<size_t>(length))) {
        qvpDllLog(logtext::kGetInvError, logtext::kGetInv, block->replyBuffer);
        FailReply(*block, kErrCategoryRecord, block->replyBuffer);
        return nullptr;
    }
    uint32_t itemLength = 0;
    char* item = const_cast<char*>(qvpAPIGetFgetItem(block->replyBuffer, static_cast<size_t>(length), &itemLength));
    if (item == nullptr || !qvpInventoryToHost(reinterpret_cast<unsigned char*>(item), itemLength)) {
        qvpDllLog(logtext::kGetInvItem, logtext::kGetInv, nodeName);
        FailProtocol(*block);
        return nullptr;
    }
    return item;
}
