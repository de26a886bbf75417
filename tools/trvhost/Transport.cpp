#include "tools/trvhost/Transport.h"

#include <cmath>
#include <cstring>

Transport::Transport(double sampleRate, double tempo) : sampleRate_(sampleRate), tempo_(tempo) {
    setSampleRate(sampleRate);
    setTempo(tempo);
}

void Transport::setTempo(double bpm) { tempo_ = (std::isfinite(bpm) && bpm > 0.0) ? bpm : 120.0; }

void Transport::setSampleRate(double rate) {
    sampleRate_ = (std::isfinite(rate) && rate > 0.0) ? rate : 48000.0;
}

double Transport::ppqPosition() const {
    return static_cast<double>(position_) / sampleRate_ * tempo_ / 60.0;
}

void Transport::advance(int32_t frames) {
    if (playing_ && frames > 0) position_ += frames;
}

void Transport::fill(VstTimeInfo& info, VstIntPtr requestMask, double nanoSeconds) {
    std::memset(&info, 0xff, sizeof(info));
    info.samplePos = static_cast<double>(position_);
    info.sampleRate = sampleRate_;
    info.nanoSeconds = nanoSeconds;
    VstInt32 flags = kVstNanosValid;
    if (playing_) flags |= kVstTransportPlaying;
    if (playing_ != reportedPlaying_) flags |= kVstTransportChanged;
    reportedPlaying_ = playing_;

    const double ppq = ppqPosition();
    if (requestMask & kVstPpqPosValid) {
        info.ppqPos = ppq;
        flags |= kVstPpqPosValid;
    }
    if (requestMask & kVstTempoValid) {
        info.tempo = tempo_;
        flags |= kVstTempoValid;
    }
    if (requestMask & kVstBarsValid) {
        const double quartersPerBar = static_cast<double>(kBeatsPerBar) * 4.0 / kBeatUnit;
        info.barStartPos = std::floor(ppq / quartersPerBar) * quartersPerBar;
        flags |= kVstBarsValid;
    }
    if (requestMask & kVstTimeSigValid) {
        info.timeSigNumerator = kBeatsPerBar;
        info.timeSigDenominator = kBeatUnit;
        flags |= kVstTimeSigValid;
    }
    info.flags = flags;
}
