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

bool Transport::setLoop(double startQuarters, double endQuarters) {
    if (!std::isfinite(startQuarters) || !std::isfinite(endQuarters) || startQuarters < 0.0 ||
        endQuarters <= startQuarters)
        return false;
    loop_ = true;
    loopStart_ = startQuarters;
    loopEnd_ = endQuarters;
    return true;
}

int64_t Transport::quartersToSamples(double quarters) const {
    // The same product, in the same order, as a plug-in computes it from
    // the time info.
    return static_cast<int64_t>(60.0 / tempo_ * sampleRate_ * quarters);
}

void Transport::follow(const Transport& other) {
    const bool reported = reportedPlaying_;
    *this = other;
    reportedPlaying_ = reported;
}

void Transport::advance(int32_t frames) {
    if (!playing_ || frames <= 0) return;
    const int64_t start = position_;
    position_ += frames;
    if (!loop_) return;
    const int64_t loopStart = loopStartSamples();
    const int64_t loopEnd = loopEndSamples();
    if (loopEnd <= loopStart || start >= loopEnd || position_ < loopEnd) return;
    // The overshoot, within one loop length should the block be longer.
    position_ = loopStart + (position_ - loopEnd) % (loopEnd - loopStart);
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
    if (loop_) {
        flags |= kVstTransportCycleActive;
        if (requestMask & kVstCyclePosValid) {
            info.cycleStartPos = loopStart_;
            info.cycleEndPos = loopEnd_;
            flags |= kVstCyclePosValid;
        }
    }
    info.smpteOffset = 0;
    info.smpteFrameRate = smpteFrameRate_;
    flags |= kVstSmpteValid;
    if (requestMask & kVstTimeSigValid) {
        info.timeSigNumerator = kBeatsPerBar;
        info.timeSigDenominator = kBeatUnit;
        flags |= kVstTimeSigValid;
    }
    info.flags = flags;
}
