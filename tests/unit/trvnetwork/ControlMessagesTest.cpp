// Handshake, transport, settings and statistics kinds on the wire.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/unit/trvnetwork/WireFields.h"
#include "trvcore/trvnetwork/ControlMessages.h"

TEST(PeerInvitation, StepTravelsInTheSubKindByteAndUnknownStepsAreRefused) {
    PeerMessage m;
    ASSERT_TRUE(buildInvitation(m, InvitationStep::Ringing));
    EXPECT_EQ(7, m.data()[9]);
    InvitationStep step;
    ASSERT_TRUE(parseInvitation(m, step));
    EXPECT_EQ(InvitationStep::Ringing, step);
    for (uint8_t bad : {0, 8, 255}) {
        m.setSubKind(bad);
        EXPECT_FALSE(parseInvitation(m, step)) << int(bad);
    }
    buildAudioRestart(m);
    EXPECT_EQ(kAudioRestartEncoder, m.subKind());
}

TEST(PeerSyncInfo, TransportStateSitsAtItsOffsetsAndComesBack) {
    SyncInfoFields f;
    f.ppqPosition = 17.25;
    f.tempo = 93.5;
    f.cycleEnd = 16.0;
    f.timeSignatureDenominator = 8;
    f.peerState = kPeerStateReceiving | kPeerStateEncoding;
    PeerMessage m;
    ASSERT_TRUE(buildSyncInfo(m, f));
    EXPECT_EQ(48000.0, doubleAt(m, 16));
    EXPECT_EQ(93.5, doubleAt(m, 32));
    EXPECT_EQ(16.0, doubleAt(m, 48));
    EXPECT_EQ(8u, u32At(m, 60));
    EXPECT_EQ(6u, u32At(m, 68));
    SyncInfoFields back;
    ASSERT_TRUE(parseSyncInfo(m, back));
    EXPECT_EQ(17.25, back.ppqPosition);
    EXPECT_EQ(4, back.timeSignatureNumerator);
}

TEST(PeerRemoteSetting, LocateCarriesTheSamplePositionAsADouble) {
    RemoteSettingFields f;
    f.setting = static_cast<uint32_t>(RemoteSettingType::Locate);
    f.value = 1234567890123.0;
    PeerMessage m;
    ASSERT_TRUE(buildRemoteSetting(m, f));
    EXPECT_EQ(0, m.subKind());
    EXPECT_EQ(4u, u32At(m, 24));
    EXPECT_EQ(f.value, doubleAt(m, 16));
    RemoteSettingFields back;
    ASSERT_TRUE(parseRemoteSetting(m, back));
    EXPECT_EQ(f.value, back.value);
}

TEST(PeerPing, SendTimeIsStampedWhenTheMessageLeavesTheQueue) {
    PeerMessage m;
    buildPing(m, 0.0);
    ASSERT_TRUE(setPingSendTime(m, 8.5e12));
    EXPECT_EQ(8.5e12, doubleAt(m, 16));
    buildBye(m);
    EXPECT_FALSE(setPingSendTime(m, 1.0));
}

TEST(PeerStatusReport, StatisticsSitAtTheirOffsetsAndAZeroScaleIsRefused) {
    StatusReportFields f;
    f.echoTime = 4.25e11;
    f.codec = kCodecMp3;
    f.sendErrors = 1;
    f.upstreamRate = 2560;
    for (size_t i = 0; i < kStatusRateCount; ++i) f.rates[i] = static_cast<uint16_t>(100 + i);
    PeerMessage m;
    ASSERT_TRUE(buildStatusReport(m, f));
    EXPECT_EQ(4.25e11, doubleAt(m, 16));
    EXPECT_EQ(34, u16At(m, 34));
    EXPECT_EQ(1, u16At(m, 38));
    EXPECT_EQ(10, u16At(m, 40));
    EXPECT_EQ(2560, u16At(m, 44));
    EXPECT_EQ(100, u16At(m, 52));
    EXPECT_EQ(109, u16At(m, 70));
    StatusReportFields back;
    ASSERT_TRUE(parseStatusReport(m, back));
    EXPECT_EQ(105, back.rates[kRateSentTotal]);
    f.scale = 0;  // the receiver divides the upstream field by it
    buildStatusReport(m, f);
    EXPECT_FALSE(parseStatusReport(m, back));
}

TEST(PeerStatusReport, FieldValuesSaturateInsteadOfWrapping) {
    EXPECT_EQ(65535, statusField(70000.0));
    EXPECT_EQ(0, statusField(-5.0));
    EXPECT_EQ(0, statusField(std::nan("")));
    EXPECT_EQ(1499, statusField(1499.9));
}
