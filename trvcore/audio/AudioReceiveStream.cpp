#include "trvcore/audio/AudioReceiveStream.h"

#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/audio/SampleBuffer.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"

AudioReceiveStream::AudioReceiveStream(AudioStreamHost& host, PeerConnection& connection)
    : host_(host), connection_(connection) {
    allocate(host.blockSize());
    playout_.reset();
    decoder_.open();
}

AudioReceiveStream::~AudioReceiveStream() {
    platform::ScopedLock guard(configLock_);
    active_.store(false);
    gate_.close(kBusyWaitMs);
    decoder_.close();
}

bool AudioReceiveStream::allocate(int frames) {
    if (frames <= 0) return false;
    std::unique_ptr<float[]> fresh[2] = {zeroedSamples(frames), zeroedSamples(frames)};
    if (!fresh[0] || !fresh[1]) return false;
    std::unique_ptr<float[]> old[2];
    {
        // The play block is read and written inside the block cycle.
        platform::ScopedLock cycle(host_.processLock());
        for (int c = 0; c < 2; ++c) {
            old[c].swap(buffers_[c]);
            buffers_[c].swap(fresh[c]);
            output_[c] = buffers_[c].get();
        }
        blockSize_.store(frames, std::memory_order_relaxed);
        producedFrames_ = 0;
    }
    return true;
}

// ---- Network thread ---------------------------------------------------------

void AudioReceiveStream::onAudioFrame(const PeerMessage& message) {
    if (!active() || message.kind() != static_cast<uint8_t>(MessageKind::AudioFrame)) return;
    AudioFrameView v;
    if (!parseAudioFrame(MessageBytes(message.data(), message.length()), v)) return;
    playout_.updateFromHeader(message);
    // Skipped while a reconfiguration holds the gate closed.
    if (platform::PauseGate::Pass pass{gate_}) {
        lastCodec_.store(v.header.codec, std::memory_order_relaxed);
        if (v.header.codec == kCodecMp3) {
            // A decoder state keeps the rate of its first frame: a partner
            // who changes his sample rate gets a fresh one, and the audio
            // queued at the old rate goes.
            if (v.header.sampleRate != frameRate_) {
                frameRate_ = v.header.sampleRate;
                if (decoder_.frameRate() != 0) {
                    decoder_.open();
                    playout_.reset();
                }
            }
            // A decoder that failed on a bad payload starts afresh with the
            // next one instead of leaving the partner silent for good.
            if (!decoder_.isOpen()) decoder_.open();
            const Mp3Decoder::Result r = decoder_.decode(v.data, v.dataLength, v.header.streamPosition, this);
            if (r == Mp3Decoder::Result::Failed || r == Mp3Decoder::Result::Refused ||
                r == Mp3Decoder::Result::NotOpen)
                decodeFailures_.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

void AudioReceiveStream::onDecoded(const float* const* channels, int count, int frames, int64_t position) {
    // Audio of another rate than the header claims would play at the wrong
    // speed (the playout buffer trusts the header): dropped, and the next
    // payload gets a fresh decoder.
    if (static_cast<uint32_t>(decoder_.frameRate()) != frameRate_) {
        decodeFailures_.fetch_add(1, std::memory_order_relaxed);
        rateMismatches_.fetch_add(1, std::memory_order_relaxed);
        frameRate_ = 0;
        return;
    }
    playout_.push(channels, count, frames, position);
    decodedFrames_.fetch_add(frames, std::memory_order_relaxed);
}

// ---- Audio thread -----------------------------------------------------------

void AudioReceiveStream::beginBlock(int frames) {
    producedFrames_ = 0;
    if (!active() || frames <= 0 || frames > blockSize() || !output_[0]) return;
    channelCount_ = 2;
    producedFrames_ = playout_.read(host_.cycleTimeInfo(), output_, channelCount_, frames, host_.timeCodeGenerator());
}

void AudioReceiveStream::endBlock() {
    producedFrames_ = 0;
    channelCount_ = 0;
}

// ---- Reconfiguration --------------------------------------------------------

void AudioReceiveStream::setActive(bool on) {
    platform::ScopedLock guard(configLock_);
    if (on && !active()) {
        playout_.reset();
        decodedFrames_.store(0, std::memory_order_relaxed);
        decoder_.open();
        frameRate_ = 0;
        active_.store(true);
    } else if (!on && active()) {
        active_.store(false);
        gate_.close(kBusyWaitMs);
        decoder_.close();
        gate_.open();
    }
}

void AudioReceiveStream::flush() {
    platform::ScopedLock guard(configLock_);
    gate_.close(kBusyWaitMs);
    playout_.reset();
    gate_.open();
}

void AudioReceiveStream::setBlockSize(int frames) {
    platform::ScopedLock guard(configLock_);
    if (frames <= 0 || frames == blockSize()) return;
    gate_.close(kBusyWaitMs);
    allocate(frames);
    gate_.open();
}

void AudioReceiveStream::setTransportSync(bool on) { playout_.setSyncEnabled(on); }

void AudioReceiveStream::requestRestart() {
    PeerMessage m;
    if (buildAudioRestart(m)) connection_.post(m);
}
