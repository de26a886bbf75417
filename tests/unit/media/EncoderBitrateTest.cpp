// From the audio rate of the settings' split to the rate the MP3 encoder
// runs at (the split itself is tested with the settings).
#include <gtest/gtest.h>

#include "trvcore/codec/EncoderBitrate.h"
#include "trvcore/settings/RateTables.h"

TEST(EncoderBitrate, EveryAudioRateReachesItsMp3Rate) {
    const int mp3[rates::kAudioCount] = {32000,  48000,  64000,  96000,  96000,
                                         128000, 160000, 192000, 256000, 256000};
    for (int i = 0; i < rates::kAudioCount; ++i)
        EXPECT_EQ(rates::snapMp3Bitrate(rates::encoderBitrateFor(rates::kAudio[i]) * 1000), mp3[i]);
    // Fractions of the split go to the next step up.
    const struct {
        double rate;
        int kbits;
    } table[] = {{0, 16},    {16, 16},   {16.5, 24}, {41, 48},   {64, 64},   {65, 96},
                 {128, 128}, {129, 144}, {160, 144}, {161, 192}, {193, 256}, {1000, 256}};
    for (const auto& row : table) EXPECT_EQ(rates::encoderBitrateFor(row.rate), row.kbits) << row.rate;
    EXPECT_EQ(rates::snapMp3Bitrate(0), 48000);
    EXPECT_EQ(rates::snapMp3Bitrate(1), 32000);
    EXPECT_EQ(rates::snapMp3Bitrate(192001), 256000);
}
