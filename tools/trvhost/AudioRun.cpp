#include "tools/trvhost/AudioRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <system_error>

#include "platform/Clock.h"
#include "tools/trvhost/HostCallback.h"
#include "platform/NanoClock.h"

namespace {
constexpr int32_t kMaxChannels = 64;
// Events of --midi-in handed over in one block at most.
constexpr int kMaxMidiInPerBlock = 8192;
constexpr uint32_t kJoinTimeoutMs = 10000;
constexpr uint32_t kHandOverPollMs = 1;
constexpr uint32_t kHousekeepingMs = 20;
// Memory kept ready ahead of a recording, in seconds of audio; unpaced runs
// go many times faster than real time, so they get more.
constexpr uint64_t kPacedAheadSeconds = 4;
constexpr uint64_t kFastAheadFactor = 16;

int32_t channelCount(VstInt32 n) {
    if (n < 0) return 0;
    return n > kMaxChannels ? kMaxChannels : n;
}

int64_t monotonicNow() { return static_cast<int64_t>(nowNanoseconds()); }
}  // namespace

std::unique_ptr<PlaySource> PlaySource::silence() { return std::unique_ptr<PlaySource>(new PlaySource()); }

std::unique_ptr<PlaySource> PlaySource::clicks() {
    std::unique_ptr<PlaySource> s(new PlaySource());
    s->kind = Kind::Clicks;
    return s;
}

std::unique_ptr<PlaySource> PlaySource::songClicks() {
    std::unique_ptr<PlaySource> s(new PlaySource());
    s->kind = Kind::SongClicks;
    return s;
}

std::unique_ptr<PlaySource> PlaySource::fromSamples(std::vector<float> stereo) {
    std::unique_ptr<PlaySource> s(new PlaySource());
    s->kind = Kind::Samples;
    s->samples = std::move(stereo);
    s->data = s->samples.data();
    s->frames = s->samples.size() / 2;
    return s;
}

struct AudioRun::Lane {
    Lane(AEffect* e, double rate) : effect(e), detector(rate), songDetector(rate) {}

    AEffect* effect;
    int32_t inChannels = 0;
    int32_t outChannels = 0;
    std::vector<std::vector<float>> inBuffers;
    std::vector<std::vector<float>> outBuffers;
    std::vector<float*> inPointers;
    std::vector<float*> outPointers;
    OnsetDetector detector;
    OnsetRing onsets;
    OnsetDetector songDetector;
    OnsetRing songOnsets;

    // Audio thread (the command side only while no audio thread runs).
    PlaySource* source = nullptr;
    RecordBuffer* recording = nullptr;
    uint64_t taken = 0;

    // The hand-off: the command side posts under `lock`, the audio thread
    // try-locks it when `posted` moved.
    std::mutex lock;
    Change pending;
    std::atomic<uint64_t> posted{0};
    std::atomic<uint64_t> applied{0};

    // Command side, under controlLock_.
    std::unique_ptr<PlaySource> ownedSource;
    std::unique_ptr<RecordBuffer> ownedRecording;
    uint64_t onsetCursor = 0;
    uint64_t songOnsetCursor = 0;
    // Objects of changes that timed out: the audio thread may still use
    // them, so they live until the run object goes.
    std::vector<std::unique_ptr<PlaySource>> staleSources;
    std::vector<std::unique_ptr<RecordBuffer>> staleRecordings;

    // Under `lock`.
    void applyPending() {
        if (pending.setSource) source = pending.source;
        if (pending.setRecording) recording = pending.recording;
        pending = Change{};
        taken = posted.load(std::memory_order_relaxed);
        applied.store(taken, std::memory_order_release);
    }
};

AudioRun::AudioRun(std::vector<AEffect*> effects, TestHost& host, const AudioRunConfig& config,
                   const std::vector<float>* input, std::vector<float>* output,
                   const std::vector<MidiInEvent>* midiIn)
    : effects_(std::move(effects)),
      host_(host),
      config_(config),
      input_(input),
      output_(output),
      midiIn_(midiIn && !midiIn->empty() ? midiIn : nullptr) {}

AudioRun::~AudioRun() {
    requestStop();
    if (thread_.started()) thread_.join(kJoinTimeoutMs);
    housekeeperStop_.store(true, std::memory_order_release);
    if (housekeeper_.joinable()) housekeeper_.join();
}

bool AudioRun::prepare() {
    if (effects_.empty()) return false;
    // Every pin gets a buffer (unused inputs silent, unused outputs scratch),
    // and at least two of each so stereo always has a place.
    const size_t block = static_cast<size_t>(config_.blockSize);
    try {
        lanes_.clear();
        for (AEffect* effect : effects_) {
            std::unique_ptr<Lane> lane(new Lane(effect, config_.sampleRate));
            lane->inChannels = channelCount(effect->numInputs);
            lane->outChannels = channelCount(effect->numOutputs);
            lane->inBuffers.assign(static_cast<size_t>(std::max(lane->inChannels, 2)), std::vector<float>(block));
            lane->outBuffers.assign(static_cast<size_t>(std::max(lane->outChannels, 2)), std::vector<float>(block));
            for (auto& b : lane->inBuffers) lane->inPointers.push_back(b.data());
            for (auto& b : lane->outBuffers) lane->outPointers.push_back(b.data());
            lanes_.push_back(std::move(lane));
        }
        if (input_) {
            std::unique_ptr<PlaySource> s(new PlaySource());
            s->kind = PlaySource::Kind::Samples;
            s->data = input_->data();
            s->frames = input_->size() / 2;
            lanes_[0]->source = s.get();
            lanes_[0]->ownedSource = std::move(s);
        }
        if (midiIn_) midiInBlock_.reset(new MidiEventBlock(kMaxMidiInPerBlock));
        stats_.instances.assign(lanes_.size(), InstanceStats{});
        if (output_) output_->assign(static_cast<size_t>(config_.totalFrames) * 2, 0.0f);
        done_.reset(new platform::AutoResetEvent());
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The clock computes its factor on the first call: not on the audio thread.
    monotonicNow();
    return true;
}

bool AudioRun::start() {
    if (!done_ || thread_.started()) return false;
    finished_.store(false);
    stopRequested_.store(false);
    try {
        housekeeper_ = std::thread([this] {
            while (!housekeeperStop_.load(std::memory_order_acquire)) {
                keepRecordingsFed();
                platform::sleepMilliseconds(kHousekeepingMs);
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return thread_.start(&AudioRun::entry, this);
}

bool AudioRun::waitFinished(uint32_t ms) {
    if (finished()) return true;
    if (done_) done_->wait(ms);
    return finished();
}

void AudioRun::entry(void* self) {
    auto* run = static_cast<AudioRun*>(self);
    platform::Thread::setCurrentPriority(platform::ThreadPriority::AboveNormal);
    run->host_.audioThreadBegins();
    run->run();
    run->host_.audioThreadEnds();
    run->finished_.store(true, std::memory_order_release);
    run->done_->set();
}

void AudioRun::run() {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const double period = static_cast<double>(config_.blockSize) / config_.sampleRate;
    int64_t done = 0;
    while (done < config_.totalFrames && !stopRequested_.load(std::memory_order_acquire)) {
        const int64_t left = config_.totalFrames - done;
        const int32_t frames = left < config_.blockSize ? static_cast<int32_t>(left) : config_.blockSize;
        if (config_.paced) {
            // Block k is due at k periods after the start: an absolute
            // schedule, so sleeping in whole milliseconds does not drift.
            const double due = static_cast<double>(done) / config_.sampleRate;
            const double now = std::chrono::duration<double>(Clock::now() - start).count();
            if (due > now) {
                const double waitMs = (due - now) * 1000.0;
                if (waitMs >= 1.0) platform::sleepMilliseconds(static_cast<uint32_t>(waitMs));
            } else if (now - due >= period) {
                ++stats_.lateBlocks;
            }
        }
        processBlock(done, frames);
        done += frames;
        framesDone_.store(done, std::memory_order_relaxed);
    }
}

void AudioRun::processBlock(int64_t firstFrame, int32_t frames) {
    // One time for the whole block: every instance's clicks and onsets are
    // placed on it. The block's transport is fixed first: the song clicks,
    // the MIDI and the song onsets are placed on its position.
    const int64_t startNs = monotonicNow();
    host_.beginBlock();
    const int64_t song = host_.blockPosition();
    const bool playing = host_.blockPlaying();
    for (auto& lane : lanes_) {
        takeChanges(*lane);
        fillInput(*lane, frames, startNs, song, playing);
    }
    VstEvents* midi = playing ? midiInEvents(song, frames) : nullptr;
    for (size_t i = 0; i < lanes_.size(); ++i) {
        Lane& lane = *lanes_[i];
        AEffect* e = lane.effect;
        // A host hands an instance its events for the block before it
        // processes the block.
        if (i == 0 && midi) e->dispatcher(e, effProcessEvents, 0, 0, midi, 0.0f);
        if (e->processReplacing) e->processReplacing(e, lane.inPointers.data(), lane.outPointers.data(), frames);
    }
    host_.endBlock(frames);
    for (size_t i = 0; i < lanes_.size(); ++i) takeOutput(*lanes_[i], i, firstFrame, frames, startNs, song);
    ++stats_.blocks;
    stats_.frames += static_cast<uint64_t>(frames);
}

VstEvents* AudioRun::midiInEvents(int64_t song, int32_t frames) {
    if (!midiIn_ || !midiInBlock_) return nullptr;
    midiInBlock_->clear();
    stats_.midiInDropped += static_cast<uint64_t>(collectMidiIn(*midiIn_, song, frames, *midiInBlock_));
    if (midiInBlock_->count() == 0) return nullptr;
    stats_.midiInSent += static_cast<uint64_t>(midiInBlock_->count());
    return midiInBlock_->events();
}

void AudioRun::takeChanges(Lane& lane) {
    if (lane.posted.load(std::memory_order_acquire) == lane.taken) return;
    // Never waits: a change posted just now is taken next block.
    if (!lane.lock.try_lock()) return;
    lane.applyPending();
    lane.lock.unlock();
}

void AudioRun::fillSongClicks(PlaySource& s, float* left, float* right, int32_t frames, int64_t song,
                              bool playing) {
    const int64_t half = config_.sampleRate / 2;
    for (int32_t i = 0; i < frames; ++i) {
        if (playing && half > 0 && (song + i) % half == 0) s.sinceClick = 0;
        float v = 0.0f;
        if (s.sinceClick < clicks::kClickFrames) {
            v = static_cast<float>(clicks::clickValue(s.sinceClick, config_.sampleRate));
            ++s.sinceClick;
        }
        left[i] = v;
        right[i] = v;
    }
}

void AudioRun::fillInput(Lane& lane, int32_t frames, int64_t startNs, int64_t song, bool playing) {
    const size_t n = static_cast<size_t>(frames);
    float* left = lane.inBuffers[0].data();
    float* right = lane.inBuffers[1].data();
    PlaySource* s = lane.source;
    const PlaySource::Kind kind = s ? s->kind : PlaySource::Kind::Silence;
    if (kind == PlaySource::Kind::Clicks) {
        // A host hands over an input block once it has been recorded: its
        // frames were captured during the block period before this call.
        const int64_t capturedNs =
            startNs - static_cast<int64_t>(static_cast<double>(frames) * 1e9 / config_.sampleRate);
        clicks::fillClicks(capturedNs, config_.sampleRate, left, right, frames);
    } else if (kind == PlaySource::Kind::SongClicks) {
        fillSongClicks(*s, left, right, frames, song, playing);
    } else if (kind == PlaySource::Kind::Samples) {
        const size_t available = s->position < s->frames ? s->frames - s->position : 0;
        const size_t copied = available < n ? available : n;
        const float* from = s->data + s->position * 2;
        for (size_t f = 0; f < copied; ++f) {
            left[f] = from[f * 2];
            right[f] = from[f * 2 + 1];
        }
        std::fill(left + copied, left + n, 0.0f);
        std::fill(right + copied, right + n, 0.0f);
        s->position += copied;
    } else {
        std::fill(left, left + n, 0.0f);
        std::fill(right, right + n, 0.0f);
    }
    for (size_t c = 2; c < lane.inBuffers.size(); ++c)
        std::fill(lane.inBuffers[c].begin(), lane.inBuffers[c].begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
    for (auto& b : lane.outBuffers) std::fill(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
}

void AudioRun::takeOutput(Lane& lane, size_t index, int64_t firstFrame, int32_t frames, int64_t startNs,
                          int64_t song) {
    const size_t n = static_cast<size_t>(frames);
    // A mono plug-in's output goes to both channels; a plug-in without
    // outputs left the zeroed buffers alone.
    const float* left = lane.outBuffers[0].data();
    const float* right = lane.outChannels >= 2 ? lane.outBuffers[1].data() : left;
    InstanceStats& s = stats_.instances[index];
    for (size_t f = 0; f < n; ++f) {
        const float both[2] = {left[f], right[f]};
        for (int c = 0; c < 2; ++c) {
            if (!std::isfinite(both[c])) ++s.nonFiniteSamples;
            else if (std::fabs(both[c]) > s.peak[c]) s.peak[c] = std::fabs(both[c]);
        }
    }
    if (index == 0) {
        stats_.nonFiniteSamples = s.nonFiniteSamples;
        stats_.peak[0] = s.peak[0];
        stats_.peak[1] = s.peak[1];
        if (output_) {
            float* out = output_->data() + static_cast<size_t>(firstFrame) * 2;
            for (size_t f = 0; f < n; ++f) {
                out[f * 2] = left[f];
                out[f * 2 + 1] = right[f];
            }
        }
    }
    if (lane.recording) lane.recording->append(left, right, n);
    lane.detector.process(left, right, frames, startNs, lane.onsets);
    // Song time in nanoseconds, so the same detector places the onsets.
    const int64_t songNs = static_cast<int64_t>(std::llround(static_cast<double>(song) * 1e9 / config_.sampleRate));
    lane.songDetector.process(left, right, frames, songNs, lane.songOnsets);
}

bool AudioRun::handOver(Lane& lane, const Change& change, std::string& error) {
    uint64_t serial = 0;
    {
        std::lock_guard<std::mutex> guard(lane.lock);
        if (change.setSource) {
            lane.pending.setSource = true;
            lane.pending.source = change.source;
        }
        if (change.setRecording) {
            lane.pending.setRecording = true;
            lane.pending.recording = change.recording;
        }
        serial = lane.posted.load(std::memory_order_relaxed) + 1;
        lane.posted.store(serial, std::memory_order_release);
        // Without an audio thread (not started, or done) the change is made
        // here.
        if (!thread_.started() || finished()) {
            lane.applyPending();
            return true;
        }
    }
    const uint32_t startMs = platform::tickCount();
    while (lane.applied.load(std::memory_order_acquire) < serial) {
        if (finished()) {
            std::lock_guard<std::mutex> guard(lane.lock);
            if (lane.applied.load(std::memory_order_acquire) < serial) lane.applyPending();
            return true;
        }
        if (platform::tickCount() - startMs >= kHandOverTimeoutMs) {
            error = "the audio thread did not take the change within " + std::to_string(kHandOverTimeoutMs) + " ms";
            return false;
        }
        platform::sleepMilliseconds(kHandOverPollMs);
    }
    return true;
}

bool AudioRun::setSource(int instance, std::unique_ptr<PlaySource> source, std::string& error) {
    if (instance < 0 || instance >= instanceCount() || !source) {
        error = "no such instance";
        return false;
    }
    std::lock_guard<std::mutex> guard(controlLock_);
    Lane& lane = *lanes_[static_cast<size_t>(instance)];
    Change change;
    change.setSource = true;
    change.source = source.get();
    const bool ok = handOver(lane, change, error);
    std::unique_ptr<PlaySource> old = std::move(lane.ownedSource);
    lane.ownedSource = std::move(source);
    if (!ok && old) lane.staleSources.push_back(std::move(old));
    return ok;
}

bool AudioRun::startRecording(int instance, std::unique_ptr<RecordBuffer> recording,
                              std::unique_ptr<RecordBuffer>& previous, std::string& error) {
    previous.reset();
    if (instance < 0 || instance >= instanceCount() || !recording) {
        error = "no such instance";
        return false;
    }
    if (!recording->reserveAhead(recordAheadFrames())) {
        error = "out of memory for the recording";
        return false;
    }
    std::lock_guard<std::mutex> guard(controlLock_);
    Lane& lane = *lanes_[static_cast<size_t>(instance)];
    Change change;
    change.setRecording = true;
    change.recording = recording.get();
    const bool ok = handOver(lane, change, error);
    std::unique_ptr<RecordBuffer> old = std::move(lane.ownedRecording);
    lane.ownedRecording = std::move(recording);
    if (ok) previous = std::move(old);
    else if (old) lane.staleRecordings.push_back(std::move(old));
    return ok;
}

bool AudioRun::stopRecording(int instance, std::unique_ptr<RecordBuffer>& stopped, std::string& error) {
    stopped.reset();
    if (instance < 0 || instance >= instanceCount()) {
        error = "no such instance";
        return false;
    }
    std::lock_guard<std::mutex> guard(controlLock_);
    Lane& lane = *lanes_[static_cast<size_t>(instance)];
    if (!lane.ownedRecording) return true;
    Change change;
    change.setRecording = true;
    change.recording = nullptr;
    if (!handOver(lane, change, error)) {
        lane.staleRecordings.push_back(std::move(lane.ownedRecording));
        return false;
    }
    stopped = std::move(lane.ownedRecording);
    return true;
}

bool AudioRun::recording(int instance) {
    if (instance < 0 || instance >= instanceCount()) return false;
    std::lock_guard<std::mutex> guard(controlLock_);
    return lanes_[static_cast<size_t>(instance)]->ownedRecording != nullptr;
}

void AudioRun::takeOnsets(int instance, std::vector<int64_t>& out) {
    if (instance < 0 || instance >= instanceCount()) return;
    std::lock_guard<std::mutex> guard(controlLock_);
    Lane& lane = *lanes_[static_cast<size_t>(instance)];
    lane.onsets.readSince(lane.onsetCursor, out);
}

void AudioRun::takeSongOnsets(int instance, std::vector<int64_t>& out) {
    if (instance < 0 || instance >= instanceCount()) return;
    std::lock_guard<std::mutex> guard(controlLock_);
    Lane& lane = *lanes_[static_cast<size_t>(instance)];
    lane.songOnsets.readSince(lane.songOnsetCursor, out);
}

std::vector<std::pair<int, std::unique_ptr<RecordBuffer>>> AudioRun::takeRecordings() {
    std::vector<std::pair<int, std::unique_ptr<RecordBuffer>>> taken;
    if (thread_.started() && !finished()) return taken;
    std::lock_guard<std::mutex> guard(controlLock_);
    for (size_t i = 0; i < lanes_.size(); ++i) {
        Lane& lane = *lanes_[i];
        if (!lane.ownedRecording) continue;
        lane.recording = nullptr;
        taken.emplace_back(static_cast<int>(i), std::move(lane.ownedRecording));
    }
    return taken;
}

uint64_t AudioRun::recordAheadFrames() const {
    uint64_t ahead = kPacedAheadSeconds * static_cast<uint64_t>(config_.sampleRate);
    if (!config_.paced) ahead *= kFastAheadFactor;
    return std::max<uint64_t>(ahead, 2 * RecordBuffer::kChunkFrames);
}

void AudioRun::keepRecordingsFed() {
    const uint64_t ahead = recordAheadFrames();
    std::lock_guard<std::mutex> guard(controlLock_);
    for (auto& lane : lanes_)
        if (lane->ownedRecording) lane->ownedRecording->reserveAhead(ahead);
}
