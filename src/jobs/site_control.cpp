// Site execution-record control: a relaying site marks the manager's execution records that
// still wait to run, walks them later to clear the mark, and asks for a delivery to run again.
// The walk's position is the manager's cursor of kind E for the session; nothing is kept here.
#include <cstring>
#include <string>
#include <string_view>

#include "core/frame.h"
#include "jobs/job_texts.h"
#include "platform/byte_order.h"
#include "records/access.h"
#include "records/records.h"
#include "records/requests.h"
#include "session/message.h"

namespace qvp::jobs {

namespace {

constexpr char kKindLetter = 'E';
constexpr size_t kNameField = offsetof(QVAPI_EXECUTION, szNodeName);
constexpr size_t kNameFieldSize = sizeof(QVAPI_EXECUTION{}.szNodeName);
constexpr size_t kJobId = offsetof(QVAPI_EXECUTION, ucJobId);
constexpr size_t kJobIdSize = sizeof(QVAPI_EXECUTION{}.ucJobId);
constexpr size_t kStatus = offsetof(QVAPI_EXECUTION, ucStatus);
constexpr size_t kItemCount = 948;  // u16 big-endian in the item head
constexpr size_t kItems = offsetof(QVAPI_EXECUTION, items);
constexpr size_t kItemHeadSize = 4;  // type, a byte, u16 big-endian length
constexpr uint8_t kLongNameItem = 17;
constexpr uint8_t kWaitMark = 0x40;
// A key is the node name and the 16 digits of the job id; the longest name a record can give
// keeps every request within one frame.
constexpr size_t kKeyMax = 272;
constexpr size_t kKeyNameMax = kKeyMax - 2 * kJobIdSize;

// The two walks differ in the records they take and in how they change them.
struct WalkRule {
    bool (*qualifies)(const unsigned char* record);
    void (*change)(unsigned char* record);
};

bool IsWaiting(const unsigned char* r) {
    const uint8_t s = r[kStatus];
    return (s == 0x10 || s == 0x20 || s == 0x60) && r[kStatus + 1] == 0 && r[kStatus + 2] == 0;
}
bool IsMarked(const unsigned char* r) { return (r[kStatus + 1] & kWaitMark) != 0; }
void Mark(unsigned char* r) { r[kStatus + 1] |= kWaitMark; }
void Unmark(unsigned char* r) { r[kStatus + 1] &= static_cast<uint8_t>(~kWaitMark); }

constexpr WalkRule kWaitRule{IsWaiting, Mark};
constexpr WalkRule kRestartRule{IsMarked, Unmark};

// A work record: the most a record can be, zeroed beyond what the manager sent.
struct WorkRecord {
    unsigned char bytes[QVAPI_EXECUTION_MAX_SIZE] = {};
    size_t length = 0;
};

// What a step does with a reply that carries no record: its log line (a format taking `name`)
// and its code.
struct NoRecord {
    const char* name;
    const char* text;
    uint32_t code;
};

// The record of the reply in the second reply buffer. False with the code set for a reply
// without one or a record that is not an execution record this work record holds.
bool TakeRecord(CallContext& call, size_t received, WorkRecord& work, const NoRecord& none) {
    QVPAPI& block = call.block();
    uint32_t length = 0;
    const char* item = qvpAPIGetFgetItem(block.fgetReplyBuffer, received, &length);
    if (item == nullptr) {
        // "0 160" at the end of the store, or a success without a record: nothing to walk on.
        return call.Failed(none.code, none.text, none.name);
    }
    if (length < QVAPI_EXECUTION_FIXED_SIZE || length > sizeof work.bytes) {
        return call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                           text::kRecordInvalid, call.function(), length);
    }
    std::memcpy(work.bytes, item, length);
    work.length = length;
    return true;
}

// The record's key: its name field up to the first NUL (blank padding kept), or, when that is
// empty, the value of its first type-17 item; then the job id as 16 upper-case hex digits.
bool RecordKey(const WorkRecord& work, std::string& key) {
    const char* field = reinterpret_cast<const char*>(work.bytes + kNameField);
    key.assign(field, strnlen(field, kNameFieldSize));
    if (key.empty()) {
        const uint16_t count = qvp::be16(work.bytes + kItemCount);
        size_t pos = kItems;
        for (uint16_t i = 0; i < count && work.length - pos >= kItemHeadSize; ++i) {
            const uint16_t length = qvp::be16(work.bytes + pos + 2);
            if (length > work.length - pos - kItemHeadSize) break;
            if (work.bytes[pos] == kLongNameItem) {
                const char* value = reinterpret_cast<const char*>(work.bytes + pos + kItemHeadSize);
                key.assign(value, strnlen(value, length));
                break;
            }
            pos += kItemHeadSize + length;
        }
    }
    if (key.empty() || key.size() > kKeyNameMax) return false;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < kJobIdSize; ++i) {
        key += kHex[work.bytes[kJobId + i] >> 4];
        key += kHex[work.bytes[kJobId + i] & 0x0F];
    }
    return true;
}

// One request with its reply in the second reply buffer: the reply length, or -1 with the send
// or receive failure logged under `name` and set.
int Exchange(CallContext& call, const char* name, const RequestBuilder& request, const char* sendText,
             const char* recvText) {
    QVPAPI& block = call.block();
    const int got = qvpExchange(block, request, block.fgetReplyBuffer, sizeof block.fgetReplyBuffer);
    if (got >= 0) return got;
    const bool sent = got != kQvpExchangeSendFailed;
    call.Failed(sent ? QVAPI_ERR_TCP_RECV : QVAPI_ERR_TCP_SEND, sent ? recvText : sendText, name);
    return -1;
}

bool Accepted(const QVPAPI& block, int length) { return length > 0 && block.fgetReplyBuffer[0] == '0'; }

// Sends the changed record back under its key. `name` names the texts of the step.
bool Update(CallContext& call, const WorkRecord& work, const char* name) {
    std::string key;
    if (!RecordKey(work, key)) {
        return call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                           text::kRecordInvalid, name, static_cast<unsigned>(work.length));
    }
    const std::string_view record(reinterpret_cast<const char*>(work.bytes), work.length);
    const int got =
        Exchange(call, name, records::request::Fupd(kKindLetter, key, record), text::kUpdateSend, text::kUpdateRecv);
    if (got < 0) return false;
    if (!Accepted(call.block(), got)) {
        return call.Failed(QVAPI_ERR_SITE_UPDATE, text::kUpdateProc, name);
    }
    return true;
}

// The cursor moves under the record layer's feet: a record its positioning left for the next
// read is no longer the cursor's next.
void TakeOverCursor(QVPAPI& block, bool open) {
    records::CursorState& state = records::State(block, kKindE);
    state.hasPending = false;
    block.cursors[::kKindE].pending = false;
    block.cursors[::kKindE].open = open;
}

int Walk(CallContext& call, void* lpRecord, bool first, const WalkRule& rule) {
    if (lpRecord == nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kBufferNull, call.function());
        return 0;
    }
    QVPAPI& block = call.block();
    TakeOverCursor(block, true);
    const char* name = call.function();
    const char* endText = first ? text::kFirstRecv : text::kNextRecv;
    const RequestBuilder start = first ? records::request::FgetFirst(kKindLetter) : records::request::FgetNext(kKindLetter);
    int got = Exchange(call, name, start, first ? text::kFirstSend : text::kNextSend, endText);
    while (got >= 0) {
        if (!Accepted(block, got)) {
            call.Failed(QVAPI_ERR_NO_MORE_ITEMS, endText, name);
            return 0;
        }
        WorkRecord work;
        if (!TakeRecord(call, static_cast<size_t>(got), work, {name, endText, QVAPI_ERR_NO_MORE_ITEMS})) return 0;
        if (rule.qualifies(work.bytes)) {
            rule.change(work.bytes);
            if (!Update(call, work, name)) return 0;
            std::memcpy(lpRecord, work.bytes, work.length);
            return 1;
        }
        got = Exchange(call, name, records::request::FgetNext(kKindLetter), text::kNextSend, text::kNextRecv);
    }
    return 0;
}

// Releases the cursor; the reply is not looked at.
int End(CallContext& call) {
    TakeOverCursor(call.block(), false);
    return Exchange(call, call.function(), BuildFrlsRequest(kKindLetter), text::kEndSend, text::kEndRecv) < 0 ? 0 : 1;
}

RequestBuilder Dexc(std::string_view first, std::string_view second) {
    RequestBuilder r(verb::kDexc);
    r.Field('f', " ").Field('d', first).Field('g', second).Field('w', "0");
    return r;
}

}  // namespace

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT int qvAPISiteWaitSetFirst(void* lpRecord) {
    static const qvp::FrameTexts texts{"qvAPISiteWaitSetFirst"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return Walk(call, lpRecord, true, kWaitRule); });
}

extern "C" QVPAPI_EXPORT int qvAPISiteWaitSetNext(void* lpRecord) {
    static const qvp::FrameTexts texts{"qvAPISiteWaitSetNext"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return Walk(call, lpRecord, false, kWaitRule); });
}

extern "C" QVPAPI_EXPORT int qvAPISiteWaitSetEnd(void) {
    static const qvp::FrameTexts texts{"qvAPISiteWaitSetEnd"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return End(call); });
}

extern "C" QVPAPI_EXPORT int qvAPISiteRestartSetFirst(void* lpRecord) {
    static const qvp::FrameTexts texts{"qvAPISiteRestartSetFirst"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return Walk(call, lpRecord, true, kRestartRule); });
}

extern "C" QVPAPI_EXPORT int qvAPISiteRestartSetNext(void* lpRecord) {
    static const qvp::FrameTexts texts{"qvAPISiteRestartSetNext"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return Walk(call, lpRecord, false, kRestartRule); });
}

extern "C" QVPAPI_EXPORT int qvAPISiteRestartSetEnd(void) {
    static const qvp::FrameTexts texts{"qvAPISiteRestartSetEnd"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) { return End(call); });
}

extern "C" QVPAPI_EXPORT int qvAPISiteWaitSetCurrent(const char* lpKey) {
    // Its START line carries its own name; its END and exception lines another's.
    static const qvp::FrameTexts texts{"qvAPIFindSysInfo", qvp::EndStyle::Decimal, nullptr, nullptr, nullptr,
                                       text::kCurrentName};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (lpKey == nullptr || *lpKey == '\0' || strnlen(lpKey, kKeyMax + 1) > kKeyMax) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kKeyInvalid, text::kCurrentName);
            return 0;
        }
        QVPAPI& block = call.block();
        TakeOverCursor(block, true);
        const int got = Exchange(call, text::kCurrentName, qvp::records::request::FgetKey(kKindLetter, lpKey),
                                 text::kCurrentSend, text::kCurrentRecv);
        if (got < 0) return 0;
        if (!Accepted(block, got)) {
            call.Failed(QVAPI_ERR_NOT_FOUND, text::kCurrentProc, text::kCurrentName);
            return 0;
        }
        WorkRecord work;
        if (!TakeRecord(call, static_cast<size_t>(got), work, {text::kCurrentName, text::kCurrentProc, QVAPI_ERR_NOT_FOUND})) return 0;
        Mark(work.bytes);
        if (!Update(call, work, text::kCurrentUpdateName)) return 0;
        TakeOverCursor(block, false);
        const int released = Exchange(call, text::kCurrentUpdateName, qvp::BuildFrlsRequest(kKindLetter),
                                      text::kEndSend, text::kCurrentReleaseRecv);
        return released < 0 ? 0 : 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPISiteReexec(const char* lpFirst, const char* lpSecond) {
    static const qvp::FrameTexts texts{"qvAPISiteReexec"};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        const qvp::RequestBuilder request =
            lpFirst != nullptr && lpSecond != nullptr ? Dexc(lpFirst, lpSecond) : qvp::RequestBuilder({});
        if (lpFirst == nullptr || lpSecond == nullptr || !request.Fits()) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, text::kTextInvalid, call.function());
            return 0;
        }
        const int got = Exchange(call, call.function(), request, text::kReexecSend, text::kReexecRecv);
        if (got < 0) return 0;
        if (!Accepted(call.block(), got)) {
            call.Failed(QVAPI_ERR_INVALID_NAME, text::kReexecProc, call.function());
            return 0;
        }
        return 1;
    });
}
