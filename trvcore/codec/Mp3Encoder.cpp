#include "trvcore/codec/Mp3Encoder.h"

#include <algorithm>

#include <lame/lame.h>

#include <cmath>
#include <cstdarg>
#include <new>

#include "trvcore/codec/EncoderBitrate.h"
#include "trvcore/session/MessageLog.h"

namespace {

constexpr float kFullScale = 32768.0f;
// Without a tag frame a fresh encoder yields nothing; the bound only guards
// the loop.
constexpr int kStartupFlushes = 8;

void silent(const char*, va_list) {}

}  // namespace

Mp3Encoder::Mp3Encoder(MessageLog* log)
    : log_(log),
      left_(new (std::nothrow) float[kFrameSamples]),
      right_(new (std::nothrow) float[kFrameSamples]),
      output_(new (std::nothrow) uint8_t[kOutputBytes]) {}

Mp3Encoder::~Mp3Encoder() { close(); }

bool Mp3Encoder::open(AudioEncoderListener* sink, int channels, double sampleRate, int bitrate) {
    close();
    if (!left_ || !right_ || !output_ || channels < 1 || channels > 2) return false;
    sink_ = sink;
    channels_ = channels;
    sampleRate_ = sampleRate;
    streamPosition_.store(0, std::memory_order_relaxed);
    fill_ = 0;
    return startLame(rates::snapMp3Bitrate(bitrate));
}

bool Mp3Encoder::startLame(int snappedBitrate) {
    bitrate_.store(snappedBitrate, std::memory_order_relaxed);
    const bool rateUsable = sampleRate_ >= 1.0 && sampleRate_ < 1.0e6;  // NaN fails too
    const int rate = rateUsable ? static_cast<int>(sampleRate_) : 0;
    lame_t lame = rateUsable ? lame_init() : nullptr;
    bool ok = lame != nullptr;
    if (ok) {
        lame_set_errorf(lame, silent);
        lame_set_debugf(lame, silent);
        lame_set_msgf(lame, silent);
        lame_set_in_samplerate(lame, rate);
        lame_set_out_samplerate(lame, rate);
        lame_set_num_channels(lame, 2);
        lame_set_scale(lame, 1.0f);
        lame_set_quality(lame, 7);
        lame_set_mode(lame, STEREO);
        lame_set_VBR(lame, vbr_off);
        lame_set_brate(lame, snappedBitrate / 1000);
        lame_set_compression_ratio(lame, 0.0f);
        lame_set_force_short_blocks(lame, 1);
        // No tag frame: it describes a file, and a decoder that meets it
        // first holds it back and hands it out with the next buffer, one
        // frame late.
        lame_set_bWriteVbrTag(lame, 0);
        // LAME resamples a rate MP3 does not carry; the partner would then
        // play it at the wrong speed.
        ok = lame_init_params(lame) >= 0 && lame_get_out_samplerate(lame) == rate;
    }
    if (!ok) {
        if (log_) log_->post(kFailureText);
        if (lame) lame_close(lame);
        return false;
    }
    lame_ = lame;
    encoderDelay_.store(lame_get_encoder_delay(lame), std::memory_order_relaxed);
    for (int i = 0; i < kStartupFlushes; ++i) {
        const int n = lame_encode_flush_nogap(lame_, output_.get(), kOutputBytes);
        if (n <= 0) break;
        if (sink_)
            sink_->onEncoded(output_.get(), n, streamPosition_.load(std::memory_order_relaxed),
                             AudioEncoderListener::kStartup);
    }
    open_.store(true, std::memory_order_release);
    return true;
}

void Mp3Encoder::setBitrate(int bitrate) {
    if (bitrate < minBitrate()) bitrate = minBitrate();
    if (bitrate > maxBitrate()) bitrate = maxBitrate();
    const int snapped = rates::snapMp3Bitrate(bitrate);
    if (!isOpen() || snapped == this->bitrate()) return;
    open_.store(false, std::memory_order_release);
    lame_close(lame_);
    lame_ = nullptr;
    startLame(snapped);
}

void Mp3Encoder::encode(const float* const* channels, int frames, AudioEncoderListener* sink) {
    if (!isOpen() || !channels || !channels[0] || frames <= 0) return;
    const float* left = channels[0];
    const float* right = channels_ > 1 && channels[1] ? channels[1] : left;
    if (!sink) sink = sink_;
    int done = 0;
    while (done < frames) {
        int take = kFrameSamples - fill_;
        if (take > frames - done) take = frames - done;
        float* l = left_.get() + fill_;
        float* r = right_.get() + fill_;
        for (int i = 0; i < take; ++i) {
            float a = left[done + i] * kFullScale;
            float b = right[done + i] * kFullScale;
            if (!(a >= -kFullScale && a <= kFullScale)) a = std::isnan(a) ? 0.0f : std::copysign(kFullScale, a);
            if (!(b >= -kFullScale && b <= kFullScale)) b = std::isnan(b) ? 0.0f : std::copysign(kFullScale, b);
            l[i] = a;
            r[i] = b;
        }
        fill_ += take;
        done += take;
        if (fill_ == kFrameSamples) {
            encodeFrame(sink);
            fill_ = 0;
        }
    }
}

void Mp3Encoder::encodeFrame(AudioEncoderListener* sink) {
    uint8_t* out = output_.get();
    int length = lame_encode_buffer_float(lame_, left_.get(), right_.get(), kFrameSamples, out,
                                          kOutputBytes);
    if (length < 0) {
        encodeErrors_.fetch_add(1, std::memory_order_relaxed);
        length = 0;
    }
    const int flushed = lame_encode_flush_nogap(lame_, out + length, kOutputBytes - length);
    if (flushed < 0)
        encodeErrors_.fetch_add(1, std::memory_order_relaxed);
    else
        length += flushed;
    const int64_t position = streamPosition_.load(std::memory_order_relaxed);
    if (length > 0 && sink) sink->onEncoded(out, length, position, AudioEncoderListener::kEncodedFrame);
    streamPosition_.store(position + kFrameSamples, std::memory_order_relaxed);
}

void Mp3Encoder::flush(AudioEncoderListener* sink) {
    const int64_t fed = streamPosition_.load(std::memory_order_relaxed) + fill_;
    if (!isOpen() || fed == 0) return;
    if (!sink) sink = sink_;
    // The output runs latency() samples behind the input: frames of silence
    // follow the padded last one until the frame that carries the last
    // input sample has gone out.
    const int64_t last = (fed - 1 + latency()) / kFrameSamples;
    while (streamPosition_.load(std::memory_order_relaxed) / kFrameSamples <= last) {
        std::fill(left_.get() + fill_, left_.get() + kFrameSamples, 0.0f);
        std::fill(right_.get() + fill_, right_.get() + kFrameSamples, 0.0f);
        encodeFrame(sink);
        fill_ = 0;
    }
}

void Mp3Encoder::close() {
    open_.store(false, std::memory_order_release);
    if (lame_) lame_close(lame_);
    lame_ = nullptr;
}

int Mp3Encoder::latency() const { return encoderDelay() + kLatencyBeyondEncoderDelay; }
