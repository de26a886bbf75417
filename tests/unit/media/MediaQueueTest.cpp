// The timed media queue: due times, arena placement, overflow, the ring's
// wrap, and one producer and one consumer at full speed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "trvcore/audio/MediaQueue.h"

namespace {

MediaSlot* put(MediaQueue& q, int length, int duration = 0, uint8_t fill = 0) {
    MediaSlot* s = q.reserve(length);
    if (s) std::memset(s->data, fill, static_cast<size_t>(length));
    return s && q.commit(duration) ? s : nullptr;
}

}  // namespace

TEST(MediaQueueReading, EmptyQueueAndADelayOfThreeSlots) {
    MediaQueue q(8, 100);
    EXPECT_EQ(q.pop(), nullptr);
    EXPECT_EQ(q.takeLatest(), nullptr);
    EXPECT_EQ(q.queuedDuration(), 0);
    q.setDelay(3);
    put(q, 1, 1);
    put(q, 1, 1);
    EXPECT_EQ(q.peek(), nullptr);
    put(q, 1, 1);
    EXPECT_NE(q.pop(), nullptr);
    EXPECT_EQ(q.peek(), nullptr);  // readClock 1 + 3 > writeClock 3
}

TEST(MediaQueueReading, TakeLatestReturnsTheNewestAndEmptiesTheQueue) {
    MediaQueue q(8, 100);
    put(q, 5, 1);
    MediaSlot* newest = put(q, 5, 1);
    EXPECT_EQ(q.takeLatest(), newest);
    EXPECT_EQ(q.peek(), nullptr);
    EXPECT_EQ(q.queuedDuration(), 0);
}

TEST(MediaQueueReading, QueuedDurationFollowsTheRingAcrossItsWrap) {
    MediaQueue q(4, 1000);
    for (int d = 1; d <= 3; ++d) put(q, 1, d);
    q.pop();
    q.pop();
    put(q, 1, 4);
    put(q, 1, 5);  // unread: slots 2, 3 and 0
    EXPECT_EQ(q.queuedDuration(), 3 + 4 + 5);
}

TEST(MediaQueueArena, OverflowEmptiesTheQueueAndTheNextReservationStartsAtZero) {
    MediaQueue q(8, 100);
    MediaSlot* first = put(q, 60, 5);
    EXPECT_EQ(q.reserve(41), nullptr);
    EXPECT_EQ(q.unreadCount(), 0);
    EXPECT_EQ(q.writeClock(), 0);
    EXPECT_EQ(put(q, 100)->data, first->data);
}

TEST(MediaQueueArena, TheSkippedTailNeverLetsAReservationOverlapUnreadPayload) {
    MediaQueue q(8, 100);
    MediaSlot* a = put(q, 40, 0, 1);
    MediaSlot* b = put(q, 40, 0, 2);
    q.pop();
    q.peek();                                 // done with a
    EXPECT_EQ(put(q, 30, 0, 3)->data, a->data);  // no room at the tail: from 0
    // 85 unread bytes fit the arena, but the free run from 30 ends at b.
    EXPECT_EQ(q.reserve(15), nullptr);
    EXPECT_EQ(b->data[0], 2);
}

TEST(MediaQueueArena, AFullDescriptorRingFailsLikeAnOverflow) {
    MediaQueue q(4, 1000);
    for (int i = 0; i < 4; ++i) ASSERT_NE(put(q, 10, 1), nullptr);
    EXPECT_EQ(q.reserve(10), nullptr);
    EXPECT_EQ(q.unreadCount(), 0);
    EXPECT_NE(put(q, 10, 1), nullptr);
}

TEST(MediaQueueArena, APoppedSlotStaysIntactUntilTheConsumersNextCall) {
    MediaQueue q(8, 100);
    MediaSlot* popped = (put(q, 50, 0, 7), q.pop());
    q.reset();  // as the producer's overflow would
    EXPECT_EQ(q.reserve(60), nullptr);
    EXPECT_EQ(popped->data[49], 7);
    q.peek();
    EXPECT_NE(q.reserve(60), nullptr);
}

TEST(MediaQueueArena, AResetOvertakingReserveOrPeekLosesNothingNew) {
    MediaQueue q(8, 100);
    q.reserve(10);
    q.reset();
    EXPECT_FALSE(q.commit(1));
    EXPECT_EQ(q.peek(), nullptr);
    put(q, 10);
    q.peek();
    q.reset();
    MediaSlot* fresh = put(q, 10);
    q.release();  // meant the slot the reset dropped
    EXPECT_EQ(q.peek(), fresh);
}

// Every payload byte carries its sequence number; the consumer checks each
// popped payload whole while the producer runs on into overflows.
TEST(MediaQueueThreads, PayloadsArriveWholeAndInOrder) {
    MediaQueue q(16, 4000);
    constexpr uint32_t kItems = 200000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (uint32_t n = 1; n <= kItems; ++n) {
            const int length = 50 + static_cast<int>(n * 7919 % 400);
            // Room kept, so an unscheduled consumer does not see everything
            // thrown away by overflow resets before it reads once.
            while (q.unreadCount() >= 12) std::this_thread::yield();
            if (MediaSlot* s = q.reserve(length)) {
                std::memset(s->data, static_cast<int>(n & 0xff), static_cast<size_t>(length));
                s->userWord = n;
                q.commit(1);
            }
        }
        done = true;
    });
    uint32_t last = 0, torn = 0, disorder = 0;
    while (!done.load() || q.unreadCount() > 0) {
        const MediaSlot* s = q.pop();
        if (!s) {
            std::this_thread::yield();
            continue;
        }
        for (int i = 0; i < s->length; ++i) torn += s->data[i] != static_cast<uint8_t>(s->userWord);
        disorder += s->userWord <= last;
        last = s->userWord;
    }
    producer.join();
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(disorder, 0u);
    EXPECT_GT(last, 0u);
}
