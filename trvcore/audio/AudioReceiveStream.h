#pragma once
// The receiving half of a partner's audio. The network thread hands every
// AudioFrame to onAudioFrame, which decodes it (MP3 only) into the playout
// buffer; each block cycle beginBlock reads the partner's audio for the
// block into `output`, which every instance with its receive switch on
// plays. Reconfiguring closes a pause gate that the network thread passes
// without waiting (the closer waits at most 500 ms for it to leave).
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/PauseGate.h"
#include "trvcore/codec/Mp3Decoder.h"
#include "trvcore/audio/PlayoutBuffer.h"

class AudioStreamHost;
class PeerConnection;
class PeerMessage;

class AudioReceiveStream : private AudioDecoderListener {
public:
    static constexpr unsigned kBusyWaitMs = 500;

    // Active, with a flushed playout buffer and an open decoder; the play
    // block sized for host.blockSize(). Restart requests go to `connection`.
    AudioReceiveStream(AudioStreamHost& host, PeerConnection& connection);
    ~AudioReceiveStream() override;

    // Network thread.
    void onAudioFrame(const PeerMessage& message);

    // Audio thread, inside the block cycle.
    void beginBlock(int frames);
    void endBlock();
    // The play block: two channels of blockSize() samples, valid between
    // beginBlock and endBlock; producedFrames() of them hold partner audio.
    float* const* output() { return output_; }
    int producedFrames() const { return producedFrames_; }
    int channelCount() const { return channelCount_; }

    // Other threads.
    void setBlockSize(int frames);
    void setActive(bool on);
    void flush();
    void setTransportSync(bool on);
    // Asks the partner to restart its encoder (an AudioRestart message).
    void requestRestart();

    bool active() const { return active_.load(std::memory_order_relaxed); }
    int blockSize() const { return blockSize_.load(std::memory_order_relaxed); }
    int64_t decodedFrames() const { return decodedFrames_.load(std::memory_order_relaxed); }
    uint16_t lastCodec() const { return lastCodec_.load(std::memory_order_relaxed); }
    // Frames whose payload the decoder refused or failed on.
    uint32_t decodeFailures() const { return decodeFailures_.load(std::memory_order_relaxed); }
    // Payloads whose audio had another sample rate than their header said.
    uint32_t rateMismatches() const { return rateMismatches_.load(std::memory_order_relaxed); }
    PlayoutBuffer& playout() { return playout_; }
    const PlayoutBuffer& playout() const { return playout_; }

private:
    void onDecoded(const float* const* channels, int count, int frames, int64_t position) override;
    bool allocate(int frames);

    AudioStreamHost& host_;
    PeerConnection& connection_;
    PlayoutBuffer playout_;
    Mp3Decoder decoder_;
    std::unique_ptr<float[]> buffers_[2];
    float* output_[2] = {nullptr, nullptr};
    std::atomic<int> blockSize_{0};
    int producedFrames_ = 0;
    int channelCount_ = 0;
    std::atomic<int64_t> decodedFrames_{0};
    std::atomic<uint16_t> lastCodec_{0};
    platform::PauseGate gate_;  // the network thread against reconfiguring
    std::atomic<bool> active_{true};
    std::atomic<uint32_t> decodeFailures_{0};
    std::atomic<uint32_t> rateMismatches_{0};
    // The stamped rate the decoder state was opened for (network thread,
    // and setActive while the network thread keeps out).
    uint32_t frameRate_ = 0;
    platform::RecursiveLock configLock_;
};
