#include "trvcore/trvnetwork/PeerProtocol.h"

namespace {

constexpr MessageLane kAudio = MessageLane::Audio;
constexpr MessageLane kMedia = MessageLane::Media;
constexpr MessageLane kControl = MessageLane::Control;

constexpr MessageKindInfo kKinds[] = {
    {MessageKind::AudioFrame, "AudioFrame", kAudioFrameHeaderSize, true, kAudio},
    {MessageKind::VideoFrame, "VideoFrame", kVideoFrameHeaderSize, true, kMedia},
    {MessageKind::MidiBlock, "MidiBlock", kMidiBlockHeaderSize, true, kMedia},
    {MessageKind::FileOffer, "FileOffer", kFileOfferNameOffset + 1, true, kControl},
    {MessageKind::FileChunk, "FileChunk", kFileChunkHeaderSize, true, kMedia},
    {MessageKind::SyncInfo, "SyncInfo", kSyncInfoSize, false, kControl},
    {MessageKind::SyncRequest, "SyncRequest", kMessageHeaderSize, false, kControl},
    {MessageKind::AudioRestart, "AudioRestart", kMessageHeaderSize, false, kControl},
    {MessageKind::RemoteSetting, "RemoteSetting", kRemoteSettingSize, false, kControl},
    {MessageKind::Bye, "Bye", kMessageHeaderSize, false, kControl},
    {MessageKind::Ping, "Ping", kPingSize, false, kControl},
    {MessageKind::StatusReport, "StatusReport", kStatusReportSize, false, kControl},
    {MessageKind::FileControl, "FileControl", kFileControlSize, false, kMedia},
    {MessageKind::Invitation, "Invitation", kMessageHeaderSize, false, kControl},
};

}  // namespace

const MessageKindInfo* findMessageKind(uint8_t kind) {
    for (const MessageKindInfo& info : kKinds)
        if (static_cast<uint8_t>(info.kind) == kind) return &info;
    return nullptr;
}

const MessageKindInfo* messageKinds(size_t& count) {
    count = sizeof kKinds / sizeof kKinds[0];
    return kKinds;
}
