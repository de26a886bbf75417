// From the settings' bitrate split to the rate the MP3 encoder runs at.
#include <gtest/gtest.h>

#include "trvcore/EncoderBitrate.h"
#include "trvcore/RateTables.h"
#include "trvcore/Settings.h"

TEST(EncoderBitrate, EveryAudioRateReachesItsMp3Rate) {
    const int mp3[rates::kAudioCount] = {32000,  48000,  64000,  96000,  96000,
                                         128000, 160000, 192000, 256000, 256000};
    for (int i = 0; i < rates::kAudioCount; ++i)
        EXPECT_EQ(rates::snapMp3Bitrate(rates::encoderBitrateFor(rates::kAudio[i]) * 1000), mp3[i])
            << rates::kAudio[i];
    EXPECT_EQ(rates::encoderBitrateFor(80), 96);
    EXPECT_EQ(rates::encoderBitrateFor(160), 144);
    EXPECT_EQ(rates::encoderBitrateFor(161), 192);
    EXPECT_EQ(rates::encoderBitrateFor(17), 24);
}

TEST(EncoderBitrate, SnappingEdges) {
    EXPECT_EQ(rates::snapMp3Bitrate(0), 48000);
    EXPECT_EQ(rates::snapMp3Bitrate(-7), 48000);
    EXPECT_EQ(rates::snapMp3Bitrate(1), 32000);
    EXPECT_EQ(rates::snapMp3Bitrate(64001), 96000);
    EXPECT_EQ(rates::snapMp3Bitrate(192001), 256000);
}

TEST(EncoderBitrate, SplitOfTheSettingsGivesTheEncoderRate) {
    Settings s;
    s.setAccountFlags(0);
    s.setUpstreamRate(64);
    s.setAudioQuality(0.66f);
    EXPECT_EQ(s.audioRate(), 32.0);
    EXPECT_EQ(s.videoRate(), 10.0);
    EXPECT_EQ(rates::encoderBitrateFor(static_cast<int>(s.audioRate())), 32);

    s.setAccountFlags(rates::kAccountAudioLimitFlag);
    s.setUpstreamRate(1500);
    s.setAudioQuality(0.4f);
    EXPECT_EQ(s.audioRate(), 128.0);
    EXPECT_EQ(s.videoRate(), 871.0);
    EXPECT_FLOAT_EQ(s.audioQuality(), 128.0f / 999.0f);
    EXPECT_EQ(rates::encoderBitrateFor(static_cast<int>(s.audioRate())), 128);
}
