#pragma once
// What the audio streams of a partner session need from the process: the
// block cycle's lock and time info, the host's audio values, the codec
// selector, the audio bitrate and the message log. The SessionController in
// the plug-in, a stand-in in tests.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "vst/VstAbi.h"

// The part of the current cycle's host time info that threads other than
// the audio thread read (the encoder thread stamps its messages with it).
// Written by the cycle leader, read without a lock.
struct CycleTime {
    std::atomic<double> samplePosition{0.0};
    std::atomic<double> sampleRate{0.0};
    std::atomic<int32_t> flags{0};
    // The end of the block last processed (its position plus its frames);
    // between blocks, where the next one starts.
    std::atomic<double> blockEnd{0.0};
};

class MtcGenerator;

class AudioStreamHost {
public:
    virtual ~AudioStreamHost() = default;

    // A line for the message log. Any thread.
    virtual void postMessage(const char* text) = 0;
    // Held by the audio thread for the whole block cycle.
    virtual platform::RecursiveLock& processLock() = 0;
    // The host's time info of the current cycle (an all-zero record when the
    // host gave none). Audio thread, inside the cycle.
    virtual const VstTimeInfo& cycleTimeInfo() const = 0;
    // The same cycle's sample position, rate and flags, for any thread.
    virtual const CycleTime& cycleTime() const = 0;
    // Host sample rate (Hz) and block size (frames) as last set.
    virtual double sampleRate() const = 0;
    virtual int blockSize() const = 0;
    // Codec selector: 34 sends MP3, anything else sends nothing.
    virtual int codec() const = 0;
    // The audio bitrate the user's upstream allows, kbit/s.
    virtual double audioRate() const = 0;
    // The time code generator while an instance is the sync source, else
    // null. Audio thread, inside the cycle.
    virtual MtcGenerator* timeCodeGenerator() { return nullptr; }
};
