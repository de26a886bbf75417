#include "tools/trvhost/IdleTicker.h"

#include "platform/Clock.h"

namespace {
// An idle call may log out (a web request), so the join allows for one.
constexpr uint32_t kJoinTimeoutMs = 20000;
constexpr uint32_t kSliceMs = 20;
}  // namespace

IdleTicker::IdleTicker(std::function<void()> idle, std::mutex& uiLock, uint32_t periodMs)
    : idle_(std::move(idle)), uiLock_(uiLock), periodMs_(periodMs) {}

IdleTicker::~IdleTicker() { stop(); }

bool IdleTicker::start() {
    if (thread_.started()) return false;
    stopRequested_.store(false);
    return thread_.start(&IdleTicker::entry, this);
}

void IdleTicker::stop() {
    if (!thread_.started()) return;
    stopRequested_.store(true, std::memory_order_release);
    thread_.join(kJoinTimeoutMs);
}

void IdleTicker::entry(void* self) {
    auto* t = static_cast<IdleTicker*>(self);
    while (!t->stopRequested_.load(std::memory_order_acquire)) {
        {
            std::lock_guard<std::mutex> guard(t->uiLock_);
            t->idle_();
        }
        t->calls_.fetch_add(1, std::memory_order_relaxed);
        // Short slices so stop() does not wait a whole period.
        for (uint32_t slept = 0; slept < t->periodMs_ && !t->stopRequested_.load(std::memory_order_acquire);
             slept += kSliceMs)
            platform::sleepMilliseconds(kSliceMs);
    }
}
