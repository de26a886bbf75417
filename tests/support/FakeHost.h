#pragma once
// A minimal host for driving the plug-in through its AEffect record, as a
// real host does. It answers time requests with a record the test sets, or,
// unless giveTime is set, with none (as some hosts do). One host object at
// a time (the callback is global).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "trvcore/plugin/PluginFactory.h"
#include "vst/VstAbi.h"

class FakeHost {
public:
    FakeHost() {
        std::memset(&time, 0, sizeof time);
        time.sampleRate = 48000.0;
        time.tempo = 120.0;
        time.timeSigNumerator = 4;
        time.timeSigDenominator = 4;
        time.flags = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
        current() = this;
    }
    virtual ~FakeHost() {
        while (!effects_.empty()) close(effects_.back());
        current() = nullptr;
    }

    int version = 2400;
    int inputLatency = 0;
    int outputLatency = 0;
    int wantMidiCalls = 0;
    bool giveTime = false;
    VstTimeInfo time;
    int timeCalls = 0;
    VstIntPtr lastTimeFilter = 0;
    // What the host's file selector hands back; empty: the host has none.
    std::string chosenFile;

    AEffect* create() {
        AEffect* e = createLinkPluginEffect(&FakeHost::callback);
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
    static std::string text(AEffect* e, VstInt32 op, VstInt32 index = 0) {
        char buf[256];
        std::memset(buf, 0, sizeof buf);
        call(e, op, index, 0, buf);
        return buf;
    }
    static VstInt32 canDo(AEffect* e, const char* what) {
        return static_cast<VstInt32>(call(e, effCanDo, 0, 0, const_cast<char*>(what)));
    }
    static std::vector<uint8_t> chunk(AEffect* e) {
        void* data = nullptr;
        const VstIntPtr n = call(e, effGetChunk, 0, 0, &data);
        if (n <= 0 || !data) return {};
        const auto* b = static_cast<const uint8_t*>(data);
        return std::vector<uint8_t>(b, b + n);
    }
    static VstIntPtr setChunk(AEffect* e, std::vector<uint8_t> bytes, bool preset = false) {
        return call(e, effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
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
    static FakeHost*& current() {
        static FakeHost* host = nullptr;
        return host;
    }
    static VstIntPtr callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr, float) {
        FakeHost* h = current();
        if (!h) return 0;
        switch (opcode) {
            case audioMasterVersion: return h->version;
            case audioMasterWantMidi: ++h->wantMidiCalls; return 1;
            case audioMasterGetInputLatency: return h->inputLatency;
            case audioMasterGetOutputLatency: return h->outputLatency;
            case audioMasterGetTime:
                ++h->timeCalls;
                h->lastTimeFilter = value;
                return h->giveTime ? reinterpret_cast<VstIntPtr>(&h->time) : 0;
            case audioMasterOpenFileSelector: {
                auto* select = static_cast<VstFileSelect*>(ptr);
                if (h->chosenFile.empty() || !select || !select->returnPath || select->sizeReturnPath <= 0) return 0;
                std::snprintf(select->returnPath, static_cast<size_t>(select->sizeReturnPath), "%s",
                              h->chosenFile.c_str());
                return 1;
            }
            case audioMasterCloseFileSelector: return 1;
            default: return 0;
        }
    }
    std::vector<AEffect*> effects_;
};
