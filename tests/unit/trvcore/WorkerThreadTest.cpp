#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "platform/Clock.h"
#include "platform/Thread.h"
#include "trvcore/NanoClock.h"
#include "trvcore/WorkerThread.h"

namespace {

class Looper : public WorkerThread {
public:
    ~Looper() override { stop(); }
    void run() override {
        runs.fetch_add(1);
        while (running()) {
            wait();
            wakes.fetch_add(1);
        }
    }
    std::atomic<int> runs{0};
    std::atomic<int> wakes{0};
};

// A run() that ignores stop() for a while.
class Stubborn : public WorkerThread {
public:
    void run() override {
        while (!release.load()) platform::sleepMilliseconds(5);
    }
    std::atomic<bool> release{false};
};

class PriorityProbe : public WorkerThread {
public:
    explicit PriorityProbe(int kind) : kind_(kind) {}
    ~PriorityProbe() override { stop(); }
    void run() override {
        setPriority(kind_);
        idle.store(platform::Thread::currentIsIdleScheduled());
        kind.store(static_cast<int>(platform::Thread::currentPriority()));
        while (running()) wait();
    }
    std::atomic<bool> idle{false};
    std::atomic<int> kind{-1};

private:
    int kind_;
};

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition()) return true;
        platform::sleepMilliseconds(5);
    }
    return condition();
}

TEST(WorkerThread, StartTwiceCreatesOneThread) {
    Looper t;
    EXPECT_TRUE(t.start());
    EXPECT_TRUE(t.start());
    ASSERT_TRUE(eventually([&] { return t.runs.load() == 1; }));
    EXPECT_TRUE(t.stop());
    EXPECT_EQ(t.runs.load(), 1);
}

TEST(WorkerThread, StopEndsAWaitingRunAndMarksItFinished) {
    Looper t;
    t.start();
    ASSERT_TRUE(eventually([&] { return t.runs.load() == 1; }));
    EXPECT_FALSE(t.isFinished());
    EXPECT_TRUE(t.stop());
    EXPECT_TRUE(t.isFinished());
    EXPECT_FALSE(t.threadStarted());
    EXPECT_FALSE(t.stop());  // not running any more
}

TEST(WorkerThread, RestartsAfterStop) {
    Looper t;
    t.start();
    t.stop();
    t.start();
    ASSERT_TRUE(eventually([&] { return t.runs.load() == 2; }));
    t.wake();
    EXPECT_TRUE(eventually([&] { return t.wakes.load() >= 1; }));
}

TEST(WorkerThread, StopGivesUpAfterTheJoinBound) {
    auto* t = new Stubborn();
    t->start();
    const uint32_t t0 = platform::tickCount();
    EXPECT_TRUE(t->stop());
    const uint32_t waited = platform::tickCount() - t0;
    EXPECT_GE(waited, 1900u);
    EXPECT_LT(waited, 4000u);
    EXPECT_FALSE(t->isFinished());
    t->release.store(true);
    ASSERT_TRUE(eventually([&] { return t->isFinished(); }));
    delete t;
}

TEST(WorkerThread, PriorityKindsApplyToTheCallingThread) {
    PriorityProbe idle(7);
    idle.start();
    ASSERT_TRUE(eventually([&] { return idle.kind.load() >= 0; }));
    EXPECT_TRUE(idle.idle.load());
    EXPECT_EQ(idle.kind.load(), static_cast<int>(platform::ThreadPriority::Idle));

    PriorityProbe normal(2);
    normal.start();
    ASSERT_TRUE(eventually([&] { return normal.kind.load() >= 0; }));
    EXPECT_FALSE(normal.idle.load());
    EXPECT_EQ(normal.kind.load(), static_cast<int>(platform::ThreadPriority::Normal));
}

TEST(NanoClock, IsMonotonicAndInNanoseconds) {
    const long double a = nowNanoseconds();
    platform::sleepMilliseconds(20);
    const long double b = nowNanoseconds();
    EXPECT_GT(b - a, 15e6L);
    EXPECT_LT(b - a, 2e9L);
}

}  // namespace
