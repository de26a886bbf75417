#include <gtest/gtest.h>

#include "support/TempSettings.h"
#include "trvcore/settings/RateTables.h"
#include "trvcore/settings/Settings.h"

namespace {

struct CountingObserver : SettingsObserver {
    int audio = 0, file = 0, monitor = 0;
    void onAudioRateChanged() override { ++audio; }
    void onFileRateChanged() override { ++file; }
    void onMonitorModeChanged() override { ++monitor; }
};

TEST(SettingsLoad, NoStoredValuesUseAndWriteTheDefaults) {
    TempSettings store;
    Settings s;
    s.load();
    EXPECT_EQ(s.upstreamRate(), 128.0);
    EXPECT_EQ(s.codec(), 34);
    EXPECT_FALSE(s.syncOn());
    EXPECT_FALSE(s.monitorMode());
    EXPECT_EQ(s.invitationPolicy(), 0);
    EXPECT_EQ(s.fileRate(), 128);
    EXPECT_FLOAT_EQ(s.inputLatency(), 0.25f);
    EXPECT_EQ(store.value("upStream"), 128u);
    EXPECT_EQ(store.value("codec"), 34u);
    EXPECT_EQ(store.value("syncState"), 0u);
    EXPECT_EQ(store.value("monitorMode"), 0u);
    EXPECT_EQ(store.value("audioQuality"), 50u);
    EXPECT_EQ(store.value("inputLatency"), 25u);
    EXPECT_EQ(store.value("invitationPolicy"), 0u);
    EXPECT_EQ(store.value("fileRate"), 128u);
}

TEST(SettingsLoad, UpstreamOutsideTheLadderBecomes128AndIsWrittenBack) {
    TempSettings store;
    store.write("upStream", 100);
    Settings s;
    s.load();
    EXPECT_EQ(s.upstreamRate(), 128.0);
    EXPECT_EQ(store.value("upStream"), 128u);
}

TEST(SettingsLoad, FileRateIsLoweredToTheUpstreamRate) {
    TempSettings store;
    store.write("upStream", 64);
    store.write("fileRate", 1500);
    Settings s;
    s.load();
    EXPECT_EQ(s.fileRate(), 64);
    EXPECT_EQ(store.value("fileRate"), 1500u);  // only a refused value is written back
}

TEST(SettingsLoad, OutOfRangePercentagesAndPoliciesAreIgnoredWithoutWriting) {
    TempSettings store;
    store.write("audioQuality", 101);
    store.write("inputLatency", 4000000000u);
    store.write("invitationPolicy", 4);
    store.write("fileRate", 100);  // not a file rate: 128 is written back
    Settings s;
    s.setAccountFlags(0);
    s.load();
    EXPECT_FLOAT_EQ(s.audioQuality(), 0.5f);
    EXPECT_FLOAT_EQ(s.inputLatency(), 0.25f);
    EXPECT_EQ(s.invitationPolicy(), 0);
    EXPECT_EQ(store.value("audioQuality"), 101u);
    EXPECT_EQ(store.value("inputLatency"), 4000000000u);
    EXPECT_EQ(store.value("invitationPolicy"), 4u);
    EXPECT_EQ(store.value("fileRate"), 128u);
}

TEST(SettingsLoad, StoredCodecIsReadButNotApplied) {
    TempSettings store;
    store.write("codec", 32);
    Settings s;
    s.load();
    EXPECT_EQ(s.codec(), 34);
    EXPECT_EQ(s.storedCodec(), 32);
}

TEST(SettingsLoad, AcceptedValuesAreTaken) {
    TempSettings store;
    store.write("upStream", 512);
    store.write("syncState", 7);
    store.write("monitorMode", 1);
    store.write("audioQuality", 80);
    store.write("inputLatency", 0);
    store.write("invitationPolicy", 3);
    store.write("fileRate", 256);
    Settings s;
    s.setAccountFlags(0);
    s.load();
    EXPECT_EQ(s.upstreamRate(), 512.0);
    EXPECT_EQ(s.appliedUpstreamRate(), 512.0);
    EXPECT_TRUE(s.syncOn());
    EXPECT_TRUE(s.monitorMode());
    EXPECT_FLOAT_EQ(s.audioQuality(), 0.8f);
    EXPECT_FLOAT_EQ(s.inputLatency(), 0.0f);
    EXPECT_EQ(s.invitationPolicy(), 3);
    EXPECT_EQ(s.fileRate(), 256);
}

TEST(SettingsSave, WritesEveryValueAndPercentagesSurviveRoundTrips) {
    TempSettings store;
    for (unsigned percent = 0; percent <= 100; ++percent) {
        store.write("audioQuality", percent);
        store.write("inputLatency", percent);
        Settings s;
        s.setAccountFlags(0);
        s.load();
        s.save();
        ASSERT_EQ(store.value("audioQuality"), percent);
        ASSERT_EQ(store.value("inputLatency"), percent);
    }
    Settings s;
    s.load();
    s.setUpstreamRate(1250);
    s.setFileRate(640);
    s.setCodec(32);
    s.setSyncOn(true);
    s.setMonitorMode(true);
    s.setInvitationPolicy(2);
    s.save();
    EXPECT_EQ(store.value("upStream"), 1250u);
    EXPECT_EQ(store.value("fileRate"), 640u);
    EXPECT_EQ(store.value("codec"), 32u);
    EXPECT_EQ(store.value("syncState"), 1u);
    EXPECT_EQ(store.value("monitorMode"), 1u);
    EXPECT_EQ(store.value("invitationPolicy"), 2u);
}

TEST(SettingsSplit, UpstreamAndQualityGiveAudioAndVideoRates) {
    TempSettings store;
    Settings s;
    s.setAccountFlags(0);
    s.setUpstreamRate(128);
    s.setAudioQuality(0.5f);
    EXPECT_EQ(s.audioRate(), 48.0);
    EXPECT_EQ(s.videoRate(), 37.0);

    s.setUpstreamRate(1500);
    s.setAudioQuality(1.0f);
    EXPECT_EQ(s.audioRate(), 256.0);
    EXPECT_EQ(s.videoRate(), 743.0);
}

TEST(SettingsSplit, LimitedAccountIsCappedAndItsQualityRewritten) {
    TempSettings store;
    Settings s;
    s.setAccountFlags(rates::kAccountAudioLimitFlag);
    s.setUpstreamRate(1500);
    s.setAudioQuality(1.0f);
    EXPECT_EQ(s.audioRate(), 128.0);
    EXPECT_EQ(s.videoRate(), 871.0);
    EXPECT_FLOAT_EQ(s.audioQuality(), 128.0f / 999.0f);
    EXPECT_FLOAT_EQ(s.appliedAudioQuality(), 1.0f);

    s.setUpstreamRate(1500);
    s.setAudioQuality(0.4f);
    EXPECT_EQ(s.audioRate(), 128.0);
    EXPECT_EQ(s.videoRate(), 871.0);
}

TEST(SettingsSplit, AudioRateForAndQualityFor) {
    Settings s;
    s.setAccountFlags(rates::kAccountAudioLimitFlag);
    EXPECT_EQ(s.audioRateFor(1500, 1.0f, true), 256);
    EXPECT_EQ(s.audioRateFor(1500, 1.0f, false), 128);
    EXPECT_EQ(s.audioRateFor(64, 0.0f, false), 32);  // below the ladder: its first step
    EXPECT_EQ(Settings::qualityFor(128, 85), 1.0f);
    EXPECT_FLOAT_EQ(Settings::qualityFor(128, 48), 48.0f / 85.0f);
    EXPECT_EQ(Settings::qualityFor(128, 16), 0.0f);
}

TEST(SettingsSetters, ClampRefuseAndNotify) {
    TempSettings store;
    CountingObserver seen;
    Settings s(&seen);
    s.setUpstreamRate(10);
    EXPECT_EQ(s.upstreamRate(), 64.0);
    EXPECT_EQ(s.fileRate(), 64);  // lowered with the upstream rate
    s.setUpstreamRate(99999);
    EXPECT_EQ(s.upstreamRate(), 1500.0);
    s.setFileRate(5000);
    EXPECT_EQ(s.fileRate(), 1500);
    s.setFileRate(1);
    EXPECT_EQ(s.fileRate(), 32);
    s.setUpstreamRate(256);
    s.setFileRate(1000);
    EXPECT_EQ(s.fileRate(), 256);  // never above the applied upstream rate

    const int audioBefore = seen.audio;
    EXPECT_FALSE(s.setCodec(33));
    EXPECT_FALSE(s.setCodec(34));  // already active
    EXPECT_EQ(seen.audio, audioBefore);
    EXPECT_TRUE(s.setCodec(32));
    EXPECT_EQ(s.codec(), 32);
    EXPECT_GT(seen.audio, audioBefore);

    EXPECT_FALSE(s.setInvitationPolicy(-1));
    EXPECT_FALSE(s.setInvitationPolicy(4));
    EXPECT_TRUE(s.setInvitationPolicy(3));
    EXPECT_EQ(s.invitationPolicy(), 3);

    s.setMonitorMode(true);
    EXPECT_EQ(seen.monitor, 1);
    EXPECT_GT(seen.file, 0);
}

TEST(RateTables, LaddersAndLookups) {
    EXPECT_EQ(rates::kUpstream[0], 64);
    EXPECT_EQ(rates::kUpstream[rates::kUpstreamCount - 1], 1500);
    EXPECT_TRUE(rates::isUpstreamRate(1000));
    EXPECT_FALSE(rates::isUpstreamRate(100));
    EXPECT_TRUE(rates::isFileRate(32));
    EXPECT_FALSE(rates::isFileRate(80));
    EXPECT_EQ(rates::audioRateAtLeast(42), 48);
    EXPECT_EQ(rates::audioRateAtLeast(48), 48);
    EXPECT_EQ(rates::audioRateAtLeast(999), 256);
    for (int i = 1; i < rates::kFileCount; ++i) EXPECT_LT(rates::kFile[i - 1], rates::kFile[i]);
}

}  // namespace
