#include "trvcore/audio/PlayoutBuffer.h"

#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "trvcore/trvnetwork/MediaMessages.h"

namespace {
uint32_t systemTick() { return platform::tickCount(); }
}  // namespace

PlayoutBuffer::PlayoutBuffer() : queue_(MediaQueue::create(kQueueSlots, kArenaBytes)), tick_(&systemTick) {
    if (queue_) queue_->setDelay(kDelayFrames);
}

void PlayoutBuffer::updateFromHeader(const PeerMessage& message) {
    AudioFrameView v;
    if (!parseAudioFrame(MessageBytes(message.data(), message.length()), v)) return;
    partnerCounterAtStart_.store(v.header.streamAtTransportStart, std::memory_order_relaxed);
    partnerRate_.store(static_cast<int>(v.header.sampleRate), std::memory_order_relaxed);
    // Read unsigned; the values just below 2^32 are small negative positions
    // (a transport started within the encoder latency of the song start).
    const uint32_t start = static_cast<uint32_t>(v.header.transportStart);
    partnerStart_.store(start > 0xFFFF0000u ? static_cast<int64_t>(static_cast<int32_t>(start))
                                            : static_cast<int64_t>(start),
                        std::memory_order_relaxed);
    partnerFlags_.store(v.header.transportFlags, std::memory_order_relaxed);
}

bool PlayoutBuffer::push(const float* const* channels, int count, int frames, int64_t position) {
    if (!queue_ || !channels || frames <= 0 || count <= 0) return false;
    if (count > 2) count = 2;
    for (int c = 0; c < count; ++c)
        if (!channels[c]) return false;
    const int64_t bytes = static_cast<int64_t>(frames) * 4 * count;
    if (bytes > queue_->arenaSize()) return false;
    MediaSlot* slot = queue_->reserve(static_cast<int32_t>(bytes));
    if (!slot) return false;
    slot->stamp = static_cast<int64_t>(static_cast<uint32_t>(position));
    slot->userWord = 0;
    slot->flags = 0;
    slot->spare = 0;
    auto* out = reinterpret_cast<float*>(slot->data);
    for (int c = 0; c < count; ++c)
        std::memcpy(out + static_cast<size_t>(c) * static_cast<size_t>(frames), channels[c],
                    sizeof(float) * static_cast<size_t>(frames));
    return queue_->commit(frames);
}

void PlayoutBuffer::silence(float* const* out, int channelCount, int from, int frames) {
    if (frames <= 0) return;
    for (int c = 0; c < channelCount; ++c)
        std::memset(out[c] + from, 0, sizeof(float) * static_cast<size_t>(frames));
}

int PlayoutBuffer::read(const VstTimeInfo& timeInfo, float* const* out, int channelCount, int frames) {
    if (!out || frames <= 0) return 0;
    if (channelCount > 2) channelCount = 2;
    if (channelCount < 0) channelCount = 0;
    for (int c = 0; c < channelCount; ++c)
        if (!out[c]) return 0;
    if (!queue_ || partnerRate_.load(std::memory_order_relaxed) != static_cast<int>(timeInfo.sampleRate)) {
        silence(out, channelCount, 0, frames);
        playing_ = false;
        return 0;
    }
    int done = 0;
    int remaining = frames;
    bool copied = false;
    while (remaining > 0) {
        MediaSlot* s = queue_->peek();
        if (!s) {
            // Ran dry part-way after the partner's audio had been playing.
            if (playing_ || copied) underruns_.fetch_add(1, std::memory_order_relaxed);
            silence(out, channelCount, done, remaining);
            playing_ = false;
            return done + remaining;
        }
        // Free-running: the backlog may reach maxLatency seconds.
        const uint32_t now = tick_();
        const double maxLatency = maxLatency_.load(std::memory_order_relaxed);
        const int32_t limit = static_cast<int32_t>(partnerRate_.load(std::memory_order_relaxed) * maxLatency);
        if (queue_->queuedDuration() > limit) {
            overflowCount_.fetch_add(1, std::memory_order_relaxed);
            clearCycle();
            queue_->reset();
            // Lets go of the slot just peeked, so the frame arriving next
            // finds the whole arena free.
            queue_->release();
            // Frames already copied in this call stay: they were due.
            silence(out, channelCount, done, remaining);
            if ((lastAdjustTick_ == 0 || now - lastAdjustTick_ <= kGrowWithinMs) &&
                maxLatency < kLatencyCeiling - kLatencyStep)
                maxLatency_.store(maxLatency + kLatencyStep, std::memory_order_relaxed);
            lastAdjustTick_ = now;
            playing_ = false;
            return done;
        }
        if (lastAdjustTick_ != 0 && now - lastAdjustTick_ > kShrinkAfterMs && maxLatency > kShrinkAbove) {
            lastAdjustTick_ = now;
            maxLatency_.store(maxLatency - kLatencyStep, std::memory_order_relaxed);
        }
        // Copy from the slot: channel k starts at k x duration floats; a
        // slot of one channel feeds both.
        const int duration = s->duration;
        const int played = static_cast<int>(s->userWord);
        if (duration <= 0 || played >= duration) {
            queue_->release();
            continue;
        }
        const int slotChannels = s->length / (4 * duration) >= 2 ? 2 : 1;
        int n = duration - played;
        if (n > remaining) n = remaining;
        const auto* data = reinterpret_cast<const float*>(s->data);
        for (int c = 0; c < channelCount; ++c) {
            const int from = c < slotChannels ? c : 0;
            std::memcpy(out[c] + done, data + static_cast<size_t>(from) * static_cast<size_t>(duration) + played,
                        sizeof(float) * static_cast<size_t>(n));
        }
        s->userWord = static_cast<uint32_t>(played + n);
        if (played + n >= duration) queue_->release();
        done += n;
        remaining -= n;
        copied = true;
    }
    playing_ = true;
    return done;
}

void PlayoutBuffer::clearCycle() {
    cycleStart_.store(0, std::memory_order_relaxed);
    cycleEnd_.store(0, std::memory_order_relaxed);
    cycleLength_.store(0.0, std::memory_order_relaxed);
    cycleOffset_.store(0.0, std::memory_order_relaxed);
}

void PlayoutBuffer::setSyncEnabled(bool on) {
    syncEnabled_.store(on, std::memory_order_relaxed);
    synced_.store(false, std::memory_order_relaxed);
    clearCycle();
    if (queue_) queue_->reset();
}

void PlayoutBuffer::reset() {
    clearCycle();
    if (queue_) queue_->reset();
}
