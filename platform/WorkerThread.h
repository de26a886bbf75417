#pragma once
// Base of every object that owns a thread: one native thread and one
// auto-reset wake event, started and stopped by the owner. Subclasses
// implement run() as a loop around wait() that tests running() after each
// wait.
#include <atomic>
#include <memory>

#include "platform/Event.h"
#include "platform/Lock.h"
#include "platform/Thread.h"

class WorkerThread {
public:
    static constexpr unsigned kJoinTimeoutMs = 2000;
    static constexpr unsigned kFinishCheckMs = 5;

    // The thread starts at `startPriority` (below normal unless a subclass
    // says otherwise). A thread that will raise itself in run() must start
    // there: on Linux an unprivileged thread cannot go back up.
    explicit WorkerThread(platform::ThreadPriority startPriority = platform::ThreadPriority::BelowNormal);
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread unless it is running. Always true: a thread that
    // could not be created simply never runs.
    virtual bool start();
    // Clears running, wakes the thread and waits at most 2000 ms for it.
    // False if it was not running. A run() that does not return in time is
    // left to finish alone; it must not touch the object afterwards.
    virtual bool stop();
    virtual void run() = 0;
    virtual void wake();
    virtual void wait();
    virtual void sleep(unsigned ms);
    // 1 below normal, 2 normal, 3 above normal, anything else idle; applies
    // to the calling thread, so run() calls it on itself. What the OS
    // refuses is counted (platform::Thread::refusedPriorities) and the
    // thread keeps the priority it has.
    virtual void setPriority(int kind);
    // Called on the thread after run() returns; marks it finished.
    virtual void onExit();

    // After stop(): waits, without a bound, until a thread left running past
    // the join has returned from run(). An owner calls it before deleting
    // what run() uses; every run() loop's steps are bounded, so this ends.
    void waitUntilFinished();

    bool running() const { return running_.load(std::memory_order_relaxed); }
    bool isFinished() const { return finished_.load(std::memory_order_acquire); }
    bool threadStarted() const { return thread_.started(); }
    // True on this object's own thread (its run()).
    bool onOwnThread() const { return thread_.isCurrent(); }
    // The last start() created a thread (which sets isFinished() at its end).
    bool threadCreated() const { return started_.load(std::memory_order_acquire); }
    // Waits on the wake event at most `ms`; true if woken.
    bool waitFor(unsigned ms);

protected:
    platform::RecursiveLock criticalSection;  // for subclasses' use

private:
    static void entry(void* self);
    void stopThread();

    platform::Thread thread_;
    const platform::ThreadPriority startPriority_;
    std::unique_ptr<platform::AutoResetEvent> wakeEvent_;
    std::atomic<bool> running_{false};
    std::atomic<bool> finished_{false};
    // A thread was created by the last start (it will set finished_).
    std::atomic<bool> started_{false};
};
