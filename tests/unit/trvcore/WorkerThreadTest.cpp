#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <functional>

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/Thread.h"
#include "platform/NanoClock.h"
#include "platform/WorkerThread.h"

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
    // Started where run() will put it, as the plug-in's threads are.
    explicit PriorityProbe(int kind) : WorkerThread(platform::priorityFromKind(kind)), kind_(kind) {}
    ~PriorityProbe() override { stop(); }
    void run() override {
        setPriority(kind_);
        idle.store(platform::Thread::currentIsIdleScheduled());
        nice.store(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
        kind.store(static_cast<int>(platform::Thread::currentPriority()));
        while (running()) wait();
    }
    std::atomic<bool> idle{false};
    std::atomic<int> kind{-1};
    std::atomic<int> nice{-100};

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

namespace {

// In a child process as an ordinary user without any headroom to raise a
// priority (as a sequencer run by a musician): what each kind of worker
// thread really gets, and what it is told. Exit code 0 when all is as it
// should be, else the number of the first check that failed.
int unprivilegedPriorities() {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) return 90;
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_NICE, &none) != 0) return 91;
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    using P = platform::ThreadPriority;
    auto probe = [](int kind, int& nice, bool& idle) {
        PriorityProbe t(kind);
        t.start();
        if (!eventually([&] { return t.kind.load() >= 0; })) return -1;
        nice = t.nice.load();
        idle = t.idle.load();
        return t.kind.load();
    };
    int nice = 0;
    bool idle = false;
    // Normal (the session and encoder threads): really normal, the host's level.
    if (probe(2, nice, idle) != static_cast<int>(P::Normal) || nice != base || idle) return 1;
    // Below normal: lowered.
    if (probe(1, nice, idle) != static_cast<int>(P::BelowNormal) || nice <= base) return 2;
    // Idle: scheduled so.
    if (probe(0, nice, idle) != static_cast<int>(P::Idle) || !idle) return 3;
    // Above normal (the network thread) is refused: it stays normal and
    // says so, and the refusal is counted.
    const unsigned refused = platform::Thread::refusedPriorities();
    if (probe(3, nice, idle) != static_cast<int>(P::Normal) || nice != base) return 4;
    if (platform::Thread::refusedPriorities() <= refused) return 5;
    // A thread lowered once cannot come back, and is not told it did.
    bool back = true, after = true;
    std::thread([&] {
        platform::Thread::setCurrentPriority(P::BelowNormal);
        back = platform::Thread::setCurrentPriority(P::Normal);
        after = platform::Thread::currentPriority() == P::Normal;
    }).join();
    if (back || after) return 6;
    return 0;
}

}  // namespace

TEST(WorkerThreadDeathTest, AnUnprivilegedUserGetsNormalWorkersAndTheTruthAboutTheRest) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(std::exit(unprivilegedPriorities()), ::testing::ExitedWithCode(0), "");
}
