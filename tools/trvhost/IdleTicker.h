#pragma once
// Stands in for the editor's idle calls while the host has no editor: a
// thread that calls `idle` every period under the UI lock, the lock the
// button-like commands hold, so idle work and button work never overlap.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/Thread.h"

class IdleTicker {
public:
    static constexpr uint32_t kDefaultPeriodMs = 100;

    IdleTicker(std::function<void()> idle, std::mutex& uiLock, uint32_t periodMs = kDefaultPeriodMs);
    ~IdleTicker();  // stops
    IdleTicker(const IdleTicker&) = delete;
    IdleTicker& operator=(const IdleTicker&) = delete;

    bool start();
    // Waits for the idle call in progress, if any.
    void stop();
    uint64_t calls() const { return calls_.load(std::memory_order_relaxed); }

private:
    static void entry(void* self);

    std::function<void()> idle_;
    std::mutex& uiLock_;
    const uint32_t periodMs_;
    platform::Thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<uint64_t> calls_{0};
};
