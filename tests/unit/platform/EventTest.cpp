// Auto-reset event, recursive lock and clock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Lock.h"

using platform::AutoResetEvent;

TEST(PlatformEvent, SetBeforeWaitIsKeptForExactlyOneWait) {
    AutoResetEvent e;
    ASSERT_TRUE(e.valid());
    e.set();
    EXPECT_TRUE(e.wait(0u));
    EXPECT_FALSE(e.wait(0u));
}

TEST(PlatformEvent, TwoSetsWakeOneWait) {
    AutoResetEvent e;
    e.set();
    e.set();
    e.wait();  // returns at once
    EXPECT_FALSE(e.wait(20u));
}

TEST(PlatformEvent, TimedWaitTimesOutWithoutSignal) {
    AutoResetEvent e;
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(e.wait(60u));
    EXPECT_GE(static_cast<uint32_t>(platform::tickCount() - start), 55u);
}

TEST(PlatformEvent, ResetConsumesPendingSignalAndNeverBlocks) {
    AutoResetEvent e;
    e.reset();  // nothing pending: must return
    e.set();
    e.reset();
    EXPECT_FALSE(e.wait(0u));
}

TEST(PlatformEvent, SetFromAnotherThreadWakesBlockedWait) {
    AutoResetEvent e;
    std::thread t([&] {
        platform::sleepMilliseconds(30);
        e.set();
    });
    e.wait();
    t.join();
    EXPECT_FALSE(e.wait(0u));
}

TEST(PlatformEvent, OneSetReleasesOnlyOneOfTwoWaiters) {
    AutoResetEvent e;
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (e.wait(400u)) woken.fetch_add(1);
    };
    std::thread a(waiter), b(waiter);
    platform::sleepMilliseconds(50);
    e.set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(PlatformLock, IsReentrantAndExcludesOtherThreads) {
    platform::RecursiveLock lock;
    lock.lock();
    EXPECT_TRUE(lock.tryLock());  // same thread again
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = lock.tryLock(); }).join();
    EXPECT_FALSE(otherGotIt);
    lock.unlock();
    lock.unlock();
    std::thread([&] {
        otherGotIt = lock.tryLock();
        if (otherGotIt) lock.unlock();
    }).join();
    EXPECT_TRUE(otherGotIt);
}

TEST(PlatformClock, CountsNanosecondsAndSleepAdvancesTickCount) {
    EXPECT_EQ(platform::performanceFrequency(), 1000000000ull);
    const uint64_t c0 = platform::performanceCounter();
    const uint32_t t0 = platform::tickCount();
    platform::sleepMilliseconds(25);
    const uint64_t c1 = platform::performanceCounter();
    EXPECT_GE(c1 - c0, 25000000ull);
    EXPECT_GE(static_cast<uint32_t>(platform::tickCount() - t0), 24u);
}
