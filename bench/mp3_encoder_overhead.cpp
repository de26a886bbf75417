// Cost of the MP3 encoder wrapper's encode path against bare LAME calls on
// the same input in the same run: one second of stereo audio at 48 kHz and
// 128 kbit/s, handed to the wrapper in host blocks of 512 frames and to
// LAME in frames of 1152, each frame encoded and flushed. Prints the ratio
// of the two times per second of audio.
#include <benchmark/benchmark.h>

#include <lame/lame.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "trvcore/Mp3Encoder.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBitrate = 128000;
constexpr int kFrames = kRate;  // one second, a whole number of 1152-frames below
constexpr int kEncoded = kFrames / 1152 * 1152;
constexpr int kBlock = 512;

struct Input {
    std::vector<float> left, right;                // full scale +-1, for the wrapper
    std::vector<float> scaledLeft, scaledRight;    // +-32768, as LAME's float call takes
    Input() : left(kEncoded), right(kEncoded), scaledLeft(kEncoded), scaledRight(kEncoded) {
        for (int i = 0; i < kEncoded; ++i) {
            const double t = static_cast<double>(i) / kRate;
            left[i] = static_cast<float>(0.5 * std::sin(2 * 3.14159265 * (200 * t + 900 * t * t)));
            right[i] = static_cast<float>(0.4 * std::sin(2 * 3.14159265 * 440 * t));
            scaledLeft[i] = left[i] * 32768.0f;
            scaledRight[i] = right[i] * 32768.0f;
        }
    }
};

const Input& input() {
    static const Input in;
    return in;
}

struct ByteCounter : AudioEncoderListener {
    int64_t bytes = 0;
    void onEncoded(const uint8_t*, int length, int64_t, int) override { bytes += length; }
};

void silent(const char*, va_list) {}

void wrapper(benchmark::State& state) {
    const Input& in = input();
    ByteCounter sink;
    Mp3Encoder encoder;
    if (!encoder.open(&sink, 2, kRate, kBitrate)) {
        state.SkipWithError("encoder refused 48 kHz");
        return;
    }
    for (auto _ : state) {
        for (int at = 0; at < kEncoded; at += kBlock) {
            const int n = at + kBlock <= kEncoded ? kBlock : kEncoded - at;
            const float* ch[2] = {&in.left[at], &in.right[at]};
            encoder.encode(ch, n, nullptr);
        }
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetItemsProcessed(state.iterations() * kEncoded);
}

void bare(benchmark::State& state) {
    const Input& in = input();
    lame_t lame = lame_init();
    lame_set_errorf(lame, silent);
    lame_set_debugf(lame, silent);
    lame_set_msgf(lame, silent);
    lame_set_in_samplerate(lame, kRate);
    lame_set_out_samplerate(lame, kRate);
    lame_set_num_channels(lame, 2);
    lame_set_scale(lame, 1.0f);
    lame_set_quality(lame, 7);
    lame_set_mode(lame, STEREO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, kBitrate / 1000);
    lame_set_compression_ratio(lame, 0.0f);
    lame_set_force_short_blocks(lame, 1);
    lame_set_bWriteVbrTag(lame, 0);
    if (lame_init_params(lame) < 0) {
        state.SkipWithError("LAME refused 48 kHz");
        lame_close(lame);
        return;
    }
    std::vector<uint8_t> out(64 * 1024);
    int64_t bytes = 0;
    for (auto _ : state) {
        for (int at = 0; at < kEncoded; at += 1152) {
            int n = lame_encode_buffer_float(lame, &in.scaledLeft[at], &in.scaledRight[at], 1152,
                                             out.data(), static_cast<int>(out.size()));
            n += lame_encode_flush_nogap(lame, out.data() + n, static_cast<int>(out.size()) - n);
            bytes += n;
        }
        benchmark::DoNotOptimize(bytes);
    }
    lame_close(lame);
    state.SetItemsProcessed(state.iterations() * kEncoded);
}

// Keeps each side's best time per iteration.
class BestTimes : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0) continue;
            const std::string name = r.run_name.function_name.substr(0, r.run_name.function_name.find('#'));
            const double t = r.GetAdjustedRealTime();
            auto it = best.find(name);
            if (it == best.end() || t < it->second) best[name] = t;
        }
    }
    std::map<std::string, double> best;
};

// The machine is shared: the two sides alternate over several rounds and
// each is judged by its best round.
constexpr int kRounds = 5;

void registerRounds() {
    for (int round = 1; round <= kRounds; ++round) {
        const std::string suffix = "#" + std::to_string(round);
        benchmark::RegisterBenchmark(("bare" + suffix).c_str(), bare)->Unit(benchmark::kMillisecond)->MinTime(0.3);
        benchmark::RegisterBenchmark(("encoder" + suffix).c_str(), wrapper)->Unit(benchmark::kMillisecond)->MinTime(0.3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerRounds();
    benchmark::Initialize(&argc, argv);
    BestTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double encoder = reporter.best["encoder"];
    const double bareTime = reporter.best["bare"];
    if (encoder > 0 && bareTime > 0)
        std::printf("ratio encoder/bare: %.3f (target <= 1.10)  [encoder %.3f ms, bare %.3f ms per second of audio]\n",
                    encoder / bareTime, encoder, bareTime);
    return 0;
}
