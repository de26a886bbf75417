#pragma once
// The MP3 decoder of the receive path, on LAME's decoder. Each payload is
// one encoder output buffer: whole frames, decodable without the ones
// before it. decode runs the decoder over the whole payload and hands the
// samples to the listener as two float channels at the payload's stream
// position.
//
// A decoder error, or more than 32768 samples per channel out of one
// payload, closes the decoder; later payloads are not decoded until open is
// called again. A payload that is too long, or missing, is refused without
// touching the decoder.
//
// Decoder state. Every decoder object has its own LAME decoder state: a
// state carries its stream's synthesis history from frame to frame, so two
// partners' streams sharing one would bleed into each other. What the
// process shares is the count of open decoders and one lock around the
// library's decoder calls (initialisation, decoding, release), so decoders
// on different threads never run the library's decoder at the same time.
//
// A state takes the sample rate and layer of the first frame it parses and
// yields nothing for frames of other rates; a stream that changes its rate
// needs open again.
//
// Threads: open, close and decode are never called at the same time on one
// object (the receive stream's pause gate sees to that); isOpen
// and openCount from any thread. Buffers are allocated once when the
// object is built; decode itself allocates nothing (LAME's decoder keeps
// its own input list).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

struct hip_global_struct;

class AudioDecoderListener {
public:
    virtual ~AudioDecoderListener() = default;
    // channels[0..count-1] hold `frames` samples each, full scale +-1.
    virtual void onDecoded(const float* const* channels, int count, int frames, int64_t position) = 0;
};

class Mp3Decoder {
public:
    static constexpr int kChannels = 2;
    static constexpr int kBufferSamples = 64 * 1024;
    static constexpr int kMaxPayloadSamples = 32768;
    // The longest payload one AudioFrame carries.
    static constexpr size_t kMaxPayloadBytes = 8156;

    enum class Result {
        Delivered,  // samples went to the listener
        Empty,      // nothing came out (or an empty payload); nothing delivered
        Refused,    // no data, no listener, or a payload above kMaxPayloadBytes
        NotOpen,
        Failed,     // decoder error or too many samples: now closed
    };

    Mp3Decoder();
    virtual ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // Starts a fresh decoder state (closing the current one first). False
    // when memory could not be had.
    virtual bool open();
    virtual void close();
    virtual Result decode(const uint8_t* bytes, size_t length, int64_t streamPosition,
                          AudioDecoderListener* sink);

    bool isOpen() const { return open_.load(std::memory_order_acquire); }
    // Sample rate (Hz) of the frames this state decodes: the first frame
    // header's; 0 before one was parsed.
    int frameRate() const { return frameRate_; }
    // Decoders of the process that are open now.
    static int openCount();

private:
    std::unique_ptr<int16_t[]> pcm_[kChannels];
    std::unique_ptr<float[]> samples_[kChannels];
    hip_global_struct* hip_ = nullptr;
    bool headerSeen_ = false;  // the state has parsed a frame header
    int frameRate_ = 0;
    std::atomic<bool> open_{false};
};
