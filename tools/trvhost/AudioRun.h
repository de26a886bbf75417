#pragma once
// Runs the instances' processReplacing block by block on a dedicated audio
// thread, paced in real time or as fast as it goes, while the starting
// thread is free to wait or to take commands.
//
// Every host block the audio thread stamps the block with the monotonic
// clock, fixes the block's transport (TestHost::beginBlock), fills each
// instance's input, calls processReplacing on instance 1, 2, ... N in that
// order (as a host running N tracks in one block), each preceded by
// effProcessEvents when the host has events for it (instance 1: the
// --midi-in events of the block, in a block of events made beforehand), and
// then takes their outputs: peaks, the run's output file (instance 1),
// recordings and the click onset detectors (one on the monotonic clock, one
// on the song position).
//
// Each instance's input comes from a play source (silence, samples from
// memory, or the click train). Commands change sources and recordings
// through a hand-off per instance: the command side posts the change under a
// small lock, the audio thread takes it at the start of its next block with
// a try-lock (never waiting), and the command side waits until it has. Every
// source and recording is owned by the command side and freed only after
// the audio thread let go of it, so the audio thread neither allocates nor
// frees. A housekeeping thread keeps memory ready ahead of the recordings.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/Thread.h"
#include "tools/trvhost/ClickTrain.h"
#include "tools/trvhost/MidiInput.h"
#include "tools/trvhost/RecordBuffer.h"
#include "trvcore/midi/MidiEventBlock.h"
#include "vst/VstAbi.h"

class TestHost;

struct AudioRunConfig {
    int64_t totalFrames = 0;
    int32_t blockSize = 256;
    int32_t sampleRate = 48000;
    bool paced = true;
};

struct InstanceStats {
    uint64_t nonFiniteSamples = 0;  // NaN or infinity in the stereo output
    float peak[2] = {0.0f, 0.0f};
};

struct AudioRunStats {
    uint64_t blocks = 0;
    uint64_t frames = 0;
    uint64_t lateBlocks = 0;  // paced runs: blocks that started a period or more late
    // --midi-in events handed to instance 1, and those that did not fit
    // their block.
    uint64_t midiInSent = 0;
    uint64_t midiInDropped = 0;
    // Instance 1's output (the run's file).
    uint64_t nonFiniteSamples = 0;
    float peak[2] = {0.0f, 0.0f};
    std::vector<InstanceStats> instances;
};

// What an instance hears.
struct PlaySource {
    // SongClicks: the click train on the song position, while the transport
    // plays: a click starts at every frame whose song position (the block's
    // plus the frame's index) is a whole half second.
    enum class Kind { Silence, Samples, Clicks, SongClicks };
    Kind kind = Kind::Silence;
    // Samples: interleaved stereo, `frames` of them at `data` (which points
    // into `samples` or into memory the creator keeps); silence follows.
    std::vector<float> samples;
    const float* data = nullptr;
    size_t frames = 0;
    size_t position = 0;  // audio thread
    int sinceClick = clicks::kClickFrames;  // SongClicks, audio thread: frames into the click

    static std::unique_ptr<PlaySource> silence();
    static std::unique_ptr<PlaySource> clicks();
    static std::unique_ptr<PlaySource> songClicks();
    static std::unique_ptr<PlaySource> fromSamples(std::vector<float> stereo);
};

class AudioRun {
public:
    static constexpr uint32_t kHandOverTimeoutMs = 3000;

    // `effects`: the instances, in processing order (at least one).
    // `input`: instance 1's interleaved stereo input at the start (may be
    // shorter than the run or null: silence follows); the caller keeps it.
    // `output`: resized to the run's stereo frames by prepare() and filled
    // with instance 1's output, or null to discard.
    // `midiIn`: events for instance 1 sorted by song position (MidiInput.h),
    // or null; the caller keeps them.
    AudioRun(std::vector<AEffect*> effects, TestHost& host, const AudioRunConfig& config,
             const std::vector<float>* input, std::vector<float>* output,
             const std::vector<MidiInEvent>* midiIn = nullptr);
    ~AudioRun();  // waits for the threads
    AudioRun(const AudioRun&) = delete;
    AudioRun& operator=(const AudioRun&) = delete;

    // Allocates the channel buffers, detectors and the output; false when
    // memory runs out.
    bool prepare();
    bool start();
    // Asks the audio thread to stop after the block in progress.
    void requestStop() { stopRequested_.store(true, std::memory_order_release); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits at most `ms` for the run to end; true when it has.
    bool waitFinished(uint32_t ms);
    // Valid once finished.
    const AudioRunStats& stats() const { return stats_; }

    int instanceCount() const { return static_cast<int>(lanes_.size()); }
    const AudioRunConfig& config() const { return config_; }
    // Frames processed so far (any thread).
    int64_t framesDone() const { return framesDone_.load(std::memory_order_relaxed); }

    // Command side (one thread at a time); `instance` counts from 0. Each
    // waits until the audio thread has taken the change at the start of a
    // block, or the run is over; false with a reason when it did not within
    // kHandOverTimeoutMs (the change then still happens when the thread gets
    // to it).
    bool setSource(int instance, std::unique_ptr<PlaySource> source, std::string& error);
    // Starts keeping the instance's output in `recording`; one that was
    // running before is handed back in `previous` (the audio thread let go
    // of it), else null.
    bool startRecording(int instance, std::unique_ptr<RecordBuffer> recording,
                        std::unique_ptr<RecordBuffer>& previous, std::string& error);
    // Stops the recording and hands it back (null when none was running).
    bool stopRecording(int instance, std::unique_ptr<RecordBuffer>& stopped, std::string& error);
    bool recording(int instance);
    // Appends the click onsets detected in the instance's output since the
    // previous call (nanoseconds of the monotonic clock).
    void takeOnsets(int instance, std::vector<int64_t>& out);
    // The same on the song position: the onsets' positions in nanoseconds
    // of song time (frames * 1e9 / rate) since the previous call.
    void takeSongOnsets(int instance, std::vector<int64_t>& out);
    // Once finished: the recordings still running, by instance.
    std::vector<std::pair<int, std::unique_ptr<RecordBuffer>>> takeRecordings();

    // Memory kept ready ahead of a recording's write position.
    uint64_t recordAheadFrames() const;

private:
    struct Lane;
    struct Change {
        bool setSource = false;
        PlaySource* source = nullptr;
        bool setRecording = false;
        RecordBuffer* recording = nullptr;
    };

    static void entry(void* self);
    void run();
    void processBlock(int64_t firstFrame, int32_t frames);
    void takeChanges(Lane& lane);
    void fillInput(Lane& lane, int32_t frames, int64_t startNs, int64_t song, bool playing);
    void fillSongClicks(PlaySource& s, float* left, float* right, int32_t frames, int64_t song, bool playing);
    // Instance 1's --midi-in events of the block, or null for none.
    VstEvents* midiInEvents(int64_t song, int32_t frames);
    void takeOutput(Lane& lane, size_t index, int64_t firstFrame, int32_t frames, int64_t startNs, int64_t song);
    bool handOver(Lane& lane, const Change& change, std::string& error);
    void keepRecordingsFed();

    std::vector<AEffect*> effects_;
    TestHost& host_;
    const AudioRunConfig config_;
    const std::vector<float>* input_;
    std::vector<float>* output_;
    const std::vector<MidiInEvent>* midiIn_;
    std::unique_ptr<MidiEventBlock> midiInBlock_;
    std::vector<std::unique_ptr<Lane>> lanes_;
    AudioRunStats stats_;
    platform::Thread thread_;
    std::unique_ptr<platform::AutoResetEvent> done_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int64_t> framesDone_{0};

    // Serialises the command side and the housekeeping thread.
    std::mutex controlLock_;
    std::thread housekeeper_;
    std::atomic<bool> housekeeperStop_{false};
};
