// Native threads: bounded join and priorities.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/Thread.h"

using platform::Thread;
using platform::ThreadPriority;

namespace {

void setFlag(void* arg) { static_cast<std::atomic<bool>*>(arg)->store(true); }

struct Spinner {
    std::atomic<bool> release{false};
    std::atomic<bool> done{false};
};

void spinUntilReleased(void* arg) {
    auto* s = static_cast<Spinner*>(arg);
    while (!s->release.load()) platform::sleepMilliseconds(5);
    s->done.store(true);
}

struct SelfJoin {
    Thread thread;
    std::atomic<bool> isCurrent{false};
    std::atomic<int> joinResult{-1};
};

void joinSelf(void* arg) {
    auto* s = static_cast<SelfJoin*>(arg);
    s->isCurrent.store(s->thread.isCurrent());
    s->joinResult.store(s->thread.join(0) ? 1 : 0);
}

}  // namespace

TEST(PlatformThread, JoinOfFinishedThreadSucceedsAndReleasesHandle) {
    std::atomic<bool> ran{false};
    Thread t;
    ASSERT_TRUE(t.start(&setFlag, &ran));
    EXPECT_TRUE(t.started());
    EXPECT_FALSE(t.isCurrent());
    EXPECT_TRUE(t.join(2000));
    EXPECT_TRUE(ran.load());
    EXPECT_FALSE(t.started());
}

TEST(PlatformThread, JoinOfThreadThatDoesNotEndGivesUpAfterTimeout) {
    auto* spinner = new Spinner;  // outlives the test if the thread does
    Thread t;
    ASSERT_TRUE(t.start(&spinUntilReleased, spinner));
    const uint32_t start = platform::tickCount();
    EXPECT_FALSE(t.join(2000));
    const uint32_t elapsed = platform::tickCount() - start;
    EXPECT_GE(elapsed, 1950u);
    EXPECT_LT(elapsed, 4000u);
    EXPECT_FALSE(t.started());

    // The object is reusable and the abandoned thread still runs to its end.
    std::atomic<bool> ran{false};
    ASSERT_TRUE(t.start(&setFlag, &ran));
    EXPECT_TRUE(t.join(2000));
    EXPECT_TRUE(ran.load());
    spinner->release.store(true);
    for (int i = 0; i < 200 && !spinner->done.load(); ++i) platform::sleepMilliseconds(5);
    EXPECT_TRUE(spinner->done.load());
    delete spinner;
}

TEST(PlatformThread, JoinFromTheThreadItselfReturnsAtOnce) {
    SelfJoin s;
    ASSERT_TRUE(s.thread.start(&joinSelf, &s));
    for (int i = 0; i < 400 && s.joinResult.load() < 0; ++i) platform::sleepMilliseconds(5);
    EXPECT_TRUE(s.isCurrent.load());
    EXPECT_EQ(s.joinResult.load(), 0);
    EXPECT_FALSE(s.thread.started());
}

TEST(PlatformThread, PriorityKindsMapOneToThreeElseIdle) {
    EXPECT_EQ(platform::priorityFromKind(1), ThreadPriority::BelowNormal);
    EXPECT_EQ(platform::priorityFromKind(2), ThreadPriority::Normal);
    EXPECT_EQ(platform::priorityFromKind(3), ThreadPriority::AboveNormal);
    EXPECT_EQ(platform::priorityFromKind(0), ThreadPriority::Idle);
    EXPECT_EQ(platform::priorityFromKind(7), ThreadPriority::Idle);
    EXPECT_EQ(platform::priorityFromKind(-1), ThreadPriority::Idle);
}

TEST(PlatformThread, KindSevenSchedulesTheCallingThreadAtIdle) {
    // On threads of their own, so the test runner's thread keeps its policy.
    bool idle = false, reportedIdle = false, fresh = true;
    ThreadPriority before = ThreadPriority::Idle, after = ThreadPriority::Normal;
    std::thread([&] {
        before = Thread::currentPriority();
        fresh = Thread::currentIsIdleScheduled();
        Thread::setCurrentPriority(platform::priorityFromKind(7));
        after = Thread::currentPriority();
        idle = Thread::currentIsIdleScheduled();
        reportedIdle = after == ThreadPriority::Idle;
    }).join();
    EXPECT_EQ(before, ThreadPriority::Normal);
    EXPECT_FALSE(fresh);
    EXPECT_TRUE(reportedIdle);
    EXPECT_TRUE(idle);
}

TEST(PlatformThread, BelowNormalLowersOnlyTheCallingThread) {
    int ownNice = -100, mainNice = getpriority(PRIO_PROCESS, 0);
    bool idle = true;
    ThreadPriority kind = ThreadPriority::Idle;
    std::thread([&] {
        Thread::setCurrentPriority(ThreadPriority::BelowNormal);
        ownNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        idle = Thread::currentIsIdleScheduled();
        kind = Thread::currentPriority();
    }).join();
    EXPECT_GE(ownNice, 5);
    EXPECT_FALSE(idle);
    EXPECT_EQ(kind, ThreadPriority::BelowNormal);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), mainNice);
}

