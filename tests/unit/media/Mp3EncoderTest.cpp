// The encoder wrapper: framing, positions, rates, refusals.
#include <gtest/gtest.h>

#include <limits>

#include "CodecFixtures.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/codec/Mp3Encoder.h"

using namespace codectest;

namespace {

struct Fed {
    const TestSignal signal{20000, 48000};
    int at = 0;
    void feed(Mp3Encoder& e, int frames) {
        const float* ch[2] = {&signal.left[at], &signal.right[at]};
        e.encode(ch, frames, nullptr);
        at += frames;
    }
};

}  // namespace

TEST(Mp3EncoderFraming, OneBufferPerFullFrameOneFrameBehindTheInput) {
    Collector c;
    Mp3Encoder e;
    Fed in;
    ASSERT_TRUE(e.open(&c, 2, 48000, 128000));
    in.feed(e, 1152);
    EXPECT_TRUE(c.buffers.empty());  // the encoder's look-ahead
    in.feed(e, 1152);
    ASSERT_EQ(c.buffers.size(), 1u);
    EXPECT_EQ(c.buffers[0].position, 1152);
    EXPECT_EQ(c.buffers[0].kind, AudioEncoderListener::kEncodedFrame);
    in.feed(e, 1000);
    EXPECT_EQ(c.buffers.size(), 1u);
    in.feed(e, 152);
    ASSERT_EQ(c.buffers.size(), 2u);
    EXPECT_EQ(c.buffers[1].position, 2 * 1152);
    EXPECT_EQ(e.pendingSamples(), 0);
}

TEST(Mp3EncoderRates, SetBitrateReopensOnlyForAnotherMp3Rate) {
    Collector c;
    Mp3Encoder e;
    Fed in;
    ASSERT_TRUE(e.open(&c, 2, 48000, 144000));
    EXPECT_EQ(e.bitrate(), 160000);
    in.feed(e, 3000);      // two frames, 696 samples waiting
    e.setBitrate(150000);  // snaps to the running 160000
    in.feed(e, 456);
    EXPECT_EQ(c.buffers.size(), 2u);  // a reopened encoder would hold this frame back
    e.setBitrate(std::numeric_limits<int>::max());
    EXPECT_EQ(e.bitrate(), 256000);
    in.feed(e, 2 * 1152);
    ASSERT_EQ(c.buffers.size(), 3u);
    EXPECT_EQ(c.buffers.back().position, 4 * 1152);  // the stream went on
    EXPECT_EQ(c.buffers.back().bytes.size(), 768u);  // 256 kbit/s at 48 kHz
    e.setBitrate(0);
    EXPECT_EQ(e.bitrate(), 32000);
}

TEST(Mp3EncoderRefusal, RatesMp3CannotCarryFailWithTheLogLine) {
    for (double rate : {96000.0, 0.0, std::numeric_limits<double>::quiet_NaN()}) {
        MessageLog log;
        Collector c;
        Mp3Encoder e(&log);
        Fed in;
        EXPECT_FALSE(e.open(&c, 2, rate, 128000)) << rate;
        char line[MessageLog::kLineBytes];
        ASSERT_TRUE(log.message(0, line));
        EXPECT_STREQ(line, "Lame Encoder failure");
        in.feed(e, 5000);
        EXPECT_TRUE(c.buffers.empty());
    }
}

TEST(Mp3EncoderRefusal, NonNumbersAndOversLeaveTheStreamDecodable) {
    Collector c;
    Mp3Encoder e;
    ASSERT_TRUE(e.open(&c, 2, 48000, 128000));
    std::vector<float> bad(4096, std::numeric_limits<float>::quiet_NaN());
    for (size_t i = 0; i < bad.size(); i += 2) bad[i] = i % 4 ? 1.0e30f : -std::numeric_limits<float>::infinity();
    const float* ch[2] = {bad.data(), bad.data()};
    e.encode(ch, static_cast<int>(bad.size()), nullptr);
    Fed in;
    in.feed(e, 10000);
    Mp3Decoder d;
    d.open();
    Timeline out;
    for (const Buffer& b : c.buffers) ASSERT_EQ(decode(d, b, out), Mp3Decoder::Result::Delivered);
    EXPECT_EQ(e.encodeErrors(), 0u);
}
