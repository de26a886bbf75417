#pragma once
// The process side for a stream or receiver under test: a 48 kHz host with
// MP3 at 64 kbit/s whose transport stands (time info all zero), with the
// block size given.
#include <cstring>

#include "platform/Lock.h"
#include "trvcore/audio/AudioStreamHost.h"

class StandingStreamHost : public AudioStreamHost {
public:
    explicit StandingStreamHost(int blockSize) : blockSize_(blockSize) { std::memset(&info_, 0, sizeof info_); }
    void postMessage(const char*) override {}
    platform::RecursiveLock& processLock() override { return lock_; }
    const VstTimeInfo& cycleTimeInfo() const override { return info_; }
    const CycleTime& cycleTime() const override { return cycle_; }
    double sampleRate() const override { return 48000.0; }
    int blockSize() const override { return blockSize_; }
    int codec() const override { return 34; }
    double audioRate() const override { return 64.0; }

private:
    const int blockSize_;
    platform::RecursiveLock lock_;
    VstTimeInfo info_;
    CycleTime cycle_;
};
