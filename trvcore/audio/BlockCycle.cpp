#include "trvcore/audio/BlockCycle.h"

#include "trvcore/session/InstanceRegistry.h"
#include "trvcore/session/MessageLog.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/audio/ProcessInstance.h"

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
    if (remaining_ != 0) return;  // another instance opened this cycle
    leader_ = instance;
    remaining_ = instances_.registeredCountLocked();
    cycleFrames_ = frames;
    currentTimeInfo_ = t;
    cycleTime_.samplePosition.store(t->samplePos, std::memory_order_relaxed);
    cycleTime_.sampleRate.store(t->sampleRate, std::memory_order_relaxed);
    cycleTime_.flags.store(t->flags, std::memory_order_relaxed);
    for (int i = 0; i < sessions_.countLocked(); ++i) {
        sessions_.atLocked(i).receiveStream().beginBlock(frames);
        sessions_.atLocked(i).sendStream().beginBlock(frames);
    }
}

void BlockCycle::end(ProcessInstance* /*instance*/) {
    // Never below 0: a call without time info opened nothing to count.
    if (remaining_ > 0) --remaining_;
    if (remaining_ > 0 || cycleFrames_ <= 0) {
        processLock_.unlock();
        return;
    }
    remaining_ = 0;
    for (int i = 0; i < sessions_.countLocked(); ++i) {
        sessions_.atLocked(i).receiveStream().endBlock();
        sessions_.atLocked(i).sendStream().endBlock();
    }
    leader_ = nullptr;
    processLock_.unlock();
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
