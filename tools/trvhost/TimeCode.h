#pragma once
// MIDI time code as a receiving sequencer reads it: the eight quarter-frame
// messages (0xF1, data 0ppp nnnn: piece p, nibble n) of one full time code,
// pieces 0..7 in order: frames, seconds, minutes and hours, low nibble
// first; piece 7 carries the hours' fifth bit and the rate bits (0 = 24,
// 1 = 25, 2 = 30 drop-frame (29.97 frames a second), 3 = 30 fps).
//
// The decoder is a few bytes of state with no allocation, so it runs on
// the audio thread.
#include <cstdint>

struct TimeCodeValue {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = 0;
    int rateBits = 0;
};

class MtcDecoder {
public:
    // One quarter frame's data byte; true with the time code when it
    // completes pieces 0..7 received in order. A piece out of order drops
    // the set begun; piece 0 always begins a new one.
    bool feed(uint8_t data, TimeCodeValue& out);
    void reset() { next_ = 0; }

private:
    uint8_t nibbles_[8] = {};
    int next_ = 0;
};

namespace timecode {

// "24", "25", "30df" or "30" for the rate bits.
const char* rateName(int rateBits);
// "HH:MM:SS:FF".
void format(const TimeCodeValue& v, char* text, int size);
// The frames from 00:00:00:00 to the time code, plus `extraFrames`: the
// drop-frame label is counted as such (two frame numbers skipped at every
// minute but each tenth).
int64_t frameCount(const TimeCodeValue& v, int extraFrames);
// Those frames in samples at `rate` (rounded): 24, 25 or 30 frames a
// second, 30000/1001 for drop-frame.
int64_t toSamples(const TimeCodeValue& v, int extraFrames, int64_t rate);

}  // namespace timecode
