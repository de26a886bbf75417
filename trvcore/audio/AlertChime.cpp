#include "trvcore/audio/AlertChime.h"

#include <cstring>

namespace {

struct Note {
    double frequency;
    double seconds;
};

constexpr Note kNoteTable[AlertChime::kNotes] = {
    {261.6256, 0.12}, {329.6276, 0.12}, {391.9955, 0.12}, {523.2511, 0.24}, {523.2511, 0.12}, {440.0, 0.75},
};

}  // namespace

void AlertChime::start() { restart_.store(true, std::memory_order_release); }

void AlertChime::beginNote(double sampleRate) {
    const Note& n = kNoteTable[noteIndex_.load(std::memory_order_relaxed)];
    const double step = n.frequency / sampleRate;
    increment_[0] = step;
    increment_[1] = step + 0.000025;
    increment_[2] = 3.0 * step - 0.00001;
    decay_ = 1.0 / (sampleRate * n.seconds);
    noteRate_ = sampleRate;
}

void AlertChime::render(float* out, int frames, double sampleRate) {
    if (!out || frames <= 0) return;
    if (!(sampleRate > 0.0)) sampleRate = 48000.0;
    if (restart_.exchange(false, std::memory_order_acq_rel)) {
        noteIndex_.store(0, std::memory_order_relaxed);
        amplitude_ = 1.0;
        phase_[0] = phase_[1] = phase_[2] = 0.0;
        filterCoeff_ = 0.5;
        filterState_ = 0.0;
        beginNote(sampleRate);
    }
    int index = noteIndex_.load(std::memory_order_relaxed);
    if (index >= kNotes) {
        std::memset(out, 0, sizeof(float) * static_cast<size_t>(frames));
        return;
    }
    if (noteRate_ != sampleRate) beginNote(sampleRate);
    for (int i = 0; i < frames; ++i) {
        const double y = 0.15 * amplitude_ * ((phase_[0] - 0.5) + (phase_[1] - 0.5) + (phase_[2] - 0.5)) +
                         filterCoeff_ * filterState_;
        filterState_ = y;
        filterCoeff_ += decay_ / 2.0;
        out[i] = static_cast<float>(0.5 * y);
        for (int k = 0; k < 3; ++k) {
            phase_[k] += increment_[k];
            if (phase_[k] >= 1.0) phase_[k] -= 1.0;
        }
        amplitude_ -= decay_;
        if (amplitude_ > 0.0) continue;
        ++index;
        noteIndex_.store(index, std::memory_order_relaxed);
        amplitude_ = 1.0;
        phase_[0] = phase_[1] = phase_[2] = 0.0;
        filterState_ = 0.0;
        if (index >= kNotes) {
            std::memset(out + i + 1, 0, sizeof(float) * static_cast<size_t>(frames - i - 1));
            return;
        }
        filterCoeff_ = 0.5;
        beginNote(sampleRate);
    }
}
