#include "trvcore/trvnetwork/ControlMessages.h"

#include "trvcore/trvnetwork/WireBytes.h"

namespace {

// SyncInfo field offsets (12..15 reserved).
constexpr size_t kSyncSampleRateAt = 16;
constexpr size_t kSyncPpqPositionAt = 24;
constexpr size_t kSyncTempoAt = 32;
constexpr size_t kSyncCycleStartAt = 40;
constexpr size_t kSyncCycleEndAt = 48;
constexpr size_t kSyncNumeratorAt = 56;
constexpr size_t kSyncDenominatorAt = 60;
constexpr size_t kSyncTransportFlagsAt = 64;
constexpr size_t kSyncPeerStateAt = 68;

// RemoteSetting field offsets (12..15 and 28..31 reserved).
constexpr size_t kSettingValueAt = 16;
constexpr size_t kSettingTypeAt = 24;

// Ping field offset; everything else is 0.
constexpr size_t kPingSendTimeAt = 16;

// StatusReport field offsets (12..15 and 24..33 reserved).
constexpr size_t kReportEchoTimeAt = 16;
constexpr size_t kReportCodecAt = 34;
constexpr size_t kReportReceiveErrorsAt = 36;
constexpr size_t kReportSendErrorsAt = 38;
constexpr size_t kReportScaleAt = 40;
constexpr size_t kReportAudioShareAt = 42;
constexpr size_t kReportUpstreamAt = 44;
constexpr size_t kReportFrameRateAt = 46;
constexpr size_t kReportVideoQualityAt = 48;
constexpr size_t kReportAudioBitrateAt = 50;
constexpr size_t kReportRatesAt = 52;

constexpr uint8_t kFirstInvitationStep = static_cast<uint8_t>(InvitationStep::Ask);
constexpr uint8_t kLastInvitationStep = static_cast<uint8_t>(InvitationStep::Ringing);

bool beginFixed(PeerMessage& m, MessageKind kind) {
    const MessageKindInfo* info = findMessageKind(static_cast<uint8_t>(kind));
    return info && m.begin(kind, info->minLength);
}

}  // namespace

bool buildBareMessage(PeerMessage& m, MessageKind kind, uint8_t subKind) {
    if (!beginFixed(m, kind)) return false;
    m.setSubKind(subKind);
    return true;
}

bool parseBareMessage(MessageBytes in, MessageKind kind, uint8_t& subKind) {
    size_t length;
    if (!openMessage(in, kind, length)) return false;
    return wire::readU8(in.bytes, length, kMessageSubKindAt, subKind);
}

bool buildSyncRequest(PeerMessage& m) { return buildBareMessage(m, MessageKind::SyncRequest, 0); }

bool buildBye(PeerMessage& m) { return buildBareMessage(m, MessageKind::Bye, 0); }

bool buildAudioRestart(PeerMessage& m) {
    return buildBareMessage(m, MessageKind::AudioRestart, kAudioRestartEncoder);
}

bool buildInvitation(PeerMessage& m, InvitationStep step) {
    return buildBareMessage(m, MessageKind::Invitation, static_cast<uint8_t>(step));
}

bool parseInvitation(MessageBytes in, InvitationStep& step) {
    uint8_t sub;
    if (!parseBareMessage(in, MessageKind::Invitation, sub)) return false;
    if (sub < kFirstInvitationStep || sub > kLastInvitationStep) return false;
    step = static_cast<InvitationStep>(sub);
    return true;
}

bool buildSyncInfo(PeerMessage& m, const SyncInfoFields& f) {
    if (!beginFixed(m, MessageKind::SyncInfo)) return false;
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeDouble(b, n, kSyncSampleRateAt, f.sampleRate);
    wire::writeDouble(b, n, kSyncPpqPositionAt, f.ppqPosition);
    wire::writeDouble(b, n, kSyncTempoAt, f.tempo);
    wire::writeDouble(b, n, kSyncCycleStartAt, f.cycleStart);
    wire::writeDouble(b, n, kSyncCycleEndAt, f.cycleEnd);
    wire::writeI32(b, n, kSyncNumeratorAt, f.timeSignatureNumerator);
    wire::writeI32(b, n, kSyncDenominatorAt, f.timeSignatureDenominator);
    wire::writeU32(b, n, kSyncTransportFlagsAt, f.transportFlags);
    wire::writeU32(b, n, kSyncPeerStateAt, f.peerState);
    return true;
}

bool parseSyncInfo(MessageBytes in, SyncInfoFields& out) {
    size_t length;
    if (!openMessage(in, MessageKind::SyncInfo, length)) return false;
    const uint8_t* b = in.bytes;
    SyncInfoFields f;
    wire::readDouble(b, length, kSyncSampleRateAt, f.sampleRate);
    wire::readDouble(b, length, kSyncPpqPositionAt, f.ppqPosition);
    wire::readDouble(b, length, kSyncTempoAt, f.tempo);
    wire::readDouble(b, length, kSyncCycleStartAt, f.cycleStart);
    wire::readDouble(b, length, kSyncCycleEndAt, f.cycleEnd);
    wire::readI32(b, length, kSyncNumeratorAt, f.timeSignatureNumerator);
    wire::readI32(b, length, kSyncDenominatorAt, f.timeSignatureDenominator);
    wire::readU32(b, length, kSyncTransportFlagsAt, f.transportFlags);
    wire::readU32(b, length, kSyncPeerStateAt, f.peerState);
    out = f;
    return true;
}

bool buildRemoteSetting(PeerMessage& m, const RemoteSettingFields& f) {
    if (!beginFixed(m, MessageKind::RemoteSetting)) return false;
    wire::writeDouble(m.data(), m.capacity(), kSettingValueAt, f.value);
    wire::writeU32(m.data(), m.capacity(), kSettingTypeAt, f.setting);
    return true;
}

bool parseRemoteSetting(MessageBytes in, RemoteSettingFields& out) {
    size_t length;
    if (!openMessage(in, MessageKind::RemoteSetting, length)) return false;
    RemoteSettingFields f;
    wire::readDouble(in.bytes, length, kSettingValueAt, f.value);
    wire::readU32(in.bytes, length, kSettingTypeAt, f.setting);
    out = f;
    return true;
}

bool buildPing(PeerMessage& m, double sendTime) {
    return beginFixed(m, MessageKind::Ping) && setPingSendTime(m, sendTime);
}

bool setPingSendTime(PeerMessage& m, double sendTime) {
    if (m.kind() != static_cast<uint8_t>(MessageKind::Ping) || m.length() < kPingSize) return false;
    return wire::writeDouble(m.data(), m.capacity(), kPingSendTimeAt, sendTime);
}

bool parsePing(MessageBytes in, double& sendTime) {
    size_t length;
    if (!openMessage(in, MessageKind::Ping, length)) return false;
    return wire::readDouble(in.bytes, length, kPingSendTimeAt, sendTime);
}

bool buildStatusReport(PeerMessage& m, const StatusReportFields& f) {
    if (!beginFixed(m, MessageKind::StatusReport)) return false;
    uint8_t* b = m.data();
    const size_t n = m.capacity();
    wire::writeDouble(b, n, kReportEchoTimeAt, f.echoTime);
    wire::writeU16(b, n, kReportCodecAt, f.codec);
    wire::writeU16(b, n, kReportReceiveErrorsAt, f.receiveErrors);
    wire::writeU16(b, n, kReportSendErrorsAt, f.sendErrors);
    wire::writeU16(b, n, kReportScaleAt, f.scale);
    wire::writeU16(b, n, kReportAudioShareAt, f.audioShare);
    wire::writeU16(b, n, kReportUpstreamAt, f.upstreamRate);
    wire::writeU16(b, n, kReportFrameRateAt, f.videoFrameRate);
    wire::writeU16(b, n, kReportVideoQualityAt, f.videoQuality);
    wire::writeU16(b, n, kReportAudioBitrateAt, f.audioBitrate);
    for (size_t i = 0; i < kStatusRateCount; ++i)
        wire::writeU16(b, n, kReportRatesAt + 2 * i, f.rates[i]);
    return true;
}

bool parseStatusReport(MessageBytes in, StatusReportFields& out) {
    size_t length;
    if (!openMessage(in, MessageKind::StatusReport, length)) return false;
    const uint8_t* b = in.bytes;
    StatusReportFields f;
    wire::readU16(b, length, kReportScaleAt, f.scale);
    if (f.scale == 0) return false;
    wire::readDouble(b, length, kReportEchoTimeAt, f.echoTime);
    wire::readU16(b, length, kReportCodecAt, f.codec);
    wire::readU16(b, length, kReportReceiveErrorsAt, f.receiveErrors);
    wire::readU16(b, length, kReportSendErrorsAt, f.sendErrors);
    wire::readU16(b, length, kReportAudioShareAt, f.audioShare);
    wire::readU16(b, length, kReportUpstreamAt, f.upstreamRate);
    wire::readU16(b, length, kReportFrameRateAt, f.videoFrameRate);
    wire::readU16(b, length, kReportVideoQualityAt, f.videoQuality);
    wire::readU16(b, length, kReportAudioBitrateAt, f.audioBitrate);
    for (size_t i = 0; i < kStatusRateCount; ++i)
        wire::readU16(b, length, kReportRatesAt + 2 * i, f.rates[i]);
    out = f;
    return true;
}

uint16_t statusField(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 65535.0) return 65535;
    return static_cast<uint16_t>(value);
}
