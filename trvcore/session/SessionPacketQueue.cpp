#include "trvcore/session/SessionPacketQueue.h"

#include <new>

#include "trvcore/trvnetwork/PeerMessage.h"

SessionPacketQueue::SessionPacketQueue() : slots_(new (std::nothrow) PeerMessage[kCapacity]) {}

bool SessionPacketQueue::push(const PeerMessage& message) {
    const size_t length = message.length();
    if (!slots_ || length == 0 || length > kMaxMessageLength) return false;
    platform::ScopedLock guard(lock_);
    if (count_ == kCapacity) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    slots_[(head_ + count_) % kCapacity].assign(message.data(), length);
    ++count_;
    return true;
}

bool SessionPacketQueue::pop(PeerMessage& out) {
    platform::ScopedLock guard(lock_);
    if (count_ == 0) return false;
    const PeerMessage& m = slots_[head_];
    out.assign(m.data(), m.length());
    head_ = (head_ + 1) % kCapacity;
    --count_;
    return true;
}

void SessionPacketQueue::clear() {
    platform::ScopedLock guard(lock_);
    head_ = 0;
    count_ = 0;
}

size_t SessionPacketQueue::waiting() const {
    platform::ScopedLock guard(lock_);
    return count_;
}
