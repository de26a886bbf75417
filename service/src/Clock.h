#pragma once
// Milliseconds of a monotonic clock; tests substitute their own.
#include <chrono>
#include <cstdint>

namespace tarvonet {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t nowMs() const = 0;
};

class SteadyClock : public Clock {
public:
    int64_t nowMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace tarvonet
