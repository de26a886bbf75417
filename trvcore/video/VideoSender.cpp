#include "trvcore/video/VideoSender.h"

#include <new>

#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/video/VideoPicture.h"

VideoSender::VideoSender(const CycleTime& time, PeerConnection& connection)
    : WorkerThread(platform::ThreadPriority::Normal),
      time_(time),
      connection_(connection),
      input_(new (std::nothrow) uint8_t[video::kPictureBytes]),
      coded_(new (std::nothrow) uint8_t[kMaxVideoFrameData]) {
    if (input_ && coded_) encoder_.open();
}

VideoSender::~VideoSender() {
    stop();
    waitUntilFinished();
}

int VideoSender::quantiserFor(double quality) {
    if (quality < 0.25) return 10;
    if (quality < 0.5) return 7;
    if (quality < 0.75) return 4;
    if (quality < 0.9) return 3;
    return 2;
}

unsigned VideoSender::intervalFor(double fraction) {
    const double perSecond = fraction * kMaxPicturesPerSecond;
    return static_cast<unsigned>(1000.0 / (perSecond > 1.0 ? perSecond : 1.0));
}

void VideoSender::setQuality(double quality) {
    platform::ScopedLock guard(lock_);
    quality_.store(quality, std::memory_order_relaxed);
    quantiser_.store(quantiserFor(quality), std::memory_order_relaxed);
    largest_.store(0, std::memory_order_relaxed);
}

void VideoSender::setFrameRateFraction(double fraction) {
    if (!(fraction > 0.0)) fraction = 0.0;  // NaN too
    if (fraction > 1.0) fraction = 1.0;
    fraction_.store(fraction, std::memory_order_relaxed);
    intervalMs_.store(intervalFor(fraction), std::memory_order_relaxed);
}

void VideoSender::offerPicture(const uint8_t* rgb, int width, int height, int stride) {
    if (pending() || !input_) return;
    if (!video::scaleToQcif(rgb, width, height, stride, input_.get())) return;
    // No wake: the sender keeps its interval; it looks every 4 ms while idle.
    pending_.store(true, std::memory_order_release);
}

bool VideoSender::codePending() {
    if (!pending()) return false;
    int n;
    {
        platform::ScopedLock guard(lock_);
        n = encoder_.encode(input_.get(), quantiser(), coded_.get(), kMaxVideoFrameData);
        if (n >= 0) {
            lastCoded_.store(static_cast<size_t>(n), std::memory_order_relaxed);
            if (static_cast<size_t>(n) > largest_.load(std::memory_order_relaxed)) {
                if (static_cast<size_t>(n) <= kMaxVideoFrameData) {
                    largest_.store(static_cast<size_t>(n), std::memory_order_relaxed);
                } else if (quantiser() < kMaxQuantiser) {
                    quantiser_.store(quantiser() + 1, std::memory_order_relaxed);
                }
            }
        }
    }
    pending_.store(false, std::memory_order_release);
    if (n < 0) return false;
    if (static_cast<size_t>(n) > kMaxVideoFrameData) {
        tooLarge_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    VideoFrameHeader h;
    // No host time yet: position 0, no flags.
    if (time_.sampleRate.load(std::memory_order_relaxed) > 0.0) {
        const double position = time_.samplePosition.load(std::memory_order_relaxed);
        h.hostPosition = static_cast<uint32_t>(static_cast<int64_t>(position));
        h.transportFlags = static_cast<uint32_t>(time_.flags.load(std::memory_order_relaxed));
    }
    if (!buildVideoFrame(message_, h, coded_.get(), static_cast<size_t>(n))) return false;
    connection_.post(message_);
    sent_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void VideoSender::run() {
    while (running()) {
        if (pending()) {
            codePending();
            waitFor(frameIntervalMs());
        } else {
            waitFor(kIdleWaitMs);
        }
    }
}
