// AudioFrame, VideoFrame and MidiBlock on the wire.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/trvnetwork/WireFields.h"
#include "trvcore/trvnetwork/MediaMessages.h"

namespace {

AudioFrameHeader sampleAudioHeader() {
    AudioFrameHeader h;
    h.transportStart = -1152;
    h.streamAtTransportStart = 0x01020304;
    h.streamPosition = 0xA0B0C0D0;
    h.sampleRate = 44100;
    h.frameCounter = 1;
    h.transportFlags = kTransportPlaying;
    return h;
}

}  // namespace

TEST(PeerAudioFrame, FieldsSitAtTheirOffsetsAndComeBack) {
    const uint8_t data[5] = {9, 8, 7, 6, 5};
    PeerMessage m;
    ASSERT_TRUE(buildAudioFrame(m, sampleAudioHeader(), data, sizeof data));
    EXPECT_EQ(41, m.length());
    EXPECT_EQ(0xFFFFFB80u, u32At(m, 12));
    EXPECT_EQ(0xA0B0C0D0u, u32At(m, 20));
    EXPECT_EQ(44100u, u32At(m, 24));
    EXPECT_EQ(34, u16At(m, 28));
    EXPECT_EQ(2, u16At(m, 30));
    EXPECT_EQ(2, u16At(m, 34));
    AudioFrameView v;
    ASSERT_TRUE(parseAudioFrame(m, v));
    EXPECT_EQ(-1152, v.header.transportStart);
    EXPECT_EQ(1, v.header.frameCounter);
    ASSERT_EQ(5u, v.dataLength);
    EXPECT_EQ(0, std::memcmp(data, v.data, 5));
}

TEST(PeerAudioFrame, NineThousandBytesGoOutAsTwoFramesDifferingOnlyInLength) {
    static uint8_t buffer[9000];
    for (size_t i = 0; i < sizeof buffer; ++i) buffer[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(2u, audioFrameParts(sizeof buffer));
    static PeerMessage first, second;
    ASSERT_TRUE(buildAudioFramePart(first, sampleAudioHeader(), buffer, sizeof buffer, 0));
    ASSERT_TRUE(buildAudioFramePart(second, sampleAudioHeader(), buffer, sizeof buffer, 1));
    EXPECT_FALSE(buildAudioFramePart(second, sampleAudioHeader(), buffer, sizeof buffer, 2));
    EXPECT_EQ(8192, first.length());
    EXPECT_EQ(880, second.length());
    EXPECT_EQ(0, std::memcmp(first.data(), second.data(), 4));
    EXPECT_EQ(0, std::memcmp(first.data() + 6, second.data() + 6, 30));
    EXPECT_EQ(0, std::memcmp(second.data() + 36, buffer + 8156, 844));
    // One message never takes more than 8156 data bytes.
    EXPECT_FALSE(buildAudioFrame(second, {}, buffer, 8157));
    EXPECT_EQ(880, second.length());
}

TEST(PeerVideoFrame, FieldsSitAtTheirOffsetsAndOversizedPicturesAreDropped) {
    static uint8_t picture[8157];
    VideoFrameHeader h;
    h.transportFlags = 0x0A;
    PeerMessage m;
    ASSERT_TRUE(buildVideoFrame(m, h, picture, 3));
    EXPECT_EQ(0x0Au, u32At(m, 24));
    EXPECT_EQ(1, u16At(m, 28));
    EXPECT_EQ(176, u16At(m, 32));
    EXPECT_EQ(144, u16At(m, 34));
    EXPECT_FALSE(buildVideoFrame(m, h, picture, sizeof picture));
    EXPECT_EQ(39, m.length());
}

TEST(PeerMidiBlock, EventsAppendAndReadBackInOrder) {
    MidiBlockHeader h;
    h.localClock = 480000;
    h.clockOffset = -64;
    PeerMessage m;
    ASSERT_TRUE(beginMidiBlock(m, h));
    ASSERT_TRUE(appendMidiEvent(m, {{0x90, 60, 100}, 17}));
    ASSERT_TRUE(appendMidiEvent(m, {{0x80, 60, 0}, -3}));
    EXPECT_EQ(48, m.length());
    EXPECT_EQ(2u, u32At(m, 20));
    EXPECT_EQ(0x80, m.data()[40]);
    EXPECT_EQ(0xFFFFFFFDu, u32At(m, 44));
    MidiBlockView v;
    ASSERT_TRUE(parseMidiBlock(m, v));
    EXPECT_EQ(-64, v.header.clockOffset);
    MidiEvent e;
    ASSERT_TRUE(midiEventAt(v, 1, e));
    EXPECT_EQ(0x80, e.data[0]);
    EXPECT_EQ(-3, e.deltaFrames);
    EXPECT_FALSE(midiEventAt(v, 2, e));
}

TEST(PeerMidiBlock, HoldsAtMost1020EventsIn8192Bytes) {
    static PeerMessage m;
    beginMidiBlock(m, {});
    for (int i = 0; i < 1020; ++i) ASSERT_TRUE(appendMidiEvent(m, {})) << i;
    EXPECT_EQ(8192, m.length());
    EXPECT_FALSE(appendMidiEvent(m, {}));
    MidiBlockView v;
    EXPECT_TRUE(parseMidiBlock(m, v));
}

TEST(PeerMidiBlock, CountClaimingMoreEventsThanTheBytesHoldIsRefused) {
    PeerMessage m;
    beginMidiBlock(m, {});
    appendMidiEvent(m, {});
    appendMidiEvent(m, {});
    wire::writeU32(m.data(), m.capacity(), 20, 3);
    MidiBlockView v;
    EXPECT_FALSE(parseMidiBlock(m, v));
    EXPECT_FALSE(appendMidiEvent(m, {}));  // count and length disagree
    // A count whose byte size wraps 32 bits must not slip through.
    wire::writeU32(m.data(), m.capacity(), 20, 0x20000001);
    EXPECT_FALSE(parseMidiBlock(m, v));
}
