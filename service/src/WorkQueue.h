#pragma once
// A bounded queue of jobs run by a few worker threads. Used for the logins,
// whose password check must not block the HTTP event loops. Each job is
// filed under its client's key (the address), and one client may have only
// a few jobs waiting. Of the clients with jobs waiting, the one served least
// lately goes next (a count of its jobs run, halving every half-life; among
// equals, the one waiting longest): a client that sends job after job waits
// behind those that send one now and then, and cannot hold them back.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tarvonet {

class WorkQueue {
public:
    WorkQueue(size_t capacity, size_t perKeyCapacity, unsigned workers);
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    void start();
    // False, without running either, when the queue or the key's share of
    // it is full, or the queue is stopped. `cancel` runs instead of `job`
    // when the queue stops before the job's turn came.
    bool submit(uint32_t key, std::function<void()> job, std::function<void()> cancel);
    // Cancels the jobs still waiting, lets those under way end, then ends
    // the workers. Idempotent.
    void stop();
    size_t pending() const;

private:
    using Time = std::chrono::steady_clock::time_point;
    struct Job {
        std::function<void()> run;
        std::function<void()> cancel;
    };
    struct Client {
        std::deque<Job> jobs;
        uint64_t waitingSince = 0;  // order among clients served alike
        double served = 0;          // jobs run, decayed to `servedAt`
        Time servedAt;
    };
    void run();
    double servedBy(const Client& c, Time now) const;
    void forgetIdleClients(Time now);

    const size_t capacity_;
    const size_t perKeyCapacity_;
    const unsigned workerCount_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::unordered_map<uint32_t, Client> clients_;  // with jobs waiting, or served lately
    size_t pending_ = 0;
    uint64_t nextTicket_ = 0;
    std::atomic<bool> started_{false};
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> workers_;
};

}  // namespace tarvonet
