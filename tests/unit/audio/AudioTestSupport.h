#pragma once
// What the audio-path tests share: a stand-in for the process side of the
// streams (lock, time info, host rate and block size, codec, audio rate),
// a hand-stepped millisecond tick, signals and measures, and AudioFrames
// made with the real MP3 encoder.
#include "support/Eventually.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/codec/Mp3Decoder.h"
#include "trvcore/codec/Mp3Encoder.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerMessage.h"

namespace audiotest {

constexpr double kPi = 3.14159265358979323846;

using testsupport::eventually;

class FakeStreamHost : public AudioStreamHost {
public:
    FakeStreamHost() {
        std::memset(&info_, 0, sizeof info_);
        setTime(0.0, 0);
    }

    void postMessage(const char* text) override {
        std::lock_guard<std::mutex> g(mutex_);
        lines_.push_back(text);
    }
    platform::RecursiveLock& processLock() override { return lock_; }
    const VstTimeInfo& cycleTimeInfo() const override { return info_; }
    const CycleTime& cycleTime() const override { return cycle_; }
    double sampleRate() const override { return rate.load(); }
    int blockSize() const override { return block.load(); }
    int codec() const override { return codecValue.load(); }
    double audioRate() const override { return audio.load(); }

    // The cycle's time info, as the cycle leader would publish it.
    void setTime(double samplePos, int32_t flags, double blockEnd = 0.0) {
        info_.samplePos = samplePos;
        info_.sampleRate = rate.load();
        info_.flags = flags;
        cycle_.samplePosition.store(samplePos);
        cycle_.sampleRate.store(rate.load());
        cycle_.flags.store(flags);
        cycle_.blockEnd.store(blockEnd);
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> g(mutex_);
        return lines_;
    }

    std::atomic<double> rate{48000.0};
    std::atomic<int> block{512};
    std::atomic<int> codecValue{kCodecMp3};
    std::atomic<double> audio{128.0};

private:
    platform::RecursiveLock lock_;
    VstTimeInfo info_;
    CycleTime cycle_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A millisecond tick the test steps by hand (the playout buffer's
// adaptation reads it through a plain function pointer).
inline std::atomic<uint32_t>& fakeTickValue() {
    static std::atomic<uint32_t> value{1000};
    return value;
}
inline uint32_t fakeTick() { return fakeTickValue().load(); }

// A stereo signal, planar.
struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames = 0) : left(frames), right(frames) {}
    size_t frames() const { return left.size(); }
    float* const* pointers(size_t at = 0) {
        ptr_[0] = left.data() + at;
        ptr_[1] = right.data() + at;
        return ptr_;
    }

private:
    float* ptr_[2] = {nullptr, nullptr};
};

inline Stereo sine(size_t frames, double hzLeft, double hzRight, double rate, double level = 0.5) {
    Stereo s(frames);
    for (size_t i = 0; i < frames; ++i) {
        s.left[i] = static_cast<float>(level * std::sin(2 * kPi * hzLeft * i / rate));
        s.right[i] = static_cast<float>(level * std::sin(2 * kPi * hzRight * i / rate));
    }
    return s;
}

// Power of one frequency (Goertzel, Hann window) over [from, from + count).
inline double power(const std::vector<float>& s, double hz, double rate, size_t from, size_t count) {
    const double k = 2 * std::cos(2 * kPi * hz / rate);
    double a = 0, b = 0;
    for (size_t i = 0; i < count; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * kPi * i / (count - 1));
        const double c = w * s[from + i] + k * a - b;
        b = a, a = c;
    }
    return (a * a + b * b - k * a * b) / count;
}

// The strongest frequency between lo and hi Hz: a 1 Hz scan, then a
// 0.05 Hz one around the best (Hann window, applied once).
inline double dominantFrequency(const std::vector<float>& s, double rate, size_t from, size_t count,
                                double lo = 100, double hi = 2000) {
    std::vector<double> w(count);
    for (size_t i = 0; i < count; ++i) w[i] = (0.5 - 0.5 * std::cos(2 * kPi * i / (count - 1))) * s[from + i];
    auto powerAt = [&](double hz) {
        const double k = 2 * std::cos(2 * kPi * hz / rate);
        double a = 0, b = 0;
        for (double x : w) {
            const double c = x + k * a - b;
            b = a, a = c;
        }
        return a * a + b * b - k * a * b;
    };
    double best = lo, bestPower = -1;
    for (double f = lo; f <= hi; f += 1.0) {
        const double p = powerAt(f);
        if (p > bestPower) bestPower = p, best = f;
    }
    const double centre = best;
    for (double f = centre - 1.0; f <= centre + 1.0; f += 0.05) {
        const double p = powerAt(f);
        if (p > bestPower) bestPower = p, best = f;
    }
    return best;
}

// Normalised correlation of b[from + lag ...] with a[from ...].
inline double correlation(const std::vector<float>& a, const std::vector<float>& b, long lag, size_t from,
                          size_t count) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = from; i < from + count; ++i) {
        const double x = a[i], y = b[static_cast<size_t>(static_cast<long>(i) + lag)];
        xy += x * y, xx += x * x, yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// The lag in [0, maxLag) at which b best matches a, and how well.
inline long bestLag(const std::vector<float>& a, const std::vector<float>& b, long maxLag, size_t from,
                    size_t count, double* how = nullptr) {
    long best = 0;
    double bestC = -2;
    for (long lag = 0; lag < maxLag; ++lag) {
        const double c = correlation(a, b, lag, from, count);
        if (c > bestC) bestC = c, best = lag;
    }
    if (how) *how = bestC;
    return best;
}

inline double rms(const float* s, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / n) : 0;
}

inline bool allZero(const float* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (s[i] != 0.0f) return false;
    return true;
}

// Little-endian fields of a received message.
inline uint16_t u16(const std::vector<uint8_t>& m, size_t at) {
    return static_cast<uint16_t>(m[at] | (m[at + 1] << 8));
}
inline uint32_t u32(const std::vector<uint8_t>& m, size_t at) {
    return static_cast<uint32_t>(m[at]) | (static_cast<uint32_t>(m[at + 1]) << 8) |
           (static_cast<uint32_t>(m[at + 2]) << 16) | (static_cast<uint32_t>(m[at + 3]) << 24);
}
inline void put16(PeerMessage& m, size_t at, uint16_t v) {
    m.data()[at] = static_cast<uint8_t>(v);
    m.data()[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(PeerMessage& m, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) m.data()[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// Every encoder output of a signal, as the send path would deliver it.
struct EncodedBuffer {
    std::vector<uint8_t> bytes;
    int64_t position;
    int kind;
};

struct EncodedStream : AudioEncoderListener {
    std::vector<EncodedBuffer> buffers;
    int latency = 0;
    void onEncoded(const uint8_t* data, int length, int64_t position, int kind) override {
        if (kind == kEncodedFrame) buffers.push_back({std::vector<uint8_t>(data, data + length), position, kind});
    }
};

// Encodes `s` at `rate` in blocks of 512; start-up output is left out (the
// receive side needs none: every buffer decodes alone).
inline EncodedStream encode(Stereo& s, double rate = 48000, int kbits = 128) {
    EncodedStream out;
    Mp3Encoder e;
    if (!e.open(&out, 2, rate, kbits * 1000)) return out;
    for (size_t at = 0; at < s.frames(); at += 512) {
        const int n = static_cast<int>(std::min<size_t>(512, s.frames() - at));
        const float* ch[2] = {s.left.data() + at, s.right.data() + at};
        e.encode(ch, n, nullptr);
    }
    out.latency = e.latency();
    e.close();
    return out;
}

// One AudioFrame per encoder buffer.
inline PeerMessage audioFrame(const EncodedBuffer& b, uint16_t counter, uint32_t rate = 48000,
                              uint16_t codec = kCodecMp3) {
    AudioFrameHeader h;
    h.streamPosition = static_cast<uint32_t>(b.position);
    h.sampleRate = rate;
    h.codec = codec;
    h.frameCounter = counter;
    PeerMessage m;
    buildAudioFrame(m, h, b.bytes.data(), b.bytes.size());
    return m;
}

// Decoded samples placed at the stream positions they came with.
struct Timeline : AudioDecoderListener {
    Stereo audio;
    int deliveries = 0;
    void onDecoded(const float* const* ch, int count, int frames, int64_t position) override {
        ++deliveries;
        const size_t end = static_cast<size_t>(position + frames);
        if (audio.frames() < end) audio.left.resize(end), audio.right.resize(end);
        std::copy(ch[0], ch[0] + frames, audio.left.begin() + position);
        std::copy(ch[count - 1], ch[count - 1] + frames, audio.right.begin() + position);
    }
};

}  // namespace audiotest
