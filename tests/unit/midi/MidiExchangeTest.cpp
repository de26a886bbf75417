// MIDI from one host to the partner's: the sender's messages as they leave
// the connection, the receiver placing them at the partner's song position
// while both transports play and handing them over with the sender's
// delta otherwise, the bounds of a message and of a block.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/QuietLink.h"
#include "tests/unit/audio/AudioTestSupport.h"
#include "tests/unit/peerlink/FakeLinkClock.h"
#include "tests/unit/peerlink/FragmentMaker.h"
#include "tests/unit/peerlink/ScriptedSocket.h"
#include "trvcore/midi/MidiReceiver.h"
#include "trvcore/midi/MidiSender.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/Reassembler.h"

using namespace audiotest;

namespace {

struct Collector : ReassemblySink {
    void onReassembled(const PeerMessage& m, const PeerAddress&) override {
        messages.emplace_back(new PeerMessage);
        messages.back()->assign(m.data(), m.length());
    }
    void onReassemblyErrors(uint32_t) override {}
    std::vector<std::unique_ptr<PeerMessage>> messages;
};

// A host's list of events: note-ons on key k with delta k.
struct HostEvents {
    explicit HostEvents(int n) : midi(size_t(n)), list(sizeof(VstEvents) + sizeof(VstEvent*) * size_t(n)) {
        auto* e = reinterpret_cast<VstEvents*>(list.data());
        e->numEvents = n;
        auto** pointers = reinterpret_cast<VstEvent**>(list.data() + offsetof(VstEvents, events));
        for (int i = 0; i < n; ++i) {
            VstMidiEvent& m = midi[size_t(i)];
            m.type = kVstMidiType;
            m.byteSize = 24;
            m.deltaFrames = i % 256;
            m.midiData[0] = char(0x90);
            m.midiData[1] = char(i % 128);
            m.midiData[2] = 100;
            pointers[i] = reinterpret_cast<VstEvent*>(&m);
        }
    }
    VstEvents* events() { return reinterpret_cast<VstEvents*>(list.data()); }
    std::vector<VstMidiEvent> midi;
    std::vector<unsigned char> list;
};

class MidiExchangeTest : public ::testing::Test {
protected:
    MidiExchangeTest() {
        socket = new ScriptedSocket;
        PeerLinkOptions o;
        o.socket = socket;
        o.clock = &clock;
        o.startThread = false;
        link.reset(new PeerLink(&listener, o));
        connection.reset(new PeerConnection(*link));
        connection->setPartnerAddress("192.0.2.9", kPeerUdpPort);
        sender.reset(new MidiSender(host, *connection));
    }
    // What left the connection (the network thread's flush), as messages.
    std::vector<std::unique_ptr<PeerMessage>> sent() {
        connection->flush();
        Collector c;
        Reassembler r(clock, c);
        for (const auto& d : socket->sent) {
            Fragment f;
            if (parseFragment(d.bytes.data(), d.bytes.size(), f) != FragmentStatus::NotFragment) r.add(f, d.to);
        }
        socket->sent.clear();
        return std::move(c.messages);
    }
    // One local block of the receiver.
    std::vector<VstMidiEvent> block(int64_t start, bool playing, int frames = 256) {
        VstTimeInfo t{};
        t.samplePos = double(start);
        t.sampleRate = 48000;
        t.flags = playing ? kVstTransportPlaying : 0;
        receiver.beginBlock(&t, frames);
        std::vector<VstMidiEvent> out;
        VstEvents* e = receiver.events();
        for (int i = 0; i < e->numEvents; ++i) out.push_back(receiver.block().at(i));
        receiver.clear();
        return out;
    }

    FakeLinkClock clock;
    QuietListener listener;
    ScriptedSocket* socket;
    std::unique_ptr<PeerLink> link;
    std::unique_ptr<PeerConnection> connection;
    FakeStreamHost host;
    std::unique_ptr<MidiSender> sender;
    MidiReceiver receiver;
};

}  // namespace

TEST_F(MidiExchangeTest, ABigBlockGoesInMessagesOf1020AndArrivesWholeBlockByBlock) {
    // The partner stands: events are handed over in the next blocks with
    // the delta they had, 1020 per block at most.
    host.setTime(1000, 0, 1256);
    HostEvents e(2500);
    e.midi[7].type = 6;  // a system-exclusive event never travels
    sender->send(e.events());
    auto messages = sent();
    ASSERT_EQ(messages.size(), 3u);
    std::vector<uint32_t> counts;
    for (auto& m : messages) {
        MidiBlockView v;
        ASSERT_TRUE(parseMidiBlock(MessageBytes(m->data(), m->length()), v));
        counts.push_back(v.header.eventCount);
        EXPECT_EQ(v.header.localClock, 1256u);
        EXPECT_EQ(v.header.clockOffset, 256);
        receiver.onMidiBlock(*m);
    }
    EXPECT_EQ(counts, (std::vector<uint32_t>{1019, 1020, 460}));
    // The first local block takes 1020; the message cut by that bound
    // stays at the head and its other events follow, none lost or doubled.
    size_t got = 0;
    for (int b = 0; b < 4; ++b) {
        const auto events = block(5000 + b * 256, false);
        EXPECT_LE(events.size(), 1020u);
        for (const VstMidiEvent& m : events) {
            const int i = int(got + (got >= 7 ? 1 : 0));  // the seventh was skipped
            ASSERT_EQ(m.deltaFrames, i % 256) << got;
            ASSERT_EQ(uint8_t(m.midiData[1]), i % 128) << got;
            ++got;
        }
    }
    EXPECT_EQ(got, 2499u);
}

TEST_F(MidiExchangeTest, WhileBothPlayEventsLandAtThePartnersSongPosition) {
    receiver.setTransportSync(true);
    auto partnerBlock = [&](int64_t start, std::vector<int32_t> deltas) {
        PeerMessage m;
        MidiBlockHeader h;
        h.localClock = uint32_t(start);
        h.clockOffset = 256;
        h.sampleRate = 48000;
        h.transportFlags = kVstTransportPlaying;
        ASSERT_TRUE(beginMidiBlock(m, h));
        for (int32_t d : deltas) {
            MidiEvent ev;
            ev.data[0] = 0x90;
            ev.data[1] = uint8_t(d & 0x7F);
            ev.deltaFrames = d;
            ASSERT_TRUE(appendMidiEvent(m, ev));
        }
        receiver.onMidiBlock(m);
    };
    partnerBlock(44100 - 5000, {1});  // long before: dropped unseen
    partnerBlock(44100, {5, 300});
    EXPECT_TRUE(receiver.aligned());
    // Song position 44105 lies in the local block from 44032.
    auto first = block(44032, true);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].deltaFrames, 44105 - 44032);
    // The event at 44400 waited at the head for the next block.
    auto second = block(44288, true);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].deltaFrames, 44400 - 44288);
    EXPECT_EQ(receiver.waiting(), 0u);
    // A burst of 2500 events due in one block: 1020 go, the rest follow in
    // the next blocks at their start, all of them once.
    for (int part = 0; part < 3; ++part) partnerBlock(70000, std::vector<int32_t>(part < 2 ? 1020 : 460, 3));
    size_t burst = 0;
    for (int b = 0; b < 4; ++b) {
        const auto events = block(70000 + b * 256, true);
        EXPECT_LE(events.size(), 1020u);
        for (const VstMidiEvent& m : events) EXPECT_EQ(m.deltaFrames, b == 0 ? 3 : 0);
        burst += events.size();
    }
    EXPECT_EQ(burst, 2500u);
    EXPECT_EQ(receiver.waiting(), 0u);

    // While the local host stands, the partner's MIDI comes in the next
    // block with the delta it had there.
    partnerBlock(50000, {7});
    const auto standing = block(90000, false);
    ASSERT_EQ(standing.size(), 1u);
    EXPECT_EQ(standing[0].deltaFrames, 7);
    // The partner stops: out of alignment, the ring starts afresh.
    PeerMessage stopped;
    MidiBlockHeader h;
    h.localClock = 60000;
    ASSERT_TRUE(beginMidiBlock(stopped, h));
    receiver.onMidiBlock(stopped);
    EXPECT_FALSE(receiver.aligned());
    EXPECT_EQ(receiver.waiting(), 1u);
}
