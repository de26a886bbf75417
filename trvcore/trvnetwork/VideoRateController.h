#pragma once
// Rations camera pictures to the video budget. Asked once before each
// picture is coded; it chooses the encoder's quality from the budget, keeps
// an average of the bytes a sent picture takes (measured every 250 ms from
// the sent-video rate), derives the frame rate the budget allows (1..24 per
// second) and refuses pictures once this second's video bytes exceed the
// budget.
//
// decide() runs on the video encoder's thread only; countVideoBytes() on any
// sending thread; frameRate() on any thread.
#include <atomic>
#include <cstdint>

class VideoEncoderControl;

class VideoRateController {
public:
    static constexpr int kMaxFrameRate = 24;
    static constexpr double kTickSeconds = 0.25;

    // budgetKbps: the video budget; sentVideoBitsPerSecond: the connection's
    // sent-video rate; nowSeconds: the performance counter in seconds.
    // True when the picture should be coded.
    bool decide(double budgetKbps, double sentVideoBitsPerSecond, double nowSeconds,
                VideoEncoderControl* encoder);

    // Bytes of video that just left (kind 2 messages).
    void countVideoBytes(uint32_t bytes) {
        videoBytesThisSecond_.fetch_add(bytes, std::memory_order_relaxed);
    }
    int frameRate() const { return frameRate_.load(std::memory_order_relaxed); }
    uint32_t videoBytesThisSecond() const {
        return videoBytesThisSecond_.load(std::memory_order_relaxed);
    }
    double frameBytesAverage() const { return frameBytesAverage_; }
    void reset();

    // The quality chosen for a budget.
    static double qualityFor(double budgetKbps);

private:
    void clearAverage();
    // One 250 ms step; false when the budget cannot carry one frame a second.
    bool tick(double bytesPerSecond, double sentVideoBitsPerSecond, VideoEncoderControl* encoder);

    double lastBudget_ = 0.0;
    double nextTick_ = 0.0;
    double frameBytesAverage_ = 0.0;
    double frameBytesSum_ = 0.0;
    int sampleCount_ = 0;
    int tickCount_ = 0;
    std::atomic<uint32_t> videoBytesThisSecond_{0};
    std::atomic<int> frameRate_{1};
};
