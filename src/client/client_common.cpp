// Last-message slots, the error-detail record and the CLIENT.log handle that the archiver and
// the decoder share.
#include "client/client_common.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/log.h"
#include "platform/win.h"

namespace {

struct MessageState {
    std::mutex lock;
    QvpLastMessage current;
    QvpLastMessage saved;
};

MessageState& Messages() {
    static MessageState state;
    return state;
}

struct DetailState {
    std::mutex lock;
    QvpErrorDetail record{};
};

DetailState& Detail() {
    static DetailState state;
    return state;
}

std::string Cut(std::string text) {
    if (text.size() > kLastMessageTextMax) text.resize(kLastMessageTextMax);
    return text;
}

bool IsEmpty(const QvpLastMessage& slot) { return slot.code == 0 && slot.messageClass == 0; }

}  // namespace

void qvpLastMessageSet(uint32_t code, uint32_t messageClass, const char* text, int mode) {
    std::string value = text != nullptr ? text : "";
    MessageState& state = Messages();
    std::lock_guard<std::mutex> guard(state.lock);
    QvpLastMessage& current = state.current;
    switch (mode) {
    case kLastMessageAppend:
        current.text = Cut(current.text + value);
        if (IsEmpty(current)) {
            current.code = code;
            current.messageClass = messageClass;
        }
        break;
    case kLastMessageReplace:
        current = QvpLastMessage{code, messageClass, Cut(value)};
        break;
    case kLastMessageSave:
        state.saved = current;
        current = QvpLastMessage{};
        break;
    case kLastMessageRestore:
        if (!IsEmpty(state.saved)) current = state.saved;
        state.saved = QvpLastMessage{};
        break;
    default:
        if (IsEmpty(current)) current = QvpLastMessage{code, messageClass, Cut(value)};
        break;
    }
}

void qvpLastMessagePrintf(uint32_t code, uint32_t messageClass, int mode, const char* format, ...) {
    char text[kLastMessageTextMax + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    qvpLastMessageSet(code, messageClass, text, mode);
}

QvpLastMessage qvpLastMessageGet() {
    MessageState& state = Messages();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.current;
}

QvpLastMessage qvpLastMessageGetSaved() {
    MessageState& state = Messages();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.saved;
}

void qvparSetErrorDetail(uint16_t detail, uint32_t errorNumber) {
    char digits[4 + 4 + 8 + 1];
    std::snprintf(digits, sizeof digits, "FFFE%.4x%.8x", static_cast<unsigned>(detail),
                  static_cast<unsigned>(errorNumber));
    win::SYSTEMTIME now{};
    win::GetLocalTime(&now);
    QvpErrorDetail record{};
    std::memcpy(record.data(), digits, 16);
    record[16] = static_cast<uint8_t>(now.wYear % 100);
    record[17] = static_cast<uint8_t>(now.wMonth);
    record[18] = static_cast<uint8_t>(now.wDay);
    record[19] = static_cast<uint8_t>(now.wHour);
    record[20] = static_cast<uint8_t>(now.wMinute);
    record[21] = static_cast<uint8_t>(now.wSecond);
    DetailState& state = Detail();
    std::lock_guard<std::mutex> guard(state.lock);
    state.record = record;
}

QvpErrorDetail qvparGetErrorDetail() {
    DetailState& state = Detail();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.record;
}

QvpClientLog::QvpClientLog() : id_(qvpLogOpen("CLIENT.log")) {}

QvpClientLog::~QvpClientLog() { qvpLogClose(id_); }

void QvpClientLog::Write(const char* tag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    qvpLogVPrintf(id_, tag, format, args);
    va_end(args);
}
