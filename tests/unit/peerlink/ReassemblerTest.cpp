// Reassembly of fragments into messages: order, duplicates, matching by
// address, the 1000 ms expiry rule and hostile fragment patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/unit/peerlink/FakeLinkClock.h"
#include "tests/unit/peerlink/FragmentMaker.h"
#include "trvcore/trvnetwork/Reassembler.h"

namespace {

class RecordingSink : public ReassemblySink {
public:
    void onReassembled(const PeerMessage& m, const PeerAddress& from) override {
        messages.emplace_back(m.data(), m.data() + m.length());
        sources.push_back(from);
    }
    void onReassemblyErrors(uint32_t count) override { errors += count; }

    std::vector<std::vector<uint8_t>> messages;
    std::vector<PeerAddress> sources;
    uint32_t errors = 0;
};

class PeerReassembly : public ::testing::Test {
protected:
    PeerReassembly() : reassembler(clock, sink) {}

    void feed(const std::vector<uint8_t>& d, const PeerAddress& from) {
        reassembler.add(parsed(d), from);
    }
    static bool same(const std::vector<uint8_t>& got, const PeerMessage& m) {
        return got.size() == m.length() && std::memcmp(got.data(), m.data(), got.size()) == 0;
    }

    FakeLinkClock clock;
    RecordingSink sink;
    Reassembler reassembler;
    const PeerAddress alice{0x7F000002, 58116};
    const PeerAddress bob{0x7F000003, 58116};
};

}  // namespace

TEST_F(PeerReassembly, FragmentsInAnyOrderMakeTheMessage) {
    const PeerMessage m = patternMessage(8192);
    auto frags = fragmentsOf(m, 7);
    ASSERT_EQ(17u, frags.size());
    std::reverse(frags.begin(), frags.end());
    std::swap(frags[3], frags[11]);
    for (size_t i = 0; i < frags.size(); ++i) {
        EXPECT_TRUE(sink.messages.empty()) << "complete after only " << i << " fragments";
        feed(frags[i], alice);
    }
    ASSERT_EQ(1u, sink.messages.size());
    EXPECT_TRUE(same(sink.messages[0], m));
    EXPECT_EQ(alice, sink.sources[0]);
    EXPECT_EQ(0u, sink.errors);
    EXPECT_EQ(0u, reassembler.activeCount());
}

TEST_F(PeerReassembly, DuplicatedFragmentsDoNotSpoilTheMessage) {
    const PeerMessage m = patternMessage(2000);
    auto frags = fragmentsOf(m, 9);
    feed(frags[0], alice);
    feed(frags[0], alice);
    feed(frags[2], alice);
    feed(frags[1], alice);
    feed(frags[2], alice);
    feed(frags[4], alice);
    feed(frags[4], alice);
    EXPECT_TRUE(sink.messages.empty());
    feed(frags[3], alice);
    ASSERT_EQ(1u, sink.messages.size());
    EXPECT_TRUE(same(sink.messages[0], m));
    // A copy arriving after delivery is dropped quietly: no second
    // delivery, no slot left waiting to expire.
    feed(frags[1], alice);
    EXPECT_EQ(1u, sink.messages.size());
    EXPECT_EQ(0u, reassembler.activeCount());
    EXPECT_EQ(0u, sink.errors);
}

TEST_F(PeerReassembly, OneFragmentMessageDeliveredTwiceByTheNetworkArrivesOnce) {
    const auto d = fragmentsOf(patternMessage(300), 50)[0];
    feed(d, alice);
    feed(d, alice);
    EXPECT_EQ(1u, sink.messages.size());
    // The same number from another address is another sender's message.
    feed(d, bob);
    EXPECT_EQ(2u, sink.messages.size());
    // Long after, the number is taken to be in use again.
    clock.advanceMs(1001);
    feed(d, alice);
    EXPECT_EQ(3u, sink.messages.size());
}

TEST_F(PeerReassembly, OverlappingSlicesStillJoinUp) {
    const PeerMessage m = patternMessage(700);
    feed(rawFragment(m, 3, 300, 400, kLastFragmentFlag), alice);
    feed(rawFragment(m, 3, 0, 400, 0), alice);
    ASSERT_EQ(1u, sink.messages.size());
    EXPECT_TRUE(same(sink.messages[0], m));
}

TEST_F(PeerReassembly, AnotherPortOfTheSameAddressJoinsTheSlot) {
    const PeerMessage m = patternMessage(1200);
    auto frags = fragmentsOf(m, 42);
    feed(frags[0], alice);
    feed(frags[1], PeerAddress{alice.ip, 61000});
    feed(frags[2], alice);
    ASSERT_EQ(1u, sink.messages.size());
    // The message carries the address of its first fragment.
    EXPECT_EQ(alice, sink.sources[0]);
}

TEST_F(PeerReassembly, SameNumberFromAnotherAddressIsAnotherMessage) {
    const PeerMessage a = patternMessage(1200, 11, 1);
    const PeerMessage b = patternMessage(1200, 11, 2);
    auto fa = fragmentsOf(a, 5);
    auto fb = fragmentsOf(b, 5);
    feed(fa[0], alice);
    feed(fb[0], bob);
    feed(fa[1], alice);
    feed(fb[1], bob);
    feed(fb[2], bob);
    feed(fa[2], alice);
    ASSERT_EQ(2u, sink.messages.size());
    EXPECT_TRUE(same(sink.messages[0], b));
    EXPECT_TRUE(same(sink.messages[1], a));
}

TEST_F(PeerReassembly, PartialMessagesExpireWhenANewMessageStartsMoreThan1000msLater) {
    const PeerMessage stale = patternMessage(1500, 11, 1);
    const PeerMessage young = patternMessage(1500, 11, 2);
    const PeerMessage next = patternMessage(100, 11, 3);
    auto fs = fragmentsOf(stale, 1);
    auto fy = fragmentsOf(young, 2);
    feed(fs[0], alice);
    clock.advanceMs(600);
    feed(fy[0], bob);
    clock.advanceMs(400);  // the stale one is exactly 1000 ms old: kept
    feed(fragmentsOf(next, 3)[0], alice);
    EXPECT_EQ(1u, sink.messages.size());
    EXPECT_EQ(2u, reassembler.activeCount());
    EXPECT_EQ(0u, sink.errors);

    clock.advanceMs(1);
    feed(fragmentsOf(next, 4)[0], alice);
    // One error for the walk that threw away both partial messages.
    EXPECT_EQ(1u, sink.errors);
    EXPECT_EQ(0u, reassembler.activeCount());
    EXPECT_EQ(2u, sink.messages.size());
    // The rest of a thrown-away message cannot complete it any more.
    for (size_t i = 1; i < fy.size(); ++i) feed(fy[i], bob);
    EXPECT_EQ(2u, sink.messages.size());
}

TEST_F(PeerReassembly, FragmentsOfAKnownMessageDoNotTriggerExpiry) {
    const PeerMessage m = patternMessage(1500);
    auto frags = fragmentsOf(m, 8);
    feed(frags[0], alice);
    clock.advanceMs(5000);
    for (size_t i = 1; i < frags.size(); ++i) feed(frags[i], alice);
    ASSERT_EQ(1u, sink.messages.size());
    EXPECT_EQ(0u, sink.errors);
}

TEST_F(PeerReassembly, EmptyOrOverlongFragmentDropsItsMessage) {
    const PeerMessage m = patternMessage(1500);
    auto frags = fragmentsOf(m, 12);
    feed(frags[0], alice);
    feed(rawFragment(m, 12, 498, 0, 0), alice);  // no payload
    EXPECT_EQ(1u, sink.errors);
    EXPECT_EQ(0u, reassembler.activeCount());
    for (size_t i = 1; i < frags.size(); ++i) feed(frags[i], alice);
    EXPECT_TRUE(sink.messages.empty());

    feed(rawFragment(m, 13, 8000, 200, kLastFragmentFlag), alice);  // ends at 8200
    EXPECT_EQ(2u, sink.errors);
    EXPECT_EQ(1u, reassembler.activeCount());  // what message 12 left behind
}

TEST_F(PeerReassembly, CompleteMessageWithBadHeaderIsCountedNotDelivered) {
    // Fragments covering 600 bytes of a message whose header says 599.
    PeerMessage wrongLength = patternMessage(600);
    wrongLength.setLength(599);
    feed(rawFragment(wrongLength, 21, 0, 498, 0), alice);
    feed(rawFragment(wrongLength, 21, 498, 102, kLastFragmentFlag), alice);
    PeerMessage badMagic = patternMessage(300);
    badMagic.data()[1] = 0;
    feed(rawFragment(badMagic, 22, 0, 300, kLastFragmentFlag), alice);
    // Shorter than a message header.
    feed(rawFragment(badMagic, 23, 0, 5, kLastFragmentFlag), alice);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(3u, sink.errors);
    EXPECT_EQ(0u, reassembler.activeCount());
}

TEST_F(PeerReassembly, WhenEverySlotIsTakenNewMessagesCostTwoErrorsUntilExpiry) {
    const PeerMessage m = patternMessage(1000);
    for (uint16_t n = 0; n < Reassembler::kSlotCount; ++n) feed(rawFragment(m, n, 0, 100, 0), alice);
    EXPECT_EQ(Reassembler::kSlotCount, reassembler.activeCount());
    EXPECT_EQ(0u, sink.errors);
    feed(rawFragment(m, 5000, 0, 100, 0), alice);
    EXPECT_EQ(2u, sink.errors);

    clock.advanceMs(1001);
    const PeerMessage small = patternMessage(200);
    feed(fragmentsOf(small, 6000)[0], alice);
    EXPECT_EQ(3u, sink.errors);
    ASSERT_EQ(1u, sink.messages.size());
    EXPECT_EQ(0u, reassembler.activeCount());
}

TEST_F(PeerReassembly, MessageCutIntoTooManyPiecesIsDropped) {
    const PeerMessage m = patternMessage(200);
    for (uint16_t i = 0; i < ReassemblySlot::kMaxRanges; ++i)
        feed(rawFragment(m, 77, i, 1, 0), alice);
    EXPECT_EQ(0u, sink.errors);
    EXPECT_EQ(1u, reassembler.activeCount());
    feed(rawFragment(m, 77, ReassemblySlot::kMaxRanges, 1, 0), alice);
    EXPECT_EQ(1u, sink.errors);
    EXPECT_EQ(0u, reassembler.activeCount());
}
