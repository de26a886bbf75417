#pragma once
// The peer protocol as data: every constant that fixes a byte on the wire
// between two plug-ins, and the table of message kinds with their sizes.
// Field offsets of each layer live beside the code that reads and writes
// them (Datagram.cpp, PeerMessage.cpp and the *Messages.cpp files).
//
// Layers:
//   datagram  10-byte header; a fragment datagram carries a slice of one
//             message plus 4 trailing bytes; three 14-byte control datagrams.
//   message   a PeerMessage of 12..8192 bytes with a 12-byte header.
//   kind      the fields from byte 12 on, per message kind.
// All integers are little-endian, floating point is IEEE 754 little-endian.
#include <cstddef>
#include <cstdint>

// Both plug-ins bind and send to this UDP port.
constexpr uint16_t kPeerUdpPort = 58116;

// ---- Datagram layer --------------------------------------------------------

constexpr uint8_t kDatagramMagic1 = 0x5E;
constexpr uint8_t kDatagramMagic2 = 0xB7;
constexpr size_t kDatagramHeaderSize = 10;
// Fragment datagrams end in 4 bytes that count in datagramLength but carry
// nothing.
constexpr size_t kDatagramTrailerSize = 4;
constexpr size_t kFragmentOverhead = kDatagramHeaderSize + kDatagramTrailerSize;
constexpr size_t kMaxDatagramSize = 512;
constexpr size_t kMaxFragmentPayload = kMaxDatagramSize - kFragmentOverhead;  // 498

// fragmentFlags bit 0: this fragment ends its message.
constexpr uint8_t kLastFragmentFlag = 0x01;

// The control datagrams: exactly 14 bytes, fragmentOffset 0, and this
// signature in messageNumber, fragmentFlags and bytes 10 and 11.
constexpr size_t kControlDatagramSize = 14;
constexpr uint16_t kHolePunchNumber = 31730;  // 0x7BF2
constexpr uint16_t kPortQueryNumber = 27635;  // 0x6BF3
constexpr uint16_t kPortReplyNumber = 59668;  // 0xE914
constexpr uint8_t kHolePunchFlags = 5;
constexpr uint8_t kPortQueryFlags = 9;
constexpr uint8_t kPortReplyFlags = 17;
// Bytes 12-13 of HolePunch and PortQuery; a PortReply carries a port there.
constexpr uint16_t kControlDatagramTag = 10001;

// ---- Message layer ---------------------------------------------------------

constexpr uint8_t kMessageMagic0 = 0xB6;
constexpr uint8_t kMessageMagic1 = 0xE9;
constexpr uint8_t kMessageMagic2 = 0xF4;
constexpr size_t kMessageHeaderSize = 12;
// Header field offsets (the magic at 0..2; 6..8 and 11 are reserved).
constexpr size_t kMessageKindAt = 3;
constexpr size_t kMessageLengthAt = 4;
constexpr size_t kMessageSubKindAt = 9;
constexpr size_t kMessageLinkFlagsAt = 10;
constexpr size_t kMaxMessageLength = 8192;
// A message of the maximum length is 17 fragments, the last of 224 bytes.
constexpr size_t kMaxFragmentsPerMessage =
    (kMaxMessageLength + kMaxFragmentPayload - 1) / kMaxFragmentPayload;

// linkFlags: the sender's link has errors not yet reported to the partner.
constexpr uint8_t kLinkFlagReceiveErrors = 0x02;
constexpr uint8_t kLinkFlagSendErrors = 0x04;

enum class MessageKind : uint8_t {
    AudioFrame = 1,
    VideoFrame = 2,
    MidiBlock = 3,
    FileOffer = 4,
    FileChunk = 5,
    SyncInfo = 8,
    SyncRequest = 9,
    AudioRestart = 10,
    RemoteSetting = 11,
    Bye = 13,
    Ping = 15,
    StatusReport = 16,
    FileControl = 17,
    Invitation = 18,
};

// subKind of an Invitation: the handshake step.
enum class InvitationStep : uint8_t {
    Ask = 1,
    Accept = 2,
    Reject = 3,
    Connected = 4,
    Aborted = 5,
    Invite = 6,
    Ringing = 7,
};

// subKind of an AudioRestart: restart the audio encoder.
constexpr uint8_t kAudioRestartEncoder = 1;

// Codec selectors carried in AudioFrame, StatusReport and RemoteSetting.
constexpr uint16_t kCodecMp3 = 34;
constexpr uint16_t kCodecNone = 32;

// VideoFrame picture description: QCIF.
constexpr uint16_t kVideoPictureFormat = 1;
constexpr uint16_t kVideoWidth = 176;
constexpr uint16_t kVideoHeight = 144;

// AudioFrame channel count.
constexpr uint16_t kAudioChannels = 2;

// Host transport flag bits carried in several kinds.
constexpr uint32_t kTransportPlaying = 0x02;

// RemoteSetting.setting
enum class RemoteSettingType : uint32_t {
    AudioShare = 1,
    UpstreamRate = 2,
    Codec = 3,
    Locate = 4,
};

// FileControl.status; a receiver takes any other non-zero value as an abort.
enum class FileControlStatus : uint32_t {
    Request = 0,
    Aborted = 1,
    Complete = 2,
};

// StatusReport: the fixed divisor sent with the scaled fields, and the
// order of its ten rates (units of 100 bit/s).
constexpr uint16_t kStatusReportScale = 10;
enum StatusRate : size_t {
    kRateReceivedTotal,
    kRateReceivedAudio,
    kRateReceivedVideo,
    kRateReceivedMidi,
    kRateReceivedOther,
    kRateSentTotal,
    kRateSentAudio,
    kRateSentVideo,
    kRateSentMidi,
    kRateSentOther,
    kStatusRateCount,
};

// SyncInfo.peerState bits.
constexpr uint32_t kPeerStateSyncSource = 0x01;
constexpr uint32_t kPeerStateReceiving = 0x02;
constexpr uint32_t kPeerStateEncoding = 0x04;

// ---- Kind sizes ------------------------------------------------------------

constexpr size_t kAudioFrameHeaderSize = 36;
constexpr size_t kVideoFrameHeaderSize = 36;
constexpr size_t kMidiBlockHeaderSize = 32;
constexpr size_t kMidiEventSize = 8;
constexpr size_t kFileOfferNameOffset = 32;
constexpr size_t kFileChunkHeaderSize = 48;
constexpr size_t kSyncInfoSize = 72;
constexpr size_t kRemoteSettingSize = 32;
constexpr size_t kPingSize = 32;
constexpr size_t kStatusReportSize = 72;
constexpr size_t kFileControlSize = 40;

constexpr size_t kMaxAudioFrameData = kMaxMessageLength - kAudioFrameHeaderSize;  // 8156
constexpr size_t kMaxVideoFrameData = kMaxMessageLength - kVideoFrameHeaderSize;  // 8156
constexpr size_t kMaxMidiEvents =
    (kMaxMessageLength - kMidiBlockHeaderSize) / kMidiEventSize;  // 1020
// What a chunk can hold inside one message (the file sender asks for 2048).
constexpr size_t kMaxFileChunkData = kMaxMessageLength - kFileChunkHeaderSize;  // 8144
constexpr size_t kMaxFileNameLength = kMaxMessageLength - kFileOfferNameOffset - 1;

// Where a received message goes inside the receiving session:
//   Audio    straight to the audio receiver, on the network thread;
//   Media    straight to the sink of its kind (video pictures, MIDI, file
//            offers, chunks and controls), on the network thread, so it
//            never waits behind the handshake's pauses;
//   Control  through the session's queue to its thread.
enum class MessageLane : uint8_t { Audio, Media, Control };

// One row per kind: the smallest valid length, whether a variable part
// (data, events or a name) may follow, and the lane. Fixed kinds are built
// at minLength; a longer message of a fixed kind is accepted and its extra
// bytes ignored.
struct MessageKindInfo {
    MessageKind kind;
    const char* name;
    uint16_t minLength;
    bool variable;
    MessageLane lane;
};

// The row of a kind, or null for a kind this program does not know (the
// receiver ignores those).
const MessageKindInfo* findMessageKind(uint8_t kind);
// All rows, in kind order.
const MessageKindInfo* messageKinds(size_t& count);
