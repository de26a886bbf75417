#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/trvhost/ClickTrain.h"
#include "trvcore/codec/Mp3Decoder.h"
#include "trvcore/codec/Mp3Encoder.h"

namespace {

constexpr int64_t kPeriod = clicks::kPeriodNs;

int64_t framesToNs(double frames, double rate) { return static_cast<int64_t>(std::llround(frames * 1e9 / rate)); }

// The train from `startNs` on, block after block on contiguous frame times,
// delayed by `delay` frames and scaled by `gain`, through a detector; the
// onsets' delays in frames.
std::vector<double> measuredDelays(double rate, int64_t startNs, double seconds, int delay = 0, float gain = 1.0f,
                                   int block = 256) {
    const int blocks = static_cast<int>(seconds * rate / block);
    std::vector<float> train(static_cast<size_t>(blocks * block) + static_cast<size_t>(delay));
    std::vector<float> scratch(static_cast<size_t>(block));
    std::vector<int64_t> starts;
    for (int b = 0; b < blocks; ++b) {
        const int64_t at = startNs + framesToNs(static_cast<double>(b) * block, rate);
        starts.push_back(at);
        float* out = train.data() + static_cast<size_t>(delay) + static_cast<size_t>(b * block);
        clicks::fillClicks(at, rate, out, scratch.data(), block);
    }
    for (float& s : train) s *= gain;
    OnsetDetector detector(rate);
    OnsetRing ring;
    for (int b = 0; b < blocks; ++b)
        detector.process(train.data() + static_cast<size_t>(b * block), train.data() + static_cast<size_t>(b * block),
                         block, starts[static_cast<size_t>(b)], ring);
    std::vector<int64_t> onsets;
    uint64_t cursor = 0;
    ring.readSince(cursor, onsets);
    std::vector<double> delays;
    for (int64_t t : onsets) delays.push_back(clicks::delayFrames(t, rate));
    return delays;
}

// The encoder's payloads decoded onto the stream positions they carry.
struct Mp3Pipe : AudioEncoderListener, AudioDecoderListener {
    Mp3Decoder decoder;
    std::vector<float> decoded;
    Mp3Pipe() { decoder.open(); }
    void onEncoded(const uint8_t* data, int length, int64_t position, int) override {
        decoder.decode(data, static_cast<size_t>(length), position, this);
    }
    void onDecoded(const float* const* channels, int, int frames, int64_t position) override {
        const size_t end = static_cast<size_t>(position + frames);
        if (decoded.size() < end) decoded.resize(end);
        std::copy(channels[0], channels[0] + frames, decoded.begin() + position);
    }
};

}  // namespace

TEST(ClickTrain, AClickStartsOnAWholePeriodBetweenFramesAndLasts64Frames) {
    const double rate = 48000.0;
    // Frame 0 lies 10.25 frames before the 7th whole period.
    const int64_t start = 7 * kPeriod - framesToNs(10.25, rate);
    std::vector<float> left(200, 1.0f), right(200, 1.0f);
    clicks::fillClicks(start, rate, left.data(), right.data(), 200);
    float peak = 0.0f;
    for (int n = 0; n < 200; ++n) {
        const double expected = clicks::clickValue(n - 10.25, rate);
        ASSERT_NEAR(left[static_cast<size_t>(n)], expected, 1e-4) << n;
        ASSERT_EQ(left[static_cast<size_t>(n)], right[static_cast<size_t>(n)]) << n;
        const bool inside = n >= 11 && n <= 74;
        if (!inside) {
            EXPECT_EQ(left[static_cast<size_t>(n)], 0.0f) << n;
        }
        peak = std::max(peak, std::fabs(left[static_cast<size_t>(n)]));
    }
    EXPECT_GT(peak, 0.45f);
    EXPECT_LE(peak, 0.5f);
    // Its carrier: a 2 kHz sine, the first peak a quarter period in.
    EXPECT_GT(clicks::clickValue(6.0, rate), 0.0);
    EXPECT_NEAR(clicks::clickValue(12.0, rate), 0.0, 1e-9);
    EXPECT_EQ(clicks::clickValue(64.0, rate), 0.0);
    EXPECT_EQ(clicks::clickValue(-0.01, rate), 0.0);
}

TEST(ClickTrain, AClickInTheLastFramesOfABlockGoesOnInTheNext) {
    const double rate = 48000.0;
    const int64_t start = 3 * kPeriod - framesToNs(20.0, rate);
    std::vector<float> a(32), b(32), scratch(32);
    clicks::fillClicks(start, rate, a.data(), scratch.data(), 32);
    clicks::fillClicks(start + framesToNs(32.0, rate), rate, b.data(), scratch.data(), 32);
    for (int n = 0; n < 32; ++n) {
        EXPECT_NEAR(a[static_cast<size_t>(n)], clicks::clickValue(n - 20.0, rate), 1e-4) << n;
        EXPECT_NEAR(b[static_cast<size_t>(n)], clicks::clickValue(n + 12.0, rate), 1e-4) << n;
    }
}

TEST(ClickTrain, TheDetectorPlacesACleanClickAtItsStart) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        for (double offset : {0.0, 0.3, 0.77}) {
            // Starts 0.1 s into a period plus a fraction of a frame.
            const int64_t start = 1000 * kPeriod + kPeriod / 5 + framesToNs(offset, rate);
            const std::vector<double> delays = measuredDelays(rate, start, 2.2, 0);
            // Clicks at 0.4, 0.9, 1.4 and 1.9 s into the run.
            ASSERT_EQ(delays.size(), 4u) << rate << " " << offset;
            for (double d : delays) {
                EXPECT_GE(d, 0.0) << rate << " " << offset;
                EXPECT_LE(d, 1.5) << rate << " " << offset;
            }
        }
    }
}

TEST(ClickTrain, ADelayedQuieterClickIsMeasuredByItsDelay) {
    const double rate = 48000.0;
    for (float gain : {1.0f, 0.5f, 0.3f}) {
        const std::vector<double> delays = measuredDelays(rate, 500 * kPeriod + 12345, 2.5, 3921, gain);
        ASSERT_EQ(delays.size(), 4u) << gain;
        for (double d : delays) EXPECT_NEAR(d, 3921.0, 1.0) << gain;
    }
}

TEST(ClickTrain, SignalsBelowTheThresholdAreNoOnsets) {
    // Peak 0.5 * 0.09 = 0.045, under 0.05.
    EXPECT_TRUE(measuredDelays(48000.0, 20 * kPeriod, 2.0, 0, 0.09f).empty());
}

TEST(ClickTrain, OnlyARiseAfterAQuarterSecondOfQuietIsAnOnset) {
    const double rate = 48000.0;
    OnsetDetector detector(rate);
    OnsetRing ring;
    std::vector<float> signal(static_cast<size_t>(rate), 0.0f);
    // Loud at 0.2 s (too soon after the start), 0.5 s (after 0.3 s quiet)
    // and 0.6 s (only 0.1 s after the previous).
    for (double at : {0.2, 0.5, 0.6})
        for (int n = 0; n < 64; ++n) signal[static_cast<size_t>(at * rate) + static_cast<size_t>(n)] = 0.4f;
    detector.process(signal.data(), nullptr, static_cast<int>(signal.size()), 0, ring);
    std::vector<int64_t> onsets;
    uint64_t cursor = 0;
    ring.readSince(cursor, onsets);
    ASSERT_EQ(onsets.size(), 1u);
    EXPECT_NEAR(static_cast<double>(onsets[0]), 0.5e9, 1e9 * (detector.lagFrames() + 1.0) / rate);
}

TEST(ClickTrain, NonNumbersNeitherFireNorEndTheQuiet) {
    const double rate = 48000.0;
    OnsetDetector detector(rate);
    OnsetRing ring;
    std::vector<float> signal(static_cast<size_t>(rate / 2), std::nanf(""));
    for (int n = 0; n < 64; ++n) signal[static_cast<size_t>(0.3 * rate) + static_cast<size_t>(n)] = 0.4f;
    detector.process(signal.data(), signal.data(), static_cast<int>(signal.size()), 0, ring);
    EXPECT_EQ(ring.pushed(), 1u);
}

TEST(ClickTrain, DelaysAreCountedFromTheLatestWholePeriod) {
    const double rate = 48000.0;
    const int64_t whole = 1234 * kPeriod;
    EXPECT_DOUBLE_EQ(clicks::delayFrames(whole, rate), 0.0);
    EXPECT_DOUBLE_EQ(clicks::delayFrames(whole + 10000000, rate), 480.0);
    EXPECT_DOUBLE_EQ(clicks::delayFrames(whole + kPeriod - 2000000, rate), 23904.0);
    // A little early is no delay, not almost a period.
    EXPECT_DOUBLE_EQ(clicks::delayFrames(whole - 500000, rate), 0.0);
}

TEST(ClickTrain, MedianOfOddEvenAndNoValues) {
    std::vector<double> odd{5.0, 1.0, 3.0};
    std::vector<double> even{4.0, 1.0, 3.0, 100.0};
    std::vector<double> none;
    EXPECT_DOUBLE_EQ(clicks::median(odd), 3.0);
    EXPECT_DOUBLE_EQ(clicks::median(even), 3.5);
    EXPECT_DOUBLE_EQ(clicks::median(none), 0.0);
}

TEST(OnsetRing, KeepsTheLatestAndReadsEachOnce) {
    OnsetRing ring;
    for (int64_t i = 0; i < 1500; ++i) ring.push(i);
    std::vector<int64_t> first;
    uint64_t cursor = 0;
    ring.readSince(cursor, first);
    ASSERT_EQ(first.size(), OnsetRing::kCapacity);
    EXPECT_EQ(first.front(), 1500 - static_cast<int64_t>(OnsetRing::kCapacity));
    EXPECT_EQ(first.back(), 1499);
    ring.push(7);
    std::vector<int64_t> second;
    ring.readSince(cursor, second);
    EXPECT_EQ(second, std::vector<int64_t>{7});
    ring.readSince(cursor, second);
    EXPECT_EQ(second.size(), 1u);
}

TEST(ClickTrain, ClicksThroughTheMp3CodecArriveAtItsLatency) {
    const double rate = 48000.0;
    const int block = 256;
    const int blocks = static_cast<int>(3.0 * rate / block);
    const int64_t start = 77 * kPeriod + 3000000;
    Mp3Pipe pipe;
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.open(&pipe, 2, rate, 64000));
    std::vector<float> left(block), right(block);
    for (int b = 0; b < blocks; ++b) {
        clicks::fillClicks(start + framesToNs(static_cast<double>(b) * block, rate), rate, left.data(), right.data(),
                           block);
        const float* channels[2] = {left.data(), right.data()};
        encoder.encode(channels, block, nullptr);
    }
    // Decoded frame m lies where input frame m does: a delay shows as such.
    OnsetDetector detector(rate);
    OnsetRing ring;
    const int decodedBlocks = static_cast<int>(pipe.decoded.size() / block);
    for (int b = 0; b < decodedBlocks; ++b) {
        const float* at = pipe.decoded.data() + static_cast<size_t>(b) * block;
        detector.process(at, at, block, start + framesToNs(static_cast<double>(b) * block, rate), ring);
    }
    std::vector<int64_t> onsets;
    uint64_t cursor = 0;
    ring.readSince(cursor, onsets);
    ASSERT_GE(onsets.size(), 4u);
    std::vector<double> delays;
    for (int64_t t : onsets) delays.push_back(clicks::delayFrames(t, rate));
    EXPECT_NEAR(clicks::median(delays), encoder.latency(), 1.0);
}
