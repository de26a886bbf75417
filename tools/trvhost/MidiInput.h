#pragma once
// The MIDI of --midi-in: a text file of lines "POSITION B1 B2 B3" (the song
// position in frames, three bytes in hex, e.g. "96000 90 3C 64"); blank
// lines and lines starting with # are skipped. The events are read at
// start-up and kept sorted by position (lines of one position in file
// order). While the transport plays, each goes to instance 1 in the block
// that holds its position, with deltaFrames the position less the block's
// start; an event whose position the transport skips over (a locate, a
// loop's wrap) is not sent, one the loop comes back to is sent again.
#include <cstdint>
#include <string>
#include <vector>

class MidiEventBlock;

struct MidiInEvent {
    int64_t position = 0;
    uint8_t bytes[3] = {};
};

constexpr size_t kMaxMidiInEvents = size_t(1) << 20;
constexpr int64_t kMaxMidiInPosition = int64_t(1) << 53;

// False with "FILE line N: reason" on a line that is not an event, a file
// that cannot be read or more than kMaxMidiInEvents events.
bool readMidiIn(const std::string& path, std::vector<MidiInEvent>& events, std::string& error);

// Audio thread: appends the events of positions [start, start + frames) of
// the sorted `events` to `block`; returns how many did not fit.
int collectMidiIn(const std::vector<MidiInEvent>& events, int64_t start, int32_t frames, MidiEventBlock& block);
