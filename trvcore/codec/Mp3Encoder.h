#pragma once
// The MP3 encoder of the send path, on LAME: constant bitrate, stereo,
// quality 7. Input is collected into frames of 1152 samples per channel;
// each frame is encoded and the encoder flushed straight after, so every
// delivered buffer ends on a frame boundary with an empty bit reservoir and
// decodes without its predecessors. Output of a freshly opened encoder is
// delivered as start-up output (kind 2), every frame's output as kind 1
// with the stream position of the frame's first input sample.
//
// Threads: encode runs on the stream's encoder thread; open, close and
// setBitrate on whichever thread starts or stops sending, never while
// encode runs (the stream's pause gate sees to that). isOpen,
// latency and the getters may be read from any thread.
//
// Buffers are allocated once when the object is built; open allocates the
// LAME encoder, encode allocates nothing.
#include <atomic>
#include <cstdint>
#include <memory>

#include "trvcore/codec/AudioEncoder.h"

class MessageLog;
struct lame_global_struct;

class Mp3Encoder : public AudioEncoder {
public:
    static constexpr int kFrameSamples = 1152;
    static constexpr int kOutputBytes = 64 * 1024;
    static constexpr int kMaxBitrate = 256000;
    // Decoder delay plus the frame that waits for the encoder's look-ahead.
    static constexpr int kLatencyBeyondEncoderDelay = 1681;
    static constexpr const char* kFailureText = "Lame Encoder failure";

    // `log` receives kFailureText when LAME refuses the parameters; may be
    // null.
    explicit Mp3Encoder(MessageLog* log = nullptr);
    ~Mp3Encoder() override;
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // Closes a running encoder, then starts a fresh stream: position 0, no
    // samples waiting. channels is 1 or 2 (one channel is sent as both);
    // the encoder runs at the integer part of sampleRate, which must be an
    // MP3 rate (LAME would otherwise resample: refused). bitrate in bit/s is
    // snapped to an MP3 rate.
    bool open(AudioEncoderListener* sink, int channels, double sampleRate, int bitrate) override;
    // Clamped to [minBitrate, maxBitrate] and snapped; a different rate
    // reopens the encoder with the same listener, channels and sample rate
    // and keeps the stream position and the samples waiting.
    void setBitrate(int bitrate) override;
    // Samples beyond full scale are clipped to it and non-numbers taken as
    // silence. Does nothing while closed.
    void encode(const float* const* channels, int frames, AudioEncoderListener* sink) override;
    // Sends everything fed so far: the samples waiting for a full frame
    // padded with silence, then silent frames until the output (which runs
    // latency() behind) holds the last input sample. Does nothing while
    // closed or before any input.
    void flush(AudioEncoderListener* sink) override;
    void close() override;
    // encoderDelay + 1681.
    int latency() const override;
    int maxBitrate() const override { return kMaxBitrate; }

    bool isOpen() const { return open_.load(std::memory_order_acquire); }
    int bitrate() const { return bitrate_.load(std::memory_order_relaxed); }
    int encoderDelay() const { return encoderDelay_.load(std::memory_order_relaxed); }
    int64_t streamPosition() const { return streamPosition_.load(std::memory_order_relaxed); }
    // Samples waiting for the next full frame (0..1151).
    int pendingSamples() const { return fill_; }
    // LAME calls that reported an error while encoding; their output is lost.
    uint32_t encodeErrors() const { return encodeErrors_.load(std::memory_order_relaxed); }

private:
    bool startLame(int snappedBitrate);
    void encodeFrame(AudioEncoderListener* sink);

    MessageLog* log_;
    AudioEncoderListener* sink_ = nullptr;
    double sampleRate_ = 0.0;
    int channels_ = 0;
    std::atomic<int> bitrate_{0};
    std::atomic<int64_t> streamPosition_{0};
    int fill_ = 0;
    std::unique_ptr<float[]> left_;
    std::unique_ptr<float[]> right_;
    std::unique_ptr<uint8_t[]> output_;
    lame_global_struct* lame_ = nullptr;
    std::atomic<int> encoderDelay_{0};
    std::atomic<bool> open_{false};
    std::atomic<uint32_t> encodeErrors_{0};
};
