#pragma once
// Runs the plug-in's processReplacing block by block on a dedicated audio
// thread, paced in real time or as fast as it goes, while the starting
// thread is free to wait (or, later, to take commands).
//
// Audio in and out live in memory prepared before start(): the audio thread
// neither allocates nor touches files.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Event.h"
#include "platform/Thread.h"
#include "vst/VstAbi.h"

class TestHost;

struct AudioRunConfig {
    int64_t totalFrames = 0;
    int32_t blockSize = 256;
    int32_t sampleRate = 48000;
    bool paced = true;
};

struct AudioRunStats {
    uint64_t blocks = 0;
    uint64_t frames = 0;
    uint64_t lateBlocks = 0;       // paced runs: blocks that started a period or more late
    uint64_t nonFiniteSamples = 0;  // NaN or infinity in the stereo output
    float peak[2] = {0.0f, 0.0f};
};

class AudioRun {
public:
    // `input`: interleaved stereo frames (may be shorter than the run or
    // null: silence follows). `output`: resized to the run's stereo frames
    // by prepare(), or null to discard.
    AudioRun(AEffect* effect, TestHost& host, const AudioRunConfig& config, const std::vector<float>* input,
             std::vector<float>* output);
    ~AudioRun();  // waits for the thread
    AudioRun(const AudioRun&) = delete;
    AudioRun& operator=(const AudioRun&) = delete;

    // Allocates the channel buffers and the output; false when memory runs out.
    bool prepare();
    bool start();
    // Asks the audio thread to stop after the block in progress.
    void requestStop() { stopRequested_.store(true, std::memory_order_release); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits at most `ms` for the run to end; true when it has.
    bool waitFinished(uint32_t ms);
    // Valid once finished.
    const AudioRunStats& stats() const { return stats_; }

private:
    static void entry(void* self);
    void run();
    void processBlock(int64_t firstFrame, int32_t frames);

    AEffect* effect_;
    TestHost& host_;
    const AudioRunConfig config_;
    const std::vector<float>* input_;
    std::vector<float>* output_;
    int32_t inChannels_ = 0;
    int32_t outChannels_ = 0;
    std::vector<std::vector<float>> inBuffers_;
    std::vector<std::vector<float>> outBuffers_;
    std::vector<float*> inPointers_;
    std::vector<float*> outPointers_;
    AudioRunStats stats_;
    platform::Thread thread_;
    std::unique_ptr<platform::AutoResetEvent> done_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> finished_{false};
};
