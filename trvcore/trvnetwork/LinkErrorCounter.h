#pragma once
// One kind of link error (receive or send), counted twice: once for the
// display and the status report ("shown"), once for the linkFlags bit of
// the next message that leaves ("to report"). Written and read from any
// thread; relaxed atomics, as only the counts matter.
#include <atomic>
#include <cstdint>

class LinkErrorCounter {
public:
    void add(uint32_t n = 1) {
        shown_.fetch_add(n, std::memory_order_relaxed);
        toReport_.fetch_add(n, std::memory_order_relaxed);
    }
    // The display count; cleared when `clear` is set.
    uint32_t shown(bool clear) {
        return clear ? shown_.exchange(0, std::memory_order_relaxed)
                     : shown_.load(std::memory_order_relaxed);
    }
    uint32_t pending() const { return toReport_.load(std::memory_order_relaxed); }
    // Takes off the n that a message just reported. Several connections may
    // report the same errors at once; the count stops at 0 instead of
    // wrapping round to a huge value.
    void consume(uint32_t n) {
        uint32_t v = toReport_.load(std::memory_order_relaxed);
        while (!toReport_.compare_exchange_weak(v, v > n ? v - n : 0, std::memory_order_relaxed)) {
        }
    }
    void reset() {
        shown_.store(0, std::memory_order_relaxed);
        toReport_.store(0, std::memory_order_relaxed);
    }

private:
    std::atomic<uint32_t> shown_{0};
    std::atomic<uint32_t> toReport_{0};
};
