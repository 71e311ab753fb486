#include "records/access.h"

#include <cstring>
#include <mutex>

#include "core/errors.h"
#include "qvpapi.h"
#include "records/local_engine.h"
#include "records/reply.h"
#include "records/requests.h"
#include "session/message.h"

namespace qvp::records {

namespace {

struct KindLimits {
    size_t minimum;
    size_t maximum;
};
// The fixed part of each kind and the most it may carry.
constexpr KindLimits kLimits[kKindCount] = {
    {QVAPI_CABINET_SIZE, QVAPI_CABINET_SIZE},
    {QVAPI_PACKAGE_SIZE, QVAPI_PACKAGE_SIZE},
    {QVAPI_EXECUTION_FIXED_SIZE, QVAPI_EXECUTION_MAX_SIZE},
    {QVAPI_INSPACKAGE_SIZE, kQvpBufferSize},
};

void DropStates(QVPAPI& block) {
    for (QvpCursor& cursor : block.cursors) {
        delete static_cast<CursorState*>(cursor.local);
        cursor.local = nullptr;
        cursor.open = false;
        cursor.pending = false;
    }
}

bool HasLocalVariant(int kind) { return kind == kKindE || kind == kKindS; }

RequestBuilder BuildRequest(const Op& op) {
    const char k = KindLetter(op.kind);
    switch (op.verb) {
        case Op::Verb::First: return request::FgetFirst(k);
        case Op::Verb::Next: return request::FgetNext(k);
        case Op::Verb::Key: return request::FgetKey(k, op.key);
        case Op::Verb::Update: return request::Fupd(k, op.key, op.record);
        case Op::Verb::Delete: return request::Fdel(op.key);
        case Op::Verb::Release: break;
    }
    return BuildFrlsRequest(k);
}

}  // namespace

char KindLetter(int kind) { return kind >= 0 && kind < kKindCount ? kRecordKindLetters[kind] : '?'; }

CursorState& State(QVPAPI& block, int kind) {
    static std::once_flag registered;
    std::call_once(registered, [] { qvpRegisterSessionReleaseHook(DropStates); });
    QvpCursor& cursor = block.cursors[kind];
    if (cursor.local == nullptr) cursor.local = new CursorState();
    return *static_cast<CursorState*>(cursor.local);
}

void FailReply(QVPAPI& block, int32_t category, const char* reply) {
    qvAPISetErrorInfo(&block, category, reply, 0, 0);
    // A reply that ends a request unsuccessfully yet maps to no code ("0 0" without its count, a
    // skip where no walk runs) would leave the caller an old code or 0: it is unexpected data.
    bool set = false;
    qvpMapRecordedError(block, &set);
    if (!set) {
        FailProtocol(block);
        return;
    }
    qvAPISetErrorCode(&block);
}

void FailParameter(QVPAPI& block) {
    qvAPISetErrorInfo(&block, kErrCategoryInternal, nullptr, kInternalParameter, 0);
    qvAPISetErrorCode(&block);
}

void FailProtocol(QVPAPI& block) {
    // Class 0 with a detail no table knows: unexpected data.
    qvAPISetErrorInfo(&block, kErrCategoryRecord, nullptr, 0, 1);
    qvAPISetErrorCode(&block);
}

void FailCode(QVPAPI&, uint32_t code) { qvAPISetLastError(code); }

int Perform(QVPAPI& block, const Op& op, char* reply) {
    if (block.link == QvpLink::Socketless && HasLocalVariant(op.kind)) {
        const int length = local::Answer(block, op, reply, kQvpBufferSize);
        if (reply == block.replyBuffer) block.replyLength = static_cast<uint32_t>(length);
        if (reply == block.fgetReplyBuffer) block.fgetReplyLength = static_cast<uint32_t>(length);
        return length;
    }
    const int length = qvpExchange(block, BuildRequest(op), reply, kQvpBufferSize);
    if (length < 0) {
        qvAPISetErrorCode(&block);
        return -1;
    }
    return length;
}

int Simple(QVPAPI& block, const RequestBuilder& request, int32_t category) {
    const int length = qvpExchange(block, request, block.replyBuffer, sizeof block.replyBuffer);
    if (length < 0) {
        qvAPISetErrorCode(&block);
        return 0;
    }
    if (qvpReplySucceeded(block.replyBuffer, static_cast<size_t>(length))) return 1;
    FailReply(block, category, block.replyBuffer);
    return 0;
}

namespace {

// Copies the reply's item into the current-record area when its length suits the kind; NULL
// (protocol error recorded) otherwise.
void* Deliver(QVPAPI& block, int kind, const char* reply, size_t received) {
    uint32_t length = 0;
    const char* item = qvpAPIGetFgetItem(reply, received, &length);
    if (item == nullptr || length < kLimits[kind].minimum || length > kLimits[kind].maximum) {
        FailProtocol(block);
        return nullptr;
    }
    std::memmove(block.currentRecord, item, length);
    std::memset(block.currentRecord + length, 0, sizeof block.currentRecord - length);
    block.currentRecordLength = length;
    return block.currentRecord;
}

// Reads replies until one carries a record: skips are asked past, anything else ends the walk.
void* Walk(QVPAPI& block, int kind, Op op) {
    for (int skips = 0;; ++skips) {
        const int length = Perform(block, op, block.fgetReplyBuffer);
        if (length < 0) return nullptr;
        switch (qvpAPICheckFgetReply(block.fgetReplyBuffer, static_cast<size_t>(length))) {
            case kFgetRecord:
                return Deliver(block, kind, block.fgetReplyBuffer, static_cast<size_t>(length));
            case kFgetSkip:
                if (skips == kQvpMaxSkipsPerWalk) {
                    FailProtocol(block);
                    return nullptr;
                }
                op = Op{Op::Verb::Next, kind, {}, {}};
                continue;
            case kFgetNoRecord:
                FailProtocol(block);  // success without a record is no record
                return nullptr;
            default:
                FailReply(block, kErrCategoryRecord, block.fgetReplyBuffer);
                return nullptr;
        }
    }
}

}  // namespace

void* Position(QVPAPI& block, int kind, std::string_view key) {
    CursorState& state = State(block, kind);
    state.hasPending = false;
    state.prefetched = false;  // a new walk: no rename walk's reply is waiting
    block.cursors[kind].pending = false;
    block.cursors[kind].open = true;
    const Op op = key.empty() ? Op{Op::Verb::First, kind, {}, {}} : Op{Op::Verb::Key, kind, key, {}};
    void* record = Walk(block, kind, op);
    if (record == nullptr) return nullptr;
    state.pending.assign(block.currentRecord, block.currentRecordLength);
    state.hasPending = true;
    block.cursors[kind].pending = true;
    return record;
}

void* Next(QVPAPI& block, int kind) {
    CursorState& state = State(block, kind);
    if (state.hasPending) {
        state.hasPending = false;
        block.cursors[kind].pending = false;
        std::memcpy(block.currentRecord, state.pending.data(), state.pending.size());
        std::memset(block.currentRecord + state.pending.size(), 0,
                    sizeof block.currentRecord - state.pending.size());
        block.currentRecordLength = static_cast<uint32_t>(state.pending.size());
        return block.currentRecord;
    }
    return Walk(block, kind, Op{Op::Verb::Next, kind, {}, {}});
}

void Release(QVPAPI& block, int kind) {
    if (block.cursors[kind].local != nullptr) {
        CursorState& state = State(block, kind);
        state = CursorState();
    }
    block.cursors[kind].pending = false;
    block.cursors[kind].open = false;
    Perform(block, Op{Op::Verb::Release, kind, {}, {}}, block.fgetReplyBuffer);
}

}  // namespace qvp::records
