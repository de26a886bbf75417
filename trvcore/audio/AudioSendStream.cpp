#include "trvcore/audio/AudioSendStream.h"

#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/codec/EncoderBitrate.h"
#include "trvcore/audio/SampleBuffer.h"
#include "trvcore/audio/MediaQueue.h"
#include "trvcore/codec/Mp3Encoder.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"

namespace {
constexpr int kNormalPriority = 2;
constexpr int32_t kPlaying = kVstTransportPlaying;
}  // namespace

AudioSendStream::AudioSendStream(AudioStreamHost& host, PeerConnection& connection)
    : WorkerThread(platform::ThreadPriority::Normal), host_(host), connection_(connection) {
    allocate(host.blockSize());
    start();
}

AudioSendStream::~AudioSendStream() {
    platform::ScopedLock guard(configLock_);
    enabled_.store(false);
    running_.store(false);
    gate_.close(kBusyWaitMs);
    stop();
    waitUntilFinished();
    delete encoder_.exchange(nullptr);
}

bool AudioSendStream::allocate(int frames) {
    if (frames <= 0) return false;
    std::unique_ptr<float[]> fresh[2] = {zeroedSamples(frames), zeroedSamples(frames)};
    if (!fresh[0] || !fresh[1]) return false;
    std::unique_ptr<MediaQueue> queue(MediaQueue::create(kQueueSlots, frames * kQueueBytesPerFrame));
    if (!queue) return false;
    std::unique_ptr<MediaQueue> oldQueue;
    std::unique_ptr<float[]> old[2];
    {
        // beginBlock and addInput use the accumulators inside the block cycle.
        platform::ScopedLock cycle(host_.processLock());
        for (int c = 0; c < 2; ++c) old[c].swap(accum_[c]), accum_[c].swap(fresh[c]);
        oldQueue.swap(blockQueue_);
        blockQueue_.swap(queue);
        blockSize_.store(frames, std::memory_order_relaxed);
        blockFrames_ = 0;
    }
    return true;
}

// ---- Audio thread -----------------------------------------------------------

void AudioSendStream::beginBlock(int frames) {
    blockFrames_ = 0;
    if (gate_.isClosed() || !enabled() || frames <= 0 || frames > blockSize() || !accum_[0]) return;
    blockFrames_ = frames;
    firstInput_ = true;
    for (auto& a : accum_) std::memset(a.get(), 0, sizeof(float) * static_cast<size_t>(frames));
}

void AudioSendStream::addInput(float* const* channels, int count, int frames) {
    if (gate_.isClosed() || frames != blockFrames_ || frames <= 0 || !channels) return;
    platform::ScopedLock cycle(host_.processLock());
    const int n = count < 2 ? count : 2;
    for (int c = 0; c < n; ++c) {
        const float* in = channels[c];
        float* acc = accum_[c].get();
        if (!in) continue;
        if (firstInput_) {
            std::memcpy(acc, in, sizeof(float) * static_cast<size_t>(frames));
        } else {
            for (int i = 0; i < frames; ++i) acc[i] += in[i];
        }
    }
    firstInput_ = false;
}

void AudioSendStream::endBlock() {
    const int n = blockFrames_;
    firstInput_ = false;
    blockFrames_ = 0;
    if (n == 0 || !isRunning()) return;
    // A reconfiguration in progress holds the gate closed: the block is
    // skipped, never waited for.
    if (platform::PauseGate::Pass pass{gate_}) {
        const VstTimeInfo& t = host_.cycleTimeInfo();
        const int32_t f = t.flags;
        const int32_t last = lastTransportFlags_.load(std::memory_order_relaxed);
        if (f != last) {
            if ((f & kPlaying) && !(last & kPlaying)) {
                framesAtStart_.store(framesSubmitted(), std::memory_order_relaxed);
                hostPositionAtStart_.store(t.samplePos, std::memory_order_relaxed);
            }
            lastTransportFlags_.store(f, std::memory_order_relaxed);
        }
        if (!(f & kPlaying)) hostPositionAtStart_.store(t.samplePos, std::memory_order_relaxed);
        MediaSlot* slot = blockQueue_ ? blockQueue_->reserve(n * 8) : nullptr;
        if (slot) {
            auto* data = reinterpret_cast<float*>(slot->data);
            std::memcpy(data, accum_[0].get(), sizeof(float) * static_cast<size_t>(n));
            std::memcpy(data + n, accum_[1].get(), sizeof(float) * static_cast<size_t>(n));
            slot->stamp = framesSubmitted();
            slot->spare = static_cast<uint32_t>(n);
            blockQueue_->commit(0);
            // The block that completes an encoder frame wakes the encoder.
            const int64_t before = framesSubmitted();
            if ((before % kEncoderFrame) + n >= kEncoderFrame) wake();
        } else {
            droppedBlocks_.fetch_add(1, std::memory_order_relaxed);
        }
        framesSubmitted_.fetch_add(n, std::memory_order_relaxed);
    }
}

// ---- Encoder thread ---------------------------------------------------------

void AudioSendStream::run() {
    setPriority(kNormalPriority);
    while (running()) {
        if (!enabled()) {
            wait();
            continue;
        }
        for (;;) {
            platform::PauseGate::Pass pass(gate_);
            if (!pass || !enabled()) break;
            MediaSlot* slot = blockQueue_ ? blockQueue_->pop() : nullptr;
            if (!slot) break;
            AudioEncoder* encoder = encoder_.load(std::memory_order_acquire);
            const int frames = static_cast<int>(slot->spare);
            if (encoder && isRunning() && frames > 0 && slot->length >= frames * 8) {
                const float* data = reinterpret_cast<const float*>(slot->data);
                const float* channels[2] = {data, data + frames};
                encoder->encode(channels, frames, this);
            }
        }
        wait();
    }
}

void AudioSendStream::onEncoded(const uint8_t* data, int length, int64_t position, int kind) {
    if (kind != AudioEncoderListener::kEncodedFrame && kind != AudioEncoderListener::kStartup) return;
    if (!data || length <= 0) return;
    const CycleTime& t = host_.cycleTime();
    double rate = t.sampleRate.load(std::memory_order_relaxed);
    if (!(rate > 0.0)) rate = host_.sampleRate();
    AudioFrameHeader h;
    // Through 64 bits, so positions beyond 2^31 frames wrap instead of
    // overflowing the conversion.
    const int64_t start = static_cast<int64_t>(hostPositionAtStart_.load(std::memory_order_relaxed));
    h.transportStart = static_cast<int32_t>(static_cast<uint32_t>(start - encoderLatency_.load(std::memory_order_relaxed)));
    h.streamAtTransportStart = static_cast<uint32_t>(framesAtStart_.load(std::memory_order_relaxed));
    h.streamPosition = static_cast<uint32_t>(position);
    h.sampleRate = static_cast<uint32_t>(rate);
    h.codec = static_cast<uint16_t>(host_.codec());
    h.channels = 2;
    h.frameCounter = static_cast<uint16_t>(sequence_.fetch_add(1, std::memory_order_relaxed) + 1);
    h.transportFlags = static_cast<uint16_t>(t.flags.load(std::memory_order_relaxed));
    const size_t parts = audioFrameParts(static_cast<size_t>(length));
    for (size_t part = 0; part < parts; ++part)
        if (buildAudioFramePart(message_, h, data, static_cast<size_t>(length), part)) connection_.post(message_);
    framesSent_.fetch_add(1, std::memory_order_relaxed);
}

// ---- Reconfiguration --------------------------------------------------------

void AudioSendStream::startEncoder() {
    framesSubmitted_.store(0, std::memory_order_relaxed);
    framesAtStart_.store(0, std::memory_order_relaxed);
    sequence_.store(0, std::memory_order_relaxed);
    lastTransportFlags_.store(0, std::memory_order_relaxed);
    if (encoder_.load() == nullptr) {
        if (host_.codec() != kCodecMp3) return;  // enabled, but nothing is sent
        const int kbits = rates::encoderBitrateFor(host_.audioRate());
        Mp3Encoder* encoder = new (std::nothrow) Mp3Encoder();
        bitrate_.store(kbits, std::memory_order_relaxed);
        encoderLatency_.store(0, std::memory_order_relaxed);
        if (!encoder || !encoder->open(this, 2, host_.sampleRate(), kbits * 1000)) {
            host_.postMessage(Mp3Encoder::kFailureText);
            delete encoder;
            return;
        }
        encoderLatency_.store(encoder->latency(), std::memory_order_relaxed);
        encoder_.store(encoder, std::memory_order_release);
    }
    running_.store(true);
    encoderStarts_.fetch_add(1, std::memory_order_relaxed);
}

void AudioSendStream::stopEncoder() {
    running_.store(false);
    gate_.close(kBusyWaitMs);
    if (blockQueue_) blockQueue_->reset();
    wake();
    AudioEncoder* encoder = encoder_.exchange(nullptr);
    if (encoder) {
        // The tail that waits for a whole frame goes out too; the encoder
        // thread keeps out (the gate is closed), so this thread may post.
        encoder->flush(this);
        encoder->close();
    }
    delete encoder;
    gate_.open();
}

void AudioSendStream::setActive(bool on) {
    platform::ScopedLock guard(configLock_);
    if (on && !enabled()) {
        startEncoder();
        enabled_.store(true);
        wake();
    } else if (!on && enabled()) {
        enabled_.store(false);
        stopEncoder();
    }
}

void AudioSendStream::restart() {
    platform::ScopedLock guard(configLock_);
    if (!enabled()) return;
    setActive(false);
    setActive(true);
}

void AudioSendStream::restartIfBitrateChanged() {
    platform::ScopedLock guard(configLock_);
    if (isRunning() && rates::encoderBitrateFor(host_.audioRate()) != bitrate()) restart();
}

void AudioSendStream::setBlockSize(int frames) {
    platform::ScopedLock guard(configLock_);
    if (frames <= 0 || frames == blockSize()) return;
    gate_.close(kBusyWaitMs);
    allocate(frames);
    gate_.open();
}
