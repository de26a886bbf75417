#include "trvcore/trvnetwork/RateMeter.h"

namespace {
constexpr double kWindowNs = 1e9;
}

void RateMeter::add(uint64_t bytes, double nowNs) {
    lastTime_.store(nowNs, std::memory_order_relaxed);
    if (firstTime_.load(std::memory_order_relaxed) <= 0.0)
        firstTime_.store(nowNs, std::memory_order_relaxed);
    bytes_.fetch_add(bytes, std::memory_order_relaxed);
}

double RateMeter::read() {
    const double first = firstTime_.load(std::memory_order_relaxed);
    const double last = lastTime_.load(std::memory_order_relaxed);
    if (first <= 0.0 || last <= 0.0) {
        rate_.store(0.0, std::memory_order_relaxed);
        return 0.0;
    }
    if (last - first >= kWindowNs) {
        const uint64_t bytes = bytes_.exchange(0, std::memory_order_relaxed);
        rate_.store(static_cast<double>(bytes) / ((last - first) * 1e-9), std::memory_order_relaxed);
        firstTime_.store(last, std::memory_order_relaxed);
    }
    return rate_.load(std::memory_order_relaxed) * 8.0;
}

void RateMeter::reset() {
    firstTime_.store(0.0, std::memory_order_relaxed);
    lastTime_.store(0.0, std::memory_order_relaxed);
    rate_.store(0.0, std::memory_order_relaxed);
    bytes_.store(0, std::memory_order_relaxed);
}
