#include "trvcore/codec/Mp3Decoder.h"

#include <lame/lame.h>

#include <cstdarg>
#include <new>

#include "platform/Lock.h"

namespace {

std::atomic<int> gOpenDecoders{0};

// Never destroyed, so decoders that outlive static destruction still find it.
platform::RecursiveLock& libraryLock() {
    static platform::RecursiveLock* lock = new platform::RecursiveLock;
    return *lock;
}

void silent(const char*, va_list) {}

// More than the decoder's look-ahead for a tag at the start of a stream.
const uint8_t kLeadPadding[256] = {};

}  // namespace

Mp3Decoder::Mp3Decoder() {
    for (int c = 0; c < kChannels; ++c) {
        pcm_[c].reset(new (std::nothrow) int16_t[kBufferSamples]);
        samples_[c].reset(new (std::nothrow) float[kMaxPayloadSamples]);
    }
}

Mp3Decoder::~Mp3Decoder() { close(); }

int Mp3Decoder::openCount() { return gOpenDecoders.load(std::memory_order_acquire); }

bool Mp3Decoder::open() {
    close();
    for (int c = 0; c < kChannels; ++c)
        if (!pcm_[c] || !samples_[c]) return false;
    platform::ScopedLock guard(libraryLock());
    hip_ = hip_decode_init();
    if (!hip_) return false;
    hip_set_errorf(hip_, silent);
    hip_set_debugf(hip_, silent);
    hip_set_msgf(hip_, silent);
    headerSeen_ = false;
    frameRate_ = 0;
    gOpenDecoders.fetch_add(1, std::memory_order_acq_rel);
    open_.store(true, std::memory_order_release);
    return true;
}

void Mp3Decoder::close() {
    platform::ScopedLock guard(libraryLock());
    open_.store(false, std::memory_order_release);
    if (!hip_) return;
    hip_decode_exit(hip_);
    hip_ = nullptr;
    gOpenDecoders.fetch_sub(1, std::memory_order_acq_rel);
}

Mp3Decoder::Result Mp3Decoder::decode(const uint8_t* bytes, size_t length, int64_t streamPosition,
                                      AudioDecoderListener* sink) {
    if ((!bytes && length > 0) || !sink || length > kMaxPayloadBytes) return Result::Refused;
    if (!isOpen()) return Result::NotOpen;
    if (length == 0) return Result::Empty;

    int16_t* left = pcm_[0].get();
    int16_t* right = pcm_[1].get();
    int total = 0;
    {
        platform::ScopedLock guard(libraryLock());
        bool justParsed = false;
        // Each call yields at most one frame (1152 samples): with at most
        // 32768 collected before a call, the 64K buffers cannot overflow.
        auto step = [&](const uint8_t* in, size_t inLength) {
            mp3data_struct info{};
            // The decoder only reads its input; its interface is not const.
            const int n = hip_decode1_headers(hip_, const_cast<unsigned char*>(in), inLength,
                                              left + total, right + total, &info);
            justParsed = info.header_parsed && !headerSeen_;
            if (justParsed) frameRate_ = info.samplerate;
            if (info.header_parsed) headerSeen_ = true;
            if (n > 0 && info.header_parsed && info.stereo == 1)
                for (int i = total; i < total + n; ++i) right[i] = left[i];
            return n;
        };
        int n = step(bytes, length);
        // Before its first frame header the decoder wants more bytes than a
        // low-rate payload holds; zeros after the payload satisfy it and are
        // skipped like any bytes between frames.
        if (n == 0 && !headerSeen_) n = step(kLeadPadding, sizeof kLeadPadding);
        // The call that parses the stream's first header yields nothing, so
        // only a later empty call ends the payload.
        for (;;) {
            if (n < 0 || total + n > kMaxPayloadSamples) {
                close();
                return Result::Failed;
            }
            total += n;
            if (n == 0 && !justParsed) break;
            n = step(bytes, 0);
        }
    }
    if (total == 0) return Result::Empty;

    constexpr float kScale = 1.0f / 32768.0f;
    float* out[kChannels] = {samples_[0].get(), samples_[1].get()};
    for (int c = 0; c < kChannels; ++c) {
        const int16_t* pcm = pcm_[c].get();
        for (int i = 0; i < total; ++i) out[c][i] = pcm[i] * kScale;
    }
    sink->onDecoded(out, kChannels, total, streamPosition);
    return Result::Delivered;
}
