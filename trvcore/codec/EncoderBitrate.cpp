#include "trvcore/codec/EncoderBitrate.h"

namespace rates {

int encoderBitrateFor(double audioKbits) {
    static constexpr int kSteps[] = {16, 24, 32, 40, 48, 56, 64, 96, 128};
    for (int s : kSteps)
        if (audioKbits <= s) return s;
    if (audioKbits <= 160) return 144;
    if (audioKbits <= 192) return 192;
    return 256;
}

int snapMp3Bitrate(int bitsPerSecond) {
    static constexpr int kSteps[] = {32000, 40000, 48000, 56000, 64000,
                                     96000, 128000, 160000, 192000};
    if (bitsPerSecond < 1) bitsPerSecond = 48000;
    for (int s : kSteps)
        if (bitsPerSecond <= s) return s;
    return 256000;
}

}  // namespace rates
