#pragma once
// Ring of the 16 most recent user-visible status lines, 64 bytes each.
// Appended to from several threads; read by the editor newest first.
#include <atomic>

#include "platform/Lock.h"

class MessageLog {
public:
    static constexpr int kLines = 16;
    static constexpr int kLineBytes = 64;

    MessageLog();
    void reset();
    // Texts of 64 characters or more are cut to their first 62.
    void post(const char* text);
    // printf-style; the formatted text is cut as post cuts it.
    void postf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Copies the k-th most recent line (0 newest, k above 15 taken as 15)
    // into out[kLineBytes]; false if there is no such line.
    bool message(int k, char* out) const;
    // Set by every post; the editor clears it when it has shown the lines.
    bool takeNewMessage() { return newMessage_.exchange(false, std::memory_order_relaxed); }
    bool hasNewMessage() const { return newMessage_.load(std::memory_order_relaxed); }
    int writeIndex() const;
    int wrapCount() const;

private:
    mutable platform::RecursiveLock lock_;
    char lines_[kLines][kLineBytes];
    int writeIndex_ = 0;
    int wrapCount_ = 0;
    std::atomic<bool> newMessage_{false};
};
