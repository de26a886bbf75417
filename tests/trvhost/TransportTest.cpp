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

TEST(HostTransport, WithoutRequestOnlyPositionRateAndClockAreValid) {
    Transport t(48000.0, 120.0);
    t.locate(4800);
    const VstTimeInfo info = request(t, 0, 123.0);
    EXPECT_EQ(info.samplePos, 4800.0);
    EXPECT_EQ(info.sampleRate, 48000.0);
    EXPECT_EQ(info.nanoSeconds, 123.0);
    EXPECT_EQ(info.flags, kVstNanosValid);
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
    EXPECT_EQ(tempoOnly.flags, kVstNanosValid | kVstTempoValid);
    EXPECT_EQ(tempoOnly.tempo, 120.0);
    EXPECT_TRUE(std::isnan(tempoOnly.ppqPos));

    const VstTimeInfo all = request(t, kMusical);
    EXPECT_EQ(all.flags & kMusical, kMusical);
    EXPECT_EQ(all.timeSigNumerator, 4);
    EXPECT_EQ(all.timeSigDenominator, 4);
}

TEST(HostTransport, CycleSmpteAndClockAreNeverClaimed) {
    Transport t(48000.0, 120.0);
    const VstTimeInfo info = request(t, kVstCyclePosValid | kVstSmpteValid | kVstClockValid);
    EXPECT_EQ(info.flags & (kVstCyclePosValid | kVstSmpteValid | kVstClockValid), 0);
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
