// The decoder wrapper: refusals, errors that close it, the sample limit,
// the process-wide open count and decoders that keep their streams apart.
#include <gtest/gtest.h>

#include <thread>

#include "CodecFixtures.h"
#include "trvcore/codec/Mp3Encoder.h"

using namespace codectest;
using Result = Mp3Decoder::Result;

namespace {

std::vector<Buffer> encodedSecond(int bitrate, double rightHz = 440) {
    Collector c;
    Mp3Encoder e;
    e.open(&c, 2, 48000, bitrate);
    encodeAll(e, TestSignal(48000, 48000, rightHz), 1152, nullptr);
    return c.buffers;
}

// MPEG 2.5 with layer I, a header no stream can carry: a decoder error.
Buffer brokenPayload() {
    Buffer b{std::vector<uint8_t>(384, 0x55), 0, 1};
    b.bytes[0] = 0xff, b.bytes[1] = 0xe6, b.bytes[2] = 0x94, b.bytes[3] = 0x04;
    return b;
}

}  // namespace

TEST(Mp3DecoderInput, MissingEmptyAndOversizePayloadsAreRefusedAndTheDecoderStays) {
    const Buffer good = encodedSecond(128000)[5];
    Mp3Decoder d;
    ASSERT_TRUE(d.open());
    Timeline out;
    const Buffer big{std::vector<uint8_t>(Mp3Decoder::kMaxPayloadBytes + 1), 0, 1};
    EXPECT_EQ(decode(d, big, out), Result::Refused);
    EXPECT_EQ(d.decode(nullptr, 10, 0, &out), Result::Refused);
    EXPECT_EQ(d.decode(good.bytes.data(), good.bytes.size(), 0, nullptr), Result::Refused);
    EXPECT_EQ(d.decode(good.bytes.data(), 0, 0, &out), Result::Empty);
    EXPECT_EQ(out.deliveries, 0);
    EXPECT_EQ(decode(d, good, out), Result::Delivered);
}

TEST(Mp3DecoderInput, ADecoderErrorClosesUntilReopened) {
    const Buffer good = encodedSecond(128000)[3];
    Mp3Decoder d;
    d.open();
    Timeline out;
    EXPECT_EQ(decode(d, brokenPayload(), out), Result::Failed);
    EXPECT_EQ(decode(d, good, out), Result::NotOpen);
    ASSERT_TRUE(d.open());
    EXPECT_EQ(decode(d, good, out), Result::Delivered);
    EXPECT_EQ(out.deliveries, 1);
}

TEST(Mp3DecoderInput, NoMoreThan32768SamplesFromOnePayload) {
    const std::vector<Buffer> frames = encodedSecond(32000);  // 96-byte frames
    Buffer joined{{}, 0, 1};
    for (int i = 0; i < 28; ++i)
        joined.bytes.insert(joined.bytes.end(), frames[i].bytes.begin(), frames[i].bytes.end());
    Mp3Decoder d;
    d.open();
    Timeline out;
    ASSERT_EQ(decode(d, joined, out), Result::Delivered);
    EXPECT_EQ(out.lastFrames, 28 * 1152);  // 32256
    joined.bytes.insert(joined.bytes.end(), frames[28].bytes.begin(), frames[28].bytes.end());
    d.open();
    EXPECT_EQ(decode(d, joined, out), Result::Failed);  // 33408
    EXPECT_EQ(out.deliveries, 1);
}

TEST(Mp3DecoderSharing, OpenCountCoversEveryDecoderAndIsReleased) {
    const int base = Mp3Decoder::openCount();
    {
        Mp3Decoder a, b;
        a.open();
        b.open();
        a.open();  // a fresh state, not a second user
        EXPECT_EQ(Mp3Decoder::openCount(), base + 2);
        Timeline out;
        decode(b, brokenPayload(), out);
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
    Timeline alone[2], interleaved[2], threaded[2];
    Mp3Decoder own[2], shared[2];
    for (int k = 0; k < 2; ++k) {
        own[k].open();
        shared[k].open();
        for (const Buffer& b : streams[k]) decode(own[k], b, alone[k]);
    }
    for (size_t i = 0; i < streams[0].size(); ++i)
        for (int k = 0; k < 2; ++k) decode(shared[k], streams[k][i], interleaved[k]);
    std::thread threads[2];
    for (int k = 0; k < 2; ++k)
        threads[k] = std::thread([&, k] {
            for (int round = 0; round < 5; ++round) {
                threaded[k] = Timeline();
                own[k].open();
                for (const Buffer& b : streams[k]) decode(own[k], b, threaded[k]);
            }
        });
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(interleaved[k].right, alone[k].right);
        EXPECT_EQ(threaded[k].left, alone[k].left);
        EXPECT_EQ(threaded[k].right, alone[k].right);
    }
}
