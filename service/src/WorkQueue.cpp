#include "WorkQueue.h"

#include <algorithm>
#include <cmath>

namespace tarvonet {

namespace {

constexpr double kHalfLifeSeconds = 30.0;
// Beyond this many clients remembered, those with no job waiting that were
// hardly served lately are forgotten.
constexpr size_t kRememberedClients = 4096;

}  // namespace

WorkQueue::WorkQueue(size_t capacity, size_t perKeyCapacity, unsigned workers)
    : capacity_(capacity),
      perKeyCapacity_(std::max<size_t>(1, perKeyCapacity)),
      workerCount_(std::max(1u, workers)) {}

WorkQueue::~WorkQueue() { stop(); }

void WorkQueue::start() {
    stopping_.store(false);
    for (unsigned i = 0; i < workerCount_; ++i) workers_.emplace_back([this] { run(); });
    started_.store(true);
}

double WorkQueue::servedBy(const Client& c, Time now) const {
    double age = std::chrono::duration<double>(now - c.servedAt).count();
    return c.served * std::exp2(-std::max(0.0, age) / kHalfLifeSeconds);
}

void WorkQueue::forgetIdleClients(Time now) {
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (it->second.jobs.empty() && servedBy(it->second, now) < 0.5) {
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

bool WorkQueue::submit(uint32_t key, std::function<void()> job, std::function<void()> cancel) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_.load() || !started_.load() || pending_ >= capacity_) return false;
        auto it = clients_.find(key);
        if (it == clients_.end()) {
            Time now = std::chrono::steady_clock::now();
            if (clients_.size() >= kRememberedClients + capacity_) forgetIdleClients(now);
            it = clients_.emplace(key, Client{}).first;
            it->second.servedAt = now;
        }
        Client& client = it->second;
        if (client.jobs.size() >= perKeyCapacity_) return false;
        if (client.jobs.empty()) client.waitingSince = nextTicket_++;
        client.jobs.push_back(Job{std::move(job), std::move(cancel)});
        ++pending_;
    }
    wake_.notify_one();
    return true;
}

void WorkQueue::stop() {
    std::vector<std::function<void()>> cancelled;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_.store(true);
        for (auto& entry : clients_) {
            for (Job& job : entry.second.jobs) cancelled.push_back(std::move(job.cancel));
            entry.second.jobs.clear();
        }
        pending_ = 0;
    }
    wake_.notify_all();
    for (std::function<void()>& cancel : cancelled) cancel();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
}

size_t WorkQueue::pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_;
}

void WorkQueue::run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return pending_ > 0 || stopping_.load(); });
        if (stopping_.load()) return;  // what still waited is cancelled
        // At most `capacity_` clients have jobs waiting: a plain scan will do.
        Time now = std::chrono::steady_clock::now();
        Client* next = nullptr;
        double nextServed = 0;
        for (auto& entry : clients_) {
            Client& c = entry.second;
            if (c.jobs.empty()) continue;
            double served = servedBy(c, now);
            if (!next || served < nextServed || (served == nextServed && c.waitingSince < next->waitingSince)) {
                next = &c;
                nextServed = served;
            }
        }
        std::function<void()> job = std::move(next->jobs.front().run);
        next->jobs.pop_front();
        next->served = nextServed + 1;
        next->servedAt = now;
        next->waitingSince = nextTicket_++;
        --pending_;
        guard.unlock();
        job();
        guard.lock();
    }
}

}  // namespace tarvonet
