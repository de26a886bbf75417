// Video4Linux2 capture through libv4l2, which converts whatever the device
// offers (YUYV, MJPEG, ...) to RGB24. Memory-mapped streaming with four
// buffers; a thread of its own waits for filled buffers (at most 100 ms at
// a time, so stop() is prompt) and hands each to the sink.
#include "platform/Camera.h"

#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Thread.h"

namespace platform {

namespace {

constexpr int kBufferCount = 4;
constexpr int kPollMs = 100;
constexpr int kJoinMs = 2000;
constexpr int kMaxDevices = 64;
// What the device is asked for; it answers with the size nearest to it.
constexpr uint32_t kAskWidth = 352;
constexpr uint32_t kAskHeight = 288;

int xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = v4l2_ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

class V4l2Camera : public Camera {
public:
    ~V4l2Camera() override {
        stop();
        unmapBuffers();
        if (fd_ >= 0) v4l2_close(fd_);
    }

    // Opens the device and sets RGB24; false when it is no capture device
    // or cannot deliver RGB24.
    bool open(const char* path) {
        fd_ = v4l2_open(path, O_RDWR | O_NONBLOCK);
        if (fd_ < 0) return false;
        v4l2_capability cap{};
        if (xioctl(fd_, VIDIOC_QUERYCAP, &cap) != 0) return false;
        const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) return false;
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        fmt.fmt.pix.width = kAskWidth;
        fmt.fmt.pix.height = kAskHeight;
        fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24;
        fmt.fmt.pix.field = V4L2_FIELD_ANY;
        if (xioctl(fd_, VIDIOC_S_FMT, &fmt) != 0) return false;
        if (fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_RGB24) return false;
        width_ = static_cast<int>(fmt.fmt.pix.width);
        height_ = static_cast<int>(fmt.fmt.pix.height);
        stride_ = static_cast<int>(fmt.fmt.pix.bytesperline);
        if (stride_ < width_ * 3) stride_ = width_ * 3;
        imageBytes_ = static_cast<size_t>(stride_) * static_cast<size_t>(height_);
        if (width_ <= 0 || height_ <= 0) return false;
        return mapBuffers();
    }

    bool start(CameraSink* sink) override {
        if (!sink || thread_.started()) return false;
        sink_ = sink;
        for (int i = 0; i < mapped_; ++i) {
            v4l2_buffer b{};
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            b.index = static_cast<uint32_t>(i);
            if (xioctl(fd_, VIDIOC_QBUF, &b) != 0) return false;
        }
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd_, VIDIOC_STREAMON, &type) != 0) return false;
        running_.store(true, std::memory_order_relaxed);
        if (!thread_.start(&V4l2Camera::entry, this, ThreadPriority::Normal)) {
            running_.store(false, std::memory_order_relaxed);
            xioctl(fd_, VIDIOC_STREAMOFF, &type);
            return false;
        }
        return true;
    }

    void stop() override {
        if (!thread_.started()) return;
        running_.store(false, std::memory_order_relaxed);
        // Each poll lasts at most kPollMs and a sink call is short: the
        // thread ends well inside the bound.
        thread_.join(kJoinMs);
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(fd_, VIDIOC_STREAMOFF, &type);
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

private:
    static void entry(void* self) { static_cast<V4l2Camera*>(self)->run(); }

    void run() {
        while (running_.load(std::memory_order_relaxed)) {
            pollfd p{fd_, POLLIN, 0};
            const int r = poll(&p, 1, kPollMs);
            if (r < 0 && errno != EINTR) break;
            if (r <= 0) continue;
            v4l2_buffer b{};
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            if (xioctl(fd_, VIDIOC_DQBUF, &b) != 0) {
                if (errno == EAGAIN) continue;
                break;  // the device went away
            }
            if (b.index < static_cast<uint32_t>(mapped_) && b.bytesused >= imageBytes_)
                sink_->onCameraFrame(static_cast<const uint8_t*>(buffers_[b.index].start), width_, height_,
                                     stride_);
            if (xioctl(fd_, VIDIOC_QBUF, &b) != 0) break;
        }
    }

    bool mapBuffers() {
        v4l2_requestbuffers req{};
        req.count = kBufferCount;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (xioctl(fd_, VIDIOC_REQBUFS, &req) != 0 || req.count < 1) return false;
        const int count = req.count < kBufferCount ? static_cast<int>(req.count) : kBufferCount;
        for (int i = 0; i < count; ++i) {
            v4l2_buffer b{};
            b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b.memory = V4L2_MEMORY_MMAP;
            b.index = static_cast<uint32_t>(i);
            if (xioctl(fd_, VIDIOC_QUERYBUF, &b) != 0) return false;
            if (b.length < imageBytes_) return false;
            void* p = v4l2_mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, b.m.offset);
            if (p == MAP_FAILED) return false;
            buffers_[i] = {p, b.length};
            mapped_ = i + 1;
        }
        return true;
    }

    void unmapBuffers() {
        for (int i = 0; i < mapped_; ++i) v4l2_munmap(buffers_[i].start, buffers_[i].length);
        mapped_ = 0;
    }

    struct Mapped {
        void* start = nullptr;
        size_t length = 0;
    };

    int fd_ = -1;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    size_t imageBytes_ = 0;
    Mapped buffers_[kBufferCount];
    int mapped_ = 0;
    CameraSink* sink_ = nullptr;
    std::atomic<bool> running_{false};
    Thread thread_;
};

Camera* tryOpen(const char* path) {
    V4l2Camera* c = new V4l2Camera();
    if (c->open(path)) return c;
    delete c;
    return nullptr;
}

}  // namespace

Camera* openCamera(const char* device) {
    if (device) return tryOpen(device);
    for (int i = 0; i < kMaxDevices; ++i) {
        char path[32];
        std::snprintf(path, sizeof path, "/dev/video%d", i);
        if (Camera* c = tryOpen(path)) return c;
    }
    return nullptr;
}

}  // namespace platform
