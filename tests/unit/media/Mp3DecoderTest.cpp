// The decoder wrapper: refusals, errors that close it, the sample limit,
// the process-wide open count and independent decoders.
#include <gtest/gtest.h>

#include <lame/lame.h>

#include <thread>

#include "CodecFixtures.h"
#include "trvcore/Mp3Encoder.h"

using namespace codectest;
using Result = Mp3Decoder::Result;

namespace {

// Kind-1 buffers of one second of the test signal.
std::vector<Buffer> encodedSecond(int bitrate, double hzShift = 0) {
    TestSignal s(48000, 48000);
    if (hzShift != 0)
        for (size_t i = 0; i < s.left.size(); ++i)
            s.left[i] = static_cast<float>(0.4 * std::sin(2 * kPi * hzShift * i / 48000));
    Collector c;
    Mp3Encoder e;
    e.open(&c, 2, 48000, bitrate);
    encodeAll(e, s, 1152, nullptr);
    std::vector<Buffer> frames;
    for (Buffer& b : c.buffers)
        if (b.kind == AudioEncoderListener::kEncodedFrame) frames.push_back(b);
    return frames;
}

// A frame header no stream can carry (MPEG 2.5, layer I): a decoder error.
std::vector<uint8_t> brokenPayload() {
    std::vector<uint8_t> p(384, 0x55);
    const uint8_t header[4] = {0xff, 0xe6, 0x94, 0x04};
    std::copy(header, header + 4, p.begin());
    return p;
}

Result decode(Mp3Decoder& d, const Buffer& b, Timeline& out) {
    return d.decode(b.bytes.data(), b.bytes.size(), b.position, &out);
}

}  // namespace

TEST(Mp3DecoderInput, MissingEmptyAndOversizePayloadsAreRefusedAndTheDecoderStays) {
    const std::vector<Buffer> frames = encodedSecond(128000);
    Mp3Decoder d;
    ASSERT_TRUE(d.open());
    Timeline out;
    std::vector<uint8_t> big(Mp3Decoder::kMaxPayloadBytes + 1, 0);
    EXPECT_EQ(d.decode(big.data(), big.size(), 0, &out), Result::Refused);
    EXPECT_EQ(d.decode(nullptr, 10, 0, &out), Result::Refused);
    EXPECT_EQ(d.decode(frames[5].bytes.data(), frames[5].bytes.size(), 0, nullptr), Result::Refused);
    EXPECT_EQ(d.decode(frames[5].bytes.data(), 0, 0, &out), Result::Empty);
    EXPECT_EQ(out.deliveries, 0);
    EXPECT_TRUE(d.isOpen());
    EXPECT_EQ(decode(d, frames[5], out), Result::Delivered);
}

TEST(Mp3DecoderInput, ADecoderErrorClosesUntilReopened) {
    const std::vector<Buffer> frames = encodedSecond(128000);
    const std::vector<uint8_t> broken = brokenPayload();
    Mp3Decoder d;
    d.open();
    Timeline out;
    EXPECT_EQ(d.decode(broken.data(), broken.size(), 0, &out), Result::Failed);
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(decode(d, frames[3], out), Result::NotOpen);
    EXPECT_EQ(out.deliveries, 0);
    ASSERT_TRUE(d.open());
    EXPECT_EQ(decode(d, frames[3], out), Result::Delivered);
}

TEST(Mp3DecoderInput, NoMoreThan32768SamplesFromOnePayload) {
    const std::vector<Buffer> frames = encodedSecond(32000);  // 96-byte frames
    Buffer joined{{}, 0, 1};
    for (int i = 1; i <= 28; ++i)
        joined.bytes.insert(joined.bytes.end(), frames[i].bytes.begin(), frames[i].bytes.end());
    Mp3Decoder d;
    d.open();
    Timeline out;
    ASSERT_EQ(decode(d, joined, out), Result::Delivered);  // 28 x 1152 = 32256
    EXPECT_EQ(out.lastFrames, 28 * 1152);
    joined.bytes.insert(joined.bytes.end(), frames[29].bytes.begin(), frames[29].bytes.end());
    d.open();
    EXPECT_EQ(decode(d, joined, out), Result::Failed);  // 29 frames: over the limit
    EXPECT_EQ(out.deliveries, 1);
    EXPECT_FALSE(d.isOpen());
}

TEST(Mp3DecoderInput, MonoStreamsComeOutOnBothChannels) {
    lame_t lame = lame_init();
    lame_set_in_samplerate(lame, 48000);
    lame_set_num_channels(lame, 1);
    lame_set_mode(lame, MONO);
    lame_set_brate(lame, 64);
    ASSERT_GE(lame_init_params(lame), 0);
    std::vector<float> tone = TestSignal(4 * 1152, 48000).right;
    for (float& v : tone) v *= 32768;
    std::vector<uint8_t> mp3(65536);
    int n = lame_encode_buffer_float(lame, tone.data(), tone.data(), 4 * 1152, mp3.data(), 65536);
    n += lame_encode_flush(lame, mp3.data() + n, 65536 - n);
    lame_close(lame);
    Mp3Decoder d;
    d.open();
    Timeline out;
    ASSERT_EQ(d.decode(mp3.data(), static_cast<size_t>(n), 0, &out), Result::Delivered);
    EXPECT_EQ(out.left, out.right);
    EXPECT_GT(power(out.right, 440, 48000, 2000, 2000), 0.01);
}

TEST(Mp3DecoderSharing, OpenCountCoversEveryDecoderAndIsReleased) {
    const int base = Mp3Decoder::openCount();
    const std::vector<uint8_t> broken = brokenPayload();
    {
        Mp3Decoder a, b;
        a.open();
        b.open();
        EXPECT_EQ(Mp3Decoder::openCount(), base + 2);
        a.open();  // a reopen is a fresh state, not a second user
        EXPECT_EQ(Mp3Decoder::openCount(), base + 2);
        Timeline out;
        b.decode(broken.data(), broken.size(), 0, &out);
        EXPECT_EQ(Mp3Decoder::openCount(), base + 1);
        b.close();
        EXPECT_EQ(Mp3Decoder::openCount(), base + 1);
    }
    EXPECT_EQ(Mp3Decoder::openCount(), base);
}

// Two partners' streams, decoded interleaved on one thread and at the same
// time on two threads, come out exactly as each decoded on its own.
TEST(Mp3DecoderSharing, DecodersKeepTheirStreamsApart) {
    const std::vector<Buffer> streams[2] = {encodedSecond(128000), encodedSecond(96000, 3000)};
    Timeline alone[2];
    for (int k = 0; k < 2; ++k) {
        Mp3Decoder d;
        d.open();
        for (const Buffer& b : streams[k]) decode(d, b, alone[k]);
    }
    Mp3Decoder shared[2];
    Timeline interleaved[2];
    for (int k = 0; k < 2; ++k) shared[k].open();
    for (size_t i = 0; i < streams[0].size(); ++i)
        for (int k = 0; k < 2; ++k) decode(shared[k], streams[k][i], interleaved[k]);
    Timeline threaded[2];
    std::thread threads[2];
    for (int k = 0; k < 2; ++k)
        threads[k] = std::thread([&, k] {
            Mp3Decoder d;
            d.open();
            for (int round = 0; round < 5; ++round) {
                threaded[k] = Timeline();
                d.open();
                for (const Buffer& b : streams[k]) decode(d, b, threaded[k]);
            }
        });
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(interleaved[k].left, alone[k].left);
        EXPECT_EQ(threaded[k].left, alone[k].left);
        EXPECT_EQ(threaded[k].right, alone[k].right);
    }
}
