#include "platform/PauseGate.h"

#include "platform/Clock.h"

namespace platform {

bool PauseGate::enter() {
    uint32_t s = state_.load();
    do {
        if (s & kClosed) return false;
    } while (!state_.compare_exchange_weak(s, s + 1));
    return true;
}

void PauseGate::leave() {
    const uint32_t after = state_.fetch_sub(1) - 1;
    // The last one out of a closed gate tells the closer, if it waits. The
    // closer notes that it waits before it looks at the count, and this
    // side looks at the note after it left, so one of the two always sees
    // the other.
    if (after == kClosed && closerWaiting_.load()) {
        MutexLock hold(mutex_);
        left_.notifyAll();
    }
}

bool PauseGate::close(uint32_t timeoutMs) {
    state_.fetch_or(kClosed);
    MutexLock hold(mutex_);
    closerWaiting_.store(true);
    const uint32_t start = tickCount();
    bool empty;
    while (!(empty = (state_.load() & kInside) == 0)) {
        const uint32_t spent = tickCount() - start;
        if (spent >= timeoutMs) break;
        left_.waitFor(mutex_, timeoutMs - spent);
    }
    closerWaiting_.store(false);
    return empty;
}

void PauseGate::open() { state_.fetch_and(~kClosed); }

}  // namespace platform
