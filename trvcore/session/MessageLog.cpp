#include "trvcore/session/MessageLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

MessageLog::MessageLog() { reset(); }

void MessageLog::reset() {
    platform::ScopedLock guard(lock_);
    std::memset(lines_, 0, sizeof lines_);
    writeIndex_ = 0;
    wrapCount_ = 0;
}

void MessageLog::postf(const char* format, ...) {
    char line[kLineBytes * 4];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    post(line);
}

void MessageLog::post(const char* text) {
    if (!text) text = "";
    {
        platform::ScopedLock guard(lock_);
        char* slot = lines_[writeIndex_];
        size_t n = std::strlen(text);
        if (n >= kLineBytes) n = kLineBytes - 2;
        std::memcpy(slot, text, n);
        slot[n] = '\0';
        if (++writeIndex_ == kLines) {
            writeIndex_ = 0;
            ++wrapCount_;
        }
    }
    newMessage_.store(true, std::memory_order_relaxed);
}

bool MessageLog::message(int k, char* out) const {
    if (!out) return false;
    if (k < 0) k = 0;
    if (k > kLines - 1) k = kLines - 1;
    platform::ScopedLock guard(lock_);
    if (wrapCount_ == 0 && k >= writeIndex_) return false;
    const int slot = ((writeIndex_ - 1 - k) % kLines + kLines) % kLines;
    std::memcpy(out, lines_[slot], kLineBytes);
    return true;
}

int MessageLog::writeIndex() const {
    platform::ScopedLock guard(lock_);
    return writeIndex_;
}

int MessageLog::wrapCount() const {
    platform::ScopedLock guard(lock_);
    return wrapCount_;
}
