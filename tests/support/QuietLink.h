#pragma once
// Stand-ins for a peer link's surroundings where only the link's own work
// matters: a socket whose sends go nowhere (each checked for a sound
// datagram size; one may be made to report would-block) and a listener
// that ignores everything.
#include <cstddef>
#include <cstdint>

#include "trvcore/trvnetwork/DatagramSocket.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/PeerProtocol.h"

class NullSocket : public DatagramSocket {
public:
    bool open(uint16_t) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    uint16_t boundPort() const override { return kPeerUdpPort; }
    platform::IoResult sendTo(const uint8_t* data, size_t length, const PeerAddress&) override {
        if (!data || length == 0 || length > kMaxDatagramSize) __builtin_trap();
        if (refuseNext) {
            refuseNext = false;
            return platform::IoResult::WouldBlock;
        }
        return platform::IoResult::Ok;
    }
    platform::IoResult receiveFrom(uint8_t*, size_t, size_t& received, PeerAddress&) override {
        received = 0;
        return platform::IoResult::WouldBlock;
    }
    int waitFor(platform::AutoResetEvent&, bool, int) override { return platform::WaitError; }

    bool refuseNext = false;
};

class QuietListener : public PeerLinkListener {
public:
    void onPeerPacket(const PeerMessage&, const PeerAddress&) override {}
    void onPeerTick() override {}
    void onLocalPort(uint16_t) override {}
    void onLinkStatus(const char*) override {}
    double videoBudgetKbps() override { return 0.0; }
};
