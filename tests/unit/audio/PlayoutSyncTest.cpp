// The playout buffer placing the partner's audio at the local song position
// equal to the partner's: entering and leaving sync with the partner's
// transport, silence before a frame, frames in the past, partly played
// frames, loops on both sides, monitor mode, and the time code located at
// the partner's start.
#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/audio/AudioTestSupport.h"
#include "trvcore/audio/PlayoutBuffer.h"
#include "trvcore/sync/MtcGenerator.h"
#include "trvcore/trvnetwork/MediaMessages.h"

using namespace audiotest;

namespace {

constexpr int kBlock = 256;

class PlayoutSyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(buffer.valid());
        buffer.setTickSource(&fakeTick);
        std::memset(&local, 0, sizeof local);
        local.sampleRate = 48000;
        local.tempo = 120;
    }
    // The partner's transport as its AudioFrames stamp it: it started at
    // song position `start` when its stream counter stood at 0.
    void partner(int64_t start, bool playing, bool cycle = false) {
        AudioFrameHeader h;
        h.transportStart = static_cast<int32_t>(start);
        h.sampleRate = 48000;
        h.transportFlags = static_cast<uint16_t>((playing ? kVstTransportPlaying : 0) |
                                                 (cycle ? kVstTransportCycleActive : 0));
        PeerMessage m;
        ASSERT_TRUE(buildAudioFrame(m, h, nullptr, 0));
        buffer.updateFromHeader(m);
    }
    // A frame of the partner's stream at stream position `stamp`: sample i
    // holds stamp + i, so every output sample names its stream position.
    void push(int64_t stamp, int frames = 1152) {
        std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i) l[size_t(i)] = r[size_t(i)] = static_cast<float>(stamp + i);
        const float* ch[2] = {l.data(), r.data()};
        ASSERT_TRUE(buffer.push(ch, 2, frames, stamp));
    }
    void localAt(int64_t position, bool playing, bool cycle = false) {
        local.samplePos = static_cast<double>(position);
        local.flags = (playing ? kVstTransportPlaying : 0) | (cycle ? kVstTransportCycleActive : 0);
    }
    std::vector<float> read(MtcGenerator* generator = nullptr) {
        out = Stereo(kBlock);
        buffer.read(local, out.pointers(), 2, kBlock, generator);
        return out.left;
    }

    PlayoutBuffer buffer;
    VstTimeInfo local;
    Stereo out;
};

}  // namespace

TEST_F(PlayoutSyncTest, FramesPlayAtThePartnersSongPosition) {
    partner(48000, true);
    push(0);
    localAt(40000, false);
    MtcGenerator timeCode;
    timeCode.setSampleRate(48000);
    timeCode.setFrameRate(0);
    read(&timeCode);  // enters sync: what was queued goes
    EXPECT_TRUE(buffer.synced());
    EXPECT_TRUE(timeCode.running()) << "the local host stood: the time code starts at the partner's position";
    EXPECT_EQ(buffer.queuedFrames(), 0);

    // Stream position 1152 is partner song position 49152; the local block
    // starts 100 frames before it.
    push(1152);
    localAt(49052, true);
    const std::vector<float> a = read();
    for (int i = 0; i < 100; ++i) ASSERT_EQ(a[size_t(i)], 0.0f) << i;
    for (int i = 100; i < kBlock; ++i) ASSERT_EQ(a[size_t(i)], float(1152 + i - 100)) << i;

    // A local block that starts 500 frames into the next frame plays it
    // from there; a frame wholly before the block is dropped.
    push(2304);
    push(3456);
    localAt(48000 + 2304 + 500, true);
    const std::vector<float> b = read();
    for (int i = 0; i < kBlock; ++i) ASSERT_EQ(b[size_t(i)], float(2304 + 500 + i)) << i;
    localAt(48000 + 4608 + 10, true);
    push(4608);
    const std::vector<float> c = read();
    EXPECT_EQ(c[0], float(4608 + 10)) << "the frame at 3456 lay in the past and was dropped";

    // The local transport stops: silence, nothing consumed.
    localAt(60000, false);
    EXPECT_TRUE(allZero(read().data(), kBlock));

    // The partner stops: sync ends, the time code stops, free-running again.
    partner(48000, false);
    timeCode.locate(0);
    read(&timeCode);
    EXPECT_FALSE(buffer.synced());
    EXPECT_FALSE(timeCode.running());
}

TEST_F(PlayoutSyncTest, LoopsOnBothSidesKeepTheFramesAlignedAcrossWraps) {
    // A loop from quarter 16 to 24 at 120 BPM: song positions 384000..576000.
    local.cycleStartPos = 16;
    local.cycleEndPos = 24;
    const int64_t start = 384000, length = 192000;
    partner(start, true, true);  // the partner started at the loop start
    localAt(start, true, true);
    push(0);
    read();  // enters sync
    ASSERT_TRUE(buffer.synced());
    for (int wrap = 0; wrap < 3; ++wrap) {
        SCOPED_TRACE(wrap);
        // The partner's stream runs on past the loop end while its host
        // wraps; the frame after each wrap plays at the loop start.
        const int64_t stamp = (wrap + 1) * length - kBlock;
        push(stamp, kBlock);
        push(stamp + kBlock, kBlock);
        localAt(start + length - kBlock, true, true);
        const std::vector<float> before = read();
        EXPECT_EQ(before[0], float(stamp));
        localAt(start, true, true);
        const std::vector<float> after = read();
        EXPECT_EQ(after[0], float(stamp + kBlock)) << "one cycle's length came off, not a frame more";
        EXPECT_EQ(after[kBlock - 1], float(stamp + 2 * kBlock - 1));
    }
}

TEST_F(PlayoutSyncTest, MonitorModeAndStampsBeforeTheSongStartStayFreeRunning) {
    partner(-5000, true);  // a stamp before the song start
    push(0);
    localAt(0, true);
    read();
    EXPECT_FALSE(buffer.synced());
    EXPECT_EQ(read()[0], 256.0f) << "played as it arrived, 256 frames behind";

    PlayoutBuffer monitored;
    monitored.setSyncEnabled(false);
    AudioFrameHeader h;
    h.transportStart = 48000;
    h.sampleRate = 48000;
    h.transportFlags = kVstTransportPlaying;
    PeerMessage m;
    ASSERT_TRUE(buildAudioFrame(m, h, nullptr, 0));
    monitored.updateFromHeader(m);
    std::vector<float> l(1152, 0.5f);
    const float* ch[2] = {l.data(), l.data()};
    ASSERT_TRUE(monitored.push(ch, 2, 1152, 0));
    out = Stereo(kBlock);
    monitored.read(local, out.pointers(), 2, kBlock);
    EXPECT_FALSE(monitored.synced());
    EXPECT_EQ(out.left[0], 0.5f);
}
