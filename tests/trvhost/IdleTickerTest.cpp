#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/Clock.h"
#include "tools/trvhost/IdleTicker.h"

namespace {
constexpr uint32_t kPeriodMs = 10;
constexpr int kPatienceSlices = 500;  // 5 s in 10 ms steps

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < kPatienceSlices; ++i) {
        if (condition()) return true;
        platform::sleepMilliseconds(10);
    }
    return condition();
}
}  // namespace

TEST(IdleTicker, CallsTheIdleWorkAgainAndAgainUntilStopped) {
    std::mutex ui;
    std::atomic<int> calls{0};
    IdleTicker ticker([&] { ++calls; }, ui, kPeriodMs);
    ASSERT_TRUE(ticker.start());
    EXPECT_TRUE(eventually([&] { return calls.load() >= 3; }));
    ticker.stop();
    const int after = calls.load();
    platform::sleepMilliseconds(5 * kPeriodMs);
    EXPECT_EQ(calls.load(), after);
    EXPECT_EQ(ticker.calls(), static_cast<uint64_t>(after));
}

TEST(IdleTicker, IdleWorkRunsUnderTheUiLock) {
    std::mutex ui;
    std::atomic<bool> sawLockFree{false};
    std::atomic<int> calls{0};
    // Inside the call the lock must already be taken.
    IdleTicker ticker(
        [&] {
            if (ui.try_lock()) {
                sawLockFree = true;
                ui.unlock();
            }
            ++calls;
        },
        ui, kPeriodMs);
    std::unique_lock<std::mutex> held(ui);
    ASSERT_TRUE(ticker.start());
    platform::sleepMilliseconds(5 * kPeriodMs);
    EXPECT_EQ(calls.load(), 0) << "idle work ran while a command held the UI lock";
    held.unlock();
    EXPECT_TRUE(eventually([&] { return calls.load() >= 2; }));
    ticker.stop();
    EXPECT_FALSE(sawLockFree.load());
}
