#include "trvcore/video/VideoReceiver.h"

#include <cstring>
#include <new>

#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/video/VideoPicture.h"

VideoReceiver::VideoReceiver(const AudioStreamHost& host)
    : host_(host),
      output_(new (std::nothrow) uint8_t[video::kPictureBytes]) {
    if (output_) std::memset(output_.get(), video::kGrey, video::kPictureBytes);
    if (output_) decoder_.open();
}

VideoReceiver::~VideoReceiver() {
    stop();
    waitUntilFinished();
}

void VideoReceiver::onVideoFrame(const PeerMessage& message) { queue_.store(message); }

bool VideoReceiver::showNext() {
    const CycleTime& time = host_.cycleTime();
    if (!queue_.take(time.samplePosition.load(std::memory_order_relaxed), time.flags.load(std::memory_order_relaxed),
                     host_.blockSize(), message_))
        return false;
    VideoFrameView view;
    if (!output_ || !parseVideoFrame(message_, view) || !decoder_.decode(view.data, view.dataLength)) {
        undecodable_.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    {
        // Held for the conversion only (about as long as a copy).
        platform::ScopedLock guard(pictureLock_);
        decoder_.convertTo(output_.get());
    }
    decoded_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool VideoReceiver::picture(uint8_t* out) const {
    if (!out || !output_) return false;
    platform::ScopedLock guard(pictureLock_);
    std::memcpy(out, output_.get(), video::kPictureBytes);
    return true;
}

void VideoReceiver::run() {
    while (running()) waitFor(showNext() ? kIntervalMs : kIdleWaitMs);
}
