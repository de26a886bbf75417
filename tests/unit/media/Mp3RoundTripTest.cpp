// Encoder and decoder together: at every audio rate what goes in comes out,
// at the encoder's latency on the stream positions, from buffers that each
// decode alone.
#include <gtest/gtest.h>

#include "CodecFixtures.h"
#include "trvcore/codec/EncoderBitrate.h"
#include "trvcore/codec/Mp3Encoder.h"
#include "trvcore/settings/RateTables.h"

using namespace codectest;

TEST(Mp3RoundTrip, EveryAudioRateKeepsTheSignalAtTheEncoderLatency) {
    const TestSignal s(48000, 48000);
    for (int audio : rates::kAudio) {
        SCOPED_TRACE(audio);
        Collector encoded;
        Mp3Encoder e;
        ASSERT_TRUE(e.open(&encoded, 2, 48000, rates::encoderBitrateFor(audio) * 1000));
        encodeAll(e, s, 512, nullptr);
        EXPECT_EQ(e.latency(), 576 + 1681);  // LAME's encoder delay at 48 kHz
        Mp3Decoder d;
        d.open();
        Timeline decoded;
        for (const Buffer& b : encoded.buffers) {
            ASSERT_EQ(decode(d, b, decoded), Mp3Decoder::Result::Delivered);
            Mp3Decoder alone;
            alone.open();
            Timeline one;
            ASSERT_EQ(decode(alone, b, one), Mp3Decoder::Result::Delivered) << b.position;
            EXPECT_EQ(one.lastFrames, 1152);
            // Constant bitrate at the snapped rate: 144 * rate / 48000 bytes a frame.
            EXPECT_EQ(b.bytes.size(), static_cast<size_t>(144 * e.bitrate() / 48000));
        }
        int best = 0;
        double bestCorrelation = -1;
        for (int lag = 0; lag < 4000; ++lag) {
            const double c = correlation(s.left, decoded.left, lag, 8000, 30000);
            if (c > bestCorrelation) bestCorrelation = c, best = lag;
        }
        EXPECT_EQ(best, e.latency());
        EXPECT_GT(bestCorrelation, 0.95);
        // The channels stay apart: 440 Hz lives on the right only.
        const int from = 8000 + best;
        EXPECT_GT(power(decoded.right, 440, 48000, from, 24000),
                  100 * power(decoded.left, 440, 48000, from, 24000));
        EXPECT_GT(correlation(s.right, decoded.right, best, 8000, 30000), 0.95);
    }
}

// The latency the sender takes off its stamps is the real delay of this
// codec path: an impulse fed at stream position k is loudest at stamped
// position k + latency() after encoding, per-frame flushing and decoding.
TEST(Mp3RoundTrip, AnImpulseComesOutExactlyTheEncoderLatencyLater) {
    for (double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        const size_t n = 40000, at = 10001;
        TestSignal s(static_cast<int>(n), rate);
        std::fill(s.left.begin(), s.left.end(), 0.0f);
        std::fill(s.right.begin(), s.right.end(), 0.0f);
        s.left[at] = s.right[at] = 0.9f;
        Collector encoded;
        Mp3Encoder e;
        ASSERT_TRUE(e.open(&encoded, 2, rate, 128000));
        encodeAll(e, s, 256, nullptr);
        Mp3Decoder d;
        d.open();
        Timeline decoded;
        for (const Buffer& b : encoded.buffers) decode(d, b, decoded);
        size_t peak = 0;
        for (size_t i = 0; i < decoded.left.size(); ++i)
            if (std::fabs(decoded.left[i]) > std::fabs(decoded.left[peak])) peak = i;
        EXPECT_EQ(static_cast<int>(peak) - static_cast<int>(at), e.latency());
        EXPECT_EQ(e.latency(), e.encoderDelay() + Mp3Encoder::kLatencyBeyondEncoderDelay);
    }
}
