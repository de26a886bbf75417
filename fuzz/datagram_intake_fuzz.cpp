// Datagram intake and reassembly of the peer link under arbitrary input:
// the same handleDatagram the network thread runs, fed sequences of
// datagrams from a few source addresses, with a clock the input moves so
// that the 1000 ms rules are reached, and write events and refused sends
// mixed in.
//
// Input: records of [control byte][length, 2 bytes little-endian][bytes].
// Control bits 0-1 pick the source (two addresses, two ports each); bit 2
// writes a sound magic and datagramLength into the record's bytes so that
// it passes the first checks; bits 3-4 move the clock by 0, 10, 500 or
// 1001 ms before it; bit 5 reports the socket writable after it; bit 6 makes
// the next send the link tries would block.
//
// Every message the link delivers must pass the message check; the kind
// parsers run over it as a session would.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tests/support/QuietLink.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/DatagramSocket.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "trvcore/trvnetwork/LinkClock.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/trvnetwork/WireBytes.h"

namespace {

class DrivenClock : public LinkClock {
public:
    uint32_t tickMs() override { return ms; }
    double nowNs() override { return ms * 1e6; }
    uint32_t ms = 100000;
};

class CheckingListener : public PeerLinkListener {
public:
    void onPeerPacket(const PeerMessage& m, const PeerAddress&) override {
        const size_t length = m.length();
        if (checkMessage(m.data(), length) != MessageCheck::Ok) __builtin_trap();
        const MessageBytes in(m.data(), length);
        AudioFrameView audio;
        VideoFrameView video;
        MidiBlockView midi;
        FileOfferView offer;
        FileChunkView chunk;
        FileControlFields control;
        SyncInfoFields sync;
        RemoteSettingFields setting;
        StatusReportFields report;
        InvitationStep step;
        double time;
        MidiEvent event;
        if (parseMidiBlock(in, midi))
            for (size_t i = 0; midiEventAt(midi, i, event); ++i) sink ^= event.data[0];
        if (parseFileChunk(in, chunk) && chunk.data) sink ^= chunk.checksumMatches();
        if (parseFileOffer(in, offer)) sink ^= static_cast<uint8_t>(std::strlen(offer.name));
        if (parseAudioFrame(in, audio) && audio.dataLength) sink ^= audio.data[audio.dataLength - 1];
        if (parseVideoFrame(in, video) && video.dataLength) sink ^= video.data[video.dataLength - 1];
        sink ^= parseFileControl(in, control) + parseSyncInfo(in, sync) +
                parseRemoteSetting(in, setting) + parseStatusReport(in, report) +
                parseInvitation(in, step) + parsePing(in, time);
    }
    void onPeerTick() override {}
    void onLocalPort(uint16_t port) override { sink ^= static_cast<uint8_t>(port); }
    void onLinkStatus(const char*) override {}
    double videoBudgetKbps() override { return 0; }

    uint8_t sink = 0;
};

struct Harness {
    Harness() {
        socket = new NullSocket;
        PeerLinkOptions o;
        o.socket = socket;
        o.clock = &clock;
        o.startThread = false;
        link = new PeerLink(&listener, o);
    }
    DrivenClock clock;
    CheckingListener listener;
    NullSocket* socket;
    PeerLink* link;
};

const PeerAddress kSources[4] = {
    {0xC0000201, 58116}, {0xC0000201, 40001}, {0xC0000202, 58116}, {0xC0000202, 40002}};
constexpr uint32_t kClockSteps[4] = {0, 10, 500, 1001};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One link for the whole run (its 8 MB of slots are built once); each
    // input starts from no partial message, no refused send, and a clock
    // far past everything the last input left behind.
    static Harness h;
    h.clock.ms += 10000;
    h.socket->refuseNext = false;
    h.link->handleWritable();
    h.link->dropPartialMessages();

    uint8_t datagram[kMaxDatagramSize + 88];
    size_t at = 0;
    while (at + 3 <= size) {
        const uint8_t control = data[at];
        const size_t length = (data[at + 1] | (data[at + 2] << 8)) % sizeof datagram;
        at += 3;
        const size_t n = length < size - at ? length : size - at;
        std::memcpy(datagram, data + at, n);
        at += n;
        if ((control & 0x04) && n >= 4) {
            datagram[0] = kDatagramMagic1;
            datagram[1] = kDatagramMagic2;
            wire::writeU16(datagram, sizeof datagram, 2, static_cast<uint16_t>(n));
        }
        h.clock.ms += kClockSteps[(control >> 3) & 3];
        if (control & 0x40) h.socket->refuseNext = true;
        h.link->handleDatagram(datagram, n, kSources[control & 3]);
        if (control & 0x20) h.link->handleWritable();
    }
    return 0;
}
