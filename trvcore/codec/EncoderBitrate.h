#pragma once
// From the audio rate of the settings' bitrate split (Settings::audioRate,
// kbit/s) to the rate the MP3 encoder runs at. The split itself is the
// settings store's; this is the codec's side of it.

namespace rates {

// Encoder bitrate in kbit/s for an audio rate in kbit/s (the settings'
// split gives fractions): the next of 16, 24, 32, 40, 48, 56, 64, 96, 128,
// 144, 192 that is not below it, 256 above. 144 stands for 160: the encoder
// snaps it to 160000 bit/s.
int encoderBitrateFor(double audioKbits);

// The MP3 bitrate, bit/s, the encoder actually uses for a requested rate:
// the next of 32000, 40000, 48000, 56000, 64000, 96000, 128000, 160000,
// 192000 that is not below it, 256000 above; a rate below 1 counts as 48000.
int snapMp3Bitrate(int bitsPerSecond);

}  // namespace rates
