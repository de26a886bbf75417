#pragma once
// The control kinds: SyncInfo (8), SyncRequest (9), AudioRestart (10),
// RemoteSetting (11), Bye (13), Ping (15), StatusReport (16) and
// Invitation (18). Builders write whole messages of the kind's size;
// parsers check the header and the kind's minimum length first.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/PeerMessage.h"

// The 12-byte kinds without fields: SyncRequest, AudioRestart, Bye,
// Invitation. subKind is 0 except for AudioRestart and Invitation.
bool buildBareMessage(PeerMessage& m, MessageKind kind, uint8_t subKind);
// False unless `in` is a sound message of that kind.
bool parseBareMessage(MessageBytes in, MessageKind kind, uint8_t& subKind);

bool buildSyncRequest(PeerMessage& m);
bool buildBye(PeerMessage& m);
bool buildAudioRestart(PeerMessage& m);  // subKind 1: restart the encoder
bool buildInvitation(PeerMessage& m, InvitationStep step);
// False for a step outside 1..7.
bool parseInvitation(MessageBytes in, InvitationStep& step);

// SyncInfo, 72 bytes: the sender's host transport state. The defaults are
// what a session assumes before the partner's first answer.
struct SyncInfoFields {
    double sampleRate = 48000.0;    // 16
    double ppqPosition = 0.0;       // 24, quarter notes
    double tempo = 120.0;           // 32, BPM
    double cycleStart = 0.0;        // 40, quarter notes
    double cycleEnd = 0.0;          // 48, quarter notes
    int32_t timeSignatureNumerator = 4;    // 56
    int32_t timeSignatureDenominator = 4;  // 60
    uint32_t transportFlags = 0;    // 64
    uint32_t peerState = 0;         // 68, kPeerState* bits
};

bool buildSyncInfo(PeerMessage& m, const SyncInfoFields& f);
bool parseSyncInfo(MessageBytes in, SyncInfoFields& out);

// RemoteSetting, 32 bytes: value (double) at 16, setting at 24. The
// receiver ignores settings it does not know.
struct RemoteSettingFields {
    double value = 0.0;
    uint32_t setting = 0;  // RemoteSettingType
};

bool buildRemoteSetting(PeerMessage& m, const RemoteSettingFields& f);
bool parseRemoteSetting(MessageBytes in, RemoteSettingFields& out);

// Ping, 32 bytes: sendTime (double, performance-counter nanoseconds) at 16.
bool buildPing(PeerMessage& m, double sendTime);
// Stamps a queued Ping as it leaves the queue; false if m is no Ping.
bool setPingSendTime(PeerMessage& m, double sendTime);
bool parsePing(MessageBytes in, double& sendTime);

// StatusReport, 72 bytes: the answer to a Ping.
struct StatusReportFields {
    double echoTime = 0.0;       // 16, the Ping's sendTime
    uint16_t codec = 0;          // 34
    uint16_t receiveErrors = 0;  // 36
    uint16_t sendErrors = 0;     // 38
    uint16_t scale = kStatusReportScale;  // 40, divides the scaled fields
    uint16_t audioShare = 0;     // 42, share factor x 100
    uint16_t upstreamRate = 0;   // 44, kbit/s x 10
    uint16_t videoFrameRate = 0; // 46, frames per second
    uint16_t videoQuality = 0;   // 48, quality x 100
    uint16_t audioBitrate = 0;   // 50, kbit/s x 10
    uint16_t rates[kStatusRateCount] = {};  // 52.., StatusRate order, 100 bit/s
};

bool buildStatusReport(PeerMessage& m, const StatusReportFields& f);
// Rejects a report whose scale is 0: the receiver divides by it.
bool parseStatusReport(MessageBytes in, StatusReportFields& out);

// A value for one of the 16-bit report fields: truncated, and held to
// 0..65535 (NaN gives 0) instead of wrapping.
uint16_t statusField(double value);
