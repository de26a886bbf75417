// The link's intake and socket state, driven without its thread: receive
// checks, the control datagrams, the would-block rule and error counters.
// The last tests run the real thread on loopback.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "tests/unit/peerlink/FakeLinkClock.h"
#include "tests/unit/peerlink/FragmentMaker.h"
#include "tests/unit/peerlink/LinkHarness.h"
#include "tests/unit/peerlink/ScriptedSocket.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/WireBytes.h"

using platform::IoResult;

namespace {

class CountingListener : public PeerLinkListener {
public:
    void onPeerPacket(const PeerMessage& m, const PeerAddress& from) override {
        ++packets;
        lastFrom = from;
        lastLength = m.length();
    }
    void onPeerTick() override { ++ticks; }
    void onLocalPort(uint16_t port) override { localPort = port; }
    void onLinkStatus(const char*) override {}
    double videoBudgetKbps() override { return 0; }

    int packets = 0, ticks = 0;
    uint16_t localPort = 0, lastLength = 0;
    PeerAddress lastFrom;
};

class PeerLinkIntake : public ::testing::Test {
protected:
    PeerLinkIntake() {
        socket = new ScriptedSocket;
        PeerLinkOptions o;
        o.socket = socket;
        o.clock = &clock;
        o.startThread = false;
        link.reset(new PeerLink(&listener, o));
    }

    void receive(const std::vector<uint8_t>& d, const PeerAddress& from) {
        link->handleDatagram(d.data(), d.size(), from);
    }
    static std::vector<uint8_t> control(size_t (*build)(uint8_t*, size_t)) {
        std::vector<uint8_t> d(kControlDatagramSize);
        build(d.data(), d.size());
        return d;
    }
    static std::vector<uint8_t> portReply(uint16_t port) {
        std::vector<uint8_t> d(kControlDatagramSize);
        buildPortReply(d.data(), d.size(), port);
        return d;
    }

    FakeLinkClock clock;
    CountingListener listener;
    ScriptedSocket* socket;
    std::unique_ptr<PeerLink> link;
    const PeerAddress peer{0xC0000201, 61234};
};

}  // namespace

TEST_F(PeerLinkIntake, DamagedDatagramsAreCountedAndDropped) {
    auto good = fragmentsOf(patternMessage(100), 1)[0];
    auto badMagic = good;
    badMagic[1] = 0xB8;
    auto longer = good;
    longer.push_back(0);  // datagramLength now one short of the size
    std::vector<uint8_t> tiny(good.begin(), good.begin() + 9);
    std::vector<uint8_t> oversize(513, 0);
    oversize[0] = kDatagramMagic1;
    oversize[1] = kDatagramMagic2;
    wire::writeU16(oversize.data(), oversize.size(), 2, 513);
    for (const auto& d : {badMagic, longer, tiny, oversize}) receive(d, peer);
    EXPECT_EQ(0, listener.packets);
    EXPECT_EQ(4u, link->pendingReceiveErrors());
    EXPECT_EQ(4u, link->receiveErrors(true));
    EXPECT_EQ(0u, link->receiveErrors(false));
    // Clearing the display leaves the count still owed to the partner.
    EXPECT_EQ(4u, link->pendingReceiveErrors());

    receive(good, peer);
    EXPECT_EQ(1, listener.packets);
    EXPECT_EQ(100, listener.lastLength);
    EXPECT_EQ(peer, listener.lastFrom);
}

TEST_F(PeerLinkIntake, PortQueryFromAnyAddressIsAnsweredWithItsSourcePort) {
    receive(control(buildPortQuery), peer);
    ASSERT_EQ(1u, socket->sent.size());
    EXPECT_EQ(peer, socket->sent[0].to);
    EXPECT_EQ(portReply(61234), socket->sent[0].bytes);
    // A reply that would block goes out when the socket can send, followed
    // by the tick that flushes the connections.
    socket->script = {IoResult::WouldBlock};
    receive(control(buildPortQuery), PeerAddress{0xC0000202, 3000});
    EXPECT_TRUE(link->blocked());
    link->handleWritable();
    ASSERT_EQ(2u, socket->sent.size());
    EXPECT_EQ(portReply(3000), socket->sent[1].bytes);
    EXPECT_FALSE(link->blocked());
    EXPECT_EQ(1, listener.ticks);
    EXPECT_EQ(0, listener.packets);
}

TEST_F(PeerLinkIntake, PortReplyGivesItsPortAndHolePunchNothing) {
    receive(portReply(0xE304), peer);
    EXPECT_EQ(0xE304, listener.localPort);
    receive(control(buildHolePunch), peer);
    EXPECT_EQ(0, listener.packets);
    EXPECT_EQ(0u, link->pendingReceiveErrors());
    EXPECT_TRUE(socket->sent.empty());
    // The HolePunch number with flags 1 is a fragment: to reassembly, where
    // a fragment without payload is an error.
    auto d = control(buildHolePunch);
    d[9] = kLastFragmentFlag;
    receive(d, peer);
    EXPECT_EQ(1u, link->pendingReceiveErrors());
}
TEST_F(PeerLinkIntake, WouldBlockRefusesSendsForFourSecondsThenTriesAgain) {
    const uint8_t d[20] = {1};
    socket->script = {IoResult::WouldBlock};
    EXPECT_EQ(0u, link->sendDatagram(d, sizeof d, peer));
    EXPECT_TRUE(link->blocked());
    EXPECT_EQ(1, socket->sendCalls);

    clock.advanceMs(100);
    EXPECT_EQ(0u, link->sendDatagram(d, sizeof d, peer));  // starts the 4 s
    clock.advanceMs(4000);
    EXPECT_EQ(0u, link->sendDatagram(d, sizeof d, peer));  // exactly 4 s: still refused
    EXPECT_TRUE(link->blocked());
    clock.advanceMs(1);
    EXPECT_EQ(0u, link->sendDatagram(d, sizeof d, peer));  // refused, but unblocks
    EXPECT_FALSE(link->blocked());
    EXPECT_EQ(1, socket->sendCalls);
    EXPECT_EQ(sizeof d, link->sendDatagram(d, sizeof d, peer));
    EXPECT_EQ(2, socket->sendCalls);
    EXPECT_EQ(0u, link->sendErrors(true));
}

TEST_F(PeerLinkIntake, SendFailuresAreCountedForDisplayAndForThePartner) {
    const uint8_t d[20] = {1};
    socket->script = {IoResult::Error, IoResult::Error};
    link->sendDatagram(d, sizeof d, peer);
    link->sendDatagram(d, sizeof d, peer);
    EXPECT_FALSE(link->blocked());
    EXPECT_EQ(2u, link->sendErrors(true));   // kept
    EXPECT_EQ(2u, link->sendErrors(false));  // cleared
    EXPECT_EQ(0u, link->sendErrors(true));
    EXPECT_EQ(2u, link->pendingSendErrors());
    link->consumeSendErrors(5);  // never below zero
    EXPECT_EQ(0u, link->pendingSendErrors());
}

TEST_F(PeerLinkIntake, ControlDatagramsGoToTheLinksPortAtTheGivenAddress) {
    link->setPort(50000);
    ASSERT_TRUE(link->sendPortQuery("198.51.100.3"));
    ASSERT_TRUE(link->sendHolePunch("198.51.100.4"));
    EXPECT_FALSE(link->sendHolePunch("not an address"));
    ASSERT_EQ(2u, socket->sent.size());
    EXPECT_EQ((PeerAddress{0xC6336403, 50000}), socket->sent[0].to);
    EXPECT_EQ(control(buildPortQuery), socket->sent[0].bytes);
    EXPECT_EQ(control(buildHolePunch), socket->sent[1].bytes);
    socket->script = {IoResult::WouldBlock};
    EXPECT_FALSE(link->sendHolePunch("198.51.100.4"));
    EXPECT_TRUE(link->blocked());
}

TEST(PeerLinkSocket, LinkWithoutASocketStaysSilent) {
    auto* socket = new ScriptedSocket;
    socket->openSucceeds = false;
    CountingListener listener;
    PeerLinkOptions o;
    o.socket = socket;
    PeerLink link(&listener, o);
    EXPECT_FALSE(link.hasSocket());
    EXPECT_EQ(nullptr, link.socket());
    EXPECT_FALSE(link.threadStarted());
    const uint8_t d[20] = {1};
    EXPECT_EQ(0u, link.sendDatagram(d, sizeof d, PeerAddress{1, 2}));
    EXPECT_FALSE(link.sendPortQuery("192.0.2.1"));
    EXPECT_EQ(0, socket->sendCalls);
}

TEST(PeerLinkSocket, WaitErrorPostsTheNetEventLineAndTheThreadGoesOn) {
    PeerLinkOptions o;
    o.socket = new ScriptedSocket;  // its waitFor always reports an error
    LinkHarness h(o);
    ASSERT_TRUE(h.link->threadStarted());
    for (int i = 0; i < 200 && h.statusLines < 2; ++i) platform::sleepMilliseconds(10);
    EXPECT_GE(h.statusLines.load(), 2);
    EXPECT_EQ(std::string("INVITATION ERROR: Net Event Error!"), PeerLink::kNetEventError);
}

TEST(PeerLinkSocket, SecondLinkOnATakenPortHasNoSocket) {
    PeerLinkOptions o;
    o.bindAddress = "127.0.0.2";
    o.port = 0;
    LinkHarness first(o);
    ASSERT_TRUE(first.link->hasSocket());
    o.port = first.link->boundPort();
    LinkHarness second(o);
    EXPECT_FALSE(second.link->hasSocket());
    EXPECT_FALSE(second.link->threadStarted());
}

TEST(PeerLinkSocket, PortQueryOverLoopbackBringsTheSeenPortToTheListener) {
    PeerLinkOptions o;
    o.port = 0;
    o.bindAddress = "127.0.0.2";
    LinkHarness asking(o);
    o.bindAddress = "127.0.0.3";
    LinkHarness answering(o);
    ASSERT_TRUE(asking.link->hasSocket());
    ASSERT_TRUE(answering.link->hasSocket());
    asking.link->setPort(answering.link->boundPort());
    ASSERT_TRUE(asking.link->sendPortQuery("127.0.0.3"));
    ASSERT_TRUE(asking.waitForLocalPort());
    EXPECT_EQ(asking.link->boundPort(), asking.localPort);
    EXPECT_EQ(0u, answering.link->receiveErrors(false));
}
