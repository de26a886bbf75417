#pragma once
// Re-entrant lock (a critical section on Windows, a recursive mutex elsewhere).

namespace platform {

class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void lock();
    void unlock();
    bool tryLock();

private:
    alignas(16) unsigned char storage_[64];
};

class ScopedLock {
public:
    explicit ScopedLock(RecursiveLock& l) : lock_(l) { lock_.lock(); }
    ~ScopedLock() { lock_.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    RecursiveLock& lock_;
};

}  // namespace platform
