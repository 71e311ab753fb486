#include "client/ar/ar_context.h"

#include <cstdio>
#include <mutex>

#include "client/ar/unarchive.h"
#include "core/log.h"

namespace ar {

namespace {
std::mutex gDefaultSleepLock;
std::function<void(win::DWORD)>& defaultSleep() {
    static std::function<void(win::DWORD)> sleep = [](win::DWORD ms) { win::Sleep(ms); };
    return sleep;
}
}  // namespace

ArContext::ArContext() : logId_(qvpLogOpen(kClientLog)) {
    {
        std::lock_guard<std::mutex> lock(gDefaultSleepLock);
        sleep = defaultSleep();
    }
    onDetail = [](uint16_t code, uint32_t error) { qvparSetErrorDetail(code, error); };
    onMessage = [](uint32_t code, uint32_t cls, const std::string& text) {
        qvpLastMessageSet(code, cls, text.c_str(), kLastMessageFirst);
    };
}

ArContext::~ArContext() { qvpLogClose(logId_); }

void ArContext::setDefaultSleep(std::function<void(win::DWORD)> s) {
    std::lock_guard<std::mutex> lock(gDefaultSleepLock);
    defaultSleep() = s ? std::move(s) : [](win::DWORD ms) { win::Sleep(ms); };
}

void ArContext::log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    qvpLogVPrintf(logId_, kArTag, format, args);
    va_end(args);
}

void ArContext::pause(win::DWORD milliseconds) const {
    if (sleep) sleep(milliseconds);
}

void ArContext::detail(uint16_t code, uint32_t error) const {
    if (onDetail) onDetail(code, error);
}

void ArContext::message(uint32_t code, uint32_t cls, const char* format, ...) const {
    if (!onMessage) return;
    char text[260];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    onMessage(code, cls, text);
}

}  // namespace ar
