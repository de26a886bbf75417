#pragma once
// The partner's coded pictures between the network thread and the video
// receiver's thread: a MediaQueue of 250 slots and a 2,048,000-byte arena,
// each slot one whole VideoFrame message with its time stamp (the sender's
// host position) and its transport flags.
//
// Which picture is shown (take):
// - The partner plays (and sync is on): pictures follow the song. While
//   this host plays too, the oldest picture is taken when it lies within
//   one block of the local position, dropped as late when it lies before
//   that, and kept for later when it lies after it. While this host
//   stands, nothing is taken.
// - Otherwise (the partner stands, or monitor mode): the newest picture is
//   taken and all older ones are dropped.
// The partner's playing state is taken from the pictures as they arrive:
// its start is followed while this host stands, its stop at once (a
// picture frozen until this host stops would show nothing of the partner).
// Each switch empties the queue.
//
// Threads: store on the network thread (copies, never allocates); take on
// the receiver's thread; setEnabled from the session. The queue's own lock
// makes each of them one step; it is held for one message copy at most.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/audio/MediaQueue.h"

class PeerMessage;

class VideoFrameQueue {
public:
    static constexpr int kSlots = 250;
    static constexpr int kArenaBytes = 2048000;
    static constexpr uint32_t kPlayingFlag = 2;

    VideoFrameQueue();
    VideoFrameQueue(const VideoFrameQueue&) = delete;
    VideoFrameQueue& operator=(const VideoFrameQueue&) = delete;
    bool valid() const { return queue_.valid(); }

    // Network thread: keeps a VideoFrame message whole. False when it is
    // not one, or the queue had no room (the queue then starts afresh).
    bool store(const PeerMessage& message);

    // Receiver thread: copies the message to show now into `out`; false
    // when none is due. `hostFlags` and `hostPosition` are this host's
    // transport, `blockSize` its block. `stamp`, if given, receives the
    // message's time stamp.
    bool take(double hostPosition, int32_t hostFlags, int blockSize, PeerMessage& out, int64_t* stamp = nullptr);

    // Transport sync (off in monitor mode): off shows every picture as it
    // arrives. A change empties the queue.
    void setEnabled(bool on);
    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }
    bool partnerPlaying() const { return partnerPlaying_.load(std::memory_order_relaxed); }
    bool localPlaying() const { return localPlaying_.load(std::memory_order_relaxed); }
    void reset();

    // A VideoFrame's time stamp: its host position as unsigned, except
    // that the last 65536 values below 2^32 stand for small negative ones.
    static int64_t stampOf(uint32_t hostPosition);

    uint64_t stored() const { return stored_.load(std::memory_order_relaxed); }
    // Pictures dropped: late, skipped for a newer one, or without room.
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
    int waiting() const { return queue_.unreadCount(); }

private:
    void countDropped(uint64_t n) { dropped_.fetch_add(n, std::memory_order_relaxed); }
    // Under the lock: the slot to show, or null.
    const MediaSlot* choose(double hostPosition, int32_t hostFlags, int blockSize);

    mutable platform::RecursiveLock lock_;
    MediaQueue queue_{kSlots, kArenaBytes};
    std::atomic<bool> enabled_{true};
    std::atomic<bool> partnerPlaying_{false};
    std::atomic<bool> localPlaying_{false};
    std::atomic<uint64_t> stored_{0};
    std::atomic<uint64_t> dropped_{0};
};
