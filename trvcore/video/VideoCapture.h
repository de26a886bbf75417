#pragma once
// The local camera: every frame it delivers is scaled into the preview
// picture (QCIF RGB24), which the local video pane draws, and then handed
// to the listener (the controller, which offers it to the partners).
// Built with the controller and running until it goes, sessions or not.
// Without a camera there is no preview and nothing is sent.
//
// Threads: onCameraFrame on the camera's thread; picture() on any thread.
// The preview is written under the picture lock (held for one scaling);
// the listener reads it on the camera thread, which alone writes it.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Camera.h"
#include "platform/Lock.h"
#include "trvcore/video/PictureSource.h"

class VideoCaptureListener {
public:
    virtual ~VideoCaptureListener() = default;
    // One preview picture (176 x 144, stride 528), valid during the call.
    virtual void onCameraFrame(const uint8_t* picture, int width, int height, int stride) = 0;
};

class VideoCapture : public PictureSource, private platform::CameraSink {
public:
    // Takes the camera (null: none) and starts it.
    VideoCapture(VideoCaptureListener* listener, platform::Camera* camera);
    // Stops the camera: no listener call runs once it returns.
    ~VideoCapture() override;
    VideoCapture(const VideoCapture&) = delete;
    VideoCapture& operator=(const VideoCapture&) = delete;

    bool hasCamera() const { return running_; }
    // The size the camera delivers (0 x 0 without one).
    int cameraWidth() const { return running_ ? camera_->width() : 0; }
    int cameraHeight() const { return running_ ? camera_->height() : 0; }
    uint32_t frameCount() const { return frames_.load(std::memory_order_relaxed); }

    // PictureSource: false until the first camera frame.
    bool picture(uint8_t* out) const override;
    uint32_t pictureCount() const override { return frameCount(); }

private:
    void onCameraFrame(const uint8_t* rgb, int width, int height, int stride) override;

    VideoCaptureListener* const listener_;
    std::unique_ptr<platform::Camera> camera_;
    std::unique_ptr<uint8_t[]> preview_;
    mutable platform::RecursiveLock pictureLock_;
    bool running_ = false;
    std::atomic<uint32_t> frames_{0};
};
