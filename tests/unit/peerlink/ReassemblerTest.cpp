// Reassembly of fragments into messages: order, copies, matching by
// address, the 1000 ms expiry rule and malformed or hostile pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/unit/peerlink/FakeLinkClock.h"
#include "tests/unit/peerlink/FragmentMaker.h"
#include "trvcore/trvnetwork/Reassembler.h"

namespace {

class PeerReassembly : public ::testing::Test, public ReassemblySink {
protected:
    void onReassembled(const PeerMessage& m, const PeerAddress& from) override {
        messages.emplace_back(m.data(), m.data() + m.length());
        sources.push_back(from);
    }
    void onReassemblyErrors(uint32_t count) override { errors += count; }

    void feed(const std::vector<uint8_t>& d, const PeerAddress& from) { reassembler.add(parsed(d), from); }
    bool delivered(size_t i, const PeerMessage& m) const {
        return i < messages.size() && messages[i].size() == m.length() &&
               std::memcmp(messages[i].data(), m.data(), m.length()) == 0;
    }

    FakeLinkClock clock;
    Reassembler reassembler{clock, *this};
    std::vector<std::vector<uint8_t>> messages;
    std::vector<PeerAddress> sources;
    uint32_t errors = 0;
    const PeerAddress alice{0x7F000002, 58116};
    const PeerAddress bob{0x7F000003, 58116};
};

}  // namespace

TEST_F(PeerReassembly, FragmentsInAnyOrderMakeTheMessage) {
    const PeerMessage m = patternMessage(8192);
    auto frags = fragmentsOf(m, 7);
    std::reverse(frags.begin(), frags.end());
    std::swap(frags[3], frags[11]);
    for (size_t i = 0; i < frags.size(); ++i) {
        EXPECT_TRUE(messages.empty()) << "complete after " << i << " fragments";
        feed(frags[i], alice);
    }
    EXPECT_TRUE(delivered(0, m));
    EXPECT_EQ(alice, sources[0]);
    EXPECT_EQ(0u, errors);
    EXPECT_EQ(0u, reassembler.activeCount());
}

TEST_F(PeerReassembly, CopiesAndOverlapsFromTheNetworkNeitherSpoilNorRepeatAMessage) {
    const PeerMessage m = patternMessage(2000);  // 5 fragments
    auto frags = fragmentsOf(m, 9);
    for (int i : {0, 0, 2, 1, 4, 4, 2}) feed(frags[i], alice);
    EXPECT_TRUE(messages.empty());
    feed(frags[3], alice);
    EXPECT_TRUE(delivered(0, m));
    // A late copy is dropped quietly: no second delivery, no slot left to expire.
    feed(frags[1], alice);
    const auto single = fragmentsOf(patternMessage(300), 50)[0];
    feed(single, alice);
    feed(single, alice);
    EXPECT_EQ(2u, messages.size());
    EXPECT_EQ(0u, reassembler.activeCount());
    EXPECT_EQ(0u, errors);
    // Overlapping slices still join up.
    const PeerMessage o = patternMessage(700);
    feed(rawFragment(o, 51, 300, 400, kLastFragmentFlag), alice);
    feed(rawFragment(o, 51, 0, 400, 0), alice);
    EXPECT_TRUE(delivered(2, o));
    // Long after, a number is taken to be in use again.
    clock.advanceMs(1001);
    feed(single, alice);
    EXPECT_EQ(4u, messages.size());
}

TEST_F(PeerReassembly, FragmentsMatchByNumberAndAddressButNotPort) {
    const PeerMessage a = patternMessage(1200, 11, 1);
    const PeerMessage b = patternMessage(1200, 11, 2);
    auto fa = fragmentsOf(a, 5);
    auto fb = fragmentsOf(b, 5);
    feed(fa[0], alice);
    feed(fb[0], bob);
    feed(fa[1], PeerAddress{alice.ip, 61000});
    feed(fb[1], bob);
    feed(fb[2], bob);
    feed(fa[2], alice);
    EXPECT_TRUE(delivered(0, b));
    EXPECT_TRUE(delivered(1, a));
    EXPECT_EQ(alice, sources[1]);  // the address of its first fragment
}

TEST_F(PeerReassembly, PartialMessagesExpireWhenANewMessageStartsMoreThan1000msLater) {
    auto stale = fragmentsOf(patternMessage(1500, 11, 1), 1);
    auto young = fragmentsOf(patternMessage(1500, 11, 2), 2);
    const PeerMessage next = patternMessage(100, 11, 3);
    feed(stale[0], alice);
    clock.advanceMs(600);
    feed(young[0], bob);
    clock.advanceMs(400);  // the stale one is exactly 1000 ms old: kept
    feed(fragmentsOf(next, 3)[0], alice);
    EXPECT_EQ(2u, reassembler.activeCount());
    // More fragments of a known message never trigger the walk.
    clock.advanceMs(1);
    feed(stale[1], alice);
    EXPECT_EQ(0u, errors);

    feed(fragmentsOf(next, 4)[0], alice);
    // One error for the walk that threw away both partial messages.
    EXPECT_EQ(1u, errors);
    EXPECT_EQ(0u, reassembler.activeCount());
    EXPECT_EQ(2u, messages.size());
    for (size_t i = 1; i < young.size(); ++i) feed(young[i], bob);
    EXPECT_EQ(2u, messages.size());
}

TEST_F(PeerReassembly, MalformedPiecesDropTheirMessageWithOneError) {
    const PeerMessage m = patternMessage(1500);
    auto frags = fragmentsOf(m, 12);
    feed(frags[0], alice);
    feed(rawFragment(m, 12, 498, 0, 0), alice);  // no payload
    EXPECT_EQ(1u, errors);
    EXPECT_EQ(0u, reassembler.activeCount());
    feed(rawFragment(m, 13, 8000, 200, kLastFragmentFlag), alice);  // ends at 8200
    EXPECT_EQ(2u, errors);
    // A hostile sender cutting a message into more pieces than a slot keeps.
    for (uint16_t i = 0; i <= ReassemblySlot::kMaxRanges; ++i) feed(rawFragment(m, 14, i, 1, 0), alice);
    EXPECT_EQ(3u, errors);
    EXPECT_EQ(0u, reassembler.activeCount());
    EXPECT_TRUE(messages.empty());
}

TEST_F(PeerReassembly, CompleteMessageWithBadHeaderIsCountedNotDelivered) {
    PeerMessage wrongLength = patternMessage(600);
    wrongLength.setLength(599);
    feed(rawFragment(wrongLength, 21, 0, 498, 0), alice);
    feed(rawFragment(wrongLength, 21, 498, 102, kLastFragmentFlag), alice);
    PeerMessage badMagic = patternMessage(300);
    badMagic.data()[1] = 0;
    feed(rawFragment(badMagic, 22, 0, 300, kLastFragmentFlag), alice);
    feed(rawFragment(patternMessage(300), 23, 0, 5, kLastFragmentFlag), alice);  // under 12 bytes
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(3u, errors);
    EXPECT_EQ(0u, reassembler.activeCount());
}

TEST_F(PeerReassembly, WhenEverySlotIsTakenNewMessagesCostTwoErrorsUntilExpiry) {
    const PeerMessage m = patternMessage(1000);
    for (uint16_t n = 0; n < Reassembler::kSlotCount; ++n) feed(rawFragment(m, n, 0, 100, 0), alice);
    EXPECT_EQ(0u, errors);
    feed(rawFragment(m, 5000, 0, 100, 0), alice);
    EXPECT_EQ(2u, errors);
    clock.advanceMs(1001);
    feed(fragmentsOf(patternMessage(200), 6000)[0], alice);
    EXPECT_EQ(3u, errors);
    EXPECT_EQ(1u, messages.size());
    EXPECT_EQ(0u, reassembler.activeCount());
}
