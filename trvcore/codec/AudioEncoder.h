#pragma once
// The audio encoder interface of the send path, and the listener that takes
// its output. A stream opens an encoder with its listener, hands it every
// captured block and closes it when sending stops.
#include <cstdint>

class AudioEncoderListener {
public:
    static constexpr int kEncodedFrame = 1;  // frames of encoded input
    static constexpr int kStartup = 2;       // encoder start-up output

    virtual ~AudioEncoderListener() = default;
    // `position` counts the input samples per channel handed to the encoder
    // before the first one of this output. Runs on the thread that called
    // open or encode; it must not call back into the encoder.
    virtual void onEncoded(const uint8_t* data, int length, int64_t position, int kind) = 0;
};

class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;
    // bitrate in bit/s.
    virtual bool open(AudioEncoderListener* sink, int channels, double sampleRate, int bitrate) = 0;
    virtual void setBitrate(int bitrate) = 0;
    // channels[0..channels-1], `frames` samples each; output goes to `sink`,
    // or to the listener given to open when `sink` is null.
    virtual void encode(const float* const* channels, int frames, AudioEncoderListener* sink) = 0;
    // Sends all input given so far, padded with silence, so the last of the
    // stream reaches the partner too.
    virtual void flush(AudioEncoderListener* sink) { (void)sink; }
    virtual void close() = 0;
    // Samples from an input sample to the same sample out of the decoder,
    // counted on the stream positions the output is delivered with.
    virtual int latency() const { return 0; }
    virtual int minBitrate() const { return 32000; }
    virtual int maxBitrate() const { return 1536000; }
};
