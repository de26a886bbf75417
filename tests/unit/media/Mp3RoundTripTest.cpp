// Encoder and decoder together: what goes in comes out, at the encoder's
// latency on the stream positions, from buffers that each decode alone.
#include <gtest/gtest.h>

#include "CodecFixtures.h"
#include "trvcore/EncoderBitrate.h"
#include "trvcore/Mp3Encoder.h"
#include "trvcore/RateTables.h"

using namespace codectest;

namespace {

constexpr double kRate = 48000;
constexpr int kFrames = 48000;  // one second
constexpr int kBlock = 512;     // a host block

struct RoundTrip {
    Collector encoded;
    Timeline decoded;
    int latency = 0, bitrate = 0;
    bool run(const TestSignal& s, int audioKbits, double rate) {
        Mp3Encoder e;
        if (!e.open(&encoded, 2, rate, rates::encoderBitrateFor(audioKbits) * 1000)) return false;
        encodeAll(e, s, kBlock, nullptr);
        latency = e.latency();
        bitrate = e.bitrate();
        Mp3Decoder d;
        d.open();
        for (const Buffer& b : encoded.buffers)
            if (d.decode(b.bytes.data(), b.bytes.size(), b.position, &decoded) == Mp3Decoder::Result::Failed)
                return false;
        return true;
    }
};

}  // namespace

TEST(Mp3RoundTrip, EveryAudioRateKeepsTheSignalAtTheEncoderLatency) {
    const TestSignal s(kFrames, kRate);
    for (int audio : rates::kAudio) {
        SCOPED_TRACE(audio);
        RoundTrip t;
        ASSERT_TRUE(t.run(s, audio, kRate));
        EXPECT_EQ(t.latency, 576 + 1681);  // LAME's encoder delay at 48 kHz
        // Constant bitrate at the snapped rate: 144 * rate / sampleRate bytes a frame.
        const Buffer& steady = t.encoded.buffers[10];
        EXPECT_EQ(steady.bytes.size(), static_cast<size_t>(144 * t.bitrate / 48000));

        int best = 0;
        double bestCorrelation = -1;
        for (int lag = 0; lag < 4000; ++lag) {
            const double c = correlation(s.left, t.decoded.left, lag, 8000, 30000);
            if (c > bestCorrelation) bestCorrelation = c, best = lag;
        }
        EXPECT_EQ(best, t.latency);
        EXPECT_GT(bestCorrelation, 0.95);
        // The channels stay apart: 440 Hz lives on the right only.
        const int from = 8000 + t.latency;
        EXPECT_GT(power(t.decoded.right, 440, kRate, from, 24000),
                  100 * power(t.decoded.left, 440, kRate, from, 24000));
        EXPECT_GT(correlation(s.right, t.decoded.right, t.latency, 8000, 30000), 0.95);
    }
}

TEST(Mp3RoundTrip, At44100TheLatencyStillHolds) {
    const TestSignal s(kFrames, 44100);
    RoundTrip t;
    ASSERT_TRUE(t.run(s, 32, 44100));
    EXPECT_GT(correlation(s.left, t.decoded.left, t.latency, 8000, 30000), 0.9);
    EXPECT_LT(correlation(s.left, t.decoded.left, t.latency + 40, 8000, 30000), 0.5);
}

TEST(Mp3RoundTrip, EachDeliveredBufferDecodesAlone) {
    const TestSignal s(kFrames / 4, kRate);
    for (int audio : rates::kAudio) {
        SCOPED_TRACE(audio);
        RoundTrip t;
        ASSERT_TRUE(t.run(s, audio, kRate));
        ASSERT_GT(t.encoded.buffers.size(), 8u);
        for (const Buffer& b : t.encoded.buffers) {
            SCOPED_TRACE(b.position);
            Mp3Decoder fresh;
            fresh.open();
            Timeline out;
            ASSERT_EQ(fresh.decode(b.bytes.data(), b.bytes.size(), b.position, &out),
                      Mp3Decoder::Result::Delivered);
            EXPECT_EQ(out.lastFrames, 1152);
        }
    }
}

TEST(Mp3RoundTrip, LostBuffersLeaveTheOthersDecodable) {
    const TestSignal s(kFrames, kRate);
    RoundTrip t;
    ASSERT_TRUE(t.run(s, 64, kRate));
    Mp3Decoder d;
    d.open();
    Timeline out;
    int sent = 0;
    for (size_t i = 0; i < t.encoded.buffers.size(); i += 3, ++sent) {
        const Buffer& b = t.encoded.buffers[i];
        ASSERT_EQ(d.decode(b.bytes.data(), b.bytes.size(), b.position, &out), Mp3Decoder::Result::Delivered);
    }
    EXPECT_EQ(out.deliveries, sent);
}
