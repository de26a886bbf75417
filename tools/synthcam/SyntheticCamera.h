#pragma once
// A camera made of numbers, for tests and demos: colour bars ("bars") or
// colour bars with a square that moves a few pixels every frame
// ("pattern"), at any size and rate, delivered on a thread of its own like
// a real device's frames.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Camera.h"
#include "platform/Thread.h"

class SyntheticCamera : public platform::Camera {
public:
    enum class Kind { Bars, Pattern };
    struct Format {
        Kind kind = Kind::Bars;
        int width = 320;
        int height = 240;
        double fps = 30.0;
    };
    // "bars" or "pattern", optionally followed by ":WxH" and "@FPS"
    // ("pattern:640x480@15"). False, `out` untouched, for anything else or
    // a size outside 16..4096 or a rate outside 0.1..240.
    static bool parse(const std::string& text, Format& out);

    explicit SyntheticCamera(const Format& format);
    ~SyntheticCamera() override;

    bool start(platform::CameraSink* sink) override;
    void stop() override;
    int width() const override { return format_.width; }
    int height() const override { return format_.height; }

    // Draws frame `n` into `rgb` (stride width * 3).
    static void draw(const Format& format, uint32_t n, uint8_t* rgb);
    // Where frame n's square sits (its top left corner) and its side.
    static void squareAt(const Format& format, uint32_t n, int& x, int& y, int& side);
    uint32_t framesDelivered() const { return frames_.load(std::memory_order_relaxed); }

private:
    static void entry(void* self);
    void run();

    Format format_;
    std::unique_ptr<uint8_t[]> frame_;
    platform::CameraSink* sink_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> frames_{0};
    platform::Thread thread_;
};
