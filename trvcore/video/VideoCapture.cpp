#include "trvcore/video/VideoCapture.h"

#include <cstring>
#include <new>

#include "trvcore/video/VideoPicture.h"

VideoCapture::VideoCapture(VideoCaptureListener* listener, platform::Camera* camera)
    : listener_(listener), camera_(camera), preview_(new (std::nothrow) uint8_t[video::kPictureBytes]) {
    if (camera_ && preview_) running_ = camera_->start(this);
}

VideoCapture::~VideoCapture() {
    if (camera_) camera_->stop();
}

void VideoCapture::onCameraFrame(const uint8_t* rgb, int width, int height, int stride) {
    {
        platform::ScopedLock guard(pictureLock_);
        if (!video::scaleToQcif(rgb, width, height, stride, preview_.get())) return;
    }
    frames_.fetch_add(1, std::memory_order_relaxed);
    if (listener_) listener_->onCameraFrame(preview_.get(), video::kWidth, video::kHeight, video::kStride);
}

bool VideoCapture::picture(uint8_t* out) const {
    if (!out || frameCount() == 0) return false;
    platform::ScopedLock guard(pictureLock_);
    std::memcpy(out, preview_.get(), video::kPictureBytes);
    return true;
}
