// The session thread's packet ring: order, the bound and what a full ring does.
#include <gtest/gtest.h>

#include "trvcore/session/SessionPacketQueue.h"
#include "trvcore/trvnetwork/ControlMessages.h"

namespace {
PeerMessage step(uint8_t n) {
    PeerMessage m;
    buildInvitation(m, static_cast<InvitationStep>(n));
    return m;
}
}  // namespace

TEST(SessionPacketQueue, KeepsOrderAcrossTheRingsEnd) {
    SessionPacketQueue q;
    PeerMessage out;
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < SessionPacketQueue::kCapacity - 1; ++i) ASSERT_TRUE(q.push(step(1 + i % 7)));
        for (size_t i = 0; i < SessionPacketQueue::kCapacity - 1; ++i) {
            ASSERT_TRUE(q.pop(out));
            EXPECT_EQ(out.subKind(), 1 + i % 7);
        }
    }
    EXPECT_FALSE(q.pop(out));
    EXPECT_EQ(q.dropped(), 0u);
}

TEST(SessionPacketQueue, AFullRingDropsTheNewPacketAndCountsIt) {
    SessionPacketQueue q;
    for (size_t i = 0; i < SessionPacketQueue::kCapacity; ++i) ASSERT_TRUE(q.push(step(1)));
    EXPECT_FALSE(q.push(step(2)));
    EXPECT_EQ(q.dropped(), 1u);
    EXPECT_EQ(q.waiting(), SessionPacketQueue::kCapacity);
    PeerMessage out;
    ASSERT_TRUE(q.pop(out));
    EXPECT_EQ(out.subKind(), 1) << "the oldest stays first";
    EXPECT_TRUE(q.push(step(3)));
    q.clear();
    EXPECT_EQ(q.waiting(), 0u);
    EXPECT_FALSE(q.pop(out));
}

TEST(SessionPacketQueue, RefusesMessagesWithoutAUsableLength) {
    SessionPacketQueue q;
    PeerMessage empty;  // length 0
    EXPECT_FALSE(q.push(empty));
    PeerMessage big;
    big.begin(MessageKind::FileChunk, kMaxMessageLength);
    EXPECT_TRUE(q.push(big));
    PeerMessage out;
    ASSERT_TRUE(q.pop(out));
    EXPECT_EQ(out.length(), kMaxMessageLength);
}
