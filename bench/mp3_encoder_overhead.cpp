// Cost of the send stream's encode path against bare LAME calls on the same
// input in the same run. The send stream (AudioSendStream on a stand-in
// process side, posting to a PeerConnection whose link's socket drops every
// datagram) is fed host blocks of 256 frames through beginBlock, addInput
// and endBlock as fast as its block queue takes them; its encoder thread
// takes them off the queue, MP3-encodes them, builds the AudioFrames and
// posts them. The bare side calls lame_encode_buffer_float and
// lame_encode_flush_nogap per 1152 frames with the same settings (CBR
// 64 kbit/s, stereo, quality 7, short blocks, no tag frame).
//
// Both sides are measured in CPU time of the thread doing the encoding:
// the encoder thread's own clock for the stream (found through the socket,
// which its posts reach), the calling thread's for LAME. They take turns
// piece by piece within every pass, so what else the machine does weighs
// on both alike. The feeding thread's work is the audio thread's and is
// measured by audio_thread_cost. Prints the median over rounds of the
// ratio; the target is at most 1.10.
//
// A last line runs the stream in real time, two seconds three times, and
// counts how often the encoder thread waits per encoder frame (from the
// system's count of its voluntary context switches): a thread that sleeps
// until its frame is complete waits once per frame. Its CPU per second of
// audio is printed beside (it includes cold caches after every sleep).
#include <benchmark/benchmark.h>

#include <lame/lame.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchLink.h"
#include "platform/Event.h"
#include "trvcore/audio/AudioSendStream.h"
#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/trvnetwork/DatagramSocket.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBitrateKbps = 64;
constexpr int kBlock = 256;
constexpr int kLameFrame = 1152;
// A whole number of both block sizes (lcm 9216), about 9.6 s of audio.
constexpr int kFrames = 9216 * 50;
constexpr int kBlocks = kFrames / kBlock;
constexpr int kOutputs = kFrames / kLameFrame;
// Blocks the feeder keeps queued at most (the queue holds 64).
constexpr int kQueuedBlocks = 40;
constexpr double kPi = 3.14159265358979323846;

struct Input {
    std::vector<float> left, right;              // full scale +-1, for the stream
    std::vector<float> scaledLeft, scaledRight;  // +-32768, as LAME's float call takes
    Input() : left(kFrames), right(kFrames), scaledLeft(kFrames), scaledRight(kFrames) {
        for (int i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            left[i] = static_cast<float>(0.4 * std::sin(2 * kPi * (200 * t + 90 * t * t)) +
                                         0.1 * std::sin(2 * kPi * 3100 * t));
            right[i] = static_cast<float>(0.4 * std::sin(2 * kPi * 440 * t) + 0.1 * std::sin(2 * kPi * 1700 * t));
            scaledLeft[i] = left[i] * 32768.0f;
            scaledRight[i] = right[i] * 32768.0f;
        }
    }
};

const Input& input() {
    static const Input in;
    return in;
}

double threadSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// ---- The send stream's surroundings ----------------------------------------

// The process side of the stream: a 48 kHz host with 256-frame blocks, MP3,
// and an audio rate that gives 64 kbit/s; time info all zero (stopped).
class BenchStreamHost : public AudioStreamHost {
public:
    BenchStreamHost() {
        std::memset(&info_, 0, sizeof info_);
        info_.sampleRate = kRate;
        cycle_.sampleRate.store(kRate);
    }
    void postMessage(const char* text) override { std::fprintf(stderr, "stream: %s\n", text); }
    platform::RecursiveLock& processLock() override { return lock_; }
    const VstTimeInfo& cycleTimeInfo() const override { return info_; }
    const CycleTime& cycleTime() const override { return cycle_; }
    double sampleRate() const override { return kRate; }
    int blockSize() const override { return kBlock; }
    int codec() const override { return kCodecMp3; }
    double audioRate() const override { return kBitrateKbps; }

private:
    platform::RecursiveLock lock_;
    VstTimeInfo info_;
    CycleTime cycle_;
};

// One send stream, running, with everything it posts to.
struct StreamRig {
    BenchStreamHost host;
    QuietListener listener;
    NowhereSocket* socket = new NowhereSocket;  // the link takes it over
    std::unique_ptr<PeerLink> link;
    std::unique_ptr<PeerConnection> connection;
    std::unique_ptr<AudioSendStream> stream;
    int64_t position = 0;  // frames fed so far
    int64_t inputAt = 0;   // where in the input the next block starts (it repeats)

    StreamRig() {
        PeerLinkOptions o;
        o.bindAddress = "127.0.0.1";
        o.port = 0;
        o.socket = socket;
        o.startThread = false;
        link.reset(new PeerLink(&listener, o));
        connection.reset(new PeerConnection(*link));
        connection->setPartnerAddress("127.0.0.9", kPeerUdpPort);
        stream.reset(new AudioSendStream(host, *connection));
        stream->setActive(true);
    }
    ~StreamRig() {
        stream.reset();  // its thread posts to the connection
        connection.reset();
        link.reset();
    }
    bool ok() const { return link->hasSocket() && stream->isRunning() && stream->bitrate() == kBitrateKbps; }

    // One host block cycle, as the audio thread runs it.
    void feedBlock() {
        const Input& in = input();
        const int64_t at = inputAt;
        inputAt = (inputAt + kBlock) % kFrames;
        float* channels[2] = {const_cast<float*>(&in.left[at]), const_cast<float*>(&in.right[at])};
        platform::ScopedLock cycle(host.processLock());
        stream->beginBlock(kBlock);
        stream->addInput(channels, 2, kBlock);
        stream->endBlock();
        position += kBlock;
    }
    // Encoder frames that gave no output: a fresh LAME encoder holds its
    // first frame back. Measured once the stream runs (see settle).
    int64_t silentOutputs = 0;
    int64_t encodedFrames() const { return (int64_t(stream->framesSent()) + silentOutputs) * kLameFrame; }
    // Waits until the encoder thread has been idle for 100 ms and takes the
    // frames it encoded without output into account.
    bool settle() {
        uint32_t seen = stream->framesSent();
        for (int quiet = 0, waited = 0; quiet < 100; ++waited) {
            if (waited > 10000) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const uint32_t now = stream->framesSent();
            quiet = now == seen ? quiet + 1 : 0;
            seen = now;
        }
        silentOutputs = queuedFrames() / kLameFrame - int64_t(stream->framesSent());
        return silentOutputs >= 0 && silentOutputs <= 2;
    }
    // Frames fed that the queue took (a full queue drops a block).
    int64_t queuedFrames() const { return position - int64_t(stream->droppedBlocks()) * kBlock; }
    // A block once the queue has room for it, as fast as the encoder takes
    // them.
    void feedWhenRoom() {
        while (queuedFrames() - encodedFrames() > int64_t(kQueuedBlocks) * kBlock)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        feedBlock();
    }
    // Waits until every frame queued so far (up to a partial encoder frame)
    // was encoded and posted.
    bool drain() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (encodedFrames() + kLameFrame <= queuedFrames()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
};

StreamRig& rig() {
    static StreamRig r;
    return r;
}

void silent(const char*, va_list) {}

// LAME set up as the stream's encoder sets it up; null if refused.
lame_t openLame() {
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
    lame_set_brate(lame, kBitrateKbps);
    lame_set_compression_ratio(lame, 0.0f);
    lame_set_force_short_blocks(lame, 1);
    lame_set_bWriteVbrTag(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return nullptr;
    }
    return lame;
}

// Both sides in one pass, piece by piece in turn, so a change in what else
// the machine does meets both alike: kPieces pieces of the input, each
// encoded by bare LAME on this thread and then by the stream's encoder
// thread, each side's CPU time summed. The iteration's time is the
// stream's; the counter "ratio" is stream over bare for the whole pass.
constexpr int kPieces = 10;
constexpr int kPieceFrames = kFrames / kPieces;  // 40 encoder frames, 180 blocks

void paired(benchmark::State& state) {
    const Input& in = input();
    StreamRig& r = rig();
    if (!r.ok()) {
        state.SkipWithError("the send stream did not start at 64 kbit/s");
        return;
    }
    // Until the first post the encoder thread is not known.
    while (r.stream->framesSent() == 0 && r.position < kFrames) r.feedWhenRoom();
    clockid_t encoderClock;
    if (!r.settle() || !r.socket->senderClock(encoderClock) || r.socket->sentFrom(pthread_self())) {
        state.SkipWithError("the encoder thread was not seen posting");
        return;
    }
    lame_t lame = openLame();
    if (!lame) {
        state.SkipWithError("LAME refused 48 kHz");
        return;
    }
    std::vector<uint8_t> out(64 * 1024);
    int64_t bytes = 0;
    double streamTotal = 0, bareTotal = 0;
    const uint32_t droppedBefore = r.stream->droppedBlocks();
    for (auto _ : state) {
        double streamTime = 0;
        for (int piece = 0; piece < kPieces; ++piece) {
            const int from = piece * kPieceFrames;
            double t0 = threadSeconds(CLOCK_THREAD_CPUTIME_ID);
            for (int at = from; at < from + kPieceFrames; at += kLameFrame) {
                int n = lame_encode_buffer_float(lame, &in.scaledLeft[at], &in.scaledRight[at], kLameFrame,
                                                 out.data(), static_cast<int>(out.size()));
                if (n < 0) n = 0;
                const int flushed =
                    lame_encode_flush_nogap(lame, out.data() + n, static_cast<int>(out.size()) - n);
                bytes += n + (flushed > 0 ? flushed : 0);
            }
            bareTotal += threadSeconds(CLOCK_THREAD_CPUTIME_ID) - t0;

            // The stream starts on an encoder frame boundary, with nothing
            // waiting, on the same input as the bare side's piece.
            while (r.queuedFrames() % kLameFrame != 0) r.feedWhenRoom();
            if (!r.drain()) {
                state.SkipWithError("the encoder thread stalled");
                lame_close(lame);
                return;
            }
            r.inputAt = from;
            t0 = threadSeconds(encoderClock);
            for (int b = 0; b < kPieceFrames / kBlock; ++b) r.feedWhenRoom();
            if (!r.drain()) {
                state.SkipWithError("the encoder thread stalled");
                lame_close(lame);
                return;
            }
            streamTime += threadSeconds(encoderClock) - t0;
        }
        streamTotal += streamTime;
        state.SetIterationTime(streamTime);
    }
    benchmark::DoNotOptimize(bytes);
    lame_close(lame);
    if (r.stream->droppedBlocks() != droppedBefore) state.SkipWithError("the block queue dropped blocks");
    if (bareTotal > 0) state.counters["ratio"] = streamTotal / bareTotal;
    state.counters["bare_ms_per_s"] = bareTotal * 1000 / (double(state.iterations()) * kFrames / kRate);
    // Datagrams as sent: the AudioFrame and fragment headers included.
    state.counters["datagram_kbit_per_s"] = benchmark::Counter(
        double(r.socket->bytes()) * 8 / 1000 / (double(r.position) / kRate));
}

// Times a thread of this process gave up the processor to wait (each wait
// for its wake event is one), from the system's per-thread record; -1 if
// unreadable.
long voluntarySwitches(long tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%ld/status", tid);
    std::FILE* f = std::fopen(path, "r");
    if (!f) return -1;
    char line[256];
    long n = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &n) == 1) break;
    std::fclose(f);
    return n;
}

struct Paced {
    double cpuShare = -1;        // encoder thread CPU seconds per second of audio
    double wakesPerFrame = -1;   // its waits per encoder frame
};

// The stream at the host's pace: one block every 5.33 ms for two seconds.
Paced realTime() {
    Paced p;
    StreamRig& r = rig();
    clockid_t encoderClock;
    const long tid = r.socket->senderTid();
    if (!r.ok() || !r.socket->senderClock(encoderClock) || tid == 0) return p;
    const int blocks = 2 * kRate / kBlock;
    const auto period = std::chrono::nanoseconds(int64_t(1e9 * kBlock / kRate));
    const double before = threadSeconds(encoderClock);
    const long switchesBefore = voluntarySwitches(tid);
    const auto start = std::chrono::steady_clock::now();
    for (int b = 0; b < blocks; ++b) {
        r.feedBlock();
        std::this_thread::sleep_until(start + (b + 1) * period);
    }
    const long switches = voluntarySwitches(tid) - switchesBefore;
    if (!r.drain()) return p;
    const double audio = double(blocks) * kBlock / kRate;
    p.cpuShare = (threadSeconds(encoderClock) - before) / audio;
    if (switchesBefore >= 0) p.wakesPerFrame = double(switches) / (audio * kRate / kLameFrame);
    return p;
}

// Keeps each round's ratio and bare time.
class RoundTimes : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0) continue;
            auto ratio = r.counters.find("ratio");
            auto bare = r.counters.find("bare_ms_per_s");
            if (ratio == r.counters.end() || bare == r.counters.end()) continue;
            ratios.push_back(ratio->second.value);
            bareMs.push_back(bare->second.value);
        }
    }
    std::vector<double> ratios, bareMs;
};

// Several rounds; the median of their ratios is the result.
constexpr int kRounds = 5;

void registerRounds() {
    for (int round = 1; round <= kRounds; ++round)
        benchmark::RegisterBenchmark(("send-stream-vs-bare#" + std::to_string(round)).c_str(), paired)
            ->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.2);
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    registerRounds();
    benchmark::Initialize(&argc, argv);
    RoundTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const std::vector<double>& ratios = reporter.ratios;
    if (ratios.empty()) return 1;
    const double bareTime = median(reporter.bareMs);
    std::printf("ratio send-stream/bare: %.3f (target at most 1.10; median of %zu rounds, %.3f..%.3f)  "
                "[bare %.3f ms CPU per second of audio]\n",
                median(ratios), ratios.size(), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), bareTime);
    // At the host's pace the encoder thread should sleep until a frame is
    // complete: one wait per encoder frame, not a look every millisecond.
    // Counted, so the number does not depend on the machine's load.
    std::vector<double> wakes, cpu;
    for (int round = 0; round < 3; ++round) {
        const Paced p = realTime();
        if (p.wakesPerFrame < 0) continue;
        wakes.push_back(p.wakesPerFrame);
        cpu.push_back(p.cpuShare * 1000);
    }
    if (!wakes.empty())
        std::printf("real time: encoder thread waits %.2f times per encoder frame (target at most 1.10; median of "
                    "%zu runs of 2 s)  [%.3f ms CPU per second of audio, bare encoding %.3f ms]\n",
                    median(wakes), wakes.size(), median(cpu), bareTime);
    return 0;
}
