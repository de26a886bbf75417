#pragma once
// The click train of `play clicks` and the onset detector behind `latency`.
//
// A click is 64 frames of a 2 kHz sine at amplitude 0.5 under a Hann window,
// starting at every whole 500 ms of the monotonic clock (nowNanoseconds:
// CLOCK_MONOTONIC on Linux, the performance counter on Windows, so every
// process on the machine sees the same click starts). Frame i of an input
// block lies at its capture time, one block period before the host's
// process call, plus i / rate; frame i of an output block at the process
// call plus i / rate. The samples are the click's shape at those times, so a
// click may start between two frames. A measured delay therefore runs from
// capture to the output block's computation: through thru it is one block.
//
// The detector follows an envelope of a stereo signal: per channel the
// sample and the one a quarter period of 2 kHz earlier, squared and summed,
// so the carrier's phase does not matter; the louder channel counts. An onset
// is the envelope rising over 0.05 after at least 250 ms below it. Where a
// click's rise crosses a fixed threshold depends on its level, so the
// onset's time is taken where the envelope first reaches half of the peak
// it has within the click's length after the rise (at least the threshold),
// between frames. That point lies a fixed time after the click's start for
// any level; the time, measured once by running the detector over the click
// itself at several sub-frame positions, is taken off every onset.
//
// Onsets go to an OnsetRing that the audio thread writes and a control
// thread reads without a lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace clicks {

constexpr int64_t kPeriodNs = 500000000;
constexpr int kClickFrames = 64;
constexpr double kFrequency = 2000.0;
constexpr double kAmplitude = 0.5;
constexpr double kThreshold = 0.05;
constexpr double kQuietSeconds = 0.25;
// An onset this little before a whole period counts as an early onset of
// that period's click (a detector error), not as a delay of almost 500 ms.
constexpr int64_t kEarlyToleranceNs = 1000000;

// The click `frames` after its start (fractional); 0 outside the click.
double clickValue(double frames, double rate);

// The train for a block whose frame 0 lies at `startNs`: both channels get
// the same samples.
void fillClicks(int64_t startNs, double rate, float* left, float* right, int frames);

// The delay of an onset at `onsetNs` behind the latest whole period at or
// before it, in frames at `rate`; an early onset has no delay.
double delayFrames(int64_t onsetNs, double rate);

// Median of `values` (sorted in place); 0 for none.
double median(std::vector<double>& values);

}  // namespace clicks

// Onset times in nanoseconds, single writer (the audio thread) and single
// reader. The latest kCapacity are kept; older ones are overwritten.
class OnsetRing {
public:
    static constexpr size_t kCapacity = 1024;

    OnsetRing();
    void push(int64_t ns);
    // Appends the onsets pushed since `cursor` (at most the latest
    // kCapacity) to `out` and moves `cursor` past them.
    void readSince(uint64_t& cursor, std::vector<int64_t>& out) const;
    uint64_t pushed() const { return written_.load(std::memory_order_acquire); }

private:
    std::atomic<int64_t> slots_[kCapacity];
    std::atomic<uint64_t> written_{0};
};

class OnsetDetector {
public:
    static constexpr int kHistory = 128;  // more than a quarter period at 768 kHz
    static constexpr int kMaxWindow = clicks::kClickFrames + 2 * kHistory;
    static constexpr double kPeakFraction = 0.5;

    explicit OnsetDetector(double rate);

    // Audio thread: one block of a signal whose frame 0 lies at `startNs`;
    // each onset's corrected time is pushed to `ring` once the click's
    // length has passed. Either channel may be null (taken as silence).
    void process(const float* left, const float* right, int frames, int64_t startNs, OnsetRing& ring);

    // How far the onset point lies behind the click's start, in frames.
    double lagFrames() const { return lag_; }
    int quarterPeriod() const { return quarter_; }
    int window() const { return window_; }

private:
    // One frame, `offsetNs` after `blockNs`; true with the onset's
    // uncorrected time when the window of an onset is complete.
    bool step(float left, float right, int64_t blockNs, double offsetNs, int64_t& onsetNs);
    void resetState();

    double rate_;
    double nsPerFrame_;
    int quarter_;
    int window_;
    int64_t quietNeeded_;
    double lag_ = 0.0;
    float history_[2][kHistory] = {};
    int at_ = 0;
    int64_t quiet_ = 0;
    // The window after a rise: its envelope and frame times, counted from
    // the start of the block it began in.
    double envelope_[kMaxWindow] = {};
    double times_[kMaxWindow] = {};
    int64_t windowBase_ = 0;
    int measured_ = -1;  // frames of the window so far; -1 outside one
};
