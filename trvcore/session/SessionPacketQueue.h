#pragma once
// The packets a partner session's thread still has to handle: a fixed ring
// of 64 messages, allocated once. The link's network thread pushes, the
// session thread pops, close() empties it from whichever thread closes.
// A push into a full ring drops the new packet and counts it: the earlier
// packets keep their order, and every handshake step is sent several times.
//
// Each operation holds the queue's own lock for one copy; it is always the
// innermost lock taken.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"

class PeerMessage;

class SessionPacketQueue {
public:
    static constexpr size_t kCapacity = 64;

    SessionPacketQueue();
    SessionPacketQueue(const SessionPacketQueue&) = delete;
    SessionPacketQueue& operator=(const SessionPacketQueue&) = delete;

    // False (nothing queued) when the ring was not allocated, the ring is
    // full (counted in dropped()) or the message's length is 0 or above 8192.
    bool push(const PeerMessage& message);
    // Copies the oldest packet into `out` and takes it off; false if none.
    bool pop(PeerMessage& out);
    void clear();

    size_t waiting() const;
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::unique_ptr<PeerMessage[]> slots_;
    mutable platform::RecursiveLock lock_;
    size_t head_ = 0;   // next to pop
    size_t count_ = 0;  // waiting
    std::atomic<uint64_t> dropped_{0};
};
