#pragma once
// The waiting vocabulary beside RecursiveLock: a plain (non-recursive)
// mutex with try-lock, and a condition variable that waits with it.
//
// Rules of use: the audio thread only ever try-locks (or uses PauseGate,
// which never waits on its side); a thread that blocks on a Mutex must know
// the holder keeps it for a few copies only, never across I/O, a sleep or a
// web request. Locking a Mutex twice on one thread deadlocks.
#include <cstdint>

namespace platform {

class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock();
    void unlock();
    bool tryLock();

private:
    friend class CondVar;
    alignas(16) unsigned char storage_[64];
};

class MutexLock {
public:
    explicit MutexLock(Mutex& m) : mutex_(m) { mutex_.lock(); }
    ~MutexLock() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    Mutex& mutex() { return mutex_; }

private:
    Mutex& mutex_;
};

// Waits are for a predicate the caller tests under the mutex, in a loop:
// a wait may end without a notify.
class CondVar {
public:
    CondVar();
    ~CondVar();
    CondVar(const CondVar&) = delete;
    CondVar& operator=(const CondVar&) = delete;

    // `m` is held by the caller; released while waiting, held again after.
    void wait(Mutex& m);
    // False when `ms` passed (measured on a monotonic clock).
    bool waitFor(Mutex& m, uint32_t ms);
    void notifyOne();
    void notifyAll();

private:
    alignas(16) unsigned char storage_[64];
};

}  // namespace platform
