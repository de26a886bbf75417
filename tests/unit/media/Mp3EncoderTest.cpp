// The encoder wrapper: framing, positions, start-up output, rates, refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "CodecFixtures.h"
#include "trvcore/MessageLog.h"
#include "trvcore/Mp3Encoder.h"

using namespace codectest;

namespace {

void feed(Mp3Encoder& e, const TestSignal& s, int& at, int frames) {
    const float* ch[2] = {&s.left[at], &s.right[at]};
    e.encode(ch, frames, nullptr);
    at += frames;
}

}  // namespace

TEST(Mp3EncoderFraming, ThousandSamplesWaitAndTheNext152CompleteAFrame) {
    const TestSignal s(20000, 48000);
    Collector c;
    Mp3Encoder e;
    ASSERT_TRUE(e.open(&c, 2, 48000, 128000));
    int at = 0;
    feed(e, s, at, 2 * 1152);  // past the encoder's look-ahead
    const size_t before = c.buffers.size();
    feed(e, s, at, 1000);
    EXPECT_EQ(c.buffers.size(), before);
    EXPECT_EQ(e.pendingSamples(), 1000);
    feed(e, s, at, 152);
    ASSERT_EQ(c.buffers.size(), before + 1);
    EXPECT_EQ(c.buffers.back().position, 2 * 1152);
    EXPECT_EQ(c.buffers.back().kind, AudioEncoderListener::kEncodedFrame);
    EXPECT_EQ(e.pendingSamples(), 0);
}

TEST(Mp3EncoderFraming, BlockSizesDoNotChangeTheBytes) {
    const TestSignal s(30000, 48000);
    Collector byBlocks, whole;
    Mp3Encoder a, b;
    ASSERT_TRUE(a.open(&byBlocks, 2, 48000, 96000));
    ASSERT_TRUE(b.open(&whole, 2, 48000, 96000));
    encodeAll(a, s, 333, nullptr);
    encodeAll(b, s, 30000, nullptr);
    ASSERT_EQ(byBlocks.buffers.size(), whole.buffers.size());
    for (size_t i = 0; i < whole.buffers.size(); ++i) {
        EXPECT_EQ(byBlocks.buffers[i].bytes, whole.buffers[i].bytes);
        EXPECT_EQ(byBlocks.buffers[i].position, whole.buffers[i].position);
    }
    // One frame a buffer, positions one frame apart.
    for (size_t i = 2; i < whole.buffers.size(); ++i)
        EXPECT_EQ(whole.buffers[i].position - whole.buffers[i - 1].position, 1152);
}

TEST(Mp3EncoderStartup, TheFirstFrameWaitsForTheLookAheadAndComesOneFrameLate) {
    const TestSignal s(5000, 48000);
    Collector c;
    Mp3Encoder e;
    ASSERT_TRUE(e.open(&c, 2, 48000, 48000));
    for (const Buffer& b : c.buffers) EXPECT_EQ(b.kind, AudioEncoderListener::kStartup);
    const size_t startup = c.buffers.size();
    int at = 0;
    feed(e, s, at, 1152);
    EXPECT_EQ(c.buffers.size(), startup);
    feed(e, s, at, 1152);
    ASSERT_EQ(c.buffers.size(), startup + 1);
    EXPECT_EQ(c.buffers.back().position, 1152);
}

// A fresh LAME encoder yields nothing for its first frame (look-ahead): that
// tells a reopen from a running encoder.
TEST(Mp3EncoderRates, SetBitrateReopensOnlyForAnotherMp3Rate) {
    const TestSignal s(10000, 48000);
    Collector c;
    Mp3Encoder e;
    ASSERT_TRUE(e.open(&c, 2, 48000, 144000));
    EXPECT_EQ(e.bitrate(), 160000);
    int at = 0;
    feed(e, s, at, 3000);  // two frames, 696 samples waiting
    e.setBitrate(150000);  // snaps to the running 160000
    size_t before = c.buffers.size();
    feed(e, s, at, 456);
    EXPECT_EQ(c.buffers.size(), before + 1);  // still the running encoder

    e.setBitrate(std::numeric_limits<int>::max());
    EXPECT_EQ(e.bitrate(), 256000);
    EXPECT_EQ(e.streamPosition(), 3 * 1152);  // the stream goes on
    before = c.buffers.size();
    feed(e, s, at, 1152);
    EXPECT_EQ(c.buffers.size(), before);  // a fresh encoder
    feed(e, s, at, 1152);
    ASSERT_EQ(c.buffers.size(), before + 1);
    EXPECT_EQ(c.buffers.back().position, 4 * 1152);
    EXPECT_EQ(c.buffers.back().bytes.size(), 768u);  // 256 kbit/s at 48 kHz

    e.setBitrate(0);
    EXPECT_EQ(e.bitrate(), 32000);
}

TEST(Mp3EncoderRefusal, RatesMp3CannotCarryFailWithTheLogLine) {
    for (double rate : {96000.0, 0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(rate);
        MessageLog log;
        Collector c;
        Mp3Encoder e(&log);
        EXPECT_FALSE(e.open(&c, 2, rate, 128000));
        EXPECT_FALSE(e.isOpen());
        char line[MessageLog::kLineBytes];
        ASSERT_TRUE(log.message(0, line));
        EXPECT_STREQ(line, "Lame Encoder failure");
        const TestSignal s(5000, 48000);
        encodeAll(e, s, 5000, nullptr);
        EXPECT_TRUE(c.buffers.empty());
    }
}

TEST(Mp3EncoderRefusal, NonNumbersAndOversLeaveTheStreamDecodable) {
    Collector c;
    Mp3Encoder e;
    ASSERT_TRUE(e.open(&c, 2, 48000, 128000));
    std::vector<float> bad(4096, std::numeric_limits<float>::quiet_NaN());
    for (size_t i = 0; i < bad.size(); i += 3) bad[i] = std::numeric_limits<float>::infinity();
    for (size_t i = 1; i < bad.size(); i += 3) bad[i] = 1.0e30f;
    const float* ch[2] = {bad.data(), bad.data()};
    e.encode(ch, static_cast<int>(bad.size()), nullptr);
    encodeAll(e, TestSignal(10000, 48000), 512, nullptr);
    Mp3Decoder d;
    d.open();
    Timeline out;
    for (const Buffer& b : c.buffers)
        ASSERT_NE(d.decode(b.bytes.data(), b.bytes.size(), b.position, &out), Mp3Decoder::Result::Failed);
    EXPECT_EQ(e.encodeErrors(), 0u);
    for (float v : out.left) ASSERT_TRUE(std::isfinite(v));
}
