#pragma once
// The partner's decoded audio on its way to the host's output. The network
// thread pushes each decoded frame, stamped with the partner's stream
// position; the audio thread reads one host block at a time.
//
// Transport-aligned (synced): while the partner's transport plays and its
// stamped position is not before the song start, a frame plays at the local
// song position equal to the partner's song position at which it was
// recorded: silence before it, frames in the past dropped, a partly played
// frame resumed. With both transports looping, the partner's positions are
// taken back by one cycle at each of its wraps. The buffer enters sync
// (emptied, and the time code generator located at the partner's position
// if the local transport stands) when the partner starts, and leaves it
// (emptied, the generator stopped) when the partner stops. Monitor mode
// (setSyncEnabled(false)) keeps it free-running.
//
// Free-running, a frame plays as soon as 256 frames of audio are queued
// beyond the reader, and the backlog may grow to maxLatency seconds: beyond
// that it is thrown away at once (an overflow). maxLatency starts at
// 0.125 s, grows by 0.05 s while overflows come within 10 s of each other
// (to at most 0.725 s) and shrinks by 0.05 s after each quiet 20 s while
// above 0.5 s.
//
// Threads: updateFromHeader and push on the network thread, read on the
// audio thread; the queue's own lock serialises them. setSyncEnabled and
// reset from any thread.
#include <atomic>
#include <cstdint>
#include <memory>

#include "trvcore/audio/MediaQueue.h"
#include "vst/VstAbi.h"

class MtcGenerator;
class PeerMessage;
struct MediaSlot;

class PlayoutBuffer {
public:
    static constexpr int kQueueSlots = 4096;
    static constexpr int kArenaBytes = 5760000;
    static constexpr int kDelayFrames = 256;
    static constexpr double kInitialMaxLatency = 0.125;
    static constexpr double kLatencyStep = 0.05;
    static constexpr double kLatencyCeiling = 0.75;
    static constexpr double kShrinkAbove = 0.5;
    static constexpr uint32_t kGrowWithinMs = 10000;
    static constexpr uint32_t kShrinkAfterMs = 20000;

    PlayoutBuffer();
    bool valid() const { return queue_ && queue_->valid(); }

    // Network thread: the header fields of an AudioFrame, before its payload
    // is decoded. Too short a message changes nothing.
    void updateFromHeader(const PeerMessage& message);
    // Network thread: one decoded frame. False if nothing was queued.
    bool push(const float* const* channels, int count, int frames, int64_t position);
    // Audio thread: fills `out[0..channelCount-1]` with `frames` samples
    // (silence where the partner's audio runs out or is not due). Returns 0
    // when nothing could play (partner rate differs), the frames copied
    // before an overflow, else `frames`. `generator` (may be null) is the
    // time code generator, located or stopped as the partner's transport
    // starts or stops.
    int read(const VstTimeInfo& timeInfo, float* const* out, int channelCount, int frames,
             MtcGenerator* generator = nullptr);

    void setSyncEnabled(bool on);
    void reset();

    double maxLatency() const { return maxLatency_.load(std::memory_order_relaxed); }
    int overflowCount() const { return overflowCount_.load(std::memory_order_relaxed); }
    int partnerRate() const { return partnerRate_.load(std::memory_order_relaxed); }
    uint32_t partnerFlags() const { return partnerFlags_.load(std::memory_order_relaxed); }
    int64_t partnerStart() const { return partnerStart_.load(std::memory_order_relaxed); }
    uint32_t partnerCounterAtStart() const { return partnerCounterAtStart_.load(std::memory_order_relaxed); }
    bool syncEnabled() const { return syncEnabled_.load(std::memory_order_relaxed); }
    // Playing transport-aligned now.
    bool synced() const { return synced_.load(std::memory_order_relaxed); }
    int32_t queuedFrames() const { return queue_ ? queue_->queuedDuration() : 0; }
    // Blocks that ran dry part-way after partner audio had been playing.
    uint32_t underruns() const { return underruns_.load(std::memory_order_relaxed); }

    // The millisecond tick the adaptation uses; tests step it by hand.
    using TickSource = uint32_t (*)();
    void setTickSource(TickSource source) { tick_ = source; }

private:
    // What a synced read does with the oldest slot.
    struct Placement {
        enum Action { Copy, Dropped, Rest } action = Copy;
        int gap = 0;  // silence before the copy
    };
    int64_t partnerPosition(const MediaSlot& s) const;
    // Enters or leaves sync as the partner's transport starts or stops;
    // true when the queue was emptied (read looks again).
    bool followTransports(const VstTimeInfo& t, const MediaSlot& s, MtcGenerator* generator);
    Placement place(const VstTimeInfo& t, MediaSlot& s, int done, int remaining);
    // Free-running: true when the backlog was too long and was thrown away
    // (the rest of the block silenced).
    bool overflowed(float* const* out, int channelCount, int done, int remaining);
    void clearCycle();
    void silence(float* const* out, int channelCount, int from, int frames);

    std::atomic<double> maxLatency_{kInitialMaxLatency};
    // Cycle handling of the transport-aligned side; cleared by resets from
    // any thread.
    std::atomic<int64_t> cycleStart_{0};
    std::atomic<int64_t> cycleEnd_{0};
    std::atomic<int64_t> partnerStart_{0};
    std::atomic<double> cycleLength_{0.0};
    std::atomic<double> cycleOffset_{0.0};
    std::unique_ptr<MediaQueue> queue_;
    std::atomic<uint32_t> partnerCounterAtStart_{0};
    std::atomic<uint32_t> partnerFlags_{0};
    std::atomic<int> overflowCount_{0};
    uint32_t lastAdjustTick_ = 0;
    std::atomic<int> partnerRate_{48000};
    std::atomic<bool> syncEnabled_{true};
    std::atomic<bool> synced_{false};
    bool playing_ = false;  // the last block carried partner audio
    std::atomic<uint32_t> underruns_{0};
    TickSource tick_;
};
