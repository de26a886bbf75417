#pragma once
// The camera's pictures on their way to one partner: each offered picture
// is scaled to QCIF, coded as an H.263 intra picture at the current
// quantiser and posted as one VideoFrame message on the session's
// connection, stamped with the host's position and transport flags.
//
// Pacing: the bandwidth control (PeerConnection::videoRateControl) decides
// which camera frames are offered and turns the two knobs: quality, which
// picks the quantiser (below 0.25: 10, 0.5: 7, 0.75: 4, 0.9: 3, else 2),
// and the frame-rate fraction, which spaces the coded pictures by
// 1000 / max(24 f, 1) ms. A picture over 8156 bytes is not sent and raises
// the quantiser by one (at most 31) until the quality is set again.
//
// Threads: offerPicture and the knobs on the camera's thread; coding and
// posting on this sender's thread. The pending flag hands the input picture
// over: the camera writes it only while nothing is pending, the sender
// reads it only while something is. Each sender has its own encoder.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/WorkerThread.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/trvnetwork/VideoEncoderControl.h"
#include "trvcore/video/H263Codec.h"

struct CycleTime;
class PeerConnection;

class VideoSender : public WorkerThread, public VideoEncoderControl {
public:
    static constexpr double kInitialQuality = 0.25;
    static constexpr int kInitialQuantiser = 7;
    static constexpr int kMaxQuantiser = 31;
    static constexpr unsigned kInitialIntervalMs = 333;
    static constexpr double kInitialFraction = 0.125;
    static constexpr unsigned kIdleWaitMs = 4;
    static constexpr int kMaxPicturesPerSecond = 24;

    // `time` gives the host's position and flags for the stamps; both must
    // outlive the sender.
    VideoSender(const CycleTime& time, PeerConnection& connection);
    ~VideoSender() override;

    // Camera thread: takes the picture (any size, RGB24) unless one is
    // still waiting to be coded.
    void offerPicture(const uint8_t* rgb, int width, int height, int stride);
    bool pending() const { return pending_.load(std::memory_order_acquire); }

    // VideoEncoderControl. setQuality also forgets the largest size seen,
    // so a raised quantiser comes back down with the next quality.
    double quality() const override { return quality_.load(std::memory_order_relaxed); }
    void setQuality(double quality) override;
    double frameRateFraction() const override { return fraction_.load(std::memory_order_relaxed); }
    void setFrameRateFraction(double fraction) override;

    static int quantiserFor(double quality);
    static unsigned intervalFor(double fraction);

    int quantiser() const { return quantiser_.load(std::memory_order_relaxed); }
    unsigned frameIntervalMs() const { return intervalMs_.load(std::memory_order_relaxed); }
    // Bytes of the last coded picture (what the bandwidth control is told),
    // and the largest one sent since the quality was set.
    size_t lastCodedBytes() const { return lastCoded_.load(std::memory_order_relaxed); }
    size_t largestCodedBytes() const { return largest_.load(std::memory_order_relaxed); }
    uint32_t picturesSent() const { return sent_.load(std::memory_order_relaxed); }
    uint32_t picturesTooLarge() const { return tooLarge_.load(std::memory_order_relaxed); }
    bool encoderReady() const { return encoder_.isOpen(); }

    // Sender thread: codes and posts the pending picture; false when none
    // was pending or it was not sent. Tests drive it without the thread.
    bool codePending();

    void run() override;

private:
    const CycleTime& time_;
    PeerConnection& connection_;
    video::H263Encoder encoder_;
    std::unique_ptr<uint8_t[]> input_;   // QCIF RGB24
    std::unique_ptr<uint8_t[]> coded_;   // up to 8156 bytes
    PeerMessage message_;
    platform::RecursiveLock lock_;  // the encoder's settings against coding
    std::atomic<bool> pending_{false};
    std::atomic<double> quality_{kInitialQuality};
    std::atomic<int> quantiser_{kInitialQuantiser};
    std::atomic<double> fraction_{kInitialFraction};
    std::atomic<unsigned> intervalMs_{kInitialIntervalMs};
    std::atomic<size_t> lastCoded_{0};
    std::atomic<size_t> largest_{0};
    std::atomic<uint32_t> sent_{0};
    std::atomic<uint32_t> tooLarge_{0};
};
