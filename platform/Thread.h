#pragma once
// Native threads. The only place that knows the OS thread type.
#include <cstdint>

namespace platform {

// Priority kinds of the worker threads: 1 below normal, 2 normal,
// 3 above normal, anything else idle.
enum class ThreadPriority { Idle = 0, BelowNormal = 1, Normal = 2, AboveNormal = 3 };

ThreadPriority priorityFromKind(int kind);

class Thread {
public:
    using Entry = void (*)(void* arg);

    Thread() = default;
    ~Thread();  // detaches a thread that is still running
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts `entry(arg)` on a new thread with the default stack, at the
    // priority `p` (applied on the new thread before `entry` runs).
    bool start(Entry entry, void* arg, ThreadPriority p = ThreadPriority::Normal);
    // Waits at most `timeoutMs` for the thread to end. True when it ended;
    // on time-out the thread is detached and left to finish alone.
    // Either way the handle is released and started() becomes false.
    bool join(uint32_t timeoutMs);
    bool started() const { return handle_ != nullptr; }
    // True when the calling thread is this thread.
    bool isCurrent() const;

    // Applies a priority to the calling thread; true when the thread now
    // runs at it. An unprivileged process may be refused: on Linux a thread
    // can lower its priority but never raise it again (above its creator's,
    // nor back from a lowering or from idle), so threads are started at the
    // priority they keep rather than lowered first and raised later.
    // Refusals are counted (refusedPriorities).
    static bool setCurrentPriority(ThreadPriority p);
    // The priority the calling thread really runs at, read back from the
    // OS: normal is the priority its creator ran at when it was started
    // (for a thread this code did not start, the one it had when first
    // asked), below and above normal lie under and over it.
    static ThreadPriority currentPriority();
    // Requests setCurrentPriority could not carry out, in this process.
    static unsigned refusedPriorities();
    // True when the OS reports the calling thread as scheduled at idle priority.
    static bool currentIsIdleScheduled();

private:
    void* handle_ = nullptr;  // OS-specific state
};

}  // namespace platform
