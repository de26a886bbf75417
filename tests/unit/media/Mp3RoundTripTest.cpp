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
