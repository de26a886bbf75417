// The per-partner sender: fragmenting, message numbers, retry after a
// refused send, audio first, what is written as a message leaves, closing,
// and the bookkeeping of received messages.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "tests/unit/peerlink/FakeLinkClock.h"
#include "tests/unit/peerlink/FragmentMaker.h"
#include "tests/unit/peerlink/ScriptedSocket.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/Reassembler.h"
#include "trvcore/trvnetwork/WireBytes.h"

using platform::IoResult;

namespace {

uint16_t u16(const std::vector<uint8_t>& d, size_t at) {
    uint16_t v = 0;
    wire::readU16(d.data(), d.size(), at, v);
    return v;
}

// Collects what a reassembler makes of the datagrams a connection sent.
class Collector : public ReassemblySink {
public:
    void onReassembled(const PeerMessage& m, const PeerAddress&) override {
        messages.emplace_back(m.data(), m.data() + m.length());
    }
    void onReassemblyErrors(uint32_t n) override { errors += n; }
    std::vector<std::vector<uint8_t>> messages;
    uint32_t errors = 0;
};

class PeerConnectionSending : public ::testing::Test, public PeerLinkListener {
protected:
    PeerConnectionSending() {
        socket = new ScriptedSocket;
        PeerLinkOptions o;
        o.socket = socket;
        o.clock = &clock;
        o.startThread = false;
        link.reset(new PeerLink(this, o));
        connection.reset(new PeerConnection(*link));
        connection->setPartnerAddress("192.0.2.9", 58116);
    }

    void onPeerPacket(const PeerMessage&, const PeerAddress&) override {}
    void onPeerTick() override { connection->flush(); }
    void onLocalPort(uint16_t) override {}
    void onLinkStatus(const char*) override {}
    double videoBudgetKbps() override { return 0; }

    // Makes the socket refuse the next send and the link stay blocked.
    void block() { socket->script.push_back(IoResult::WouldBlock); }

    // Everything sent so far, reassembled.
    std::vector<std::vector<uint8_t>> delivered() {
        Collector c;
        Reassembler r(clock, c);
        for (const auto& d : socket->sent) {
            Fragment f;
            if (parseFragment(d.bytes.data(), d.bytes.size(), f) != FragmentStatus::NotFragment)
                r.add(f, d.to);
        }
        return c.messages;
    }

    FakeLinkClock clock;
    ScriptedSocket* socket;
    std::unique_ptr<PeerLink> link;
    std::unique_ptr<PeerConnection> connection;
};

}  // namespace

TEST_F(PeerConnectionSending, FullSizeMessageLeavesAsSeventeenDatagramsTheLastCarrying224Bytes) {
    PeerMessage m = patternMessage(8192);
    ASSERT_TRUE(connection->post(m));
    ASSERT_EQ(17u, socket->sent.size());
    const uint16_t number = u16(socket->sent[0].bytes, 4);
    for (size_t i = 0; i < 17; ++i) {
        const auto& d = socket->sent[i].bytes;
        EXPECT_EQ((PeerAddress{0xC0000209, 58116}), socket->sent[i].to);
        EXPECT_EQ(number, u16(d, 4));
        EXPECT_EQ(i * 498, u16(d, 6));
        EXPECT_EQ(i == 16 ? 1 : 0, d[9]);
        EXPECT_EQ(i == 16 ? 224u + 14 : 512u, d.size());
    }
    auto got = delivered();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(0, std::memcmp(got[0].data(), m.data(), 8192));
    EXPECT_EQ(0u, connection->generalWaiting());
}

TEST_F(PeerConnectionSending, EveryMessageTakesTheNextProcessWideNumber) {
    PeerConnection other(*link);
    other.setPartnerAddress("192.0.2.10");
    PeerMessage a = patternMessage(100), b = patternMessage(100);
    PeerMessage bare;  // no magic, length 0: goes out as a 12-byte message
    bare.setKind(static_cast<uint8_t>(MessageKind::SyncRequest));
    connection->post(a);
    other.post(b);
    connection->post(bare);
    ASSERT_EQ(3u, socket->sent.size());
    const uint16_t first = u16(socket->sent[0].bytes, 4);
    EXPECT_EQ(uint16_t(first + 1), u16(socket->sent[1].bytes, 4));
    EXPECT_EQ(uint16_t(first + 2), u16(socket->sent[2].bytes, 4));
    auto got = delivered();
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(12u, got[2].size());
}

TEST_F(PeerConnectionSending, RefusedMessageIsRetriedWholeUnderANewNumber) {
    PeerMessage m = patternMessage(1500);  // 4 fragments
    socket->script = {IoResult::Ok, IoResult::Ok, IoResult::WouldBlock};
    EXPECT_TRUE(connection->post(m));
    ASSERT_EQ(2u, socket->sent.size());
    EXPECT_EQ(1u, connection->generalWaiting());
    const uint16_t firstTry = u16(socket->sent[0].bytes, 4);

    link->handleWritable();  // the listener's tick flushes the connection
    ASSERT_EQ(6u, socket->sent.size());
    EXPECT_EQ(uint16_t(firstTry + 1), u16(socket->sent[2].bytes, 4));
    EXPECT_EQ(0u, u16(socket->sent[2].bytes, 6));
    EXPECT_EQ(0u, connection->generalWaiting());

    // The receiver completes the retry once; the orphans of the first try
    // wait for the expiry rule.
    auto got = delivered();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(0, std::memcmp(got[0].data(), m.data(), 1500));
}

TEST_F(PeerConnectionSending, AudioOvertakesABacklogOfOtherMessages) {
    block();
    for (int i = 0; i < 5; ++i) {
        PeerMessage g = patternMessage(600, static_cast<uint8_t>(MessageKind::FileChunk));
        connection->post(g);
    }
    PeerMessage audio = patternMessage(420, static_cast<uint8_t>(MessageKind::AudioFrame));
    connection->post(audio);
    EXPECT_TRUE(socket->sent.empty());
    EXPECT_EQ(5u, connection->generalWaiting());
    EXPECT_EQ(1u, connection->audioWaiting());

    link->handleWritable();
    auto got = delivered();
    ASSERT_EQ(6u, got.size());
    EXPECT_EQ(static_cast<uint8_t>(MessageKind::AudioFrame), got[0][kMessageKindAt]);
    for (size_t i = 1; i < 6; ++i)
        EXPECT_EQ(static_cast<uint8_t>(MessageKind::FileChunk), got[i][kMessageKindAt]);
}

TEST_F(PeerConnectionSending, PingCarriesTheTimeItLeftTheQueue) {
    block();
    PeerMessage ping;
    buildPing(ping, 0.0);
    connection->post(ping);
    clock.ns = 123456789.0;
    link->handleWritable();
    auto got = delivered();
    ASSERT_EQ(1u, got.size());
    double sendTime = 0;
    ASSERT_TRUE(parsePing(MessageBytes(got[0].data(), got[0].size()), sendTime));
    EXPECT_EQ(123456789.0, sendTime);
}

TEST_F(PeerConnectionSending, LinkFlagsReportErrorsUntilAMessageHasCarriedThem) {
    const uint8_t junk[12] = {0x5E, 0xB7, 99};
    link->handleDatagram(junk, sizeof junk, PeerAddress{1, 1});
    socket->script = {IoResult::Error};
    const uint8_t d[20] = {1};
    link->sendDatagram(d, sizeof d, PeerAddress{1, 1});
    socket->sent.clear();

    block();
    PeerMessage first = patternMessage(100);
    connection->post(first);  // refused: the errors stay owed
    EXPECT_EQ(1u, link->pendingReceiveErrors());
    link->handleWritable();
    PeerMessage second = patternMessage(100);
    connection->post(second);
    auto got = delivered();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(kLinkFlagReceiveErrors | kLinkFlagSendErrors, got[0][kMessageLinkFlagsAt]);
    EXPECT_EQ(0, got[1][kMessageLinkFlagsAt]);
    EXPECT_EQ(0u, link->pendingReceiveErrors());
    EXPECT_EQ(0u, link->pendingSendErrors());
    // The display counts are separate.
    EXPECT_EQ(1u, link->receiveErrors(false));
}

TEST_F(PeerConnectionSending, PostingOneMoreThan512WaitingLeavesOne) {
    block();
    for (int i = 0; i < 512; ++i) {
        PeerMessage m = patternMessage(40);
        connection->post(m);
    }
    EXPECT_EQ(512u, connection->generalWaiting());
    EXPECT_FALSE(connection->queueSpace());
    EXPECT_DOUBLE_EQ(0.5, connection->queueFill());
    PeerMessage m = patternMessage(40);
    connection->post(m);
    EXPECT_EQ(1u, connection->generalWaiting());
    EXPECT_TRUE(connection->queueSpace());
}

TEST_F(PeerConnectionSending, CloseSendsFiveByesSpreadOverFourHundredMilliseconds) {
    connection->close(true);
    auto got = delivered();
    ASSERT_EQ(5u, got.size());
    for (const auto& m : got) EXPECT_EQ(static_cast<uint8_t>(MessageKind::Bye), m[kMessageKindAt]);
    // One burst of loss cannot take them all: consecutive Byes are a drain
    // step apart.
    ASSERT_EQ(5u, socket->sent.size());
    for (size_t i = 1; i < socket->sent.size(); ++i)
        EXPECT_GE(socket->sent[i].at - socket->sent[i - 1].at, std::chrono::milliseconds(90)) << i;
    connection->close(false);
    EXPECT_EQ(5u, delivered().size()) << "without a Bye, nothing more";
}

// Takes the whole 1000 ms drain.
TEST_F(PeerConnectionSending, CloseDropsWhatCannotLeaveWithinItsDrain) {
    socket->script.assign(100, IoResult::WouldBlock);
    PeerMessage audio = patternMessage(420, static_cast<uint8_t>(MessageKind::AudioFrame));
    PeerMessage other = patternMessage(300);
    connection->post(audio);
    connection->post(other);
    connection->close(true);
    EXPECT_TRUE(socket->sent.empty());
    EXPECT_EQ(0u, connection->audioWaiting());
    EXPECT_EQ(0u, connection->generalWaiting());
    EXPECT_FALSE(connection->closing());
}

TEST_F(PeerConnectionSending, MidiFromTheAudioThreadNeverWaitsForAFlushAndLeavesRightAfterTheAudio) {
    // Another thread is in the middle of a slow flush of a backlog.
    socket->sendDelayMs = 50;
    for (int i = 0; i < 4; ++i) {
        PeerMessage m = patternMessage(400);
        connection->generalQueue().push(m);
    }
    std::thread flusher([&] { connection->flush(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PeerMessage midi = patternMessage(40, static_cast<uint8_t>(MessageKind::MidiBlock));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(connection->postMidi(midi));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(20));
    flusher.join();
    socket->sendDelayMs = 0;

    // Queued together: the audio leaves first, the MIDI next, the rest after.
    PeerMessage other = patternMessage(60);
    connection->generalQueue().push(other);
    PeerMessage audio = patternMessage(100, static_cast<uint8_t>(MessageKind::AudioFrame));
    connection->audioQueue().push(audio);
    PeerMessage midi2 = patternMessage(44, static_cast<uint8_t>(MessageKind::MidiBlock));
    connection->postMidi(midi2);
    const size_t before = delivered().size();
    connection->flush();
    auto got = delivered();
    ASSERT_GE(got.size(), before + 3);
    std::vector<uint8_t> last;
    for (size_t i = got.size() - 3; i < got.size(); ++i) last.push_back(got[i][kMessageKindAt]);
    EXPECT_EQ(last, (std::vector<uint8_t>{static_cast<uint8_t>(MessageKind::AudioFrame),
                                          static_cast<uint8_t>(MessageKind::MidiBlock), 11}));
    size_t midis = 0;
    for (const auto& m : got) midis += m[kMessageKindAt] == static_cast<uint8_t>(MessageKind::MidiBlock);
    EXPECT_EQ(midis, 2u);
}

TEST_F(PeerConnectionSending, SentAndReceivedBytesAreMeteredPerKind) {
    for (uint8_t kind : {1, 2, 3, 4, 18}) {
        PeerMessage m = patternMessage(500, kind);
        connection->post(m);
        connection->onMessage(m);
    }
    clock.advanceMs(1000);
    PeerMessage audio = patternMessage(500, 1);
    connection->post(audio);
    connection->onMessage(audio);
    // 3000 bytes over one second, 1000 of them audio, 500 each of the rest.
    for (StatusRate base : {kRateReceivedTotal, kRateSentTotal}) {
        EXPECT_DOUBLE_EQ(24000.0, connection->rate(base));
        EXPECT_DOUBLE_EQ(8000.0, connection->rate(StatusRate(base + 1)));
    }
    // Video, MIDI and other meters saw their bytes at one instant only.
    EXPECT_EQ(0.0, connection->rate(kRateSentVideo));
    EXPECT_EQ(0.0, connection->rate(kRateReceivedOther));
    connection->reset();
    EXPECT_EQ(0.0, connection->rate(kRateSentTotal));
}

namespace {

class Inbox : public PeerConnectionListener {
public:
    void onPeerMessage(PeerConnection&, const PeerMessage& m) override { kinds.push_back(m.kind()); }
    std::vector<uint8_t> kinds;
};

}  // namespace

TEST_F(PeerConnectionSending, IncomingLinkFlagsLightThePartnerIndicatorsOnce) {
    Inbox inbox;
    connection->setListener(&inbox);
    PeerMessage m = patternMessage(100, 9);
    m.setLinkFlags(kLinkFlagReceiveErrors);
    connection->onMessage(m);
    EXPECT_TRUE(connection->takePartnerLostData());
    EXPECT_FALSE(connection->takePartnerLostData());
    EXPECT_FALSE(connection->takePartnerSendFailed());
    m.setLinkFlags(kLinkFlagSendErrors);
    connection->onMessage(m);
    EXPECT_TRUE(connection->takePartnerSendFailed());
    EXPECT_EQ((std::vector<uint8_t>{9, 9}), inbox.kinds);
}
