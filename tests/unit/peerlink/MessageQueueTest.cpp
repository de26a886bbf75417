// The send queue: overflow, keeping an unsent message in front, and one
// producer with one consumer at the same time.
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

// Number of the front message (0 when empty), taken off when `pop`.
uint32_t front(MessageQueue& q, bool pop = false) {
    MessageQueue::Reader r(q);
    const uint32_t n = r.front() ? numberOf(*r.front()) : 0;
    if (pop) r.pop();
    return n;
}

}  // namespace

TEST(PeerMessageQueue, PushOntoAFullQueueLeavesOnlyTheNewMessage) {
    MessageQueue q;
    for (uint32_t i = 1; i <= 100; ++i) q.push(numbered(i));
    for (int i = 0; i < 60; ++i) front(q, true);  // the ring has turned
    for (uint32_t i = 101; i <= 572; ++i) q.push(numbered(i));
    EXPECT_EQ(512u, q.waiting());
    EXPECT_FALSE(q.hasSpace());
    EXPECT_DOUBLE_EQ(1.0, q.fill());
    ASSERT_TRUE(q.push(numbered(9999)));
    EXPECT_EQ(1u, q.waiting());
    EXPECT_EQ(9999u, front(q, true));
    EXPECT_TRUE(q.empty());
}

TEST(PeerMessageQueue, UnsentFrontStaysFirstWithTheChangesMadeInPlace) {
    MessageQueue q;
    q.push(numbered(1));
    q.push(numbered(2));
    {
        MessageQueue::Reader r(q);
        r.front()->setLinkFlags(6);
    }
    MessageQueue::Reader r(q);
    EXPECT_EQ(1u, numberOf(*r.front()));
    EXPECT_EQ(6, r.front()->linkFlags());
    r.pop();
    EXPECT_EQ(2u, numberOf(*r.front()));
    EXPECT_EQ(64u, q.poppedBytes());
}

TEST(PeerMessageQueue, RefusesLengthsOfZeroAndAbove8192) {
    MessageQueue q;
    EXPECT_FALSE(q.push(PeerMessage()));
    PeerMessage huge = patternMessage(100);
    wire::writeU16(huge.data(), huge.capacity(), kMessageLengthAt, 8193);
    EXPECT_FALSE(q.push(huge));
    EXPECT_TRUE(q.push(patternMessage(8192)));
    EXPECT_EQ(8192u, q.pushedBytes());
}

// The producer outruns the consumer now and then, so whole backlogs are
// discarded while the consumer is sending; what it reads must still be
// whole messages, each newer than the last, and the last one must arrive.
TEST(PeerMessageQueue, ProducerAndConsumerAtOnceSeeWholeMessagesInOrder) {
    MessageQueue q;
    constexpr uint32_t kMessages = 200000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (uint32_t i = 1; i <= kMessages; ++i) q.push(numbered(i, 16 + i % 200));
        done = true;
    });
    uint32_t last = 0;
    bool torn = false, backwards = false;
    for (;;) {
        const bool finished = done;
        MessageQueue::Reader r(q);
        PeerMessage* m = r.front();
        if (!m) {
            if (finished) break;
            continue;
        }
        const uint32_t n = numberOf(*m);
        const PeerMessage expected = numbered(n, 16 + n % 200);
        backwards |= n <= last;
        torn |= m->length() != expected.length() ||
                std::memcmp(m->data(), expected.data(), expected.length()) != 0;
        last = n;
        r.pop();
    }
    producer.join();
    EXPECT_FALSE(torn);
    EXPECT_FALSE(backwards);
    EXPECT_EQ(kMessages, last);
}
