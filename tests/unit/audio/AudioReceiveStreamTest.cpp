// The receive stream with a stand-in host: real AudioFrames in, the
// partner's audio out of the play block as soon as it is due; frames
// it must not play; switching; a bad payload; the restart request; the
// play block's size.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/unit/audio/AudioLinkPair.h"
#include "tests/unit/audio/AudioTestSupport.h"
#include "trvcore/audio/AudioReceiveStream.h"

using namespace audiotest;

namespace {

constexpr int kBlock = 384;  // three blocks play one MP3 frame

class AudioReceiveStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(links.ok());
        host.block = kBlock;
        host.setTime(0, 0);
        stream.reset(new AudioReceiveStream(host, *links.local->connection));
        ASSERT_TRUE(stream->active());
        ASSERT_EQ(stream->blockSize(), kBlock);
        // The partner's signal: a different tone on each side.
        Stereo s = sine(48000 / 4, 500, 1250, 48000, 0.4);
        encoded = encode(s);
        ASSERT_GE(encoded.buffers.size(), 8u);
        input = s;
    }

    void send(size_t k, uint16_t codec = kCodecMp3) {
        stream->onAudioFrame(audioFrame(encoded.buffers[k], static_cast<uint16_t>(k + 1), 48000, codec));
    }
    // One block cycle; what the play block held.
    int block(Stereo* into = nullptr, int frames = kBlock) {
        stream->beginBlock(frames);
        const int produced = stream->producedFrames();
        EXPECT_EQ(stream->channelCount(), frames <= stream->blockSize() && stream->active() ? 2 : 0);
        if (into) {
            into->left.insert(into->left.end(), stream->output()[0], stream->output()[0] + frames);
            into->right.insert(into->right.end(), stream->output()[1], stream->output()[1] + frames);
        }
        stream->endBlock();
        EXPECT_EQ(stream->producedFrames(), 0);
        EXPECT_EQ(stream->channelCount(), 0);
        return produced;
    }
    // The same payloads through a decoder of the test's own.
    Stereo reference(size_t count) {
        Mp3Decoder d;
        d.open();
        Timeline t;
        for (size_t k = 0; k < count; ++k) {
            const EncodedBuffer& b = encoded.buffers[k];
            d.decode(b.bytes.data(), b.bytes.size(), b.position, &t);
        }
        // From the first position on, as the play block has it.
        Stereo out;
        const size_t first = static_cast<size_t>(encoded.buffers[0].position);
        out.left.assign(t.audio.left.begin() + static_cast<long>(first), t.audio.left.end());
        out.right.assign(t.audio.right.begin() + static_cast<long>(first), t.audio.right.end());
        return out;
    }

    FakeStreamHost host;
    AudioLinkPair links;
    std::unique_ptr<AudioReceiveStream> stream;
    EncodedStream encoded;
    Stereo input;
};

}  // namespace

TEST_F(AudioReceiveStreamTest, DecodedFramesPlayInOrderOnceDue) {
    // Nothing queued: silence.
    Stereo before;
    block(&before);
    EXPECT_TRUE(allZero(before.left.data(), before.frames()));

    // One frame at a time, three blocks of 384 after each: an MP3 frame is
    // longer than the 256-frame reserve, so each is due once decoded and
    // plays whole.
    Stereo played;
    const size_t frames = 8;
    for (size_t k = 0; k < frames; ++k) {
        send(k);
        EXPECT_EQ(stream->decodedFrames(), int64_t(1152 * (k + 1)));
        EXPECT_EQ(stream->lastCodec(), kCodecMp3);
        for (int b = 0; b < 3; ++b) EXPECT_EQ(block(&played), kBlock);
    }
    const Stereo expected = reference(frames);
    ASSERT_EQ(expected.frames(), played.frames());
    EXPECT_EQ(played.left, expected.left);
    EXPECT_EQ(played.right, expected.right);
    // And that is the partner's signal, at the encoder's latency.
    const long lag = static_cast<long>(encoded.latency) - static_cast<long>(encoded.buffers[0].position);
    ASSERT_GT(lag, 0);
    EXPECT_GT(correlation(input.left, played.left, lag, 1000, 4000), 0.95);
    EXPECT_GT(correlation(input.right, played.right, lag, 1000, 4000), 0.95);
    EXPECT_EQ(stream->decodeFailures(), 0u);
}

TEST_F(AudioReceiveStreamTest, FramesOfAnotherCodecAreDropped) {
    send(0, kCodecNone);
    send(1, kCodecNone);
    EXPECT_EQ(stream->lastCodec(), kCodecNone);
    EXPECT_EQ(stream->decodedFrames(), 0);
    EXPECT_EQ(stream->playout().queuedFrames(), 0);
    Stereo played;
    block(&played);
    EXPECT_TRUE(allZero(played.left.data(), played.frames()));
}

TEST_F(AudioReceiveStreamTest, AnInactiveStreamIgnoresFramesAndSwitchingOnStartsClean) {
    send(0);
    send(1);
    ASSERT_EQ(stream->decodedFrames(), 2304);
    stream->setActive(false);
    EXPECT_FALSE(stream->active());
    send(2);
    send(3, kCodecNone);
    EXPECT_EQ(stream->decodedFrames(), 2304);
    EXPECT_EQ(stream->lastCodec(), kCodecMp3) << "an inactive stream does not even look";
    EXPECT_EQ(block(), 0);

    stream->setActive(true);
    EXPECT_TRUE(stream->active());
    EXPECT_EQ(stream->decodedFrames(), 0);
    EXPECT_EQ(stream->playout().queuedFrames(), 0) << "what was queued is gone";
    // A fresh decoder takes the stream up again mid-way.
    send(4);
    send(5);
    EXPECT_EQ(stream->decodedFrames(), 2304);
    Stereo played;
    for (int b = 0; b < 3; ++b) block(&played);
    EXPECT_GT(rms(played.left.data() + 600, 500), 0.1);
}

TEST_F(AudioReceiveStreamTest, ACorruptPayloadNeitherCrashesNorPlays) {
    std::vector<uint8_t> junk(400);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
    std::vector<uint8_t> syncs(400, 0xFF);                       // frame syncs everywhere
    std::vector<uint8_t> cut(encoded.buffers[1].bytes.begin(),  // a frame cut short
                             encoded.buffers[1].bytes.begin() + 100);
    std::vector<uint8_t> big(8156, 0xFF);
    int64_t decoded = 0;
    for (const auto* payload : {&junk, &syncs, &cut, &big}) {
        EncodedBuffer b{*payload, 1152, AudioEncoderListener::kEncodedFrame};
        stream->onAudioFrame(audioFrame(b, 1));
        decoded = stream->decodedFrames();
    }
    // A header-only frame, and one whose length field claims more than the
    // kind's header holds.
    PeerMessage empty;
    AudioFrameHeader h;
    h.sampleRate = 48000;
    ASSERT_TRUE(buildAudioFrame(empty, h, nullptr, 0));
    stream->onAudioFrame(empty);
    PeerMessage shortOne;
    ASSERT_TRUE(shortOne.begin(MessageKind::AudioFrame, 20));
    stream->onAudioFrame(shortOne);
    EXPECT_EQ(stream->decodedFrames(), decoded);
    EXPECT_TRUE(stream->decodeFailures() > 0 || decoded == 0);
    for (int b = 0; b < 4; ++b) block();

    // Good frames afterwards still play.
    stream->playout().reset();
    for (size_t k = 2; k < 6; ++k) send(k);
    EXPECT_GE(stream->decodedFrames(), decoded + 3 * 1152);
    Stereo played;
    for (int b = 0; b < 3; ++b) block(&played);
    EXPECT_GT(rms(played.left.data() + 600, 500), 0.1);
}

TEST_F(AudioReceiveStreamTest, APartnerWhoChangesHisSampleRateIsHeardAtTheNewRate) {
    for (size_t k = 0; k < 3; ++k) send(k);
    ASSERT_EQ(stream->decodedFrames(), int64_t(3 * 1152));

    // The partner's host now runs at 44.1 kHz, and so does ours.
    Stereo s = sine(44100 / 4, 700, 900, 44100, 0.4);
    const EncodedStream slow = encode(s, 44100);
    ASSERT_GE(slow.buffers.size(), 7u);
    host.rate = 44100.0;
    host.setTime(0, 0);
    for (size_t k = 0; k < 3; ++k)
        stream->onAudioFrame(audioFrame(slow.buffers[k], static_cast<uint16_t>(10 + k), 44100));
    EXPECT_EQ(stream->decodedFrames(), int64_t(6 * 1152)) << "the old decoder state yields nothing at 44.1 kHz";
    Stereo played;
    for (int b = 0; b < 8; ++b) block(&played);
    EXPECT_GT(rms(played.left.data(), played.frames()), 0.1) << "the partner is heard, not silence";

    // A payload whose audio is not at the rate its header claims never plays.
    const int64_t before = stream->decodedFrames();
    for (size_t k = 0; k < 3; ++k) send(k);  // 48 kHz payloads...
    stream->onAudioFrame(audioFrame(slow.buffers[6], 20, 48000));  // ...and one that lies
    EXPECT_EQ(stream->decodedFrames(), before + int64_t(3 * 1152));
    EXPECT_EQ(stream->rateMismatches(), 0u);
    AudioReceiveStream fresh(host, *links.local->connection);
    fresh.onAudioFrame(audioFrame(slow.buffers[0], 1, 48000));
    EXPECT_EQ(fresh.decodedFrames(), 0);
    EXPECT_EQ(fresh.rateMismatches(), 1u);
    EXPECT_EQ(fresh.playout().queuedFrames(), 0);
}

TEST_F(AudioReceiveStreamTest, RestartRequestIsA12ByteAudioRestart) {
    stream->requestRestart();
    ASSERT_TRUE(eventually([&] { return links.count(MessageKind::AudioRestart) == 1; }));
    const auto m = links.received(MessageKind::AudioRestart)[0];
    ASSERT_EQ(m.size(), 12u);
    EXPECT_EQ(u16(m, 4), 12);
    EXPECT_EQ(m[9], 1);
    EXPECT_EQ(m[0], 0xB6);
}

TEST_F(AudioReceiveStreamTest, ANewBlockSizeResizesAndZeroesThePlayBlock) {
    // The decoded stream starts with the encoder's priming silence: four
    // blocks in, the play block holds the signal.
    for (size_t k = 0; k < 4; ++k) send(k);
    for (int b = 0; b < 4; ++b) block();
    ASSERT_GT(rms(stream->output()[0], kBlock), 0.05);

    stream->setBlockSize(1024);
    EXPECT_EQ(stream->blockSize(), 1024);
    EXPECT_TRUE(allZero(stream->output()[0], 1024));
    EXPECT_TRUE(allZero(stream->output()[1], 1024));
    // Blocks up to the new size are read now; larger ones are not.
    EXPECT_EQ(block(nullptr, 1024), 1024);
    std::vector<float> kept(stream->output()[0], stream->output()[0] + 1024);
    EXPECT_EQ(block(nullptr, 2048), 0);
    EXPECT_EQ(std::vector<float>(stream->output()[0], stream->output()[0] + 1024), kept)
        << "a block too large leaves the play block as it was";
}

TEST_F(AudioReceiveStreamTest, FlushEmptiesThePlayoutBuffer) {
    for (size_t k = 0; k < 3; ++k) send(k);
    ASSERT_EQ(stream->playout().queuedFrames(), 3456);
    stream->flush();
    EXPECT_EQ(stream->playout().queuedFrames(), 0);
    Stereo played;
    block(&played);
    EXPECT_TRUE(allZero(played.left.data(), played.frames()));
}

TEST_F(AudioReceiveStreamTest, TransportSyncSwitchReachesThePlayoutBuffer) {
    stream->setTransportSync(false);
    EXPECT_FALSE(stream->playout().syncEnabled());
    stream->setTransportSync(true);
    EXPECT_TRUE(stream->playout().syncEnabled());
}
