#pragma once
// A bounded queue of jobs run in order by one worker thread. Used for the
// logins, whose password check must not block the HTTP event loops.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvonet {

class WorkQueue {
public:
    explicit WorkQueue(size_t capacity);
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    void start();
    // False, without running the job, when the queue is full or stopped.
    bool submit(std::function<void()> job);
    // Runs every job already queued, then ends the worker. Idempotent.
    void stop();
    size_t pending() const;

private:
    void run();

    const size_t capacity_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::atomic<bool> started_{false};
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

}  // namespace tarvonet
