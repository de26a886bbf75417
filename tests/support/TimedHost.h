#pragma once
// A host like FakeHost that also answers audioMasterGetTime with a time
// info record the test sets (or with none, as some hosts do). One host
// object at a time (the callback is global).
#include <cstring>
#include <vector>

#include "trvcore/PluginFactory.h"
#include "vst/VstAbi.h"

class TimedHost {
public:
    TimedHost() {
        std::memset(&time, 0, sizeof time);
        time.sampleRate = 48000.0;
        time.tempo = 120.0;
        time.timeSigNumerator = 4;
        time.timeSigDenominator = 4;
        time.flags = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
        current() = this;
    }
    ~TimedHost() {
        while (!effects_.empty()) close(effects_.back());
        current() = nullptr;
    }

    int version = 2400;
    int inputLatency = 0;
    int outputLatency = 0;
    // False: audioMasterGetTime returns 0.
    bool giveTime = true;
    VstTimeInfo time;
    int timeCalls = 0;
    VstIntPtr lastTimeFilter = 0;

    AEffect* create() {
        AEffect* e = createLinkPluginEffect(&TimedHost::callback);
        if (e) effects_.push_back(e);
        return e;
    }
    void close(AEffect* e) {
        for (size_t i = 0; i < effects_.size(); ++i)
            if (effects_[i] == e) effects_.erase(effects_.begin() + static_cast<long>(i));
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
    static VstIntPtr call(AEffect* e, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                          void* ptr = nullptr, float opt = 0.0f) {
        return e->dispatcher(e, op, index, value, ptr, opt);
    }
    static void start(AEffect* e, float rate = 48000.0f, int block = 256) {
        call(e, effOpen);
        call(e, effSetSampleRate, 0, 0, nullptr, rate);
        call(e, effSetBlockSize, 0, block);
        call(e, effMainsChanged, 0, 1);
    }
    // Moves the transport on by one block while it plays.
    void advance(int frames) {
        if (time.flags & kVstTransportPlaying) time.samplePos += frames;
    }

private:
    static TimedHost*& current() {
        static TimedHost* host = nullptr;
        return host;
    }
    static VstIntPtr callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr value, void*, float) {
        TimedHost* h = current();
        if (!h) return 0;
        switch (opcode) {
            case audioMasterVersion: return h->version;
            case audioMasterWantMidi: return 1;
            case audioMasterGetInputLatency: return h->inputLatency;
            case audioMasterGetOutputLatency: return h->outputLatency;
            case audioMasterGetTime:
                ++h->timeCalls;
                h->lastTimeFilter = value;
                return h->giveTime ? reinterpret_cast<VstIntPtr>(&h->time) : 0;
            default: return 0;
        }
    }
    std::vector<AEffect*> effects_;
};
