#pragma once
// Jobs run at a set time by one thread. The HTTP server uses it to hold back
// the refusals that cost it nothing to make (a full login queue, too many
// failed logins), so that a client sending logins back to back waits for
// each refusal instead of keeping the service busy with refusing.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tarvonet {

class DelayedJobs {
public:
    DelayedJobs() = default;
    ~DelayedJobs();
    DelayedJobs(const DelayedJobs&) = delete;
    DelayedJobs& operator=(const DelayedJobs&) = delete;

    void start();
    // False, without running the job, when not started or stopped.
    bool schedule(int64_t delayMs, std::function<void()> job);
    // Runs every job still waiting at once, then ends the thread. Idempotent.
    void stop();

private:
    using Time = std::chrono::steady_clock::time_point;
    void run();

    std::mutex lock_;
    std::condition_variable wake_;
    std::multimap<Time, std::function<void()>> jobs_;
    bool started_ = false;   // under lock_
    bool stopping_ = false;  // under lock_
    std::thread thread_;
};

}  // namespace tarvonet
