// Installed-package status: the manager's S records, keyed by the escaped node name padded to 64
// columns and the package key; in a session without a socket, the local file engine answers.
#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/memory.h"
#include "platform/byte_order.h"
#include "records/access.h"
#include "records/keys.h"
#include "records/records.h"
#include "records/requests.h"

using namespace qvp::records;

namespace {

constexpr size_t kNodeMax = kNodeKeyWidth;

// A node name of 1 to 64 characters.
bool NodeName(const char* node, std::string_view& out) {
    if (node == nullptr) return false;
    const size_t length = strnlen(node, kNodeMax + 1);
    if (length == 0 || length > kNodeMax) return false;
    out = std::string_view(node, length);
    return true;
}

std::string NodePrefix(std::string_view node) {
    std::string prefix(node);
    prefix.resize(kNodeKeyWidth, ' ');
    return prefix;
}

// A pattern part: the text blank-padded to its width, or '?' throughout for NULL.
bool PatternPart(std::string& pattern, const char* part, size_t width) {
    if (part == nullptr) {
        pattern.append(width, '?');
        return true;
    }
    const size_t length = strnlen(part, width + 1);
    if (length > width) return false;
    pattern.append(part, length);
    pattern.append(width - length, ' ');
    return true;
}

// The bytes a record may take from where it lies: within one of the block's reply buffers, no
// more than that reply brought; elsewhere it is the caller's own memory.
size_t Available(const QVPAPI& block, const char* record) {
    const struct {
        const char* begin;
        size_t length;
    } areas[] = {
        {block.replyBuffer, block.replyLength},
        {block.fgetReplyBuffer, block.fgetReplyLength},
        {block.currentRecord, sizeof block.currentRecord},
    };
    for (const auto& area : areas) {
        if (record < area.begin || record >= area.begin + kQvpBufferSize) continue;
        const size_t offset = static_cast<size_t>(record - area.begin);
        return area.length > offset ? area.length - offset : 0;
    }
    return kQvpBufferSize;
}

// Reads until the reply in `buffer` is not a skip; -1 on a failed request or too many skips.
int SkipPast(QVPAPI& block, int length, char* buffer) {
    for (int skips = 0; length >= 0 && qvpAPICheckFgetReply(buffer, static_cast<size_t>(length)) == kFgetSkip;
         ++skips) {
        if (skips == kQvpMaxSkipsPerWalk) {
            FailProtocol(block);
            return -1;
        }
        length = Perform(block, Op{Op::Verb::Next, kKindS, {}, {}}, buffer);
    }
    return length;
}

}  // namespace

int qvpAPISetStsNodeQuery(QVPAPI* block, const char* escapedNode) {
    if (block == nullptr) return 0;
    std::string_view node;
    if (!NodeName(escapedNode, node)) {
        FailParameter(*block);
        return 0;
    }
    auto* copy = static_cast<char*>(qvpAPIAlloc(kNodeMax + 1));
    if (copy == nullptr) {
        qvp::qvAPISetErrorInfo(block, kErrCategoryInternal, nullptr, kInternalResource, 0);
        qvp::qvAPISetErrorCode(block);
        return 0;
    }
    std::memcpy(copy, node.data(), node.size());
    qvpAPIDeleteStsNodeQuery(block);
    block->statusNodeFilter = copy;
    return 1;
}

void qvpAPIDeleteStsNodeQuery(QVPAPI* block) {
    if (block == nullptr || block->statusNodeFilter == nullptr) return;
    qvpAPIFree(block->statusNodeFilter);
    block->statusNodeFilter = nullptr;
}

int qvpAPIGetHeadStsPos(QVPAPI* block, const char* escapedNode) {
    if (block == nullptr) return 0;
    std::string_view node;
    if (!NodeName(escapedNode, node)) {
        FailParameter(*block);
        return 0;
    }
    return Position(*block, kKindS, NodePrefix(node)) != nullptr ? 1 : 0;
}

QVAPI_INSPACKAGE* qvpAPIGetNextSts(QVPAPI* block) {
    if (block == nullptr) return nullptr;
    auto* record = static_cast<QVAPI_INSPACKAGE*>(Next(*block, kKindS));
    if (record == nullptr || block->statusNodeFilter == nullptr) return record;
    // Records of another node end the node's walk.
    std::string_view name = TrimField(record->szNodeName, sizeof record->szNodeName);
    if (!name.empty() && name != std::string_view(block->statusNodeFilter)) {
        qvp::qvAPISetErrorInfo(block, kErrCategoryRecord, nullptr, 0, 160);
        qvp::qvAPISetErrorCode(block);
        return nullptr;
    }
    return record;
}

int qvpAPIDeleteSts(QVPAPI* block, const char* escapedNode, char qvCode, const char* packageId,
                    const char* version, const char* generation) {
    if (block == nullptr) return 0;
    std::string pattern;
    const char qv[2] = {qvCode, '\0'};
    if (!PatternPart(pattern, escapedNode, kNodeKeyWidth) ||
        !PatternPart(pattern, qvCode == 0 ? nullptr : qv, 1) || !PatternPart(pattern, nullptr, 2) ||
        !PatternPart(pattern, packageId, 44) || !PatternPart(pattern, version, 8) ||
        !PatternPart(pattern, generation, 4)) {
        FailParameter(*block);
        return 0;
    }
    const int length = Perform(*block, Op{Op::Verb::Delete, kKindS, pattern, {}}, block->replyBuffer);
    if (length < 0) return 0;
    if (qvpReplySucceeded(block->replyBuffer, static_cast<size_t>(length))) return 1;
    FailReply(*block, kErrCategoryRecord, block->replyBuffer);
    int32_t cls = 0, detail = 0;
    qvpReplyWords(block->replyBuffer, static_cast<size_t>(length), &cls, &detail);
    if (cls == 16) FailCode(*block, QVAPI_ERR_NOT_FOUND);
    return 0;
}

int qvpAPIGetFileFirstSts(QVPAPI* block, const char* escapedNode) {
    if (block == nullptr) return 0;
    std::string_view node;
    if (!NodeName(escapedNode, node)) {
        FailParameter(*block);
        return 0;
    }
    CursorState& state = State(*block, kKindS);
    state.hasPending = false;
    state.prefetched = false;
    block->cursors[kKindS].open = true;
    const std::string prefix = NodePrefix(node);
    int length = Perform(*block, Op{Op::Verb::Key, kKindS, prefix, {}}, block->replyBuffer);
    length = SkipPast(*block, length, block->replyBuffer);
    if (length < 0) return 0;
    switch (qvpAPICheckFgetReply(block->replyBuffer, static_cast<size_t>(length))) {
        case kFgetRecord: {
            uint32_t itemLength = 0;
            if (qvpAPIGetFgetItem(block->replyBuffer, static_cast<size_t>(length), &itemLength) ==
                    nullptr ||
                itemLength < QVAPI_INSPACKAGE_SIZE) {
                FailProtocol(*block);
                return 0;
            }
            return 1;
        }
        case kFgetNoMore:
        case kFgetClass16:
            FailReply(*block, kErrCategoryRecord, block->replyBuffer);
            FailCode(*block, QVAPI_ERR_NOT_FOUND);
            return 0;
        case kFgetNoRecord: FailProtocol(*block); return 0;
        default: FailReply(*block, kErrCategoryRecord, block->replyBuffer); return 0;
    }
}

int qvpAPIGetFileNextSts(QVPAPI* block, const char* oldNode, const char* newNode) {
    if (block == nullptr) return 0;
    std::string_view oldName, newName;
    if (!NodeName(oldNode, oldName) || !NodeName(newNode, newName)) {
        FailParameter(*block);
        return 0;
    }
    CursorState& state = State(*block, kKindS);
    int length;
    if (state.prefetched) {
        state.prefetched = false;
        length = static_cast<int>(block->fgetReplyLength);
        std::memcpy(block->replyBuffer, block->fgetReplyBuffer, sizeof block->replyBuffer);
        block->replyLength = block->fgetReplyLength;
    } else {
        length = Perform(*block, Op{Op::Verb::Next, kKindS, {}, {}}, block->replyBuffer);
    }
    return SkipPast(*block, length, block->replyBuffer) >= 0 ? 1 : 0;
}

int qvpAPIUpdateSts(QVPAPI* block, const char* oldNode, const char* newNode,
                    const QVAPI_INSPACKAGE* record) {
    if (block == nullptr) return 0;
    std::string_view oldName, newName;
    if (!NodeName(oldNode, oldName) || !NodeName(newNode, newName) || record == nullptr) {
        FailParameter(*block);
        return 0;
    }
    // The record may lie unaligned in a reply buffer: read it as bytes, and keep it before any
    // reply lands there.
    const auto* raw = reinterpret_cast<const char*>(record);
    const size_t recordLength = qvp::be16(raw);
    if (recordLength < QVAPI_INSPACKAGE_SIZE || recordLength > kQvpBufferSize) {
        FailParameter(*block);
        return 0;
    }
    // A record still in a reply claims no more than the reply holds.
    if (recordLength > Available(*block, raw)) {
        FailProtocol(*block);
        return 0;
    }
    const std::string bytes(raw, recordLength);
    QVAPI_INSPACKAGE fixed;
    std::memcpy(&fixed, raw, sizeof fixed);
    const std::string newKey = StatusKey(newName, fixed);
    const std::string oldKey = StatusKey(oldName, fixed);
    CursorState& state = State(*block, kKindS);
    state.prefetched = false;

    // Stored under the new name first, so that a failure never loses the record.
    int length = Perform(*block, Op{Op::Verb::Update, kKindS, newKey, bytes}, block->fgetReplyBuffer);
    if (length < 0) return 0;
    if (!qvpReplySucceeded(block->fgetReplyBuffer, static_cast<size_t>(length))) {
        FailReply(*block, kErrCategoryRecord, block->fgetReplyBuffer);
        return 0;
    }
    if (oldKey != newKey) {
        length = Perform(*block, Op{Op::Verb::Delete, kKindS, oldKey, {}}, block->fgetReplyBuffer);
        if (length < 0) return 0;
        if (!qvpReplySucceeded(block->fgetReplyBuffer, static_cast<size_t>(length))) {
            FailReply(*block, kErrCategoryRecord, block->fgetReplyBuffer);
            return 0;
        }
    }
    // The walk's next record, for qvpAPIGetFileNextSts.
    length = Perform(*block, Op{Op::Verb::Next, kKindS, {}, {}}, block->fgetReplyBuffer);
    if (length < 0) return 0;
    state.prefetched = true;
    return 1;
}
