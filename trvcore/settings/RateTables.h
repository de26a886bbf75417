#pragma once
// The three bitrate ladders (kbit/s) shared by the settings, the audio codec
// layer, the options page and the file pacing.

namespace rates {

constexpr int kUpstreamCount = 16;
constexpr int kUpstream[kUpstreamCount] = {64,  96,  128, 160, 192, 256,  320,  384,
                                           448, 512, 640, 768, 896, 1000, 1250, 1500};
// Audio share factor suggested for each upstream step.
constexpr float kUpstreamShare[kUpstreamCount] = {0.66f, 0.75f, 0.66f, 0.66f, 0.54f, 0.5f,
                                                  0.5f,  0.4f,  0.45f, 0.4f,  0.4f,  0.33f,
                                                  0.33f, 0.4f,  0.4f,  0.4f};

constexpr int kAudioCount = 10;
constexpr int kAudio[kAudioCount] = {32, 48, 64, 80, 96, 128, 160, 192, 224, 256};

constexpr int kFileCount = 19;
constexpr int kFile[kFileCount] = {32,  48,  64,  96,  128, 160,  192,  224,  256, 320,
                                   384, 448, 512, 640, 768, 896, 1000, 1250, 1500};

constexpr int kUpstreamMin = 64, kUpstreamMax = 1500;
constexpr int kFileMin = 32, kFileMax = 1500;
constexpr int kAudioMax = 256;
// Accounts with this flag are limited to kLimitedAudioRate.
constexpr int kAccountAudioLimitFlag = 16;
constexpr int kLimitedAudioRate = 128;

// Index of `value` in the ladder, or -1.
int indexOf(const int* ladder, int count, int value);
inline bool isUpstreamRate(int v) { return indexOf(kUpstream, kUpstreamCount, v) >= 0; }
inline bool isFileRate(int v) { return indexOf(kFile, kFileCount, v) >= 0; }
// First audio rate not below `target`; 256 above the ladder.
int audioRateAtLeast(int target);

}  // namespace rates
