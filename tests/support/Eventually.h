#pragma once
// Waits for a condition another thread brings about.
#include <chrono>
#include <thread>

namespace testsupport {

// Checks `done` every 5 ms for up to `ms`; true as soon as it holds.
template <class F>
bool eventually(F done, int ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace testsupport
