// The timed media queue: due times, arena placement, overflow, the ring's
// wrap, and one producer and one consumer at full speed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "trvcore/MediaQueue.h"

namespace {

// Reserves, fills with `fill` and commits; the slot or null.
MediaSlot* put(MediaQueue& q, int length, int duration = 0, uint8_t fill = 0) {
    MediaSlot* s = q.reserve(length);
    if (!s) return nullptr;
    std::memset(s->data, fill, static_cast<size_t>(length));
    return q.commit(duration) ? s : nullptr;
}

int offsetIn(const MediaQueue& q, const MediaSlot* s, const MediaSlot* first) {
    (void)q;
    return static_cast<int>(s->data - first->data);
}

}  // namespace

TEST(MediaQueueEmpty, NothingToReadAndNoDuration) {
    std::unique_ptr<MediaQueue> q(MediaQueue::create(8, 100));
    ASSERT_TRUE(q);
    EXPECT_EQ(q->peek(), nullptr);
    EXPECT_EQ(q->pop(), nullptr);
    EXPECT_EQ(q->takeLatest(), nullptr);
    EXPECT_EQ(q->queuedDuration(), 0);
    EXPECT_EQ(MediaQueue::create(0, 100), nullptr);
    EXPECT_EQ(MediaQueue::create(8, 0), nullptr);
}

TEST(MediaQueueDelay, FirstSlotIsDueOnlyOnceTheDelayIsWrittenAhead) {
    MediaQueue q(8, 100);
    q.setDelay(3);
    put(q, 1, 1);
    put(q, 1, 1);
    EXPECT_EQ(q.peek(), nullptr);
    put(q, 1, 1);
    ASSERT_NE(q.pop(), nullptr);
    EXPECT_EQ(q.peek(), nullptr);  // readClock 1 + 3 > writeClock 3
    put(q, 1, 1);
    EXPECT_NE(q.peek(), nullptr);
    EXPECT_EQ(q.queuedDuration(), 3);
}

TEST(MediaQueueArena, AReservationThatDoesNotFitTheTailStartsAtZero) {
    MediaQueue q(8, 100);
    MediaSlot* first = put(q, 40);
    MediaSlot* second = put(q, 40);
    EXPECT_EQ(offsetIn(q, second, first), 40);
    q.pop();
    q.pop();
    q.peek();  // the consumer is done with what it popped
    MediaSlot* third = q.reserve(30);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->data, first->data);
}

TEST(MediaQueueArena, OverflowEmptiesTheQueueAndTheNextReservationStartsClean) {
    MediaQueue q(8, 100);
    put(q, 60, 5);
    EXPECT_EQ(q.reserve(41), nullptr);
    EXPECT_EQ(q.unreadCount(), 0);
    EXPECT_EQ(q.writeClock(), 0);
    MediaSlot* s = put(q, 100, 2);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(q.pop(), s);
}

TEST(MediaQueueArena, TheSkippedTailNeverLetsAReservationOverlapUnreadPayload) {
    MediaQueue q(8, 100);
    put(q, 40, 0, 1);
    MediaSlot* unread = put(q, 40, 0, 2);
    q.pop();
    q.peek();
    ASSERT_NE(put(q, 30, 0, 3), nullptr);  // at 0: 70 bytes unread
    // 85 unread bytes would fit the arena, but the free run at 30 ends at 40.
    EXPECT_EQ(q.reserve(15), nullptr);
    EXPECT_EQ(q.unreadCount(), 0);
    EXPECT_EQ(unread->data[39], 2);
}

TEST(MediaQueueArena, AFullDescriptorRingFailsLikeAnOverflow) {
    MediaQueue q(4, 1000);
    for (int i = 0; i < 4; ++i) ASSERT_NE(put(q, 10, 1), nullptr);
    EXPECT_EQ(q.reserve(10), nullptr);
    EXPECT_EQ(q.unreadCount(), 0);
    EXPECT_NE(put(q, 10, 1), nullptr);
}

TEST(MediaQueueReading, TakeLatestReturnsTheNewestAndEmptiesTheQueue) {
    MediaQueue q(8, 100);
    put(q, 5, 1, 1);
    put(q, 5, 1, 2);
    MediaSlot* newest = put(q, 5, 1, 3);
    EXPECT_EQ(q.takeLatest(), newest);
    EXPECT_EQ(newest->data[0], 3);
    EXPECT_EQ(q.peek(), nullptr);
    EXPECT_EQ(q.queuedDuration(), 0);
    EXPECT_EQ(q.readClock(), q.writeClock());
}

TEST(MediaQueueReading, QueuedDurationFollowsTheRingAcrossItsWrap) {
    MediaQueue q(4, 1000);
    put(q, 1, 1);
    put(q, 1, 2);
    put(q, 1, 3);
    q.pop();
    q.pop();
    put(q, 1, 4);
    put(q, 1, 5);  // unread: slots 2, 3 and 0
    EXPECT_EQ(q.queuedDuration(), 3 + 4 + 5);
}

TEST(MediaQueueReading, APoppedSlotStaysIntactUntilTheConsumersNextCall) {
    MediaQueue q(8, 100);
    put(q, 50, 0, 7);
    MediaSlot* popped = q.pop();
    q.reset();  // as the producer's overflow would
    EXPECT_EQ(q.reserve(60), nullptr);
    EXPECT_EQ(popped->data[49], 7);
    q.peek();
    EXPECT_NE(q.reserve(60), nullptr);
}

TEST(MediaQueueReading, AResetBetweenReserveAndCommitDropsTheSlot) {
    MediaQueue q(8, 100);
    ASSERT_NE(q.reserve(10), nullptr);
    q.reset();
    EXPECT_FALSE(q.commit(1));
    EXPECT_EQ(q.peek(), nullptr);
    // Release after a peek that a reset overtook leaves the new slot alone.
    put(q, 10, 0, 1);
    q.peek();
    q.reset();
    MediaSlot* fresh = put(q, 10, 0, 2);
    q.release();
    EXPECT_EQ(q.peek(), fresh);
}

// The producer stamps every payload byte with its sequence number; the
// consumer checks each popped payload whole while the producer runs on.
TEST(MediaQueueThreads, PayloadsArriveWholeAndInOrderAcrossOverflows) {
    MediaQueue q(16, 4000);
    constexpr uint32_t kItems = 200000;
    std::atomic<bool> done{false};
    std::atomic<int> go{0};
    std::thread producer([&] {
        for (go.fetch_add(1); go.load() < 2;) {}
        for (uint32_t n = 1; n <= kItems; ++n) {
            const int length = 50 + static_cast<int>(n * 7919 % 400);
            if (MediaSlot* s = q.reserve(length)) {
                std::memset(s->data, static_cast<int>(n & 0xff), static_cast<size_t>(length));
                s->userWord = n;
                q.commit(1);
            }
        }
        done = true;
    });
    uint32_t last = 0, seen = 0, torn = 0, disorder = 0;
    for (go.fetch_add(1); go.load() < 2;) {}
    while (!done.load() || q.unreadCount() > 0) {
        MediaSlot* s = q.pop();
        if (!s) continue;
        const uint8_t tag = static_cast<uint8_t>(s->userWord & 0xff);
        for (int i = 0; i < s->length; ++i) torn += s->data[i] != tag;
        disorder += s->userWord <= last;
        last = s->userWord;
        ++seen;
    }
    producer.join();
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(disorder, 0u);
    EXPECT_GT(seen, 0u);
}
