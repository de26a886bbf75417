#include "trvcore/audio/PlayoutBuffer.h"

#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "trvcore/sync/MtcGenerator.h"
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

int PlayoutBuffer::read(const VstTimeInfo& timeInfo, float* const* out, int channelCount, int frames,
                       MtcGenerator* generator) {
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
            if (playing_ || copied)
                underruns_.fetch_add(1, std::memory_order_relaxed);
            silence(out, channelCount, done, remaining);
            playing_ = false;
            return done + remaining;
        }
        if (syncEnabled_.load(std::memory_order_relaxed) && followTransports(timeInfo, *s, generator)) continue;
        int from = 0;  // where in the slot the copy starts
        if (synced_.load(std::memory_order_relaxed)) {
            const Placement p = place(timeInfo, *s, done, remaining);
            if (p.action == Placement::Rest) {
                silence(out, channelCount, done, remaining);
                playing_ = false;
                return done + remaining;
            }
            if (p.action == Placement::Dropped) continue;
            silence(out, channelCount, done, p.gap);
            done += p.gap;
            remaining -= p.gap;
            from = static_cast<int>(s->userWord);
        } else {
            // Free-running: the backlog may reach maxLatency seconds.
            if (overflowed(out, channelCount, done, remaining)) return done;
            from = static_cast<int>(s->userWord);
        }
        const int duration = s->duration;
        if (duration <= 0 || from >= duration) {
            queue_->release();
            continue;
        }
        // Copy from the slot: channel k starts at k x duration floats; a
        // slot of one channel feeds both.
        const int slotChannels = s->length / (4 * duration) >= 2 ? 2 : 1;
        int n = duration - from;
        if (n > remaining) n = remaining;
        const auto* data = reinterpret_cast<const float*>(s->data);
        for (int c = 0; c < channelCount; ++c) {
            const int ch = c < slotChannels ? c : 0;
            std::memcpy(out[c] + done, data + static_cast<size_t>(ch) * static_cast<size_t>(duration) + from,
                        sizeof(float) * static_cast<size_t>(n));
        }
        s->userWord = static_cast<uint32_t>(from + n);
        if (from + n >= duration) queue_->release();
        done += n;
        remaining -= n;
        copied = true;
    }
    playing_ = true;
    return done;
}

int64_t PlayoutBuffer::partnerPosition(const MediaSlot& s) const {
    // The partner's song position of the slot's first frame: its transport
    // start, plus how far its stream has run since (wrapping 32-bit counters).
    const uint32_t since = static_cast<uint32_t>(s.stamp) - partnerCounterAtStart_.load(std::memory_order_relaxed);
    return partnerStart_.load(std::memory_order_relaxed) + static_cast<int64_t>(static_cast<int32_t>(since));
}

bool PlayoutBuffer::followTransports(const VstTimeInfo& t, const MediaSlot& s, MtcGenerator* generator) {
    const bool partnerPlaying = (partnerFlags_.load(std::memory_order_relaxed) & kTransportPlaying) != 0;
    const bool synced = synced_.load(std::memory_order_relaxed);
    if (!synced && partnerPlaying) {
        const int64_t p = partnerPosition(s);
        // A stamp before the song start keeps the buffer free-running.
        if (p < 0) return false;
        clearCycle();
        queue_->reset();  // the audio queued so far belongs to no position
        synced_.store(true, std::memory_order_relaxed);
        if (generator && !(t.flags & kVstTransportPlaying)) generator->locate(p);
        const bool bothCycle = (partnerFlags_.load(std::memory_order_relaxed) & kVstTransportCycleActive) &&
                               (t.flags & kVstTransportCycleActive);
        if (bothCycle && t.cycleEndPos - t.cycleStartPos > 0.0 && t.tempo > 0.0) {
            const double spq = 60.0 / t.tempo * t.sampleRate;
            const int64_t start = static_cast<int64_t>(spq * t.cycleStartPos);
            const int64_t end = static_cast<int64_t>(spq * t.cycleEndPos);
            cycleStart_.store(start, std::memory_order_relaxed);
            cycleEnd_.store(end, std::memory_order_relaxed);
            if (partnerStart_.load(std::memory_order_relaxed) < end)
                cycleLength_.store(static_cast<double>(end - start), std::memory_order_relaxed);
        }
        return true;
    }
    if (synced && !partnerPlaying) {
        clearCycle();
        queue_->reset();
        synced_.store(false, std::memory_order_relaxed);
        if (generator) generator->stop();
        return true;
    }
    return false;
}

PlayoutBuffer::Placement PlayoutBuffer::place(const VstTimeInfo& t, MediaSlot& s, int done, int remaining) {
    Placement p;
    if (!(t.flags & kVstTransportPlaying)) {
        p.action = Placement::Rest;
        return p;
    }
    int64_t local = static_cast<int64_t>(t.samplePos) + done;
    int64_t base = partnerPosition(s) - static_cast<int64_t>(cycleOffset_.load(std::memory_order_relaxed));
    int64_t readPos = base + static_cast<int64_t>(s.userWord);
    int64_t endPos = base + s.duration;
    const double cycleLength = cycleLength_.load(std::memory_order_relaxed);
    if (cycleLength != 0.0) {
        const int64_t len = static_cast<int64_t>(cycleLength);
        const int64_t cycleEnd = cycleEnd_.load(std::memory_order_relaxed);
        if (local >= cycleEnd) local -= len;
        if (readPos >= cycleEnd) {
            // The partner wrapped: its positions run on past the cycle's end
            // while its host went back to the start. The same whole number of
            // frames comes off the base and off every later slot.
            cycleOffset_.store(cycleOffset_.load(std::memory_order_relaxed) + static_cast<double>(len),
                               std::memory_order_relaxed);
            base -= len;
            readPos = base + static_cast<int64_t>(s.userWord);
            endPos = base + s.duration;
        }
        if (endPos > cycleEnd) endPos = cycleEnd;
    }
    if (endPos <= local) {  // wholly in the past
        queue_->release();
        p.action = Placement::Dropped;
        return p;
    }
    if (readPos >= local + remaining) {  // beyond this block
        p.action = Placement::Rest;
        return p;
    }
    if (readPos > local) {
        p.gap = static_cast<int>(readPos - local);
        if (p.gap > remaining) p.gap = remaining;
    } else if (readPos < local) {
        s.userWord += static_cast<uint32_t>(local - readPos);
        if (static_cast<int>(s.userWord) >= s.duration) {
            queue_->release();
            p.action = Placement::Dropped;
            return p;
        }
    }
    p.action = Placement::Copy;
    return p;
}

bool PlayoutBuffer::overflowed(float* const* out, int channelCount, int done, int remaining) {
    const uint32_t now = tick_();
    const double maxLatency = maxLatency_.load(std::memory_order_relaxed);
    const int32_t limit = static_cast<int32_t>(partnerRate_.load(std::memory_order_relaxed) * maxLatency);
    if (queue_->queuedDuration() > limit) {
        overflowCount_.fetch_add(1, std::memory_order_relaxed);
        clearCycle();
        queue_->reset();
        // Lets go of the slot just peeked, so the frame arriving next finds
        // the whole arena free.
        queue_->release();
        // Frames already copied in this call stay: they were due.
        silence(out, channelCount, done, remaining);
        if ((lastAdjustTick_ == 0 || now - lastAdjustTick_ <= kGrowWithinMs) &&
            maxLatency < kLatencyCeiling - kLatencyStep)
            maxLatency_.store(maxLatency + kLatencyStep, std::memory_order_relaxed);
        lastAdjustTick_ = now;
        playing_ = false;
        return true;
    }
    if (lastAdjustTick_ != 0 && now - lastAdjustTick_ > kShrinkAfterMs && maxLatency > kShrinkAbove) {
        lastAdjustTick_ = now;
        maxLatency_.store(maxLatency - kLatencyStep, std::memory_order_relaxed);
    }
    return false;
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
