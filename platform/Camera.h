#pragma once
// A video capture device: frames of RGB24 (three bytes a pixel, red first,
// top row first) with their width, height and row stride, delivered on the
// device's own thread. The only code that talks to the OS's capture API.
#include <cstdint>

namespace platform {

class CameraSink {
public:
    virtual ~CameraSink() = default;
    // One frame, valid only during the call. Called on the camera's thread,
    // one frame at a time.
    virtual void onCameraFrame(const uint8_t* rgb, int width, int height, int stride) = 0;
};

class Camera {
public:
    // Stops the camera first.
    virtual ~Camera() = default;
    // Starts delivering frames to `sink`; false when the device cannot.
    virtual bool start(CameraSink* sink) = 0;
    // Stops delivering: once it returns no call of the sink runs or follows.
    virtual void stop() = 0;
    // The frame size the device delivers.
    virtual int width() const = 0;
    virtual int height() const = 0;
};

// The capture device at `device` (a device path), or the first one found
// that delivers frames when `device` is null. Null when there is none.
Camera* openCamera(const char* device);

}  // namespace platform
