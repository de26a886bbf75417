#include "trvcore/trvnetwork/PeerProtocol.h"

namespace {

constexpr MessageKindInfo kKinds[] = {
    {MessageKind::AudioFrame, "AudioFrame", kAudioFrameHeaderSize, true},
    {MessageKind::VideoFrame, "VideoFrame", kVideoFrameHeaderSize, true},
    {MessageKind::MidiBlock, "MidiBlock", kMidiBlockHeaderSize, true},
    {MessageKind::FileOffer, "FileOffer", kFileOfferNameOffset + 1, true},
    {MessageKind::FileChunk, "FileChunk", kFileChunkHeaderSize, true},
    {MessageKind::SyncInfo, "SyncInfo", kSyncInfoSize, false},
    {MessageKind::SyncRequest, "SyncRequest", kMessageHeaderSize, false},
    {MessageKind::AudioRestart, "AudioRestart", kMessageHeaderSize, false},
    {MessageKind::RemoteSetting, "RemoteSetting", kRemoteSettingSize, false},
    {MessageKind::Bye, "Bye", kMessageHeaderSize, false},
    {MessageKind::Ping, "Ping", kPingSize, false},
    {MessageKind::StatusReport, "StatusReport", kStatusReportSize, false},
    {MessageKind::FileControl, "FileControl", kFileControlSize, false},
    {MessageKind::Invitation, "Invitation", kMessageHeaderSize, false},
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
