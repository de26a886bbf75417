#include "WorkQueue.h"

namespace tarvonet {

WorkQueue::WorkQueue(size_t capacity) : capacity_(capacity) {}

WorkQueue::~WorkQueue() { stop(); }

void WorkQueue::start() {
    stopping_.store(false);
    worker_ = std::thread([this] { run(); });
    started_.store(true);
}

bool WorkQueue::submit(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_.load() || !started_.load() || jobs_.size() >= capacity_) return false;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

void WorkQueue::stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_.store(true);
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

size_t WorkQueue::pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return jobs_.size();
}

void WorkQueue::run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return !jobs_.empty() || stopping_.load(); });
        if (jobs_.empty()) return;  // stopping, and everything queued has run
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        guard.unlock();
        job();
        guard.lock();
    }
}

}  // namespace tarvonet
