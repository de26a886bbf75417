#pragma once
// The host's simulated song transport: a position in samples that moves
// while playing, a fixed tempo, a 4/4 bar, an optional loop (cycle) in
// quarter notes and the SMPTE frame-rate code the host reports. Not
// synchronised; the host guards it.
//
// The loop wraps at block boundaries only: a block that starts before the
// loop end and would end at or beyond it is followed by one that starts at
// the loop start plus the overshoot. A block never straddles the wrap in
// the answers (its sample position is its start), and a block that starts
// at or after the loop end (located there) plays on.
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

    // The loop in quarter notes; refused (false) unless 0 <= start < end.
    bool setLoop(double startQuarters, double endQuarters);
    void clearLoop() { loop_ = false; }
    bool loopActive() const { return loop_; }
    double loopStart() const { return loopStart_; }
    double loopEnd() const { return loopEnd_; }
    // The loop's ends in samples at the current tempo and rate (truncated).
    int64_t loopStartSamples() const { return quartersToSamples(loopStart_); }
    int64_t loopEndSamples() const { return quartersToSamples(loopEnd_); }
    int64_t quartersToSamples(double quarters) const;

    void setSmpteFrameRate(VstInt32 code) { smpteFrameRate_ = code; }
    VstInt32 smpteFrameRate() const { return smpteFrameRate_; }
    double sampleRate() const { return sampleRate_; }

    // Takes everything but the play state last answered from `other`.
    void follow(const Transport& other);

    // After a block of `frames`: the position moves on while playing and
    // wraps at the loop end.
    void advance(int32_t frames);

    // Answers a time request the way Ardour does: sample position, rate and
    // nanoseconds always, tempo, musical position, bar and time signature
    // only when `requestMask` asks for them; with a loop
    // kVstTransportCycleActive always and the cycle's ends when asked for;
    // the SMPTE frame-rate code always (kVstSmpteValid, offset 0). Fields not
    // marked valid hold junk (all bits set), as some hosts leave them.
    // kVstTransportChanged is set when the play state differs from the
    // previous answer.
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
    bool loop_ = false;
    double loopStart_ = 0.0;
    double loopEnd_ = 0.0;
    VstInt32 smpteFrameRate_ = 0;
};
