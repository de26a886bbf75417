// The invitation handshake between two sessions on loopback links, and a
// session driven by a scripted partner: repeats, unasked steps, the
// registered port, round trips, and closing from several threads at once.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/peerlink/LinkHarness.h"
#include "tests/unit/session/SessionTestSupport.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "trvcore/trvnetwork/LinkClock.h"
#include "trvcore/trvnetwork/WireBytes.h"

using namespace sessiontest;
using State = PartnerSession::State;

namespace {

// A partner that only does what the test says: a bare link whose one
// connection follows the sender and records what arrives.
std::unique_ptr<LinkHarness> scriptedPartner(uint16_t port = kPeerUdpPort, const std::string& address = "") {
    for (int attempt = 0; attempt < 20; ++attempt) {
        PeerLinkOptions o;
        o.bindAddress = address.empty() ? freeLoopbackAddress() : address;
        o.port = port;
        std::unique_ptr<LinkHarness> h(new LinkHarness(o));
        if (h->link->hasSocket()) return h;
        if (!address.empty()) break;
    }
    return nullptr;
}

int countSteps(LinkHarness& h, InvitationStep step) {
    int n = 0;
    for (const std::vector<uint8_t>& m : h.messages()) {
        InvitationStep s;
        if (parseInvitation(MessageBytes(m.data(), m.size()), s) && s == step) ++n;
    }
    return n;
}

int countKind(LinkHarness& h, MessageKind kind) {
    int n = 0;
    for (const std::vector<uint8_t>& m : h.messages())
        if (m.size() > kMessageKindAt && m[kMessageKindAt] == static_cast<uint8_t>(kind)) ++n;
    return n;
}

void sendStep(LinkHarness& h, InvitationStep step) {
    PeerMessage m;
    buildInvitation(m, step);
    h.connection->post(m);
}

class PartnerSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(alice.ok());
        ASSERT_TRUE(bob.ok());
        bob.inviterName = "alice";
    }
    void TearDown() override {
        if (inviter.joinable()) inviter.join();
    }

    // Alice invites bob; her Invite rounds run on `inviter`. Returns both
    // sessions once bob is being asked.
    void inviteUntilAsked(SessionRef& a, SessionRef& b) {
        a = alice.make(user("bob", bob.address));
        ASSERT_TRUE(a);
        SessionRef running = a;
        inviter = std::thread([running] { running->startInvitation(true); });
        b = bob.waitFirst();
        ASSERT_TRUE(b);
        ASSERT_TRUE(eventually([&] { return b->awaitingAnswer(); }));
    }
    void connect(SessionRef& a, SessionRef& b) {
        inviteUntilAsked(a, b);
        b->acceptInvitation(true);
        ASSERT_TRUE(eventually([&] { return a->connected() && b->connected(); }));
        ASSERT_TRUE(bob.host.waitFor("Connected to alice"));
    }

    SessionSide alice;
    SessionSide bob;
    std::thread inviter;
};

}  // namespace

TEST_F(PartnerSessionTest, InviteAndAcceptConnectsBothSidesWithTheirLinesInOrder) {
    SessionRef a, b;
    inviteUntilAsked(a, b);
    EXPECT_EQ(a->state(), State::WaitingForAnswer);
    EXPECT_EQ(b->state(), State::Asking);
    EXPECT_EQ(a->deadline(), 0u) << "Ringing ends the inviter's time-out";
    EXPECT_EQ(b->deadline(), 0u) << "handling the Invite ends the invitee's";
    EXPECT_EQ(bob.host.chimes.load(), 1);

    b->acceptInvitation(true);
    ASSERT_TRUE(eventually([&] { return a->connected() && b->connected(); }));
    ASSERT_TRUE(bob.host.waitFor("Connected to alice"));
    EXPECT_EQ(alice.host.lines(), (std::vector<std::string>{"Inviting bob...", "Waiting for bob to accept Invitation...",
                                                            "Connected to bob"}));
    EXPECT_EQ(bob.host.lines(), (std::vector<std::string>{"Invitation from alice.", "Accepted connection to alice",
                                                          "Connected to alice"}));
    // The inviter tells its host after its Connected rounds.
    EXPECT_TRUE(eventually([&] { return alice.host.connectedCalls.load() == 1; }));
    EXPECT_TRUE(eventually([&] { return bob.host.connectedCalls.load() == 1; }));
    EXPECT_EQ(bob.host.disconnectOthersCalls.load(), 1) << "accepting ends the other sessions first";
    EXPECT_EQ(alice.host.disconnectOthersCalls.load(), 0);
    EXPECT_EQ(bob.host.chimes.load(), 1) << "the repeated Asks ring once";
}

TEST_F(PartnerSessionTest, HeartbeatMeasuresTheRoundTripFromThePartnersStatusReport) {
    SessionRef a, b;
    connect(a, b);
    EXPECT_EQ(a->roundTrip(), 0.0);
    a->heartbeat();
    ASSERT_TRUE(eventually([&] { return a->roundTrip() > 0.0; }));
    EXPECT_LT(a->roundTrip(), PartnerSession::kMaxRoundTripSeconds);
    EXPECT_GE(a->maxRoundTrip(), a->roundTrip());
    uint8_t report[PartnerSession::kStatusReportBytes];
    ASSERT_TRUE(a->lastStatusReport(report) || eventually([&] { return a->lastStatusReport(report); }));
    EXPECT_EQ(report[kMessageKindAt], static_cast<uint8_t>(MessageKind::StatusReport));
    EXPECT_EQ(wire::loadLittle(report + 34, 2), kCodecMp3) << "the partner's own values";
    EXPECT_EQ(wire::loadLittle(report + 40, 2), kStatusReportScale);
    uint8_t none[PartnerSession::kStatusReportBytes];
    EXPECT_FALSE(b->lastStatusReport(none)) << "bob sent no Ping";
}

TEST_F(PartnerSessionTest, AnInviteeRingsOnceAndIsNotConnectedUnasked) {
    std::unique_ptr<LinkHarness> partner = scriptedPartner();
    ASSERT_TRUE(partner);
    partner->connection->setPartnerAddress(bob.address.c_str());
    for (int i = 0; i < 3; ++i) sendStep(*partner, InvitationStep::Invite);
    ASSERT_TRUE(bob.host.waitFor("Invitation from alice."));
    SessionRef b = bob.first();
    ASSERT_TRUE(b);
    // Five rounds, each to the address seen and to the well-known port (the same here).
    ASSERT_TRUE(eventually([&] { return countSteps(*partner, InvitationStep::Ringing) >= 10; }));
    EXPECT_EQ(b->state(), State::Invited);

    sendStep(*partner, InvitationStep::Connected);
    sendStep(*partner, InvitationStep::Accept);
    for (int i = 0; i < 3; ++i) sendStep(*partner, InvitationStep::Ask);
    ASSERT_TRUE(eventually([&] { return b->awaitingAnswer(); }));
    EXPECT_FALSE(b->connected()) << "Connected before this user accepted is ignored";

    b->acceptInvitation(true);
    EXPECT_TRUE(eventually([&] { return countSteps(*partner, InvitationStep::Accept) >= 1; }));
    EXPECT_EQ(b->state(), State::Accepted);
    sendStep(*partner, InvitationStep::Ask);  // late repeat
    sendStep(*partner, InvitationStep::Connected);
    sendStep(*partner, InvitationStep::Connected);
    ASSERT_TRUE(bob.host.waitFor("Connected to alice"));
    ASSERT_TRUE(eventually([&] { return countSteps(*partner, InvitationStep::Accept) == 5; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(countSteps(*partner, InvitationStep::Ringing), 10) << "repeated Invites ring no more";
    EXPECT_EQ(bob.host.chimes.load(), 1);
    EXPECT_FALSE(b->awaitingAnswer()) << "a late Ask does not ask again";
    EXPECT_EQ(bob.host.count("Connected to alice"), 1);
    EXPECT_EQ(bob.host.connectedCalls.load(), 1);
    EXPECT_EQ(b->state(), State::Connected);
}

namespace {
// Counts the file chunks a session hands over, noting whether its thread
// was still pausing in the Ringing rounds when each came.
struct ChunkCounter : SessionMediaSink {
    explicit ChunkCounter(FakeSessionHost& h) : host(h) {}
    void onMediaMessage(PartnerSession&, const PeerMessage& m) override {
        FileChunkView v;
        if (!parseFileChunk(MessageBytes(m.data(), m.length()), v)) return;
        if (host.count("Invitation from alice.") == 0) ++beforeRoundsEnded;
        ++chunks;
    }
    FakeSessionHost& host;
    std::atomic<int> chunks{0};
    std::atomic<int> beforeRoundsEnded{0};
};
}  // namespace

TEST_F(PartnerSessionTest, FileAndMediaMessagesDoNotWaitBehindTheHandshakesPauses) {
    std::unique_ptr<LinkHarness> partner = scriptedPartner();
    ASSERT_TRUE(partner);
    partner->connection->setPartnerAddress(bob.address.c_str());
    sendStep(*partner, InvitationStep::Invite);
    SessionRef b = bob.waitFirst();
    ASSERT_TRUE(b);
    ChunkCounter counter(bob.host);
    b->setMediaSink(MessageKind::FileChunk, &counter);
    // The session thread now sends its Ringing rounds, 100 ms apart.
    ASSERT_TRUE(eventually([&] { return countSteps(*partner, InvitationStep::Ringing) >= 1; }));
    const uint8_t data[16] = {1, 2, 3};
    for (int i = 0; i < 200; ++i) {
        PeerMessage chunk;
        ASSERT_TRUE(buildFileChunk(chunk, 3200, 16u * uint32_t(i), 2, data, sizeof data));
        partner->connection->post(chunk);
    }
    ASSERT_TRUE(eventually([&] { return counter.chunks.load() == 200; }, 3000)) << counter.chunks.load();
    EXPECT_GT(counter.beforeRoundsEnded.load(), 150) << "the chunks waited for the session thread";
    EXPECT_EQ(b->droppedPackets(), 0u);
    // A kind without a sink is dropped and counted, never queued.
    b->setMediaSink(MessageKind::FileChunk, nullptr);
    PeerMessage chunk;
    ASSERT_TRUE(buildFileChunk(chunk, 3200, 0, 2, data, sizeof data));
    partner->connection->post(chunk);
    EXPECT_TRUE(eventually([&] { return b->droppedMedia() == 1; }));
}

TEST_F(PartnerSessionTest, EachSideLearnsTheOthersTransportAndCanLocateItsTimeCode) {
    SessionRef a, b;
    EXPECT_FALSE(alice.make(user("carol", "192.0.2.3"))->sendRemoteLocate(1.0)) << "only when connected";
    connect(a, b);
    SyncInfoFields f;
    EXPECT_FALSE(a->partnerTransport(f));
    EXPECT_EQ(f.tempo, 120.0) << "an empty record holds the defaults";
    a->requestPartnerTransport();
    ASSERT_TRUE(eventually([&] { return a->partnerTransport(f); }));
    EXPECT_EQ(f.tempo, 90.0);  // bob's host
    EXPECT_EQ(f.transportFlags, kTransportPlaying);
    EXPECT_EQ(f.peerState & (kPeerStateReceiving | kPeerStateEncoding), kPeerStateReceiving | kPeerStateEncoding);
    EXPECT_TRUE(a->takeTransportChanged());
    EXPECT_FALSE(a->takeTransportChanged());
    a->requestPartnerTransport();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(a->takeTransportChanged()) << "the same transport again is no change";

    const int before = bob.host.remoteSettings.load();
    EXPECT_TRUE(a->sendRemoteLocate(96000.0));
    EXPECT_TRUE(eventually([&] { return bob.host.remoteSettings.load() == before + 1; }));
}

TEST_F(PartnerSessionTest, AnAbortedMeansNothingOnceConnected) {
    SessionRef a, b;
    connect(a, b);
    PeerMessage aborted;
    buildInvitation(aborted, InvitationStep::Aborted);
    a->connection().post(aborted);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(b->state(), State::Connected);
    EXPECT_EQ(bob.host.count("alice has aborted an invitation."), 0);
    EXPECT_EQ(bob.host.closedCalls.load(), 0);
}

TEST_F(PartnerSessionTest, WithoutRingingAPartnersRegisteredPortGetsTheInviteAfterOneSecond) {
    // Nobody answers on either port; the registered one is a port of its own.
    std::unique_ptr<LinkHarness> wellKnown;
    std::string partnerAddress;
    for (int attempt = 0; attempt < 20 && partnerAddress.empty(); ++attempt) {
        const std::string candidate = freeLoopbackAddress();
        wellKnown = scriptedPartner(kPeerUdpPort, candidate);
        if (wellKnown) partnerAddress = candidate;
    }
    ASSERT_FALSE(partnerAddress.empty());
    std::unique_ptr<LinkHarness> registered = scriptedPartner(0, partnerAddress);
    ASSERT_TRUE(registered);
    const uint16_t port = registered->link->boundPort();
    ASSERT_NE(port, kPeerUdpPort);

    SessionRef a = alice.make(user("bob", partnerAddress, port));
    ASSERT_TRUE(a);
    const uint32_t start = platform::tickCount();
    SessionRef running = a;
    inviter = std::thread([running] { running->startInvitation(true); });
    ASSERT_TRUE(eventually([&] { return countSteps(*wellKnown, InvitationStep::Invite) >= 1; }));
    ASSERT_TRUE(eventually([&] { return countSteps(*registered, InvitationStep::Invite) >= 1; }, 3000));
    EXPECT_GE(platform::tickCount() - start, 900u) << "the registered port is tried after waiting for Ringing";
    EXPECT_EQ(a->state(), State::Inviting);
    EXPECT_FALSE(a->acknowledged());
    const uint32_t deadline = a->deadline();
    ASSERT_NE(deadline, 0u);
    EXPECT_FALSE(a->deadlinePassed(deadline - 1));
    EXPECT_TRUE(a->deadlinePassed(deadline));
    // Closing ends the rounds early.
    a->close(true);
    inviter.join();
    EXPECT_LT(platform::tickCount() - start, 4000u);
    EXPECT_EQ(alice.host.lines(), std::vector<std::string>{"Inviting bob..."});
    ASSERT_TRUE(eventually([&] { return countKind(*registered, MessageKind::Bye) == PartnerSession::kRounds; }))
        << "the Bye rounds follow the last address aimed at";
}

TEST_F(PartnerSessionTest, OnlyStatusReportsWithinTwentySecondsCountAsRoundTrips) {
    std::unique_ptr<LinkHarness> partner = scriptedPartner();
    ASSERT_TRUE(partner);
    partner->connection->setPartnerAddress(bob.address.c_str());
    sendStep(*partner, InvitationStep::Invite);
    SessionRef b = bob.waitFirst();
    ASSERT_TRUE(b);
    auto report = [&](double echoOffsetNs) {
        StatusReportFields f;
        f.echoTime = systemLinkClock().nowNs() + echoOffsetNs;
        PeerMessage m;
        buildStatusReport(m, f);
        partner->connection->post(m);
    };
    report(+5e9);   // from the future
    report(-25e9);  // too old
    StatusReportFields bad;
    bad.scale = 0;  // malformed
    PeerMessage m;
    buildStatusReport(m, bad);
    partner->connection->post(m);
    uint8_t kept[PartnerSession::kStatusReportBytes];
    ASSERT_TRUE(eventually([&] { return b->lastStatusReport(kept); }));
    EXPECT_EQ(b->roundTrip(), 0.0);
    report(-2e6);
    ASSERT_TRUE(eventually([&] { return b->roundTrip() > 0.0; }));
    EXPECT_LT(b->roundTrip(), 1.0);
}

TEST_F(PartnerSessionTest, ClosingFromSeveralThreadsAtOnceClosesOnceAndTheLastReferenceWaitsForTheThread) {
    const int before = PartnerSession::liveCount();
    std::unique_ptr<LinkHarness> partner = scriptedPartner();
    ASSERT_TRUE(partner);
    partner->connection->setPartnerAddress(bob.address.c_str());
    sendStep(*partner, InvitationStep::Invite);
    SessionRef b = bob.waitFirst();
    ASSERT_TRUE(b);
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        PeerMessage ping;
        buildPing(ping, 1.0);
        while (flooding) {
            partner->connection->post(ping);
            sendStep(*partner, InvitationStep::Ask);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::atomic<int> ready{0};
    std::vector<std::thread> closers;
    for (int i = 0; i < 3; ++i)
        closers.emplace_back([&, i] {
            ++ready;
            while (ready < 3) std::this_thread::yield();
            b->close(i == 0);
        });
    for (std::thread& t : closers) t.join();
    flooding = false;
    flood.join();
    EXPECT_TRUE(b->closed());
    EXPECT_EQ(bob.host.closedCalls.load(), 1);
    EXPECT_FALSE(b->awaitingAnswer());
    EXPECT_TRUE(eventually([&] { return b->threadEnded(); }));
    b.reset();
    EXPECT_GE(PartnerSession::liveCount(), before + 1) << "the side still holds its reference";
}

TEST(PartnerSessionLifetime, TheLastReleaseOnAnotherThreadDeletesAfterTheSessionThreadEnded) {
    const int before = PartnerSession::liveCount();
    FakeSessionHost host;
    PeerLinkOptions o;
    o.bindAddress = "127.0.0.1";
    o.port = 0;
    o.startThread = false;
    PeerLink link(nullptr, o);
    PartnerSession* s = PartnerSession::create(host, link, user("bob", "127.0.0.1"));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(PartnerSession::liveCount(), before + 1);
    s->addRef();
    std::thread other([s] { s->release(); });
    s->close(false);
    other.join();
    EXPECT_EQ(host.closedCalls.load(), 1);
    s->release();
    EXPECT_EQ(PartnerSession::liveCount(), before);
}
