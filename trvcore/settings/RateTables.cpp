#include "trvcore/settings/RateTables.h"

namespace rates {

int indexOf(const int* ladder, int count, int value) {
    for (int i = 0; i < count; ++i)
        if (ladder[i] == value) return i;
    return -1;
}

int audioRateAtLeast(int target) {
    for (int r : kAudio)
        if (r >= target) return r;
    return kAudioMax;
}

}  // namespace rates
