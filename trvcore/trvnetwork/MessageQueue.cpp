#include "trvcore/trvnetwork/MessageQueue.h"

#include "trvcore/trvnetwork/PeerMessage.h"

MessageQueue::MessageQueue(size_t capacity)
    : capacity_(capacity > 0 ? capacity : 1), slots_(new PeerMessage[capacity_]) {}

bool MessageQueue::push(const PeerMessage& message) {
    const size_t length = message.length();
    if (length == 0 || length > kMaxMessageLength) return false;
    const uint64_t w = written_.load(std::memory_order_relaxed);
    if (w - read_.load(std::memory_order_acquire) >= capacity_) {
        // Full: everything waiting goes. No Reader may hold a slot meanwhile.
        platform::ScopedLock guard(lock_);
        if (w - read_.load(std::memory_order_relaxed) >= capacity_)
            read_.store(w, std::memory_order_release);
        slots_[w % capacity_].assign(message.data(), length);
        written_.store(w + 1, std::memory_order_release);
    } else {
        slots_[w % capacity_].assign(message.data(), length);
        written_.store(w + 1, std::memory_order_release);
    }
    pushedMessages_.fetch_add(1, std::memory_order_relaxed);
    pushedBytes_.fetch_add(length, std::memory_order_relaxed);
    return true;
}

PeerMessage* MessageQueue::Reader::front() {
    const uint64_t r = queue_.read_.load(std::memory_order_relaxed);
    if (r == queue_.written_.load(std::memory_order_acquire)) return nullptr;
    return &queue_.slots_[r % queue_.capacity_];
}

void MessageQueue::Reader::pop() {
    const uint64_t r = queue_.read_.load(std::memory_order_relaxed);
    if (r == queue_.written_.load(std::memory_order_acquire)) return;
    const size_t length = queue_.slots_[r % queue_.capacity_].length();
    queue_.read_.store(r + 1, std::memory_order_release);
    queue_.poppedMessages_.fetch_add(1, std::memory_order_relaxed);
    queue_.poppedBytes_.fetch_add(length, std::memory_order_relaxed);
}

void MessageQueue::clear() {
    platform::ScopedLock guard(lock_);
    read_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
}

size_t MessageQueue::waiting() const {
    const uint64_t w = written_.load(std::memory_order_acquire);
    const uint64_t r = read_.load(std::memory_order_acquire);
    return w > r ? static_cast<size_t>(w - r) : 0;
}
