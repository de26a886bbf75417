#pragma once
// DatagramSocket over the platform's UDP socket.
#include <string>

#include "platform/Socket.h"
#include "trvcore/trvnetwork/DatagramSocket.h"

class UdpDatagramSocket : public DatagramSocket {
public:
    // bindAddress: dotted quad to bind to; empty means the process-wide
    // platform::localAddress() (itself "any" unless a test host set one).
    explicit UdpDatagramSocket(const std::string& bindAddress = std::string());

    bool open(uint16_t port) override;
    void close() override { socket_.close(); }
    bool isOpen() const override { return socket_.isOpen(); }
    uint16_t boundPort() const override { return socket_.boundPort(); }
    platform::IoResult sendTo(const uint8_t* data, size_t length, const PeerAddress& to) override;
    platform::IoResult receiveFrom(uint8_t* buffer, size_t capacity, size_t& received,
                                   PeerAddress& from) override;
    int waitFor(platform::AutoResetEvent& wake, bool wantWritable, int timeoutMs) override;

private:
    std::string bindAddress_;
    platform::UdpSocket socket_;
};
