#include "DelayedJobs.h"

namespace tarvonet {

DelayedJobs::~DelayedJobs() { stop(); }

void DelayedJobs::start() {
    std::lock_guard<std::mutex> guard(lock_);
    if (started_) return;
    started_ = true;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

bool DelayedJobs::schedule(int64_t delayMs, std::function<void()> job) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!started_ || stopping_) return false;
        jobs_.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), std::move(job));
    }
    wake_.notify_one();
    return true;
}

void DelayedJobs::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void DelayedJobs::run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        if (jobs_.empty()) {
            if (stopping_) return;
            wake_.wait(guard);
            continue;
        }
        auto first = jobs_.begin();
        if (!stopping_ && std::chrono::steady_clock::now() < first->first) {
            wake_.wait_until(guard, first->first);
            continue;
        }
        std::function<void()> job = std::move(first->second);
        jobs_.erase(first);
        guard.unlock();
        job();
        guard.lock();
    }
}

}  // namespace tarvonet
