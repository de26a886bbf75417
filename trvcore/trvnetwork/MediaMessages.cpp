#include "trvcore/trvnetwork/MediaMessages.h"

#include <cstring>

#include "trvcore/trvnetwork/WireBytes.h"

namespace {

// AudioFrame field offsets.
constexpr size_t kAudioTransportStartAt = 12;
constexpr size_t kAudioStreamAtStartAt = 16;
constexpr size_t kAudioStreamPositionAt = 20;
constexpr size_t kAudioSampleRateAt = 24;
constexpr size_t kAudioCodecAt = 28;
constexpr size_t kAudioChannelsAt = 30;
constexpr size_t kAudioFrameCounterAt = 32;
constexpr size_t kAudioTransportFlagsAt = 34;

// VideoFrame field offsets (16..23 and 30..31 reserved).
constexpr size_t kVideoHostPositionAt = 12;
constexpr size_t kVideoTransportFlagsAt = 24;
constexpr size_t kVideoPictureFormatAt = 28;
constexpr size_t kVideoWidthAt = 32;
constexpr size_t kVideoHeightAt = 34;

// MidiBlock field offsets; each event is 3 data bytes, a 0, a signed delta.
constexpr size_t kMidiLocalClockAt = 12;
constexpr size_t kMidiSampleRateAt = 16;
constexpr size_t kMidiEventCountAt = 20;
constexpr size_t kMidiTransportFlagsAt = 24;
constexpr size_t kMidiClockOffsetAt = 28;
constexpr size_t kMidiEventDeltaAt = 4;

// Header and payload of a kind whose data follows a fixed header.
bool buildWithData(PeerMessage& m, MessageKind kind, size_t headerSize, size_t maxData,
                   const uint8_t* data, size_t dataLength) {
    if (dataLength > maxData || (!data && dataLength)) return false;
    m.begin(kind, headerSize + dataLength);
    if (dataLength) std::memcpy(m.data() + headerSize, data, dataLength);
    return true;
}

}  // namespace

bool buildAudioFrame(PeerMessage& m, const AudioFrameHeader& h, const uint8_t* data,
                     size_t dataLength) {
    if (!buildWithData(m, MessageKind::AudioFrame, kAudioFrameHeaderSize, kMaxAudioFrameData,
                       data, dataLength))
        return false;
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeI32(b, n, kAudioTransportStartAt, h.transportStart);
    wire::writeU32(b, n, kAudioStreamAtStartAt, h.streamAtTransportStart);
    wire::writeU32(b, n, kAudioStreamPositionAt, h.streamPosition);
    wire::writeU32(b, n, kAudioSampleRateAt, h.sampleRate);
    wire::writeU16(b, n, kAudioCodecAt, h.codec);
    wire::writeU16(b, n, kAudioChannelsAt, h.channels);
    wire::writeU16(b, n, kAudioFrameCounterAt, h.frameCounter);
    wire::writeU16(b, n, kAudioTransportFlagsAt, h.transportFlags);
    return true;
}

bool parseAudioFrame(MessageBytes in, AudioFrameView& out) {
    size_t length;
    if (!openMessage(in, MessageKind::AudioFrame, length)) return false;
    const uint8_t* b = in.bytes;
    AudioFrameView v;
    wire::readI32(b, length, kAudioTransportStartAt, v.header.transportStart);
    wire::readU32(b, length, kAudioStreamAtStartAt, v.header.streamAtTransportStart);
    wire::readU32(b, length, kAudioStreamPositionAt, v.header.streamPosition);
    wire::readU32(b, length, kAudioSampleRateAt, v.header.sampleRate);
    wire::readU16(b, length, kAudioCodecAt, v.header.codec);
    wire::readU16(b, length, kAudioChannelsAt, v.header.channels);
    wire::readU16(b, length, kAudioFrameCounterAt, v.header.frameCounter);
    wire::readU16(b, length, kAudioTransportFlagsAt, v.header.transportFlags);
    v.data = b + kAudioFrameHeaderSize;
    v.dataLength = length - kAudioFrameHeaderSize;
    out = v;
    return true;
}

size_t audioFrameParts(size_t bufferLength) {
    return (bufferLength + kMaxAudioFrameData - 1) / kMaxAudioFrameData;
}

bool buildAudioFramePart(PeerMessage& m, const AudioFrameHeader& h, const uint8_t* buffer,
                         size_t bufferLength, size_t part) {
    if (!buffer || part >= audioFrameParts(bufferLength)) return false;
    size_t offset = part * kMaxAudioFrameData;
    size_t length = bufferLength - offset;
    if (length > kMaxAudioFrameData) length = kMaxAudioFrameData;
    return buildAudioFrame(m, h, buffer + offset, length);
}

bool buildVideoFrame(PeerMessage& m, const VideoFrameHeader& h, const uint8_t* data,
                     size_t dataLength) {
    if (!buildWithData(m, MessageKind::VideoFrame, kVideoFrameHeaderSize, kMaxVideoFrameData,
                       data, dataLength))
        return false;
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeU32(b, n, kVideoHostPositionAt, h.hostPosition);
    wire::writeU32(b, n, kVideoTransportFlagsAt, h.transportFlags);
    wire::writeU16(b, n, kVideoPictureFormatAt, h.pictureFormat);
    wire::writeU16(b, n, kVideoWidthAt, h.width);
    wire::writeU16(b, n, kVideoHeightAt, h.height);
    return true;
}

bool parseVideoFrame(MessageBytes in, VideoFrameView& out) {
    size_t length;
    if (!openMessage(in, MessageKind::VideoFrame, length)) return false;
    const uint8_t* b = in.bytes;
    VideoFrameView v;
    wire::readU32(b, length, kVideoHostPositionAt, v.header.hostPosition);
    wire::readU32(b, length, kVideoTransportFlagsAt, v.header.transportFlags);
    wire::readU16(b, length, kVideoPictureFormatAt, v.header.pictureFormat);
    wire::readU16(b, length, kVideoWidthAt, v.header.width);
    wire::readU16(b, length, kVideoHeightAt, v.header.height);
    v.data = b + kVideoFrameHeaderSize;
    v.dataLength = length - kVideoFrameHeaderSize;
    out = v;
    return true;
}

bool beginMidiBlock(PeerMessage& m, const MidiBlockHeader& h) {
    m.begin(MessageKind::MidiBlock, kMidiBlockHeaderSize);
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeU32(b, n, kMidiLocalClockAt, h.localClock);
    wire::writeU32(b, n, kMidiSampleRateAt, h.sampleRate);
    wire::writeU32(b, n, kMidiEventCountAt, 0);
    wire::writeU32(b, n, kMidiTransportFlagsAt, h.transportFlags);
    wire::writeI32(b, n, kMidiClockOffsetAt, h.clockOffset);
    return true;
}

bool appendMidiEvent(PeerMessage& m, const MidiEvent& e) {
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    uint32_t count = 0;
    wire::readU32(b, n, kMidiEventCountAt, count);
    if (m.kind() != static_cast<uint8_t>(MessageKind::MidiBlock) || count >= kMaxMidiEvents ||
        m.length() != kMidiBlockHeaderSize + count * kMidiEventSize)
        return false;
    const size_t at = m.length();
    wire::writeU8(b, n, at + 0, e.data[0]);
    wire::writeU8(b, n, at + 1, e.data[1]);
    wire::writeU8(b, n, at + 2, e.data[2]);
    wire::writeU8(b, n, at + 3, 0);
    wire::writeI32(b, n, at + kMidiEventDeltaAt, e.deltaFrames);
    wire::writeU32(b, n, kMidiEventCountAt, count + 1);
    m.setLength(at + kMidiEventSize);
    return true;
}

bool parseMidiBlock(MessageBytes in, MidiBlockView& out) {
    size_t length;
    if (!openMessage(in, MessageKind::MidiBlock, length)) return false;
    const uint8_t* b = in.bytes;
    MidiBlockView v;
    wire::readU32(b, length, kMidiEventCountAt, v.header.eventCount);
    if (v.header.eventCount > kMaxMidiEvents ||
        kMidiBlockHeaderSize + uint64_t(v.header.eventCount) * kMidiEventSize > length)
        return false;
    wire::readU32(b, length, kMidiLocalClockAt, v.header.localClock);
    wire::readU32(b, length, kMidiSampleRateAt, v.header.sampleRate);
    wire::readU32(b, length, kMidiTransportFlagsAt, v.header.transportFlags);
    wire::readI32(b, length, kMidiClockOffsetAt, v.header.clockOffset);
    v.events = b + kMidiBlockHeaderSize;
    out = v;
    return true;
}

bool midiEventAt(const MidiBlockView& v, size_t index, MidiEvent& out) {
    if (!v.events || index >= v.header.eventCount) return false;
    const uint8_t* p = v.events + index * kMidiEventSize;
    MidiEvent e;
    std::memcpy(e.data, p, 3);
    wire::readI32(p, kMidiEventSize, kMidiEventDeltaAt, e.deltaFrames);
    out = e;
    return true;
}
