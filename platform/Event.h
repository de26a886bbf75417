#pragma once
// Auto-reset event: set() wakes one waiter, or the next wait if none waits.
#include <cstdint>

namespace platform {

class AutoResetEvent {
public:
    AutoResetEvent();
    ~AutoResetEvent();
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    bool valid() const;
    void set();
    // Waits until set; consumes the signal.
    void wait();
    // Waits at most timeoutMs; true if it was signalled (and consumed).
    bool wait(uint32_t timeoutMs);
    // OS handle for multiplexed waits (an eventfd on Linux, a HANDLE on Windows).
    intptr_t nativeHandle() const { return handle_; }
    // Consumes a pending signal without waiting (after a multiplexed wait).
    void reset();

private:
    intptr_t handle_;
};

}  // namespace platform
