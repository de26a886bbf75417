// The MIDI time code generator: what a slaved sequencer decodes from its
// quarter frames for every rate code, drop-frame numbering, the per-block
// bound with the rest carried, and codes it does not know.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trvcore/sync/MtcGenerator.h"

namespace {

// What a time code receiver makes of eight quarter frames starting at
// piece 0.
struct Decoded {
    int hours = -1, minutes = -1, seconds = -1, frames = -1, rateBits = -1;
};

Decoded decode(const std::vector<uint8_t>& q) {
    Decoded d;
    if (q.size() < 8) return d;
    int nib[8];
    for (int i = 0; i < 8; ++i) {
        if ((q[static_cast<size_t>(i)] >> 4) != i) return d;  // pieces in order
        nib[i] = q[static_cast<size_t>(i)] & 0xF;
    }
    d.frames = nib[0] | (nib[1] << 4);
    d.seconds = nib[2] | (nib[3] << 4);
    d.minutes = nib[4] | (nib[5] << 4);
    d.hours = nib[6] | ((nib[7] & 1) << 4);
    d.rateBits = nib[7] & 0x6;
    return d;
}

std::vector<uint8_t> run(MtcGenerator& g, int blockFrames, int blocks) {
    std::vector<uint8_t> all;
    uint8_t bytes[MtcGenerator::kMaxPerBlock];
    for (int b = 0; b < blocks; ++b) {
        const int n = g.generate(bytes, blockFrames, MtcGenerator::kMaxPerBlock);
        all.insert(all.end(), bytes, bytes + n);
    }
    return all;
}

}  // namespace

TEST(MtcGenerator, EachRateCodeGivesItsRateBitsAndTheLocatedTimeLessASecond) {
    // Half a second: 12, 12.5, 14.985 (at 30000/1001 a second) and 15 frames.
    const struct {
        int code;
        int rateBits;
        int framesPerSecond;
        int halfSecond;
    } rows[] = {{0, 0x0, 24, 12}, {1, 0x2, 25, 12}, {2, 0x6, 30, 14},
                {3, 0x6, 30, 15}, {4, 0x4, 30, 0},  {5, 0x4, 30, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        MtcGenerator g;
        g.setSampleRate(48000.0);
        g.setFrameRate(r.code);
        EXPECT_EQ(g.framesPerSecond(), r.framesPerSecond);
        // 1 h 2 min 5 s and half a second: located one second earlier.
        g.locate(int64_t(48000) * (3600 + 120 + 5) + 24000 + 48000);
        ASSERT_TRUE(g.running());
        const Decoded d = decode(run(g, 256, 20));
        EXPECT_EQ(d.rateBits, r.rateBits);
        if (MtcGenerator::dropFrame(r.code)) continue;  // numbered as below
        EXPECT_EQ(d.hours, 1);
        EXPECT_EQ(d.minutes, 2);
        EXPECT_EQ(d.seconds, 5);
        EXPECT_EQ(d.frames, r.halfSecond);
    }
}

TEST(MtcGenerator, QuarterFramesFollowTheAudioAndABlockGivesAtMost32) {
    MtcGenerator g;
    g.setSampleRate(48000.0);
    g.setFrameRate(1);  // 25 fps: a quarter frame every 480 samples
    ASSERT_DOUBLE_EQ(g.quarterFrameSamples(), 480.0);
    g.locate(0);  // before the start offset: 00:00:00:00
    uint8_t bytes[MtcGenerator::kMaxPerBlock];
    EXPECT_EQ(g.generate(bytes, 1, 32), 1) << "the first quarter frame is due at once";
    EXPECT_EQ(g.generate(bytes, 479, 32), 1);
    EXPECT_EQ(g.generate(bytes, 100, 32), 0);
    // A long block: 32 now, the surplus in the next blocks.
    EXPECT_EQ(g.generate(bytes, 480 * 40, 32), 32);
    EXPECT_EQ(g.generate(bytes, 0, 32), 8);
    EXPECT_EQ(g.generate(bytes, 0, 32), 0);
    // After 42 quarter frames, five whole messages went by: 10 frames.
    EXPECT_EQ(g.frames(), 10);
    g.stop();
    EXPECT_EQ(g.generate(bytes, 48000, 32), 0);
}

TEST(MtcGenerator, DropFrameSkipsFramesZeroAndOneAtMinutesNotDivisibleByTen) {
    MtcGenerator g;
    g.setSampleRate(48000.0);
    g.setFrameRate(4);
    const double frame = 4 * g.quarterFrameSamples();
    // The 1798th frame counted is labelled 00:00:59:28: the next message
    // starts minute 1, which drop-frame numbers from frame 2.
    g.locate(static_cast<int64_t>(1798 * frame + 0.5) + 48000);
    std::vector<uint8_t> q = run(g, 1600, 8);  // 4 frames' worth of quarter frames
    ASSERT_GE(q.size(), 16u);
    const Decoded first = decode(std::vector<uint8_t>(q.begin(), q.begin() + 8));
    const Decoded second = decode(std::vector<uint8_t>(q.begin() + 8, q.begin() + 16));
    EXPECT_EQ(first.minutes, 0);
    EXPECT_EQ(first.seconds, 59);
    EXPECT_EQ(first.frames, 28);
    EXPECT_EQ(second.minutes, 1);
    EXPECT_EQ(second.seconds, 0);
    EXPECT_EQ(second.frames, 2) << "frames 0 and 1 do not exist at minute 1";

    // At minute 10 nothing is skipped.
    MtcGenerator ten;
    ten.setSampleRate(48000.0);
    ten.setFrameRate(4);
    // The 17980th frame counted is labelled 00:09:59:28 (18 numbers dropped).
    ten.locate(static_cast<int64_t>(17980 * frame + 0.5) + 48000);
    q = run(ten, 1600, 8);
    ASSERT_GE(q.size(), 16u);
    const Decoded at10 = decode(std::vector<uint8_t>(q.begin() + 8, q.begin() + 16));
    EXPECT_EQ(at10.minutes, 10);
    EXPECT_EQ(at10.frames, 0);
}

TEST(MtcGenerator, CodesOutsideTheTableNeverIndexItAndKeepTheRateInUse) {
    MtcGenerator g;
    g.setSampleRate(48000.0);
    g.setFrameRate(-1);  // a host that left the field unset: 24 fps
    EXPECT_EQ(g.framesPerSecond(), 24);
    g.setFrameRate(1);
    g.setFrameRate(9);
    g.setFrameRate(1 << 30);
    EXPECT_EQ(g.framesPerSecond(), 25);
    EXPECT_EQ(g.frameRateCode(), 1);
    g.locate(48000 * 3);
    EXPECT_EQ(decode(run(g, 256, 20)).rateBits, 0x2);
}
