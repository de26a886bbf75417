#include "trvcore/trvnetwork/VideoRateController.h"

#include "trvcore/trvnetwork/VideoEncoderControl.h"

namespace {
constexpr int kTicksPerSecond = 4;
constexpr int kSamplesPerAverage = 4;
}  // namespace

double VideoRateController::qualityFor(double budgetKbps) {
    if (budgetKbps <= 100) return 0.25;
    if (budgetKbps <= 500) return 0.5;
    if (budgetKbps <= 750) return 0.75;
    return 1.0;
}

void VideoRateController::clearAverage() {
    frameBytesAverage_ = 0.0;
    frameBytesSum_ = 0.0;
    sampleCount_ = 0;
}

void VideoRateController::reset() {
    clearAverage();
    lastBudget_ = 0.0;
    nextTick_ = 0.0;
    tickCount_ = 0;
    videoBytesThisSecond_.store(0, std::memory_order_relaxed);
    frameRate_.store(1, std::memory_order_relaxed);
}

bool VideoRateController::decide(double budgetKbps, double sentVideoBitsPerSecond,
                                 double nowSeconds, VideoEncoderControl* encoder) {
    if (!(budgetKbps > 0)) return false;
    if (budgetKbps != lastBudget_) {
        lastBudget_ = budgetKbps;
        clearAverage();
    }
    if (encoder) {
        const double quality = qualityFor(budgetKbps);
        if (quality != encoder->quality()) {
            clearAverage();
            encoder->setQuality(quality);
        }
    }
    const double bytesPerSecond = budgetKbps * 125.0;
    if (nextTick_ > nowSeconds + kTickSeconds) nextTick_ = nowSeconds;  // the clock went back
    if (nowSeconds >= nextTick_) {
        nextTick_ += kTickSeconds;
        if (nextTick_ < nowSeconds) nextTick_ = nowSeconds;  // calls paused for a while
        if (!tick(bytesPerSecond, sentVideoBitsPerSecond, encoder)) return false;
    }
    return videoBytesThisSecond_.load(std::memory_order_relaxed) <= bytesPerSecond;
}

bool VideoRateController::tick(double bytesPerSecond, double sentVideoBitsPerSecond,
                               VideoEncoderControl* encoder) {
    if (++tickCount_ == kTicksPerSecond) {
        tickCount_ = 0;
        videoBytesThisSecond_.store(0, std::memory_order_relaxed);
    }
    // Bytes per picture actually sent; frameRate is never below 1.
    const double x = sentVideoBitsPerSecond * 0.125 / frameRate_.load(std::memory_order_relaxed);
    if (frameBytesAverage_ < 1.0) {
        frameBytesAverage_ = x;
        frameBytesSum_ = x;
        sampleCount_ = 0;
    } else {
        frameBytesSum_ += x;
        if (++sampleCount_ == kSamplesPerAverage) {
            frameBytesAverage_ = frameBytesSum_ * 0.125 + frameBytesAverage_ * 0.5;
            frameBytesSum_ = 0.0;
            sampleCount_ = 0;
        }
    }
    double f = frameBytesAverage_ > 0.0 ? bytesPerSecond / frameBytesAverage_ : kMaxFrameRate;
    if (f < 1.0) {
        frameBytesAverage_ = 0.0;
        frameRate_.store(1, std::memory_order_relaxed);
        return false;
    }
    if (f > kMaxFrameRate) f = kMaxFrameRate;
    const int rate = static_cast<int>(f);
    frameRate_.store(rate, std::memory_order_relaxed);
    const double fraction = static_cast<double>(rate) / kMaxFrameRate;
    if (encoder && fraction != encoder->frameRateFraction()) encoder->setFrameRateFraction(fraction);
    return true;
}
