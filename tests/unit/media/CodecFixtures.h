#pragma once
// Signals, listeners and a decoded timeline shared by the codec tests.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "trvcore/AudioEncoder.h"
#include "trvcore/Mp3Decoder.h"

namespace codectest {

constexpr double kPi = 3.14159265358979323846;

// Left: a rising sweep from 200 Hz to 2 kHz, which lines up with itself at
// one offset only. Right: a steady 440 Hz tone. Both at half full scale.
struct TestSignal {
    std::vector<float> left, right;
    TestSignal(int frames, double rate) : left(frames), right(frames) {
        const double seconds = frames / rate;
        for (int i = 0; i < frames; ++i) {
            const double t = i / rate;
            left[i] = static_cast<float>(0.5 * std::sin(2 * kPi * (200 * t + 900 * t * t / seconds)));
            right[i] = static_cast<float>(0.5 * std::sin(2 * kPi * 440 * t));
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

// Decoded samples placed at the stream positions they were delivered with.
struct Timeline : AudioDecoderListener {
    std::vector<float> left, right;
    int deliveries = 0, lastFrames = 0;
    void onDecoded(const float* const* ch, int count, int frames, int64_t position) override {
        ++deliveries;
        lastFrames = frames;
        const size_t end = static_cast<size_t>(position + frames);
        if (left.size() < end) left.resize(end), right.resize(end);
        for (int i = 0; i < frames; ++i) {
            left[position + i] = ch[0][i];
            right[position + i] = count > 1 ? ch[1][i] : ch[0][i];
        }
    }
};

// Feeds the whole signal in blocks of `block` frames.
inline void encodeAll(AudioEncoder& e, const TestSignal& s, int block, AudioEncoderListener* sink) {
    for (size_t at = 0; at < s.left.size(); at += block) {
        const int n = static_cast<int>(std::min<size_t>(block, s.left.size() - at));
        const float* ch[2] = {&s.left[at], &s.right[at]};
        e.encode(ch, n, sink);
    }
}

// Normalised correlation of out[from + lag ...] with in[from ...].
inline double correlation(const std::vector<float>& in, const std::vector<float>& out, int lag,
                          int from, int count) {
    double xy = 0, xx = 0, yy = 0;
    for (int i = from; i < from + count; ++i) {
        const double x = in[i], y = out[i + lag];
        xy += x * y, xx += x * x, yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// Power of one frequency (Goertzel) over samples [from, from + count).
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
