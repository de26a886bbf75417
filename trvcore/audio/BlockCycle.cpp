#include "trvcore/audio/BlockCycle.h"

#include "trvcore/session/InstanceRegistry.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/midi/MidiReceiver.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/audio/ProcessInstance.h"
#include "trvcore/sync/MtcGenerator.h"

void BlockCycle::begin(ProcessInstance* instance, int frames) {
    processLock_.lock();
    const VstTimeInfo* t = instance ? instance->hostTimeInfo(kTimeInfoFilter) : nullptr;
    if (!t) {
        if (!noTimeInfoPosted_) {
            noTimeInfoPosted_ = true;
            log_.post(kNoTimeInfoText);
        }
        currentTimeInfo_ = &defaultTimeInfo_;
        return;
    }
    blockEndPosition_ = t->samplePos + frames;
    cycleTime_.blockEnd.store(blockEndPosition_, std::memory_order_relaxed);
    if (remaining_ != 0) return;  // another instance opened this cycle
    leader_ = instance;
    remaining_ = instances_.registeredCountLocked();
    cycleFrames_ = frames;
    currentTimeInfo_ = t;
    snapshot_ = *t;
    cycleTime_.samplePosition.store(t->samplePos, std::memory_order_relaxed);
    cycleTime_.sampleRate.store(t->sampleRate, std::memory_order_relaxed);
    cycleTime_.flags.store(t->flags, std::memory_order_relaxed);
    timeCode_.setFrameRate(t->smpteFrameRate);
    for (int i = 0; i < sessions_.countLocked(); ++i) {
        PartnerSession& s = sessions_.atLocked(i);
        s.receiveStream().beginBlock(frames);
        s.sendStream().beginBlock(frames);
        s.midiReceiver().beginBlock(t, frames);
    }
}

void BlockCycle::end(ProcessInstance* instance) {
    // Never below 0: a call without time info opened nothing to count.
    if (remaining_ > 0) --remaining_;
    if (remaining_ > 0 || cycleFrames_ <= 0) {
        processLock_.unlock();
        return;
    }
    remaining_ = 0;
    ProcessInstance* host = leader_ ? leader_ : instance;
    for (int i = 0; i < sessions_.countLocked(); ++i) {
        PartnerSession& s = sessions_.atLocked(i);
        s.receiveStream().endBlock();
        s.sendStream().endBlock();
        MidiReceiver& midi = s.midiReceiver();
        if (midi.hasEvents() && host) host->sendEventsToHost(midi.events());
        midi.clear();
    }
    // The time code, after the cycle's MIDI, through the sync source.
    ProcessInstance* source = instances_.syncSource();
    if (timeCode_.running() && source) {
        uint8_t bytes[kTimeCodeEvents];
        const int n = timeCode_.generate(bytes, cycleFrames_, kTimeCodeEvents);
        if (n > 0) {
            timeCodeEvents_.clear();
            for (int k = 0; k < n; ++k) timeCodeEvents_.append(0xF1, bytes[k], 0, 0);
            source->sendEventsToHost(timeCodeEvents_.events());
        }
    }
    leader_ = nullptr;
    processLock_.unlock();
}

void BlockCycle::copyTimeInfo(VstTimeInfo& out) const {
    platform::ScopedLock guard(processLock_);
    out = snapshot_;
}

AlertChime* BlockCycle::alertChime() {
    return chime_.playing() && remaining_ == instances_.registeredCountLocked() ? &chime_ : nullptr;
}

ProcessInstance* BlockCycle::leader() const {
    platform::ScopedLock guard(processLock_);
    return leader_;
}

void BlockCycle::forgetLeader(const ProcessInstance* instance) {
    platform::ScopedLock guard(processLock_);
    if (leader_ == instance) leader_ = nullptr;
}

void BlockCycle::dropSessions() {
    while (PartnerSession* s = sessions_.takeLast()) s->release();
}
