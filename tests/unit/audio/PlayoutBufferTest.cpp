// The playout buffer when free-running: the 256-frame reserve, order and
// integrity across blocks and slots, the partner's rate, overflow and the
// adaptation of the tolerated backlog, and the AudioFrame header fields.
#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/audio/AudioTestSupport.h"
#include "trvcore/audio/PlayoutBuffer.h"

using namespace audiotest;

namespace {

class PlayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(buffer.valid());
        fakeTickValue() = 1000;
        buffer.setTickSource(&fakeTick);
        std::memset(&info, 0, sizeof info);
        info.sampleRate = 48000;
    }

    // A frame whose samples name their place in the partner's stream:
    // left = n, right = -n for stream frame n (exact in a float up to 2^24).
    bool pushRamp(int frames) {
        Stereo s(static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i) {
            s.left[static_cast<size_t>(i)] = static_cast<float>(pushed + i);
            s.right[static_cast<size_t>(i)] = -static_cast<float>(pushed + i);
        }
        const float* ch[2] = {s.left.data(), s.right.data()};
        const bool ok = buffer.push(ch, 2, frames, pushed);
        if (ok) pushed += frames;
        return ok;
    }
    // Reads one block of `frames` into fresh buffers filled with a marker.
    int read(int frames) {
        out = Stereo(static_cast<size_t>(frames));
        std::fill(out.left.begin(), out.left.end(), -7.0f);
        std::fill(out.right.begin(), out.right.end(), -7.0f);
        return buffer.read(info, out.pointers(), 2, frames);
    }
    bool silent() const {
        return allZero(out.left.data(), out.frames()) && allZero(out.right.data(), out.frames());
    }
    // A backlog just above the tolerated one, then one read: an overflow.
    void overflowAt(uint32_t tick) {
        fakeTickValue() = tick;
        // The audio thread reads all the time; an empty read changes nothing
        // but lets the reader's slot go (see TheFrameRightAfterAnOverflowIsKept).
        if (buffer.queuedFrames() == 0) read(64);
        const int limit = static_cast<int>(48000 * buffer.maxLatency());
        for (int i = 0; i < 100 && buffer.queuedFrames() <= limit; ++i) pushRamp(1152);
        ASSERT_GT(buffer.queuedFrames(), limit);
        const int before = buffer.overflowCount();
        EXPECT_EQ(read(256), 0);
        EXPECT_EQ(buffer.overflowCount(), before + 1);
    }

    PlayoutBuffer buffer;
    VstTimeInfo info;
    Stereo out;
    int64_t pushed = 0;
};

}  // namespace

TEST_F(PlayoutTest, AFramePlaysOnlyOnce256FramesAreQueuedBeyondTheReader) {
    ASSERT_TRUE(pushRamp(255));
    read(64);
    EXPECT_TRUE(silent()) << "255 frames are not yet enough";
    EXPECT_EQ(buffer.queuedFrames(), 255);

    ASSERT_TRUE(pushRamp(1));  // 256 queued: the first slot is due
    EXPECT_EQ(read(64), 64);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(out.left[size_t(i)], float(i));
        ASSERT_EQ(out.right[size_t(i)], -float(i));
    }
    // The rest of the first slot plays; the one-frame slot waits for 256
    // frames more behind it.
    read(256);
    for (int i = 0; i < 191; ++i) ASSERT_EQ(out.left[size_t(i)], float(64 + i));
    EXPECT_TRUE(allZero(out.left.data() + 191, 256 - 191));
    EXPECT_TRUE(allZero(out.right.data() + 191, 256 - 191));
    EXPECT_EQ(buffer.queuedFrames(), 1);
}

TEST_F(PlayoutTest, SamplesComeOutInOrderAndIntactAcrossBlocksAndSlots) {
    // Slots of uneven sizes read in blocks that never line up with them;
    // 5760 frames stay below the 6000-frame backlog limit.
    for (int frames : {1152, 700, 1152, 1, 1603, 1152}) ASSERT_TRUE(pushRamp(frames));
    ASSERT_EQ(pushed, 5760);
    std::vector<float> left, right;
    while (left.size() < 6000) {
        read(97);
        left.insert(left.end(), out.left.begin(), out.left.end());
        right.insert(right.end(), out.right.begin(), out.right.end());
    }
    for (size_t i = 0; i < 5760; ++i) {
        ASSERT_EQ(left[i], float(i)) << i;
        ASSERT_EQ(right[i], -float(i)) << i;
    }
    EXPECT_TRUE(allZero(left.data() + 5760, left.size() - 5760));
    EXPECT_TRUE(allZero(right.data() + 5760, right.size() - 5760));
    EXPECT_EQ(buffer.queuedFrames(), 0);
    EXPECT_EQ(buffer.overflowCount(), 0);
}

TEST_F(PlayoutTest, OneChannelAskedGetsTheLeftOnly) {
    ASSERT_TRUE(pushRamp(1152));
    std::vector<float> mono(128, 5.0f), untouched(128, 5.0f);
    float* ch[2] = {mono.data(), untouched.data()};
    EXPECT_EQ(buffer.read(info, ch, 1, 128), 128);
    for (int i = 0; i < 128; ++i) ASSERT_EQ(mono[size_t(i)], float(i));
    EXPECT_EQ(untouched, std::vector<float>(128, 5.0f));
}

TEST_F(PlayoutTest, APartnerRateOtherThanTheHostsGivesSilenceAndZero) {
    PeerMessage m;
    AudioFrameHeader h;
    h.sampleRate = 44100;
    uint8_t payload[4] = {1, 2, 3, 4};
    ASSERT_TRUE(buildAudioFrame(m, h, payload, sizeof payload));
    buffer.updateFromHeader(m);
    EXPECT_EQ(buffer.partnerRate(), 44100);
    ASSERT_TRUE(pushRamp(2000));
    EXPECT_EQ(read(256), 0);
    EXPECT_TRUE(silent());
    // A host at the partner's rate plays it.
    info.sampleRate = 44100;
    EXPECT_EQ(read(256), 256);
    EXPECT_EQ(out.left[255], 255.0f);
}

TEST_F(PlayoutTest, ABacklogAboveAnEighthOfASecondIsThrownAwayAndTheToleranceGrows) {
    // 6000 frames at 48 kHz are tolerated...
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(pushRamp(1200));
    EXPECT_EQ(read(100), 100);
    EXPECT_EQ(buffer.overflowCount(), 0);
    EXPECT_DOUBLE_EQ(buffer.maxLatency(), 0.125);
    // ...6001 are not (a slot counts in full until it has been played out).
    ASSERT_TRUE(pushRamp(1));
    ASSERT_EQ(buffer.queuedFrames(), 6001);
    EXPECT_EQ(read(256), 0);
    EXPECT_TRUE(silent());
    EXPECT_EQ(buffer.queuedFrames(), 0);
    EXPECT_EQ(buffer.overflowCount(), 1);
    EXPECT_NEAR(buffer.maxLatency(), 0.175, 1e-9);
}

namespace {
// A tick source that, on its second call inside a read, has the "network
// thread" push a backlog: the overflow then strikes part-way through a block.
PlayoutTest* gBacklogPusher = nullptr;
int gTicks = 0;
uint32_t tickThatPushesABacklog();
}  // namespace

class PlayoutRaceTest : public PlayoutTest {
public:
    void pushBacklog() {
        for (int i = 0; i < 6; ++i) pushRamp(1152);
    }
};

namespace {
uint32_t tickThatPushesABacklog() {
    if (++gTicks == 2 && gBacklogPusher) static_cast<PlayoutRaceTest*>(gBacklogPusher)->pushBacklog();
    return fakeTick();
}
}  // namespace

TEST_F(PlayoutRaceTest, AnOverflowPartWayThroughABlockKeepsTheFramesAlreadyPlayed) {
    ASSERT_TRUE(pushRamp(300));
    ASSERT_TRUE(pushRamp(300));
    gBacklogPusher = this;
    gTicks = 0;
    buffer.setTickSource(&tickThatPushesABacklog);
    EXPECT_EQ(read(1152), 300);
    gBacklogPusher = nullptr;
    EXPECT_EQ(buffer.overflowCount(), 1);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(out.left[static_cast<size_t>(i)], float(i)) << i;
    EXPECT_TRUE(allZero(out.left.data() + 300, 1152 - 300));
    EXPECT_TRUE(allZero(out.right.data() + 300, 1152 - 300));
}

TEST_F(PlayoutTest, TheFrameRightAfterAnOverflowIsKept) {
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(pushRamp(1152));
    ASSERT_EQ(read(256), 0);
    ASSERT_EQ(buffer.overflowCount(), 1);
    // The network thread's next frame goes in and plays after the reserve.
    const int64_t next = pushed;
    EXPECT_TRUE(pushRamp(300));
    EXPECT_EQ(buffer.queuedFrames(), 300);
    EXPECT_EQ(read(32), 32);
    EXPECT_EQ(out.left[0], float(next));
}

TEST_F(PlayoutTest, OverflowsWithinTenSecondsClimbToAtMostAboutThreeQuartersOfASecond) {
    uint32_t tick = 1000;
    double expected = 0.125;
    for (int i = 0; i < 14; ++i) {
        SCOPED_TRACE(i);
        overflowAt(tick);
        if (expected < 0.7) expected += 0.05;
        EXPECT_NEAR(buffer.maxLatency(), expected, 1e-9);
        tick += 10000;  // exactly ten seconds apart still counts as "within"
    }
    EXPECT_NEAR(buffer.maxLatency(), 0.725, 1e-9);
    EXPECT_EQ(buffer.overflowCount(), 14);
}

TEST_F(PlayoutTest, AnOverflowLongAfterTheLastChangeDoesNotGrowTheTolerance) {
    overflowAt(1000);
    EXPECT_NEAR(buffer.maxLatency(), 0.175, 1e-9);
    overflowAt(11001);  // 10.001 s later
    EXPECT_NEAR(buffer.maxLatency(), 0.175, 1e-9);
    overflowAt(21001);  // within ten seconds of the last overflow again
    EXPECT_NEAR(buffer.maxLatency(), 0.225, 1e-9);
}

TEST_F(PlayoutTest, AQuietTwentySecondsShrinksTheToleranceOnlyWhileAboveHalfASecond) {
    uint32_t tick = 1000;
    for (int i = 0; i < 12; ++i, tick += 1000) overflowAt(tick);
    ASSERT_NEAR(buffer.maxLatency(), 0.725, 1e-9);
    uint32_t last = tick - 1000;

    // Shrinking needs audio to read; keep a little queued.
    auto playAt = [&](uint32_t t) {
        fakeTickValue() = t;
        if (buffer.queuedFrames() < 1024 && !pushRamp(1152)) {
            // Right after an overflow the reader still holds its slot (see
            // TheFrameRightAfterAnOverflowIsKept); an empty read lets go.
            read(64);
            pushRamp(1152);
        }
        ASSERT_GE(buffer.queuedFrames(), 1024);
        EXPECT_EQ(read(64), 64);
    };
    playAt(last + 20000);  // exactly 20 s: not yet
    EXPECT_NEAR(buffer.maxLatency(), 0.725, 1e-9);
    const double steps[] = {0.675, 0.625, 0.575, 0.525, 0.475};
    for (double expected : steps) {
        playAt(last + 20001);
        last += 20001;
        EXPECT_NEAR(buffer.maxLatency(), expected, 1e-9);
        playAt(last + 10000);  // a quiet ten seconds change nothing
        EXPECT_NEAR(buffer.maxLatency(), expected, 1e-9);
    }
    // At or below half a second it stays.
    playAt(last + 60000);
    EXPECT_NEAR(buffer.maxLatency(), 0.475, 1e-9);
    EXPECT_EQ(buffer.overflowCount(), 12);
}

TEST_F(PlayoutTest, NothingShrinksBeforeTheFirstOverflow) {
    fakeTickValue() = 500000;
    ASSERT_TRUE(pushRamp(1152));
    EXPECT_EQ(read(64), 64);
    EXPECT_DOUBLE_EQ(buffer.maxLatency(), 0.125);
}

TEST_F(PlayoutTest, HeaderFieldsAreTakenFromTheirOffsets) {
    // Written byte by byte, so the offsets are checked and not the builder.
    PeerMessage m;
    ASSERT_TRUE(m.begin(MessageKind::AudioFrame, 40));
    put32(m, 12, 0x00012345);  // transportStart
    put32(m, 16, 777);         // streamAtTransportStart
    put32(m, 20, 1152);        // streamPosition
    put32(m, 24, 32000);       // sampleRate
    put16(m, 28, kCodecMp3);
    put16(m, 30, 2);
    put16(m, 32, 9);
    put16(m, 34, 0x0006);  // playing and cycle
    buffer.updateFromHeader(m);
    EXPECT_EQ(buffer.partnerRate(), 32000);
    EXPECT_EQ(buffer.partnerFlags(), 6u);
    EXPECT_EQ(buffer.partnerStart(), 0x00012345);
    EXPECT_EQ(buffer.partnerCounterAtStart(), 777u);

    // Only the 16 bits at 34 are the flags.
    put32(m, 34, 0xABCD0002);
    buffer.updateFromHeader(m);
    EXPECT_EQ(buffer.partnerFlags(), 2u);
}

TEST_F(PlayoutTest, TransportStartsJustBelowZeroAreNegativeTheRestUnsigned) {
    PeerMessage m;
    AudioFrameHeader h;
    h.sampleRate = 48000;
    ASSERT_TRUE(buildAudioFrame(m, h, nullptr, 0));
    struct Case {
        uint32_t wire;
        int64_t start;
    } cases[] = {
        {0xFFFFF733u, -2253},        // a transport started at 0, less the encoder latency
        {0xFFFFFFFFu, -1},
        {0xFFFF0001u, -65535},
        {0xFFFF0000u, 0xFFFF0000LL},  // the boundary itself is a position
        {0x80000000u, 0x80000000LL},  // above 2^31 samples: still a position
        {0u, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wire);
        put32(m, 12, c.wire);
        buffer.updateFromHeader(m);
        EXPECT_EQ(buffer.partnerStart(), c.start);
    }
}

TEST_F(PlayoutTest, TooShortAHeaderChangesNothing) {
    PeerMessage m;
    ASSERT_TRUE(m.begin(MessageKind::AudioFrame, 20));
    put32(m, 24, 22050);  // beyond the message
    buffer.updateFromHeader(m);
    EXPECT_EQ(buffer.partnerRate(), 48000);
}

TEST_F(PlayoutTest, PushingNoFramesFails) {
    float a[4] = {1, 2, 3, 4};
    const float* ch[2] = {a, a};
    EXPECT_FALSE(buffer.push(ch, 2, 0, 0));
    EXPECT_EQ(buffer.queuedFrames(), 0);
    EXPECT_TRUE(buffer.push(ch, 2, 4, 0));
    EXPECT_EQ(buffer.queuedFrames(), 4);
}

TEST_F(PlayoutTest, ResetAndSyncSwitchEmptyTheQueue) {
    ASSERT_TRUE(pushRamp(2000));
    buffer.reset();
    EXPECT_EQ(buffer.queuedFrames(), 0);
    read(256);
    EXPECT_TRUE(silent());

    ASSERT_TRUE(pushRamp(2000));
    buffer.setSyncEnabled(false);
    EXPECT_FALSE(buffer.syncEnabled());
    EXPECT_EQ(buffer.queuedFrames(), 0);
    read(256);
    EXPECT_TRUE(silent());

    // Still free-running afterwards, from the next frame pushed.
    const int64_t next = pushed;
    ASSERT_TRUE(pushRamp(1152));
    EXPECT_EQ(read(64), 64);
    EXPECT_EQ(out.left[0], float(next));
    buffer.setSyncEnabled(true);
    EXPECT_TRUE(buffer.syncEnabled());
    EXPECT_EQ(buffer.queuedFrames(), 0);
}
