// Two links in one process, on 127.0.0.2 and 127.0.0.3, each with its
// network thread, exchanging every message kind through a socket layer that
// reorders, duplicates and drops datagrams.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "tests/unit/peerlink/FragmentMaker.h"
#include "tests/unit/peerlink/LinkHarness.h"
#include "tests/unit/peerlink/LossySocket.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "trvcore/trvnetwork/MediaMessages.h"

namespace {

// One message of every kind, the media kinds at their largest.
std::vector<PeerMessage> oneOfEveryKind() {
    std::vector<PeerMessage> all(14);
    std::vector<uint8_t> data(8156);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + 5);
    AudioFrameHeader audio;
    audio.streamPosition = 1152;
    audio.sampleRate = 44100;
    audio.frameCounter = 3;
    buildAudioFrame(all[0], audio, data.data(), 417);
    VideoFrameHeader video;
    buildVideoFrame(all[1], video, data.data(), 8156);
    MidiBlockHeader midi;
    midi.sampleRate = 44100;
    beginMidiBlock(all[2], midi);
    MidiEvent on;
    on.data[0] = 0x90;
    on.data[1] = 60;
    on.data[2] = 100;
    on.deltaFrames = 17;
    appendMidiEvent(all[2], on);
    appendMidiEvent(all[2], on);
    buildFileOffer(all[3], 123456, 2, "take one.wav", 12);
    buildFileChunk(all[4], 123456, 0, 2, data.data(), 2048);
    SyncInfoFields sync;
    sync.tempo = 98.5;
    buildSyncInfo(all[5], sync);
    buildSyncRequest(all[6]);
    buildAudioRestart(all[7]);
    RemoteSettingFields setting;
    setting.value = 256;
    setting.setting = 2;
    buildRemoteSetting(all[8], setting);
    buildBye(all[9]);
    buildPing(all[10], 0.0);
    StatusReportFields report;
    report.codec = kCodecMp3;
    buildStatusReport(all[11], report);
    FileControlFields control;
    control.transferId = 2;
    control.chunkLength = 2048;
    buildFileControl(all[12], control);
    buildInvitation(all[13], InvitationStep::Ask);
    return all;
}

// The bytes a receiver must see: the message as built, with the fields the
// sender writes as it leaves (linkFlags, a Ping's send time) taken from what
// arrived.
bool arrivedIntact(const PeerMessage& sent, const std::vector<uint8_t>& got) {
    if (got.size() != sent.length()) return false;
    PeerMessage expected = sent;
    expected.setLinkFlags(got[kMessageLinkFlagsAt]);
    if (expected.kind() == static_cast<uint8_t>(MessageKind::Ping)) {
        std::memcpy(expected.data() + 16, got.data() + 16, 8);
    }
    return std::memcmp(expected.data(), got.data(), got.size()) == 0;
}

class TwoLinks : public ::testing::Test {
protected:
    void SetUp() override {
        aliceSocket = new LossySocket("127.0.0.2");
        bobSocket = new LossySocket("127.0.0.3");
        PeerLinkOptions o;
        o.port = 0;  // the default port may be taken by a test running beside us
        o.socket = aliceSocket;
        alice.reset(new LinkHarness(o));
        o.socket = bobSocket;
        bob.reset(new LinkHarness(o));
        ASSERT_TRUE(alice->link->hasSocket());
        ASSERT_TRUE(bob->link->hasSocket());
        alice->connection->setPartnerAddress("127.0.0.3", bob->link->boundPort());
        bob->connection->setPartnerAddress("127.0.0.2", alice->link->boundPort());
    }
    void TearDown() override {
        alice.reset();
        bob.reset();
    }

    // Posts every message from `from` and expects all at `to`, in order.
    static void expectAllArrive(LinkHarness& from, LinkHarness& to,
                                const std::vector<PeerMessage>& messages) {
        for (PeerMessage m : messages) ASSERT_TRUE(from.connection->post(m));
        ASSERT_TRUE(to.waitForMessages(messages.size()));
        auto got = to.messages();
        ASSERT_EQ(messages.size(), got.size());
        for (size_t i = 0; i < messages.size(); ++i)
            EXPECT_TRUE(arrivedIntact(messages[i], got[i])) << "kind " << int(messages[i].kind());
    }

    LossySocket* aliceSocket = nullptr;
    LossySocket* bobSocket = nullptr;
    std::unique_ptr<LinkHarness> alice;
    std::unique_ptr<LinkHarness> bob;
};

}  // namespace

TEST_F(TwoLinks, EveryKindTravelsBothWays) {
    const auto all = oneOfEveryKind();
    expectAllArrive(*alice, *bob, all);
    expectAllArrive(*bob, *alice, all);
    EXPECT_EQ(0u, alice->link->receiveErrors(false));
    EXPECT_EQ(0u, bob->link->receiveErrors(false));
    // Replies follow the address the partner's messages came from.
    EXPECT_EQ(alice->link->boundPort(), bob->connection->partnerAddress().port);
}

TEST_F(TwoLinks, ReorderedAndDuplicatedFragmentsStillMakeEveryMessage) {
    aliceSocket->reorderEvery = 3;
    aliceSocket->duplicateEvery = 5;
    auto all = oneOfEveryKind();
    // A last message to carry out any datagram held back for reordering.
    all.push_back(patternMessage(2000));
    for (PeerMessage m : all) ASSERT_TRUE(alice->connection->post(m));
    aliceSocket->release();
    ASSERT_TRUE(bob->waitForMessages(all.size()));
    auto got = bob->messages();
    ASSERT_EQ(all.size(), got.size());
    // Single-fragment messages may swap places; match each to its kind.
    for (const PeerMessage& m : all) {
        bool found = false;
        for (const auto& g : got) found = found || arrivedIntact(m, g);
        EXPECT_TRUE(found) << "kind " << int(m.kind());
    }
    EXPECT_EQ(0u, bob->link->receiveErrors(false));
}

TEST_F(TwoLinks, DroppedFragmentLosesOnlyItsOwnMessage) {
    aliceSocket->dropEvery = 40;
    std::vector<PeerMessage> sent;
    for (int i = 0; i < 30; ++i) sent.push_back(patternMessage(1000 + 200 * i, 11, uint8_t(i)));
    for (PeerMessage m : sent) ASSERT_TRUE(alice->connection->post(m));
    const int dropped = aliceSocket->dropped.load();
    ASSERT_GT(dropped, 0);
    // Every message whose fragments all left arrives; wait for them.
    const size_t expected = sent.size() - dropped;
    ASSERT_TRUE(bob->waitForMessages(expected));
    auto got = bob->messages();
    EXPECT_EQ(expected, got.size());
    for (const auto& g : got) {
        bool found = false;
        for (const PeerMessage& m : sent) found = found || arrivedIntact(m, g);
        EXPECT_TRUE(found);
    }
}
