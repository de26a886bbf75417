// The send stream with a stand-in host and a partner on loopback: the
// AudioFrames it posts (header fields, payload), how a block is summed,
// what is not sent, and switching on, off and to another bitrate.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/unit/audio/AudioLinkPair.h"
#include "tests/unit/audio/AudioTestSupport.h"
#include "trvcore/audio/AudioSendStream.h"

using namespace audiotest;

namespace {

constexpr int kBlock = 512;
constexpr int32_t kStopped = kVstPpqPosValid | kVstTempoValid;
constexpr int32_t kPlaying = kStopped | kVstTransportPlaying;

// The encoder latency the stream must subtract: that of an MP3 encoder
// opened as the stream opens it.
int mp3Latency(double rate, int kbits) {
    Mp3Encoder e;
    if (!e.open(nullptr, 2, rate, kbits * 1000)) return -1;
    const int latency = e.latency();
    e.close();
    return latency;
}

class AudioSendStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(links.ok());
        host.block = kBlock;
        stream.reset(new AudioSendStream(host, *links.local->connection));
        ASSERT_EQ(stream->blockSize(), kBlock);
        EXPECT_FALSE(stream->enabled());
    }
    void TearDown() override { stream.reset(); }

    // One block cycle with the given inputs (each a whole block of `s`
    // from `at`), at host position `pos` with transport flags `flags`.
    void cycle(std::vector<Stereo*> inputs, size_t at, double pos, int32_t flags, int frames = kBlock) {
        host.setTime(pos, flags);
        stream->beginBlock(frames);
        for (Stereo* s : inputs) stream->addInput(s->pointers(at), 2, frames);
        stream->endBlock();
    }
    // Feeds `s` block by block, the transport playing from `pos` on. Every
    // eight blocks it lets the encoder catch up, as a real-time host would,
    // so the 64-block queue never fills.
    void feed(Stereo& s, double pos, int32_t flags) {
        size_t blocks = 0;
        for (size_t at = 0; at + kBlock <= s.frames(); at += kBlock) {
            cycle({&s}, at, (flags & kVstTransportPlaying) ? pos + double(at) : pos, flags);
            if (++blocks % 8 == 0 && stream->isRunning()) {
                // The encoder holds the last whole frame back.
                const int64_t whole = stream->framesSubmitted() / 1152;
                const uint32_t due = whole > 0 ? static_cast<uint32_t>(whole - 1) : 0;
                const uint32_t sentBefore = sentAtStart;
                eventually([&] { return stream->framesSent() - sentBefore >= due; }, 2000);
            }
        }
    }
    // Waits until nothing more arrives for 200 ms; the count then.
    size_t settled() {
        size_t n = links.count(MessageKind::AudioFrame);
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const size_t now = links.count(MessageKind::AudioFrame);
            if (now == n) break;
            n = now;
        }
        return n;
    }
    std::vector<std::vector<uint8_t>> frames() {
        auto all = links.received(MessageKind::AudioFrame);
        std::stable_sort(all.begin(), all.end(), [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
            return u32(a, 20) < u32(b, 20);
        });
        return all;
    }
    // The payloads decoded one after the other, placed at their positions.
    Stereo decodeAll(const std::vector<std::vector<uint8_t>>& messages) {
        Mp3Decoder d;
        d.open();
        Timeline t;
        for (const auto& m : messages) {
            AudioFrameView v;
            if (!parseAudioFrame(MessageBytes(m.data(), m.size()), v)) continue;
            d.decode(v.data, v.dataLength, v.header.streamPosition, &t);
        }
        return t.audio;
    }
    // Waits a moment and tells whether anything more arrived.
    bool staysQuiet(size_t known) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return links.count(MessageKind::AudioFrame) == known;
    }

    FakeStreamHost host;
    AudioLinkPair links;
    uint32_t sentAtStart = 0;  // framesSent() when the encoder last started
    std::unique_ptr<AudioSendStream> stream;
};

}  // namespace

TEST_F(AudioSendStreamTest, FramesCarryTheTransportAndStreamPositions) {
    const int latency = mp3Latency(48000, 128);
    ASSERT_GT(latency, 0);
    stream->setActive(true);
    ASSERT_TRUE(stream->enabled());
    ASSERT_TRUE(stream->isRunning());
    EXPECT_EQ(stream->bitrate(), 128);
    EXPECT_EQ(stream->encoderLatency(), latency);
    EXPECT_TRUE(host.lines().empty()) << "no encoder failure line";

    // The encoder hands out each MP3 frame of 1152 once the next one is
    // complete: stopped at 0 for five blocks, one frame comes out.
    Stereo s = sine(6144, 440, 660, 48000);
    for (int b = 0; b < 5; ++b) cycle({&s}, size_t(b) * kBlock, 0.0, kStopped);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= 1; }));
    // Then playing from 96000, with a flag above the 16 bits carried.
    const int32_t playing = kPlaying | 0x10000;
    for (int b = 5; b < 12; ++b) cycle({&s}, size_t(b) * kBlock, 96000.0 + (b - 5) * kBlock, playing);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= 4; }));
    EXPECT_EQ(stream->framesSubmitted(), 6144);

    auto got = frames();
    ASSERT_EQ(got.size(), 4u) << "6144 frames make five whole MP3 frames, the last held back";
    const uint32_t first = u32(got[0], 20);
    EXPECT_EQ(first, 1152u);
    for (size_t k = 0; k < got.size(); ++k) {
        SCOPED_TRACE(k);
        const auto& m = got[k];
        EXPECT_GT(u16(m, 4), 36);
        EXPECT_EQ(u16(m, 4), m.size());
        EXPECT_EQ(u32(m, 20), first + 1152u * k) << "streamPosition";
        EXPECT_EQ(u32(m, 24), 48000u) << "sampleRate";
        EXPECT_EQ(u16(m, 28), kCodecMp3);
        EXPECT_EQ(u16(m, 30), 2);
        EXPECT_EQ(u16(m, 32), k + 1) << "frameCounter";
        if (k == 0) {
            // Stopped: the block's own position, less the latency, as int32.
            EXPECT_EQ(static_cast<int32_t>(u32(m, 12)), -latency);
            EXPECT_EQ(u32(m, 16), 0u);
            EXPECT_EQ(u16(m, 34), kStopped & 0xFFFF);
        } else {
            // Latched when the transport started: position and frames so far.
            EXPECT_EQ(static_cast<int32_t>(u32(m, 12)), 96000 - latency);
            EXPECT_EQ(u32(m, 16), 2560u);
            EXPECT_EQ(u16(m, 34), playing & 0xFFFF);
        }
    }
}

TEST_F(AudioSendStreamTest, PayloadsDecodeToTheInputAtTheEncoderLatency) {
    stream->setActive(true);
    // Left: a sweep that matches itself at one lag only; right: a tone.
    Stereo s(48000);
    for (size_t i = 0; i < s.frames(); ++i) {
        const double t = i / 48000.0;
        s.left[i] = static_cast<float>(0.5 * std::sin(2 * kPi * (200 * t + 900 * t * t)));
        s.right[i] = static_cast<float>(0.5 * std::sin(2 * kPi * 1000 * t));
    }
    const size_t sent = s.frames() / kBlock * kBlock;
    feed(s, 0.0, kPlaying);
    const size_t expected = sent / 1152 - 1;  // the last whole frame is held back
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= expected; }));
    Stereo out = decodeAll(frames());
    ASSERT_GE(out.frames(), expected * 1152);
    double how = 0;
    const long lag = bestLag(s.left, out.left, 4000, 4000, 30000, &how);
    EXPECT_EQ(lag, stream->encoderLatency());
    EXPECT_GT(how, 0.95);
    EXPECT_GT(correlation(s.right, out.right, lag, 4000, 30000), 0.95);
    // The channels stay apart.
    EXPECT_GT(power(out.right, 1000, 48000, 8000, 24000), 100 * power(out.left, 1000, 48000, 8000, 24000));
    EXPECT_EQ(stream->droppedBlocks(), 0u);
}

TEST_F(AudioSendStreamTest, InputsOfOneBlockAreSummed) {
    stream->setActive(true);
    Stereo a = sine(15360, 440, 440, 48000, 0.4);
    Stereo minusA(a.frames()), b = sine(a.frames(), 1500, 1500, 48000, 0.3);
    for (size_t i = 0; i < a.frames(); ++i) minusA.left[i] = -a.left[i], minusA.right[i] = -a.right[i];
    // 10 blocks of a and -a (silence when summed), then 20 of a and b.
    for (size_t at = 0; at < 5120; at += kBlock) cycle({&a, &minusA}, at, 0.0, kStopped);
    for (size_t at = 5120; at < 15360; at += kBlock) cycle({&a, &b}, at, 0.0, kStopped);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= 12; }));
    Stereo out = decodeAll(frames());
    // Input frame i comes out at i + the encoder latency.
    const size_t L = static_cast<size_t>(stream->encoderLatency());
    ASSERT_GE(out.frames(), L + 8600);
    EXPECT_LT(rms(out.left.data() + L + 500, 4000), 0.002) << "a + (-a) is silence";
    EXPECT_LT(rms(out.right.data() + L + 500, 4000), 0.002);
    // Both of the second pair are there, each at its level.
    for (const std::vector<float>* ch : {&out.left, &out.right}) {
        const double p440 = power(*ch, 440, 48000, L + 5600, 3000);
        const double p1500 = power(*ch, 1500, 48000, L + 5600, 3000);
        EXPECT_NEAR(p440 / power(a.left, 440, 48000, 5600, 3000), 1.0, 0.25);
        EXPECT_NEAR(p1500 / power(b.left, 1500, 48000, 5600, 3000), 1.0, 0.25);
    }
}

TEST_F(AudioSendStreamTest, ABlockWithoutInputsSendsSilence) {
    stream->setActive(true);
    for (int b = 0; b < 5; ++b) cycle({}, 0, 0.0, kStopped);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= 1; }));
    EXPECT_EQ(stream->framesSubmitted(), 5 * kBlock);
    Stereo out = decodeAll(frames());
    ASSERT_GE(out.frames(), 2304u);
    EXPECT_LT(rms(out.left.data() + 1152, 1152), 1e-4);
    EXPECT_LT(rms(out.right.data() + 1152, 1152), 1e-4);
}

TEST_F(AudioSendStreamTest, BlocksLargerThanTheBlockSizeAreNeitherQueuedNorSent) {
    stream->setActive(true);
    Stereo s = sine(8 * kBlock, 440, 440, 48000);
    for (int b = 0; b < 6; ++b) cycle({&s}, 0, 0.0, kStopped, 2 * kBlock);
    EXPECT_EQ(stream->framesSubmitted(), 0);
    // An input of another length than the open block is left out too.
    host.setTime(0, kStopped);
    stream->beginBlock(kBlock);
    stream->addInput(s.pointers(), 2, kBlock / 2);
    stream->endBlock();
    EXPECT_EQ(stream->framesSubmitted(), kBlock);
    EXPECT_EQ(stream->droppedBlocks(), 0u);
    EXPECT_TRUE(staysQuiet(0));
}

TEST_F(AudioSendStreamTest, ACodecOtherThanMp3LeavesTheStreamOnButSilent) {
    host.codecValue = kCodecNone;
    stream->setActive(true);
    EXPECT_TRUE(stream->enabled());
    EXPECT_FALSE(stream->isRunning());
    Stereo s = sine(8 * kBlock, 440, 440, 48000);
    feed(s, 0.0, kPlaying);
    EXPECT_TRUE(staysQuiet(0));
    EXPECT_EQ(stream->framesSent(), 0u);
}

TEST_F(AudioSendStreamTest, SwitchingOffStopsSendingAndOnAgainStartsTheCountersOver) {
    stream->setActive(true);
    Stereo s = sine(12 * kBlock, 440, 440, 48000);
    feed(s, 0.0, kPlaying);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= 4; }));
    stream->setActive(false);
    EXPECT_FALSE(stream->enabled());
    EXPECT_FALSE(stream->isRunning());
    const size_t before = settled();
    EXPECT_EQ(before, 7u) << "four whole frames' output, then the rest flushed on switching off";
    const int64_t submitted = stream->framesSubmitted();
    feed(s, 0.0, kPlaying);
    EXPECT_EQ(stream->framesSubmitted(), submitted);
    EXPECT_TRUE(staysQuiet(before));

    sentAtStart = stream->framesSent();
    stream->setActive(true);
    EXPECT_TRUE(stream->isRunning());
    EXPECT_EQ(stream->framesSubmitted(), 0);
    feed(s, 0.0, kPlaying);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= before + 4; }));
    auto all = links.received(MessageKind::AudioFrame);
    std::vector<std::vector<uint8_t>> later(all.begin() + static_cast<long>(before), all.end());
    std::sort(later.begin(), later.end(),
              [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) { return u16(a, 32) < u16(b, 32); });
    for (size_t k = 0; k < later.size(); ++k) {
        EXPECT_EQ(u16(later[k], 32), k + 1) << "frameCounter starts at 1 again";
        EXPECT_EQ(u32(later[k], 20), 1152u * (k + 1)) << "streamPosition starts over";
    }
}

TEST_F(AudioSendStreamTest, SwitchingOffSendsTheTailThatWaitedForAWholeFrame) {
    stream->setActive(true);
    Stereo s = sine(5 * kBlock, 440, 440, 48000);
    feed(s, 0.0, kPlaying);  // two whole frames and 256 samples of a third
    auto sentAt = [&](uint32_t position) {
        for (const auto& m : links.received(MessageKind::AudioFrame))
            if (u32(m, 20) == position) return true;
        return false;
    };
    // The encoder's output runs a frame behind its input: the second
    // frame's output shows that every block has reached the encoder.
    ASSERT_TRUE(eventually([&] { return sentAt(1152); }));
    EXPECT_FALSE(sentAt(2304));
    const int latency = stream->encoderLatency();
    stream->setActive(false);
    // Everything fed decodes, up to the last sample at the encoder latency.
    ASSERT_TRUE(eventually([&] { return sentAt(2304) && sentAt(4608); })) << "the last 256 samples were dropped";
    const Stereo out = decodeAll(frames());
    ASSERT_GE(out.frames(), size_t(s.frames() + latency));
    EXPECT_GT(correlation(s.left, out.left, latency, 2304, 256), 0.9);
}

TEST_F(AudioSendStreamTest, RestartsOnlyWhenTheBitrateChoiceChanges) {
    // Not running: nothing to restart.
    stream->restartIfBitrateChanged();
    EXPECT_EQ(stream->encoderStarts(), 0u);
    stream->setActive(true);
    ASSERT_EQ(stream->encoderStarts(), 1u);
    ASSERT_EQ(stream->bitrate(), 128);
    stream->restartIfBitrateChanged();
    EXPECT_EQ(stream->encoderStarts(), 1u);
    host.audio = 100;  // still 128
    stream->restartIfBitrateChanged();
    EXPECT_EQ(stream->encoderStarts(), 1u);
    host.audio = 64;
    stream->restartIfBitrateChanged();
    EXPECT_EQ(stream->encoderStarts(), 2u);
    EXPECT_EQ(stream->bitrate(), 64);
    EXPECT_TRUE(stream->isRunning());
    // The restarted encoder sends at its new rate: 144 * 64000 / 48000 bytes a frame.
    Stereo s = sine(6 * kBlock, 440, 440, 48000);
    feed(s, 0.0, kPlaying);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= 1; }));
    for (const auto& m : frames()) EXPECT_EQ(m.size(), 36u + 192u);

    stream->setActive(false);
    host.audio = 256;
    stream->restartIfBitrateChanged();
    EXPECT_EQ(stream->encoderStarts(), 2u);
    EXPECT_FALSE(stream->enabled());
}

TEST_F(AudioSendStreamTest, ANewBlockSizeTakesLargerBlocks) {
    stream->setActive(true);
    stream->setBlockSize(2048);
    EXPECT_EQ(stream->blockSize(), 2048);
    EXPECT_TRUE(stream->isRunning());
    Stereo s = sine(4096, 440, 440, 48000);
    for (size_t at = 0; at < 4096; at += 2048) cycle({&s}, at, 0.0, kStopped, 2048);
    EXPECT_EQ(stream->framesSubmitted(), 4096);
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioFrame) >= 2; }));
}
