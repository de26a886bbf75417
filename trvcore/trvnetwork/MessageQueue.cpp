#include "trvcore/trvnetwork/MessageQueue.h"

#include <algorithm>

#include "trvcore/trvnetwork/PeerMessage.h"

MessageQueue::MessageQueue() : slots_(new PeerMessage[kSlots]) {}

bool MessageQueue::push(const PeerMessage& message) {
    const size_t length = message.length();
    if (length == 0 || length > kMaxMessageLength) return false;
    const uint64_t w = written_.load(std::memory_order_relaxed);
    const uint64_t r = read_.load(std::memory_order_acquire);
    uint64_t start = std::max(r, discardBefore_.load(std::memory_order_relaxed));
    if (w - start >= kCapacity) {
        discardBefore_.store(w, std::memory_order_release);
        start = w;
    }
    // The consumer may be reading slot r; never write there.
    if (w - r >= kSlots) return false;
    slots_[w % kSlots].assign(message.data(), length);
    written_.store(w + 1, std::memory_order_release);
    pushedMessages_.fetch_add(1, std::memory_order_relaxed);
    pushedBytes_.fetch_add(length, std::memory_order_relaxed);
    return true;
}

PeerMessage* MessageQueue::front() {
    uint64_t r = read_.load(std::memory_order_relaxed);
    const uint64_t discard = discardBefore_.load(std::memory_order_acquire);
    if (r < discard) {
        r = discard;
        read_.store(r, std::memory_order_release);
    }
    if (r == written_.load(std::memory_order_acquire)) return nullptr;
    return &slots_[r % kSlots];
}

void MessageQueue::pop() {
    const uint64_t r = read_.load(std::memory_order_relaxed);
    if (r == written_.load(std::memory_order_acquire)) return;
    const size_t length = slots_[r % kSlots].length();
    read_.store(r + 1, std::memory_order_release);
    poppedMessages_.fetch_add(1, std::memory_order_relaxed);
    poppedBytes_.fetch_add(length, std::memory_order_relaxed);
}

void MessageQueue::clear() { read_.store(written_.load(std::memory_order_acquire), std::memory_order_release); }

size_t MessageQueue::waiting() const {
    const uint64_t w = written_.load(std::memory_order_acquire);
    const uint64_t r = read_.load(std::memory_order_acquire);
    const uint64_t start = std::max(r, discardBefore_.load(std::memory_order_acquire));
    return w > start ? static_cast<size_t>(std::min<uint64_t>(w - start, kCapacity)) : 0;
}
