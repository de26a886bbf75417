#pragma once
// First-in first-out ring of timed slots whose payloads live in one byte
// arena owned by the queue: the buffer between one producer thread and one
// consumer thread for blocks of audio and for received video frames.
//
// Every slot carries a duration. The queue sums the durations written
// (writeClock) and read (readClock); the oldest slot becomes due once
// readClock + delay <= writeClock, so a delay holds the reader back by that
// much material.
//
// Producer: reserve(length), write the payload and any user fields, then
// commit(duration). Consumer: peek, pop, release, takeLatest.
//
// Space. A reservation never overlaps unread payload nor the slot the
// consumer is reading (below), and never takes a descriptor that holds
// either. When it cannot be placed - the unread bytes would exceed the
// arena, the free space is split by the skipped tail, or all descriptors
// are taken - the queue empties itself and the reservation fails; the next
// one starts from a clean queue.
//
// Reading. The slot returned by peek, pop or takeLatest, and the slot
// removed by release, stays intact until the consumer's next call of peek,
// pop, release or takeLatest, even across a reset or an overflow on the
// producer's side; pointers into it must not be kept beyond that call.
//
// Threads. One producer and one consumer; reset and setDelay from either.
// Every operation takes the queue's own lock briefly (always the innermost
// lock); payload bytes are written and read outside it. A reservation that
// a reset overtook before its commit is dropped by that commit.
#include <cstdint>

#include "platform/Lock.h"

struct MediaSlot {
    int64_t stamp = 0;       // free for the user; zeroed by a reservation
    uint32_t userWord = 0;   // free for the user; zeroed by a reservation
    uint32_t flags = 0;      // free for the user; kept by a reservation
    uint32_t spare = 0;      // free for the user; kept by a reservation
    uint8_t* data = nullptr; // the payload in the arena
    int64_t queueClock = 0;  // writeClock when reserved and committed
    int32_t duration = 0;    // set by commit
    int32_t length = 0;      // payload bytes, set by the reservation
};

class MediaQueue {
public:
    // Null when a size is below 1 or the memory could not be had.
    static MediaQueue* create(int slotCount, int arenaSize);

    MediaQueue(int slotCount, int arenaSize);
    ~MediaQueue();
    MediaQueue(const MediaQueue&) = delete;
    MediaQueue& operator=(const MediaQueue&) = delete;
    // False when the sizes were refused or allocation failed; such a queue
    // refuses every reservation.
    bool valid() const { return slots_ != nullptr && arena_ != nullptr; }

    // Drops everything unread; clocks, indices, counts and byte totals to 0.
    void reset();
    // Stores the delay (unit of the durations), then resets.
    void setDelay(int32_t delay);

    // Producer. Hands out the next slot with room for `length` bytes, or
    // null: a negative length is refused as it is; a length that cannot be
    // placed resets the queue first.
    MediaSlot* reserve(int32_t length);
    // Publishes the slot of the last reservation. False when there was
    // none, or a reset came between the reservation and this commit.
    bool commit(int32_t duration);

    // Consumer. The oldest unread slot if it is due, left in the queue.
    MediaSlot* peek();
    // peek, and if it returned a slot, release it.
    MediaSlot* pop();
    // Removes the oldest unread slot. After a peek whose slot a reset has
    // since dropped, removes nothing.
    void release();
    // The newest committed slot, due or not; all unread slots count as read.
    MediaSlot* takeLatest();
    // The consumer is done with the slot pop or takeLatest returned: the
    // producer may reuse it at once instead of after the next call.
    void finishRead();

    // Sum of the durations of the unread slots.
    int32_t queuedDuration() const;
    int unreadCount() const;

    int64_t writeClock() const;
    int64_t readClock() const;
    int32_t delay() const;
    uint32_t pushedCount() const;
    uint32_t poppedCount() const;
    int64_t bytesCommitted() const;
    int64_t bytesReleased() const;
    int slotCount() const { return slotCount_; }
    int arenaSize() const { return arenaSize_; }

private:
    void resetLocked();
    MediaSlot* peekLocked();
    void releaseLocked();
    void endHold();
    void hold(int index, bool fromPeek);
    int offsetOf(const MediaSlot& s) const { return static_cast<int>(s.data - arena_); }
    int unreadLocked() const { return static_cast<int>(pushedCount_ - poppedCount_); }
    bool isFree(int offset, int length) const;
    int next(int index) const { return index + 1 == slotCount_ ? 0 : index + 1; }

    int64_t writeClock_ = 0;
    int64_t readClock_ = 0;
    mutable platform::RecursiveLock lock_;
    MediaSlot* slots_ = nullptr;
    uint8_t* arena_ = nullptr;
    int32_t delay_ = 0;
    int slotCount_ = 0;
    int readIndex_ = 0;
    int writeIndex_ = 0;
    uint32_t pushedCount_ = 0;
    uint32_t poppedCount_ = 0;
    int arenaSize_ = 0;
    int arenaWriteOffset_ = 0;
    int64_t bytesReleased_ = 0;
    int64_t bytesCommitted_ = 0;

    // Each reset starts a new generation; a reservation or a peek made in
    // an older one no longer refers to queue contents.
    uint32_t generation_ = 0;
    bool reserved_ = false;
    uint32_t reservedGeneration_ = 0;
    // The slot the consumer is reading, or -1.
    int heldIndex_ = -1;
    bool heldFromPeek_ = false;
    uint32_t heldGeneration_ = 0;
};
