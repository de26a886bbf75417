#pragma once
// The hand-over between a stream's working threads (the audio thread, an
// encoder or a network thread) and the thread that reconfigures it.
//
// Workers pass the gate without ever waiting: enter() fails at once while
// the gate is closed and the worker skips its work for that turn. Any
// number of workers may be inside at once. The reconfiguring thread
// close()s the gate, which bars new entries and waits until the workers
// inside have left (at most the bound it is given: a worker stuck inside
// must not hang a reconfiguration for ever), changes what the workers
// use, and open()s the gate again.
//
// A worker's leave() makes a system call only while a closer waits for it,
// so the audio thread pays nothing in steady state. One closer at a time
// (the stream's own configuration lock sees to that).
#include <atomic>
#include <cstdint>

#include "platform/Mutex.h"

namespace platform {

class PauseGate {
public:
    PauseGate() = default;
    PauseGate(const PauseGate&) = delete;
    PauseGate& operator=(const PauseGate&) = delete;

    // Worker side. enter() is true when the worker may go on; then it must
    // leave().
    bool enter();
    void leave();
    bool isClosed() const { return (state_.load() & kClosed) != 0; }

    // Reconfiguring side. True when no worker is inside any more; false
    // when `timeoutMs` ran out first (the gate stays closed either way).
    bool close(uint32_t timeoutMs);
    void open();

    // A worker's pass through the gate, left when it goes out of scope.
    class Pass {
    public:
        explicit Pass(PauseGate& g) : gate_(g), inside_(g.enter()) {}
        ~Pass() {
            if (inside_) gate_.leave();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return inside_; }

    private:
        PauseGate& gate_;
        bool inside_;
    };

private:
    static constexpr uint32_t kClosed = 0x80000000u;
    static constexpr uint32_t kInside = 0x7FFFFFFFu;

    std::atomic<uint32_t> state_{0};  // kClosed, and the workers inside
    std::atomic<bool> closerWaiting_{false};
    Mutex mutex_;
    CondVar left_;
};

}  // namespace platform
