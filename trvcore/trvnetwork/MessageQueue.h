#pragma once
// The fixed ring of messages a PeerConnection sends from: 512 messages of up
// to 8192 bytes, allocated once.
//
// One producer and one consumer may run at the same time without a lock
// (the audio encoder thread pushes audio while a flush sends it). The
// consumer reads the oldest message in place with front() and takes it off
// with pop() only once it has been sent; a message that could not be sent
// simply stays in front. Producer and consumer each own one 64-bit count
// and publish it with release stores.
//
// When 512 messages wait, a push discards all of them first and the new
// message becomes the only one. The producer cannot move the consumer's
// count, so it publishes a discard mark instead, which the consumer applies
// at its next front(); one spare slot keeps the new message clear of the
// one the consumer may be reading at that moment.
//
// Producer side: push. Consumer side: front, pop, clear. Any thread:
// waiting, fill, hasSpace and the statistics.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class PeerMessage;

class MessageQueue {
public:
    static constexpr size_t kCapacity = 512;

    MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Copies the message's `length` bytes (its header's length field). A
    // length of 0 or above 8192 is ignored (false). False too in the one
    // case where the consumer has not caught up with a discard while 512
    // further messages arrived: the new message is dropped.
    bool push(const PeerMessage& message);

    // The oldest waiting message, or null. The consumer may change it in
    // place (linkFlags, a Ping's send time) before sending it.
    PeerMessage* front();
    // Takes the message front() returned off the queue.
    void pop();
    // Drops every waiting message.
    void clear();

    size_t waiting() const;
    double fill() const { return static_cast<double>(waiting()) / kCapacity; }
    bool hasSpace() const { return waiting() < kCapacity; }

    uint64_t pushedMessages() const { return pushedMessages_.load(std::memory_order_relaxed); }
    uint64_t poppedMessages() const { return poppedMessages_.load(std::memory_order_relaxed); }
    uint64_t pushedBytes() const { return pushedBytes_.load(std::memory_order_relaxed); }
    uint64_t poppedBytes() const { return poppedBytes_.load(std::memory_order_relaxed); }

private:
    static constexpr size_t kSlots = kCapacity + 1;

    std::unique_ptr<PeerMessage[]> slots_;
    // Sequence numbers of messages: written_ by the producer, read_ by the
    // consumer; discardBefore_ (producer) voids everything older.
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> read_{0};
    std::atomic<uint64_t> discardBefore_{0};
    std::atomic<uint64_t> pushedMessages_{0};
    std::atomic<uint64_t> poppedMessages_{0};
    std::atomic<uint64_t> pushedBytes_{0};
    std::atomic<uint64_t> poppedBytes_{0};
};
