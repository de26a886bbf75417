#include <gtest/gtest.h>

#include <initializer_list>

#include "tools/trvhost/TimeCode.h"

namespace {

// Feeds the eight pieces of h:m:s:f at `rateBits`, returning the decoded code.
bool decode(MtcDecoder& d, int h, int m, int s, int f, int rateBits, TimeCodeValue& out) {
    const int nibbles[8] = {f & 15, f >> 4, s & 15, s >> 4, m & 15, m >> 4, h & 15, (rateBits << 1) | (h >> 4)};
    bool complete = false;
    for (int p = 0; p < 8; ++p) {
        complete = d.feed(static_cast<uint8_t>(p << 4 | nibbles[p]), out);
        if (p < 7) {
            EXPECT_FALSE(complete) << p;
        }
    }
    return complete;
}

}  // namespace

TEST(TimeCode, EightPiecesInOrderMakeATimeCode) {
    MtcDecoder d;
    TimeCodeValue v;
    ASSERT_TRUE(decode(d, 23, 59, 58, 29, 3, v));
    char text[32];
    timecode::format(v, text, sizeof text);
    EXPECT_STREQ(text, "23:59:58:29");
    EXPECT_STREQ(timecode::rateName(v.rateBits), "30");
    // A set broken off is dropped; the next piece 0 begins afresh.
    for (uint8_t data : {0x01, 0x10, 0x32}) EXPECT_FALSE(d.feed(data, v));
    ASSERT_TRUE(decode(d, 1, 2, 3, 4, 1, v));
    EXPECT_EQ(v.hours, 1);
    EXPECT_EQ(v.frames, 4);
    EXPECT_STREQ(timecode::rateName(v.rateBits), "25");
    EXPECT_STREQ(timecode::rateName(0), "24");
    EXPECT_STREQ(timecode::rateName(2), "30df");
}

TEST(TimeCode, SamplesCountTheFramesAndTheDropFrameLabels) {
    TimeCodeValue v;
    v.seconds = 2;
    v.rateBits = 1;  // 25 fps: 1920 samples a frame at 48 kHz
    EXPECT_EQ(timecode::toSamples(v, 2, 48000), 96000 + 2 * 1920);
    // 30 drop-frame: 00:01:00;02 is frame 1800 (;00 and ;01 were skipped),
    // 00:10:00;00 frame 17982; at 30000/1001 frames a second.
    v = TimeCodeValue{};
    v.minutes = 1;
    v.frames = 2;
    v.rateBits = 2;
    EXPECT_EQ(timecode::frameCount(v, 0), 1800);
    EXPECT_EQ(timecode::toSamples(v, 2, 48000), (1802LL * 48000 * 1001 + 15000) / 30000);
    v.minutes = 10;
    v.frames = 0;
    EXPECT_EQ(timecode::frameCount(v, 0), 17982);
}
