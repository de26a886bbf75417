#pragma once
// The host's simulated song transport: a position in samples that moves
// while playing, a fixed tempo and a 4/4 bar. Not synchronised; the host
// guards it.
#include <cstdint>

#include "vst/VstAbi.h"

class Transport {
public:
    Transport(double sampleRate, double tempo);

    void setPlaying(bool playing) { playing_ = playing; }
    bool playing() const { return playing_; }
    void setTempo(double bpm);
    double tempo() const { return tempo_; }
    void setSampleRate(double rate);
    void locate(int64_t samplePosition) { position_ = samplePosition < 0 ? 0 : samplePosition; }
    int64_t samplePosition() const { return position_; }
    // Quarter notes from the song start at the current position.
    double ppqPosition() const;

    // After a block of `frames`: the position moves on while playing.
    void advance(int32_t frames);

    // Answers a time request the way Ardour does: sample position, rate and
    // nanoseconds always, tempo, musical position, bar and time signature
    // only when `requestMask` asks for them. Fields not marked valid hold
    // junk (all bits set), as some hosts leave them. kVstTransportChanged is
    // set when the play state differs from the previous answer.
    void fill(VstTimeInfo& info, VstIntPtr requestMask, double nanoSeconds);
    // Takes the play state as answered without an answer (the end of a
    // block whose answers were filled from copies).
    void markReported() { reportedPlaying_ = playing_; }

    static constexpr int32_t kBeatsPerBar = 4;
    static constexpr int32_t kBeatUnit = 4;

private:
    double sampleRate_;
    double tempo_;
    int64_t position_ = 0;
    bool playing_ = false;
    bool reportedPlaying_ = false;
};
