#include "trvcore/trvnetwork/UdpDatagramSocket.h"

#include "platform/Lock.h"
#include "platform/NetConfig.h"

namespace {

// platform::UdpSocket binds to the process-wide local address. An explicit
// address is put in place for the one open() call and the previous value
// restored; the lock keeps two such opens from mixing their addresses.
platform::RecursiveLock& bindLock() {
    static platform::RecursiveLock lock;
    return lock;
}

}  // namespace

UdpDatagramSocket::UdpDatagramSocket(const std::string& bindAddress) : bindAddress_(bindAddress) {}

bool UdpDatagramSocket::open(uint16_t port) {
    if (bindAddress_.empty()) return socket_.open(port);
    platform::ScopedLock guard(bindLock());
    const std::string previous = platform::localAddress();
    platform::setLocalAddress(bindAddress_);
    const bool ok = socket_.open(port);
    platform::setLocalAddress(previous);
    return ok;
}

platform::IoResult UdpDatagramSocket::sendTo(const uint8_t* data, size_t length,
                                             const PeerAddress& to) {
    return socket_.sendTo(data, length, to.ip, to.port);
}

platform::IoResult UdpDatagramSocket::receiveFrom(uint8_t* buffer, size_t capacity,
                                                  size_t& received, PeerAddress& from) {
    return socket_.receiveFrom(buffer, capacity, received, from.ip, from.port);
}

int UdpDatagramSocket::waitFor(platform::AutoResetEvent& wake, bool wantWritable, int timeoutMs) {
    return socket_.waitFor(wake, wantWritable, timeoutMs);
}
