// Datagram header, control datagrams, fragment datagrams and the fragment
// split of a message.
#include <gtest/gtest.h>

#include <cstring>

#include "trvcore/trvnetwork/Datagram.h"
#include "trvcore/trvnetwork/WireBytes.h"

namespace {

// A 14-byte datagram with the given signature fields.
void control(uint8_t* b, uint16_t number, uint16_t offset, uint8_t flags, uint8_t b10,
             uint8_t b11) {
    DatagramHeader h;
    h.datagramLength = 14;
    h.messageNumber = number;
    h.fragmentOffset = offset;
    h.fragmentFlags = flags;
    writeDatagramHeader(b, 14, h);
    b[10] = b10;
    b[11] = b11;
    b[12] = 0x11;
    b[13] = 0x27;
}

}  // namespace

TEST(PeerDatagramControl, ControlDatagramsAreTheirExactFourteenBytes) {
    uint8_t b[14];
    ASSERT_EQ(14u, buildHolePunch(b, sizeof b));
    const uint8_t hole[14] = {0x5E, 0xB7, 14, 0, 0xF2, 0x7B, 0, 0, 0, 5, 0xA9, 0x6D, 0x11, 0x27};
    EXPECT_EQ(0, std::memcmp(hole, b, 14));
    EXPECT_EQ(DatagramType::HolePunch, classifyDatagram(b, 14));
    ASSERT_EQ(14u, buildPortQuery(b, sizeof b));
    const uint8_t query[14] = {0x5E, 0xB7, 14, 0, 0xF3, 0x6B, 0, 0, 0, 9, 0x3C, 0xF0, 0x11, 0x27};
    EXPECT_EQ(0, std::memcmp(query, b, 14));
    EXPECT_EQ(DatagramType::PortQuery, classifyDatagram(b, 14));
    EXPECT_EQ(0u, buildPortReply(b, 13, 1));
    // A PortReply carries the port little-endian, whatever the host.
    ASSERT_EQ(14u, buildPortReply(b, sizeof b, 0xE304));
    EXPECT_EQ(0x04, b[12]);
    EXPECT_EQ(0xE3, b[13]);
    uint16_t port = 0;
    ASSERT_TRUE(readPortReply(b, sizeof b, port));
    EXPECT_EQ(0xE304, port);
}

TEST(PeerDatagramControl, HolePunchNumberWithFlagsOneIsAnOrdinaryFragment) {
    uint8_t b[14];
    control(b, kHolePunchNumber, 0, kLastFragmentFlag, 0xA9, 0x6D);
    EXPECT_EQ(DatagramType::Fragment, classifyDatagram(b, 14));
    Fragment f;
    // It carries no payload, so reassembly is told to drop its message.
    EXPECT_EQ(FragmentStatus::BadRange, parseFragment(b, 14, f));
    EXPECT_EQ(kHolePunchNumber, f.messageNumber);
}

TEST(PeerDatagramControl, EverySignatureFieldAndTheSizeMustMatch) {
    uint8_t b[15] = {};
    control(b, kPortQueryNumber, 1, kPortQueryFlags, 0x3C, 0xF0);  // offset not 0
    EXPECT_EQ(DatagramType::Fragment, classifyDatagram(b, 14));
    control(b, kPortQueryNumber, 0, kPortQueryFlags, 0x3C, 0xF1);  // byte 11
    EXPECT_EQ(DatagramType::Fragment, classifyDatagram(b, 14));
    control(b, kPortQueryNumber, 0, kHolePunchFlags, 0x3C, 0xF0);  // another's flags
    EXPECT_EQ(DatagramType::Fragment, classifyDatagram(b, 14));
    control(b, kPortReplyNumber, 0, kPortReplyFlags, 0xA1, 0x1E);
    EXPECT_EQ(DatagramType::PortReply, classifyDatagram(b, 14));
    wire::writeU16(b, sizeof b, 2, 15);  // same signature, one byte longer
    EXPECT_EQ(DatagramType::Fragment, classifyDatagram(b, 15));
}

TEST(PeerDatagramHeader, RejectsBadMagicLengthMismatchAndSizesOutOfRange) {
    uint8_t b[600] = {};
    DatagramHeader h;
    h.datagramLength = 100;
    writeDatagramHeader(b, sizeof b, h);
    EXPECT_EQ(DatagramType::Fragment, classifyDatagram(b, 100));
    EXPECT_EQ(DatagramType::Invalid, classifyDatagram(b, 99));
    b[1] = 0xB6;
    EXPECT_EQ(DatagramType::Invalid, classifyDatagram(b, 100));
    b[1] = kDatagramMagic2;
    // 10..13 bytes hold a header but no room for the trailer.
    for (size_t size : {0, 9, 10, 13, 513, 600}) {
        wire::writeU16(b, sizeof b, 2, static_cast<uint16_t>(size));
        EXPECT_EQ(DatagramType::Invalid, classifyDatagram(b, size)) << size;
    }
    wire::writeU16(b, sizeof b, 2, 512);
    EXPECT_EQ(DatagramType::Fragment, classifyDatagram(b, 512));
}

TEST(PeerFragments, MessageOf8192BytesIsSeventeenFragmentsTheLastOf224) {
    ASSERT_EQ(17u, fragmentCount(8192));
    FragmentSlice s;
    ASSERT_TRUE(fragmentSlice(8192, 16, s));
    EXPECT_EQ(7968, s.offset);
    EXPECT_EQ(224, s.length);
    EXPECT_TRUE(s.isLast);
    EXPECT_FALSE(fragmentSlice(8192, 17, s));
    EXPECT_EQ(0u, fragmentCount(0));
    EXPECT_EQ(0u, fragmentCount(8193));
}

TEST(PeerFragments, SlicesTileTheMessageWithOnlyTheLastFlagged) {
    for (size_t length : {1, 12, 497, 498, 499, 996, 997, 8191}) {
        size_t count = fragmentCount(length), covered = 0;
        ASSERT_GT(count, 0u);
        for (size_t i = 0; i < count; ++i) {
            FragmentSlice s;
            ASSERT_TRUE(fragmentSlice(length, i, s));
            EXPECT_EQ(covered, s.offset) << length;
            EXPECT_GE(s.length, 1);
            EXPECT_LE(s.length, kMaxFragmentPayload);
            EXPECT_EQ(i + 1 == count, s.isLast);
            covered += s.length;
        }
        EXPECT_EQ(length, covered);
    }
}

TEST(PeerFragments, DatagramsOfAFullMessageParseBackIntoTheMessage) {
    static uint8_t msg[8192], rebuilt[8192];
    for (size_t i = 0; i < sizeof msg; ++i) msg[i] = static_cast<uint8_t>(i * 7 + 3);
    for (size_t i = 0; i < fragmentCount(8192); ++i) {
        uint8_t d[kMaxDatagramSize];
        size_t n = buildFragmentDatagram(d, sizeof d, msg, sizeof msg, 0xBEEF, i);
        ASSERT_GE(n, 15u);
        Fragment f;
        ASSERT_EQ(FragmentStatus::Ok, parseFragment(d, n, f));
        EXPECT_EQ(0xBEEF, f.messageNumber);
        EXPECT_EQ(n - 14, f.payloadLength);
        EXPECT_EQ(i == 16, f.isLast);
        std::memcpy(rebuilt + f.offset, f.payload, f.payloadLength);
    }
    EXPECT_EQ(0, std::memcmp(msg, rebuilt, sizeof msg));
    uint8_t small[113];  // one short of 100 payload bytes + 14
    EXPECT_EQ(0u, buildFragmentDatagram(small, sizeof small, msg, 100, 1, 0));
}

TEST(PeerFragments, PayloadReachingPastTheMessageLimitIsABadRange) {
    uint8_t b[214] = {};
    DatagramHeader h;
    h.datagramLength = sizeof b;  // 200 payload bytes
    h.messageNumber = 9;
    h.fragmentOffset = 7993;
    writeDatagramHeader(b, sizeof b, h);
    Fragment f;
    EXPECT_EQ(FragmentStatus::BadRange, parseFragment(b, sizeof b, f));
    EXPECT_EQ(9, f.messageNumber);
    wire::writeU16(b, sizeof b, 6, 7992);  // ends exactly at 8192
    EXPECT_EQ(FragmentStatus::Ok, parseFragment(b, sizeof b, f));
    buildPortQuery(b, sizeof b);
    EXPECT_EQ(FragmentStatus::NotFragment, parseFragment(b, 14, f));
}
