#pragma once
// The six-note chime that rings in the cycle leader's output while an
// invitation arrives (about 1.47 s). start() from any thread; render on
// the audio thread.
#include <atomic>

class AlertChime {
public:
    static constexpr int kNotes = 6;

    void start();
    bool playing() const {
        return restart_.load(std::memory_order_acquire) || noteIndex_.load(std::memory_order_relaxed) < kNotes;
    }
    // Writes the next `frames` samples into out; zeros once finished.
    void render(float* out, int frames, double sampleRate);
    int noteIndex() const { return noteIndex_.load(std::memory_order_relaxed); }

private:
    void beginNote(double sampleRate);

    double phase_[3] = {0.0, 0.0, 0.0};
    double amplitude_ = 0.0;
    double filterState_ = 0.0;
    double filterCoeff_ = 0.0;
    double increment_[3] = {0.0, 0.0, 0.0};
    double decay_ = 0.0;
    double noteRate_ = 0.0;  // sample rate the increments were computed for
    std::atomic<int> noteIndex_{kNotes};
    // Set by start(), taken by the audio thread, which then restarts the
    // notes itself (so the two threads never write the oscillators at once).
    std::atomic<bool> restart_{false};
};
