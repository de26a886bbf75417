// The audio thread allocates nothing: a connected plug-in streams both ways
// with a scripted partner while a dedicated audio thread runs one and then
// two instances in real time, 256 frames a block at 48 kHz, with every
// processReplacing counted by this program's allocation functions. The
// run also shows that the audio really went both ways, so a path that
// did nothing cannot pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "tests/alloc/CountingAllocator.h"
#include "tests/support/StreamingPartner.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"

using namespace streamtest;

namespace {

// Keeps the compiler from leaving out an allocation whose result is unused.
void* volatile gEscape = nullptr;

constexpr int kBlocks = 564;              // about 3 s
constexpr int kWarmupBlocks = 94;         // 0.5 s, not counted
constexpr int kSecondJoinsAfter = 282;    // the second instance is added after about 1.5 s
constexpr size_t kRunFrames = size_t(kBlocks) * kBlockFrames;
constexpr double kInstanceGain = 0.5;     // each instance's input: half the test signal
constexpr auto kBlockPeriod = std::chrono::nanoseconds(int64_t(1e9 * kBlockFrames / kSampleRate));

std::string keptCallsText() {
    alloccount::Call calls[alloccount::kKeptCalls];
    const int n = alloccount::keptCalls(calls, alloccount::kKeptCalls);
    std::string text;
    for (int i = 0; i < n; ++i) text += "\n  " + alloccount::describe(calls[i]);
    return text;
}

// Level of x[from, from + count) against the signal it carries at `lag`.
double gainAt(const std::vector<float>& x, size_t from, size_t count, Signal s, int channel, int64_t lag) {
    const int64_t start = static_cast<int64_t>(from) - lag;
    if (start < 0) return 0.0;
    std::vector<float> ref(count);
    fillSignal(s, channel, start, ref.data(), static_cast<int>(count));
    const double level = rms(ref, 0, count);
    return level > 0 ? rms(x, from, count) / level : 0.0;
}

// One instance's stereo input and what it played, over the whole run.
struct Track {
    std::vector<float> in[2], out[2];
    Track() {
        for (int ch = 0; ch < 2; ++ch) {
            in[ch].resize(kRunFrames);
            out[ch].assign(kRunFrames, 0.0f);
            fillSignal(Signal::Input, ch, 0, in[ch].data(), static_cast<int>(kRunFrames));
            for (float& v : in[ch]) v = static_cast<float>(v * kInstanceGain);
        }
    }
};

}  // namespace

TEST(ProcessAllocationTest, CountsWhatAFlaggedThreadAllocatesAndNothingElse) {
    alloccount::reset();
    {
        alloccount::Scope counted;
        gEscape = new int(7);
        delete static_cast<int*>(gEscape);
        gEscape = new (std::nothrow) double[3];
        delete[] static_cast<double*>(gEscape);
        struct alignas(64) Wide {
            float lanes[16];
        };
        gEscape = new Wide;
        delete static_cast<Wide*>(gEscape);
        std::vector<float> grown(1000);
        gEscape = grown.data();
    }
    const alloccount::Counts flagged = alloccount::counts();
    EXPECT_EQ(flagged.allocations, 4u);
    EXPECT_EQ(flagged.releases, 4u);

    std::thread other([] {
        std::vector<int> v(100);
        gEscape = v.data();
    });
    other.join();
    gEscape = new int(1);
    delete static_cast<int*>(gEscape);
    EXPECT_EQ(alloccount::counts().allocations, flagged.allocations) << "an unflagged thread was counted";

    if (alloccount::countsCFunctions()) {
        alloccount::reset();
        {
            alloccount::Scope counted;
            gEscape = std::malloc(24);
            gEscape = std::realloc(gEscape, 4000);
            std::free(gEscape);
        }
        EXPECT_EQ(alloccount::counts().allocations, 2u);
        EXPECT_EQ(alloccount::counts().releases, 1u);
    }
    alloccount::reset();
}

TEST(ProcessAllocationTest, StreamingBothWaysAllocatesNothingOnTheAudioThread) {
    StreamingWorld world;
    ASSERT_TRUE(world.open()) << world.failure();
    ASSERT_TRUE(world.connect()) << world.failure();
    SessionRef session = world.session();
    ASSERT_TRUE(session);
    world.plugin(0)->setThru(false);  // the outputs carry the partner only
    ASSERT_TRUE(world.partner().startStreaming());

    Track tracks[2];
    std::atomic<AEffect*> second{nullptr};
    std::atomic<int> joinedAt{-1};
    std::atomic<bool> finished{false};
    AEffect* first = world.effect(0);
    StreamingHost& host = world.host();
    const auto audioStart = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);

    alloccount::reset();
    std::thread audio([&] {
        for (int b = 0; b < kBlocks; ++b) {
            std::this_thread::sleep_until(audioStart + b * kBlockPeriod);
            AEffect* effects[2] = {first, second.load()};
            if (effects[1] && joinedAt.load() < 0) joinedAt.store(b);
            const size_t at = size_t(b) * kBlockFrames;
            for (int i = 0; i < 2; ++i) {
                AEffect* e = effects[i];
                if (!e) continue;
                float* in[2] = {tracks[i].in[0].data() + at, tracks[i].in[1].data() + at};
                float* out[2] = {tracks[i].out[0].data() + at, tracks[i].out[1].data() + at};
                alloccount::setCounting(b >= kWarmupBlocks);
                e->processReplacing(e, in, out, kBlockFrames);
                alloccount::setCounting(false);
            }
            host.endCycle(kBlockFrames);
        }
        finished.store(true);
    });

    // A second instance joins while the first plays, as a host adds one
    // during playback: made and switched on here, then handed to the audio
    // thread.
    std::this_thread::sleep_until(audioStart + kSecondJoinsAfter * kBlockPeriod);
    AEffect* added = world.addInstance();
    if (added) {
        world.plugin(1)->setThru(false);
        second.store(added);
    }
    audio.join();
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(world.plugin(1)->partner(), session.get()) << "the added instance shares the session";

    const alloccount::Counts c = alloccount::counts();
    EXPECT_EQ(c.allocations, 0u) << "allocations on the audio thread:" << keptCallsText();
    EXPECT_EQ(c.releases, 0u) << "releases on the audio thread:" << keptCallsText();
    const int joined = joinedAt.load();
    ASSERT_GT(joined, kWarmupBlocks);
    ASSERT_LT(joined, kBlocks - 94) << "the second instance ran for less than half a second";
    EXPECT_GT(host.timeRequests(), 0u);

    // The partner's signal came out of the first instance: found in its
    // output at one lag in both channels. The lag is what passed between the
    // partner encoding a sample and the instance playing it: the partner
    // started streaming before the audio thread, and codec, network and
    // playout buffer add under a second. The best of a few windows in the
    // last second counts, so one late wake-up of a loaded machine does not.
    const size_t window = 4800;
    const double head = std::chrono::duration<double>(audioStart - world.partner().streamStart()).count();
    const int64_t lead = static_cast<int64_t>(head * kSampleRate);
    Match played;
    size_t from = 0;
    for (int w = 0; w < 4 && played.correlation < 0.95; ++w) {
        const size_t at = kRunFrames - kBlockFrames - window - size_t(w) * 12000;
        const Match m = bestMatch(tracks[0].out[0], at, window, Signal::Partner, 0,
                                  -lead - int64_t(0.3 * kSampleRate), -lead + int64_t(1.5 * kSampleRate));
        if (m.correlation > played.correlation) played = m, from = at;
    }
    EXPECT_GT(rms(tracks[0].out[0], from, window), 0.08);
    EXPECT_GT(played.correlation, 0.9) << "partner's left channel not found in the output";
    EXPECT_GT(correlationAt(tracks[0].out[1], from, window, Signal::Partner, 1, played.lag), 0.9)
        << "the right channel does not follow the left at lag " << played.lag;

    // Every instance with receive on plays the same partner audio.
    const size_t secondFrom = size_t(joined + 1) * kBlockFrames;
    float largest = 0, difference = 0;
    for (int ch = 0; ch < 2; ++ch)
        for (size_t k = secondFrom; k < kRunFrames; ++k) {
            largest = std::max(largest, std::fabs(tracks[1].out[ch][k]));
            difference = std::max(difference, std::fabs(tracks[1].out[ch][k] - tracks[0].out[ch][k]));
        }
    EXPECT_GT(largest, 0.1f) << "the added instance played nothing";
    EXPECT_LT(difference, 1e-6f) << "the two instances played different audio";

    // What the plug-in sent: its instances' inputs summed, decodable at the
    // partner. Stream positions count captured frames, so position p holds
    // host frame p - lag; the lag is the encoder's latency plus any blocks
    // the stream did not capture.
    world.partner().stopStreaming();
    int failures = -1;
    const Timeline sent = world.partner().decodeReceived(&failures);
    EXPECT_EQ(failures, 0);
    ASSERT_GT(sent.end - std::max<int64_t>(sent.first, 0), int64_t(2.0 * kSampleRate))
        << "the partner decoded less than 2 s of the plug-in's audio";
    const int64_t lateFrom = sent.end - int64_t(0.3 * kSampleRate);
    const Match sum = bestMatch(sent.left, size_t(lateFrom), 2400, Signal::Input, 0, lateFrom - int64_t(kRunFrames),
                                lateFrom + 48000);
    EXPECT_GT(sum.correlation, 0.9) << "the instances' input is not in what the partner decoded";
    EXPECT_GT(correlationAt(sent.right, size_t(lateFrom), 2400, Signal::Input, 1, sum.lag), 0.9);

    // Before the second instance joined, one input of half the signal; after,
    // two summed: twice the level.
    const int64_t soloHost = int64_t(joined) * kBlockFrames - int64_t(0.4 * kSampleRate);
    const int64_t soloAt = soloHost + sum.lag;
    ASSERT_GE(soloAt, std::max<int64_t>(sent.first, 0));
    const Match solo = bestMatch(sent.left, size_t(soloAt), 2400, Signal::Input, 0, sum.lag - 2048, sum.lag + 2048);
    EXPECT_GT(solo.correlation, 0.9);
    const double soloGain = gainAt(sent.left, size_t(soloAt), 2400, Signal::Input, 0, solo.lag);
    const double sumGain = gainAt(sent.left, size_t(lateFrom), 2400, Signal::Input, 0, sum.lag);
    EXPECT_NEAR(sumGain, 2 * kInstanceGain, 0.15) << "two instances' inputs summed";
    EXPECT_NEAR(soloGain, kInstanceGain, 0.08) << "one instance's input";
}
