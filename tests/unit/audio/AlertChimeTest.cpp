// The invitation chime: silent until started, six notes in order with
// their durations kept at any sample rate, then silent again.
#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/audio/AudioTestSupport.h"
#include "trvcore/audio/AlertChime.h"

using namespace audiotest;

namespace {

constexpr double kFrequencies[6] = {261.6256, 329.6276, 391.9955, 523.2511, 523.2511, 440.0};
constexpr double kSeconds[6] = {0.12, 0.12, 0.12, 0.24, 0.12, 0.75};

struct Rendered {
    std::vector<float> samples;
    // Frame at which each note index was first seen after a block.
    std::vector<size_t> noteStarts;
};

// Renders `frames` samples in blocks of `block`, noting where the note
// index moves on.
Rendered render(AlertChime& chime, size_t frames, int block, double rate) {
    Rendered r;
    r.samples.assign(frames, 7.0f);
    int seen = 0;  // called right after start()
    for (size_t at = 0; at < frames; at += static_cast<size_t>(block)) {
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), frames - at));
        chime.render(r.samples.data() + at, n, rate);
        while (chime.noteIndex() > seen) {
            ++seen;
            r.noteStarts.push_back(at + static_cast<size_t>(n));
        }
    }
    return r;
}

void expectNotes(double rate) {
    SCOPED_TRACE(rate);
    AlertChime chime;
    chime.start();
    const int block = 32;
    const size_t total = static_cast<size_t>(1.47 * rate);
    Rendered r = render(chime, total + static_cast<size_t>(rate / 10), block, rate);
    ASSERT_EQ(r.noteStarts.size(), 6u) << "six notes, each ending once";
    EXPECT_FALSE(chime.playing());

    double t = 0;
    size_t start = 0;
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        t += kSeconds[k];
        const size_t end = static_cast<size_t>(t * rate);
        // A note ends within one block of its duration.
        EXPECT_NEAR(double(r.noteStarts[static_cast<size_t>(k)]), double(end), block + 1.0);
        // The note's attack (its first 100 ms, while the two detuned
        // oscillators at the fundamental are still in phase) sounds at the
        // note's frequency.
        const size_t length = end - start;
        const size_t from = start + length / 50;
        const size_t count = std::min(length * 85 / 100, static_cast<size_t>(0.1 * rate));
        const double f = dominantFrequency(r.samples, rate, from, count);
        EXPECT_NEAR(f, kFrequencies[k], kFrequencies[k] * 0.01);
        EXPECT_GT(rms(r.samples.data() + from, count), 0.005);
        start = end;
    }
    // Everything after the last note is silence.
    const size_t last = r.noteStarts.back();
    EXPECT_TRUE(allZero(r.samples.data() + last, r.samples.size() - last));
    // Nothing out of range on the way.
    for (float s : r.samples) ASSERT_LE(std::fabs(s), 1.0f);
}

}  // namespace

TEST(AlertChime, SilentUntilStarted) {
    AlertChime chime;
    EXPECT_FALSE(chime.playing());
    EXPECT_EQ(chime.noteIndex(), AlertChime::kNotes);
    std::vector<float> out(512, 3.0f);
    chime.render(out.data(), 512, 48000);
    EXPECT_TRUE(allZero(out.data(), out.size()));
    EXPECT_FALSE(chime.playing());
}

TEST(AlertChime, StartedItIsPlayingAtOnce) {
    // The controller asks playing() before it renders: a started chime
    // must say so before its first block.
    AlertChime chime;
    chime.start();
    EXPECT_TRUE(chime.playing());
}

TEST(AlertChime, SixNotesInOrderThenSilenceAt48k) { expectNotes(48000); }

TEST(AlertChime, OtherRatesKeepTheNoteDurationsAndPitches) {
    expectNotes(44100);
    expectNotes(96000);
}

TEST(AlertChime, StartingAgainBeginsWithTheFirstNote) {
    AlertChime chime;
    chime.start();
    std::vector<float> first(30000);
    chime.render(first.data(), 30000, 48000);  // into the fifth note
    ASSERT_EQ(chime.noteIndex(), 4);
    chime.start();
    std::vector<float> again(4800);
    chime.render(again.data(), 4800, 48000);
    EXPECT_EQ(chime.noteIndex(), 0);
    // The restart is the very same sound as a fresh chime.
    AlertChime fresh;
    fresh.start();
    std::vector<float> expected(4800);
    fresh.render(expected.data(), 4800, 48000);
    EXPECT_EQ(again, expected);
}

TEST(AlertChime, BlockSizeDoesNotChangeTheSound) {
    AlertChime a, b;
    a.start();
    b.start();
    Rendered one = render(a, 72000, 1, 48000);
    Rendered big = render(b, 72000, 4096, 48000);
    EXPECT_EQ(one.samples, big.samples);
}
