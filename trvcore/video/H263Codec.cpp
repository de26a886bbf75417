#include "trvcore/video/H263Codec.h"

#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include "trvcore/video/VideoPicture.h"

namespace video {

namespace {

// A partner's corrupt picture is expected now and then; the codec's
// complaints about it would only fill the host's console.
void quietCodecLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

int clampQuantiser(int q) {
    return q < H263Encoder::kMinQuantiser ? H263Encoder::kMinQuantiser
           : q > H263Encoder::kMaxQuantiser ? H263Encoder::kMaxQuantiser
                                            : q;
}

}  // namespace

// ---- Encoder ----------------------------------------------------------------

H263Encoder::~H263Encoder() { close(); }

bool H263Encoder::open() {
    if (context_) return true;
    quietCodecLog();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H263);
    if (!codec) return false;
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!context_ || !frame_ || !packet_) {
        close();
        return false;
    }
    context_->width = kWidth;
    context_->height = kHeight;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    // The standard picture clock of H.263 (29.97 Hz); pictures are numbered
    // one clock apart whatever their real spacing.
    context_->time_base = AVRational{1001, 30000};
    context_->framerate = AVRational{30000, 1001};
    context_->gop_size = 0;  // intra pictures only
    context_->max_b_frames = 0;
    context_->thread_count = 1;
    context_->flags |= AV_CODEC_FLAG_QSCALE;
    context_->qmin = kMinQuantiser;
    context_->qmax = kMaxQuantiser;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        close();
        return false;
    }
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = kWidth;
    frame_->height = kHeight;
    if (av_frame_get_buffer(frame_, 0) < 0) {
        close();
        return false;
    }
    pts_ = 0;
    return true;
}

void H263Encoder::close() {
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

int H263Encoder::encode(const uint8_t* rgb, int quantiser, uint8_t* out, size_t capacity) {
    if (!context_ || !rgb) return -1;
    // The encoder may still hold the previous picture's buffer.
    if (av_frame_make_writable(frame_) < 0) return -1;
    rgbToYuv420(rgb, frame_->data[0], frame_->linesize[0], frame_->data[1], frame_->data[2], frame_->linesize[1]);
    frame_->pict_type = AV_PICTURE_TYPE_I;
    frame_->quality = clampQuantiser(quantiser) * FF_QP2LAMBDA;
    frame_->pts = pts_++;
    if (avcodec_send_frame(context_, frame_) < 0) return -1;
    if (avcodec_receive_packet(context_, packet_) < 0) return -1;
    const int size = packet_->size;
    if (out && static_cast<size_t>(size) <= capacity) std::memcpy(out, packet_->data, static_cast<size_t>(size));
    av_packet_unref(packet_);
    return size;
}

// ---- Decoder ----------------------------------------------------------------

H263Decoder::~H263Decoder() { close(); }

bool H263Decoder::open() {
    if (context_) return true;
    quietCodecLog();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H263);
    if (!codec) return false;
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    input_ = static_cast<uint8_t*>(av_mallocz(kMaxCodedBytes + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!context_ || !frame_ || !picture_ || !packet_ || !input_) {
        close();
        return false;
    }
    context_->thread_count = 1;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        close();
        return false;
    }
    return true;
}

void H263Decoder::close() {
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
    av_frame_free(&picture_);
    av_packet_free(&packet_);
    av_freep(&input_);
}

bool H263Decoder::decode(const uint8_t* data, size_t length) {
    if (!context_ || !data || length == 0 || length > kMaxCodedBytes) return false;
    // The decoder reads ahead in whole words: the bytes past the picture
    // must be there and zero.
    std::memcpy(input_, data, length);
    std::memset(input_ + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->data = input_;
    packet_->size = static_cast<int>(length);
    const int sent = avcodec_send_packet(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (sent < 0) return false;
    bool got = false;
    while (avcodec_receive_frame(context_, frame_) == 0) {
        if ((frame_->format == AV_PIX_FMT_YUV420P || frame_->format == AV_PIX_FMT_YUVJ420P) && frame_->width > 0 &&
            frame_->height > 0 && frame_->data[0] && frame_->data[1] && frame_->data[2]) {
            av_frame_unref(picture_);
            av_frame_move_ref(picture_, frame_);
            sourceWidth_ = picture_->width;
            sourceHeight_ = picture_->height;
            got = true;
        }
        av_frame_unref(frame_);
    }
    return got;
}

bool H263Decoder::convertTo(uint8_t* rgb) const {
    if (!rgb || !picture_ || !picture_->data[0]) return false;
    yuv420ToRgb(picture_->data[0], picture_->linesize[0], picture_->data[1], picture_->data[2],
                picture_->linesize[1], picture_->width, picture_->height, rgb);
    return true;
}

}  // namespace video
