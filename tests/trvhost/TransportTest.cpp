#include <gtest/gtest.h>

#include <cmath>

#include "tools/trvhost/Transport.h"

namespace {

VstTimeInfo request(Transport& t, VstIntPtr mask, double nanos = 5.0e9) {
    VstTimeInfo info;
    t.fill(info, mask, nanos);
    return info;
}

constexpr VstIntPtr kMusical = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;

}  // namespace

TEST(HostTransport, WithoutRequestOnlyPositionRateClockAndSmpteAreValid) {
    Transport t(48000.0, 120.0);
    t.locate(4800);
    const VstTimeInfo info = request(t, 0, 123.0);
    EXPECT_EQ(info.samplePos, 4800.0);
    EXPECT_EQ(info.sampleRate, 48000.0);
    EXPECT_EQ(info.nanoSeconds, 123.0);
    EXPECT_EQ(info.flags, kVstNanosValid | kVstSmpteValid);
    // Fields not asked for are junk, so a plug-in that reads them anyway
    // notices.
    EXPECT_TRUE(std::isnan(info.tempo));
    EXPECT_TRUE(std::isnan(info.ppqPos));
    EXPECT_TRUE(std::isnan(info.barStartPos));
    EXPECT_NE(info.timeSigNumerator, 4);
}

TEST(HostTransport, FillsOnlyTheRequestedMusicalFields) {
    Transport t(48000.0, 120.0);
    const VstTimeInfo tempoOnly = request(t, kVstTempoValid);
    EXPECT_EQ(tempoOnly.flags, kVstNanosValid | kVstSmpteValid | kVstTempoValid);
    EXPECT_EQ(tempoOnly.tempo, 120.0);
    EXPECT_TRUE(std::isnan(tempoOnly.ppqPos));

    const VstTimeInfo all = request(t, kMusical);
    EXPECT_EQ(all.flags & kMusical, kMusical);
    EXPECT_EQ(all.timeSigNumerator, 4);
    EXPECT_EQ(all.timeSigDenominator, 4);
}

TEST(HostTransport, WithoutALoopNoCycleIsClaimedAndNeverAClock) {
    Transport t(48000.0, 120.0);
    const VstTimeInfo info = request(t, kVstCyclePosValid | kVstClockValid);
    EXPECT_EQ(info.flags & (kVstCyclePosValid | kVstTransportCycleActive | kVstClockValid), 0);
}

TEST(HostTransport, TheSmpteRateIsAnsweredWhateverTheMask) {
    Transport t(48000.0, 120.0);
    EXPECT_EQ(request(t, 0).smpteFrameRate, 0);
    t.setSmpteFrameRate(4);
    const VstTimeInfo info = request(t, 0);
    EXPECT_NE(info.flags & kVstSmpteValid, 0);
    EXPECT_EQ(info.smpteFrameRate, 4);
    EXPECT_EQ(info.smpteOffset, 0);
}

TEST(HostTransport, ALoopIsActiveInEveryAnswerWithItsEndsWhenAskedFor) {
    Transport t(48000.0, 120.0);
    ASSERT_TRUE(t.setLoop(1.5, 4.0));
    VstTimeInfo info = request(t, 0);
    EXPECT_EQ(info.flags & (kVstTransportCycleActive | kVstCyclePosValid), kVstTransportCycleActive);
    info = request(t, kVstCyclePosValid);
    EXPECT_NE(info.flags & kVstCyclePosValid, 0);
    EXPECT_EQ(info.cycleStartPos, 1.5);
    EXPECT_EQ(info.cycleEndPos, 4.0);
    EXPECT_FALSE(t.setLoop(4.0, 4.0));
    EXPECT_FALSE(t.setLoop(-1.0, 2.0));
    t.clearLoop();
    EXPECT_EQ(request(t, kVstCyclePosValid).flags & (kVstTransportCycleActive | kVstCyclePosValid), 0);
}

TEST(HostTransport, TheLoopWrapsAtBlockBoundariesKeepingTheOvershoot) {
    // 100 BPM at 44.1 kHz: a quarter note is 26460 samples, the loop
    // [0.5, 1.25) is [13230, 33075).
    Transport t(44100.0, 100.0);
    ASSERT_TRUE(t.setLoop(0.5, 1.25));
    EXPECT_EQ(t.loopStartSamples(), 13230);
    EXPECT_EQ(t.loopEndSamples(), 33075);
    t.setPlaying(true);
    t.locate(32768);
    t.advance(256);  // would end at 33024, before the end: no wrap
    EXPECT_EQ(t.samplePosition(), 33024);
    t.advance(256);  // would end at 33280, 205 past the end
    EXPECT_EQ(t.samplePosition(), 13230 + 205);
    // A block ending exactly on the loop end wraps to the start.
    t.locate(33075 - 100);
    t.advance(100);
    EXPECT_EQ(t.samplePosition(), 13230);
    // Located past the end, the transport plays on.
    t.locate(40000);
    t.advance(256);
    EXPECT_EQ(t.samplePosition(), 40256);
    // A block longer than the loop keeps within it.
    t.locate(33000);
    t.advance(19845 * 2 + 75 + 10);
    EXPECT_EQ(t.samplePosition(), 13230 + 10);
    // Stopped, nothing moves.
    t.setPlaying(false);
    t.locate(33000);
    t.advance(256);
    EXPECT_EQ(t.samplePosition(), 33000);
}

TEST(HostTransport, MusicalPositionFollowsTempoAndSampleRate) {
    Transport t(48000.0, 120.0);
    t.locate(48000 * 3 + 24000);  // 3.5 s at 120 BPM: 7 quarter notes
    VstTimeInfo info = request(t, kMusical);
    EXPECT_DOUBLE_EQ(info.ppqPos, 7.0);
    EXPECT_DOUBLE_EQ(info.barStartPos, 4.0);

    t.setTempo(90.0);
    t.locate(44100);
    t.setSampleRate(44100.0);
    info = request(t, kMusical);
    EXPECT_DOUBLE_EQ(info.ppqPos, 1.5);
    EXPECT_DOUBLE_EQ(info.barStartPos, 0.0);
}

TEST(HostTransport, BarStartIsExactOnABarLine) {
    Transport t(48000.0, 120.0);
    t.locate(48000 * 4);  // 8 quarter notes: the start of bar 3
    EXPECT_DOUBLE_EQ(request(t, kVstBarsValid).barStartPos, 8.0);
}

TEST(HostTransport, PositionMovesOnlyWhilePlaying) {
    Transport t(48000.0, 120.0);
    t.advance(256);
    EXPECT_EQ(t.samplePosition(), 0);
    t.setPlaying(true);
    t.advance(256);
    t.advance(100);
    EXPECT_EQ(t.samplePosition(), 356);
    t.advance(-5);
    EXPECT_EQ(t.samplePosition(), 356);
}

TEST(HostTransport, ChangedIsReportedOnceAfterEachPlayStateChange) {
    Transport t(48000.0, 120.0);
    EXPECT_EQ(request(t, 0).flags & kVstTransportChanged, 0);
    t.setPlaying(true);
    VstTimeInfo info = request(t, 0);
    EXPECT_EQ(info.flags & (kVstTransportChanged | kVstTransportPlaying),
              kVstTransportChanged | kVstTransportPlaying);
    info = request(t, 0);
    EXPECT_EQ(info.flags & (kVstTransportChanged | kVstTransportPlaying), kVstTransportPlaying);
    t.setPlaying(false);
    info = request(t, 0);
    EXPECT_EQ(info.flags & (kVstTransportChanged | kVstTransportPlaying), kVstTransportChanged);
    EXPECT_EQ(request(t, 0).flags & kVstTransportChanged, 0);
}

TEST(HostTransport, StartingPlayingReportsAChangeOnTheFirstRequest) {
    Transport t(48000.0, 120.0);
    t.setPlaying(true);
    EXPECT_NE(request(t, 0).flags & kVstTransportChanged, 0);
}

TEST(HostTransport, NonsenseTempoAndRateFallBackToDefaults) {
    Transport t(0.0, -3.0);
    EXPECT_EQ(request(t, 0).sampleRate, 48000.0);
    EXPECT_EQ(t.tempo(), 120.0);
    t.setTempo(NAN);
    EXPECT_EQ(t.tempo(), 120.0);
    t.locate(-10);
    EXPECT_EQ(t.samplePosition(), 0);
}
