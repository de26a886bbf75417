#pragma once
// Signals, listeners and measures shared by the codec tests.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "trvcore/codec/AudioEncoder.h"
#include "trvcore/codec/Mp3Decoder.h"

namespace codectest {

constexpr double kPi = 3.14159265358979323846;

// Left: a sweep from 200 Hz to 2 kHz, which lines up with itself at one
// offset only. Right: a steady 440 Hz tone (or `rightHz`).
struct TestSignal {
    std::vector<float> left, right;
    TestSignal(int frames, double rate, double rightHz = 440) : left(frames), right(frames) {
        for (int i = 0; i < frames; ++i) {
            const double t = i / rate;
            left[i] = static_cast<float>(0.5 * std::sin(2 * kPi * (200 * t + 900 * t * t * rate / frames)));
            right[i] = static_cast<float>(0.5 * std::sin(2 * kPi * rightHz * t));
        }
    }
};

struct Buffer {
    std::vector<uint8_t> bytes;
    int64_t position;
    int kind;
};

struct Collector : AudioEncoderListener {
    std::vector<Buffer> buffers;
    void onEncoded(const uint8_t* data, int length, int64_t position, int kind) override {
        buffers.push_back({std::vector<uint8_t>(data, data + length), position, kind});
    }
};

// Decoded samples placed at the stream positions they came with.
struct Timeline : AudioDecoderListener {
    std::vector<float> left, right;
    int deliveries = 0, lastFrames = 0;
    void onDecoded(const float* const* ch, int count, int frames, int64_t position) override {
        ++deliveries;
        lastFrames = frames;
        const size_t end = static_cast<size_t>(position + frames);
        if (left.size() < end) left.resize(end), right.resize(end);
        std::copy(ch[0], ch[0] + frames, left.begin() + position);
        std::copy(ch[count - 1], ch[count - 1] + frames, right.begin() + position);
    }
};

inline Mp3Decoder::Result decode(Mp3Decoder& d, const Buffer& b, Timeline& out) {
    return d.decode(b.bytes.data(), b.bytes.size(), b.position, &out);
}

inline void encodeAll(AudioEncoder& e, const TestSignal& s, int block, AudioEncoderListener* sink) {
    for (size_t at = 0; at < s.left.size(); at += block) {
        const float* ch[2] = {&s.left[at], &s.right[at]};
        e.encode(ch, static_cast<int>(std::min<size_t>(block, s.left.size() - at)), sink);
    }
}

// Normalised correlation of out[from + lag ...] with in[from ...].
inline double correlation(const std::vector<float>& in, const std::vector<float>& out, int lag,
                          int from, int count) {
    double xy = 0, xx = 0, yy = 0;
    for (int i = from; i < from + count; ++i)
        xy += in[i] * out[i + lag], xx += in[i] * in[i], yy += out[i + lag] * out[i + lag];
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// Power of one frequency (Goertzel) over [from, from + count).
inline double power(const std::vector<float>& s, double hz, double rate, int from, int count) {
    const double k = 2 * std::cos(2 * kPi * hz / rate);
    double a = 0, b = 0;
    for (int i = from; i < from + count; ++i) {
        const double c = s[i] + k * a - b;
        b = a, a = c;
    }
    return (a * a + b * b - k * a * b) / count;
}

}  // namespace codectest
