// The send queue: overflow, keeping an unsent message in front, and the
// lock-free use by one producer and one consumer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/unit/peerlink/FragmentMaker.h"
#include "trvcore/trvnetwork/MessageQueue.h"
#include "trvcore/trvnetwork/WireBytes.h"

namespace {

PeerMessage numbered(uint32_t n, size_t length = 64) {
    PeerMessage m = patternMessage(length, 1, static_cast<uint8_t>(n));
    wire::writeU32(m.data(), m.capacity(), 12, n);
    return m;
}

uint32_t numberOf(const PeerMessage& m) {
    uint32_t n = 0;
    wire::readU32(m.data(), m.capacity(), 12, n);
    return n;
}

// Number of the front message, 0 when empty.
uint32_t frontNumber(MessageQueue& q) {
    MessageQueue::Reader r(q);
    return r.front() ? numberOf(*r.front()) : 0;
}

void popOne(MessageQueue& q) {
    MessageQueue::Reader r(q);
    r.pop();
}

}  // namespace

TEST(PeerMessageQueue, PushOntoAFullQueueLeavesOnlyTheNewMessage) {
    MessageQueue q;
    for (uint32_t i = 0; i < MessageQueue::kCapacity; ++i) ASSERT_TRUE(q.push(numbered(i)));
    EXPECT_EQ(512u, q.waiting());
    EXPECT_FALSE(q.hasSpace());
    EXPECT_DOUBLE_EQ(1.0, q.fill());

    ASSERT_TRUE(q.push(numbered(9999)));
    EXPECT_EQ(1u, q.waiting());
    EXPECT_EQ(9999u, frontNumber(q));
    popOne(q);
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(0u, frontNumber(q));
}

TEST(PeerMessageQueue, FullQueueDiscardAfterPartialDrainStillKeepsOnlyTheNewest) {
    MessageQueue q;
    for (uint32_t i = 0; i < 100; ++i) q.push(numbered(i));
    for (int i = 0; i < 60; ++i) popOne(q);
    for (uint32_t i = 100; i < 572; ++i) q.push(numbered(i));
    EXPECT_EQ(512u, q.waiting());
    q.push(numbered(572));
    EXPECT_EQ(1u, q.waiting());
    EXPECT_EQ(572u, frontNumber(q));
}

TEST(PeerMessageQueue, FrontStaysUntilPoppedAndKeepsChangesMadeInPlace) {
    MessageQueue q;
    q.push(numbered(1));
    q.push(numbered(2));
    {
        MessageQueue::Reader r(q);
        ASSERT_NE(nullptr, r.front());
        r.front()->setLinkFlags(6);
    }
    // Not sent: it is still first, as changed.
    {
        MessageQueue::Reader r(q);
        EXPECT_EQ(1u, numberOf(*r.front()));
        EXPECT_EQ(6, r.front()->linkFlags());
        r.pop();
    }
    EXPECT_EQ(2u, frontNumber(q));
    EXPECT_EQ(2u, q.pushedMessages());
    EXPECT_EQ(1u, q.poppedMessages());
    EXPECT_EQ(64u, q.poppedBytes());
}

TEST(PeerMessageQueue, CopiesOnlyTheMessagesLengthAndRefusesBadLengths) {
    MessageQueue q;
    PeerMessage empty;
    EXPECT_FALSE(q.push(empty));
    PeerMessage huge = patternMessage(100);
    wire::writeU16(huge.data(), huge.capacity(), kMessageLengthAt, 8193);
    EXPECT_FALSE(q.push(huge));
    EXPECT_EQ(0u, q.waiting());
    ASSERT_TRUE(q.push(patternMessage(8192)));
    EXPECT_EQ(8192u, q.pushedBytes());
}

TEST(PeerMessageQueue, ClearDropsEverythingWaiting) {
    MessageQueue q;
    for (uint32_t i = 0; i < 10; ++i) q.push(numbered(i));
    q.clear();
    EXPECT_TRUE(q.empty());
    q.push(numbered(10));
    EXPECT_EQ(10u, frontNumber(q));
}

// The producer outruns the consumer now and then, so whole backlogs are
// discarded while the consumer is sending; what it reads must still be
// whole messages, each newer than the last, and the last one pushed must
// arrive.
TEST(PeerMessageQueue, ProducerAndConsumerAtOnceSeeWholeMessagesInOrder) {
    MessageQueue q;
    constexpr uint32_t kMessages = 200000;
    std::atomic<bool> go{false};
    std::atomic<bool> done{false};
    std::thread producer([&] {
        while (!go) std::this_thread::yield();
        for (uint32_t i = 1; i <= kMessages; ++i) ASSERT_TRUE(q.push(numbered(i, 16 + (i % 200))));
        done = true;
    });
    uint32_t last = 0;
    bool torn = false;
    bool backwards = false;
    go = true;
    for (;;) {
        const bool finished = done;
        MessageQueue::Reader r(q);
        PeerMessage* m = r.front();
        if (!m) {
            if (finished) break;
            std::this_thread::yield();
            continue;
        }
        const uint32_t n = numberOf(*m);
        if (n <= last) backwards = true;
        const PeerMessage expected = numbered(n, 16 + (n % 200));
        if (m->length() != expected.length() ||
            std::memcmp(m->data(), expected.data(), expected.length()) != 0)
            torn = true;
        last = n;
        r.pop();
    }
    producer.join();
    EXPECT_FALSE(torn);
    EXPECT_FALSE(backwards);
    EXPECT_EQ(kMessages, last);
    EXPECT_EQ(q.pushedMessages(), kMessages);
}
