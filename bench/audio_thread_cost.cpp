// What the plug-in costs the host's audio thread: time per processReplacing
// at 256 frames and 48 kHz with a connected session streaming both ways (a
// scripted partner sends MP3 audio in real time and takes the plug-in's),
// for one instance and for four summed in one block cycle, against the
// same calls without a partner in the same run. Printed as shares of the
// block period (256 / 48000 s); the target is under 0.5 % for one instance.
//
// The audio thread keeps real time: one block cycle per period, sleeping in
// between as a host's does, so caches, the encoder thread and the network
// thread behave as in use. Each benchmark iteration is one block cycle,
// timed by hand around the processReplacing calls only. Rounds with and
// without a partner alternate (the session is ended and made again in
// between) and each side is judged by its best round.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/StreamingPartner.h"
#include "trvcore/audio/AudioReceiveStream.h"
#include "trvcore/audio/AudioSendStream.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"

using namespace streamtest;

namespace {

constexpr int kInstances = 4;
constexpr int kCycles = 375;       // 2 s per round
constexpr int kWarmupCycles = 94;  // 0.5 s before each round, untimed
constexpr double kPeriodSeconds = kBlockFrames / kSampleRate;
constexpr auto kPeriod = std::chrono::nanoseconds(int64_t(1e9 * kBlockFrames / kSampleRate));
// A second of input, a whole number of blocks, played in a loop.
constexpr int kInputBlocks = 188;

StreamingWorld* gWorld = nullptr;
bool gWorldOk = false;
std::string gWorldFailure;

// Every instance's input and output buffers.
struct Buffers {
    std::vector<float> in[2];
    std::vector<float> out[kInstances][2];
    Buffers() {
        for (int ch = 0; ch < 2; ++ch) {
            in[ch].resize(size_t(kInputBlocks) * kBlockFrames);
            fillSignal(Signal::Input, ch, 0, in[ch].data(), static_cast<int>(in[ch].size()));
            for (auto& o : out) o[ch].assign(kBlockFrames, 0.0f);
        }
    }
};

Buffers& buffers() {
    static Buffers b;
    return b;
}

// Which instances are switched on; the others are suspended, as a host does
// with the ones it does not run.
int gResumed = kInstances;

void runInstances(int count) {
    for (int i = 0; i < kInstances; ++i) {
        AEffect* e = gWorld->effect(size_t(i));
        const bool want = i < count, on = i < gResumed;
        if (want && !on) StreamingHost::resume(e);
        if (!want && on) StreamingHost::suspend(e);
    }
    gResumed = count;
}

// A partner streaming to a connected session, or none at all.
bool arrange(bool partnered, std::string& why) {
    PartnerEnd& partner = gWorld->partner();
    if (partnered) {
        if (!gWorld->connect()) {
            why = gWorld->failure();
            return false;
        }
        if (!partner.startStreaming()) {
            why = "the partner's encoder did not start";
            return false;
        }
    } else {
        partner.stopStreaming();
        if (!gWorld->disconnect()) {
            why = gWorld->failure();
            return false;
        }
    }
    return true;
}

struct Stats {
    double meanNs = 0, medianNs = 0, p99Ns = 0;
    int64_t partnerFrames = 0;  // AudioFrames the partner took during the round
    int64_t decodedFrames = 0;  // frames the plug-in decoded during the round
};
std::map<std::string, Stats> gBest;

void cycles(benchmark::State& state, bool partnered, int instances) {
    std::string why;
    if (!gWorldOk) {
        state.SkipWithError(gWorldFailure.c_str());
        return;
    }
    if (!arrange(partnered, why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    runInstances(instances);
    Buffers& buf = buffers();
    StreamingHost& host = gWorld->host();
    AEffect* effects[kInstances];
    for (int i = 0; i < kInstances; ++i) effects[i] = gWorld->effect(size_t(i));
    std::vector<double> times;
    times.reserve(kCycles + 16);
    int block = 0;
    auto oneCycle = [&](bool timed) {
        const size_t at = size_t(block % kInputBlocks) * kBlockFrames;
        float* in[2] = {buf.in[0].data() + at, buf.in[1].data() + at};
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < instances; ++i) {
            float* out[2] = {buf.out[i][0].data(), buf.out[i][1].data()};
            effects[i]->processReplacing(effects[i], in, out, kBlockFrames);
        }
        const auto stop = std::chrono::steady_clock::now();
        host.endCycle(kBlockFrames);
        ++block;
        const double seconds = std::chrono::duration<double>(stop - start).count();
        if (timed) times.push_back(seconds);
        return seconds;
    };

    auto next = std::chrono::steady_clock::now();
    for (int b = 0; b < kWarmupCycles; ++b) {
        oneCycle(false);
        std::this_thread::sleep_until(next += kPeriod);
    }
    SessionRef session = gWorld->session();
    const int64_t partnerBefore = int64_t(gWorld->partner().audioFramesReceived());
    const int64_t decodedBefore = session ? session->receiveStream().decodedFrames() : 0;
    for (auto _ : state) {
        state.SetIterationTime(oneCycle(true));
        std::this_thread::sleep_until(next += kPeriod);
    }
    if (partnered && session) {
        const int64_t taken = int64_t(gWorld->partner().audioFramesReceived()) - partnerBefore;
        const int64_t decoded = session->receiveStream().decodedFrames() - decodedBefore;
        // Two seconds carry 83 encoder frames each way; half of that is
        // already no stream.
        if (taken < 40 || decoded < 40 * kPayloadFrames) {
            state.SkipWithError("the session did not stream both ways");
            return;
        }
    }
    if (times.empty()) return;
    std::sort(times.begin(), times.end());
    Stats s;
    for (double t : times) s.meanNs += t * 1e9;
    s.meanNs /= double(times.size());
    s.medianNs = times[times.size() / 2] * 1e9;
    s.p99Ns = times[std::min(times.size() - 1, times.size() * 99 / 100)] * 1e9;
    if (session) {
        s.partnerFrames = int64_t(gWorld->partner().audioFramesReceived()) - partnerBefore;
        s.decodedFrames = session->receiveStream().decodedFrames() - decodedBefore;
    }
    state.counters["median_ns"] = s.medianNs;
    state.counters["p99_ns"] = s.p99Ns;
    const std::string name = std::string(partnered ? "partnered" : "alone") + (instances == 1 ? "/one" : "/four");
    auto it = gBest.find(name);
    if (it == gBest.end() || s.meanNs < it->second.meanNs) gBest[name] = s;
}

// The machine is shared, so its load drifts: the two sides alternate over
// several rounds.
constexpr int kRounds = 3;

void registerRounds() {
    for (int round = 1; round <= kRounds; ++round) {
        const std::string suffix = "#" + std::to_string(round);
        for (bool partnered : {false, true})
            for (int instances : {1, kInstances}) {
                const std::string name = std::string(partnered ? "partnered" : "alone") +
                                         (instances == 1 ? "/one" : "/four") + suffix;
                benchmark::RegisterBenchmark(name.c_str(), [partnered, instances](benchmark::State& s) {
                    cycles(s, partnered, instances);
                })
                    ->Iterations(kCycles)
                    ->UseManualTime()
                    ->Unit(benchmark::kMicrosecond);
            }
    }
}

double share(double ns) { return ns * 1e-9 / kPeriodSeconds * 100.0; }

}  // namespace

int main(int argc, char** argv) {
    StreamingWorld world;
    gWorld = &world;
    gWorldOk = world.open();
    for (int i = 1; gWorldOk && i < kInstances; ++i) gWorldOk = world.addInstance() != nullptr;
    if (!gWorldOk) gWorldFailure = world.failure().empty() ? "no instance" : world.failure();
    registerRounds();
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    gWorld->partner().stopStreaming();

    std::printf("block period: %.1f us (%d frames at %.0f Hz); target: under 0.5 %% for one instance\n",
                kPeriodSeconds * 1e6, kBlockFrames, kSampleRate);
    const struct {
        const char* label;
        const char* key;
        int instances;
    } lines[] = {{"one instance", "one", 1}, {"four instances", "four", kInstances}};
    for (const auto& l : lines) {
        const auto with = gBest.find(std::string("partnered/") + l.key);
        const auto without = gBest.find(std::string("alone/") + l.key);
        if (with == gBest.end() || without == gBest.end()) continue;
        const Stats& w = with->second;
        const Stats& a = without->second;
        std::printf("share %s: %.3f %%  [streaming %.0f ns per cycle (median %.0f, p99 %.0f), %.0f ns per "
                    "instance; %lld AudioFrames sent, %lld frames decoded]\n",
                    l.label, share(w.meanNs), w.meanNs, w.medianNs, w.p99Ns, w.meanNs / l.instances,
                    static_cast<long long>(w.partnerFrames), static_cast<long long>(w.decodedFrames));
        std::printf("  without partner: %.3f %% (%.0f ns per cycle, median %.0f); ratio streaming/without: %.2f\n",
                    share(a.meanNs), a.meanNs, a.medianNs, a.meanNs > 0 ? w.meanNs / a.meanNs : 0.0);
    }
    return 0;
}
