// From the audio rate of the settings' split to the rate the MP3 encoder
// runs at (the split itself is tested with the settings).
#include <gtest/gtest.h>

#include "trvcore/EncoderBitrate.h"
#include "trvcore/RateTables.h"

TEST(EncoderBitrate, EveryAudioRateReachesItsMp3Rate) {
    const int mp3[rates::kAudioCount] = {32000,  48000,  64000,  96000,  96000,
                                         128000, 160000, 192000, 256000, 256000};
    for (int i = 0; i < rates::kAudioCount; ++i)
        EXPECT_EQ(rates::snapMp3Bitrate(rates::encoderBitrateFor(rates::kAudio[i]) * 1000), mp3[i]);
    EXPECT_EQ(rates::encoderBitrateFor(160), 144);
    EXPECT_EQ(rates::encoderBitrateFor(161), 192);
    EXPECT_EQ(rates::snapMp3Bitrate(0), 48000);
    EXPECT_EQ(rates::snapMp3Bitrate(1), 32000);
    EXPECT_EQ(rates::snapMp3Bitrate(192001), 256000);
}
