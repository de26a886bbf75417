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

    // Starts `entry(arg)` on a new thread with the default stack.
    bool start(Entry entry, void* arg);
    // Waits at most `timeoutMs` for the thread to end. True when it ended;
    // on time-out the thread is detached and left to finish alone.
    // Either way the handle is released and started() becomes false.
    bool join(uint32_t timeoutMs);
    bool started() const { return handle_ != nullptr; }
    // True when the calling thread is this thread.
    bool isCurrent() const;

    // Applies a priority to the calling thread. Raising above normal may be
    // refused by the OS for unprivileged users; that is not an error.
    static void setCurrentPriority(ThreadPriority p);
    // The priority kind last applied to the calling thread (Normal if none).
    static ThreadPriority currentPriority();
    // True when the OS reports the calling thread as scheduled at idle priority.
    static bool currentIsIdleScheduled();

private:
    void* handle_ = nullptr;  // OS-specific state
};

}  // namespace platform
