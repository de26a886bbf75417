#pragma once
// The fixed ring of messages a PeerConnection sends from: 512 messages of up
// to 8192 bytes (or as many as it is made with), allocated once.
//
// One producer and one consumer may run at the same time (the audio encoder
// thread pushes audio while a flush sends it). The producer's usual path
// takes no lock: each side owns one 64-bit count and publishes it with a
// release store, and the producer never writes the slot the consumer reads.
//
// The consumer reads the oldest message in place through a Reader, which
// holds the queue's own lock, and takes it off only once it has been sent;
// a message that could not be sent stays in front. When 512 messages wait,
// a push discards all of them first and the new message becomes the only
// one; only this rare path takes the queue's lock, so that it never reuses
// a slot a Reader is still sending from. The queue's lock is always the
// innermost one taken.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"

class PeerMessage;

class MessageQueue {
public:
    static constexpr size_t kCapacity = 512;

    explicit MessageQueue(size_t capacity = kCapacity);
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Producer. Copies the message's `length` bytes (its header's length
    // field); false (nothing queued) for a length of 0 or above 8192.
    bool push(const PeerMessage& message);

    // Consumer access to the oldest message; one Reader at a time.
    class Reader {
    public:
        explicit Reader(MessageQueue& q) : queue_(q), guard_(q.lock_) {}
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        // The oldest waiting message, or null. It may be changed in place
        // (linkFlags, a Ping's send time) before it is sent.
        PeerMessage* front();
        // Takes the front message off the queue.
        void pop();

    private:
        MessageQueue& queue_;
        platform::ScopedLock guard_;
    };

    // Drops every waiting message.
    void clear();

    // Any thread.
    size_t waiting() const;
    bool empty() const { return waiting() == 0; }
    double fill() const { return static_cast<double>(waiting()) / static_cast<double>(capacity_); }
    bool hasSpace() const { return waiting() < capacity_; }
    size_t capacity() const { return capacity_; }

    uint64_t pushedMessages() const { return pushedMessages_.load(std::memory_order_relaxed); }
    uint64_t poppedMessages() const { return poppedMessages_.load(std::memory_order_relaxed); }
    uint64_t pushedBytes() const { return pushedBytes_.load(std::memory_order_relaxed); }
    uint64_t poppedBytes() const { return poppedBytes_.load(std::memory_order_relaxed); }

private:
    const size_t capacity_;
    std::unique_ptr<PeerMessage[]> slots_;
    platform::RecursiveLock lock_;
    // Sequence numbers: written_ counts pushes (producer), read_ pops (consumer,
    // or the producer under lock_ when it discards a full queue).
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> read_{0};
    std::atomic<uint64_t> pushedMessages_{0};
    std::atomic<uint64_t> poppedMessages_{0};
    std::atomic<uint64_t> pushedBytes_{0};
    std::atomic<uint64_t> poppedBytes_{0};
};
