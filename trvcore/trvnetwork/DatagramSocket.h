#pragma once
// The datagram socket the peer link sends and receives through. The link
// owns one; production uses UdpDatagramSocket, tests put a layer in between
// that drops, duplicates, reorders or refuses datagrams.
#include <cstddef>
#include <cstdint>

#include "platform/Socket.h"
#include "trvcore/trvnetwork/PeerAddress.h"

namespace platform {
class AutoResetEvent;
}

class DatagramSocket {
public:
    virtual ~DatagramSocket() = default;

    // Binds a non-blocking socket to `port` (0: any free port).
    virtual bool open(uint16_t port) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual uint16_t boundPort() const = 0;

    // Ok only when the whole datagram went out.
    virtual platform::IoResult sendTo(const uint8_t* data, size_t length, const PeerAddress& to) = 0;
    // Ok with `received` bytes; WouldBlock when nothing is pending; Error for
    // a failed receive, including a datagram longer than `capacity`.
    virtual platform::IoResult receiveFrom(uint8_t* buffer, size_t capacity, size_t& received,
                                           PeerAddress& from) = 0;
    // platform::WaitBits: readable, writable (only when asked), woken by
    // `wake`, or an error. timeoutMs < 0 waits without time-out.
    virtual int waitFor(platform::AutoResetEvent& wake, bool wantWritable, int timeoutMs) = 0;
};
