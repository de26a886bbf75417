#pragma once
// Bits per second over windows of at least one second. add() counts bytes
// as they pass; read() closes the window once it spans a second and keeps
// that window's rate until the next one closes. Times are performance-
// counter nanoseconds; a time <= 0 means "not yet".
//
// Sending threads add, the network thread adds, the editor and the status
// report read: every field is a relaxed atomic. A read racing an add may
// put that add's bytes into the next window; nothing tears or goes undefined.
#include <atomic>
#include <cstdint>

class RateMeter {
public:
    void add(uint64_t bytes, double nowNs);
    // Bits per second of the last closed window (0 before the first).
    double read();
    void reset();

private:
    std::atomic<double> firstTime_{0.0};
    std::atomic<double> lastTime_{0.0};
    std::atomic<double> rate_{0.0};  // bytes per second
    std::atomic<uint64_t> bytes_{0};
};
