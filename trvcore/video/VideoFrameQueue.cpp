#include "trvcore/video/VideoFrameQueue.h"

#include <cstring>

#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerMessage.h"

VideoFrameQueue::VideoFrameQueue() = default;

int64_t VideoFrameQueue::stampOf(uint32_t hostPosition) {
    if (hostPosition > 0xFFFF0000u) return static_cast<int32_t>(hostPosition);
    return hostPosition;
}

bool VideoFrameQueue::store(const PeerMessage& message) {
    VideoFrameView view;
    if (!parseVideoFrame(message, view)) return false;
    const uint32_t flags = view.header.transportFlags;
    const int32_t length = message.length();
    platform::ScopedLock guard(lock_);
    if (enabled()) {
        const bool playing = (flags & kPlayingFlag) != 0;
        // A start is followed only while this host stands: once both play,
        // the pictures already follow the song.
        if (playing != partnerPlaying() && (!playing || !localPlaying())) {
            countDropped(static_cast<uint64_t>(queue_.unreadCount()));
            queue_.reset();
            partnerPlaying_.store(playing, std::memory_order_relaxed);
        }
    }
    const int before = queue_.unreadCount();
    MediaSlot* slot = queue_.reserve(length);
    if (!slot) {
        countDropped(static_cast<uint64_t>(before) + 1);
        return false;
    }
    // A reservation that found no room emptied the queue first.
    const int lost = before - queue_.unreadCount();
    if (lost > 0) countDropped(static_cast<uint64_t>(lost));
    std::memcpy(slot->data, message.data(), static_cast<size_t>(length));
    slot->stamp = stampOf(view.header.hostPosition);
    slot->flags = flags;
    queue_.commit(0);
    stored_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool VideoFrameQueue::take(double hostPosition, int32_t hostFlags, int blockSize, PeerMessage& out,
                           int64_t* stamp) {
    platform::ScopedLock guard(lock_);
    const MediaSlot* slot = choose(hostPosition, hostFlags, blockSize);
    if (!slot) return false;
    // Copied out here, so the slot is free for the network thread at once.
    const bool copied = out.assign(slot->data, static_cast<size_t>(slot->length));
    if (stamp) *stamp = slot->stamp;
    queue_.finishRead();
    return copied;
}

const MediaSlot* VideoFrameQueue::choose(double hostPosition, int32_t hostFlags, int blockSize) {
    localPlaying_.store((hostFlags & static_cast<int32_t>(kPlayingFlag)) != 0, std::memory_order_relaxed);
    if (!partnerPlaying()) {
        const int waiting = queue_.unreadCount();
        const MediaSlot* newest = queue_.takeLatest();
        if (newest && waiting > 1) countDropped(static_cast<uint64_t>(waiting - 1));
        return newest;
    }
    if (!localPlaying()) return nullptr;
    const int64_t h = static_cast<int64_t>(hostPosition);
    const int64_t b = blockSize > 0 ? blockSize : 0;
    while (const MediaSlot* oldest = queue_.peek()) {
        if (oldest->stamp < h - b) {
            queue_.release();
            countDropped(1);
            continue;
        }
        if (oldest->stamp < h + b) return queue_.pop();
        return nullptr;
    }
    return nullptr;
}

void VideoFrameQueue::setEnabled(bool on) {
    platform::ScopedLock guard(lock_);
    if (on == enabled()) return;
    enabled_.store(on, std::memory_order_relaxed);
    // Off follows no transport; on starts from the partner standing until
    // its pictures say otherwise.
    partnerPlaying_.store(false, std::memory_order_relaxed);
    countDropped(static_cast<uint64_t>(queue_.unreadCount()));
    queue_.reset();
}

void VideoFrameQueue::reset() {
    platform::ScopedLock guard(lock_);
    partnerPlaying_.store(false, std::memory_order_relaxed);
    localPlaying_.store(false, std::memory_order_relaxed);
    queue_.reset();
}
