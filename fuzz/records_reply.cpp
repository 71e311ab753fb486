// The record-reply readers over arbitrary bytes: the reply class, the item and key of a reply in
// a 2048-byte reply buffer, and the inventory conversion of an item, as qvpAPIGetInv runs it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "records/records.h"
#include "records/reply.h"

namespace {

bool Within(const char* p, size_t n, const char* begin, size_t size) {
    return p >= begin && static_cast<size_t>(p - begin) <= size && n <= size - static_cast<size_t>(p - begin);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the received bytes on the heap, no terminator: any read past them is caught.
    std::vector<char> exact(data, data + size);
    const int cls = qvpAPICheckFgetReply(exact.data(), exact.size());
    if (cls != kFgetRecord && cls != kFgetNoMore && cls != kFgetSkip && cls != kFgetOtherZero &&
        cls != kFgetClass16 && cls != kFgetNoRecord && cls != kFgetOther)
        std::abort();
    uint32_t length = 0;
    if (const char* item = qvpAPIGetFgetItem(exact.data(), exact.size(), &length)) {
        if (length == 0 || !Within(item, length, exact.data(), exact.size())) std::abort();
    }
    const std::string_view key = qvpGetFgetKey(exact.data(), exact.size());
    if (!key.empty() && !Within(key.data(), key.size(), exact.data(), exact.size())) std::abort();
    int32_t first = 0, second = 0;
    qvpReplyWords(exact.data(), exact.size(), &first, &second);

    // As the reply buffer holds it: at most 2047 bytes received, then a NUL.
    char buffer[kQvpBufferSize];
    std::memset(buffer, 0x5A, sizeof buffer);
    const size_t received = size < sizeof buffer - 1 ? size : sizeof buffer - 1;
    std::memcpy(buffer, data, received);
    buffer[received] = '\0';
    const char* item = qvpAPIGetFgetItem(buffer, received, &length);
    if (item == nullptr) return 0;
    if (length == 0 || !Within(item, length, buffer, received)) std::abort();
    // A reply of class 0 detail 0 that carries an item is a record reply to the classifier too.
    qvpReplyWords(buffer, received, &first, &second);
    if (buffer[0] != '0' || first != 0 || second != 0) return 0;
    if (qvpAPICheckFgetReply(buffer, received) != kFgetRecord) std::abort();

    // The inventory conversion stays within the item.
    std::vector<unsigned char> record(item, item + length);
    qvpInventoryToHost(record.data(), record.size());
    return 0;
}
