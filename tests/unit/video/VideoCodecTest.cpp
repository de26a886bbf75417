// The picture operations and the H.263 codec: scaling, the studio-range
// colour conversion, intra coding at a quantiser, decoding of every
// standard source format, and corrupt input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "tests/unit/video/VideoTestSupport.h"
#include "trvcore/video/H263Codec.h"

using namespace videotest;
using Kind = SyntheticCamera::Kind;

TEST(VideoPicture, QcifIsCopiedAndOtherSizesInterpolatedBilinearly) {
    // 176 x 144 with padded rows: copied byte for byte, the padding left out.
    const int stride = 600;
    Picture padded(static_cast<size_t>(stride) * video::kHeight);
    std::mt19937 rng(7);
    for (auto& b : padded) b = static_cast<uint8_t>(rng());
    Picture out = qcif();
    ASSERT_TRUE(video::scaleToQcif(padded.data(), video::kWidth, video::kHeight, stride, out.data()));
    for (int row = 0; row < video::kHeight; ++row)
        ASSERT_EQ(0, std::memcmp(out.data() + row * video::kStride, padded.data() + row * stride, video::kStride));

    // 320 x 240 ramps (red across, green down): the output samples the
    // ramps at x * 320 / 176 and y * 240 / 144, between source pixels too.
    const int w = 320, h = 240;
    Picture ramp(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ramp[(y * w + x) * 3] = static_cast<uint8_t>(x * 255 / (w - 1));
            ramp[(y * w + x) * 3 + 1] = static_cast<uint8_t>(y * 255 / (h - 1));
        }
    ASSERT_TRUE(video::scaleToQcif(ramp.data(), w, h, w * 3, out.data()));
    for (int y = 0; y < video::kHeight; y += 11)
        for (int x = 0; x < video::kWidth; x += 7) {
            const double sx = x * double(w) / video::kWidth, sy = y * double(h) / video::kHeight;
            EXPECT_NEAR(out[(y * video::kWidth + x) * 3], sx * 255 / (w - 1), 2.0) << x << "," << y;
            EXPECT_NEAR(out[(y * video::kWidth + x) * 3 + 1], sy * 255 / (h - 1), 2.0) << x << "," << y;
        }

    EXPECT_FALSE(video::scaleToQcif(ramp.data(), 0, h, w * 3, out.data()));
    EXPECT_FALSE(video::scaleToQcif(ramp.data(), w, h, w * 3 - 1, out.data()));
}

TEST(VideoPicture, StudioRangeConversionHitsTheReferenceLevelsAndComesBack) {
    struct Level {
        uint8_t r, g, b;
        int y, cb, cr;
    };
    const Level levels[] = {{255, 255, 255, 235, 128, 128}, {0, 0, 0, 16, 128, 128},
                            {255, 0, 0, 81, 90, 240},       {0, 0, 255, 41, 240, 110},
                            {0, 255, 0, 145, 54, 34}};
    Picture in = qcif();
    std::vector<uint8_t> y(video::kWidth * video::kHeight), cb(88 * 72), cr(88 * 72);
    for (const Level& l : levels) {
        for (size_t i = 0; i < in.size(); i += 3) {
            in[i] = l.r;
            in[i + 1] = l.g;
            in[i + 2] = l.b;
        }
        video::rgbToYuv420(in.data(), y.data(), video::kWidth, cb.data(), cr.data(), 88);
        EXPECT_EQ(l.y, y[1000]);
        EXPECT_EQ(l.cb, cb[500]);
        EXPECT_EQ(l.cr, cr[500]);
    }
    // Bars (edges on even columns, so no chroma sample straddles two bars)
    // come back within a few steps.
    const Picture bars = qcifFrame(Kind::Bars, video::kWidth, video::kHeight);
    video::rgbToYuv420(bars.data(), y.data(), video::kWidth, cb.data(), cr.data(), 88);
    Picture back = qcif();
    video::yuv420ToRgb(y.data(), video::kWidth, cb.data(), cr.data(), 88, video::kWidth, video::kHeight, back.data());
    for (size_t i = 0; i < bars.size(); ++i) ASSERT_NEAR(bars[i], back[i], 3) << i;
}

TEST(H263Codec, IntraPicturesDecodeAloneAndTheQuantiserTradesSizeForFidelity) {
    video::H263Encoder encoder;
    ASSERT_TRUE(encoder.open());
    std::vector<uint8_t> coded[3];
    Picture sources[3];
    for (uint32_t n = 0; n < 3; ++n) {
        sources[n] = qcifFrame(Kind::Pattern, 320, 240, n * 5);
        coded[n].resize(8156);
        const int size = encoder.encode(sources[n].data(), 7, coded[n].data(), coded[n].size());
        ASSERT_GT(size, 0);
        coded[n].resize(static_cast<size_t>(size));
    }
    // The last picture alone, in a decoder that saw nothing before.
    video::H263Decoder decoder;
    ASSERT_TRUE(decoder.open());
    Picture out = qcif();
    ASSERT_TRUE(decoder.decode(coded[2].data(), coded[2].size(), out.data()));
    EXPECT_GE(lumaPsnr(out, sources[2]), 30.0);
    EXPECT_EQ(176, decoder.sourceWidth());

    // A finer quantiser costs bytes and buys fidelity.
    int last = 1 << 30;
    double lastPsnr = 99.0;
    for (int q : {2, 7, 16, 31}) {
        std::vector<uint8_t> bytes(65536);
        const int size = encoder.encode(sources[0].data(), q, bytes.data(), bytes.size());
        ASSERT_GT(size, 0);
        EXPECT_LT(size, last) << q;
        ASSERT_TRUE(decoder.decode(bytes.data(), static_cast<size_t>(size), out.data()));
        const double psnr = lumaPsnr(out, sources[0]);
        EXPECT_LE(psnr, lastPsnr + 0.01) << q;
        last = size;
        lastPsnr = psnr;
    }
    // Too large for the caller's buffer: the size is told, nothing copied.
    uint8_t small[16] = {};
    EXPECT_GT(encoder.encode(sources[0].data(), 2, small, sizeof small), 16);
    EXPECT_EQ(0, small[0]);
}

namespace {

// Bars coded at another standard source size, with the codec library
// itself (our encoder only makes QCIF).
std::vector<uint8_t> barsCodedAt(int width, int height) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H263);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1001, 30000};
    c->gop_size = 0;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    std::vector<uint8_t> out;
    if (avcodec_open2(c, codec, nullptr) == 0) {
        AVFrame* f = av_frame_alloc();
        f->format = AV_PIX_FMT_YUV420P;
        f->width = width;
        f->height = height;
        av_frame_get_buffer(f, 0);
        const Picture rgb = cameraFrame(Kind::Bars, width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &rgb[(y * width + x) * 3];
                f->data[0][y * f->linesize[0] + x] =
                    static_cast<uint8_t>(16.5 + (65.481 * p[0] + 128.553 * p[1] + 24.966 * p[2]) / 255);
                if (y % 2 == 0 && x % 2 == 0) {
                    f->data[1][y / 2 * f->linesize[1] + x / 2] =
                        static_cast<uint8_t>(128.5 + (-37.797 * p[0] - 74.203 * p[1] + 112 * p[2]) / 255);
                    f->data[2][y / 2 * f->linesize[2] + x / 2] =
                        static_cast<uint8_t>(128.5 + (112 * p[0] - 93.786 * p[1] - 18.214 * p[2]) / 255);
                }
            }
        f->quality = 4 * FF_QP2LAMBDA;
        AVPacket* pkt = av_packet_alloc();
        if (avcodec_send_frame(c, f) == 0 && avcodec_receive_packet(c, pkt) == 0)
            out.assign(pkt->data, pkt->data + pkt->size);
        av_packet_free(&pkt);
        av_frame_free(&f);
    }
    avcodec_free_context(&c);
    return out;
}

}  // namespace

TEST(H263Codec, EveryStandardSourceFormatLandsInTheQcifPicture) {
    const int sizes[][2] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};
    video::H263Decoder decoder;
    ASSERT_TRUE(decoder.open());
    for (const auto& s : sizes) {
        std::vector<uint8_t> coded = barsCodedAt(s[0], s[1]);
        ASSERT_FALSE(coded.empty()) << s[0];
        // Larger formats do not fit a VideoFrame; the decoder's own limit
        // is what a message can carry.
        if (coded.size() > video::H263Decoder::kMaxCodedBytes) {
            Picture untouched = qcif();
            EXPECT_FALSE(decoder.decode(coded.data(), coded.size(), untouched.data())) << s[0];
            continue;
        }
        Picture out = qcif();
        ASSERT_TRUE(decoder.decode(coded.data(), coded.size(), out.data())) << s[0];
        EXPECT_EQ(s[0], decoder.sourceWidth());
        EXPECT_EQ(s[1], decoder.sourceHeight());
        EXPECT_GE(lumaPsnr(out, qcifFrame(Kind::Bars, s[0], s[1])), 24.0) << s[0];
    }
}

TEST(H263Codec, CorruptAndTruncatedPicturesNeverBreakTheDecoder) {
    video::H263Encoder encoder;
    ASSERT_TRUE(encoder.open());
    const Picture source = qcifFrame(Kind::Pattern, 320, 240, 3);
    std::vector<uint8_t> good(8156);
    good.resize(static_cast<size_t>(encoder.encode(source.data(), 7, good.data(), good.size())));

    video::H263Decoder decoder;
    ASSERT_TRUE(decoder.open());
    Picture out = qcif();
    std::mt19937 rng(13);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bad = good;
        switch (round % 3) {
            case 0: bad.resize(rng() % good.size() + 1); break;                       // truncated
            case 1: for (int i = 0; i < 8; ++i) bad[rng() % bad.size()] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
            default: for (auto& b : bad) b = static_cast<uint8_t>(rng()); break;     // noise
        }
        decoder.decode(bad.data(), bad.size(), out.data());
    }
    EXPECT_FALSE(decoder.decode(good.data(), 0, out.data()));
    EXPECT_FALSE(decoder.decode(good.data(), video::H263Decoder::kMaxCodedBytes + 1, out.data()));
    // The next good picture comes out whole.
    ASSERT_TRUE(decoder.decode(good.data(), good.size(), out.data()));
    EXPECT_GE(lumaPsnr(out, source), 30.0);
}
