#pragma once
// The sending half of a partner's audio. Each block cycle the inputs of the
// instances whose send switch is on are summed into one stereo block
// (beginBlock, addInput, endBlock on the audio thread); endBlock queues it
// to this stream's encoder thread, which MP3-encodes it and posts every
// encoder output as AudioFrame messages, stamped with the sender's stream
// and transport positions, to the partner's connection.
//
// Reconfiguring (setActive, setBlockSize) runs on a GUI or session thread
// and keeps the audio and encoder threads out with a pause gate, waiting at
// most 3000 ms for them to leave; they never wait for it.
//
// The audio thread does copies and additions only; the block queue, the
// accumulators and the message buffer are allocated at construction and at
// block-size changes.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/PauseGate.h"
#include "trvcore/codec/AudioEncoder.h"
#include "platform/WorkerThread.h"
#include "trvcore/trvnetwork/PeerMessage.h"

class AudioStreamHost;
class MediaQueue;
class PeerConnection;

class AudioSendStream : public WorkerThread, private AudioEncoderListener {
public:
    static constexpr int kQueueSlots = 64;
    static constexpr int kQueueBytesPerFrame = 512;  // 64 blocks of 2 x float
    static constexpr unsigned kBusyWaitMs = 3000;
    // The encoder thread sleeps until there is a whole encoder frame to
    // encode: the audio thread wakes it with the block that completes one
    // (one system call per 1152 frames, not per block), and the thread
    // never looks at the queue in between.
    static constexpr int kEncoderFrame = 1152;

    // Sized for host.blockSize(); the thread is started. Posts to
    // `connection`, which must outlive the stream.
    AudioSendStream(AudioStreamHost& host, PeerConnection& connection);
    ~AudioSendStream() override;

    // Audio thread, inside the block cycle.
    void beginBlock(int frames);
    void addInput(float* const* channels, int count, int frames);
    void endBlock();

    // Other threads.
    void setBlockSize(int frames);
    void setActive(bool on);
    // Off and on again when running with a bitrate other than the one the
    // host's audio rate now gives.
    void restartIfBitrateChanged();
    // Off and on again if enabled (the partner's AudioRestart, a codec
    // change): the frame counter and positions start over.
    void restart();

    void run() override;

    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }
    bool isRunning() const { return running_.load(std::memory_order_relaxed); }
    // kbit/s the encoder was started with (0 before).
    int bitrate() const { return bitrate_.load(std::memory_order_relaxed); }
    int blockSize() const { return blockSize_.load(std::memory_order_relaxed); }
    // The encoder's latency in frames (0 without an encoder).
    int encoderLatency() const { return encoderLatency_.load(std::memory_order_relaxed); }
    int64_t framesSubmitted() const { return framesSubmitted_.load(std::memory_order_relaxed); }
    // Encoder outputs sent, and blocks lost because the queue was full.
    uint32_t framesSent() const { return framesSent_.load(std::memory_order_relaxed); }
    uint32_t droppedBlocks() const { return droppedBlocks_.load(std::memory_order_relaxed); }
    // Starts of the encoder since construction (restarts included).
    uint32_t encoderStarts() const { return encoderStarts_.load(std::memory_order_relaxed); }

private:
    void onEncoded(const uint8_t* data, int length, int64_t position, int kind) override;
    void startEncoder();
    void stopEncoder();
    bool allocate(int frames);

    AudioStreamHost& host_;
    PeerConnection& connection_;

    // hostPositionAtStart/framesAtStart are written by the audio thread and
    // read by the encoder thread.
    std::atomic<double> hostPositionAtStart_{0.0};
    std::atomic<int64_t> framesSubmitted_{0};
    std::atomic<int64_t> framesAtStart_{0};
    // Published once opened; the encoder thread only reads it.
    std::atomic<AudioEncoder*> encoder_{nullptr};
    PeerMessage message_;
    std::unique_ptr<MediaQueue> blockQueue_;
    std::unique_ptr<float[]> accum_[2];
    std::atomic<int> blockSize_{0};
    int blockFrames_ = 0;
    std::atomic<int32_t> lastTransportFlags_{0};
    std::atomic<uint32_t> sequence_{0};
    std::atomic<int> bitrate_{0};
    std::atomic<int> encoderLatency_{0};
    std::atomic<bool> running_{false};
    platform::PauseGate gate_;  // audio and encoder threads against reconfiguring
    std::atomic<bool> enabled_{false};
    bool firstInput_ = false;
    platform::RecursiveLock configLock_;  // serialises setActive/setBlockSize callers
    std::atomic<uint32_t> framesSent_{0};
    std::atomic<uint32_t> droppedBlocks_{0};
    std::atomic<uint32_t> encoderStarts_{0};
};
