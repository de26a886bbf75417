#include "tools/trvhost/ClickTrain.h"

#include <algorithm>
#include <cmath>

namespace clicks {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kThresholdSquared = kThreshold * kThreshold;
// Sub-frame positions of the click start the detector's lag is measured at.
constexpr int kCalibrationPhases = 32;

int64_t floorMod(int64_t value, int64_t period) {
    const int64_t r = value % period;
    return r < 0 ? r + period : r;
}
}  // namespace

double clickValue(double frames, double rate) {
    if (!(frames >= 0.0) || frames >= kClickFrames) return 0.0;
    const double window = 0.5 * (1.0 - std::cos(2.0 * kPi * frames / kClickFrames));
    return kAmplitude * window * std::sin(2.0 * kPi * kFrequency * frames / rate);
}

void fillClicks(int64_t startNs, double rate, float* left, float* right, int frames) {
    const double nsPerFrame = 1e9 / rate;
    const double clickNs = kClickFrames * nsPerFrame;
    // Time of each frame within its period, stepped frame by frame from the
    // block start's place in its period.
    double phase = static_cast<double>(floorMod(startNs, kPeriodNs));
    for (int i = 0; i < frames; ++i) {
        float v = 0.0f;
        if (phase < clickNs) v = static_cast<float>(clickValue(phase / nsPerFrame, rate));
        left[i] = v;
        right[i] = v;
        phase += nsPerFrame;
        while (phase >= static_cast<double>(kPeriodNs)) phase -= static_cast<double>(kPeriodNs);
    }
}

double delayFrames(int64_t onsetNs, double rate) {
    const int64_t delay = floorMod(onsetNs + kEarlyToleranceNs, kPeriodNs) - kEarlyToleranceNs;
    return delay > 0 ? static_cast<double>(delay) * rate / 1e9 : 0.0;
}

double median(std::vector<double>& values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

}  // namespace clicks

OnsetRing::OnsetRing() {
    for (auto& s : slots_) s.store(0, std::memory_order_relaxed);
}

void OnsetRing::push(int64_t ns) {
    const uint64_t w = written_.load(std::memory_order_relaxed);
    slots_[w % kCapacity].store(ns, std::memory_order_relaxed);
    written_.store(w + 1, std::memory_order_release);
}

void OnsetRing::readSince(uint64_t& cursor, std::vector<int64_t>& out) const {
    const uint64_t end = written_.load(std::memory_order_acquire);
    uint64_t from = cursor;
    if (end > kCapacity && from < end - kCapacity) from = end - kCapacity;
    if (from > end) from = end;
    const size_t first = out.size();
    for (uint64_t i = from; i < end; ++i) out.push_back(slots_[i % kCapacity].load(std::memory_order_relaxed));
    // Slots the writer may have reused while they were read are dropped.
    std::atomic_thread_fence(std::memory_order_acquire);
    const uint64_t now = written_.load(std::memory_order_relaxed);
    if (now > kCapacity && now - kCapacity > from) {
        const uint64_t stale = std::min<uint64_t>(now - kCapacity - from, end - from);
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(first),
                  out.begin() + static_cast<std::ptrdiff_t>(first + stale));
    }
    cursor = end;
}

OnsetDetector::OnsetDetector(double rate)
    : rate_(rate > 0.0 ? rate : 48000.0),
      nsPerFrame_(1e9 / rate_),
      quarter_(std::clamp(static_cast<int>(std::lround(rate_ / (4.0 * clicks::kFrequency))), 1, kHistory - 1)),
      window_(clicks::kClickFrames + 2 * quarter_),
      quietNeeded_(static_cast<int64_t>(std::ceil(clicks::kQuietSeconds * rate_))) {
    // The lag: the earliest onset point behind a click start, over start
    // positions between frames, so a clean click is never placed before its
    // start.
    double lag = -1.0;
    const int span = clicks::kClickFrames + window_ + quarter_ + 2;
    for (int p = 0; p < clicks::kCalibrationPhases; ++p) {
        // Frame n lies n + offset frames after the click's start.
        const double offset = static_cast<double>(p) / clicks::kCalibrationPhases;
        resetState();
        quiet_ = quietNeeded_;
        for (int n = 0; n < span; ++n) {
            const float v = static_cast<float>(clicks::clickValue(n + offset, rate_));
            int64_t at = 0;
            if (step(v, v, 0, (n + offset) * nsPerFrame_, at)) {
                const double frames = static_cast<double>(at) / nsPerFrame_;
                if (lag < 0.0 || frames < lag) lag = frames;
                break;
            }
        }
    }
    lag_ = lag < 0.0 ? 0.0 : lag;
    resetState();
}

void OnsetDetector::resetState() {
    for (auto& channel : history_)
        for (float& s : channel) s = 0.0f;
    at_ = 0;
    quiet_ = 0;
    measured_ = -1;
}

bool OnsetDetector::step(float left, float right, int64_t blockNs, double offsetNs, int64_t& onsetNs) {
    const int earlier = (at_ - quarter_ + kHistory) % kHistory;
    const double l = left;
    const double r = right;
    const double le = history_[0][earlier];
    const double re = history_[1][earlier];
    history_[0][at_] = left;
    history_[1][at_] = right;
    at_ = (at_ + 1) % kHistory;
    double envelope = std::max(l * l + le * le, r * r + re * re);
    // NaN is not loud: it neither starts an onset nor ends the quiet.
    if (!(envelope >= 0.0)) envelope = 0.0;
    envelope = std::sqrt(envelope);

    if (!(envelope > clicks::kThreshold)) {
        if (quiet_ < quietNeeded_) ++quiet_;
    } else {
        if (quiet_ >= quietNeeded_ && measured_ < 0) {
            measured_ = 0;
            windowBase_ = blockNs;
        }
        quiet_ = 0;
    }
    if (measured_ < 0) return false;
    envelope_[measured_] = envelope;
    times_[measured_] = static_cast<double>(blockNs - windowBase_) + offsetNs;
    if (++measured_ < window_) return false;

    // The window is complete: where did the rise reach half its peak?
    measured_ = -1;
    double peak = 0.0;
    for (int k = 0; k < window_; ++k) peak = std::max(peak, envelope_[k]);
    const double level = std::max(kPeakFraction * peak, clicks::kThreshold);
    int k = 0;
    while (k < window_ - 1 && envelope_[k] < level) ++k;
    double at = times_[0];
    if (k > 0) {
        const double rise = envelope_[k] - envelope_[k - 1];
        const double part = rise > 0.0 ? (level - envelope_[k - 1]) / rise : 1.0;
        at = times_[k - 1] + part * (times_[k] - times_[k - 1]);
    }
    onsetNs = windowBase_ + static_cast<int64_t>(std::llround(at));
    return true;
}

void OnsetDetector::process(const float* left, const float* right, int frames, int64_t startNs, OnsetRing& ring) {
    const double lagNs = lag_ * nsPerFrame_;
    for (int i = 0; i < frames; ++i) {
        const float l = left ? left[i] : 0.0f;
        const float r = right ? right[i] : 0.0f;
        int64_t onset = 0;
        if (step(l, r, startNs, i * nsPerFrame_, onset)) ring.push(onset - static_cast<int64_t>(std::llround(lagNs)));
    }
}
