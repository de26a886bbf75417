#pragma once
// The media kinds: AudioFrame (1), VideoFrame (2) and MidiBlock (3).
// Builders write a whole message into a PeerMessage (magic, kind, length,
// every field; unnamed bytes 0). Parsers check the header, the kind's
// minimum length and every count against the message length before they
// read; their data pointers point into the parsed buffer. Source data given
// to a builder must not lie inside the message being built.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/PeerMessage.h"

// AudioFrame, bytes 12..35; encoded audio follows from 36.
struct AudioFrameHeader {
    int32_t transportStart = 0;           // host position at transport start
                                          // minus the encoder latency
    uint32_t streamAtTransportStart = 0;  // captured samples at transport start
    uint32_t streamPosition = 0;          // samples encoded before this frame
    uint32_t sampleRate = 0;
    uint16_t codec = kCodecMp3;
    uint16_t channels = kAudioChannels;
    uint16_t frameCounter = 0;  // one per encoder output buffer
    uint16_t transportFlags = 0;
};

struct AudioFrameView {
    AudioFrameHeader header;
    const uint8_t* data = nullptr;
    size_t dataLength = 0;
};

// False (message unchanged) when dataLength is above 8156 or data is null
// with a non-zero length.
bool buildAudioFrame(PeerMessage& m, const AudioFrameHeader& h, const uint8_t* data,
                     size_t dataLength);
bool parseAudioFrame(MessageBytes in, AudioFrameView& out);

// An encoder output buffer longer than 8156 bytes travels as consecutive
// AudioFrames of at most 8156 data bytes, each with the same header.
// audioFrameParts is 0 for an empty buffer.
size_t audioFrameParts(size_t bufferLength);
bool buildAudioFramePart(PeerMessage& m, const AudioFrameHeader& h, const uint8_t* buffer,
                         size_t bufferLength, size_t part);

// VideoFrame, bytes 12..35; one H.263 picture follows from 36.
struct VideoFrameHeader {
    uint32_t hostPosition = 0;  // sender's host sample position, 0 if unknown
    uint32_t transportFlags = 0;
    uint16_t pictureFormat = kVideoPictureFormat;
    uint16_t width = kVideoWidth;
    uint16_t height = kVideoHeight;
};

struct VideoFrameView {
    VideoFrameHeader header;
    const uint8_t* data = nullptr;
    size_t dataLength = 0;
};

// False (message unchanged) for pictures above 8156 bytes: those are
// dropped, never split.
bool buildVideoFrame(PeerMessage& m, const VideoFrameHeader& h, const uint8_t* data,
                     size_t dataLength);
bool parseVideoFrame(MessageBytes in, VideoFrameView& out);

// MidiBlock, bytes 12..31; eventCount events of 8 bytes follow from 32.
struct MidiBlockHeader {
    uint32_t localClock = 0;  // sender's running sample clock
    uint32_t sampleRate = 0;
    uint32_t eventCount = 0;
    uint32_t transportFlags = 0;
    int32_t clockOffset = 0;  // localClock minus the host sample position
};

// On the wire: 3 MIDI bytes, a 0 byte, the signed offset inside the block.
struct MidiEvent {
    uint8_t data[3] = {0, 0, 0};
    int32_t deltaFrames = 0;
};

struct MidiBlockView {
    MidiBlockHeader header;
    const uint8_t* events = nullptr;  // header.eventCount * 8 bytes
};

// Starts a MidiBlock without events (length 32); h.eventCount is ignored.
bool beginMidiBlock(PeerMessage& m, const MidiBlockHeader& h);
// Adds one event and updates eventCount and length. False when m is not a
// MidiBlock whose length matches its count, or already holds 1020 events.
bool appendMidiEvent(PeerMessage& m, const MidiEvent& e);
// Rejects an eventCount above 1020 or one that needs more bytes than the
// message length holds.
bool parseMidiBlock(MessageBytes in, MidiBlockView& out);
// Event `index` of a parsed block; false when index >= eventCount.
bool midiEventAt(const MidiBlockView& v, size_t index, MidiEvent& out);
