// PeerMessage header, the delivery check and the kind table, swept over
// every kind through its builder and parser.
#include <gtest/gtest.h>

#include <cstring>

#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/trvnetwork/WireBytes.h"

namespace {

// The smallest message of each kind as its builder makes it, and the parser
// that must accept it.
struct KindCase {
    MessageKind kind;
    bool (*build)(PeerMessage&);
    bool (*parse)(MessageBytes);
};

const KindCase kCases[] = {
    {MessageKind::AudioFrame, [](PeerMessage& m) { return buildAudioFrame(m, {}, nullptr, 0); },
     [](MessageBytes in) { AudioFrameView v; return parseAudioFrame(in, v); }},
    {MessageKind::VideoFrame, [](PeerMessage& m) { return buildVideoFrame(m, {}, nullptr, 0); },
     [](MessageBytes in) { VideoFrameView v; return parseVideoFrame(in, v); }},
    {MessageKind::MidiBlock, [](PeerMessage& m) { return beginMidiBlock(m, {}); },
     [](MessageBytes in) { MidiBlockView v; return parseMidiBlock(in, v); }},
    {MessageKind::FileOffer, [](PeerMessage& m) { return buildFileOffer(m, 1, 2, "", 0); },
     [](MessageBytes in) { FileOfferView v; return parseFileOffer(in, v); }},
    {MessageKind::FileChunk, [](PeerMessage& m) { return buildFileAbortNotice(m, 2); },
     [](MessageBytes in) { FileChunkView v; return parseFileChunk(in, v); }},
    {MessageKind::SyncInfo, [](PeerMessage& m) { return buildSyncInfo(m, {}); },
     [](MessageBytes in) { SyncInfoFields f; return parseSyncInfo(in, f); }},
    {MessageKind::SyncRequest, buildSyncRequest,
     [](MessageBytes in) { uint8_t s; return parseBareMessage(in, MessageKind::SyncRequest, s); }},
    {MessageKind::AudioRestart, buildAudioRestart,
     [](MessageBytes in) { uint8_t s; return parseBareMessage(in, MessageKind::AudioRestart, s); }},
    {MessageKind::RemoteSetting, [](PeerMessage& m) { return buildRemoteSetting(m, {}); },
     [](MessageBytes in) { RemoteSettingFields f; return parseRemoteSetting(in, f); }},
    {MessageKind::Bye, buildBye,
     [](MessageBytes in) { uint8_t s; return parseBareMessage(in, MessageKind::Bye, s); }},
    {MessageKind::Ping, [](PeerMessage& m) { return buildPing(m, 5.0); },
     [](MessageBytes in) { double t; return parsePing(in, t); }},
    {MessageKind::StatusReport, [](PeerMessage& m) { return buildStatusReport(m, {}); },
     [](MessageBytes in) { StatusReportFields f; return parseStatusReport(in, f); }},
    {MessageKind::FileControl, [](PeerMessage& m) { return buildFileControl(m, {}); },
     [](MessageBytes in) { FileControlFields f; return parseFileControl(in, f); }},
    {MessageKind::Invitation,
     [](PeerMessage& m) { return buildInvitation(m, InvitationStep::Invite); },
     [](MessageBytes in) { InvitationStep s; return parseInvitation(in, s); }},
};

}  // namespace

TEST(PeerMessageKinds, EverySmallestMessageHasTheTableLengthAndParses) {
    size_t count = 0;
    messageKinds(count);
    ASSERT_EQ(count, sizeof kCases / sizeof kCases[0]);
    for (const KindCase& c : kCases) {
        const MessageKindInfo* info = findMessageKind(static_cast<uint8_t>(c.kind));
        ASSERT_NE(nullptr, info);
        PeerMessage m;
        ASSERT_TRUE(c.build(m)) << info->name;
        EXPECT_EQ(info->minLength, m.length()) << info->name;
        EXPECT_EQ(static_cast<uint8_t>(c.kind), m.kind());
        EXPECT_EQ(MessageCheck::Ok, checkMessage(m.data(), m.length())) << info->name;
        EXPECT_TRUE(c.parse(m)) << info->name;
        EXPECT_TRUE(c.parse(MessageBytes(m.data(), m.length()))) << info->name;
    }
}

TEST(PeerMessageKinds, ParsersRefuseTruncatedShortenedOrMislabelledMessages) {
    for (const KindCase& c : kCases) {
        const MessageKindInfo* info = findMessageKind(static_cast<uint8_t>(c.kind));
        PeerMessage m;
        c.build(m);
        // Fewer bytes available than the length field claims.
        EXPECT_FALSE(c.parse(MessageBytes(m.data(), m.length() - 1))) << info->name;
        // A length below the kind's minimum.
        if (info->minLength > kMessageHeaderSize) {
            m.setLength(info->minLength - 1);
            EXPECT_FALSE(c.parse(m)) << info->name;
            m.setLength(info->minLength);
        }
        // A length field above the maximum (setLength itself refuses it).
        wire::writeU16(m.data(), m.capacity(), kMessageLengthAt, 8193);
        EXPECT_FALSE(c.parse(m)) << info->name;
        m.setLength(info->minLength);
        m.setKind(m.kind() == 18 ? 17 : m.kind() + 1);
        EXPECT_FALSE(c.parse(m)) << info->name;
        m.setKind(static_cast<uint8_t>(c.kind));
        m.data()[1] = 0;
        EXPECT_FALSE(c.parse(m)) << info->name;
    }
}

TEST(PeerMessageKinds, UnusedKindNumbersAreUnknown) {
    for (uint8_t k : {0, 6, 7, 12, 14, 19, 255}) EXPECT_EQ(nullptr, findMessageKind(k)) << int(k);
}

TEST(PeerMessageHeader, BeginClearsWhatAnEarlierMessageLeftBehind) {
    PeerMessage m;
    std::memset(m.data(), 0xFF, m.capacity());
    ASSERT_TRUE(m.begin(MessageKind::Ping, 32));
    const uint8_t header[12] = {0xB6, 0xE9, 0xF4, 15, 32, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(header, m.data(), 12));
    for (size_t i = 12; i < 32; ++i) EXPECT_EQ(0, m.data()[i]) << i;
    EXPECT_FALSE(m.begin(MessageKind::Ping, 11));
    EXPECT_FALSE(m.begin(MessageKind::Ping, 8193));
    EXPECT_EQ(32, m.length());
}

TEST(PeerMessageCheck, AcceptsOnlyTwelveTo8192BytesWithMagicAndMatchingLength) {
    PeerMessage m;
    m.begin(MessageKind::Bye, 12);
    EXPECT_EQ(MessageCheck::Ok, checkMessage(m.data(), 12));
    EXPECT_EQ(MessageCheck::LengthMismatch, checkMessage(m.data(), 13));
    EXPECT_EQ(MessageCheck::TooShort, checkMessage(m.data(), 11));
    EXPECT_EQ(MessageCheck::TooLong, checkMessage(m.data(), 8193));
    m.begin(MessageKind::AudioFrame, 8192);
    EXPECT_EQ(MessageCheck::Ok, checkMessage(m.data(), 8192));
    m.data()[2] = 0xF5;
    EXPECT_EQ(MessageCheck::BadMagic, checkMessage(m.data(), 8192));
    // Twelve bytes arrived, but the message says it is six long.
    m.begin(MessageKind::Bye, 12);
    m.setLength(6);
    EXPECT_EQ(MessageCheck::LengthMismatch, checkMessage(m.data(), 12));
}
