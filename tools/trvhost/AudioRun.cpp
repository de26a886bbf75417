#include "tools/trvhost/AudioRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

#include "platform/Clock.h"
#include "tools/trvhost/HostCallback.h"

namespace {
constexpr int32_t kMaxChannels = 64;
constexpr uint32_t kJoinTimeoutMs = 10000;

int32_t channelCount(VstInt32 n) {
    if (n < 0) return 0;
    return n > kMaxChannels ? kMaxChannels : n;
}
}  // namespace

AudioRun::AudioRun(AEffect* effect, TestHost& host, const AudioRunConfig& config,
                   const std::vector<float>* input, std::vector<float>* output)
    : effect_(effect), host_(host), config_(config), input_(input), output_(output) {}

AudioRun::~AudioRun() {
    requestStop();
    if (thread_.started()) thread_.join(kJoinTimeoutMs);
}

bool AudioRun::prepare() {
    // Every pin gets a buffer (unused inputs silent, unused outputs scratch),
    // and at least two of each so stereo always has a place.
    inChannels_ = channelCount(effect_->numInputs);
    outChannels_ = channelCount(effect_->numOutputs);
    const size_t block = static_cast<size_t>(config_.blockSize);
    try {
        inBuffers_.assign(static_cast<size_t>(inChannels_ > 2 ? inChannels_ : 2), std::vector<float>(block));
        outBuffers_.assign(static_cast<size_t>(outChannels_ > 2 ? outChannels_ : 2), std::vector<float>(block));
        inPointers_.clear();
        outPointers_.clear();
        for (auto& b : inBuffers_) inPointers_.push_back(b.data());
        for (auto& b : outBuffers_) outPointers_.push_back(b.data());
        if (output_) output_->assign(static_cast<size_t>(config_.totalFrames) * 2, 0.0f);
        done_.reset(new platform::AutoResetEvent());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool AudioRun::start() {
    if (!done_ || thread_.started()) return false;
    finished_.store(false);
    stopRequested_.store(false);
    if (!thread_.start(&AudioRun::entry, this)) return false;
    return true;
}

bool AudioRun::waitFinished(uint32_t ms) {
    if (finished()) return true;
    if (done_) done_->wait(ms);
    return finished();
}

void AudioRun::entry(void* self) {
    auto* run = static_cast<AudioRun*>(self);
    platform::Thread::setCurrentPriority(platform::ThreadPriority::AboveNormal);
    run->run();
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
    }
}

void AudioRun::processBlock(int64_t firstFrame, int32_t frames) {
    const size_t n = static_cast<size_t>(frames);
    const size_t inputFrames = input_ ? input_->size() / 2 : 0;
    for (size_t f = 0; f < n; ++f) {
        const size_t src = static_cast<size_t>(firstFrame) + f;
        const bool have = src < inputFrames;
        inBuffers_[0][f] = have ? (*input_)[src * 2] : 0.0f;
        inBuffers_[1][f] = have ? (*input_)[src * 2 + 1] : 0.0f;
    }
    for (size_t c = 2; c < inBuffers_.size(); ++c) std::fill(inBuffers_[c].begin(), inBuffers_[c].begin() + n, 0.0f);
    for (auto& b : outBuffers_) std::fill(b.begin(), b.begin() + n, 0.0f);

    host_.beginBlock();
    if (effect_->processReplacing) effect_->processReplacing(effect_, inPointers_.data(), outPointers_.data(), frames);
    host_.endBlock(frames);

    // A mono plug-in's output goes to both channels of the file.
    const float* left = outChannels_ >= 1 ? outBuffers_[0].data() : nullptr;
    const float* right = outChannels_ >= 2 ? outBuffers_[1].data() : left;
    for (size_t f = 0; f < n; ++f) {
        const float l = left ? left[f] : 0.0f;
        const float r = right ? right[f] : 0.0f;
        const float both[2] = {l, r};
        for (int c = 0; c < 2; ++c) {
            if (!std::isfinite(both[c])) ++stats_.nonFiniteSamples;
            else if (std::fabs(both[c]) > stats_.peak[c]) stats_.peak[c] = std::fabs(both[c]);
        }
        if (output_) {
            const size_t dst = (static_cast<size_t>(firstFrame) + f) * 2;
            (*output_)[dst] = l;
            (*output_)[dst + 1] = r;
        }
    }
    ++stats_.blocks;
    stats_.frames += n;
}
