#pragma once
// The partner's pictures: VideoFrame messages from the network thread go
// into a VideoFrameQueue; this receiver's thread (below normal priority)
// takes the picture due at the host's current position, decodes it and
// keeps it as the output picture that the partner's video pane draws.
// After a picture it rests 46 ms, else it looks again after 5 ms.
//
// The output picture is QCIF RGB24, mid grey until the first picture.
// Threads: onVideoFrame on the network thread (copies only); showNext on
// this receiver's thread; picture() on any thread (under the picture lock,
// held for one copy or one conversion). Each receiver has its own decoder.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"
#include "platform/WorkerThread.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/session/SessionMediaSink.h"
#include "trvcore/video/H263Codec.h"
#include "trvcore/video/PictureSource.h"
#include "trvcore/video/VideoFrameQueue.h"

class AudioStreamHost;

class VideoReceiver : public WorkerThread, public SessionMediaSink, public PictureSource {
public:
    static constexpr unsigned kIntervalMs = 46;
    static constexpr unsigned kIdleWaitMs = 5;

    // `host` gives this host's transport and block size; it must outlive
    // the receiver.
    explicit VideoReceiver(const AudioStreamHost& host);
    ~VideoReceiver() override;

    // Network thread: one VideoFrame from the partner.
    void onVideoFrame(const PeerMessage& message);
    void onMediaMessage(PartnerSession&, const PeerMessage& message) override { onVideoFrame(message); }

    // Follows the transports (off in monitor mode: pictures as they come).
    void setTransportSync(bool on) { queue_.setEnabled(on); }

    // Receiver thread: decodes the picture due now; true when one was
    // taken (decoded or not). Tests drive it without the thread.
    bool showNext();

    // PictureSource: the output picture, always there (grey at first).
    bool picture(uint8_t* out) const override;
    uint32_t pictureCount() const override { return decoded_.load(std::memory_order_relaxed); }

    uint64_t received() const { return queue_.stored(); }
    uint32_t decoded() const { return decoded_.load(std::memory_order_relaxed); }
    // Dropped by the queue (late, overtaken, no room) or undecodable.
    uint64_t dropped() const { return queue_.dropped() + undecodable_.load(std::memory_order_relaxed); }
    VideoFrameQueue& queue() { return queue_; }

    void run() override;

private:
    const AudioStreamHost& host_;
    VideoFrameQueue queue_;
    video::H263Decoder decoder_;
    PeerMessage message_;                 // receiver thread only: the message taken
    std::unique_ptr<uint8_t[]> output_;           // under pictureLock_
    mutable platform::RecursiveLock pictureLock_;
    std::atomic<uint32_t> decoded_{0};
    std::atomic<uint64_t> undecodable_{0};
};
